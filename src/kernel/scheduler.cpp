// Ready rings, the scheduler step and the scheduler thread.
#include "kernel/scheduler.h"

#include <thread>

#include "kernel/timer_queue.h"
#include "platform/main_loop.h"

namespace tolvek {

namespace {
std::atomic<TMxScheduler*> gMainScheduler{nullptr};
}

thread_local TMxTask* TMxScheduler::currentTask_ = nullptr;

TMxSchedulerThread::TMxSchedulerThread(TMxScheduler& scheduler)
    : TOurThread("MxSchedulerThread"), scheduler_(scheduler) {
  SetPriorityBelowNormal();
}

TMxSchedulerThread::~TMxSchedulerThread() { Stop(); }

void TMxSchedulerThread::Terminate() {
  {
    // Under the scheduler's lock, so that a Step about to wait sees the flag.
    std::lock_guard lock(scheduler_.lock_);
    TOurThread::Terminate();
  }
  scheduler_.wake_.notify_all();
}

void TMxSchedulerThread::Execute() {
  while (!Terminated()) {
    // Yield between slices while tasks stay ready, so a busy scheduler shares the processor;
    // after a wake-up the next slice runs at once.
    if (scheduler_.Step() && scheduler_.ReadyCount() > 0) std::this_thread::yield();
  }
}

TMxScheduler::TMxScheduler(TMainLoop* mainLoop) : mainLoop_(mainLoop) {
  // The timer thread starts before any task can need it, never under a kernel lock.
  TMxTimerQueue::Instance();
  TMxScheduler* none = nullptr;
  gMainScheduler.compare_exchange_strong(none, this);
  if (mainLoop_) mainLoop_->SetIdleHandler([this](bool& done) { IdleHandler(done); });
}

TMxScheduler::TMxScheduler(const std::string& name) {
  TMxTimerQueue::Instance();
  thread_ = std::make_unique<TMxSchedulerThread>(*this);
  thread_->SetName(name);
  thread_->Start();
}

TMxScheduler::~TMxScheduler() {
  StopThread();
  if (mainLoop_) mainLoop_->SetIdleHandler(nullptr);
  TMxScheduler* self = this;
  gMainScheduler.compare_exchange_strong(self, nullptr);
}

TMxScheduler* TMxScheduler::Main() { return gMainScheduler.load(); }

void TMxScheduler::StopThread() {
  if (thread_) thread_->Stop();
}

TMxTask* TMxScheduler::TakeLocked() {
  for (TMxTask*& head : rings_) {
    if (head) {
      TMxTask* task = head;
      head = task->next_;
      // A task being destroyed on another thread is about to leave its ring.
      if (task->dying_) return nullptr;
      // Marked under the lock, so that a destructor on another thread sees it.
      task->running_.store(1, std::memory_order_relaxed);
      return task;
    }
  }
  return nullptr;
}

bool TMxScheduler::Step() {
  if (busy_) return false;
  busy_ = true;
  TMxTask* task = nullptr;
  {
    std::unique_lock lock(lock_);
    task = TakeLocked();
    if (!task && thread_) {
      lock.unlock();
      spin_.SpinUntil([this] {
        return readyCount_.load(std::memory_order_relaxed) > 0 || thread_->Terminated();
      });
      lock.lock();
      wake_.wait(lock, [this] {
        return readyCount_.load(std::memory_order_relaxed) > 0 || thread_->Terminated();
      });
      task = TakeLocked();
    }
  }
  if (task) {
    TMxTask* outer = currentTask_;
    currentTask_ = task;
    task->Execute();
    currentTask_ = outer;
    task->running_.store(0, std::memory_order_release);
    task->running_.notify_all();
  }
  busy_ = false;
  return task != nullptr;
}

void TMxScheduler::IdleHandler(bool& done) {
  if (ReadyCount() > 0) Step();
  done = ReadyCount() == 0;
}

void TMxScheduler::EnterReadyLocked(TMxTask& task) {
  if (task.inRing_) return;
  task.inRing_ = true;
  TMxTask*& head = rings_[task.priority_];
  if (!head) {
    head = task.prev_ = task.next_ = &task;
  } else {
    // In front of the head is the ring's tail.
    TMxTask* tail = head->prev_;
    task.prev_ = tail;
    task.next_ = head;
    tail->next_ = &task;
    head->prev_ = &task;
  }
  // Woken with the lock held, so the scheduler cannot be gone before the wake is delivered.
  if (readyCount_.fetch_add(1, std::memory_order_release) == 0) {
    if (thread_)
      wake_.notify_one();
    else if (mainLoop_)
      mainLoop_->Wake();
  }
}

void TMxScheduler::LeaveReadyLocked(TMxTask& task) {
  if (!task.inRing_) return;
  task.inRing_ = false;
  TMxTask*& head = rings_[task.priority_];
  if (task.next_ == &task) {
    head = nullptr;
  } else {
    task.prev_->next_ = task.next_;
    task.next_->prev_ = task.prev_;
    if (head == &task) head = task.next_;
  }
  task.prev_ = task.next_ = nullptr;
  readyCount_.fetch_sub(1, std::memory_order_release);
}

}  // namespace tolvek
