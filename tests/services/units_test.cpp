// Unit systems, display units loaded from the unit definitions, and device units with their
// conversions and the unit service that collects them.
#include <gtest/gtest.h>

#include <cmath>

#include "devices/unit_manager.h"
#include "devices/unit_service.h"
#include "script/sl_dictionary.h"
#include "services_fixture.h"

namespace tolvek::testing {
namespace {

TEST(UnitSystems, IdsAreExactAndCaseSensitive) {
  const struct {
    const char* Id;
    uint8_t System;
    const char* Short;
  } rows[] = {{"SI", usSI, "SI"}, {"Metric", usMetric, "ME"}, {"English", usEnglish, "EN"}, {"Imperial", usImperial, "IM"}};
  for (const auto& row : rows) {
    EXPECT_EQ(UnitSystemFromID(row.Id), row.System);
    EXPECT_EQ(UnitSystemID(row.System), row.Id);
    EXPECT_EQ(UnitSystemShort(row.System), row.Short);
  }
  ExpectError([] { UnitSystemFromID("metric"); }, "StrToUnitSystem: unit system with ID 'metric' not found");
  ExpectError([] { UnitSystemFromID("SI "); }, "StrToUnitSystem: unit system with ID 'SI ' not found");
  TUnitManager manager;
  EXPECT_EQ(manager.UnitSystem(), usMetric);
  ExpectError([&] { manager.SetUnitSystem(4); }, "TUnitManager.SetUnitSystem: unit system 4 not known");
}

TDeviceUnit HalfUnit(double offset) {
  TDeviceUnit unit;
  unit.SI = {"mm", offset, 0.5};
  unit.Metric = {"um", 0, 500};
  unit.Imperial = {"in", 0, 0.02};
  return unit;
}

TEST(DeviceUnit, ConvertsWithScaleOffsetAndTiesToEven) {
  TDeviceUnit unit = HalfUnit(0);
  EXPECT_EQ(unit.ToDisplay(usSI, 3), 1.5);
  EXPECT_EQ(unit.FormatRaw(usSI, 3), "1.5");
  EXPECT_EQ(unit.FromDisplay(usSI, 1.25), 2);  // 2.5 rounds to the even 2
  EXPECT_EQ(unit.FromDisplay(usSI, 1.75), 4);  // 3.5 rounds to 4
  EXPECT_EQ(unit.FromDisplay(usSI, -1.25), -2);
  EXPECT_EQ(unit.ParseDisplay("1.75", usSI), 4);
  EXPECT_EQ(HalfUnit(10).FromDisplay(usSI, 11), 2);
  EXPECT_EQ(HalfUnit(10).FormatRaw(usSI, 3), "11.5");
  // Each system uses its own caption, offset and scale; English shows raw values bare.
  EXPECT_EQ(unit.FormatRaw(usMetric, 3), "1500");
  EXPECT_EQ(unit.Caption(usImperial), "in");
  EXPECT_EQ(unit.FormatRaw(usEnglish, -7), "-7");
  EXPECT_EQ(unit.Caption(usEnglish), "");
  EXPECT_EQ(unit.FromDisplay(usEnglish, 2.5), 2);
  const TUnitInfo english = unit.UnitInfo(usEnglish);
  EXPECT_EQ(english.Caption, "");
  EXPECT_EQ(english.Offset, 0);
  EXPECT_EQ(english.Scale, 1);
}

TEST(DeviceUnit, FollowsTheCurrentUnitSystem) {
  TDeviceUnit unit = HalfUnit(0);
  TUnitManager manager;
  EXPECT_EQ(unit.Caption(), "um");
  manager.SetUnitSystem(usSI);
  EXPECT_EQ(unit.FormatRaw(3), "1.5");
  EXPECT_EQ(unit.ParseDisplay("1.25"), 2);
}

TEST(DeviceUnit, RefusesInputItCannotStore) {
  TDeviceUnit unit = HalfUnit(0);
  ExpectError([&] { unit.ParseDisplay("1,5", usSI); }, "'1,5' is not a valid floating point value");
  ExpectError([&] { unit.FromDisplay(usSI, 1e300); }, "TDeviceUnit.FromDisplay: value out of range");
  ExpectError([&] { unit.FromDisplay(usSI, std::nan("")); }, "TDeviceUnit.FromDisplay: value out of range");
  TDeviceUnit zero;
  zero.SI = {"x", 0, 0};
  ExpectError([&] { zero.FromDisplay(usSI, 0); }, "TDeviceUnit.FromDisplay: value out of range");
}

class UnitFiles : public ServicesFixture {};

TEST_F(UnitFiles, LoadsEachBaseUnitOnceAndKeepsWhatPrecededAFailure) {
  WriteFile("Units.stx", R"([D /BaseUnitsArr [A
    [D /Name 'Time' /Caption 'Time' /DisplayUnits [A
      [D /Name 's' /Offset 0 /Scale 1 /UnitSystem 'SI' ]
      [D /Name 'ms' /Offset 0.0 /Scale 1000 /UnitSystem 'Metric' ] ] ]
    [D /Name 'TIME' /Caption 'Second' /DisplayUnits [A ] ]
    [D /Name 'Speed' /Caption 'Speed' /DisplayUnits [A [D /Name 'm/s' /Offset 0 /Scale 'one' /UnitSystem 'SI' ] ] ]
    [D /Name 'Current' /Caption 'Current' /DisplayUnits [A ] ]
  ] ])");
  TUnitManager manager;
  manager.LoadUnits("file://Units.stx");
  ASSERT_EQ(manager.BaseUnitCount(), 1);
  TBaseUnit* time = manager.FindBaseUnit("time");
  ASSERT_NE(time, nullptr);
  EXPECT_EQ(time->Caption, "Time");
  ASSERT_EQ(time->DisplayUnitCount(), 2);
  EXPECT_EQ(time->DisplayUnitAt(1).Name, "ms");
  EXPECT_EQ(time->FindDisplayUnit("ms")->ToDisplay(0.25), 250);
  EXPECT_EQ(time->FindDisplayUnit("ms")->FromDisplay(250), 0.25);
  EXPECT_EQ(time->FindDisplayUnit("MS"), nullptr);
  EXPECT_EQ(manager.FindBaseUnit("Speed"), nullptr);
  EXPECT_EQ(ui.Boxes, std::vector<std::string>{"Invalid class typecast"});

