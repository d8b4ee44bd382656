// The drive's side of TP1: checksum echo, ACK and NAK, replies, chunked block writes and the
// 0x99 end, byte for byte.
#include <gtest/gtest.h>

#include <thread>

#include "sim_client.h"

namespace tolvek::test {
namespace {

constexpr uint8_t Ack = 0x21, Nak = 0x55;

TBytes Telegram(uint8_t op, uint32_t address, uint16_t data) {
  return {':', op, static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8),
          static_cast<uint8_t>(address), static_cast<uint8_t>(data >> 8), static_cast<uint8_t>(data)};
}

uint8_t Echo(const TBytes& telegram) {
  uint8_t sum = 0;
  for (size_t i = 1; i < telegram.size(); ++i) sum = static_cast<uint8_t>(sum + telegram[i]);
  return sum;
}

// One confirmed telegram: checks the echo and returns the drive's reply.
TBytes Exchange(TLineClient& line, const TBytes& telegram, size_t replyBytes = 3) {
  line.Write(telegram);
  EXPECT_EQ(line.Read(1), TBytes{Echo(telegram)});
  line.Write({Ack});
  return line.Read(replyBytes);
}

TEST(Tp1Link, ReadAndWriteTelegrams) {
  TSimProcess sim({"--link", "tp1"});
  TLineClient line(sim.Device());
  EXPECT_EQ(Exchange(line, Telegram(0x04, 0x001234, 0xABCD)), (TBytes{0xAB, 0xCD, 0x78}));
  // The read of address 00 12 34: echo 0x46, reply AB CD with sum 0x78.
  line.Write({':', 0x00, 0x00, 0x12, 0x34, 0x00, 0x00});
  EXPECT_EQ(line.Read(1), TBytes{0x46});
  line.Write({Ack});
  EXPECT_EQ(line.Read(3), (TBytes{0xAB, 0xCD, 0x78}));
}

TEST(Tp1Link, NakNoiseAndBrokenTelegramsChangeNothing) {
  TSimProcess sim({"--link", "tp1"});
  TLineClient line(sim.Device());
  // The PC's reset burst while idle is ignored.
  line.Write(TBytes(256, Nak));
  const TBytes write = Telegram(0x04, 0x000100, 0x1111);
  line.Write(write);
  EXPECT_EQ(line.Read(1), TBytes{Echo(write)});
  line.Write({Nak});
  EXPECT_EQ(Exchange(line, Telegram(0x00, 0x000100, 0)), (TBytes{0x00, 0x00, 0x00}));
  // A telegram cut short is abandoned after a pause; the next one is read from its start.
  line.Write({':', 0x04, 0x00});
  std::this_thread::sleep_for(1200ms);
  EXPECT_EQ(Exchange(line, Telegram(0x00, 0x000100, 0)), (TBytes{0x00, 0x00, 0x00}));
}

TEST(Tp1Link, BlockWritesInChunksAndEnds) {
  TSimProcess sim({"--link", "tp1", "--tp1-chunk-limit", "4"});
  TLineClient line(sim.Device());
  // The reply announces the chunk limit 4 (R1 high byte).
  EXPECT_EQ(Exchange(line, Telegram(0x14, 0x001000, 0)), (TBytes{0x00, 0x04, 0x04}));
  line.Write({Ack, 4, 0x11, 0x22, 0x33, 0x44});
  EXPECT_EQ(line.Read(2), (TBytes{0x00, 0xAA}));
  line.Write({Ack, 1, 0x55});
  EXPECT_EQ(line.Read(2), (TBytes{0x00, 0x55}));
  line.Write({0x99});
  EXPECT_EQ(line.Read(1), TBytes{0x00});
  EXPECT_EQ(Exchange(line, Telegram(0x00, 0x001000, 0)), (TBytes{0x22, 0x11, 0x33}));
  EXPECT_EQ(Exchange(line, Telegram(0x00, 0x001004, 0)), (TBytes{0x00, 0x55, 0x55}));

  // A block write without data ends right after the reply.
  EXPECT_EQ(Exchange(line, Telegram(0x14, 0x002000, 0)), (TBytes{0x00, 0x04, 0x04}));
  line.Write({0x99});
  EXPECT_EQ(line.Read(1), TBytes{0x00});

  // A chunk above the limit is refused with 0xFF, which ends the block write.
  EXPECT_EQ(Exchange(line, Telegram(0x14, 0x003000, 0)), (TBytes{0x00, 0x04, 0x04}));
  line.Write({Ack, 5, 1, 2, 3, 4, 5});
  EXPECT_EQ(line.Read(2), (TBytes{0xFF, 0x11}));
}

TEST(Tp1Link, RefusedTelegramsFailTheirCheckByte) {
  TSimProcess sim({"--link", "tp1", "--busy-delay", "0"});
  TLineClient line(sim.Device());
  struct TCase {
    const char* what;
    TBytes telegram, reply;
  };
  const TCase cases[] = {
      {"read between RAM and flash", Telegram(0x00, 0x400000, 0), {0xEE, 0x12, 0x01}},
      {"unknown operation", Telegram(0x42, 0, 0), {0xEE, 0x10, 0xFF}},
      {"flash write to RAM", Telegram(0x06, 0x000010, 0x1234), {0xEE, 0x17, 0x06}},
      {"flash write", Telegram(0x06, 0x800100, 0x1234), {0x00, 0x00, 0x00}},
      {"start without program", Telegram(0x0C, 0x800100, 0), {0xEE, 0x16, 0x05}},
      {"start", Telegram(0x0C, 0x801000, 0), {0x00, 0x00, 0x00}},
      {"erase while running", Telegram(0x08, 0x800000, 0), {0xEE, 0x15, 0x04}},
      {"stop", Telegram(0x09, 0, 0), {0x00, 0x00, 0x00}},
      {"erase", Telegram(0x08, 0x800000, 0), {0x00, 0x00, 0x00}},
  };
  for (const TCase& c : cases) EXPECT_EQ(Exchange(line, c.telegram), c.reply) << c.what;
}

}  // namespace
}  // namespace tolvek::test
