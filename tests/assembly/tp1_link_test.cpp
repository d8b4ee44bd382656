// The TP1 link end to end: the Talk server with the TP1 driver "OTP1" on COM1, which is mapped
// to the pseudo-terminal of a simulated drive speaking TP1. Requests go in as request batches,
// and the drive's transcript shows what went over the line.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "comm/talk_server.h"
#include "comm/tp1_driver.h"
#include "../support/drivesim_process.h"
#include "kernel/message.h"
#include "kernel/queue.h"

namespace tolvek {
namespace {

using TDriveSim = tolvek::testing::TSimProcess;

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Frames are written as hex pairs separated by blanks: "10 34 12 00".
std::string BatchFrame(const std::string& hex) {
  std::string body;
  int count = 0;
  for (size_t at = 0; at < hex.size(); at += 3) {
    body += "\t" + hex.substr(at, 2);
    ++count;
  }
  char length[8];
  std::snprintf(length, sizeof length, "%X", count);
  return length + body;
}

// The answer "status" or "status,frame" with the frame in the same hex form.
std::string ReadableAnswer(const std::string& body) {
  std::vector<std::string> fields;
  std::string field;
  std::string text = body;
  while (!text.empty() && (text.back() == '\r' || text.back() == '\t')) text.pop_back();
  for (char c : text) {
    if (c == '\t' || c == '\r') {
      fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  fields.push_back(field);
  // identifier, status, [length, bytes...]
  if (fields.size() < 2) return "<malformed " + body + ">";
  text = fields[1];
  for (size_t i = 3; i < fields.size(); ++i) {
    text += (i == 3 ? "," : " ");
    text += fields[i].size() == 1 ? "0" + fields[i] : fields[i];
  }
  return text;
}

class Tp1LinkTest : public ::testing::Test {
protected:
  void Start(const std::vector<std::string>& simOptions) {
    std::vector<std::string> args{"--link", "tp1"};
    args.insert(args.end(), simOptions.begin(), simOptions.end());
    sim = std::make_unique<TDriveSim>(args, true);
    ::setenv("TOLVEK_PORT_COM1", sim->Device().c_str(), 1);
    server = std::make_unique<TTalkServer>();
    // Room for a machine loaded with sanitized builds; the unknown command waits it out once.
    server->SetAnswerTimeouts(5000, 25000);
    ASSERT_TRUE(server->RegisterPort("OTP1", std::make_unique<TTp1Driver>(1, 9600)));
    client.LogOn();
    ASSERT_EQ(Control("OpenDevice\tOTP1\t5"), "OpenDevice\tOK\t0");
  }
  void TearDown() override {
    if (server) server.reset();
    if (client.Node()) client.LogOff();
    while (TMxMessage* m = client.GetMessage()) FreeMessage(m);
    if (sim) sim->Stop();
    ::unsetenv("TOLVEK_PORT_COM1");
  }

  std::string Receive(int timeoutMs = 60000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (TMxMessage* message = client.GetMessage()) {
        std::string body = message->AsString();
        FreeMessage(message);
        return body;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return "<nothing>";
  }
  std::string Control(const std::string& body) {
    TMxMessage* message = NewMessage();
    message->SetString(body);
    message->SetReceiver(1, 0, 0x33);
    client.SendMessage(message);
    return Receive();
  }
  // One frame to device 0; the answer as "status" or "status,frame".
  std::string Talk(const std::string& hex) {
    TMxMessage* message = NewMessage();
    message->SetString("1\t0\t" + BatchFrame(hex));
    message->SetReceiver(0, 0, 0x44);
    client.SendMessage(message);
    return ReadableAnswer(Receive());
  }
  // Closes the device and ends the drive, so its transcript is complete.
  void Finish() {
    EXPECT_EQ(Control("CloseDevice\t0"), "CloseDevice\tOK");
    sim->Stop();
  }

  std::unique_ptr<TDriveSim> sim;
  std::unique_ptr<TTalkServer> server;
  TMxQueue client;
};

TEST_F(Tp1LinkTest, ReadMemoryConfirmsTheEchoAndTurnsTheReplyAround) {
  Start({});
  EXPECT_EQ(Talk("11 34 12 00 CD AB"), "0,11 00");
  EXPECT_EQ(Talk("10 34 12 00"), "0,10 00 CD AB");
  Finish();
  EXPECT_EQ(sim->Line("RX"), "3A 04 00 12 34 AB CD 21 3A 00 00 12 34 00 00 21");
  EXPECT_EQ(sim->Line("TX"), "C2 AB CD 78 46 AB CD 78");
}

TEST_F(Tp1LinkTest, WrongEchoIsRejectedAndFailsTheRequest) {
  Start({"--corrupt-every", "1"});
  EXPECT_EQ(Talk("10 34 12 00"), "FF");
  Finish();
  EXPECT_EQ(sim->Line("RX"), "3A 00 00 12 34 00 00 55");
  EXPECT_EQ(sim->Line("TX"), "47");
}

TEST_F(Tp1LinkTest, BlockReadOfThreeBytesTakesTwoTelegrams) {
  Start({});
  EXPECT_EQ(Talk("31 00 10 00 11 22 33 44"), "0,31 00");
  EXPECT_EQ(Talk("30 00 10 00 03"), "0,30 00 11 22 33 44");
  Finish();
  const std::string rx = sim->Line("RX");
  EXPECT_TRUE(EndsWith(rx, "3A 00 00 10 00 00 00 21 3A 00 00 10 02 00 00 21")) << rx;
}

TEST_F(Tp1LinkTest, BlockWriteIsSentInChunksOfTheDrivesLimit) {
  Start({"--tp1-chunk-limit", "4"});
  EXPECT_EQ(Talk("31 00 20 00 01 02 03 04 05"), "0,31 00");
  EXPECT_EQ(Talk("30 00 20 00 06"), "0,30 00 01 02 03 04 05 00");
  EXPECT_EQ(Talk("31 00 20 00"), "0,31 00");
  Finish();
  const std::string rx = sim->Line("RX");
  EXPECT_EQ(rx.substr(0, 59), "3A 14 00 20 00 00 00 21 21 04 01 02 03 04 21 01 05 99 3A 00");
  // The empty write: telegram, ACK of its reply, and the end right away.
  EXPECT_TRUE(EndsWith(rx, "21 3A 14 00 20 00 00 00 21 99")) << rx;
}

TEST_F(Tp1LinkTest, LoginIsAnsweredWithoutTheLine) {
  Start({});
  EXPECT_EQ(Talk("01 51 56"),
            "0,01 00 20 03 02 02 FF 00 00 00 00 00 00 00 00 00 00 00 "
            "54 41 4C 4B 20 31 2E 30 20 47 61 74 65 57 61 79");
  Finish();
  EXPECT_EQ(sim->Line("RX"), "");
}

TEST_F(Tp1LinkTest, UnknownCommandTimesOutAndTheNextRequestResetsTheLink) {
  Start({});
  EXPECT_EQ(Talk("03 00"), "B2");
  EXPECT_EQ(Talk("10 34 12 00"), "0,10 00 00 00");
  Finish();
  std::string burst;
  for (int i = 0; i < 256; ++i) burst += (i ? " 55" : "55");
  EXPECT_EQ(sim->Line("RX"), burst + " 3A 00 00 12 34 00 00 21");
}

}  // namespace
}  // namespace tolvek
