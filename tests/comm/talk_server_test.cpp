// The Talk server end to end: a client queue sends control commands and request batches by
// message, the RS link carries the frames over pseudo-terminals, and the test plays the drives
// byte by byte on the master sides.
#include "comm/talk_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "comm/rs_driver.h"
#include "comm/rs_link_frame.h"
#include "kernel/message.h"
#include "kernel/queue.h"
#include "platform/debug_log.h"
#include "pty_pair.h"

namespace tolvek {
namespace {

using test::Bytes;
using test::TPtyPair;

// Collects the traffic lines of channel 1.
class TTrafficLog : public TDebugLog {
public:
  void Subscribe(int channel, TDebugSubscription callback, const void*) override {
    if (channel == 1 && callback && enabled_) callback(Writer());
  }
  void Unsubscribe(const void*) override {}
  void EnableChannel(int channel) override { enabled_ = enabled_ || channel == 1; }
  bool ChannelEnabled(int channel) const override { return channel == 1 && enabled_; }
  void Output(int, uint16_t code, const std::string& text) override {
    std::lock_guard<std::mutex> guard(lock_);
    lines_.push_back(StrCode(code) + " " + text);
  }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
  }

private:
  static std::string StrCode(uint16_t code) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", code);
    return text;
  }
  TDebugWriter Writer() {
    return [this](uint16_t code, const std::string& text) { Output(1, code, text); };
  }
  bool enabled_ = false;
  std::mutex lock_;
  std::vector<std::string> lines_;
};

// A drive on the master side of a pseudo-terminal, speaking RS link frames.
class TDrive {
public:
  explicit TDrive(TPtyPair& pty) : pty_(pty) {}

  // The payload of the next frame the system sends, or "<none>" after the time-out.
  std::string ReadFrame(int timeoutMs = 10000) {
    std::string header = pty_.Read(3, timeoutMs);
    if (header.size() < 3) return "<none>";
    EXPECT_EQ(static_cast<uint8_t>(header[0]), 0xA5);
    std::string payload = pty_.Read(static_cast<uint8_t>(header[1]), timeoutMs);
    EXPECT_EQ(static_cast<uint8_t>(header[2]), RsChecksum(payload));
    return payload;
  }
  void Answer(const std::string& payload) { pty_.Write(RsFrameHeader(payload) + payload); }

private:
  TPtyPair& pty_;
};

// The text of a body: CR as "|" and TAB as "," keep expectations on one line.
std::string Readable(std::string body) {
  for (char& c : body) {
    if (c == '\r') c = '|';
    if (c == '\t') c = ',';
  }
  return body;
}

std::string Body(std::string readable) {
  for (char& c : readable) {
    if (c == '|') c = '\r';
    if (c == ',') c = '\t';
  }
  return readable;
}

class TalkServerTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetDebugLog(&log);
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(ptys[i].Ok());
      ::setenv(("TOLVEK_PORT_COM" + std::to_string(i + 1)).c_str(), ptys[i].SlavePath().c_str(), 1);
    }
    ::setenv("TOLVEK_PORT_COM4", "/dev/tolvek-no-such-line", 1);
    server = std::make_unique<TTalkServer>();
    for (int i = 1; i <= 4; ++i)
      ASSERT_TRUE(server->RegisterPort("COM" + std::to_string(i), std::make_unique<TRsDriver>(i, 38400)));
    client.LogOn();
  }
  void TearDown() override {
    client.LogOff();
    server.reset();
    while (TMxMessage* m = client.GetMessage()) FreeMessage(m);
    for (int i = 1; i <= 4; ++i) ::unsetenv(("TOLVEK_PORT_COM" + std::to_string(i)).c_str());
    SetDebugLog(nullptr);
  }

  // Sends a body (in readable form) to the server's node `node` with `kind`.
  void Send(uint16_t node, const std::string& readable, uint8_t kind = 0x33) {
    TMxMessage* message = NewMessage();
    message->SetString(Body(readable));
    message->SetReceiver(node, 0, kind);
    client.SendMessage(message);
  }
  // The next message the client receives, in readable form, with its kind and sender node.
  std::string Receive(int timeoutMs = 10000, uint8_t* kind = nullptr, uint16_t* sender = nullptr) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (TMxMessage* message = client.GetMessage()) {
        std::string body = Readable(message->AsString());
        if (kind) *kind = message->Kind;
        if (sender) *sender = message->SenderNode;
        FreeMessage(message);
        return body;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return "<nothing>";
  }
  std::string Control(const std::string& readable) {
    Send(1, readable);
    return Receive();
  }

  TTrafficLog log;
  TPtyPair ptys[3];
  std::unique_ptr<TTalkServer> server;
  TMxQueue client;
};

