// The module, status, unit and drive services end to end: a device logged in to the simulated
// drive over the RS link finds its modules, loads their tree files, watches and changes the
// state of the drive's firmware, and refuses a drive it cannot describe.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../support/drivesim_process.h"
#include "comm/rs_driver.h"
#include "comm/service_client.h"
#include "comm/talk_server.h"
#include "comm/talk_service.h"
#include "devices/configuration_file.h"
#include "devices/drive_service.h"
#include "devices/module_service.h"
#include "devices/status_service.h"
#include "devices/unit_manager.h"
#include "devices/unit_service.h"
#include "services_fixture.h"

namespace tolvek::testing {
namespace {

constexpr const char* kDriveDevices = R"([D
  /Profiles [D /Drive [D /DeviceType 'Online' /Services [A
    [D /Name 'StatusService' /Profile 'Devices\ServiceProfiles\Status' ]
    [D /Name 'TalkService' /Profile 'Devices\ServiceProfiles\Talk' ]
    [D /Name 'ModuleService' /Profile 'Devices\ServiceProfiles\Modules' ]
    [D /Name 'UnitService' /Profile 'Devices\ServiceProfiles\Units' ]
    [D /Name 'DriveService' /Profile 'Devices\ServiceProfiles\Drive' ]
  ] ] ]
  /ServiceProfiles [D
    /Talk [D /Name 'TalkService' ] /Modules [D /Name 'ModuleService' ] /Status [D /Name 'StatusService' ]
    /Units [D /Name 'UnitService' ] /Drive [D /Name 'DriveService' ]
  ]
])";

class DriveEndToEnd : public ServicesFixture {
protected:
  ~DriveEndToEnd() override {
    devices.reset();
    server.reset();
    sim.reset();
    ::unsetenv("TOLVEK_PORT_COM1");
  }

  // The simulated drive with `options`, the Talk server with COM1 on it, the demo tree files in
  // the scratch installation, and a device of all five services (not started).
  TDevice& Connect(std::vector<std::string> options = {}) {
    std::filesystem::create_directories(Root() + "ParTrees");
    for (const auto& entry : std::filesystem::directory_iterator(SourceInstallDir() + "ParTrees"))
      std::filesystem::copy_file(entry.path(), Root() + "ParTrees/" + entry.path().filename().string());
    sim = std::make_unique<TSimProcess>(options);
    ::setenv("TOLVEK_PORT_COM1", sim->Device().c_str(), 1);
    server = std::make_unique<TTalkServer>();
    EXPECT_TRUE(server->RegisterPort("COM1", std::make_unique<TRsDriver>(1, 115200)));
    MakeDevices(kDriveDevices);
    devices->RegisterDeviceService("TalkService", DeviceServiceClass<TBasicTalkService>());
    devices->RegisterDeviceService("ModuleService", [this](TDevice& device, TSLDictionary* profile) {
      return std::make_unique<TModuleService>(device, profile, talkClient);
    });
    devices->RegisterDeviceService("StatusService", [this](TDevice& device, TSLDictionary* profile) {
      return std::make_unique<TStatusService>(device, profile, talkClient);
    });
    devices->RegisterDeviceService("UnitService", DeviceServiceClass<TUnitService>());
    devices->RegisterDeviceService("DriveService", DeviceServiceClass<TDriveService>());
    TDevice& device = devices->CreateDevice("Drive1", "Drive");
    device.SetDeviceVar("PortName", "COM1");
    device.CreateServices();
    auto& talk = Service<TBasicTalkService>(device, "TalkService");
    talk.RequestNode = server->RequestQueue().Node()->Number();
    talk.ControlNode = server->ControlQueue().Node()->Number();
    return device;
  }

  template <class T>
  static T& Service(TDevice& device, const char* name) {
    return dynamic_cast<T&>(device.GetService(name));
  }

  // A drive description with the given firmware line and modules, written to the scratch dir.
  std::string Description(const std::string& firmware, const std::string& modules) {
    WriteFile("drive.stx", "[D /Name 'TEST DRIVE' " + firmware + " /Modules [A " + modules + " ] ]");
    return Root() + "drive.stx";
  }

