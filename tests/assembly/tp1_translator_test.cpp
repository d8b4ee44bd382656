// The TP1 translation fed by hand: each case is a conversation of Talk requests and drive
// bytes, with the bytes that must go on the line and the responses that must come back after
// each step.
#include "comm/tp1_translator.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace tolvek {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string text;
  for (char c : bytes) {
    if (!text.empty()) text += ' ';
    text += digits[static_cast<uint8_t>(c) >> 4];
    text += digits[static_cast<uint8_t>(c) & 15];
  }
  return text;
}

// A translator whose line and responses are recorded as hex text.
struct TRig {
  TRig() {
    translator.OnSend = [this](const std::string& bytes) {
      if (lineFails) throw std::runtime_error("line gone");
      line += bytes;
    };
    translator.OnResponse = [this](const std::string& frame) { responses.push_back(Hex(frame)); };
    translator.OnWarning = [this](const std::string& text) { warnings.push_back(text); };
  }
  // The line bytes and responses since the last call.
  std::pair<std::string, std::vector<std::string>> Take() {
    auto result = std::make_pair(Hex(line), responses);
    line.clear();
    responses.clear();
    return result;
  }

  TTp1Translator translator;
  std::string line;
  std::vector<std::string> responses;
  std::vector<std::string> warnings;
  bool lineFails = false;
};

struct TStep {
  bool request;  // a Talk request, else bytes from the drive
  std::string bytes;
  std::string line;                     // expected on the line, as hex
  std::vector<std::string> responses;  // expected responses, as hex
};

TStep Req(std::string frame, std::string line, std::vector<std::string> responses = {}) {
  return {true, std::move(frame), std::move(line), std::move(responses)};
}
TStep Drive(std::string bytes, std::string line, std::vector<std::string> responses = {}) {
  return {false, std::move(bytes), std::move(line), std::move(responses)};
}

struct TConversation {
  const char* what;
  std::vector<TStep> steps;
};

void Converse(const TConversation& conversation, TRig& rig) {
  int n = 0;
  for (const TStep& step : conversation.steps) {
    ++n;
    if (step.request) {
      rig.translator.Request(step.bytes);
    } else {
      rig.translator.Feed(step.bytes);
    }
    auto [line, responses] = rig.Take();
    EXPECT_EQ(line, step.line) << conversation.what << ", step " << n;
    EXPECT_EQ(responses, step.responses) << conversation.what << ", step " << n;
  }
}

