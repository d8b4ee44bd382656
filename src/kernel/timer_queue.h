// Timers and the single timer thread ("MxTimerQueue") that fires them; every time-out and
// every sleep of the kernel is one of these timers.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "kernel/our_thread.h"

namespace tolvek {

class TMxTimerQueue;

// A one-shot or periodic timer. Its OnTimer runs on the timer thread, outside every kernel lock.
class TMxTimer {
public:
  // Longest interval: due ticks are compared across the 32-bit wrap, which holds below 2^31 ms.
  static constexpr uint32_t kMaxInterval = 0x7FFFFFFF;

  TMxTimer() = default;
  // Stops the timer and, unless called on the timer thread, waits for a callback in flight.
  ~TMxTimer();
  TMxTimer(const TMxTimer&) = delete;
  TMxTimer& operator=(const TMxTimer&) = delete;

  // Removes an active timer, stores interval (at most kMaxInterval) and periodic, and inserts
  // it when `start` is true: it fires `interval` ms from now, a periodic one then every
  // `interval` ms counted from each firing.
  void SetTimer(uint32_t interval, bool periodic, bool start);
  void StopTimer();

  bool Active() const;
  uint32_t DueTick() const;

  // Assigned before the timer is first set; called on the timer thread.
  std::function<void()> OnTimer;

  // Inside OnTimer: true while nobody has set or stopped the timer since it fired. A callback
  // uses it to drop a firing that another thread has already overtaken.
  bool FiringIsCurrent() const;

private:
  friend class TMxTimerQueue;

  TMxTimer* prev_ = nullptr;
  TMxTimer* next_ = nullptr;
  bool active_ = false;
  bool periodic_ = false;
  uint32_t dueTick_ = 0;
  uint32_t interval_ = 0;
  uint64_t sequence_ = 0;       // counts SetTimer and StopTimer
  uint64_t firedSequence_ = 0;  // sequence_ when the timer last fired
};

// The timer thread with its list of active timers, sorted by due tick (equal ticks in the
// order they were set). There is one per process, created on first use and stopped with the
// other kernel threads when the program ends.
class TMxTimerQueue : public TOurThread {
public:
  static TMxTimerQueue& Instance();

  void Terminate() override;
  bool IsTimerThread() const { return IsCurrentThread(); }

protected:
  void Execute() override;

private:
  friend class TMxTimer;

  TMxTimerQueue();
  ~TMxTimerQueue() override;

  void InsertLocked(TMxTimer* timer, uint32_t now);
  void RemoveLocked(TMxTimer* timer);
  void WaitWhileFiring(const TMxTimer* timer);

  std::mutex lock_;
  std::condition_variable wake_;
  TMxTimer* head_ = nullptr;
  std::atomic<const TMxTimer*> firing_{nullptr};
};

}  // namespace tolvek
