// Cooperative tasks: objects whose OnExecute the scheduler calls one short slice at a time,
// and which wait on control objects or sleep instead of blocking a thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "kernel/timer_queue.h"

namespace tolvek {

class TMxScheduler;
class TMxTaskControl;

enum TMxTaskState : uint8_t { tsCreated = 0, tsReady = 1, tsWaiting = 2, tsTerminated = 3 };

// The result of a task's last wait.
enum TMxWaitResult : uint8_t {
  wrOk = 0,           // acquired, signalled, message present
  wrTimeout = 1,      // the wait's time-out expired
  wrUnavailable = 2,  // a poll found nothing; the task did not wait
  wrReleased = 3,     // the control object was destroyed or released all waiters
  wrAborted = 4,      // the task was stopped while waiting
};

// Time-outs of WaitFor and Suspend: poll (never wait), and no time-out.
constexpr int32_t kMxPoll = -1;
constexpr int32_t kMxInfinite = 2147483647;

// Number of task priorities; 0 is served first.
constexpr uint8_t kMxPriorityCount = 5;

// A cooperative task bound to one scheduler for its whole life.
//
// Its state changes only on its scheduler's thread (start, terminate, suspend, sleep), on the
// thread that releases the control it waits on (resume), or on the timer thread (time-out, end
// of a sleep). Stopping a task from another thread while its slice runs leaves the slice's own
// operations to fail; destroying it from another thread waits for the slice to end instead.
class TMxTask {
public:
  using TTaskEvent = std::function<void(TMxTask& task)>;

  // Binds the task to the main scheduler; "Main Scheduler not created!" when there is none.
  TMxTask();
  explicit TMxTask(TMxScheduler& scheduler);
  // Stops the task and frees its timer.
  virtual ~TMxTask();
  TMxTask(const TMxTask&) = delete;
  TMxTask& operator=(const TMxTask&) = delete;

  // From tsCreated or tsTerminated: becomes ready at the tail of its priority's ring.
  void Start();
  // From tsReady: leaves the ready ring for good (it may be started again).
  void Terminate();
  // Terminates a ready task; a waiting one is first resumed with wrAborted (OnResume runs) and
  // ends tsTerminated without running again; a sleeping one has its timer cancelled.
  void Stop();
  // From tsReady: waits on nothing for `ms` ms and is then resumed with wrOk.
  void Sleep(uint32_t ms);
  // From tsReady: waits on `control` (nullptr: on nothing) with a time-out in ms, or none for
  // kMxInfinite; a negative time-out counts as 0. Used by control objects; task code calls
  // WaitFor. A time-out without a control is refused: nothing could then time it out.
  void Suspend(TMxTaskControl* control, int32_t timeout);
  // From tsWaiting, and only by the control the task waits on (nullptr for a task waiting on
  // nothing): becomes ready with `result` as its WaitResult.
  void Resume(TMxTaskControl* control, uint8_t result);
  // Refused while ready; takes effect when the task next enters a ready ring.
  void SetPriority(uint8_t priority);
  // Waits on `control`: kMxPoll never waits, kMxInfinite has no time-out, other values are ms.
  // Either the wait completes at once (WaitResult is set, the slice goes on) or the task is
  // suspended and runs again after the resume.
  void WaitFor(TMxTaskControl& control, int32_t timeout);

  TMxTaskState State() const { return static_cast<TMxTaskState>(state_.load(std::memory_order_acquire)); }
  bool Running() const { return running_.load(std::memory_order_relaxed) != 0; }
  TMxWaitResult WaitResult() const {
    return static_cast<TMxWaitResult>(waitResult_.load(std::memory_order_acquire));
  }
  uint8_t Priority() const { return priority_; }
  TMxTaskControl* Control() const { return control_.load(std::memory_order_acquire); }
  TMxScheduler& Scheduler() const { return scheduler_; }

  // Assigned by the owner, called with the task.
  TTaskEvent OnExecute;
  TTaskEvent OnSuspend;
  TTaskEvent OnResume;
  // Runs on the timer thread when a wait times out, before the task is resumed.
  TTaskEvent OnTimeout;

protected:
  // One slice: calls OnExecute. An exception that escapes it stops the task and is reported as
  // "Unhandled Exception in Task"; it goes no further.
  virtual void Execute();

private:
  friend class TMxScheduler;
  friend class TMxTaskControl;

  // A resume in two steps: the state changes under the scheduler lock, OnResume runs, and only
  // then does the task enter its ready ring, so OnResume is over before the next slice begins.
  void ResumeLocked(uint8_t result, bool terminate);
  void EnterReadyAfterResume();
  void ResumeAndTerminate(uint8_t result);
  void TimerExpired();
  void SleepExpired();

  TMxScheduler& scheduler_;
  std::atomic<uint8_t> state_{tsCreated};
  std::atomic<uint8_t> waitResult_{wrOk};
  std::atomic<uint32_t> running_{0};  // a word, so waiting for it and notifying are cheap
  uint8_t priority_ = 2;
  std::atomic<TMxTaskControl*> control_{nullptr};
  // Links of the ready ring or the control's waiting ring the task is in.
  bool inRing_ = false;  // in a ready ring; guarded by the scheduler lock
  bool dying_ = false;   // being destroyed: no further slice; guarded by the scheduler lock
  TMxTask* prev_ = nullptr;
  TMxTask* next_ = nullptr;
  TMxTimer timer_;
};

}  // namespace tolvek