  std::unique_ptr<TSimProcess> sim;
  std::unique_ptr<TTalkServer> server;
};

TEST_F(DriveEndToEnd, DemoDriveIsKnownWatchedStartedAndStopped) {
  TDevice& device = Connect();
  StartDevice(device);
  ASSERT_EQ(device.DeviceState(), dsStarted) << ::testing::PrintToString(log.Lines);
  auto& modules = Service<TModuleService>(device, "ModuleService");
  auto& status = Service<TStatusService>(device, "StatusService");
  auto& drive = Service<TDriveService>(device, "DriveService");
  auto& units = Service<TUnitService>(device, "UnitService");
  for (const char* name : {"ModuleService", "StatusService", "DriveService", "UnitService"})
    EXPECT_EQ(device.GetService(name).State(), ssStarted) << name;

  ASSERT_EQ(modules.ModuleCount(), 3);
  const char* names[] = {"QVDRIVE_CONTROL_V3S1", "QVMOTION_CURVES_V2S0", "QVSCOPE_RECORDER_V1S4_DEMO"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(modules.ModuleAt(i).Name, names[i]);
    ASSERT_TRUE(modules.ModuleAt(i).Data);
    EXPECT_EQ(modules.ModuleAt(i).Data->GetStrWithName("ModuleName"), names[i]);
    units.AddDeviceUnits(*modules.ModuleAt(i).Data);
  }
  EXPECT_EQ(modules.ModuleAt(2).NodeExtra, "DEMO");
  EXPECT_EQ(modules.ModuleAt(0).Version, 3);
  EXPECT_EQ(modules.ModuleAt(0).Subversion, 1);
  EXPECT_EQ(modules.GetServiceInfo("ProgramStartAddr"), "8392704");  // flash base + 0x1000

  // Ports and motors gather over the modules, in module order.
  ASSERT_EQ(drive.PortCount(), 4);
  EXPECT_EQ(drive.PortAt(3).Name, "REC");
  EXPECT_EQ(drive.PortAt(3).ID, 10);
  EXPECT_EQ(drive.MotorCount(), 2);
  EXPECT_EQ(drive.FindMotor("qlm2")->Caption, "Linear motor QLM 20");
  EXPECT_EQ(drive.FindDeviceUnitName("CURVE", "Time"), "CurveTime");
  EXPECT_EQ(drive.FindDeviceUnitContainer("QLM1", "Speed"), "Units");
  EXPECT_EQ(drive.FindDeviceUnitName("QLM1", "speed"), "");
  EXPECT_EQ(drive.FindDeviceUnitName("NONE", "Speed"), "");
  EXPECT_EQ(units.FindDeviceUnit(5)->FormatRaw(usEnglish, 250), "250");
  EXPECT_EQ(units.FindDeviceUnit(5)->FormatRaw(usImperial, 250), "77");

  // Watching clients hear of each change of the status word.
  TServiceClient watcher;
  int updates = 0;
  watcher.OnUpdate = [&](TServiceClient&) { ++updates; };
  watcher.Connect(status.Provider());
  ASSERT_TRUE(RunUntil([&] { return status.IsReady() && updates > 0; }));
  EXPECT_FALSE(status.IsProgramRunning());
  const int readyUpdates = updates;
  status.RequestStart();
  ASSERT_TRUE(RunUntil([&] { return status.IsProgramRunning(); }));
  ASSERT_TRUE(RunUntil([&] { return updates > readyUpdates; }));
  EXPECT_FALSE(status.StartRequested());
  status.RequestStop();
  ASSERT_TRUE(RunUntil([&] { return !status.IsProgramRunning(); }));
  EXPECT_TRUE(status.IsReady());

  // A stop that replaces a start not yet sent: the program never runs.
  status.RequestStart();
  status.RequestStop();
  EXPECT_FALSE(status.StartRequested());
  ASSERT_TRUE(RunUntil([&] { return !status.StopRequested(); }));
  ASSERT_TRUE(RunUntil([&] { return status.ErrorCount() == 0 && status.RequestState() == TStatusService::rsIdle; }));
  EXPECT_FALSE(status.IsProgramRunning());

  StopDevice(device);
  EXPECT_EQ(status.State(), ssStopped);
  EXPECT_EQ(modules.State(), ssStopped);
  EXPECT_EQ(drive.State(), ssStopped);
}

