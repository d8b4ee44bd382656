// Thread events on a condition variable, and the eventfd-backed event.
#include "platform/event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TEvent::TEvent(bool manualReset, bool initiallySet) : manualReset_(manualReset), set_(initiallySet) {}

void TEvent::SetEvent() {
  // Notified under the lock: a waiter that wakes may destroy the event at once.
  std::lock_guard lock(mutex_);
  set_ = true;
  if (manualReset_)
    changed_.notify_all();
  else
    changed_.notify_one();
}

void TEvent::ResetEvent() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool TEvent::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

bool TEvent::WaitFor(int64_t timeoutMs) {
  std::unique_lock lock(mutex_);
  if (timeoutMs < 0) {
    changed_.wait(lock, [this] { return set_; });
  } else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return set_; })) {
    return false;
  }
  if (!manualReset_) set_ = false;
  return true;
}

TEventFd::TEventFd() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (fd_ < 0) throw EError(StrFormat("eventfd failed: %s", std::strerror(errno)));
}

TEventFd::~TEventFd() { close(fd_); }

void TEventFd::SetEvent() {
  const uint64_t one = 1;
  // Only EAGAIN (counter saturated, so the event is set anyway) can fail here.
  while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

bool TEventFd::ResetEvent() {
  uint64_t count = 0;
  ssize_t n;
  while ((n = read(fd_, &count, sizeof count)) < 0 && errno == EINTR) {
  }
  return n == sizeof count && count != 0;
}

}  // namespace tolvek
