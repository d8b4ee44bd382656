// The drive service on an offline device: ports, motors and mappings gathered over the modules,
// and a module whose drive data is broken.
#include <gtest/gtest.h>

#include "devices/drive_service.h"
#include "devices/module_service.h"
#include "services_fixture.h"

namespace tolvek::testing {
namespace {

constexpr const char* kOfflineDrive = R"([D
  /Profiles [D /Stored [D /DeviceType 'Offline' /Services [A
    [D /Name 'DriveService' /Profile 'Devices\ServiceProfiles\Drive' ]
    [D /Name 'ModuleService' /Profile 'Devices\ServiceProfiles\Modules' ]
  ] ] ]
  /ServiceProfiles [D /Modules [D /Name 'ModuleService' ] /Drive [D /Name 'DriveService' ] ]
])";

class DriveData : public ServicesFixture {
protected:
  // An offline device whose modules carry the given tree file texts.
  TDevice& MakeDevice(const std::vector<std::string>& trees) {
    MakeDevices(kOfflineDrive);
    devices->RegisterDeviceService("ModuleService", [this](TDevice& device, TSLDictionary* profile) {
      return std::make_unique<TModuleService>(device, profile, talkClient);
    });
    devices->RegisterDeviceService("DriveService", DeviceServiceClass<TDriveService>());
    TDevice& device = devices->CreateDevice("Stored1", "Stored");
    device.CreateServices();
    auto& modules = dynamic_cast<TModuleService&>(device.GetService("ModuleService"));
    for (size_t i = 0; i < trees.size(); ++i) {
      const std::string name = "MOD" + std::to_string(i) + "_A_V1S0";
      WriteFile("ParTrees/" + name + ".IN2", trees[i]);
      auto module = std::make_unique<TModuleItem>();
      module->Name = name;
      modules.AddModule(std::move(module));
    }
    return device;
  }
};

TEST_F(DriveData, GathersOverTheModulesKeepingDuplicates) {
  TDevice& device = MakeDevice({
      "[D /Ports [A [D /Name 'X1' /Caption 'First' /ID 1 ] ] /Motors [A [D /Name 'M' /Caption 'Motor' /ID 7 ] ]"
      " /MotorUnitMapping [D /M [A [D /UnitName 'Pos' /DeviceUnitContainer 'C1' /DeviceUnitName 'P1' ]"
      " [D /UnitName 'Pos' /DeviceUnitContainer 'C2' /DeviceUnitName 'P2' ] ] ] ]",
      "[D /Ports [A [D /Name 'X1' /Caption 'Second' /ID 2 ] ] /MotorUnitMapping [D /M [A [D /UnitName 'Speed'"
      " /DeviceUnitContainer 'C3' /DeviceUnitName 'S3' ] ] ] ]",
      "[D ]"});
  StartDevice(device);
  auto& drive = dynamic_cast<TDriveService&>(device.GetService("DriveService"));
  ASSERT_EQ(drive.State(), ssStarted);
  EXPECT_EQ(drive.TreeItem().Caption(), "Drive");
  ASSERT_EQ(drive.PortCount(), 2);
  EXPECT_EQ(drive.PortAt(1).Caption, "Second");
  EXPECT_EQ(drive.FindPort("x1")->Caption, "First");
  EXPECT_EQ(drive.MotorAt(0).ID, 7);
  ExpectError([&] { drive.MotorAt(1); }, "TDriveService.MotorAt: index out of bounds");
  // The first record of the first entry of a key answers.
  EXPECT_EQ(drive.FindDeviceUnitName("M", "Pos"), "P1");
  EXPECT_EQ(drive.FindDeviceUnitContainer("M", "Pos"), "C1");
  EXPECT_EQ(drive.FindDeviceUnitName("M", "Speed"), "");
  StopDevice(device);
  EXPECT_EQ(device.TreeItem().IndexOfChild(drive.TreeItem()), -1);
}

TEST_F(DriveData, BrokenDriveDataPutsTheServiceIntoError) {
  TDevice& device = MakeDevice({"[D /Ports [A [D /Name 'X1' /Caption 'First' ] ] ]"});
  StartDevice(device);
  EXPECT_EQ(device.GetService("DriveService").State(), ssError);
  EXPECT_TRUE(log.Has("***ERROR: couldn't start drive service: TSLDictionary error: no object named ID"));
  EXPECT_EQ(device.DeviceState(), dsStarted);
}

}  // namespace
}  // namespace tolvek::testing