TEST_F(DriveEndToEnd, SetupRunsTheInstallationScriptWithDeviceAndFile) {
  TDevice& device = Connect();
  std::filesystem::create_directories(Root() + "PackInst");
  std::filesystem::copy_file(std::string(TOLVEK_TEST_DATA_DIR) + "/Load.sct", Root() + "PackInst/Load.sct");
  StartDevice(device);
  auto& status = Service<TStatusService>(device, "StatusService");
  ASSERT_EQ(status.State(), ssStarted);
  ExpectError([&] { status.RequestSetup("firmware.bin", false); }, "TStatusService.Setup: unknown file extension .BIN");
  EXPECT_FALSE(status.SetupRequested());
  status.RequestSetup("firmware.H86", false);
  ASSERT_TRUE(RunUntil([&] { return log.Has("***INFO: setup Drive1 firmware.H86"); }));
  ASSERT_TRUE(RunUntil([&] { return !status.SetupRequested(); }));
  // Polling goes on after the script.
  ASSERT_TRUE(RunUntil([&] { return status.IsReady(); }));
  for (const char* name : {"a.gr2", "b.Hx2"}) status.RequestSetup(name, false);
  ASSERT_TRUE(RunUntil([&] { return log.Has("***INFO: setup Drive1 b.Hx2"); }));
  StopDevice(device);
}

TEST_F(DriveEndToEnd, DriveWithoutExecutableFirmwareRefusesStart) {
  TDevice& device = Connect({"--drive", Description("", "[D /Name 'QVDRIVE' /SubName 'CONTROL' /Version 3 /SubVersion 1 ]")});
  StartDevice(device);
  auto& status = Service<TStatusService>(device, "StatusService");
  auto& modules = Service<TModuleService>(device, "ModuleService");
  ASSERT_EQ(modules.State(), ssStarted);
  EXPECT_EQ(modules.ModuleCount(), 1);
  EXPECT_EQ(modules.GetServiceInfo("ProgramStartAddr"), "");
  ASSERT_TRUE(RunUntil([&] { return status.IsReady(); }));
  status.RequestStart();
  ASSERT_TRUE(RunUntil([&] { return log.Has("***WARNING: No executable firmware found"); }));
  EXPECT_FALSE(status.StartRequested());
  EXPECT_FALSE(status.IsProgramRunning());

  // Without the set-up script the set-up is dropped and polling goes on.
  status.RequestSetup("firmware.h86", false);
  ASSERT_TRUE(RunUntil([&] { return !status.SetupRequested(); }));
  bool reported = false;
  for (const std::string& line : log.Lines)
    reported |= line.rfind("***ERROR: ", 0) == 0 && line.find("Load.sct") != std::string::npos;
  EXPECT_TRUE(reported) << ::testing::PrintToString(log.Lines);
  const int before = static_cast<int>(log.Lines.size());
  status.RequestReset();
  ASSERT_TRUE(RunUntil([&] { return !status.ResetRequested(); }));
  ASSERT_TRUE(RunUntil([&] { return status.IsReady() && status.ErrorCount() == 0; }));
  EXPECT_EQ(static_cast<int>(log.Lines.size()), before);
  StopDevice(device);
}

TEST_F(DriveEndToEnd, MissingTreeFilesAreListedTogetherAndTheDeviceFails) {
  TDevice& device = Connect({"--drive", Description("/Firmware [D /Name 'FW' /Version 1 /SubVersion 0 /StartOffset $100 ]",
                                                    "[D /Name 'MODA' /SubName 'ONE' /Version 1 /SubVersion 0 ] "
                                                    "[D /Name 'QVDRIVE' /SubName 'CONTROL' /Version 3 /SubVersion 1 ] "
                                                    "[D /Name 'MODB' /SubName 'TWO' /Version 2 /SubVersion 5 /Extra 'X' ]")});
  StartDevice(device);
  auto& modules = Service<TModuleService>(device, "ModuleService");
  EXPECT_EQ(modules.State(), ssError);
  EXPECT_EQ(device.DeviceState(), dsError);
  ASSERT_EQ(ui.Boxes.size(), 1u);
  EXPECT_EQ(ui.Boxes[0], "Parameter tree files not found: MODA_ONE_V1S0.IN2, MODB_TWO_V2S5_X.IN2");
}

