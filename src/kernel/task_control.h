// What a task can wait on: the control object base with its waiting ring, the task lock
// (semaphore) and the manual-reset signal. Queues are control objects too (queue.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "kernel/task.h"

namespace tolvek {

// A control object keeps the tasks that wait on it in a ring, first come first served, and
// resumes them with a wait result. Lock order: a queue's lock before this lock, this lock
// before the scheduler and timer locks; a task is resumed while this lock is held.
class TMxTaskControl {
public:
  TMxTaskControl() = default;
  // Releases every waiting task with wrReleased.
  virtual ~TMxTaskControl();
  TMxTaskControl(const TMxTaskControl&) = delete;
  TMxTaskControl& operator=(const TMxTaskControl&) = delete;

  // Release (task, wrAborted).
  virtual void Abort(TMxTask& task);
  // Releases the waiting tasks, first one first, with wrReleased.
  virtual void ReleaseAll();
  // Completes at once (the task stays ready with its WaitResult set) or makes the task wait.
  virtual void Wait(TMxTask& task, int32_t timeout) = 0;
  // Takes a waiting task out of the ring and resumes it with `result`; "Release Task Error"
  // when the task does not wait here.
  virtual void Release(TMxTask& task, uint8_t result);

  uint32_t WaitingCount() const;

protected:
  // Suspends the task on this control and appends it to the ring, under the lock so that its
  // time-out cannot overtake it.
  void Enqueue(TMxTask& task, int32_t timeout);
  // The first waiting task, or nullptr; with the lock held.
  TMxTask* FirstWaiting() const { return head_; }
  static void CompleteAtOnce(TMxTask& task, uint8_t result);

  mutable std::recursive_mutex lock_;

private:
  friend class TMxTask;

  void Unlink(TMxTask& task);
  // Stop's abort: resumes with wrAborted and terminates in one step, so the task never runs
  // again; false when the task no longer waits here.
  bool AbortAndTerminate(TMxTask& task);
  // A time-out from the timer thread; drops itself when the wait it belonged to has ended.
  void TimeoutRelease(TMxTask& task);

  TMxTask* head_ = nullptr;
  uint32_t count_ = 0;

  // The control that the timer thread's time-out is about to lock; a control being destroyed
  // waits until it is no longer the one.
  static std::atomic<const TMxTaskControl*> timeoutTarget_;
};

// A task lock with an owner (not a counting semaphore): the first waiter takes it over when
// the owner releases it.
class TMxSemaphore : public TMxTaskControl {
public:
  // Free: the task owns it (wrOk). Owned: a poll answers wrUnavailable, else the task waits.
  void Wait(TMxTask& task, int32_t timeout) override;
  using TMxTaskControl::Release;
  // By the owner only ("Semaphore Release Error"): the first waiting task, if any, becomes the
  // owner and is resumed with wrOk.
  void Release(TMxTask& task);
  bool IsOwner(const TMxTask& task) const;

private:
  TMxTask* owner_ = nullptr;
};

// A manual-reset signal: while set, waits complete at once.
class TMxSignal : public TMxTaskControl {
public:
  void Wait(TMxTask& task, int32_t timeout) override;
  // Stores the flag; setting it resumes every waiting task, first one first, with wrOk.
  void SetSignal(bool value);
  bool Signalled() const;

private:
  bool signalled_ = false;
};

}  // namespace tolvek
