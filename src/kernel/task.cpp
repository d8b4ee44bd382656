// Task operations and their state transitions.
#include "kernel/task.h"

#include "kernel/error_report.h"
#include "kernel/scheduler.h"
#include "kernel/task_control.h"
#include "platform/error.h"

namespace tolvek {

namespace {

TMxScheduler& MainSchedulerOrFail() {
  TMxScheduler* scheduler = TMxScheduler::Main();
  if (!scheduler) throw EError("Main Scheduler not created!");
  return *scheduler;
}

}  // namespace

TMxTask::TMxTask() : TMxTask(MainSchedulerOrFail()) {}

TMxTask::TMxTask(TMxScheduler& scheduler) : scheduler_(scheduler) {
  TMxTimerQueue::Instance();
  timer_.OnTimer = [this] { TimerExpired(); };
}

TMxTask::~TMxTask() {
  // A slice in progress on another thread finishes first, and the task is kept from starting
  // another one; then it is stopped like any other.
  if (TMxScheduler::currentTask_ != this) {
    for (;;) {
      {
        std::lock_guard lock(scheduler_.lock_);
        if (running_.load(std::memory_order_relaxed) == 0) {
          dying_ = true;
          break;
        }
      }
      running_.wait(1, std::memory_order_acquire);
    }
  }
  Stop();
  // A time-out or sleep end already on its way sees the task terminated and does nothing;
  // the timer's destructor waits until it has left.
}

void TMxTask::Start() {
  std::lock_guard lock(scheduler_.lock_);
  const uint8_t state = state_.load(std::memory_order_relaxed);
  if (state != tsCreated && state != tsTerminated) throw EError("Can not start task");
  state_.store(tsReady, std::memory_order_release);
  scheduler_.EnterReadyLocked(*this);
}

void TMxTask::Terminate() {
  std::lock_guard lock(scheduler_.lock_);
  if (state_.load(std::memory_order_relaxed) != tsReady) throw EError("Task Terminate Error");
  state_.store(tsTerminated, std::memory_order_release);
  scheduler_.LeaveReadyLocked(*this);
}

void TMxTask::Stop() {
  for (;;) {
    // A task waiting on a control is taken out under that control's lock.
    if (TMxTaskControl* control = control_.load()) {
      if (control->AbortAndTerminate(*this)) return;
      continue;  // released meanwhile: it is ready now
    }
    std::lock_guard lock(scheduler_.lock_);
    if (control_.load()) continue;
    switch (state_.load(std::memory_order_relaxed)) {
      case tsReady:
        state_.store(tsTerminated, std::memory_order_release);
        scheduler_.LeaveReadyLocked(*this);
        return;
      case tsWaiting:  // asleep: nothing to release it from, so its timer is cancelled
        timer_.StopTimer();
        state_.store(tsTerminated, std::memory_order_release);
        return;
      default:
        return;
    }
  }
}

void TMxTask::Sleep(uint32_t ms) {
  {
    std::lock_guard lock(scheduler_.lock_);
    if (state_.load(std::memory_order_relaxed) != tsReady) throw EError("Task Sleep Error");
    state_.store(tsWaiting, std::memory_order_release);
    control_.store(nullptr);
    scheduler_.LeaveReadyLocked(*this);
    timer_.SetTimer(ms, false, true);
  }
  if (OnSuspend) OnSuspend(*this);
}

void TMxTask::Suspend(TMxTaskControl* control, int32_t timeout) {
  {
    std::lock_guard lock(scheduler_.lock_);
    if (state_.load(std::memory_order_relaxed) != tsReady) throw EError("Task Suspend Error");
    if (!control && timeout != kMxInfinite) throw EError("Task Timeout Error");
    state_.store(tsWaiting, std::memory_order_release);
    control_.store(control);
    scheduler_.LeaveReadyLocked(*this);
    if (timeout != kMxInfinite) timer_.SetTimer(timeout < 0 ? 0 : static_cast<uint32_t>(timeout), false, true);
  }
  if (OnSuspend) OnSuspend(*this);
}

void TMxTask::Resume(TMxTaskControl* control, uint8_t result) {
  {
    std::lock_guard lock(scheduler_.lock_);
    if (state_.load(std::memory_order_relaxed) != tsWaiting || control_.load() != control)
      throw EError("Task Resume Error");
    ResumeLocked(result, false);
  }
  EnterReadyAfterResume();
}

void TMxTask::ResumeLocked(uint8_t result, bool terminate) {
  control_.store(nullptr);
  waitResult_.store(result, std::memory_order_release);
  timer_.StopTimer();
  state_.store(terminate ? tsTerminated : tsReady, std::memory_order_release);
}

void TMxTask::EnterReadyAfterResume() {
  if (OnResume) OnResume(*this);
  std::lock_guard lock(scheduler_.lock_);
  // Unless it was stopped or suspended again meanwhile (by a slice still running).
  if (state_.load(std::memory_order_relaxed) == tsReady) scheduler_.EnterReadyLocked(*this);
}

void TMxTask::ResumeAndTerminate(uint8_t result) {
  {
    std::lock_guard lock(scheduler_.lock_);
    ResumeLocked(result, true);
  }
  if (OnResume) OnResume(*this);
}

void TMxTask::SetPriority(uint8_t priority) {
  std::lock_guard lock(scheduler_.lock_);
  if (state_.load(std::memory_order_relaxed) == tsReady) throw EError("Task Set Priority Error");
  if (priority >= kMxPriorityCount) throw EError("Invalid Priority Value");
  priority_ = priority;
}

void TMxTask::WaitFor(TMxTaskControl& control, int32_t timeout) { control.Wait(*this, timeout); }

void TMxTask::Execute() {
  if (!OnExecute) return;
  try {
    OnExecute(*this);
  } catch (const std::exception& e) {
    Stop();
    MxReportError("Unhandled Exception in Task", e.what());
  } catch (...) {
    Stop();
    MxReportError("Unhandled Exception in Task", "unknown exception");
  }
}

void TMxTask::TimerExpired() {
  // Announce which control is about to be locked, so that it is not destroyed under our feet;
  // re-reading the task's control closes the race with a release that ends the wait first.
  TMxTaskControl* control;
  do {
    control = control_.load();
    TMxTaskControl::timeoutTarget_.store(control);
  } while (control_.load() != control);
  struct TClearTarget {
    ~TClearTarget() {
      TMxTaskControl::timeoutTarget_.store(nullptr);
      TMxTaskControl::timeoutTarget_.notify_all();
    }
  } clearTarget;
  if (control)
    control->TimeoutRelease(*this);
  else
    SleepExpired();
}

void TMxTask::SleepExpired() {
  {
    std::lock_guard lock(scheduler_.lock_);
    // Stopped, or the timer was re-armed, since it fired: this firing is out of date.
    if (state_.load(std::memory_order_relaxed) != tsWaiting || control_.load() || !timer_.FiringIsCurrent())
      return;
    ResumeLocked(wrOk, false);
  }
  EnterReadyAfterResume();
}

}  // namespace tolvek
