// The assembled system: the RS baud rate rule, the ten port drivers, the pattern classes in
// the order that fixes their ids, the service classes device profiles may name, and a device
// logged in through the TP1 link of a simulated drive.
#include "app/system_assembly.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>

#include "app/program_registry.h"
#include "comm/block_reader.h"
#include "comm/block_writer.h"
#include "comm/rs_driver.h"
#include "comm/talk_client.h"
#include "comm/talk_server.h"
#include "comm/talk_service.h"
#include "comm/tp1_driver.h"
#include "devices/device_manager.h"
#include "devices/unit_manager.h"
#include "../support/drivesim_process.h"
#include "kernel/message.h"
#include "kernel/queue.h"
#include "kernel/scheduler.h"
#include "platform/debug_log.h"
#include "platform/error.h"
#include "platform/user_interface.h"
#include "script/object_text.h"

namespace tolvek {
namespace {

constexpr const char* kDevices = R"(
[D
  /Profiles [D
    /OldDrive [D
      /DeviceType 'Online'
      /DevVars [D /PortName 'OTP1' ]
      /Services [A [D /Name 'TalkService' /Profile 'Devices\ServiceProfiles\Talk' ] ]
    ]
    /Plain [D /DeviceType 'Online' ]
  ]
  /ServiceProfiles [D
    /Talk [D /Name 'TalkService' ]
    /Unregistered [D /Name 'NoSuchService' ]
  ]
]
)";

TCommandLine CommandLine(const std::vector<std::string>& args) { return ParseCommandLine(args, UserInterface()); }

// The message of the exception `action` raises, or "<no failure>".
std::string Failure(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "<no failure>";
}

TEST(RsBaudRate, ConfigurationWinsOverTheSwitchWhichWinsOverTheDefault) {
  struct Case {
    std::vector<std::string> args;
    const char* communication;
    uint32_t baudRate;
  } cases[] = {
      {{}, "[D ]", 38400},
      {{"-TP2BAUD:19200"}, "[D ]", 19200},
      {{"-TP2BAUD:19200"}, "[D /TP2BAUD 57600 ]", 57600},
      {{}, "[D /tp2baud 57600 ]", 57600},
      {{"CLIENT", "-tp2baud:115200"}, "[D /Other 1 ]", 115200},
  };
  for (const Case& c : cases) {
    TProgramRegistry configuration;
    configuration.SetKey("COMMUNICATION", StrToObj(c.communication).Get());
    EXPECT_EQ(RsBaudRate(CommandLine(c.args), configuration), c.baudRate) << c.communication;
  }
}

TEST(RsBaudRate, BadSwitchAndMissingSectionFail) {
  TProgramRegistry configuration;
  configuration.SetKey("COMMUNICATION", StrToObj("[D /TP2BAUD 57600 ]").Get());
  // The switch is converted even when the configuration would replace it.
  EXPECT_EQ(Failure([&] { RsBaudRate(CommandLine({"-TP2BAUD:fast"}), configuration); }),
            "'fast' is not a valid integer value");
  TProgramRegistry empty;
  EXPECT_EQ(Failure([&] { RsBaudRate(CommandLine({}), empty); }),
            "TSLDictionary error: no object named COMMUNICATION");
}

class SystemAssemblyTest : public ::testing::Test {
protected:
  SystemAssemblyTest() {
    configuration.SetKey("COMMUNICATION", StrToObj("[D /TP2BAUD 57600 ]").Get());
    configuration.SetKey("Devices", StrToObj(kDevices).Get());
  }
  ~SystemAssemblyTest() override {
    if (client.Node()) client.LogOff();
    while (TMxMessage* m = client.GetMessage()) FreeMessage(m);
    assembly.reset();
    ::unsetenv("TOLVEK_PORT_COM1");
  }

  void Assemble(const std::vector<std::string>& args) {
    assembly = std::make_unique<TSystemAssembly>(CommandLine(args), configuration);
    client.LogOn();
  }

