// The timer list and the timer thread.
#include "kernel/timer_queue.h"

#include <chrono>

#include "kernel/error_report.h"
#include "platform/tick_count.h"

namespace tolvek {

TMxTimer::~TMxTimer() {
  if (sequence_ == 0) return;  // never used: no need to start the timer thread for it
  StopTimer();
  TMxTimerQueue::Instance().WaitWhileFiring(this);
}

void TMxTimer::SetTimer(uint32_t interval, bool periodic, bool start) {
  TMxTimerQueue& queue = TMxTimerQueue::Instance();
  std::lock_guard lock(queue.lock_);
  if (active_) queue.RemoveLocked(this);
  ++sequence_;
  interval_ = interval > kMaxInterval ? kMaxInterval : interval;
  // A periodic timer of 0 ms would keep the timer thread busy for ever.
  if (periodic && interval_ == 0) interval_ = 1;
  periodic_ = periodic;
  if (start) queue.InsertLocked(this, GetTickCount());
}

void TMxTimer::StopTimer() {
  TMxTimerQueue& queue = TMxTimerQueue::Instance();
  std::lock_guard lock(queue.lock_);
  ++sequence_;
  if (active_) queue.RemoveLocked(this);
}

bool TMxTimer::Active() const {
  std::lock_guard lock(TMxTimerQueue::Instance().lock_);
  return active_;
}

uint32_t TMxTimer::DueTick() const {
  std::lock_guard lock(TMxTimerQueue::Instance().lock_);
  return dueTick_;
}

bool TMxTimer::FiringIsCurrent() const {
  std::lock_guard lock(TMxTimerQueue::Instance().lock_);
  return firedSequence_ == sequence_;
}

TMxTimerQueue& TMxTimerQueue::Instance() {
  // Never destroyed: timers owned by static objects may still be stopped during static
  // destruction, after the exit handler has stopped the thread.
  static TMxTimerQueue* instance = [] {
    auto* queue = new TMxTimerQueue;
    queue->Start();
    return queue;
  }();
  return *instance;
}

TMxTimerQueue::TMxTimerQueue() : TOurThread("MxTimerQueue") {}

TMxTimerQueue::~TMxTimerQueue() { Stop(); }

void TMxTimerQueue::Terminate() {
  {
    std::lock_guard lock(lock_);
    TOurThread::Terminate();
  }
  wake_.notify_all();
}

void TMxTimerQueue::InsertLocked(TMxTimer* timer, uint32_t now) {
  timer->dueTick_ = now + timer->interval_;
  timer->active_ = true;
  TMxTimer* before = nullptr;
  TMxTimer* after = head_;
  while (after && TickReached(timer->dueTick_, after->dueTick_)) {
    before = after;
    after = after->next_;
  }
  timer->prev_ = before;
  timer->next_ = after;
  if (after) after->prev_ = timer;
  if (before) {
    before->next_ = timer;
  } else {
    head_ = timer;
    wake_.notify_one();
  }
}

void TMxTimerQueue::RemoveLocked(TMxTimer* timer) {
  if (timer->prev_)
    timer->prev_->next_ = timer->next_;
  else
    head_ = timer->next_;
  if (timer->next_) timer->next_->prev_ = timer->prev_;
  timer->prev_ = timer->next_ = nullptr;
  timer->active_ = false;
}

void TMxTimerQueue::WaitWhileFiring(const TMxTimer* timer) {
  if (IsTimerThread()) return;
  while (firing_.load() == timer) firing_.wait(timer);
}

void TMxTimerQueue::Execute() {
  std::unique_lock lock(lock_);
  while (!Terminated()) {
    TMxTimer* timer = head_;
    if (!timer) {
      wake_.wait(lock);
      continue;
    }
    const uint32_t now = GetTickCount();
    const uint32_t remaining = TickRemaining(now, timer->dueTick_);
    if (remaining > 0) {
      wake_.wait_for(lock, std::chrono::milliseconds(remaining));
      continue;
    }
    RemoveLocked(timer);
    timer->firedSequence_ = timer->sequence_;
    if (timer->periodic_) InsertLocked(timer, now);
    firing_.store(timer);
    lock.unlock();
    try {
      if (timer->OnTimer) timer->OnTimer();
    } catch (const std::exception& e) {
      MxReportError(Name(), e.what());
    } catch (...) {
      MxReportError(Name(), "unknown exception in a timer");
    }
    firing_.store(nullptr);
    firing_.notify_all();
    lock.lock();
  }
}

}  // namespace tolvek
