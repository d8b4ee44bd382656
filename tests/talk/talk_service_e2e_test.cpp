// The Talk service end to end: a device with a Talk service on a port of the Talk server, the
// RS link over a pseudo-terminal, and the simulated drive at the other end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/program_registry.h"
#include "comm/block_reader.h"
#include "comm/block_writer.h"
#include "comm/rs_driver.h"
#include "comm/talk_server.h"
#include "comm/talk_service.h"
#include "comm/talk_status.h"
#include "devices/device.h"
#include "devices/device_manager.h"
#include "platform/debug_log.h"
#include "platform/user_interface.h"
#include "script/object_text.h"
#include "../support/drivesim_process.h"
#include "talk_test_support.h"

namespace tolvek::testing {
namespace {

constexpr const char* kDevices = R"(
[D
  /Profiles [D
    /Drive [D /DeviceType 'Online' /Services [A [D /Name 'TalkService' /Profile 'Devices\ServiceProfiles\Talk' ] ] ]
    /Stored [D /DeviceType 'Offline' /Services [A [D /Name 'TalkService' /Profile 'Devices\ServiceProfiles\Talk' ] ] ]
  ]
  /ServiceProfiles [D /Talk [D /Name 'TalkService' ] ]
]
)";

class TRecordingLog : public TDebugLog {
public:
  void Subscribe(int, TDebugSubscription, const void*) override {}
  void Unsubscribe(const void*) override {}
  void EnableChannel(int) override {}
  bool ChannelEnabled(int) const override { return false; }
  void Output(int, uint16_t, const std::string& text) override { Lines.push_back(text); }
  std::vector<std::string> Lines;
};

class TRecordingUserInterface : public THeadlessUserInterface {
public:
  TMsgDlgButton MessageBox(const std::string& text, TMsgDlgType, unsigned, TMsgDlgButton defaultButton) override {
    Boxes.push_back(text);
    return defaultButton;
  }
  std::vector<std::string> Boxes;
};

class TalkServiceEndToEnd : public ::testing::Test {
protected:
  ~TalkServiceEndToEnd() override {
    devices.reset();
    talkClient.reset();
    server.reset();
    ::unsetenv("TOLVEK_PORT_COM1");
    SetUserInterface(nullptr);
    SetDebugLog(nullptr);
  }

  // Starts the simulator with `options`, the Talk server with COM1 on it, and the device
  // manager with the Talk service class.
  void StartDrive(const std::vector<std::string>& options) {
    SetDebugLog(&log);
    SetUserInterface(&ui);
    sim = std::make_unique<TSimProcess>(options);
    ::setenv("TOLVEK_PORT_COM1", sim->Device().c_str(), 1);
    server = std::make_unique<TTalkServer>();
    ASSERT_TRUE(server->RegisterPort("COM1", std::make_unique<TRsDriver>(1, 115200)));
    talkClient = std::make_unique<TTalkClient>();
    talkClient->RegisterStandardPatterns();
    configuration.SetKey("Devices", StrToObj(kDevices).Get());
    devices = std::make_unique<TDeviceManager>(configuration);
    devices->RegisterDeviceService("TalkService", DeviceServiceClass<TBasicTalkService>());
  }

  // A device of `profile` on COM1 with its Talk service made (not started).
  TBasicTalkService& MakeDevice(const std::string& name, const std::string& loginData = "",
                                const std::string& profile = "Drive") {
    TDevice& device = devices->CreateDevice(name, profile);
    device.SetDeviceVar("PortName", "COM1");
    if (!loginData.empty()) device.SetDeviceVar("LoginData", loginData);
    device.CreateServices();
    auto& talk = dynamic_cast<TBasicTalkService&>(device.GetService("TalkService"));
    // The server is the first to log on, but other tests' nodes may linger: use its real nodes.
    talk.RequestNode = server->RequestQueue().Node()->Number();
    talk.ControlNode = server->ControlQueue().Node()->Number();
    return talk;
  }

