// Actors and the Talk client: one batch per execution, answers in record order, per-record
// failures, answers that do not belong to the batch, misuse errors, the pattern registry and
// the actor pool.
#include <gtest/gtest.h>

#include "comm/talk_actor.h"
#include "comm/talk_status.h"
#include "comm/talk_patterns.h"
#include "talk_test_support.h"

namespace tolvek::testing {
namespace {

class TalkActorTest : public TTalkFixture {};

TEST_F(TalkActorTest, ThreeRecordsGoOutAsOneBatchAndComeBackInOrder) {
  TTalkActor* actor = client.GetActor();
  int doneCalls = 0;
  actor->OnDone = [&](TTalkActor& done) {
    EXPECT_EQ(&done, actor);
    ++doneCalls;
  };
  link.DeviceNumber = 0x1C;
  commands.ReadMemory.AddRequest(*actor, 11, 0x10);
  commands.ReadMemory.AddRequest(*actor, 12, 0x12);
  commands.ReadMemory.AddRequest(*actor, 13, 0x14);
  const uint16_t id = TGetWordPattern::Class().Id;
  actor->Execute();
  EXPECT_TRUE(actor->IsBusy());
  EXPECT_FALSE(actor->DoneSignal().Signalled());
  TMxMessage* request = TakeRequest();
  const auto sent = ReadBatch(request, false);
  ASSERT_EQ(sent.size(), 3u);
  for (const TBatchCommand& command : sent) {
    EXPECT_EQ(command.Id, id);
    EXPECT_EQ(command.Number, 0x1Cu);
  }
  EXPECT_EQ(sent[2].Frame, (TBytes{0x10, 0x14, 0x00, 0x00}));
  // The middle one timed out: it keeps its request data, the third is read normally.
  Answer(request, {{id, 0, {0x10, 0x00, 0x01, 0x00}}, {id, kTalkTimeout, {}}, {id, 0, {0x10, 0x00, 0x03, 0x00}}});
  ASSERT_TRUE(RunUntil([&] { return !actor->IsBusy(); }));
  EXPECT_TRUE(actor->DoneSignal().Signalled());
  EXPECT_EQ(doneCalls, 1);
  EXPECT_EQ(static_cast<TTalkActorImplementation*>(actor)->State(), TTalkActorImplementation::asAnswered);
  const uint8_t statuses[] = {0, kTalkTimeout, 0};
  const uint32_t values[] = {1, 0, 3};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(actor->GetIndex(), static_cast<uint32_t>(i));
    EXPECT_EQ(actor->GetStatus(), statuses[i]);
    EXPECT_EQ(actor->GetUserValue(), 11u + i);
    EXPECT_EQ(actor->GetCommandByte(), 0x10);
    EXPECT_EQ(actor->GetTalkService(), &link);
    EXPECT_EQ(commands.ReadMemory.GetValue(*actor), values[i]);
    actor->Next();
  }
  ExpectError([&] { actor->Next(); }, "TTalkActorImplementation.Next: end of data set");
  client.ReturnActor(actor);
}

TEST_F(TalkActorTest, AnAnswerOfAnotherBatchIsReportedAndMarksTheRecords) {
  TTalkActor* actor = client.GetActor();
  commands.ReadMemory.AddRequest(*actor, 0, 0x10);
  commands.ReadMemory.AddRequest(*actor, 0, 0x12);
  actor->Execute();
  TMxMessage* request = TakeRequest();
  const uint16_t id = TGetWordPattern::Class().Id;
  Answer(request, {{id, 0, {0x10, 0x00, 0x01, 0x00}},
                   {static_cast<uint32_t>(id + 1), 0, {0x10, 0x00, 0x02, 0x00}}});
  ASSERT_TRUE(RunUntil([&] { return !actor->IsBusy(); }));
  const auto reports = errors.Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("TServicePattern.GetResponseData: wrong pattern id"), std::string::npos);
  EXPECT_EQ(actor->GetStatus(), 0);
  actor->Next();
  // The record the answer did not fill does not pass for a success.
  EXPECT_EQ(actor->GetStatus(), kTalkAnswerRefused);
  // The actor goes on working.
  actor->Clear();
  commands.ReadMemory.AddRequest(*actor, 0, 0x10);
  ExecuteAndAnswer(*actor, {{id, 0, {0x10, 0x00, 0x05, 0x00}}});
  EXPECT_EQ(commands.ReadMemory.GetValue(*actor), 5u);
  client.ReturnActor(actor);
}

