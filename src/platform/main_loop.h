// The main loop port: the seam through which the main scheduler runs on the GUI thread, and
// the headless loop that stands in for the GUI in tools and tests.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/adaptive_spin.h"

namespace tolvek {

// Runs an idle handler on the main thread whenever there is work, and sleeps when there is none.
// The handler sets `done` to false while it has more work; the loop then calls it again without
// waiting. Once it reports done, the loop sleeps until Wake is called (from any thread).
class TMainLoop {
public:
  using TIdleHandler = std::function<void(bool& done)>;

  virtual ~TMainLoop() = default;
  // Installs the handler (an empty one removes it). Called on the main thread.
  virtual void SetIdleHandler(TIdleHandler handler) = 0;
  // Makes the loop call the idle handler again soon; cheap, and safe from any thread.
  virtual void Wake() = 0;
};

// The loop of a program without windows: Run on the main thread until Quit.
class THeadlessMainLoop : public TMainLoop {
public:
  void SetIdleHandler(TIdleHandler handler) override;
  void Wake() override;

  // Serves the idle handler until Quit; sleeps without using the processor while it is done.
  void Run();
  // Makes Run return (from any thread); the next Run starts afresh.
  void Quit();
  // Calls the idle handler until it is done, without sleeping.
  void ProcessPending();
  // Serves the idle handler until `condition` holds or `timeoutMs` passed; answers the
  // condition. The condition is checked after every call of the handler, on every Wake and, so
  // that it may also watch other threads, at least every 10 ms.
  bool RunUntil(const std::function<bool()>& condition, int64_t timeoutMs);

private:
  bool CallHandler();

  TIdleHandler handler_;
  std::mutex mutex_;
  std::condition_variable wake_;
  // Written under mutex_; also read without it by the spin before Run sleeps.
  std::atomic<bool> woken_{false};
  TAdaptiveSpin spin_;
  bool quit_ = false;
};

}  // namespace tolvek