TEST_F(DriveEndToEnd, ADriveThatStopsAnsweringLosesItsStatusAtTheThirdFailedPoll) {
  TDevice& device = Connect();
  StartDevice(device);
  auto& status = Service<TStatusService>(device, "StatusService");
  ASSERT_TRUE(RunUntil([&] { return status.IsReady(); }));
  const uint32_t word = status.StatusWord();
  sim->Stop();
  ASSERT_TRUE(RunUntil([&] { return status.ErrorCount() >= 1; }, 60000));
  ASSERT_TRUE(RunUntil([&] { return status.ErrorCount() >= 2; }, 60000));
  EXPECT_EQ(status.StatusWord(), word);
  ASSERT_TRUE(RunUntil([&] { return status.ErrorCount() >= 3; }, 60000));
  EXPECT_EQ(status.StatusWord(), 0u);
  EXPECT_FALSE(status.IsReady());
}

// A data interface of the parameters type, and one for curves, each carrying one value.
class TTypedInterface : public TDataInterface {
public:
  explicit TTypedInterface(const std::string& type) : TDataInterface(type), type_(type) {}
  int TypeCount() override { return 1; }
  std::string TypeName(int) override { return type_; }
  int ItemCount() override { return 0; }
  void InitItem(int, TDataItem&) override {}
  void ExecuteOperation(TDataOperation& operation) override {
    if (operation.Code == doWrite) Written.push_back(operation.Item->Data().GetInt64WithName("Value"));
  }
  std::vector<int64_t> Written;

private:
  std::string type_;
};

TEST_F(DriveEndToEnd, ParametersAreNotImportedWhileTheFirmwareRuns) {
  TDevice& device = Connect({"--running"});
  StartDevice(device);
  auto& status = Service<TStatusService>(device, "StatusService");
  auto& modules = Service<TModuleService>(device, "ModuleService");
  ASSERT_TRUE(RunUntil([&] { return status.IsProgramRunning(); }));
  TTypedInterface parameters("Parameters"), curves("Curve");
  modules.RegisterDataInterface(parameters);
  modules.RegisterDataInterface(curves);
  const std::string parameterItem =
      "[D /Info [D /Type 'Parameters' ] /ParameterTreeData [D /TreeName 'QVDRIVE_CONTROL_V3S1' ] /Value 1 ]";
  const std::string curveItem = "[D /Info [D /Type 'Curve' ] /Value 2 ]";
  const auto load = [&](const std::string& items) {
    WriteFile("running.qvc", "[D /Info [D /Type 'Quarvo configuration' /Version 1 ] /Items [A " + items + " ] ]");
    modules.ConfigurationFileName = Root() + "running.qvc";
    bool finished = false;
    modules.OnRunFinished = [&](TModuleService&) { finished = true; };
    modules.LoadConfigurationAll();
    ASSERT_TRUE(RunUntil([&] { return finished; }));
  };
  load(parameterItem + curveItem);
  EXPECT_TRUE(parameters.Written.empty());
  EXPECT_TRUE(curves.Written.empty());
  EXPECT_EQ(ui.Boxes, std::vector<std::string>{"Stop the controller before importing a parameters configuration!"});
  load(curveItem + parameterItem);
  EXPECT_TRUE(parameters.Written.empty());
  EXPECT_EQ(curves.Written, std::vector<int64_t>{2});
  EXPECT_EQ(ui.Boxes.size(), 2u);
  modules.UnregisterDataInterface(parameters);
  modules.UnregisterDataInterface(curves);
  StopDevice(device);
}

}  // namespace
}  // namespace tolvek::testing