TEST_F(TalkActorTest, AnAnswerWithoutABatchIsReported) {
  auto* actor = static_cast<TTalkActorImplementation*>(client.GetActor());
  TMxMessage* stray = NewMessage();
  stray->SetReceiver(actor->Node()->Number(), 0, 0);
  server.SendMessage(stray);
  ASSERT_TRUE(RunUntil([&] { return !errors.Reports().empty(); }));
  EXPECT_NE(errors.Reports()[0].find("TTalkActorImplementation.Work: unexpected response"), std::string::npos);
  client.ReturnActor(actor);
}

TEST_F(TalkActorTest, MisuseErrors) {
  TTalkActor* actor = client.GetActor();
  const char* busy[] = {"TTalkActorImplementation.Clear: actor is busy", "TTalkActorImplementation.Reset: actor is busy",
                        "TTalkActorImplementation.Next: actor is busy", "TTalkActorImplementation.Execute: actor is busy",
                        "TTalkActorImplementation.PutData: actor is busy"};
  // At the end of the records (an empty actor is at its end).
  ExpectError([&] { actor->GetTalkService(); }, "TTalkActorImplementation.GetTalkService: tried to read at the end");
  ExpectError([&] { actor->GetStatus(); }, "Index Error");
  ExpectError([&] { actor->GetUserValue(); }, "Index Error");
  ExpectError([&] { actor->GetCommandByte(); }, "Index Error");
  char bytes[8] = {};
  ExpectError([&] { actor->GetData(4, bytes); }, "TTalkActorImplementation.GetData: no more entries");
  ExpectError([&] { actor->SetData(4, bytes); }, "TTalkActorImplementation.SetData: end of data set");
  ExpectError([&] { actor->Next(); }, "TTalkActorImplementation.Next: end of data set");
  // A record shorter than asked for.
  actor->PutData(4, bytes);
  ExpectError([&] { actor->GetData(8, bytes); }, "TTalkActorImplementation.GetData: record size is 4 bytes");
  ExpectError([&] { actor->SetData(8, bytes); }, "TTalkActorImplementation.SetData: record size is 4 bytes");
  actor->Clear();
  // While busy.
  commands.DeviceLogout.AddRequest(*actor, 0);
  actor->Execute();
  ExpectError([&] { actor->Clear(); }, busy[0]);
  ExpectError([&] { actor->Reset(); }, busy[1]);
  ExpectError([&] { actor->Next(); }, busy[2]);
  ExpectError([&] { actor->Execute(); }, busy[3]);
  ExpectError([&] { commands.DeviceLogout.AddRequest(*actor, 0); }, busy[4]);
  ExpectError([&] { client.ReturnActor(actor); }, busy[0]);
  Answer(TakeRequest(), {{TSimplePattern::Class().Id, 0, {0x02, 0x00}}});
  ASSERT_TRUE(RunUntil([&] { return !actor->IsBusy(); }));
  client.ReturnActor(actor);
}

TEST_F(TalkActorTest, ABatchThatCannotBeSentLeavesTheActorUsable) {
  TTalkActor* actor = client.GetActor();
  link.RequestNode = 60000;  // nobody there
  commands.DeviceLogout.AddRequest(*actor, 0);
  EXPECT_THROW(actor->Execute(), EError);
  EXPECT_FALSE(actor->IsBusy());
  EXPECT_EQ(actor->GetCount(), 1u);
  link.RequestNode = server.Node()->Number();
  ExecuteAndAnswer(*actor, {{TSimplePattern::Class().Id, 0, {0x02, 0x00}}});
  EXPECT_EQ(actor->GetStatus(), 0);
  client.ReturnActor(actor);
}