TEST_F(TalkServerTest, ServerQueuesAreTheFirstTwoNodes) {
  EXPECT_EQ(server->RequestQueue().Node()->Number(), 0);
  EXPECT_EQ(server->ControlQueue().Node()->Number(), 1);
  EXPECT_EQ(Control("OpenDevice,COM1,5"), "OpenDevice,OK,0");
  EXPECT_EQ(server->PortCount(), 4);
  EXPECT_EQ(server->PortName(0), "COM1");
  EXPECT_FALSE(server->RegisterPort("com1", std::make_unique<TRsDriver>(1, 9600)));
  EXPECT_TRUE(server->SetPortBaudRate("com2", 115200));
  EXPECT_FALSE(server->SetPortBaudRate("COM9", 9600));
}

TEST_F(TalkServerTest, ControlCommandsAnswerAndNumbersAreNeverReused) {
  struct Step {
    const char* request;
    const char* answer;
  } steps[] = {
      {"OpenDevice,COM3,1", "OpenDevice,OK,0"},
      {"OpenDevice,COM3,1", "OpenDevice,ERROR,TalkServer: port COM3 is occupied"},
      {"OpenDevice,COM1:1,1", "OpenDevice,ERROR,TalkServer: index 1 at port 'COM1' is out of range"},
      {"OpenDevice,COM1:0,1", "OpenDevice,OK,1"},
      {"OpenDevice,COM9,1", "OpenDevice,ERROR,TalkServer: port COM9 is unknown"},
      {"OpenDevice,COM4,1",
       "OpenDevice,ERROR,Port COM4 could not be opened! (/dev/tolvek-no-such-line: no such device)"},
      {"CloseDevice,0", "CloseDevice,OK"},
      {"CloseDevice,0", "CloseDevice,ERROR,TalkServer.CloseDevice: device doesn't exist"},
      {"OpenDevice,COM3,1", "OpenDevice,OK,2"},
      {"CloseDevice,1F", "CloseDevice,ERROR,TalkServer.CloseDevice: device doesn't exist"},
      {"Reset,1", "Reset,ERROR,unknown command"},
  };
  for (const Step& step : steps) EXPECT_EQ(Control(step.request), step.answer) << step.request;
  uint8_t kind = 0;
  Send(1, "CloseDevice,2", 0x7E);
  EXPECT_EQ(Receive(10000, &kind), "CloseDevice,OK");
  EXPECT_EQ(kind, 0x7E);
}

TEST_F(TalkServerTest, BatchGoesOverTheLinkAndComesBackInOrder) {
  ASSERT_EQ(Control("OpenDevice,COM1,5"), "OpenDevice,OK,0");
  TDrive drive(ptys[0]);
  // Three frames for one device and one for a device that does not exist; the second frame
  // gets no answer.
  Send(0, "1,0,3,1,2,3|2,0,2,4,3|7,0,1,5|8,9,1,1", 0x44);
  std::string wire = ptys[0].Read(6);
  EXPECT_EQ(wire, Bytes({0xA5, 0x03, 0x06, 0x01, 0x02, 0x03}));
  drive.Answer(Bytes({0x01, 0x00, 0xAA, 0xBB}));
  EXPECT_EQ(drive.ReadFrame(), Bytes({0x04, 0x03}));
  // (silence: time-out)
  EXPECT_EQ(drive.ReadFrame(), Bytes({0x05}));
  drive.Answer(Bytes({0x05, 0x90}));
  uint8_t kind = 0;
  EXPECT_EQ(Receive(10000, &kind), "1,0,4,1,0,AA,BB|2,B2|7,90|8,B0");
  EXPECT_EQ(kind, 0x44);

  // The device's traffic is in channel 1; the status request (second byte 3) is not.
  std::vector<std::string> lines = log.Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "0101 Tx: 01 02 03 "), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "0201 Rx: 01 00 AA BB "), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "0205 Rx: 05 90 "), lines.end());
  for (const std::string& line : lines) EXPECT_EQ(line.find("Tx: 04 03"), std::string::npos);
}