TEST(Tp1Translator, ConversationsForEveryCommand) {
  const TConversation conversations[] = {
      {"read memory",
       {Req(Bytes({0x10, 0x34, 0x12, 0x00}), "3A 00 00 12 34 00 00"),
        Drive(Bytes({0x46}), "21"),
        Drive(Bytes({0xAB, 0xCD, 0x78}), "", {"10 00 CD AB"})}},
      {"wrong checksum echo is rejected",
       {Req(Bytes({0x10, 0x34, 0x12, 0x00}), "3A 00 00 12 34 00 00"),
        Drive(Bytes({0x47}), "55", {"10 FF"}),
        Drive(Bytes({0xAB, 0xCD, 0x78}), "")}},
      {"wrong reply sum",
       {Req(Bytes({0x10, 0x34, 0x12, 0x00}), "3A 00 00 12 34 00 00"),
        Drive(Bytes({0x46, 0xAB, 0xCD, 0x77}), "21", {"10 FF"})}},
      {"write memory sends address and data high byte first",
       {Req(Bytes({0x11, 0x56, 0x34, 0x12, 0xCD, 0xAB}), "3A 04 12 34 56 AB CD"),
        Drive(Bytes({0x18, 0xAB, 0xCD, 0x78}), "21", {"11 00"})}},
      {"write flash answers in progress first",
       {Req(Bytes({0x12, 0x02, 0x00, 0x80, 0x34, 0x12}), "3A 06 80 00 02 12 34", {"12 01"}),
        Drive(Bytes({0xCE, 0x00, 0x00, 0x00}), "21", {"12 00"})}},
      {"start program",
       {Req(Bytes({0x20, 0x00, 0x10, 0x80}), "3A 0C 80 10 00 00 00", {"20 01"}),
        Drive(Bytes({0x9C, 0x00, 0x00, 0x00}), "21", {"20 00"})}},
      {"stop program has no address",
       {Req(Bytes({0x21}), "3A 09 00 00 00 00 00"), Drive(Bytes({0x09, 0x00, 0x00, 0x00}), "21", {"21 00"})}},
      {"reset device",
       {Req(Bytes({0x22}), "3A FF 00 00 00 00 00"), Drive(Bytes({0xFF, 0x00, 0x00, 0x00}), "21", {"22 00"})}},
      {"erase flash",
       {Req(Bytes({0x23, 0x00, 0x00, 0x81}), "3A 08 81 00 00 00 00", {"23 01"}),
        Drive(Bytes({0x89, 0x00, 0x00, 0x00}), "21", {"23 00"})}},
      {"block read of 3 bytes takes two telegrams and brings 4",
       {Req(Bytes({0x30, 0x00, 0x10, 0x00, 0x03}), "3A 00 00 10 00 00 00", {"30 01"}),
        Drive(Bytes({0x10}), "21"),
        Drive(Bytes({0x11, 0x22, 0x33}), "3A 00 00 10 02 00 00"),
        Drive(Bytes({0x12, 0x21}), "21"),
        Drive(Bytes({0x43, 0x64}), "", {"30 00 22 11 43 21"})}},
      {"block read carries the address into the high bytes",
       {Req(Bytes({0x30, 0xFE, 0xFF, 0x00, 0x04}), "3A 00 00 FF FE 00 00", {"30 01"}),
        Drive(Bytes({0xFD, 0x01, 0x02, 0x03}), "21 3A 00 01 00 00 00 00"),
        Drive(Bytes({0x01, 0x03, 0x04, 0x07}), "21", {"30 00 02 01 04 03"})}},
      {"block read of nothing needs no telegram",
       {Req(Bytes({0x30, 0x00, 0x10, 0x00, 0x00}), "", {"30 01", "30 00"})}},
      {"failed word in a block read fails the read",
       {Req(Bytes({0x30, 0x00, 0x10, 0x00, 0x04}), "3A 00 00 10 00 00 00", {"30 01"}),
        Drive(Bytes({0x10, 0x11, 0x22, 0x33}), "21 3A 00 00 10 02 00 00"),
        Drive(Bytes({0x13}), "55", {"30 FF"})}},
      {"block write of 5 bytes with chunk limit 4",
       {Req(Bytes({0x31, 0x00, 0x20, 0x00, 1, 2, 3, 4, 5}), "3A 14 00 20 00 00 00", {"31 01"}),
        Drive(Bytes({0x34}), "21"),
        Drive(Bytes({0x00, 0x04, 0x04}), "21 04 01 02 03 04"),
        Drive(Bytes({0x00, 0x0A}), "21 01 05"),
        Drive(Bytes({0x00, 0x05}), "99"),
        Drive(Bytes({0x00}), "", {"31 00"})}},
      {"empty block write ends right after the telegram reply",
       {Req(Bytes({0x32, 0x00, 0x00, 0x80}), "3A 16 80 00 00 00 00", {"32 01"}),
        Drive(Bytes({0x96, 0x00, 0x40, 0x40}), "21 99"),
        Drive(Bytes({0x00}), "", {"32 00"})}},
      {"wrong chunk checksum",
       {Req(Bytes({0x31, 0x00, 0x20, 0x00, 1, 2}), "3A 14 00 20 00 00 00", {"31 01"}),
        Drive(Bytes({0x34, 0x00, 0x40, 0x40}), "21 21 02 01 02"),
        Drive(Bytes({0x00, 0x04}), "", {"31 FF"})}},
      {"refused chunk",
       {Req(Bytes({0x31, 0x00, 0x20, 0x00, 1, 2}), "3A 14 00 20 00 00 00", {"31 01"}),
        Drive(Bytes({0x34, 0x00, 0x40, 0x40}), "21 21 02 01 02"),
        Drive(Bytes({0xFF, 0x12}), "", {"31 FF"})}},
      {"wrong end acknowledgement",
       {Req(Bytes({0x31, 0x00, 0x20, 0x00}), "3A 14 00 20 00 00 00", {"31 01"}),
        Drive(Bytes({0x34, 0x00, 0x40, 0x40}), "21 99"),
        Drive(Bytes({0x01}), "", {"31 FF"})}},
      {"a drive announcing no room for data fails the write instead of looping",
       {Req(Bytes({0x31, 0x00, 0x20, 0x00, 1}), "3A 14 00 20 00 00 00", {"31 01"}),
        Drive(Bytes({0x34, 0x00, 0x00, 0x00}), "21", {"31 FF"})}},
      {"login is answered without the line",
       {Req(Bytes({0x01, 'Q', 'V'}), "",
            {"01 00 20 03 02 02 FF 00 00 00 00 00 00 00 00 00 00 00 "
             "54 41 4C 4B 20 31 2E 30 20 47 61 74 65 57 61 79"})}},
      {"bytes while idle are ignored",
       {Drive(Bytes({0x00, 0x46, 0xAB}), ""),
        Req(Bytes({0x21}), "3A 09 00 00 00 00 00"),
        Drive(Bytes({0x09, 0x00, 0x00, 0x00}), "21", {"21 00"})}},
      {"requests shorter than their layout fail without a telegram",
       {Req(Bytes({0x10, 0x34}), "", {"10 FF"}),
        Req(Bytes({0x11, 0x00, 0x00, 0x00, 0x01}), "", {"11 FF"}),
        Req(Bytes({0x30, 0x00, 0x00, 0x00}), "", {"30 FF"}),
        Req(Bytes({0x31, 0x00, 0x00}), "", {"31 FF"})}},
      {"block read too long for one answer frame",
       {Req(Bytes({0x30, 0x00, 0x00, 0x00, 0xFE}), "", {"30 01", "30 FF"})}},
  };
  for (const TConversation& conversation : conversations) {
    TRig rig;
    Converse(conversation, rig);
    EXPECT_FALSE(rig.translator.Busy()) << conversation.what;
    EXPECT_EQ(rig.translator.State(), TTp1Translator::tsIdle) << conversation.what;
    EXPECT_TRUE(rig.warnings.empty()) << conversation.what;
  }
}

