// The service provider protocol: turns of clients, pauses, jobs, update passes, the client
// pool, the job ring, the device actor and the execute control.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "comm/client_job_queue.h"
#include "comm/device_actor.h"
#include "comm/execute_control.h"
#include "comm/service_client_pool.h"
#include "comm/service_provider.h"
#include "comm/talk_status.h"
#include "platform/text_format.h"
#include "platform/user_interface.h"
#include "talk_test_support.h"

namespace tolvek::testing {
namespace {

// Keeps the message boxes the provider shows.
class TRecordingUserInterface : public THeadlessUserInterface {
public:
  TMsgDlgButton MessageBox(const std::string& text, TMsgDlgType, unsigned, TMsgDlgButton defaultButton) override {
    Boxes.push_back(text);
    return defaultButton;
  }
  std::vector<std::string> Boxes;
};

class ServiceProviderTest : public TMainSchedulerFixture {
protected:
  ServiceProviderTest() { SetUserInterface(&ui); }
  ~ServiceProviderTest() override { SetUserInterface(nullptr); }

  TRecordingUserInterface ui;
  std::vector<std::string> trace;
  TServiceProvider provider;
};

TEST_F(ServiceProviderTest, TurnsArePausedContinuedAndReleasedOneClientAtATime) {
  TServiceClient a, b;
  a.Connect(provider);
  b.Connect(provider);
  int aSteps = 0;
  a.OnRequest = [&](TServiceClient& client) {
    trace.push_back("a" + std::to_string(++aSteps));
    // Runs again on every slice until it pauses; the pause ends with Continue.
    if (aSteps == 2) client.Wait(kEventually);
    if (aSteps == 3) client.Release();
  };
  b.OnRequest = [&](TServiceClient& client) {
    trace.push_back("b");
    client.Release();
  };
  a.Request();
  b.Request();
  ExpectError([&] { b.Request(); }, "TServiceProvider.ClientRequest: request already pending");
  ASSERT_TRUE(RunUntil([&] { return provider.State() == TServiceProvider::psPaused; }));
  RunReady();
  EXPECT_EQ(trace, (std::vector<std::string>{"a1", "a2"}));
  ExpectError([&] { b.Continue(); }, "TServiceProvider.ClientContinue: client isn't current client");
  ExpectError([&] { a.Wait(10); }, "TServiceProvider.ClientWait: wrong state for this operation");
  a.Continue();
  ExpectError([&] { a.Continue(); }, "TServiceProvider.ClientContinue: wrong state for this operation");
  ASSERT_TRUE(RunUntil([&] { return trace.size() == 4; }));
  EXPECT_EQ(trace, (std::vector<std::string>{"a1", "a2", "a3", "b"}));
  EXPECT_FALSE(a.Pending());
  EXPECT_FALSE(b.Pending());
  RunReady();
  EXPECT_EQ(provider.State(), TServiceProvider::psIdle);
}

TEST_F(ServiceProviderTest, APauseEndsByItselfAfterItsTime) {
  TServiceClient client;
  client.Connect(provider);
  std::chrono::steady_clock::time_point paused;
  int steps = 0;
  client.OnRequest = [&](TServiceClient& c) {
    if (++steps == 1) {
      paused = std::chrono::steady_clock::now();
      c.Wait(500);
    } else {
      c.Release();
    }
  };
  client.Request();
  ASSERT_TRUE(RunUntil([&] { return steps == 2; }));
  EXPECT_GE(MillisecondsSince(paused), 490);
}

TEST_F(ServiceProviderTest, ClientMisuseErrors) {
  TServiceClient client;
  ExpectError([&] { client.Request(); }, "TServiceClient.Request: client isn't connected");
  ExpectError([&] { client.Wait(1); }, "TServiceClient.Wait: client isn't connected");
  ExpectError([&] { client.Continue(); }, "TServiceClient.Continue: client isn't connected");
  ExpectError([&] { client.Release(); }, "TServiceClient.Release: client isn't connected");
  ExpectError([&] { client.UpdateRequest(); }, "TServiceClient.UpdateRequest: client isn't connected");
  client.Connect(provider);
  ExpectError([&] { client.Connect(provider); }, "TServiceClient.Connect: client already connected");
  ExpectError([&] { provider.ClientConnect(client); }, "TServiceProvider.ClientConnect: client already connected");
  ExpectError([&] { client.Wait(1); }, "TServiceProvider.ClientWait: client isn't current client");
  ExpectError([&] { client.UpdateRequest(); }, "TServiceProvider.ClientUpdateRequest: client isn't current client");
  ExpectError([&] { provider.EndOfUpdate(); }, "TServiceProvider.EndOfUpdate: missing previous BeginUpdate");
  client.Disconnect();
  EXPECT_EQ(provider.ClientCount(), 0u);
}

TEST_F(ServiceProviderTest, AReleasedRequestNeverRuns) {
  TServiceClient first, second;
  first.Connect(provider);
  second.Connect(provider);
  first.OnRequest = [&](TServiceClient& c) { trace.push_back("first"), c.Release(); };
  second.OnRequest = [&](TServiceClient& c) { trace.push_back("second"), c.Release(); };
  second.Request();
  first.Request();
  second.Release();
  ASSERT_TRUE(RunUntil([&] { return !trace.empty(); }));
  RunReady();
  EXPECT_EQ(trace, std::vector<std::string>{"first"});
}

TEST_F(ServiceProviderTest, UpdatePasses) {
  TServiceClient early, late, other;
  early.Connect(provider);
  late.Connect(provider);
  early.OnUpdate = [&](TServiceClient&) { trace.push_back("early"); };
  late.OnUpdate = [&](TServiceClient&) { trace.push_back("late"); };
  provider.OnUpdate = [&](TServiceProvider& p) {
    trace.push_back("provider");
    ExpectError([&] { p.BeginUpdate(); }, "TServiceProvider.BeginUpdate: not allowed during update procedure");
  };
  // Nested brackets: one pass, after the outermost end; clients last connected first.
  provider.BeginUpdate();
  provider.BeginUpdate();
  provider.EndOfUpdate();
  RunReady();
  EXPECT_TRUE(trace.empty());
  provider.EndOfUpdate();
  ASSERT_TRUE(RunUntil([&] { return trace.size() == 3; }));
  RunReady();
  EXPECT_EQ(trace, (std::vector<std::string>{"late", "early", "provider"}));

  // An update asked for during a turn runs when the turn is over, before the next request.
  trace.clear();
  other.Connect(provider);
  int steps = 0;
  early.OnRequest = [&](TServiceClient& c) {
    if (++steps == 1) {
      c.UpdateRequest();
      c.Wait(kEventually);
      return;
    }
    trace.push_back("turn");
    c.Release();
  };
  other.OnRequest = [&](TServiceClient& c) { trace.push_back("other"), c.Release(); };
  early.Request();
  other.Request();
  ASSERT_TRUE(RunUntil([&] { return provider.State() == TServiceProvider::psPaused; }));
  RunReady();
  EXPECT_TRUE(trace.empty());
  early.Continue();
  ASSERT_TRUE(RunUntil([&] { return trace.size() == 5; }));
  EXPECT_EQ(trace, (std::vector<std::string>{"turn", "late", "early", "provider", "other"}));
}

// A job that counts its own deletion.
class TCountedJob : public TServiceJob {
public:
  explicit TCountedJob(int& deleted) : deleted_(deleted) {}
  ~TCountedJob() override { ++deleted_; }

private:
  int& deleted_;
};

TEST_F(ServiceProviderTest, JobsRunInTurnAndAreFreedUnlessTheyKeepThemselves) {
  int deleted = 0;
  auto* plain = new TCountedJob(deleted);
  plain->OnExecute = [&](TServiceJob&, bool&) { trace.push_back("plain"); };
  TCountedJob kept(deleted);
  kept.OnExecute = [&](TServiceJob&, bool& free) {
    trace.push_back("kept");
    free = false;
  };
  auto* failing = new TCountedJob(deleted);
  failing->OnExecute = [&](TServiceJob&, bool&) { throw EError("job failed"); };
  auto* handled = new TCountedJob(deleted);
  handled->OnExecute = [&](TServiceJob&, bool&) { trace.push_back("not by itself"); };
  provider.OnExecuteJob = [&](TServiceJob& job, bool& wasHandled) {
    if (&job == handled) {
      trace.push_back("by the service");
      wasHandled = true;
    }
  };
  plain->Execute(provider);
  ExpectError([&] { plain->Execute(provider); }, "TServiceProvider.JobExecute: request already pending");
  kept.Execute(provider);
  failing->Execute(provider);
  handled->Execute(provider);
  ASSERT_TRUE(RunUntil([&] { return deleted == 3; }));
  RunReady();
  EXPECT_EQ(trace, (std::vector<std::string>{"plain", "kept", "by the service"}));
  EXPECT_EQ(ui.Boxes, std::vector<std::string>{"job failed"});
  EXPECT_FALSE(kept.Pending());
  // A kept job can run again.
  kept.Execute(provider);
  ASSERT_TRUE(RunUntil([&] { return trace.size() == 4; }));
}

TEST_F(ServiceProviderTest, AFailingStepIsShownAndTheTurnGoesOn) {
  TServiceClient client;
  client.Connect(provider);
  int steps = 0;
  client.OnRequest = [&](TServiceClient& c) {
    if (++steps == 1) throw EError("step failed");
    c.Release();
  };
  client.Request();
  ASSERT_TRUE(RunUntil([&] { return !client.Pending(); }));
  EXPECT_EQ(ui.Boxes, std::vector<std::string>{"step failed"});
}

TEST_F(ServiceProviderTest, PooledClientsReturnOnRelease) {
  TServiceClientPool pool;
  int runs = 0;
  TServiceClient* first = pool.NewRequest(provider, [&](TServiceClient& c) { ++runs, c.Release(); });
  EXPECT_TRUE(first->Pending());
  ASSERT_TRUE(RunUntil([&] { return pool.IdleCount() == 1; }));
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(first->Connected());
  EXPECT_FALSE(first->OnRequest);
  TServiceClient* second = pool.NewRequest(provider, [&](TServiceClient& c) { ++runs, c.Release(); });
  EXPECT_EQ(second, first);
  ASSERT_TRUE(RunUntil([&] { return runs == 2; }));
  TServiceClient stranger;
  ExpectError([&] { pool.PutServiceClient(stranger); }, "TServiceClientPool.PutServiceClient: client not from this pool");
  // A pooled client still waiting when its provider goes away is not lost.
  {
    TServiceProvider shortLived;
    pool.NewRequest(shortLived, [](TServiceClient&) {});
    EXPECT_EQ(pool.IdleCount(), 0u);
  }
  EXPECT_EQ(pool.IdleCount(), 1u);
}

TEST(ClientJobQueueTest, HoldsItsCapacity) {
  TClientJobQueue queue(4);
  ExpectError([&] { queue.GetTopJob(); }, "TClientJobQueue.GetTopJob: EMPTY");
  ExpectError([&] { queue.DeleteHead(); }, "TClientJobQueue.DeleteHead: EMPTY");
  for (uint32_t i = 0; i < 4; ++i) {
    queue.GetNewJob().Address = i;
    queue.Insert();
  }
  EXPECT_EQ(queue.Count(), 4u);
  ExpectError([&] { queue.GetNewJob(); }, "TClientJobQueue.GetNewJob: FULL");
  ExpectError([&] { queue.Insert(); }, "TClientJobQueue.Insert: FULL");
  // Round the ring twice: first in, first out.
  for (uint32_t i = 0; i < 10; ++i) {
    EXPECT_EQ(queue.GetTopJob().Address, i);
    queue.DeleteHead();
    queue.GetNewJob().Address = i + 4;
    queue.Insert();
  }
  EXPECT_EQ(queue.Count(), 4u);
}

class DeviceActorTest : public TTalkFixture {};

TEST_F(DeviceActorTest, JobsGoOutOneAtATime) {
  TDeviceActor deviceActor(client);
  std::vector<std::string> results;
  auto record = [&](const char* name) {
    return [&results, name](uint8_t status, uint32_t value, uint32_t userValue) {
      results.push_back(StrFormat("%s %X %X %d", name, status, value, userValue));
    };
  };
  deviceActor.ReadMemory(link, 0x10, record("read"), 1);
  deviceActor.WriteFlash(link, 0x800000, 0x1234, record("flash"), 2);
  deviceActor.StartProgram(link, 0x801000, record("start"), 3);
  EXPECT_EQ(deviceActor.QueuedJobs(), 3u);

  TMxMessage* request = TakeRequest();
  auto sent = ReadBatch(request, false);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Frame, (TBytes{0x10, 0x10, 0x00, 0x00}));
  Answer(request, {{sent[0].Id, 0, {0x10, 0x00, 0x34, 0x12}}});

