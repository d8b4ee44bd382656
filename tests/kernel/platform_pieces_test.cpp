// The platform pieces the kernel stands on: the tick, events, named threads, the headless loop.
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>

#include <atomic>
#include <thread>

#include "kernel_test_support.h"
#include "platform/event.h"
#include "platform/main_loop.h"
#include "platform/thread.h"
#include "platform/tick_count.h"

namespace tolvek {
namespace {

using testing::kEventually;

TEST(TickCount, ComparesAcrossTheWrap) {
  struct Case {
    uint32_t now, due;
    bool reached;
    uint32_t remaining;
  };
  const Case cases[] = {
      {100, 100, true, 0},
      {100, 150, false, 50},
      {150, 100, true, 0},
      {0xFFFFFFF0u, 0x10, false, 0x20},  // due after the wrap
      {0x10, 0xFFFFFFF0u, true, 0},      // due just before the wrap, now after it
      {0, 0x7FFFFFFF, false, 0x7FFFFFFF},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TickReached(c.now, c.due), c.reached) << c.now << " " << c.due;
    EXPECT_EQ(TickRemaining(c.now, c.due), c.remaining) << c.now << " " << c.due;
  }
}

TEST(TickCount, OffsetMovesTheCounterAndItWraps) {
  const uint32_t before = GetTickCount();
  SetTickCountOffset(0u - before - 100000);  // the counter now reads 100 s before the wrap
  const uint32_t shifted = GetTickCount();
  SetTickCountOffset(0);
  EXPECT_GE(shifted, 0u - 100000) << "expected just below the wrap";
  EXPECT_FALSE(TickReached(GetTickCount(), GetTickCount() + 1000));
}

TEST(Event, ManualStaysSetAutoLetsOneThrough) {
  TEvent manual(true);
  EXPECT_FALSE(manual.WaitFor(0));
  manual.SetEvent();
  EXPECT_TRUE(manual.WaitFor(0));
  EXPECT_TRUE(manual.WaitFor(0));
  manual.ResetEvent();
  EXPECT_FALSE(manual.WaitFor(1));

  TEvent automatic(false, true);
  EXPECT_TRUE(automatic.WaitFor(0));
  EXPECT_FALSE(automatic.WaitFor(0));
}

TEST(Event, SetOnAnotherThreadWakesTheWaiter) {
  TEvent event(false);
  std::thread setter([&] { event.SetEvent(); });
  EXPECT_TRUE(event.WaitFor(kEventually));
  setter.join();
}

TEST(EventFd, PollsReadableWhileSet) {
  TEventFd event;
  pollfd handle{event.Handle(), POLLIN, 0};
  EXPECT_EQ(poll(&handle, 1, 0), 0);
  event.SetEvent();
  event.SetEvent();
  EXPECT_EQ(poll(&handle, 1, 0), 1);
  EXPECT_TRUE(event.ResetEvent());
  EXPECT_EQ(poll(&handle, 1, 0), 0);
  EXPECT_FALSE(event.ResetEvent());
}

// Records the name its thread carries and can fail on request.
class TProbeThread : public TThread {
public:
  TProbeThread(std::string name, bool fail) : TThread(std::move(name)), fail_(fail) {}
  ~TProbeThread() override { Stop(); }
  std::string seenName;

protected:
  void Execute() override {
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    seenName = name;
    if (fail_) throw EError("probe failed");
    while (!Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

private:
  bool fail_;
};

TEST(Thread, CarriesItsNameCutTo15Characters) {
  const std::pair<const char*, const char*> cases[] = {{"MxTimerQueue", "MxTimerQueue"},
                                                       {"MxSchedulerThread", "MxSchedulerThre"}};
  for (auto [name, expected] : cases) {
    TProbeThread thread(name, true);
    thread.Start();
    ASSERT_TRUE(thread.WaitFor(kEventually));
    EXPECT_EQ(thread.seenName, expected);
    EXPECT_EQ(thread.FatalMessage(), "probe failed");
  }
}

TEST(Thread, StopEndsAndJoins) {
  TProbeThread thread("Probe", false);
  thread.Start();
  EXPECT_FALSE(thread.WaitFor(0));
  thread.Stop();
  EXPECT_TRUE(thread.FatalMessage().empty());
}

TEST(HeadlessMainLoop, CallsTheHandlerWhileBusyAndSleepsUntilWoken) {
  THeadlessMainLoop loop;
  std::atomic<int> calls{0};
  int pending = 3;  // three calls report more work, then it is done
  loop.SetIdleHandler([&](bool& done) {
    ++calls;
    if (pending > 0) --pending;
    done = pending == 0;
  });
  std::thread waker([&] {
    // Wake only once the loop has gone idle, then ask it to stop.
    while (calls.load() < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    loop.Wake();
    while (calls.load() < 4) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    loop.Quit();
  });
  loop.Run();
  waker.join();
  EXPECT_EQ(calls.load(), 4);  // no call while it slept idle, one for the wake
}

}  // namespace
}  // namespace tolvek
