// Schedulers with their own thread, work crossing threads, and the races between releases,
// time-outs and stops.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kernel/task_control.h"
#include "kernel_test_support.h"
#include "platform/event.h"

namespace tolvek {
namespace {

using testing::kEventually;
using testing::TMainSchedulerFixture;
using testing::TReportedErrors;

TEST(NamedScheduler, RunsItsTasksOnItsOwnNamedThread) {
  TReportedErrors errors;
  TMxScheduler scheduler("TalkScheduler");
  EXPECT_TRUE(scheduler.OwnThread());
  EXPECT_NE(TMxScheduler::Main(), &scheduler);
  EXPECT_TRUE(testing::Eventually([] { return testing::ThreadNamed("TalkScheduler"); }));

  TMxSignal go;
  TEvent ran(true);
  std::thread::id ranOn;
  TMxTask task(scheduler);
  task.OnExecute = [&](TMxTask& t) {
    ranOn = std::this_thread::get_id();
    t.Terminate();
    ran.SetEvent();
  };
  // The scheduler's thread may pick the task as soon as it starts, so it waits first.
  std::atomic<bool> waiting{false};
  task.OnSuspend = [&](TMxTask&) { waiting = true; };
  {
    TMxTask starter(scheduler);  // Start and WaitFor belong on the scheduler's thread
    TEvent started(true);
    starter.OnExecute = [&](TMxTask& s) {
      task.Start();
      task.WaitFor(go, kMxInfinite);
      s.Terminate();
      started.SetEvent();
    };
    starter.Start();
    ASSERT_TRUE(started.WaitFor(kEventually));
  }
  EXPECT_TRUE(waiting.load());
  go.SetSignal(true);
  ASSERT_TRUE(ran.WaitFor(kEventually));
  scheduler.StopThread();
  EXPECT_NE(ranOn, std::this_thread::get_id());
  EXPECT_TRUE(errors.Reports().empty());
}

TEST(NamedScheduler, ShutsDownWithASleepingTask) {
  const auto start = std::chrono::steady_clock::now();
  {
    TMxScheduler scheduler("Sleeper");
    TMxTask task(scheduler);
    TEvent asleep(true);
    task.OnExecute = [&](TMxTask& t) { t.Sleep(1000000); };
    task.OnSuspend = [&](TMxTask&) { asleep.SetEvent(); };
    task.Start();
    ASSERT_TRUE(asleep.WaitFor(kEventually));
  }  // the task is stopped, then the scheduler's thread is stopped and joined
  EXPECT_LT(testing::MillisecondsSince(start), 1000000);
}

TEST(NamedScheduler, DestroyingATaskWaitsForItsRunningSlice) {
  TMxScheduler scheduler("SliceScheduler");
  TEvent entered(true);
  std::atomic<bool> sliceOver{false};
  auto task = std::make_unique<TMxTask>(scheduler);
  task->OnExecute = [&](TMxTask& t) {
    entered.SetEvent();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    t.Terminate();
    sliceOver = true;
  };
  task->Start();
  ASSERT_TRUE(entered.WaitFor(kEventually));
  task.reset();
  EXPECT_TRUE(sliceOver.load());
}

// A task on a named scheduler waits on a signal with a 1 ms time-out while the test thread
// sets the signal: whichever wins, the wait ends exactly once, with wrOk or wrTimeout, and the
// kernel reports nothing.
TEST(CrossThread, SignalRacesTimeout) {
  TReportedErrors errors;
  TMxScheduler scheduler("RaceScheduler");
  TMxSignal signal;
  std::atomic<int> waits{0}, oks{0}, timeouts{0}, suspends{0}, resumes{0};
  constexpr int kRounds = 300;
  TMxTask task(scheduler);
  bool armed = false;
  task.OnExecute = [&](TMxTask& t) {
    if (armed) {
      armed = false;
      (t.WaitResult() == wrOk ? oks : timeouts)++;
      signal.SetSignal(false);
      if (waits.load() == kRounds) {
        t.Terminate();
        return;
      }
    }
    armed = true;
    ++waits;
    t.WaitFor(signal, 1);
  };
  task.OnSuspend = [&](TMxTask&) { ++suspends; };
  task.OnResume = [&](TMxTask&) { ++resumes; };
  task.Start();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRounds; ++i) {
    while (waits.load() <= i) {
      ASSERT_LT(testing::MillisecondsSince(start), kEventually);
      std::this_thread::yield();
    }
    if (i % 3) std::this_thread::sleep_for(std::chrono::microseconds(500 * (i % 4)));
    signal.SetSignal(true);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEventually);
  while (task.State() != tsTerminated && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(task.State(), tsTerminated);
  scheduler.StopThread();
  EXPECT_EQ(oks + timeouts, kRounds);
  EXPECT_EQ(resumes.load(), suspends.load());  // a wait that completed at once has neither
  EXPECT_TRUE(errors.Reports().empty());
}

// Tasks on the main scheduler and on a named one take a task lock with short time-outs; the
// lock admits one owner at a time and every wait ends with wrOk or wrTimeout.
class SemaphoreContention : public TMainSchedulerFixture {};

TEST_F(SemaphoreContention, AdmitsOneOwnerAcrossThreads) {
  TMxScheduler other("Contender");
  TMxSemaphore lock;
  std::atomic<int> inside{0}, maxInside{0}, acquired{0}, finished{0};
  constexpr int kTasks = 4, kRounds = 150;
  struct TWorker {
    std::unique_ptr<TMxTask> task;
    int round = 0;
    bool waited = false;
  };
  std::vector<TWorker> workers(kTasks);
  for (int i = 0; i < kTasks; ++i) {
    TWorker& w = workers[i];
    w.task = i % 2 ? std::make_unique<TMxTask>(other) : std::make_unique<TMxTask>();
    w.task->OnExecute = [&](TMxTask& t) {
      if (!w.waited) {
        w.waited = true;
        t.WaitFor(lock, 2);
        if (t.State() == tsWaiting) return;
      }
      w.waited = false;
      if (t.WaitResult() == wrOk) {
        const int now = ++inside;
        int seen = maxInside.load();
        while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
        }
        ++acquired;
        --inside;
        lock.Release(t);
      } else {
        EXPECT_EQ(t.WaitResult(), wrTimeout);
      }
      if (++w.round == kRounds) {
        t.Terminate();
        ++finished;
      }
    };
  }
  for (auto& w : workers) w.task->Start();
  ASSERT_TRUE(RunUntil([&] { return finished.load() == kTasks; }));
  EXPECT_EQ(maxInside.load(), 1);
  EXPECT_GT(acquired.load(), 0);
  EXPECT_TRUE(errors.Reports().empty());
  other.StopThread();
}

}  // namespace
}  // namespace tolvek
