// Named threads with a Terminated flag and a virtual Execute, and the guarantee that every one
// of them is stopped and joined when the program ends.
#pragma once

#include <pthread.h>

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/event.h"

namespace tolvek {

// Longest thread name the operating system keeps (without the terminating zero).
constexpr size_t kMaxThreadNameLength = 15;

// Gives the calling thread a name for debuggers and `top -H`; longer names are cut to 15 bytes.
void SetCurrentThreadName(std::string_view name);

// A thread object: Start runs Execute on a new thread, Terminate asks it to stop, WaitFor joins.
//
// A subclass whose Execute blocks overrides Terminate to wake it, and its destructor calls
// Stop() (the base destructor cannot, because Execute and Terminate are gone by then). Threads
// that are still running when the program exits are terminated and joined from an exit handler,
// newest first, so that a program never ends with a thread in flight and never hangs there: a
// thread that has not stopped 5 s after Terminate is left behind with a note on stderr.
class TThread {
public:
  explicit TThread(std::string name);
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts the thread (once).
  void Start();
  // Sets Terminated; subclasses also wake whatever Execute waits on.
  virtual void Terminate();
  bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
  // Waits until Execute has returned and joins the thread; false when `timeoutMs` passed first.
  bool WaitFor(int64_t timeoutMs = kWaitInfinite);
  // Terminate and WaitFor.
  void Stop();
  bool Started() const { return started_.load(std::memory_order_acquire); }
  bool IsCurrentThread() const;

  std::string Name() const;
  // Renames the thread, also while it runs.
  void SetName(std::string name);
  // Runs the thread `steps` nice levels below the process (applied when it starts).
  void SetPriorityBelowNormal(int steps = 1) { niceSteps_ = steps; }

  // The message of an exception that escaped Execute, empty if none did.
  std::string FatalMessage() const;

protected:
  virtual void Execute() = 0;
  // Called on the thread with the message of an exception that escaped Execute.
  virtual void HandleFatalException(const std::string& message);

private:
  friend class TRunningThreads;
  void Run();
  void Join();
  // At program exit: terminate, wait a while, and leave the thread behind if it does not stop.
  void StopForExit();

  mutable std::mutex mutex_;
  std::mutex joinMutex_;
  std::string name_;
  std::string fatalMessage_;
  std::thread thread_;
  std::atomic<std::thread::id> threadId_{};
  pthread_t native_{};
  bool running_ = false;
  std::atomic<bool> terminated_{false};
  TEvent finished_{true};
  std::atomic<bool> started_{false};
  int niceSteps_ = 0;
};

}  // namespace tolvek
