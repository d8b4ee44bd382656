// The Talk service's login walk against a stand-in for the Talk server: the test reads each
// control command and login request and answers it by hand, so failures the real server and
// drive rarely produce can be played.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/program_registry.h"
#include "comm/talk_service.h"
#include "devices/device.h"
#include "devices/device_manager.h"
#include "platform/debug_log.h"
#include "platform/user_interface.h"
#include "script/object_text.h"
#include "talk_test_support.h"

namespace tolvek::testing {
namespace {

class TLines : public TDebugLog {
public:
  void Subscribe(int, TDebugSubscription, const void*) override {}
  void Unsubscribe(const void*) override {}
  void EnableChannel(int) override {}
  bool ChannelEnabled(int) const override { return false; }
  void Output(int, uint16_t, const std::string& text) override { Lines.push_back(text); }
  std::vector<std::string> Lines;
};

class TBoxes : public THeadlessUserInterface {
public:
  TMsgDlgButton MessageBox(const std::string& text, TMsgDlgType, unsigned, TMsgDlgButton defaultButton) override {
    Boxes.push_back(text);
    return defaultButton;
  }
  std::vector<std::string> Boxes;
};

class TalkServiceTest : public TMainSchedulerFixture {
protected:
  TalkServiceTest() {
    SetDebugLog(&log);
    SetUserInterface(&ui);
    requests.LogOn();
    control.LogOn();
    configuration.SetKey("Devices", StrToObj("[D /Profiles [D /Drive [D /DeviceType 'Online' /Services [A ] ] ] ]").Get());
    devices = std::make_unique<TDeviceManager>(configuration);
    devices->RegisterDeviceService("TalkService", DeviceServiceClass<TBasicTalkService>());
    TDevice& device = devices->CreateDevice("Drive1", "Drive");
    device.SetDeviceVar("PortName", "COM7:0");
    talk = &dynamic_cast<TBasicTalkService&>(
        device.CreateService("TalkService", CastObj<TSLDictionary>(profile.Get())));
    talk->RequestNode = requests.Node()->Number();
    talk->ControlNode = control.Node()->Number();
  }
  ~TalkServiceTest() override {
    devices.reset();
    SetUserInterface(nullptr);
    SetDebugLog(nullptr);
  }

  // The next message at `queue`, its body in readable form (TAB as ",", CR as "|").
  std::string Take(TMxQueue& queue, TMxMessage*& message) {
    message = nullptr;
    EXPECT_TRUE(RunUntil([&] { return (message = queue.GetMessage()) != nullptr; }));
    if (!message) return "<none>";
    std::string body = message->AsString();
    for (char& c : body) c = c == '\t' ? ',' : c == '\r' ? '|' : c;
    return body;
  }
  void Reply(TMxQueue& queue, TMxMessage* request, std::string body) {
    for (char& c : body) c = c == ',' ? '\t' : c == '|' ? '\r' : c;
    TMxMessage* reply = NewMessage();
    SetReplyTo(*reply, *request);
    FreeMessage(request);
    reply->SetString(body);
    queue.SendMessage(reply);
  }
  void Start() {
    bool wait = false;
    talk->Start(wait);
    EXPECT_TRUE(wait);
    EXPECT_EQ(talk->State(), ssStarting);
  }

