// Request patterns: the request bytes each one sends, the results it reads from an answer, and
// what it does with answers that fail or fall short. Every case runs through a real actor and
// request batch, answered by the test in place of the Talk server.
#include <gtest/gtest.h>

#include <functional>

#include "comm/talk_patterns.h"
#include "talk_test_support.h"

namespace tolvek::testing {
namespace {

struct TPatternCase {
  const char* Name;
  uint8_t AddressWidth, DataWidth;
  std::function<void(TTalkCommandSet&, TTalkActor&)> Add;
  TBytes Request;  // the frame sent, command byte included
  TBytes Answer;   // the drive's frame, command and status included
  uint8_t Status;  // the record's status afterwards
  std::function<void(TTalkCommandSet&, TTalkActor&)> Check;
};

class TalkPatternTest : public TTalkFixture {};

TEST_F(TalkPatternTest, RequestBytesAndResults) {
  using C = TTalkCommandSet;
  using A = TTalkActor;
  const std::vector<TPatternCase> cases = {
      {"read word, 3-byte address", 3, 2, [](C& c, A& a) { c.ReadMemory.AddRequest(a, 0, 0x012345); },
       {0x10, 0x45, 0x23, 0x01}, {0x10, 0x00, 0xCD, 0xAB}, 0,
       [](C& c, A& a) { EXPECT_EQ(c.ReadMemory.GetValue(a), 0xABCDu); }},
      {"read word, 4-byte data", 2, 4, [](C& c, A& a) { c.ReadMemory.AddRequest(a, 0, 0x10); },
       {0x10, 0x10, 0x00}, {0x10, 0x00, 0x04, 0x03, 0x02, 0x01}, 0,
       [](C& c, A& a) { EXPECT_EQ(c.ReadMemory.GetValue(a), 0x01020304u); }},
      {"write word cuts the value to the data width", 3, 2,
       [](C& c, A& a) { c.WriteMemory.AddRequest(a, 0, 0x100, 0x12345678); },
       {0x11, 0x00, 0x01, 0x00, 0x78, 0x56}, {0x11, 0x00}, 0, nullptr},
      {"write flash word", 3, 2, [](C& c, A& a) { c.WriteFlash.AddRequest(a, 0, 0x800000, 0x1234); },
       {0x12, 0x00, 0x00, 0x80, 0x34, 0x12}, {0x12, 0x00}, 0, nullptr},
      {"set bits: address, mask, value", 2, 2, [](C& c, A& a) { c.SetBits.AddRequest(a, 0, 0x20, 1, 0x0008); },
       {0x13, 0x20, 0x00, 0x08, 0x00, 0x01, 0x00}, {0x13, 0x00}, 0, nullptr},
      {"device status", 3, 2, [](C& c, A& a) { c.DeviceStatus.AddRequest(a, 0, 0); },
       {0x03, 0x00}, {0x03, 0x00, 0x00, 0x80}, 0,
       [](C& c, A& a) { EXPECT_EQ(c.DeviceStatus.GetValue(a), 0x8000u); }},
      {"logout", 3, 2, [](C& c, A& a) { c.DeviceLogout.AddRequest(a, 0); }, {0x02}, {0x02, 0x00}, 0, nullptr},
      {"start program", 3, 2, [](C& c, A& a) { c.StartProgram.AddRequest(a, 0, 0x801000); },
       {0x20, 0x00, 0x10, 0x80}, {0x20, 0x00}, 0, nullptr},
      {"erase flash", 3, 2, [](C& c, A& a) { c.EraseFlash.AddRequest(a, 0, 0x810000); },
       {0x23, 0x00, 0x00, 0x81}, {0x23, 0x00}, 0, nullptr},
      {"find information block", 3, 2, [](C& c, A& a) { c.FindInfo.AddRequest(a, 0, 0x000000, 5); },
       {0x25, 0x00, 0x00, 0x00, 0x05}, {0x25, 0x00, 0x40, 0x00, 0x80, 0x05, 0x40, 0x00}, 0,
       [](C& c, A& a) {
         EXPECT_EQ(c.FindInfo.GetInfoAddress(a), 0x800040u);
         EXPECT_EQ(c.FindInfo.GetInfoByte(a), 5);
         EXPECT_EQ(c.FindInfo.GetInfoWord(a), 64);
       }},
      {"read block", 3, 2, [](C& c, A& a) { c.ReadBlock.AddRequest(a, 0, 0x1000, 4); },
       {0x30, 0x00, 0x10, 0x00, 0x04}, {0x30, 0x00, 1, 2, 3, 4}, 0,
       [](C& c, A& a) { EXPECT_EQ(c.ReadBlock.GetBlock(a), ByteString({1, 2, 3, 4})); }},
      {"write block to memory", 3, 2, [](C& c, A& a) { c.WriteBlockMemory.AddRequest(a, 0, 0x1000, "\x01\x02"); },
       {0x31, 0x00, 0x10, 0x00, 0x01, 0x02}, {0x31, 0x00}, 0,
       [](C& c, A& a) { EXPECT_EQ(c.WriteBlockMemory.GetBlock(a), "\x01\x02"); }},
      {"write encoded block", 3, 2, [](C& c, A& a) { c.WriteBlockEncoded.AddRequest(a, 0, 0x800000, "\x5A"); },
       {0x37, 0x00, 0x00, 0x80, 0x5A}, {0x37, 0x00}, 0, nullptr},
      {"read string stops at the maximum length", 3, 2, [](C& c, A& a) { c.ReadString.AddRequest(a, 0, 0x10, 2); },
       {0x34, 0x10, 0x00, 0x00, 0x00, 0x02}, {0x34, 0x00, 0x41, 0x42, 0x43}, 0,
       [](C& c, A& a) { EXPECT_EQ(c.ReadString.GetBlock(a), "AB"); }},
      {"read string shorter than the maximum", 3, 2, [](C& c, A& a) { c.ReadString.AddRequest(a, 0, 0x10, 8); },
       {0x34, 0x10, 0x00, 0x00, 0x00, 0x08}, {0x34, 0x00, 0x41}, 0,
       [](C& c, A& a) { EXPECT_EQ(c.ReadString.GetBlock(a), "A"); }},
      {"write string: first n characters and a NUL", 2, 2,
       [](C& c, A& a) { c.WriteString.AddRequest(a, 0, 0x40, "HELLO", 3); },
       {0x35, 0x40, 0x00, 'H', 'E', 'L', 0x00}, {0x35, 0x00}, 0,
       [](C& c, A& a) { EXPECT_EQ(c.WriteString.GetBlock(a), "HEL"); }},
      {"instance command", 3, 2, [](C& c, A& a) { c.ClearInstanceAll.AddRequest(a, 0, 5); },
       {0x89, 0x09, 0x05}, {0x89, 0x00}, 0, nullptr},
      {"copy RAM to flash", 3, 2, [](C& c, A& a) { c.CopyRamToFlash.AddRequest(a, 0, 0x1000, 0x800000, 0x0102); },
       {0x33, 0x00, 0x10, 0x00, 0x00, 0x00, 0x80, 0x02, 0x01}, {0x33, 0x00}, 0, nullptr},
      {"login with a text cut to 16 characters", 3, 2,
       [](C& c, A& a) { c.LoginDevice.AddRequest(a, 0, "ABCDEFGHIJKLMNOPQ"); },
       {0x01, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P'},
       {0x01, 0x00, 0x20, 0x03, 0x02, 0x02, 0xFF, 0x00, 0x01, 0x34, 0x12, 0, 0, 0, 0, 0x00, 0x00, 0x80,
        'Q', 'V', 0, 'X', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       0,
       [](C& c, A& a) {
         const TTalkLinkParameters result = c.LoginDevice.GetLoginResult(a);
         EXPECT_EQ(result.Protocol, 0x20);
         EXPECT_EQ(result.AddressWidth, 3);
         EXPECT_EQ(result.DataWidth, 2);
         EXPECT_EQ(result.AddressStep, 2);
         EXPECT_EQ(result.MaxFrameLength, 255);
         EXPECT_EQ(result.Words[0], 0x0100);
         EXPECT_EQ(result.DeviceType(), 0x1234);
         EXPECT_EQ(result.FlashBase, 0x800000u);
         EXPECT_EQ(result.DeviceName(), "QV");
       }},
      // Failures leave the results as they were.
      {"status 0x91 leaves the value", 3, 2, [](C& c, A& a) { c.ReadMemory.AddRequest(a, 0, 0x10); },
       {0x10, 0x10, 0x00, 0x00}, {0x10, 0x91, 0xCD, 0xAB}, 0x91,
       [](C& c, A& a) { EXPECT_EQ(c.ReadMemory.GetValue(a), 0u); }},
      {"drive status keeps the data of a write block", 3, 2,
       [](C& c, A& a) { c.WriteBlockFlash.AddRequest(a, 0, 0x800000, "\x07"); },
       {0x32, 0x00, 0x00, 0x80, 0x07}, {0x32, 0x14}, 0x14,
       [](C& c, A& a) { EXPECT_EQ(c.WriteBlockFlash.GetBlock(a), "\x07"); }},
      // Answers shorter than their layout are refused instead of read past their end.
      {"word answer cut short", 3, 2, [](C& c, A& a) { c.ReadMemory.AddRequest(a, 0, 0x10); },
       {0x10, 0x10, 0x00, 0x00}, {0x10, 0x00, 0xCD}, kTalkAnswerRefused,
       [](C& c, A& a) { EXPECT_EQ(c.ReadMemory.GetValue(a), 0u); }},
      {"answer without a status byte", 3, 2, [](C& c, A& a) { c.DeviceLogout.AddRequest(a, 0); }, {0x02}, {0x02},
       kTalkAnswerRefused, nullptr},
      {"block answer with fewer bytes than asked for", 3, 2, [](C& c, A& a) { c.ReadBlock.AddRequest(a, 0, 0, 4); },
       {0x30, 0x00, 0x00, 0x00, 0x04}, {0x30, 0x00, 1, 2, 3}, kTalkAnswerRefused,
       [](C& c, A& a) { EXPECT_EQ(c.ReadBlock.GetBlock(a), ""); }},
      {"find-info answer without its word", 3, 2, [](C& c, A& a) { c.FindInfo.AddRequest(a, 0, 0, 0); },
       {0x25, 0x00, 0x00, 0x00, 0x00}, {0x25, 0x00, 0x40, 0x00, 0x80, 0x05, 0x40}, kTalkAnswerRefused,
       [](C& c, A& a) { EXPECT_EQ(c.FindInfo.GetInfoAddress(a), 0u); }},
      {"login answer cut before the flash base ends", 3, 2, [](C& c, A& a) { c.LoginDevice.AddRequest(a, 0, ""); },
       {0x01}, {0x01, 0x00, 0x20, 0x03, 0x02, 0x02, 0xFF, 0x00, 0x01, 0x34, 0x12, 0, 0, 0, 0, 0x00, 0x00},
       kTalkAnswerRefused, [](C& c, A& a) { EXPECT_EQ(c.LoginDevice.GetLoginResult(a).AddressWidth, 0); }},
  };
  for (const TPatternCase& c : cases) {
    SCOPED_TRACE(c.Name);
    SetLink(c.AddressWidth, c.DataWidth, c.DataWidth, 255);
    TTalkActor* actor = client.GetActor();
    c.Add(commands, *actor);
    actor->Reset();
    TTalkRecordHeader header;
    actor->GetData(sizeof(header), &header);
    actor->Execute();
    TMxMessage* request = TakeRequest();
    const std::vector<TBatchCommand> sent = ReadBatch(request, false);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Id, header.PatternId);
    EXPECT_EQ(sent[0].Frame, c.Request);
    Answer(request, {{header.PatternId, 0, c.Answer}});
    ASSERT_TRUE(RunUntil([&] { return !actor->IsBusy(); }));
    EXPECT_EQ(actor->GetStatus(), c.Status);
    if (c.Check) c.Check(commands, *actor);
    client.ReturnActor(actor);
  }
}

TEST_F(TalkPatternTest, FramesNeverExceed255Bytes) {
  const std::string text(300, 'x');
  TTalkActor* actor = client.GetActor();
  commands.WriteString.AddRequest(*actor, 0, 0x10, text, text.size());
  commands.WriteBlockMemory.AddRequest(*actor, 0, 0x10, text);
  TCustomPattern custom(link, 0x8C);
  custom.AddRequest(*actor, 0, text);
  actor->Execute();
  TMxMessage* request = TakeRequest();
  const auto sent = ReadBatch(request, false);
  ASSERT_EQ(sent.size(), 3u);
  // The string is cut to 254 bytes with the command byte and address, then gets its NUL.
  EXPECT_EQ(sent[0].Frame.size(), 255u);
  EXPECT_EQ(sent[0].Frame[253], 'x');
  EXPECT_EQ(sent[0].Frame.back(), 0);
  EXPECT_EQ(sent[1].Frame.size(), 255u);
  EXPECT_EQ(sent[2].Frame.size(), 255u);
  EXPECT_EQ(sent[2].Frame[0], 0x8C);
  FreeMessage(request);
}

TEST_F(TalkPatternTest, CustomPatternKeepsTheAnswerAfterTheStatus) {
  TCustomPattern messages(link, 0x04);
  TTalkActor* actor = client.GetActor();
  messages.AddRequest(*actor, 7, ByteString({0x00, 0x10}));
  const auto sent = ExecuteAndAnswer(*actor, {{TCustomPattern::Class().Id, 0, {0x04, 0x00, 0xAA, 0xBB}}});
  EXPECT_EQ(sent[0].Frame, (TBytes{0x04, 0x00, 0x10}));
  EXPECT_EQ(actor->GetStatus(), 0);
  EXPECT_EQ(actor->GetUserValue(), 7u);
  EXPECT_EQ(messages.GetBlock(*actor), ByteString({0xAA, 0xBB}));
  client.ReturnActor(actor);
}

TEST_F(TalkPatternTest, MaxSizeFollowsTheLinkAndNeedsTheLogin) {
  SetLink(3, 2, 2, 255);
  EXPECT_EQ(commands.ReadBlock.GetMaxSize(), 252u);
  EXPECT_EQ(commands.WriteBlockMemory.GetMaxSize(), 250u);
  SetLink(2, 4, 4, 16);
  EXPECT_EQ(commands.ReadBlock.GetMaxSize(), 12u);
  EXPECT_EQ(commands.WriteBlockFlash.GetMaxSize(), 12u);
  link.Online = false;
  ExpectError([&] { commands.ReadBlock.GetMaxSize(); }, "TGetBlockPattern.GetMaxSize: service is not online");
  ExpectError([&] { commands.WriteBlockMemory.GetMaxSize(); }, "TSetBlockPattern.GetMaxSize: service is not online");
}

TEST_F(TalkPatternTest, AccessorRefusesARecordOfAnotherInstance) {
  TTalkActor* actor = client.GetActor();
  commands.ReadMemory.AddRequest(*actor, 0, 0x10);
  TTestLink otherService;
  const TGetWordPattern otherCommand(link, 0x99);
  const TGetStatusPattern otherClass(link, 0x10);
  ExpectError([&] { otherService.Commands.ReadMemory.GetValue(*actor); }, "TGetWordPattern.Get: error in record header");
  ExpectError([&] { otherCommand.GetValue(*actor); }, "TGetWordPattern.Get: error in record header");
  ExpectError([&] { otherClass.GetValue(*actor); }, "TGetStatusPattern.Get: error in record header");
  EXPECT_EQ(commands.ReadMemory.GetValue(*actor), 0u);
  client.ReturnActor(actor);
}

}  // namespace
}  // namespace tolvek::testing