  request = TakeRequest();
  sent = ReadBatch(request, false);
  EXPECT_EQ(sent[0].Frame, (TBytes{0x12, 0x00, 0x00, 0x80, 0x34, 0x12}));
  Answer(request, {{sent[0].Id, 0x14, {}}});

  request = TakeRequest();
  sent = ReadBatch(request, false);
  EXPECT_EQ(sent[0].Frame, (TBytes{0x20, 0x00, 0x10, 0x80}));
  Answer(request, {{sent[0].Id, 0, {0x20, 0x00}}});
  ASSERT_TRUE(RunUntil([&] { return results.size() == 3; }));
  EXPECT_EQ(results, (std::vector<std::string>{"read 0 1234 1", "flash 14 0 2", "start 0 0 3"}));
  EXPECT_EQ(deviceActor.QueuedJobs(), 0u);
}

class ExecuteControlTest : public TMainSchedulerFixture {};

TEST_F(ExecuteControlTest, ExecutesWaitsAndContinues) {
  int object = 0, other = 0;
  TExecuteControl control(&object);
  std::vector<std::string> steps;
  control.OnExecute = [&](TExecuteControl& c, int number) {
    steps.push_back("execute " + std::to_string(number));
    // The repeat flag stays as the step leaves it.
    c.Repeat = steps.size() == 1;
    if (steps.size() == 1) c.Wait(&other);
  };
  EXPECT_EQ(control.WaitObject(), &object);
  ExpectError([&] { control.Wait(&other); }, "TExecuteControl.Wait: already in wait state");
  ExpectError([&] { control.Continue(&other); }, "TExecuteControl.Continue: waiting object missmatch");
  // Executing ends the wait for its own object.
  control.Execute(&object);
  ExpectError([&] { control.Execute(&object); }, "TExecuteControl.Execute: not in idle state");
  ASSERT_TRUE(RunUntil([&] { return steps.size() == 1; }));
  RunReady();
  EXPECT_EQ(steps.size(), 1u);
  control.Continue(&other);
  ASSERT_TRUE(RunUntil([&] { return control.State() == TExecuteControl::ecIdle; }));
  EXPECT_EQ(steps, (std::vector<std::string>{"execute 1", "execute 1"}));
  ExpectError([&] { control.Continue(&other); }, "TExecuteControl.Continue: not in wait state");
  ExpectError([&] { control.Wait(nullptr); }, "TExecuteControl.Wait: need a valid object reference");
  std::string logged;
  control.OnLog = [&](const std::string& text) { logged = text; };
  control.Log("module list read");
  EXPECT_EQ(logged, "module list read");
}

}  // namespace
}  // namespace tolvek::testing