  TLines log;
  TBoxes ui;
  TMxQueue requests, control;
  TRef<TSLObject> profile = StrToObj("[D /Name 'TalkService' ]");
  TProgramRegistry configuration;
  std::unique_ptr<TDeviceManager> devices;
  TBasicTalkService* talk = nullptr;
};

TEST_F(TalkServiceTest, LogsInWithTheLoginAnswerAndClosesOnStop) {
  Start();
  TMxMessage* m;
  EXPECT_EQ(Take(control, m), "OpenDevice,COM7:0,5");
  EXPECT_EQ(m->Kind, 1);
  Reply(control, m, "OpenDevice,OK,12");
  EXPECT_EQ(Take(requests, m), "FF,C,1,1");
  EXPECT_EQ(m->Kind, 3);
  Reply(requests, m, "FF,0,23,1,0,20,4,2,1,FA,0,1,2,0,0,0,0,0,0,0,0,80,51,56,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
  ASSERT_TRUE(RunUntil([&] { return talk->State() == ssStarted; }));
  EXPECT_EQ(talk->DeviceNumber, 12u);
  EXPECT_EQ(talk->Link.AddressWidth, 4);
  EXPECT_EQ(talk->Link.DataWidth, 2);
  EXPECT_EQ(talk->Link.AddressStep, 1);
  EXPECT_EQ(talk->Link.MaxFrameLength, 250);
  EXPECT_EQ(talk->Link.DeviceType(), 2);
  EXPECT_EQ(talk->Link.FlashBase, 0x80000000u);
  EXPECT_EQ(talk->Link.DeviceName(), "QV");
  EXPECT_EQ(talk->Commands.ReadBlock.GetMaxSize(), 248u);

  bool wait = false;
  talk->Stop(wait);
  EXPECT_TRUE(wait);
  EXPECT_EQ(Take(control, m), "CloseDevice,C");
  EXPECT_EQ(m->Kind, 2);
  Reply(control, m, "CloseDevice,OK");
  ASSERT_TRUE(RunUntil([&] { return talk->State() == ssStopped; }));
  EXPECT_FALSE(talk->Online);
  EXPECT_TRUE(ui.Boxes.empty());
  ExpectError([&] { talk->Kill(); }, "kill not implemented");
}

TEST_F(TalkServiceTest, ALoginFailureIsReportedAndTheDeviceClosed) {
  Start();
  TMxMessage* m;
  Take(control, m);
  Reply(control, m, "OpenDevice,OK,0");
  Take(requests, m);
  Reply(requests, m, "FF,91");
  ASSERT_TRUE(RunUntil([&] { return talk->State() == ssError; }));
  EXPECT_EQ(talk->ErrorText(), "Device login error: 91");
  EXPECT_EQ(ui.Boxes, std::vector<std::string>{"Device login error: 91"});
  EXPECT_EQ(log.Lines, (std::vector<std::string>{"***INFO: Error in TalkService.Work", "***ERROR: Device login error: 91"}));
  // The opened device is closed again, and the service ends "Stopped".
  EXPECT_EQ(Take(control, m), "CloseDevice,0");
  Reply(control, m, "CloseDevice,OK");
  ASSERT_TRUE(RunUntil([&] { return talk->State() == ssStopped; }));
}

TEST_F(TalkServiceTest, ALoginAnswerCutShortIsAFailure) {
  Start();
  TMxMessage* m;
  Take(control, m);
  Reply(control, m, "OpenDevice,OK,0");
  Take(requests, m);
  Reply(requests, m, "FF,0,4,1,0,20,3");
  ASSERT_TRUE(RunUntil([&] { return talk->State() == ssError; }));
  EXPECT_EQ(talk->ErrorText(), "Device login error: BE");
  EXPECT_FALSE(talk->Online);
  Take(control, m);
  Reply(control, m, "CloseDevice,OK");
  ASSERT_TRUE(RunUntil([&] { return talk->State() == ssStopped; }));
}

TEST_F(TalkServiceTest, AFailedOpenEndsInErrorWithoutAClose) {
  Start();
  TMxMessage* m;
  Take(control, m);
  Reply(control, m, "OpenDevice,ERROR,TalkServer: port COM7:0 is unknown");
  ASSERT_TRUE(RunUntil([&] { return talk->State() == ssError; }));
  EXPECT_EQ(ui.Boxes, std::vector<std::string>{"TalkServer: port COM7:0 is unknown"});
  RunReady();
  EXPECT_EQ(control.Count(), 0u);
  // From "Error" the service can be stopped, and then started again.
  bool wait = false;
  talk->Stop(wait);
  ASSERT_TRUE(RunUntil([&] { return talk->State() == ssStopped; }));
  Start();
  EXPECT_EQ(Take(control, m), "OpenDevice,COM7:0,5");
  FreeMessage(m);
}

TEST_F(TalkServiceTest, AFailedCloseIsNotRepeatedForEver) {
  Start();
  TMxMessage* m;
  Take(control, m);
  Reply(control, m, "OpenDevice,OK,3");
  Take(requests, m);
  Reply(requests, m, "FF,B2");
  ASSERT_TRUE(RunUntil([&] { return talk->State() == ssError; }));
  Take(control, m);
  Reply(control, m, "CloseDevice,ERROR,TalkServer.CloseDevice: device doesn't exist");
  ASSERT_TRUE(RunUntil([&] { return ui.Boxes.size() == 2; }));
  RunReady();
  EXPECT_EQ(talk->State(), ssError);
  EXPECT_EQ(control.Count(), 0u);
  EXPECT_EQ(talk->LoginState(), TTalkService::lsIdle);
}

TEST_F(TalkServiceTest, LoginDataIsTakenWithoutALoginRequest) {
  talk->Device().SetDeviceVar("LoginData", "0302020X");
  talk->Init();
  talk->RequestNode = requests.Node()->Number();
  talk->ControlNode = control.Node()->Number();
  Start();
  TMxMessage* m;
  Take(control, m);
  Reply(control, m, "OpenDevice,OK,0");
  ASSERT_TRUE(RunUntil([&] { return talk->State() == ssError; }));
  EXPECT_EQ(talk->ErrorText(), "TBasicTalkService: invalid LoginData '0302020X'");
  EXPECT_EQ(requests.Count(), 0u);
  Take(control, m);
  FreeMessage(m);
}

}  // namespace
}  // namespace tolvek::testing
