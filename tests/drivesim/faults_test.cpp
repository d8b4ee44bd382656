// Each injected fault, observed on the line. Requests are block reads whose answer length tells
// which request an answer belongs to.
#include <gtest/gtest.h>

#include "sim_client.h"

namespace tolvek::test {
namespace {

using TClock = std::chrono::steady_clock;

TBytes ReadOf(uint8_t count) { return {0x30, 0x00, 0x00, 0x00, count}; }

TEST(Faults, DropCorruptAndGarbageFollowTheAnswerCount) {
  struct TExpect {
    bool arrives, sumOk;
    size_t garbage;
  };
  struct TCase {
    std::vector<std::string> options;
    std::vector<TExpect> answers;
  };
  const TCase cases[] = {
      {{"--drop-every", "2"},
       {{true, true, 0}, {false, false, 0}, {true, true, 0}, {false, false, 0}, {true, true, 0}}},
      {{"--corrupt-every", "2"}, {{true, true, 0}, {true, false, 0}, {true, true, 0}, {true, false, 0}}},
      {{"--garbage", "7"}, {{true, true, 7}, {true, true, 7}}},
      {{"--drop-every", "3", "--corrupt-every", "2", "--garbage", "2"},
       {{true, true, 2}, {true, false, 2}, {false, false, 0}, {true, false, 2}, {true, true, 2}}},
  };
  for (const TCase& c : cases) {
    TSimProcess sim(c.options);
    TLineClient line(sim.Device());
    for (size_t i = 0; i < c.answers.size(); ++i) {
      const uint8_t count = static_cast<uint8_t>(i + 1);
      line.SendFrame(ReadOf(count));
      if (!c.answers[i].arrives) continue;
      TBytes skipped;
      const std::optional<TRsFrame> frame = line.ReadFrame(Eventually, &skipped);
      ASSERT_TRUE(frame) << testing::PrintToString(c.options) << " answer " << i + 1;
      // A dropped answer leaves no trace: this is the answer to this very request.
      EXPECT_EQ(frame->payload.size(), 2u + count) << testing::PrintToString(c.options) << " answer " << i + 1;
      EXPECT_EQ(frame->sumOk, c.answers[i].sumOk) << testing::PrintToString(c.options) << " answer " << i + 1;
      EXPECT_EQ(skipped.size(), c.answers[i].garbage) << testing::PrintToString(c.options);
    }
    sim.Stop();
    const std::string counters = sim.Stderr();
    EXPECT_NE(counters.find("requests: " + std::to_string(c.answers.size())), std::string::npos) << counters;
  }
}

TEST(Faults, SilentAfterSomeAnswers) {
  TSimProcess sim({"--silent-after", "2"});
  TLineClient line(sim.Device());
  EXPECT_EQ(line.Talk(ReadOf(1)).size(), 3u);
  EXPECT_EQ(line.Talk(ReadOf(2)).size(), 4u);
  line.SendFrame(ReadOf(3));
  EXPECT_TRUE(line.Drain(1500ms).empty());
}

TEST(Faults, LateAnswersComeAfterThePcGaveUp) {
  TSimProcess sim({"--late-every", "2", "--late-ms", "2500"});
  TLineClient line(sim.Device());
  EXPECT_EQ(line.Talk(ReadOf(1)).size(), 3u);
  const auto sent = TClock::now();
  const TBytes late = line.Talk(ReadOf(2));
  EXPECT_EQ(late.size(), 4u);
  EXPECT_GE(TClock::now() - sent, 2400ms);
}

TEST(Faults, AnswersInSmallPieces) {
  TSimProcess sim({"--pieces", "2", "--piece-gap", "60"});
  TLineClient line(sim.Device());
  line.SendFrame(ReadOf(6));  // 11 bytes on the line: six pieces, five pauses
  const TBytes first = line.Read(1);
  ASSERT_EQ(first, TBytes{0xA5});
  const auto firstAt = TClock::now();
  const TBytes rest = line.Read(10);
  EXPECT_EQ(rest.size(), 10u);
  EXPECT_GE(TClock::now() - firstAt, 250ms);
}

TEST(Faults, UnsolicitedFramesArriveUnasked) {
  struct TCase {
    std::vector<std::string> options;
    TBytes frame;
  };
  const TCase cases[] = {
      {{"--unsolicited", "50"}, {0x87, 0x03, 0xA0, 0x86, 0x01, 0x00}},
      {{"--unsolicited", "50", "--unsolicited-frame", "04 01 02"}, {0x04, 0x01, 0x02}},
  };
  for (const TCase& c : cases) {
    TSimProcess sim(c.options);
    TLineClient line(sim.Device());
    for (int i = 0; i < 2; ++i) {
      const std::optional<TRsFrame> frame = line.ReadFrame();
      ASSERT_TRUE(frame);
      EXPECT_TRUE(frame->sumOk);
      EXPECT_EQ(frame->payload, c.frame);
    }
  }
}

TEST(Faults, ApplyToTp1Replies) {
  TSimProcess sim({"--link", "tp1", "--corrupt-every", "2"});
  TLineClient line(sim.Device());
  // Answers count echo and reply alike: the echo is right, the reply's check byte is not.
  line.Write({':', 0x00, 0x00, 0x12, 0x34, 0x00, 0x00});
  EXPECT_EQ(line.Read(1), TBytes{0x46});
  line.Write({0x21});
  EXPECT_EQ(line.Read(3), (TBytes{0x00, 0x00, 0x01}));
}

}  // namespace
}  // namespace tolvek::test