  // Starts the device's services and waits until the walk ends.
  void StartDevice(TBasicTalkService& talk) {
    bool done = false;
    talk.Device().StartupServices([&](TDevice&) { done = true; });
    ASSERT_TRUE(loop.RunUntil([&] { return done; }, kEventually));
  }
  void StopDevice(TBasicTalkService& talk) {
    bool done = false;
    talk.Device().ShutDownServices([&](TDevice&) { done = true; });
    ASSERT_TRUE(loop.RunUntil([&] { return done; }, kEventually));
  }

  // Executes the actor and waits for its answer.
  void Run(TTalkActor& actor) {
    actor.Execute();
    ASSERT_TRUE(loop.RunUntil([&] { return !actor.IsBusy(); }, 60000));
  }

  uint32_t ReadWord(TBasicTalkService& talk, uint32_t address, uint8_t* status = nullptr) {
    TTalkActor* actor = talkClient->GetActor();
    talk.Commands.ReadMemory.AddRequest(*actor, 0, address);
    Run(*actor);
    if (status) *status = actor->GetStatus();
    else EXPECT_EQ(actor->GetStatus(), 0);
    const uint32_t value = talk.Commands.ReadMemory.GetValue(*actor);
    talkClient->ReturnActor(actor);
    return value;
  }

