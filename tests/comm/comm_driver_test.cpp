// Raw receive requests on a pseudo-terminal: stop character, count, the byte that waits
// between requests, dropping everything, and configuration while open.
#include "comm/comm_driver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <time.h>

#include "comm/comm_port_manager.h"
#include "kernel/thread_manager.h"
#include "platform/error.h"
#include "pty_pair.h"

namespace tolvek {
namespace {

using test::Bytes;
using test::TPtyPair;

// A driver on a pseudo-terminal named "COM5", with its completions counted.
class CommDriverTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(pty.Ok());
    ::setenv("TOLVEK_PORT_COM5", pty.SlavePath().c_str(), 1);
    driver = manager.NewCommDriver();
    driver->SetPortName("COM5");
    driver->SetBaudRate(19200);
    driver->OnComplete = [this](TCommDriver& d) {
      std::lock_guard<std::mutex> guard(lock);
      ++completions;
      lastCount = d.ReceivedCount();
      lastReason = d.StopReason();
      changed.notify_all();
    };
    driver->OpenPort();
  }
  void TearDown() override {
    driver.reset();
    ::unsetenv("TOLVEK_PORT_COM5");
  }

  bool WaitForCompletions(int count, int timeoutMs = 10000) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                            [&] { return completions >= count; });
  }
  int Completions() {
    std::lock_guard<std::mutex> guard(lock);
    return completions;
  }

  TPtyPair pty;
  TCommPortManager manager;
  std::unique_ptr<TCommDriver> driver;
  std::mutex lock;
  std::condition_variable changed;
  int completions = 0;
  uint32_t lastCount = 0;
  uint8_t lastReason = 0xEE;
};

TEST_F(CommDriverTest, StopCharacterEndsTheRequestAndIsNotStored) {
  uint8_t buffer[16] = {};
  driver->ReceiveUntil(buffer, 13, sizeof buffer);
  pty.Write("AB\r");
  ASSERT_TRUE(WaitForCompletions(1));
  EXPECT_EQ(lastCount, 2u);
  EXPECT_EQ(lastReason, 13);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), std::string("AB\0", 3));
}

TEST_F(CommDriverTest, CountEndsTheRequestAndLaterBytesWaitForTheNextOne) {
  uint8_t first[4] = {}, second[2] = {};
  driver->ReceiveCount(first, 4);
  pty.Write("12345");
  ASSERT_TRUE(WaitForCompletions(1));
  EXPECT_EQ(lastCount, 4u);
  EXPECT_EQ(lastReason, 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(first), 4), "1234");
  // The fifth byte came at once but belongs to the next request, as do bytes sent later.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  driver->ReceiveCount(second, 2);
  pty.Write("6");
  ASSERT_TRUE(WaitForCompletions(2));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(second), 2), "56");
}

TEST_F(CommDriverTest, ByteBetweenRequestsIsPendingAndOnlyReceiveUntilForgetsIt) {
  auto waitForPause = [&] {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!driver->Port().Paused() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return driver->Port().Paused();
  };
  // A byte that arrives while no request runs is taken and kept; reception pauses on it.
  pty.Write("X");
  ASSERT_TRUE(waitForPause());
  uint8_t buffer[8] = {};
  driver->ReceiveCount(buffer, 2);
  pty.Write("Y");
  ASSERT_TRUE(WaitForCompletions(1));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 2), "XY");

  // After a completed request the port pauses before taking more: a later byte waits in the
  // line's queue and belongs to the next request of any kind.
  pty.Write("W");
  uint8_t one = 0;
  driver->ReceiveCount(&one, 1);
  ASSERT_TRUE(WaitForCompletions(2));
  EXPECT_EQ(one, 'W');

  // A pending byte (taken while nothing ran) is not the answer to a ReceiveUntil.
  driver->ClosePort();
  driver->OpenPort();
  pty.Write("Z");
  ASSERT_TRUE(waitForPause());
  driver->ReceiveUntil(buffer, '\r', sizeof buffer);
  pty.Write("ab\r");
  ASSERT_TRUE(WaitForCompletions(3));
  EXPECT_EQ(lastCount, 2u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 2), "ab");
}

TEST_F(CommDriverTest, StopSetAndRequestWithoutRoomCompleteAsExpected) {
  uint8_t buffer[8] = {};
  driver->ReceiveCount(buffer, 0);  // nothing to wait for: completes at once
  EXPECT_EQ(Completions(), 1);
  TStopSet stops;
  stops.set(';');
  stops.set('\n');
  driver->ReceiveUntilSet(buffer, stops, sizeof buffer);
  pty.Write("x;y");
  ASSERT_TRUE(WaitForCompletions(2));
  EXPECT_EQ(lastReason, ';');
  EXPECT_EQ(lastCount, 1u);
  // Without a buffer only the stop character ends a request, however many bytes come.
  driver->ReceiveUntil(nullptr, '\n', 1);
  pty.Write(std::string(40, 'z') + "\n");
  ASSERT_TRUE(WaitForCompletions(3));
  EXPECT_EQ(lastReason, '\n');
}

TEST_F(CommDriverTest, ReceiveNoneDropsEverythingWithoutCompleting) {
  driver->ReceiveNone();
  pty.Write(std::string(300, 'n'));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(Completions(), 0);
  // The port still serves requests afterwards.
  driver->ReceiveUntil(nullptr, '!', 1);
  pty.Write("!");
  ASSERT_TRUE(WaitForCompletions(1));
  EXPECT_EQ(lastReason, '!');
}

TEST_F(CommDriverTest, SendsAndRefusesConfigurationWhileOpen) {
  const std::string bytes = Bytes({0x00, 0xA5, 0x0D, 0x11, 0xFF});
  driver->SendBuffer(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  EXPECT_EQ(pty.Read(bytes.size()), bytes);
  for (auto configure : {+[](TCommDriver& d) { d.SetBaudRate(9600); },
                         +[](TCommDriver& d) { d.SetPortName("COM6"); }}) {
    try {
      configure(*driver);
      ADD_FAILURE() << "configuration accepted while open";
    } catch (const EError& e) {
      EXPECT_STREQ(e.what(), "TCommDriver: configuration not allowed when port is open");
    }
  }
  try {
    driver->Port().OpenPort(manager.ThreadManager());
    ADD_FAILURE() << "second open accepted";
  } catch (const EError& e) {
    EXPECT_STREQ(e.what(), "TCommPort.OpenPort: port COM5 is already open");
  }
  driver->ClosePort();
  driver->SetBaudRate(9600);
  EXPECT_THROW(TCommDriver(nullptr), EError);
}

TEST_F(CommDriverTest, UnpluggedLineEndsReceptionWithoutSpinning) {
  uint8_t buffer[4] = {};
  driver->ReceiveCount(buffer, 4);
  pty.Write("ab");
  pty.CloseMaster();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!driver->Port().LineLost() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(driver->Port().LineLost());
  EXPECT_EQ(Completions(), 0);
  // The manager's thread must be asleep, not polling a dead line: the process uses far less
  // processor time than time passes.
  auto cpuNow = [] {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
  };
  double cpuBefore = cpuNow();
  auto wallBefore = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  double wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallBefore).count();
  EXPECT_LT(cpuNow() - cpuBefore, wallMs / 2);
  uint8_t byte = 1;
  EXPECT_THROW(driver->SendBuffer(&byte, 1), EError);
  driver->ClosePort();
}

}  // namespace
}  // namespace tolvek
