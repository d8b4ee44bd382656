// Tasks on the main scheduler: wait results, time-outs, stop, sleep, priorities, turn-taking
// and the failures of misused operations.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kernel/task_control.h"
#include "kernel_test_support.h"

namespace tolvek {
namespace {

using testing::ExpectError;
using testing::MillisecondsSince;
using testing::TMainSchedulerFixture;

// A task whose OnExecute runs one scripted step per slice.
class TScriptedTask : public TMxTask {
public:
  explicit TScriptedTask(std::vector<std::function<void(TMxTask&)>> steps) : steps_(std::move(steps)) {
    OnExecute = [this](TMxTask& task) {
      if (next_ < steps_.size()) steps_[next_++](task);
    };
  }
  size_t StepsRun() const { return next_; }

private:
  std::vector<std::function<void(TMxTask&)>> steps_;
  size_t next_ = 0;
};

using TaskTest = TMainSchedulerFixture;

TEST_F(TaskTest, PollOnSemaphoreAcquiresWhenFreeAndOtherwiseStaysReady) {
  TMxSemaphore semaphore;
  TMxTask first, second;
  first.Start();
  second.Start();
  first.WaitFor(semaphore, kMxPoll);
  EXPECT_EQ(first.WaitResult(), wrOk);
  EXPECT_TRUE(semaphore.IsOwner(first));
  second.WaitFor(semaphore, kMxPoll);
  EXPECT_EQ(second.WaitResult(), wrUnavailable);
  EXPECT_EQ(second.State(), tsReady);
  ExpectError([&] { semaphore.Release(second); }, "Semaphore Release Error");

  // A waiter takes the lock over when the owner lets go.
  second.WaitFor(semaphore, kMxInfinite);
  EXPECT_EQ(second.State(), tsWaiting);
  semaphore.Release(first);
  EXPECT_EQ(second.State(), tsReady);
  EXPECT_EQ(second.WaitResult(), wrOk);
  EXPECT_TRUE(semaphore.IsOwner(second));
  semaphore.Release(second);
  EXPECT_FALSE(semaphore.IsOwner(second));
}

TEST_F(TaskTest, SignalResumesAllWaitersInOrderAndStaysSet) {
  TMxSignal signal;
  std::string order;
  TMxTask a, b;
  a.OnResume = [&](TMxTask&) { order += 'a'; };
  b.OnResume = [&](TMxTask&) { order += 'b'; };
  a.Start();
  b.Start();
  a.WaitFor(signal, kMxPoll);
  EXPECT_EQ(a.WaitResult(), wrUnavailable);
  a.WaitFor(signal, kMxInfinite);
  b.WaitFor(signal, kMxInfinite);
  EXPECT_EQ(signal.WaitingCount(), 2u);
  signal.SetSignal(true);
  EXPECT_EQ(order, "ab");
  EXPECT_EQ(a.WaitResult(), wrOk);
  EXPECT_EQ(b.WaitResult(), wrOk);
  EXPECT_EQ(signal.WaitingCount(), 0u);
  a.WaitFor(signal, kMxInfinite);  // still set: completes at once
  EXPECT_EQ(a.State(), tsReady);
  signal.SetSignal(false);
  a.WaitFor(signal, kMxPoll);
  EXPECT_EQ(a.WaitResult(), wrUnavailable);
}

TEST_F(TaskTest, TimeoutRunsOnTimeoutBeforeTheResume) {
  TMxSignal signal;
  std::vector<std::string> events;
  TScriptedTask task({[&](TMxTask& t) { t.WaitFor(signal, 50); },
                      [&](TMxTask& t) { events.push_back("slice " + std::to_string(t.WaitResult())); }});
  task.OnTimeout = [&](TMxTask&) { events.push_back("timeout"); };
  task.OnResume = [&](TMxTask& t) { events.push_back("resume " + std::to_string(t.WaitResult())); };
  const auto start = std::chrono::steady_clock::now();
  task.Start();
  ASSERT_TRUE(RunUntil([&] { return task.StepsRun() == 2; }));
  EXPECT_GE(MillisecondsSince(start), 49);
  EXPECT_EQ(events, (std::vector<std::string>{"timeout", "resume 1", "slice 1"}));
  EXPECT_EQ(signal.WaitingCount(), 0u);
}

TEST_F(TaskTest, DestroyingAControlReleasesItsWaiters) {
  const std::vector<std::function<std::unique_ptr<TMxTaskControl>()>> makers = {
      [] { return std::make_unique<TMxSignal>(); }, [] { return std::make_unique<TMxSemaphore>(); }};
  for (const auto& make : makers) {
    auto control = make();
    TMxTask owner, a, b;
    for (TMxTask* t : {&owner, &a, &b}) t->Start();
    owner.WaitFor(*control, kMxPoll);  // takes the semaphore; nothing for the signal
    a.WaitFor(*control, 100000);
    b.WaitFor(*control, kMxInfinite);
    control.reset();
    for (TMxTask* t : {&a, &b}) {
      EXPECT_EQ(t->State(), tsReady);
      EXPECT_EQ(t->WaitResult(), wrReleased);
      EXPECT_EQ(t->Control(), nullptr);
    }
  }
}

TEST_F(TaskTest, StopAbortsAWaitingTaskWhichCanStartAgain) {
  TMxSignal signal;
  int slices = 0;
  TMxTask task;
  task.OnExecute = [&](TMxTask& t) {
    ++slices;
    t.Terminate();
  };
  std::vector<int> resumed;
  task.OnResume = [&](TMxTask& t) { resumed.push_back(t.WaitResult()); };
  task.Start();
  task.WaitFor(signal, 100000);
  task.Stop();
  EXPECT_EQ(resumed, std::vector<int>{wrAborted});
  EXPECT_EQ(task.State(), tsTerminated);
  EXPECT_EQ(signal.WaitingCount(), 0u);
  RunReady();
  EXPECT_EQ(slices, 0);
  task.Start();
  RunReady();
  EXPECT_EQ(slices, 1);
}

TEST_F(TaskTest, StopCancelsASleep) {
  TMxTask sleeper;
  int resumes = 0;
  sleeper.OnResume = [&](TMxTask&) { ++resumes; };
  sleeper.Start();
  sleeper.Sleep(30);
  EXPECT_EQ(sleeper.State(), tsWaiting);
  sleeper.Stop();
  EXPECT_EQ(sleeper.State(), tsTerminated);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(resumes, 0);
  EXPECT_EQ(sleeper.State(), tsTerminated);
  EXPECT_EQ(scheduler.ReadyCount(), 0u);
}

TEST_F(TaskTest, SleepEndsWithOk) {
  TScriptedTask task({[](TMxTask& t) { t.Sleep(20); }, [](TMxTask& t) { t.Terminate(); }});
  const auto start = std::chrono::steady_clock::now();
  task.Start();
  ASSERT_TRUE(RunUntil([&] { return task.State() == tsTerminated; }));
  EXPECT_GE(MillisecondsSince(start), 19);
  EXPECT_EQ(task.WaitResult(), wrOk);
}

TEST_F(TaskTest, HigherPriorityRunsAloneUntilItWaits) {
  TMxSignal signal;
  std::string trace;
  TMxTask high, low;
  high.SetPriority(1);
  low.SetPriority(3);
  int highSlices = 0;
  high.OnExecute = [&](TMxTask& t) {
    trace += 'H';
    if (++highSlices == 3) t.WaitFor(signal, kMxInfinite);
  };
  low.OnExecute = [&](TMxTask& t) {
    trace += 'L';
    t.Terminate();
  };
  low.Start();
  high.Start();
  RunReady();
  EXPECT_EQ(trace, "HHHL");
}

TEST_F(TaskTest, EqualPrioritiesTakeTurns) {
  std::string trace;
  TMxTask a, b;
  int count = 0;
  auto slice = [&](char name) {
    return [&, name](TMxTask& t) {
      trace += name;
      if (++count >= 6) t.Terminate();
    };
  };
  a.OnExecute = slice('a');
  b.OnExecute = slice('b');
  a.Start();
  b.Start();
  RunReady();
  EXPECT_EQ(trace.substr(0, 6), "ababab");
}

TEST_F(TaskTest, MisusedOperationsFailWithTheirTexts) {
  TMxSignal signal, other;
  TMxTask task;
  ExpectError([&] { task.Terminate(); }, "Task Terminate Error");
  ExpectError([&] { task.Sleep(1); }, "Task Sleep Error");
  ExpectError([&] { task.Suspend(&signal, kMxInfinite); }, "Task Suspend Error");
  ExpectError([&] { task.SetPriority(5); }, "Invalid Priority Value");
  ExpectError([&] { signal.Release(task, wrOk); }, "Release Task Error");
  task.Start();
  ExpectError([&] { task.Start(); }, "Can not start task");
  ExpectError([&] { task.SetPriority(0); }, "Task Set Priority Error");
  ExpectError([&] { task.Resume(nullptr, wrOk); }, "Task Resume Error");
  // A time-out with nothing to time out from would leave the task waiting for ever.
  ExpectError([&] { task.Suspend(nullptr, 100); }, "Task Timeout Error");
  EXPECT_EQ(task.State(), tsReady);
  task.WaitFor(signal, kMxInfinite);
  ExpectError([&] { task.Resume(&other, wrOk); }, "Task Resume Error");
  ExpectError([&] { other.Release(task, wrOk); }, "Release Task Error");
  signal.Abort(task);
  EXPECT_EQ(task.WaitResult(), wrAborted);
  EXPECT_EQ(task.State(), tsReady);
}

TEST(TaskWithoutMainScheduler, IsRefused) {
  ExpectError([] { TMxTask task; }, "Main Scheduler not created!");
}

TEST_F(TaskTest, AnEscapingExceptionStopsOnlyThatTask) {
  TMxTask failing, healthy;
  int healthySlices = 0;
  failing.OnExecute = [](TMxTask&) { throw EError("boom"); };
  healthy.OnExecute = [&](TMxTask& t) {
    if (++healthySlices == 3) t.Terminate();
  };
  failing.Start();
  healthy.Start();
  RunReady();
  EXPECT_EQ(failing.State(), tsTerminated);
  EXPECT_EQ(healthySlices, 3);
  EXPECT_EQ(errors.Reports(), std::vector<std::string>{"Unhandled Exception in Task: boom"});
}

}  // namespace
}  // namespace tolvek
