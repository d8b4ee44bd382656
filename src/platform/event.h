// Events in the two flavours the kernel and the drivers wait on: a manual- or auto-reset event
// for threads that block on it, and an auto-reset event backed by an eventfd for threads that
// poll() it together with other file descriptors.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tolvek {

// Time-out value that means "wait for ever".
constexpr int64_t kWaitInfinite = -1;

// A thread event. A manual-reset event stays set until ResetEvent; an auto-reset event lets one
// waiter through and clears itself.
class TEvent {
public:
  explicit TEvent(bool manualReset, bool initiallySet = false);
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void SetEvent();
  void ResetEvent();
  bool IsSet() const;
  // Waits until the event is set or `timeoutMs` passed (kWaitInfinite: no time-out); true when
  // it was set. An auto-reset event is cleared by the wait that sees it.
  bool WaitFor(int64_t timeoutMs = kWaitInfinite);

private:
  const bool manualReset_;
  bool set_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
};

// An auto-reset event whose handle is a file descriptor (eventfd): a thread that poll()s it sees
// POLLIN while it is set, and ResetEvent clears it again.
class TEventFd {
public:
  TEventFd();
  ~TEventFd();
  TEventFd(const TEventFd&) = delete;
  TEventFd& operator=(const TEventFd&) = delete;

  void SetEvent();
  // Clears the event; answers whether it was set.
  bool ResetEvent();
  int Handle() const { return fd_; }

private:
  int fd_;
};

}  // namespace tolvek