  THeadlessMainLoop loop;
  TMxScheduler scheduler{&loop};
  TRecordingLog log;
  TRecordingUserInterface ui;
  std::unique_ptr<TSimProcess> sim;
  std::unique_ptr<TTalkServer> server;
  std::unique_ptr<TTalkClient> talkClient;
  TProgramRegistry configuration;
  std::unique_ptr<TDeviceManager> devices;
};

TEST_F(TalkServiceEndToEnd, LogsInReadsAndWritesWordsStopsAndStartsAgain) {
  StartDrive({"--name", "QUARVO E2E", "--device-type", "0x1234", "--flash-base", "0x800000"});
  TBasicTalkService& talk = MakeDevice("Drive1");
  StartDevice(talk);
  ASSERT_EQ(talk.State(), ssStarted) << talk.ErrorText();
  EXPECT_TRUE(talk.Online);
  EXPECT_TRUE(talk.DeviceOpened);
  EXPECT_EQ(talk.Link.Protocol, 32);
  EXPECT_EQ(talk.Link.AddressWidth, 3);
  EXPECT_EQ(talk.Link.DataWidth, 2);
  EXPECT_EQ(talk.Link.AddressStep, 2);
  EXPECT_EQ(talk.Link.MaxFrameLength, 255);
  EXPECT_EQ(talk.Link.DeviceName(), "QUARVO E2E");
  EXPECT_EQ(talk.GetServiceInfo("DeviceType"), "4660");
  EXPECT_EQ(talk.GetServiceInfo("FlashBaseAddr"), "8388608");

  // Three records in one batch: write two words, read one back.
  TTalkActor* actor = talkClient->GetActor();
  talk.Commands.WriteMemory.AddRequest(*actor, 0, 0x100, 0xBEEF);
  talk.Commands.WriteMemory.AddRequest(*actor, 0, 0x102, 0x1234);
  talk.Commands.ReadMemory.AddRequest(*actor, 0, 0x102);
  Run(*actor);
  for (int i = 0; i < 3; ++i, actor->Next()) EXPECT_EQ(actor->GetStatus(), 0) << i;
  actor->Reset();
  actor->Next();
  actor->Next();
  EXPECT_EQ(talk.Commands.ReadMemory.GetValue(*actor), 0x1234u);
  talkClient->ReturnActor(actor);
  EXPECT_EQ(ReadWord(talk, 0x100), 0xBEEFu);
  // A drive refusal comes back as the record's status.
  uint8_t status = 0;
  ReadWord(talk, 0xF00000, &status);
  EXPECT_EQ(status, 0x12);

  StopDevice(talk);
  EXPECT_EQ(talk.State(), ssStopped);
  EXPECT_FALSE(talk.DeviceOpened);
  StartDevice(talk);
  ASSERT_EQ(talk.State(), ssStarted) << talk.ErrorText();
  EXPECT_EQ(ReadWord(talk, 0x100), 0xBEEFu);
  EXPECT_TRUE(ui.Boxes.empty());
}

TEST_F(TalkServiceEndToEnd, LoginDataSkipsTheLoginFrame) {
  StartDrive({});
  TBasicTalkService& talk = MakeDevice("Drive1", "03020210");
  StartDevice(talk);
  ASSERT_EQ(talk.State(), ssStarted) << talk.ErrorText();
  EXPECT_EQ(talk.Link.Protocol, 32);
  EXPECT_EQ(talk.Link.AddressWidth, 3);
  EXPECT_EQ(talk.Link.DataWidth, 2);
  EXPECT_EQ(talk.Link.AddressStep, 2);
  EXPECT_EQ(talk.Link.MaxFrameLength, 16);
  EXPECT_EQ(talk.Link.FlashBase, 0u);
  EXPECT_EQ(talk.Link.DeviceName(), "");
  StopDevice(talk);
  sim->Stop();
  EXPECT_NE(sim->Stderr().find("requests: 0\n"), std::string::npos) << sim->Stderr();
}

TEST_F(TalkServiceEndToEnd, OfflineDeviceStartsWithoutTheServer) {
  StartDrive({});
  TBasicTalkService& talk = MakeDevice("Stored1", "", "Stored");
  StartDevice(talk);
  EXPECT_EQ(talk.State(), ssStarted);
  EXPECT_FALSE(talk.DeviceOpened);
  EXPECT_FALSE(talk.Online);
}

TEST_F(TalkServiceEndToEnd, BlockWriteAndReadBack64KiB) {
  StartDrive({});
  TBasicTalkService& talk = MakeDevice("Drive1");
  StartDevice(talk);
  ASSERT_EQ(talk.State(), ssStarted) << talk.ErrorText();
  std::string data(65536, '\0');
  std::mt19937 random(9);
  for (char& byte : data) byte = static_cast<char>(random());

  TBlockWriter writer(*talkClient);
  bool written = false;
  writer.OnDone = [&](TBlockWriter&) { written = true; };
  writer.Put(talk, 0x10000, 0);
  writer.PutData(data);
  writer.Execute();
  ASSERT_TRUE(loop.RunUntil([&] { return written; }, 120000));
  EXPECT_EQ(writer.Result(), 0);

  TBlockReader reader(*talkClient);
  bool read = false;
  reader.OnDone = [&](TBlockReader&) { read = true; };
  reader.Put(talk, 0x10000, 65536);
  EXPECT_EQ(reader.Actor().GetCount(), 261u);  // 260 chunks of 252 bytes and one of 16
  reader.Execute();
  ASSERT_TRUE(loop.RunUntil([&] { return read; }, 120000));
  ASSERT_EQ(reader.Result(), 0);
  EXPECT_TRUE(reader.ReadBytes(65536) == data);
}

TEST_F(TalkServiceEndToEnd, UnsolicitedFramesReachOnlyTheirListeners) {
  StartDrive({"--unsolicited", "100", "--unsolicited-frame", "8703A0860100"});
  TBasicTalkService& talk = MakeDevice("Drive1");
  std::vector<std::string> recorder, messages;
  TTalkListener recorderListener(0x87, [&](const std::string& frame, uint32_t user) {
    EXPECT_EQ(user, 7u);
    recorder.push_back(frame);
  }, 7);
  TTalkListener messageListener(0x04, [&](const std::string& frame, uint32_t) { messages.push_back(frame); });
  recorderListener.Attach(talk);
  messageListener.Attach(talk);
  ExpectError([&] { talk.AddListener(recorderListener); }, "TTalkService.AddListener: listener already in list");
  StartDevice(talk);
  ASSERT_EQ(talk.State(), ssStarted) << talk.ErrorText();
  ASSERT_TRUE(loop.RunUntil([&] { return recorder.size() >= 2; }, kEventually));
  EXPECT_EQ(recorder[0], ByteString({0x87, 0x03, 0xA0, 0x86, 0x01, 0x00}));
  EXPECT_TRUE(messages.empty());
  recorderListener.Detach();
  ExpectError([&] { talk.RemoveListener(recorderListener); }, "TTalkService.RemoveListener: listener not in list");
  const size_t seen = recorder.size();
  loop.RunUntil([] { return false; }, 300);
  EXPECT_EQ(recorder.size(), seen);
}

TEST_F(TalkServiceEndToEnd, AMissingAnswerIsB2AndTheNextRequestGoesThrough) {
  // Answer 1 is the login's; every second answer after it is dropped.
  StartDrive({"--drop-every", "2"});
  TBasicTalkService& talk = MakeDevice("Drive1");
  StartDevice(talk);
  ASSERT_EQ(talk.State(), ssStarted) << talk.ErrorText();
  TTalkActor* actor = talkClient->GetActor();
  talk.Commands.WriteMemory.AddRequest(*actor, 0, 0x200, 0x5555);  // answer 2: dropped
  talk.Commands.ReadMemory.AddRequest(*actor, 0, 0x200);           // answer 3
  Run(*actor);
  EXPECT_EQ(actor->GetStatus(), kTalkTimeout);
  actor->Next();
  EXPECT_EQ(actor->GetStatus(), 0);
  // The write was carried out; only its answer went missing.
  EXPECT_EQ(talk.Commands.ReadMemory.GetValue(*actor), 0x5555u);
  talkClient->ReturnActor(actor);
}

TEST_F(TalkServiceEndToEnd, TheFinalAnswerFollowsAnInProgressAnswer) {
  StartDrive({"--busy-delay", "400"});
  TBasicTalkService& talk = MakeDevice("Drive1");
  StartDevice(talk);
  ASSERT_EQ(talk.State(), ssStarted) << talk.ErrorText();
  TTalkActor* actor = talkClient->GetActor();
  talk.Commands.WriteFlash.AddRequest(*actor, 0, 0x820000, 0x1234);
  talk.Commands.ReadMemory.AddRequest(*actor, 0, 0x820000);
  Run(*actor);
  EXPECT_EQ(actor->GetStatus(), 0);
  actor->Next();
  EXPECT_EQ(actor->GetStatus(), 0);
  EXPECT_EQ(talk.Commands.ReadMemory.GetValue(*actor), 0x1234u);
  talkClient->ReturnActor(actor);
}

TEST_F(TalkServiceEndToEnd, ASecondDeviceOnTheSamePortFindsItOccupied) {
  StartDrive({});
  TBasicTalkService& first = MakeDevice("Drive1");
  TBasicTalkService& second = MakeDevice("Drive2");
  StartDevice(first);
  ASSERT_EQ(first.State(), ssStarted) << first.ErrorText();
  StartDevice(second);
  EXPECT_EQ(second.State(), ssError);
  EXPECT_EQ(second.ErrorText(), "TalkServer: port COM1 is occupied");
  EXPECT_EQ(ui.Boxes, std::vector<std::string>{"TalkServer: port COM1 is occupied"});
  EXPECT_NE(std::find(log.Lines.begin(), log.Lines.end(), "***ERROR: TalkServer: port COM1 is occupied"), log.Lines.end());
  // The first goes on working.
  EXPECT_EQ(ReadWord(first, 0x0), 0u);
}

}  // namespace
}  // namespace tolvek::testing
