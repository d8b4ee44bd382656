// Schedulers: the main scheduler, run by the main loop on the GUI thread, and schedulers with
// a thread of their own. Each keeps its ready tasks in five rings, one per priority.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "kernel/our_thread.h"
#include "kernel/task.h"
#include "platform/adaptive_spin.h"

namespace tolvek {

class TMainLoop;
class TMxScheduler;

// The thread of a named scheduler: Step, yield, until terminated.
class TMxSchedulerThread : public TOurThread {
public:
  explicit TMxSchedulerThread(TMxScheduler& scheduler);
  ~TMxSchedulerThread() override;
  void Terminate() override;

protected:
  void Execute() override;

private:
  TMxScheduler& scheduler_;
};

// Runs the slices of its ready tasks: the first task of the highest non-empty priority ring,
// whose head then moves on, so tasks of one priority take turns and lower priorities run only
// while the higher rings are empty.
class TMxScheduler {
public:
  // The main scheduler: no thread of its own; `mainLoop` (may be empty, then the owner calls
  // Step) calls IdleHandler and is woken when a task becomes ready. The first one alive is the
  // process's main scheduler, the default of TMxTask.
  explicit TMxScheduler(TMainLoop* mainLoop = nullptr);
  // A scheduler with its own thread of this name, one step below normal priority.
  explicit TMxScheduler(const std::string& name);
  // Stops and joins its thread. Its tasks must be gone by then.
  ~TMxScheduler();
  TMxScheduler(const TMxScheduler&) = delete;
  TMxScheduler& operator=(const TMxScheduler&) = delete;

  // Runs one slice; does nothing when called from inside a slice. A scheduler with its own
  // thread waits there, without using the processor, while no task is ready, and runs the
  // slice of the task that woke it. Answers whether a slice ran.
  bool Step();
  // The main loop's idle handler: one Step if a task is ready; `done` when none is.
  void IdleHandler(bool& done);
  uint32_t ReadyCount() const { return readyCount_.load(std::memory_order_acquire); }
  bool OwnThread() const { return thread_ != nullptr; }
  // Terminates and joins the own thread (the destructor and the program's exit do it too).
  void StopThread();

  // The process's main scheduler, or nullptr.
  static TMxScheduler* Main();

private:
  friend class TMxTask;
  friend class TMxSchedulerThread;

  // With lock_ held. Entering wakes the scheduler's thread or main loop when the rings were
  // empty; a task already (or not) in its ring is left as it is.
  void EnterReadyLocked(TMxTask& task);
  void LeaveReadyLocked(TMxTask& task);
  // The head of the highest non-empty ring, whose head then moves on; with lock_ held.
  TMxTask* TakeLocked();

  std::mutex lock_;
  std::condition_variable wake_;
  TMxTask* rings_[kMxPriorityCount] = {};
  std::atomic<uint32_t> readyCount_{0};
  bool busy_ = false;
  TMainLoop* mainLoop_ = nullptr;
  std::unique_ptr<TMxSchedulerThread> thread_;
  TAdaptiveSpin spin_;  // used by the own thread only
  // The task whose slice runs on this thread.
  static thread_local TMxTask* currentTask_;
};

}  // namespace tolvek