  // Runs main scheduler slices until `done` or the time-out.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs = 60000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      if (!scheduler.Step()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  std::string Control(const std::string& body) {
    TMxMessage* message = NewMessage();
    message->SetString(body);
    message->SetReceiver(1, 0, 0x33);
    client.SendMessage(message);
    std::string answer = "<nothing>";
    RunUntil([&] {
      TMxMessage* reply = client.GetMessage();
      if (!reply) return false;
      answer = reply->AsString();
      FreeMessage(reply);
      return true;
    });
    return answer;
  }

  TMxScheduler scheduler;
  TProgramRegistry configuration;
  std::unique_ptr<TSystemAssembly> assembly;
  TMxQueue client;
};

TEST_F(SystemAssemblyTest, TalkServerGetsTheTenPortDriversInOrder) {
  Assemble({"server"});
  EXPECT_EQ(assembly->Mode(), TProgramMode::pmServer);
  EXPECT_EQ(assembly->BaudRate(), 57600u);
  EXPECT_EQ(assembly->TalkServer().RequestQueue().Node()->Number(), 0);
  EXPECT_EQ(assembly->TalkServer().ControlQueue().Node()->Number(), 1);
  struct Port {
    const char* name;
    const char* driverClass;
    uint32_t baudRate;
    const char* line;
  } expected[] = {
      {"COM1", "TRsDriver", 57600, "COM1"},  {"COM2", "TRsDriver", 57600, "COM2"},
      {"COM3", "TRsDriver", 57600, "COM3"},  {"COM4", "TRsDriver", 57600, "COM4"},
      {"COM5", "TRsDriver", 57600, "COM5"},  {"COM6", "TRsDriver", 57600, "COM6"},
      {"COM7", "TRsDriver", 57600, "COM7"},  {"COM8", "TRsDriver", 57600, "COM8"},
      {"OTP1", "TTp1Driver", 9600, "COM1"},  {"OTP2", "TTp1Driver", 9600, "COM2"},
  };
  const auto& drivers = assembly->PortDrivers();
  ASSERT_EQ(drivers.size(), std::size(expected));
  EXPECT_EQ(assembly->TalkServer().PortCount(), 10);
  for (size_t i = 0; i < drivers.size(); ++i) {
    const auto& [name, driver] = drivers[i];
    EXPECT_EQ(name, expected[i].name);
    EXPECT_STREQ(driver->ClassName(), expected[i].driverClass) << name;
    EXPECT_EQ(driver->BaudRate(), expected[i].baudRate) << name;
    EXPECT_EQ(driver->SlotCount(), 1) << name;
    EXPECT_FALSE(driver->IsOpen()) << name;
    if (auto* rs = dynamic_cast<TRsDriver*>(driver)) {
      EXPECT_EQ(rs->PortName(), expected[i].line);
    }
    if (auto* tp1 = dynamic_cast<TTp1Driver*>(driver)) {
      EXPECT_EQ(tp1->PortName(), expected[i].line);
    }
  }
  // A device port outside the ten is refused by the server.
  EXPECT_EQ(Control("OpenDevice\tCOM9\t5"), "OpenDevice\tERROR\tTalkServer: port COM9 is unknown");
}

TEST_F(SystemAssemblyTest, PatternClassesGetTheirIdsInOrder) {
  Assemble({});
  EXPECT_EQ(assembly->Mode(), TProgramMode::pmNormal);
  const char* names[] = {"TLoginPattern",     "TGetWordPattern",   "TSetWordPattern",  "TGetBlockPattern",
                         "TSetBlockPattern",  "TSimplePattern",    "TAddrActionPattern", "TGetStringPattern",
                         "TSetStringPattern", "TCustomPattern",    "TFindInfoPattern", "TGetStatusPattern",
                         "TSetBitPattern",    "TInstancePattern",  "TCopyBlockPattern"};
  ASSERT_EQ(assembly->TalkClient().PatternCount(), std::size(names));
  for (uint32_t id = 1; id <= std::size(names); ++id) {
    TTalkPatternClass& patternClass = assembly->TalkClient().GetTalkPattern(id);
    EXPECT_STREQ(patternClass.Name, names[id - 1]);
    EXPECT_EQ(patternClass.Id, id);
  }
}