TEST_F(TalkActorTest, BufferGrowsInStepsAndShrinksOnClear) {
  auto* actor = static_cast<TTalkActorImplementation*>(client.GetActor());
  EXPECT_EQ(actor->Capacity(), TTalkActorImplementation::kCapacityStep);
  const std::string data(250, 'd');
  for (int i = 0; i < 100; ++i) commands.WriteBlockMemory.AddRequest(*actor, i, 0x1000 + i, data);
  EXPECT_GT(actor->Capacity(), TTalkActorImplementation::kCapacityStep);
  EXPECT_EQ(actor->Capacity() % TTalkActorImplementation::kCapacityStep, 0u);
  actor->Reset();
  for (int i = 0; i < 100; ++i) {
    if (i > 0) actor->Next();
    EXPECT_EQ(actor->GetUserValue(), static_cast<uint32_t>(i));
    EXPECT_EQ(commands.WriteBlockMemory.GetBlock(*actor), data);
  }
  actor->Clear();
  EXPECT_EQ(actor->Capacity(), TTalkActorImplementation::kCapacityStep);
  EXPECT_EQ(actor->GetCount(), 0u);
  client.ReturnActor(actor);
}

TEST(TalkClientTest, RegistryAndPool) {
  THeadlessMainLoop loop;
  TMxScheduler scheduler(&loop);
  TTalkClient client;
  client.RegisterStandardPatterns();
  EXPECT_EQ(client.PatternCount(), 15u);
  EXPECT_EQ(TLoginPattern::Class().Id, 1);
  EXPECT_EQ(TSetBlockPattern::Class().Id, 5);
  EXPECT_EQ(TCustomPattern::Class().Id, 10);
  EXPECT_EQ(TCopyBlockPattern::Class().Id, 15);
  EXPECT_EQ(&client.GetTalkPattern(12), &TGetStatusPattern::Class());
  ExpectError([&] { client.RegisterTalkPattern(TSetWordPattern::Class()); },
              "TTalkClient.RegisterTalkPattern: TSetWordPattern is already registerd");
  ExpectError([&] { client.GetTalkPattern(16); }, "TTalkClient.GetTalkPattern: no pattern with id 16");
  ExpectError([&] { client.GetTalkPattern(0); }, "TTalkClient.GetTalkPattern: no pattern with id 0");
  std::vector<TTalkPatternClass> extra(TTalkClient::kMaxPatternClasses - 15, TTalkPatternClass{"TExtra", nullptr, nullptr});
  for (TTalkPatternClass& patternClass : extra) client.RegisterTalkPattern(patternClass);
  EXPECT_EQ(extra.back().Id, 256);
  TTalkPatternClass oneTooMany{"TOneTooMany", nullptr, nullptr};
  ExpectError([&] { client.RegisterTalkPattern(oneTooMany); }, "TTalkClient.RegisterTalkPattern: pattern list is full");

  // The most recently returned actor comes back first, cleared.
  TTalkActor* first = client.GetActor();
  TTalkActor* second = client.GetActor();
  EXPECT_NE(first, second);
  char bytes[4] = {};
  first->PutData(4, bytes);
  client.ReturnActor(second);
  client.ReturnActor(first);
  EXPECT_EQ(client.GetActor(), first);
  EXPECT_EQ(first->GetCount(), 0u);
  EXPECT_EQ(client.GetActor(), second);

  class TOtherActor : public TTalkActorImplementation {
    using TTalkActorImplementation::TTalkActorImplementation;
  };
  struct TForeign : TTalkActor {
    const char* ClassName() const override { return "TForeign"; }
    TTalkLink* GetTalkService() override { return nullptr; }
    void Clear() override {}
    void Execute() override {}
    void Reset() override {}
    void Next() override {}
    uint8_t GetStatus() override { return 0; }
    uint32_t GetUserValue() override { return 0; }
    uint8_t GetCommandByte() override { return 0; }
    bool IsBusy() const override { return false; }
    uint32_t GetIndex() const override { return 0; }
    uint32_t GetCount() const override { return 0; }
    void PutData(size_t, const void*) override {}
    void GetData(size_t, void*) override {}
    void SetData(size_t, const void*) override {}
    TMxSignal& DoneSignal() override { return signal; }
    TMxSignal signal;
  } foreign;
  ExpectError([&] { client.ReturnActor(&foreign); }, "wrong actor class type");
}

}  // namespace
}  // namespace tolvek::testing
