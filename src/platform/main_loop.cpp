// The headless main loop.
#include "platform/main_loop.h"

#include <chrono>

namespace tolvek {

void THeadlessMainLoop::SetIdleHandler(TIdleHandler handler) { handler_ = std::move(handler); }

// Both notify under the lock, so the loop cannot be gone before the notification is.
void THeadlessMainLoop::Wake() {
  std::lock_guard lock(mutex_);
  woken_ = true;
  wake_.notify_one();
}

void THeadlessMainLoop::Quit() {
  std::lock_guard lock(mutex_);
  quit_ = true;
  wake_.notify_one();
}

bool THeadlessMainLoop::CallHandler() {
  bool done = true;
  if (handler_) handler_(done);
  return done;
}

void THeadlessMainLoop::ProcessPending() {
  while (!CallHandler()) {
  }
}

void THeadlessMainLoop::Run() {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      if (quit_) {
        quit_ = false;
        return;
      }
      woken_ = false;
    }
    if (!CallHandler()) continue;
    spin_.SpinUntil([this] { return woken_.load(std::memory_order_relaxed); });
    // A Wake between the handler's last call and here was recorded in woken_, so it is not lost.
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return woken_.load() || quit_; });
  }
}

bool THeadlessMainLoop::RunUntil(const std::function<bool()>& condition, int64_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      woken_ = false;
    }
    const bool done = CallHandler();
    if (condition()) return true;
    if (done) {
      const auto now = Clock::now();
      if (now >= deadline) return false;
      std::unique_lock lock(mutex_);
      wake_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(10)),
                       [this] { return woken_.load(); });
    } else if (Clock::now() >= deadline) {
      return condition();
    }
  }
}

}  // namespace tolvek