TEST_F(TalkServerTest, InProgressAnswerExtendsTheWaitForTheFinalOne) {
  // The product waits 2000 ms and then 25000 ms; scaled down, the final answer comes well
  // after the first wait would have ended.
  server->SetAnswerTimeouts(1500, 20000);
  ASSERT_EQ(Control("OpenDevice,COM2,5"), "OpenDevice,OK,0");
  TDrive drive(ptys[1]);
  Send(0, "A1,0,2,84,0");
  EXPECT_EQ(drive.ReadFrame(), Bytes({0x84, 0x00}));
  drive.Answer(Bytes({0x84, 0x01}));
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  drive.Answer(Bytes({0x84, 0x00, 0x12}));
  EXPECT_EQ(Receive(), "A1,0,3,84,0,12");

  // Interim and final answer in one read, and a frame with a bad checksum before them.
  Send(0, "A2,0,1,85");
  EXPECT_EQ(drive.ReadFrame(), Bytes({0x85}));
  ptys[1].Write(Bytes({0xA5, 0x02, 0x00, 0x85, 0x00}) + RsFrameHeader(Bytes({0x85, 0x01})) +
                Bytes({0x85, 0x01}) + RsFrameHeader(Bytes({0x85, 0x00, 0x07})) + Bytes({0x85, 0x00, 0x07}));
  EXPECT_EQ(Receive(), "A2,0,3,85,0,7");
}

TEST_F(TalkServerTest, FramesTheDeviceSendsOnItsOwnGoToTheOpeningClient) {
  ASSERT_EQ(Control("OpenDevice,COM1,5A"), "OpenDevice,OK,0");
  TDrive drive(ptys[0]);
  drive.Answer(Bytes({0x87, 0x00, 0x01, 0x02}));
  uint8_t kind = 0;
  uint16_t sender = 0xFFFF;
  std::string body = Receive(10000, &kind, &sender);
  EXPECT_EQ(body, Bytes({0x87, 0x00, 0x01, 0x02}));
  EXPECT_EQ(kind, 0x5A);
  EXPECT_EQ(sender, 0);  // the request queue's node
}

TEST_F(TalkServerTest, LateAnswerGoesToTheClientAndNotToTheNextRequest) {
  server->SetAnswerTimeouts(1500, 20000);
  ASSERT_EQ(Control("OpenDevice,COM1,5"), "OpenDevice,OK,0");
  TDrive drive(ptys[0]);
  Send(0, "1,0,1,10");
  EXPECT_EQ(drive.ReadFrame(), Bytes({0x10}));
  EXPECT_EQ(Receive(), "1,B2");
  drive.Answer(Bytes({0x10, 0x00, 0x01}));
  EXPECT_EQ(Receive(), Readable(Bytes({0x10, 0x00, 0x01})));
  Send(0, "2,0,1,10");
  EXPECT_EQ(drive.ReadFrame(), Bytes({0x10}));
  drive.Answer(Bytes({0x10, 0x00, 0x02}));
  EXPECT_EQ(Receive(), "2,0,3,10,0,2");
}

TEST_F(TalkServerTest, UnpluggedLineTimesOutAndTheServerServesTheNextDevice) {
  server->SetAnswerTimeouts(2000, 20000);
  ASSERT_EQ(Control("OpenDevice,COM1,5"), "OpenDevice,OK,0");
  TDrive first(ptys[0]);
  Send(0, "1,0,1,2");
  EXPECT_EQ(first.ReadFrame(), Bytes({0x02}));
  ptys[0].CloseMaster();
  EXPECT_EQ(Receive(), "1,B2");
  // Sending on the vanished line fails at once.
  Send(0, "2,0,1,2");
  std::string answer = Receive();
  EXPECT_TRUE(answer == "2,8F" || answer == "2,B2") << answer;

  EXPECT_EQ(Control("CloseDevice,0"), "CloseDevice,OK");
  ASSERT_EQ(Control("OpenDevice,COM2,5"), "OpenDevice,OK,1");
  TDrive second(ptys[1]);
  Send(0, "3,1,1,2");
  EXPECT_EQ(second.ReadFrame(), Bytes({0x02}));
  second.Answer(Bytes({0x02, 0x00}));
  EXPECT_EQ(Receive(), "3,0,2,2,0");
}

TEST_F(TalkServerTest, BatchesForTwoDevicesRunSideBySide) {
  server->SetAnswerTimeouts(5000, 20000);
  ASSERT_EQ(Control("OpenDevice,COM1,5"), "OpenDevice,OK,0");
  ASSERT_EQ(Control("OpenDevice,COM2,5"), "OpenDevice,OK,1");
  TDrive a(ptys[0]), b(ptys[1]);
  Send(0, "1,0,1,10");
  Send(0, "2,1,1,20");
  // Both frames are out before either device answers: two actors work at once.
  EXPECT_EQ(a.ReadFrame(), Bytes({0x10}));
  EXPECT_EQ(b.ReadFrame(), Bytes({0x20}));
  b.Answer(Bytes({0x20, 0x00}));
  EXPECT_EQ(Receive(), "2,0,2,20,0");
  a.Answer(Bytes({0x10, 0x00}));
  EXPECT_EQ(Receive(), "1,0,2,10,0");
}

}  // namespace
}  // namespace tolvek