  manager.LoadUnits("file://Missing.stx");
  EXPECT_EQ(ui.Boxes.size(), 2u);
  EXPECT_EQ(manager.BaseUnitCount(), 1);
}

TEST_F(UnitFiles, DemoDefinitionsCoverEveryQuantityInEveryUnitSystem) {
  TUnitManager manager;
  manager.LoadUnits("file://" + SourceInstallDir() + "Archives/UnitService/Units.stx");
  EXPECT_TRUE(ui.Boxes.empty()) << ui.Boxes.front();
  for (const char* name : {"Position", "Speed", "Acceleration", "Time", "Current", "Temperature"}) {
    TBaseUnit* unit = manager.FindBaseUnit(name);
    ASSERT_NE(unit, nullptr) << name;
    std::vector<std::string> systems;
    for (int i = 0; i < unit->DisplayUnitCount(); ++i) systems.push_back(unit->DisplayUnitAt(i).UnitSystem);
    for (const char* system : {"SI", "Metric"})
      EXPECT_NE(std::find(systems.begin(), systems.end(), system), systems.end()) << name << " " << system;
  }
  EXPECT_NEAR(manager.FindBaseUnit("Temperature")->FindDisplayUnit("degF")->ToDisplay(100), 212, 1e-9);
  EXPECT_NEAR(manager.FindBaseUnit("Position")->FindDisplayUnit("in")->ToDisplay(0.0254), 1, 1e-12);
}

constexpr const char* kUnitDevices = R"([D
  /Profiles [D /Drive [D /DeviceType 'Offline' /Services [A [D /Name 'UnitService' /Profile 'Devices\ServiceProfiles\Units' ] ] ] ]
  /ServiceProfiles [D /Units [D /Name 'UnitService' ] ]
])";

constexpr const char* kUnitRecord =
    "[D /UUID %d /UnitName 'Pos' /SICaption 'm' /SIOffset 0 /SIScale 0.000001 /MetricCaption '%s' /MetricOffset 0 "
    "/MetricScale 0.001 /ImperialCaption 'in' /ImperialOffset 0 /ImperialScale 0.00003937 ]";

std::string UnitRecord(int uuid, const std::string& metricCaption) {
  return StrFormat(kUnitRecord, uuid, metricCaption);
}

TEST_F(UnitFiles, ServiceKeepsTheFirstRecordOfEachUuidAndShowsItsItemWhileStarted) {
  MakeDevices(kUnitDevices);
  devices->RegisterDeviceService("UnitService", DeviceServiceClass<TUnitService>());
  TDevice& device = devices->CreateDevice("Drive1", "Drive");
  device.CreateServices();
  auto& units = dynamic_cast<TUnitService&>(device.GetService("UnitService"));
  EXPECT_EQ(device.TreeItem().IndexOfChild(units.TreeItem()), -1);
  StartDevice(device);
  EXPECT_EQ(units.State(), ssStarted);
  EXPECT_EQ(units.TreeItem().Caption(), "Units");
  EXPECT_NE(device.TreeItem().IndexOfChild(units.TreeItem()), -1);

  auto first = StrToObj("[D /Units [A " + UnitRecord(12, "mm") + UnitRecord(3, "mm") + "] ]");
  auto second = StrToObj("[D /Units [A " + UnitRecord(12, "um") + UnitRecord(40, "um") + "] /Other 1 ]");
  auto none = StrToObj("[D /Other 1 ]");
  units.AddDeviceUnits(*CastObj<TSLDictionary>(first.Get()));
  units.AddDeviceUnits(*CastObj<TSLDictionary>(second.Get()));
  units.AddDeviceUnits(*CastObj<TSLDictionary>(none.Get()));
  EXPECT_EQ(units.DeviceUnitCount(), 3);
  ASSERT_NE(units.FindDeviceUnit(12), nullptr);
  EXPECT_EQ(units.FindDeviceUnit(12)->Metric.Caption, "mm");
  EXPECT_EQ(units.FindDeviceUnit(12)->FormatRaw(usMetric, 1500), "1.5");
  EXPECT_EQ(units.FindDeviceUnit(40)->UnitName, "Pos");
  EXPECT_EQ(units.FindDeviceUnit(4), nullptr);

  auto broken = StrToObj("[D /Units [A " + UnitRecord(50, "mm") + " [D /UnitName 'NoId' ] ] ]");
  ExpectError([&] { units.AddDeviceUnits(*CastObj<TSLDictionary>(broken.Get())); },
              "TSLDictionary error: no object named UUID");
  EXPECT_NE(units.FindDeviceUnit(50), nullptr);

  StopDevice(device);
  EXPECT_EQ(units.State(), ssStopped);
  EXPECT_EQ(device.TreeItem().IndexOfChild(units.TreeItem()), -1);
}

}  // namespace
}  // namespace tolvek::testing
