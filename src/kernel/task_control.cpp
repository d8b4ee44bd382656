// The waiting ring of control objects, the semaphore and the signal.
#include "kernel/task_control.h"

#include "platform/error.h"

namespace tolvek {

std::atomic<const TMxTaskControl*> TMxTaskControl::timeoutTarget_{nullptr};

TMxTaskControl::~TMxTaskControl() {
  TMxTaskControl::ReleaseAll();
  // A time-out that read this control before the release above may still be about to lock
  // it; wait until it has gone (it cannot be waiting for anything this thread holds).
  while (timeoutTarget_.load() == this) {
    if (TMxTimerQueue::Instance().IsTimerThread()) break;
    timeoutTarget_.wait(this);
  }
}

uint32_t TMxTaskControl::WaitingCount() const {
  std::lock_guard lock(lock_);
  return count_;
}

void TMxTaskControl::CompleteAtOnce(TMxTask& task, uint8_t result) {
  task.waitResult_.store(result, std::memory_order_release);
}

void TMxTaskControl::Enqueue(TMxTask& task, int32_t timeout) {
  std::lock_guard lock(lock_);
  task.Suspend(this, timeout);
  if (!head_) {
    head_ = task.prev_ = task.next_ = &task;
  } else {
    TMxTask* tail = head_->prev_;
    task.prev_ = tail;
    task.next_ = head_;
    tail->next_ = &task;
    head_->prev_ = &task;
  }
  ++count_;
}

void TMxTaskControl::Unlink(TMxTask& task) {
  if (task.next_ == &task) {
    head_ = nullptr;
  } else {
    task.prev_->next_ = task.next_;
    task.next_->prev_ = task.prev_;
    if (head_ == &task) head_ = task.next_;
  }
  task.prev_ = task.next_ = nullptr;
  --count_;
}

void TMxTaskControl::Release(TMxTask& task, uint8_t result) {
  std::lock_guard lock(lock_);
  // The task's control is set exactly while it is in this ring.
  if (task.control_.load() != this) throw EError("Release Task Error");
  Unlink(task);
  task.Resume(this, result);
}

void TMxTaskControl::Abort(TMxTask& task) { Release(task, wrAborted); }

void TMxTaskControl::ReleaseAll() {
  std::lock_guard lock(lock_);
  while (head_) TMxTaskControl::Release(*head_, wrReleased);
}

bool TMxTaskControl::AbortAndTerminate(TMxTask& task) {
  std::lock_guard lock(lock_);
  if (task.control_.load() != this) return false;
  Unlink(task);
  task.ResumeAndTerminate(wrAborted);
  return true;
}

void TMxTaskControl::TimeoutRelease(TMxTask& task) {
  std::lock_guard lock(lock_);
  // The wait may have ended, or a new one begun, since the timer fired.
  if (task.control_.load() != this || !task.timer_.FiringIsCurrent()) return;
  if (task.OnTimeout) {
    task.OnTimeout(task);
    if (task.control_.load() != this) return;
  }
  Release(task, wrTimeout);
}

void TMxSemaphore::Wait(TMxTask& task, int32_t timeout) {
  std::lock_guard lock(lock_);
  if (!owner_) {
    owner_ = &task;
    CompleteAtOnce(task, wrOk);
  } else if (timeout < 0) {
    CompleteAtOnce(task, wrUnavailable);
  } else {
    Enqueue(task, timeout);
  }
}

void TMxSemaphore::Release(TMxTask& task) {
  std::lock_guard lock(lock_);
  if (owner_ != &task) throw EError("Semaphore Release Error");
  owner_ = FirstWaiting();
  if (owner_) TMxTaskControl::Release(*owner_, wrOk);
}

bool TMxSemaphore::IsOwner(const TMxTask& task) const {
  std::lock_guard lock(lock_);
  return owner_ == &task;
}

void TMxSignal::Wait(TMxTask& task, int32_t timeout) {
  std::lock_guard lock(lock_);
  if (signalled_)
    CompleteAtOnce(task, wrOk);
  else if (timeout < 0)
    CompleteAtOnce(task, wrUnavailable);
  else
    Enqueue(task, timeout);
}

void TMxSignal::SetSignal(bool value) {
  std::lock_guard lock(lock_);
  signalled_ = value;
  if (value)
    while (TMxTask* task = FirstWaiting()) TMxTaskControl::Release(*task, wrOk);
}

bool TMxSignal::Signalled() const {
  std::lock_guard lock(lock_);
  return signalled_;
}

}  // namespace tolvek