TEST_F(SystemAssemblyTest, DeviceProfilesMayNameOnlyRegisteredServices) {
  Assemble({});
  TDeviceManager& devices = assembly->DeviceManager();
  for (const char* name : {"ModuleService", "talkservice", "StatusService", "UnitService", "DriveService"})
    EXPECT_NO_THROW(devices.GetServiceClass(name)) << name;
  EXPECT_EQ(TUnitManager::Current(), &assembly->UnitManager());
  TDevice& device = devices.CreateDevice("BOX1", "Plain");
  EXPECT_EQ(Failure([&] {
              device.CreateService("Broken", configuration.GetDirKey("Devices\\ServiceProfiles\\Unregistered"));
            }),
            "TDeviceManager.GetServiceClass: a service with name 'NoSuchService' ist not registered");
  EXPECT_FALSE(device.HasService("Broken"));
}

TEST_F(SystemAssemblyTest, MissingSectionsEndTheAssemblyAtTheirStep) {
  TProgramRegistry noCommunication;
  noCommunication.SetKey("Devices", StrToObj(kDevices).Get());
  EXPECT_EQ(Failure([&] { TSystemAssembly(CommandLine({}), noCommunication); }),
            "TSLDictionary error: no object named COMMUNICATION");
  TProgramRegistry noDevices;
  noDevices.SetKey("COMMUNICATION", StrToObj("[D ]").Get());
  EXPECT_EQ(Failure([&] { TSystemAssembly(CommandLine({}), noDevices); }),
            "TSLDictionary error: no object named Devices");
  // What the failed assemblies made is gone again: the next one gets the first two nodes.
  Assemble({});
  EXPECT_EQ(assembly->TalkServer().RequestQueue().Node()->Number(), 0);
  EXPECT_EQ(assembly->TalkServer().ControlQueue().Node()->Number(), 1);
}

TEST_F(SystemAssemblyTest, OldDriveLogsInThroughTp1AndIsReadInBlocks) {
  tolvek::testing::TSimProcess sim({"--link", "tp1", "--tp1-chunk-limit", "16"}, true);
  ::setenv("TOLVEK_PORT_COM1", sim.Device().c_str(), 1);
  Assemble({});
  assembly->TalkServer().SetAnswerTimeouts(10000, 25000);
  TDevice& device = assembly->DeviceManager().CreateDevice("BOX1", "OldDrive");
  device.CreateServices();
  ASSERT_TRUE(device.HasService("TalkService"));
  auto& talk = dynamic_cast<TBasicTalkService&>(device.GetService("TalkService"));
  bool started = false;
  device.StartupServices([&](TDevice&) { started = true; });
  ASSERT_TRUE(RunUntil([&] { return started; }));
  ASSERT_EQ(device.DeviceState(), dsStarted);
  ASSERT_EQ(talk.State(), ssStarted);
  EXPECT_EQ(talk.Link.DeviceName(), "TALK 1.0 GateWay");
  EXPECT_EQ(talk.Link.AddressWidth, 3);
  EXPECT_EQ(talk.Link.DataWidth, 2);
  EXPECT_EQ(talk.Link.AddressStep, 2);

  std::string data;
  for (int i = 0; i < 300; ++i) data += static_cast<char>(i * 7);
  TBlockWriter writer(assembly->TalkClient());
  int written = 0;
  writer.OnDone = [&](TBlockWriter&) { ++written; };
  writer.Put(talk, 0x002000, 0);
  writer.PutData(data);
  writer.Execute();
  ASSERT_TRUE(RunUntil([&] { return written == 1; }));
  ASSERT_EQ(writer.Result(), 0);

  TBlockReader reader(assembly->TalkClient());
  int read = 0;
  reader.OnDone = [&](TBlockReader&) { ++read; };
  reader.Put(talk, 0x002000, 300);
  reader.Execute();
  ASSERT_TRUE(RunUntil([&] { return read == 1; }));
  ASSERT_EQ(reader.Result(), 0);
  EXPECT_EQ(reader.ReadBytes(300), data);

  bool stopped = false;
  device.ShutDownServices([&](TDevice&) { stopped = true; });
  EXPECT_TRUE(RunUntil([&] { return stopped; }));
}

}  // namespace
}  // namespace tolvek
