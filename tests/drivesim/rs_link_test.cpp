// The drive's side of the RS link: frames on the line byte for byte, and a receiver that hunts
// for the start byte, drops damaged frames silently and reassembles split ones.
#include <gtest/gtest.h>

#include <thread>

#include "sim_client.h"

namespace tolvek::test {
namespace {

TEST(RsLink, AnswersAreFramedByteForByte) {
  TSimProcess sim({});
  TLineClient line(sim.Device());
  // WriteMemory 0xABCD to address 01 23 45, then ReadMemory of the same address.
  line.Write({0xA5, 0x06, 0xF2, 0x11, 0x45, 0x23, 0x01, 0xCD, 0xAB});
  EXPECT_EQ(line.Read(5), (TBytes{0xA5, 0x02, 0x11, 0x11, 0x00}));
  line.Write({0xA5, 0x04, 0x79, 0x10, 0x45, 0x23, 0x01});
  EXPECT_EQ(line.Read(7), (TBytes{0xA5, 0x04, 0x88, 0x10, 0x00, 0xCD, 0xAB}));
  // The frame 01 02 03 (a login with the text 02 03) is A5 03 06 01 02 03 on the line.
  line.Write({0xA5, 0x03, 0x06, 0x01, 0x02, 0x03});
  const std::optional<TRsFrame> login = line.ReadFrame();
  ASSERT_TRUE(login);
  EXPECT_TRUE(login->sumOk);
  EXPECT_EQ(login->payload.size(), 34u);
  EXPECT_EQ(login->payload[0], 0x01);
  EXPECT_EQ(login->payload[1], 0x00);
}

TEST(RsLink, ReceiverHuntsDropsDamagedFramesAndReassembles) {
  TSimProcess sim({});
  TLineClient line(sim.Device());
  // Noise before the start byte is skipped: the frame 04 01 arrives (and, being no command of
  // the standard set, is answered "unknown command").
  line.Write({0x00, 0xA5, 0x02, 0x05, 0x04, 0x01});
  std::optional<TRsFrame> answer = line.ReadFrame();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->payload, (TBytes{0x04, 0x10}));

  // A wrong checksum and an empty frame get no answer: the next answer is the next request's.
  line.Write({0x00, 0xA5, 0x02, 0x06, 0x04, 0x01});
  line.Write({0xA5, 0x00, 0x00});
  line.SendFrame({0x03, 0x00});
  answer = line.ReadFrame();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->payload[0], 0x03);

  // A frame written in pieces is answered once, complete.
  const TBytes split = TLineClient::Frame({0x30, 0x00, 0x00, 0x00, 0x04});
  for (uint8_t byte : split) {
    line.Write({byte});
    std::this_thread::sleep_for(5ms);
  }
  answer = line.ReadFrame();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->payload, (TBytes{0x30, 0x00, 0, 0, 0, 0}));

  // The rest of a frame that stopped arriving is not taken from the next frame.
  line.Write({0xA5, 0x05, 0x00, 0x10});
  std::this_thread::sleep_for(1200ms);
  line.SendFrame({0x03, 0x00});
  answer = line.ReadFrame();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->payload, (TBytes{0x03, 0x00, 0x00, 0x80}));

  // Two frames in one write are both answered, in order.
  TBytes two = TLineClient::Frame({0x02});
  const TBytes second = TLineClient::Frame({0x21});
  two.insert(two.end(), second.begin(), second.end());
  line.Write(two);
  answer = line.ReadFrame();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->payload, (TBytes{0x02, 0x00}));
  answer = line.ReadFrame();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->payload, (TBytes{0x21, 0x00}));
}

}  // namespace
}  // namespace tolvek::test
