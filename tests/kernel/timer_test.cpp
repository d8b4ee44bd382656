// The timer thread: order of equal due ticks, timers across the 32-bit wrap, periodic timers
// and the destruction of a timer whose callback is running.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "kernel/timer_queue.h"
#include "kernel_test_support.h"
#include "platform/event.h"
#include "platform/tick_count.h"

namespace tolvek {
namespace {

using testing::kEventually;

// Collects the order in which timers fire, from the timer thread.
class TFiringLog {
public:
  void Add(char name) {
    std::lock_guard lock(mutex_);
    order_ += name;
  }
  std::string Order() const {
    std::lock_guard lock(mutex_);
    return order_;
  }

private:
  mutable std::mutex mutex_;
  std::string order_;
};

TEST(TimerQueue, EqualDueTicksFireInTheOrderTheyWereSet) {
  TFiringLog log;
  TEvent allFired(true);
  TMxTimer timers[4];
  const char names[] = "wxyz";
  for (int i = 0; i < 4; ++i)
    timers[i].OnTimer = [&, i] {
      log.Add(names[i]);
      if (i == 0) allFired.SetEvent();
    };
  // Set them until all four land on the same millisecond (the clock may tick in between).
  for (;;) {
    for (int i = 3; i >= 0; --i) timers[i].SetTimer(30, false, true);  // z first, w last
    if (timers[0].DueTick() == timers[3].DueTick()) break;
    for (auto& timer : timers) timer.StopTimer();
  }
  ASSERT_TRUE(allFired.WaitFor(kEventually));
  EXPECT_EQ(log.Order(), "zyxw");
}

TEST(TimerQueue, TimersRunAcrossTheWrapInDueOrder) {
  // 500 ms before the 32-bit tick wraps, set a timer due after the wrap and one due before.
  SetTickCountOffset(0u - GetTickCount() - 500);
  TFiringLog log;
  TEvent lateFired(true);
  TMxTimer early, late;
  early.OnTimer = [&] { log.Add('e'); };
  late.OnTimer = [&] {
    log.Add('l');
    lateFired.SetEvent();
  };
  const auto start = std::chrono::steady_clock::now();
  late.SetTimer(800, false, true);
  early.SetTimer(50, false, true);
  EXPECT_LT(late.DueTick(), early.DueTick()) << "the late timer's due tick has wrapped";
  ASSERT_TRUE(lateFired.WaitFor(kEventually));
  EXPECT_GE(testing::MillisecondsSince(start), 799);
  EXPECT_EQ(log.Order(), "el");
  SetTickCountOffset(0);
}

TEST(TimerQueue, PeriodicTimerRepeatsUntilStopped) {
  std::atomic<int> firings{0};
  TEvent threeFired(true);
  TMxTimer timer;
  timer.OnTimer = [&] {
    if (++firings == 3) threeFired.SetEvent();
  };
  timer.SetTimer(5, true, true);
  ASSERT_TRUE(threeFired.WaitFor(kEventually));
  timer.StopTimer();
  EXPECT_FALSE(timer.Active());
  const int stopped = firings.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(firings.load(), stopped);
}

TEST(TimerQueue, SetTimerRestartsAndFalseStartLeavesItStopped) {
  TMxTimer timer;
  std::atomic<int> firings{0};
  timer.OnTimer = [&] { ++firings; };
  timer.SetTimer(100000, false, true);
  EXPECT_TRUE(timer.Active());
  timer.SetTimer(10, false, false);
  EXPECT_FALSE(timer.Active());
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  EXPECT_EQ(firings.load(), 0);
}

TEST(TimerQueue, DestroyingATimerWaitsForItsRunningCallback) {
  TEvent entered(true);
  std::atomic<bool> finished{false};
  {
    TMxTimer timer;
    timer.OnTimer = [&] {
      entered.SetEvent();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      finished = true;
    };
    timer.SetTimer(0, false, true);
    ASSERT_TRUE(entered.WaitFor(kEventually));
  }
  EXPECT_TRUE(finished.load());
}

TEST(TimerQueue, ThreadIsNamed) {
  TMxTimer timer;
  timer.StopTimer();  // makes sure the timer thread runs
  EXPECT_TRUE(testing::Eventually([] { return testing::ThreadNamed("MxTimerQueue"); }));
}

}  // namespace
}  // namespace tolvek
