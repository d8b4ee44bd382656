// The slot bookkeeping and status bytes every link-protocol driver shares.
#include "comm/port_driver.h"

#include <gtest/gtest.h>

#include "comm/talk_status.h"
#include "kernel/scheduler.h"
#include "kernel/thread_manager.h"

namespace tolvek {
namespace {

class TRecordingDriver : public TPortDriver {
public:
  TRecordingDriver() : TPortDriver(1) {}
  uint8_t SendFrame(uint8_t slot, const std::string& frame) override {
    sent.push_back(frame);
    lastSlot = slot;
    return 0x42;
  }
  std::vector<std::string> sent;
  int lastSlot = -1;
};

TEST(PortDriver, SlotsAndStatusBytes) {
  TMxScheduler scheduler;
  TThreadManager threads;
  TRecordingDriver driver;
  EXPECT_EQ(driver.Transmit(0, "x"), kTalkDriverNotOpen);
  driver.Open(scheduler, threads);

  std::vector<std::string> delivered;
  int owner = 0;
  auto handler = [&](const std::string& frame) { delivered.push_back(frame); };
  EXPECT_EQ(driver.Attach(1, handler, &owner), kTalkSlotOutOfRange);
  EXPECT_EQ(driver.Attach(-1, handler, &owner), kTalkSlotOutOfRange);
  EXPECT_EQ(driver.Attach(0, handler, &owner), kTalkSuccess);
  EXPECT_EQ(driver.Attach(0, handler, &owner), kTalkSlotTaken);

  EXPECT_EQ(driver.Transmit(1, "x"), kTalkSlotOutOfRange);
  EXPECT_EQ(driver.Transmit(0, std::string(300, 'a')), 0x42);
  EXPECT_EQ(driver.sent.at(0).size(), 255u);

  driver.Deliver(0, "frame");
  driver.Deliver(1, "beyond the slots");
  EXPECT_EQ(delivered, std::vector<std::string>{"frame"});

  EXPECT_EQ(driver.Attach(0, nullptr, nullptr), kTalkSuccess);  // detaches
  driver.Deliver(0, "dropped");
  EXPECT_EQ(delivered.size(), 1u);
  EXPECT_EQ(driver.Attach(0, handler, &owner), kTalkSuccess);

  driver.Close();
  EXPECT_FALSE(driver.IsOpen());
  EXPECT_EQ(driver.Transmit(0, "x"), kTalkDriverNotOpen);
  driver.Deliver(0, "after close");
  EXPECT_EQ(delivered.size(), 1u);
}

}  // namespace
}  // namespace tolvek