TEST(Tp1Translator, LoginAnswerDeclaresTheLinkOfAnOldDrive) {
  const std::string& answer = TTp1Translator::LoginAnswer();
  ASSERT_EQ(answer.size(), 34u);
  EXPECT_EQ(Hex(answer.substr(0, 7)), "01 00 20 03 02 02 FF");
  EXPECT_EQ(answer.substr(7, 11), std::string(11, '\0'));
  EXPECT_EQ(answer.substr(18), "TALK 1.0 GateWay");
}

TEST(Tp1Translator, UnfinishedRequestResetsTheLinkBeforeTheNext) {
  const std::string burst = Hex(std::string(256, '\x55'));
  const TConversation conversations[] = {
      {"unknown command stays unanswered",
       {Req(Bytes({0x03, 0x00}), ""),
        Drive(Bytes({0x00, 0x80}), ""),
        Req(Bytes({0x10, 0x34, 0x12, 0x00}), burst + " 3A 00 00 12 34 00 00"),
        Drive(Bytes({0x46, 0xAB, 0xCD, 0x78}), "21", {"10 00 CD AB"})}},
      {"a drive that stopped answering mid-telegram",
       {Req(Bytes({0x11, 0x56, 0x34, 0x12, 0xCD, 0xAB}), "3A 04 12 34 56 AB CD"),
        Drive(Bytes({0x18, 0xAB}), "21"),
        Req(Bytes({0x21}), burst + " 3A 09 00 00 00 00 00"),
        // The rest of the old reply is taken for the new echo: rejected, not mistaken.
        Drive(Bytes({0xCD}), "55", {"21 FF"})}},
  };
  for (const TConversation& conversation : conversations) {
    TRig rig;
    Converse(conversation, rig);
    EXPECT_EQ(rig.warnings, std::vector<std::string>{"Tp1Driver: protocol state error"}) << conversation.what;
  }
}

TEST(Tp1Translator, LineFailureFailsTheRequestAndLeavesTheTranslatorIdle) {
  TRig rig;
  rig.lineFails = true;
  rig.translator.Request(Bytes({0x10, 0x34, 0x12, 0x00}));
  EXPECT_EQ(rig.Take().second, std::vector<std::string>{"10 FF"});
  EXPECT_FALSE(rig.translator.Busy());
  EXPECT_EQ(rig.translator.State(), TTp1Translator::tsIdle);
  EXPECT_EQ(rig.warnings, std::vector<std::string>{"line gone"});

  // Failing in the middle of an exchange: the ACK cannot go out.
  rig.lineFails = false;
  rig.warnings.clear();
  rig.translator.Request(Bytes({0x12, 0x02, 0x00, 0x80, 0x34, 0x12}));
  rig.Take();
  rig.lineFails = true;
  rig.translator.Feed(Bytes({0xCE}));
  EXPECT_EQ(rig.Take().second, std::vector<std::string>{"12 FF"});
  EXPECT_EQ(rig.translator.State(), TTp1Translator::tsIdle);
  EXPECT_EQ(rig.warnings, std::vector<std::string>{"line gone"});
}

TEST(Tp1Translator, EmptyFrameIsIgnored) {
  TRig rig;
  rig.translator.Request("");
  auto [line, responses] = rig.Take();
  EXPECT_EQ(line, "");
  EXPECT_TRUE(responses.empty());
  EXPECT_FALSE(rig.translator.Busy());
}

}  // namespace
}  // namespace tolvek
