// Devices and their services with small fake services: the manager's registers and texts,
// device variables, creating services from profiles, the start walk with its passes and the
// dependency rule, the stop walk, completions that free their device, and service failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/program_registry.h"
#include "devices/device.h"
#include "devices/device_manager.h"
#include "devices/device_service.h"
#include "kernel/error_report.h"
#include "kernel/scheduler.h"
#include "platform/debug_log.h"
#include "platform/error.h"
#include "script/object_text.h"
#include "script/sl_array.h"
#include "script/sl_scalar.h"

namespace tolvek {
namespace {

template <typename F>
void ExpectError(F&& action, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no exception, expected: " << message;
  } catch (const EError& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

// What the fake services were asked to do, in order.
std::vector<std::string> gCalls;

// A service whose behaviour comes from its profile: "Needs" (names of services it needs),
// "Mode" for starting: "Sync" (default: started at once), "Async" (Starting, waits for the
// test), "Instant" (reports Started from inside Start and still asks to wait), "Never", "Fail",
// "Throw", "Stopping"; "StopMode": "Sync" or "Async".
class TFakeService : public TDeviceService {
public:
  using TDeviceService::TDeviceService;
  const char* ClassName() const override { return "TFakeService"; }

  void Init() override {
    listedAtInit = Device().HasService(Name());
    gCalls.push_back("init " + Name());
  }

  void Start(bool& wait) override {
    gCalls.push_back("start " + Name());
    const std::string mode = Setting("Mode", "Sync");
    if (mode == "Never") return;
    if (mode == "Fail") return SetState(ssError);
    if (mode == "Throw") throw EError("fake start failure");
    if (mode == "Stopping") return SetState(ssStopping);
    std::vector<TServiceNeed> needs;
    if (Profile()->Known("Needs")) {
      auto* names = CastObj<TSLArray>(Profile()->GetObjWithName("Needs"));
      for (int32_t i = 0; i < names->GetCount(); ++i)
        needs.push_back({names->GetStrAtIndex(i), "couldn't start fake service: " + names->GetStrAtIndex(i) +
                                                      " not found"});
    }
    if (!NeedServices(needs)) return;
    if (mode == "Async") {
      if (State() == ssStopped) SetState(ssStarting);
      wait = true;
      return;
    }
    SetState(ssStarted);
    if (mode == "Instant") wait = true;
  }

  void Stop(bool& wait) override {
    gCalls.push_back("stop " + Name());
    if (Setting("StopMode", "Sync") == "Async" && State() != ssStopping) {
      SetState(ssStopping);
      wait = true;
      return;
    }
    if (State() != ssStopping) SetState(ssStopped);
  }

  void Kill() override { SetState(ssStopped); }

  void GetInfo(const std::string& name, std::string& value, bool& handled) override {
    if (name == "Firmware" || name == "ServiceName") {
      value = name == "Firmware" ? "1.2" : "own name";
      handled = true;
    }
  }

  bool listedAtInit = true;

private:
  std::string Setting(const char* key, const char* fallback) const {
    return Profile()->Known(key) ? Profile()->GetStrWithName(key) : fallback;
  }
};

// A service that looks its partners up by kind.
class TPartnerProbe : public TFakeService {
public:
  using TFakeService::TFakeService;
  using TDeviceService::Partner;
};

// Collects the debug log's lines.
class TRecordingLog : public TDebugLog {
public:
  void Subscribe(int, TDebugSubscription, const void*) override {}
  void Unsubscribe(const void*) override {}
  void EnableChannel(int) override {}
  bool ChannelEnabled(int) const override { return false; }
  void Output(int, uint16_t, const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

constexpr const char* kDevices = R"(
[D
  /Profiles [D
    /QuarvoOnline [D
      /DeviceType 'Online'
      /DevVars [D /Vendor 'Quarvo' /Axes 2 ]
      /Services [A
        [D /Name 'TalkService' /Profile 'Devices\ServiceProfiles\Talk' ]
        [D /Name 'Status' /Profile 'Devices\ServiceProfiles\NeedsModule' ]
        [D /Name 'Broken' /Profile 'Devices\ServiceProfiles\Unregistered' ]
        [D /Name 'Lost' /Profile 'Devices\ServiceProfiles\Nowhere' ]
        [D /Name 'ModuleService' /Profile 'Devices\ServiceProfiles\Module' ]
        [D /Name 'talkservice' /Profile 'Devices\ServiceProfiles\Talk' ]
        [D /Profile 'Devices\ServiceProfiles\Talk' ]
      ]
    ]
    /Plain [D /DeviceType 'online' /Services [A ] ]
    /Bare [D ]
    /Archived [D /DeviceType 'Archive' /DevVars [D /DeviceType 'Custom' ] ]
    /BadVars [D /DevVars 'Vendor' ]
  ]
  /ServiceProfiles [D
    /Talk [D /Name 'FakeService' ]
    /Module [D /Name 'fakeservice' ]
    /NeedsModule [D /Name 'FakeService' /Needs [A 'ModuleService' ] ]
    /Unregistered [D /Name 'NoSuchService' ]
  ]
]
)";

class DeviceTest : public ::testing::Test {
protected:
  DeviceTest() {
    gCalls.clear();
    SetDebugLog(&log);
    previousHandler = MxSetErrorHandler([this](const std::string& caption, const std::string& message) {
      kernelReports.push_back(caption + ": " + message);
    });
    configuration.SetKey("Devices", StrToObj(kDevices).Get());
    manager = std::make_unique<TDeviceManager>(configuration);
    manager->RegisterDeviceService("FakeService", DeviceServiceClass<TFakeService>());
  }
  ~DeviceTest() override {
    manager.reset();
    MxSetErrorHandler(previousHandler);
    SetDebugLog(nullptr);
  }

  // Runs slices until no task is ready (a bounded number, so a spinning task fails the test).
  void Settle() {
    for (int i = 0; i < 10000 && scheduler.ReadyCount() > 0; ++i) scheduler.Step();
    EXPECT_EQ(scheduler.ReadyCount(), 0u) << "a task keeps running";
  }

  // A service profile from its text, kept alive for the test.
  TSLDictionary* Profile(const std::string& text) {
    profiles.push_back(StrToObj(text));
    return CastObj<TSLDictionary>(profiles.back().Get());
  }

  TFakeService& AddService(TDevice& device, const std::string& name, const std::string& settings = "") {
    return static_cast<TFakeService&>(device.CreateService(name, Profile("[D /Name 'FakeService' " + settings + "]")));
  }

  // Starts the device's services and runs the walk to its end; answers how often the
  // completion ran.
  int StartAndSettle(TDevice& device) {
    int completions = 0;
    device.StartupServices([&](TDevice&) { ++completions; });
    Settle();
    return completions;
  }

  std::vector<std::string> Calls(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& call : gCalls)
      if (call.rfind(prefix, 0) == 0) found.push_back(call);
    return found;
  }

  TMxScheduler scheduler;
  TRecordingLog log;
  TMxErrorHandler previousHandler;
  std::vector<std::string> kernelReports;
  TProgramRegistry configuration;
  std::unique_ptr<TDeviceManager> manager;
  std::vector<TRef<TSLObject>> profiles;
};

TEST_F(DeviceTest, ManagerKeepsDevicesAndClassesByNameWithoutRegardToCase) {
  TDevice& box2 = manager->CreateDevice("BOX2", "Plain");
  TDevice& box1 = manager->CreateDevice("box1", "Bare");
  EXPECT_EQ(manager->DeviceCount(), 2);
  EXPECT_EQ(&manager->GetDeviceAtIndex(0), &box1) << "sorted by name";
  EXPECT_EQ(&manager->GetDeviceAtIndex(1), &box2);
  EXPECT_EQ(&manager->GetDevice("BOX1"), &box1);
  EXPECT_TRUE(manager->DeviceExists("Box2"));
  EXPECT_FALSE(manager->DeviceHasService("BOX3", "TalkService"));
  EXPECT_FALSE(manager->DeviceHasService("BOX2", "TalkService"));
  AddService(box2, "TalkService");
  EXPECT_TRUE(manager->DeviceHasService("box2", "talkservice"));
  EXPECT_EQ(&manager->GetDeviceService("BOX2", "TALKSERVICE"), &box2.GetService("TalkService"));

  ExpectError([&] { manager->CreateDevice("Box1", "Plain"); },
              "TDeviceManager.CreateDevice: device with name 'Box1' already exists");
  ExpectError([&] { manager->CreateDevice("BOX3", "Nothing"); },
              "TDeviceManager.CreateDevice: profile with name 'Nothing' doesn't exist");
  ExpectError([&] { manager->GetDevice("BOX3"); }, "TDeviceManager.GetDevice: device with name 'BOX3' not found");
  ExpectError([&] { manager->GetDeviceService("BOX3", "TalkService"); },
              "TDeviceManager.GetDevice: device with name 'BOX3' not found");
  ExpectError([&] { manager->GetDeviceService("BOX1", "TalkService"); },
              "TDevice.GetService: service with name 'TalkService' not found");
  ExpectError([&] { manager->GetDeviceAtIndex(2); }, "TDeviceManager.GetDeviceAtIndex: index out of bounds");
  ExpectError([&] { manager->GetDeviceAtIndex(-1); }, "TDeviceManager.GetDeviceAtIndex: index out of bounds");
  ExpectError([&] { manager->RegisterDeviceService("fakeSERVICE", DeviceServiceClass<TFakeService>()); },
              "TDeviceManager.RegisterDeviceService: service with name 'fakeSERVICE' already registered");
  ExpectError([&] { manager->GetServiceClass("TalkService"); },
              "TDeviceManager.GetServiceClass: a service with name 'TalkService' ist not registered");
  ExpectError([&] { AddService(box2, "talkSERVICE"); },
              "TDevice.CreateService: device 'BOX2' has already a service with name 'talkSERVICE'");

  manager->DeleteDevice(&box1);
  TDevice* unknown = reinterpret_cast<TDevice*>(&configuration);
  manager->DeleteDevice(unknown);  // not listed: ignored
  EXPECT_EQ(manager->DeviceCount(), 1);
  EXPECT_FALSE(manager->DeviceExists("BOX1"));
}

TEST_F(DeviceTest, ADevicesSectionWithoutProfilesRefusesDevices) {
  TProgramRegistry bare;
  bare.SetKey("Devices", StrToObj("[D ]").Get());
  TDeviceManager empty(bare);
  ExpectError([&] { empty.CreateDevice("BOX1", "QuarvoOnline"); },
              "TDeviceManager.CreateDevice: no device profiles defined in registry");
  TProgramRegistry none;
  EXPECT_THROW(TDeviceManager{none}, EError);
}

TEST_F(DeviceTest, AProfileTheDeviceCannotReadLeavesNothingBehind) {
  const int items = manager->TreeModel().ItemCount();
  EXPECT_THROW(manager->CreateDevice("BOX1", "BadVars"), EInvalidCast);
  EXPECT_EQ(manager->DeviceCount(), 0);
  EXPECT_EQ(manager->TreeModel().ItemCount(), items);
  EXPECT_EQ(manager->TreeModel().UpdateCount(), 0) << "the bracket is closed on failure too";
}

TEST_F(DeviceTest, TheDemoInstallationsProfilesCreateTheirServicesInOrder) {
  const auto source = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
  std::ifstream file(source / "install/Archives/Config/Halvic.ini");
  ASSERT_TRUE(file.good());
  std::stringstream text;
  text << file.rdbuf();
  TProgramRegistry demo;
  TRef<TSLObject> root = StrToObj(text.str());
  auto* sections = CastObj<TSLDictionary>(root.Get());
  for (int32_t i = 0; i < sections->GetCount(); ++i)
    demo.SetKey(sections->GetNameAtIndex(i), sections->GetObjAtIndex(i));
  TDeviceManager demoManager(demo);
  for (const char* name : {"ModuleService", "TalkService", "StatusService", "ParameterService", "OsciService",
                           "LoaderService", "VariableService", "DataService", "CurveService", "UnitService",
                           "DriveService", "MessagesService", "AxoService", "ProfileService"})
    demoManager.RegisterDeviceService(name, DeviceServiceClass<TFakeService>());

  TDevice& online = demoManager.CreateDevice("BOX1", "QuarvoOnline");
  online.CreateServices();
  EXPECT_TRUE(log.lines.empty());
  ASSERT_EQ(online.ServiceCount(), 14);
  EXPECT_EQ(online.ServiceAt(0).Profile()->GetStrWithName("Name"), "TalkService");
  EXPECT_EQ(online.ServiceAt(13).Profile()->GetStrWithName("Name"), "AxoService");
  EXPECT_EQ(online.GetDeviceVar("Vendor"), "Quarvo");
  EXPECT_EQ(StartAndSettle(online), 1);
  EXPECT_EQ(online.DeviceState(), dsStarted);

  TDevice& offline = demoManager.CreateDevice("BOX2", "QuarvoOffline");
  offline.CreateServices();
  EXPECT_EQ(offline.DeviceType(), dtOffline);
  EXPECT_EQ(offline.ServiceCount(), 6);
}

TEST_F(DeviceTest, DevicesHangUnderTheProjectRootAndAnswerTheirVariables) {
  TModelItem& root = manager->TreeModel().Root();
  EXPECT_EQ(root.Caption(), "Project");
  EXPECT_EQ(root.ImageIndex(), 13);

  TDevice& online = manager->CreateDevice("BOX1", "QuarvoOnline");
  TDevice& plain = manager->CreateDevice("BOX2", "Plain");
  TDevice& archived = manager->CreateDevice("BOX3", "Archived");
  EXPECT_EQ(online.DeviceType(), dtOnline);
  EXPECT_EQ(plain.DeviceType(), dtUnknown) << "the type compares exactly";
  EXPECT_EQ(archived.DeviceType(), dtArchive);
  ASSERT_EQ(root.ChildCount(), 3);
  EXPECT_EQ(&root.GetChild(0), &online.TreeItem());
  EXPECT_EQ(online.TreeItem().Caption(), "BOX1");
  EXPECT_EQ(online.TreeItem().ImageIndex(), 87);
  EXPECT_EQ(online.TreeItem().Owner(), &online);

  struct TCase {
    TDevice* device;
    const char* name;
    const char* value;
  } cases[] = {
      {&online, "Vendor", "Quarvo"},       {&online, "vendor", "Quarvo"},  {&online, "Axes", "2"},
      {&online, "DeviceName", "BOX1"},     {&online, "DeviceStatus", "Stopped"},
      {&online, "DeviceType", "Online"},   {&plain, "DeviceType", "Unknown"},
      {&archived, "DeviceType", "Custom"}, {&online, "PortName", ""},
  };
  for (const TCase& c : cases) EXPECT_EQ(c.device->GetDeviceVar(c.name), c.value) << c.name;
  online.SetDeviceVar("PortName", "COM1");
  online.SetDeviceVar("DeviceType", "Offline");
  EXPECT_EQ(online.GetDeviceVar("PortName"), "COM1");
  EXPECT_EQ(online.GetDeviceVar("DeviceType"), "Offline");
  EXPECT_EQ(online.DeviceType(), dtOnline);

  // Items below a device learn its variables through the tree.
  TModelItem& below = manager->TreeModel().NewItem();
  online.TreeItem().AddChild(below);
  EXPECT_EQ(below.GetText("DeviceName"), "BOX1");
  EXPECT_EQ(below.GetText("PortName"), "COM1");
}

TEST_F(DeviceTest, CreateServicesMakesEachListedServiceAndLogsTheOnesThatFail) {
  TDevice& device = manager->CreateDevice("BOX1", "QuarvoOnline");
  device.CreateServices();
  ASSERT_EQ(device.ServiceCount(), 3);
  EXPECT_EQ(device.ServiceAt(0).Name(), "TalkService");
  EXPECT_EQ(device.ServiceAt(1).Name(), "Status");
  EXPECT_EQ(device.ServiceAt(2).Name(), "ModuleService");
  EXPECT_EQ(gCalls, (std::vector<std::string>{"init TalkService", "init Status", "init ModuleService"}));
  EXPECT_FALSE(static_cast<TFakeService&>(device.ServiceAt(0)).listedAtInit) << "Init runs before listing";
  EXPECT_EQ(device.ServiceAt(1).Profile()->GetObjWithName("Needs") != nullptr, true);
  ASSERT_EQ(log.lines.size(), 4u);
  EXPECT_EQ(log.lines[0],
            "***ERROR: TDeviceManager.GetServiceClass: a service with name 'NoSuchService' ist not registered");
  EXPECT_EQ(log.lines[1], "***ERROR: TSLDictionary error: no object named Nowhere");
  EXPECT_EQ(log.lines[2],
            "***ERROR: TDevice.CreateService: device 'BOX1' has already a service with name 'talkservice'");
  EXPECT_EQ(log.lines[3].rfind("***ERROR: ", 0), 0u) << "an element without a name";
  EXPECT_EQ(device.ServiceAt(0).GetServiceInfo("DeviceName"), "BOX1");

  TDevice& bare = manager->CreateDevice("BOX2", "Bare");
  bare.CreateServices();
  EXPECT_EQ(bare.ServiceCount(), 0);
  EXPECT_EQ(bare.GetDeviceVar("DeviceType"), "Unknown");
}

TEST_F(DeviceTest, ServicesAnswerTheirInformation) {
  TDevice& device = manager->CreateDevice("BOX1", "Plain");
  TFakeService& service = AddService(device, "Talk");
  struct TCase {
    const char* name;
    const char* value;
  } cases[] = {
      {"Firmware", "1.2"}, {"ServiceName", "own name"}, {"ServiceStatus", "Stopped"},
      {"DeviceName", "BOX1"}, {"Other", ""},
  };
  for (const TCase& c : cases) EXPECT_EQ(service.GetServiceInfo(c.name), c.value) << c.name;
  for (uint8_t state : std::vector<uint8_t>{ssStarting, ssStarted, ssStopping, ssError, 9}) {
    service.SetState(state);
    EXPECT_EQ(service.GetServiceInfo("ServiceStatus"), ServiceStateName(state));
  }
  EXPECT_EQ(ServiceStateName(9), "Unknown");

  manager->RegisterDeviceService("ProbeService", DeviceServiceClass<TPartnerProbe>());
  auto& probe = static_cast<TPartnerProbe&>(device.CreateService("Probe", Profile("[D /Name 'ProbeService' ]")));
  EXPECT_EQ(&probe.Partner<TFakeService>("talk"), &service);
  EXPECT_THROW(probe.Partner<TPartnerProbe>("Talk"), EInvalidCast);
  ExpectError([&] { probe.Partner<TFakeService>("Units"); }, "TDevice.GetService: service with name 'Units' not found");
}

TEST_F(DeviceTest, AnEmptyServiceListStartsInOneSlice) {
  TDevice& device = manager->CreateDevice("BOX1", "Plain");
  device.CreateServices();
  Settle();
  int completions = 0;
  device.StartupServices([&](TDevice& done) {
    EXPECT_EQ(&done, &device);
    ++completions;
  });
  EXPECT_EQ(device.DeviceState(), dsStarting);
  scheduler.Step();
  EXPECT_EQ(device.DeviceState(), dsStarted);
  EXPECT_EQ(completions, 0);
  Settle();
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(device.GetDeviceVar("DeviceStatus"), "Started");
}

TEST_F(DeviceTest, AServiceListedBeforeTheOneItNeedsStartsInTheSecondPass) {
  TDevice& device = manager->CreateDevice("BOX1", "QuarvoOnline");
  device.CreateServices();  // TalkService, Status (needs ModuleService), ModuleService
  log.lines.clear();         // the profile's broken elements
  EXPECT_EQ(StartAndSettle(device), 1);
  EXPECT_EQ(device.DeviceState(), dsStarted);
  for (int i = 0; i < device.ServiceCount(); ++i) EXPECT_EQ(device.ServiceAt(i).State(), ssStarted);
  EXPECT_EQ(Calls("start"),
            (std::vector<std::string>{"start TalkService", "start Status", "start ModuleService", "start Status"}));
  EXPECT_EQ(device.PassCount(), 2) << "a second pass started Status, a third found nothing to do";
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(DeviceTest, ANeverStartingServiceIsReportedAfterServiceCountPlusTwoPasses) {
  TDevice& device = manager->CreateDevice("BOX1", "Plain");
  AddService(device, "TalkService");
  AddService(device, "Stubborn", "/Mode 'Never' ");
  AddService(device, "Late", "/Needs [A 'Stubborn' ] ");
  EXPECT_EQ(StartAndSettle(device), 1);
  EXPECT_EQ(device.DeviceState(), dsStarted) << "only the Talk and the module service stop a device";
  EXPECT_EQ(Calls("start Stubborn").size(), 5u) << "3 services + 2 passes";
  EXPECT_EQ(Calls("start Late").size(), 5u);
  EXPECT_EQ(Calls("start TalkService").size(), 1u);
  EXPECT_EQ(device.GetService("Stubborn").State(), ssError);
  EXPECT_EQ(device.GetService("Late").State(), ssError);
  EXPECT_EQ(device.GetService("TalkService").State(), ssStarted);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"***ERROR: Service Stubborn not started!",
                                                  "***ERROR: Service Late not started!"}));
}

TEST_F(DeviceTest, AMissingPartnerIsAFinalErrorWithItsLine) {
  TDevice& device = manager->CreateDevice("BOX1", "Plain");
  AddService(device, "Units", "/Needs [A 'ModuleService' 'TalkService' ] ");
  AddService(device, "ModuleService", "/Mode 'Async' ");
  AddService(device, "Drive");
  device.StartupServices(nullptr);
  Settle();
  EXPECT_EQ(device.DeviceState(), dsStarting) << "the module service is still starting";
  EXPECT_EQ(device.GetService("Units").State(), ssError)
      << "a missing partner counts even while another is merely late";
  EXPECT_EQ(log.lines, (std::vector<std::string>{"***ERROR: couldn't start fake service: TalkService not found"}));
  EXPECT_EQ(device.GetService("Drive").State(), ssStopped);

  device.GetService("ModuleService").SetState(ssStarted);
  Settle();
  EXPECT_EQ(device.DeviceState(), dsStarted);
  EXPECT_EQ(device.GetService("Drive").State(), ssStarted);
  EXPECT_EQ(Calls("start Units").size(), 1u) << "a service in error is passed over";
}

TEST_F(DeviceTest, TheWalkWaitsForAnAsynchronousServiceAndIgnoresOthersReports) {
  TDevice& device = manager->CreateDevice("BOX1", "Plain");
  AddService(device, "TalkService", "/Mode 'Async' ");
  TFakeService& other = AddService(device, "Other");
  TFakeService& instant = AddService(device, "Instant", "/Mode 'Instant' ");
  int completions = 0;
  device.StartupServices([&](TDevice&) { ++completions; });
  Settle();
  EXPECT_EQ(device.DeviceState(), dsStarting);
  EXPECT_EQ(Calls("start"), (std::vector<std::string>{"start TalkService"}));

  other.SetState(ssStarting);  // not the service the walk waits for
  Settle();
  EXPECT_EQ(Calls("start").size(), 1u);
  other.SetState(ssStopped);

  device.GetService("TalkService").SetState(ssStarted);
  Settle();
  EXPECT_EQ(device.DeviceState(), dsStarted)
      << "a service that reports Started from inside Start while asking to wait does not stall the walk";
  EXPECT_EQ(instant.State(), ssStarted);
  EXPECT_EQ(completions, 1);
}

TEST_F(DeviceTest, ATalkServiceInErrorPutsTheDeviceIntoErrorWithOneCompletion) {
  for (const char* failing : {"TalkService", "moduleservice"}) {
    gCalls.clear();
    TDevice& device = manager->CreateDevice(std::string("BOX ") + failing, "Plain");
    AddService(device, "Units");
    AddService(device, failing, "/Mode 'Fail' ");
    AddService(device, "Drive");
    EXPECT_EQ(StartAndSettle(device), 1) << failing;
    EXPECT_EQ(device.DeviceState(), dsError);
    EXPECT_EQ(device.GetDeviceVar("DeviceStatus"), "Error");
    EXPECT_EQ(Calls("start Drive").size(), 1u) << "the failure is seen when the next pass reaches it";
    ExpectError([&] { device.StartupServices(nullptr); }, "TDevice.StartupServices: device not ready");
  }
  TDevice& device = manager->CreateDevice("BOX3", "Plain");
  AddService(device, "Status", "/Mode 'Fail' ");
  AddService(device, "Drive");
  StartAndSettle(device);
  EXPECT_EQ(device.DeviceState(), dsStarted) << "other services in error do not stop the walk";
  EXPECT_EQ(device.GetService("Drive").State(), ssStarted);
}

TEST_F(DeviceTest, TheStopWalkGoesBackToFrontAndWaitsForAsynchronousStops) {
  TDevice& device = manager->CreateDevice("BOX1", "Plain");
  ExpectError([&] { device.ShutDownServices(nullptr); }, "TDevice.ShutDownServices: device not ready");
  AddService(device, "TalkService", "/StopMode 'Async' ");
  AddService(device, "ModuleService");
  AddService(device, "Status", "/Mode 'Fail' ");
  StartAndSettle(device);
  ASSERT_EQ(device.DeviceState(), dsStarted);
  ExpectError([&] { device.StartupServices(nullptr); }, "TDevice.StartupServices: device not ready");

  int completions = 0;
  device.ShutDownServices([&](TDevice&) { ++completions; });
  Settle();
  EXPECT_EQ(device.DeviceState(), dsStopping);
  EXPECT_EQ(Calls("stop"), (std::vector<std::string>{"stop Status", "stop ModuleService", "stop TalkService"}));
  device.GetService("TalkService").SetState(ssStopped);
  Settle();
  EXPECT_EQ(device.DeviceState(), dsStopped);
  EXPECT_EQ(completions, 1);
  for (int i = 0; i < device.ServiceCount(); ++i) EXPECT_EQ(device.ServiceAt(i).State(), ssStopped);

  // A stopped device starts again, even from the completion of its stop walk.
  gCalls.clear();
  StartAndSettle(device);
  EXPECT_EQ(device.DeviceState(), dsStarted);
  EXPECT_EQ(Calls("start ModuleService").size(), 1u);
  int restarted = 0;
  device.ShutDownServices([&](TDevice& stopped) { stopped.StartupServices([&](TDevice&) { ++restarted; }); });
  Settle();
  device.GetService("TalkService").SetState(ssStopped);
  Settle();
  EXPECT_EQ(device.DeviceState(), dsStarted);
  EXPECT_EQ(restarted, 1);
}

TEST_F(DeviceTest, ACompletionMayDeleteItsOwnDevice) {
  TModelItem& root = manager->TreeModel().Root();
  TDevice& device = manager->CreateDevice("BOX1", "Plain");
  AddService(device, "TalkService");
  AddService(device, "ModuleService", "/StopMode 'Async' ");
  StartAndSettle(device);

  // The logout: stop inside a model update, delete the device from the completion.
  manager->TreeModel().BeginUpdate();
  bool deleted = false;
  device.ShutDownServices([&](TDevice& done) {
    manager->DeleteDevice(&done);
    manager->TreeModel().EndUpdate();
    deleted = true;
  });
  Settle();
  device.GetService("ModuleService").SetState(ssStopped);
  Settle();
  EXPECT_TRUE(deleted);
  EXPECT_EQ(manager->DeviceCount(), 0);
  EXPECT_EQ(root.ChildCount(), 0);

  // Freed from inside the start walk as well, the way a failed login ends.
  TDevice& failing = manager->CreateDevice("BOX2", "Plain");
  AddService(failing, "TalkService", "/Mode 'Fail' ");
  failing.StartupServices([&](TDevice& done) { manager->DeleteDevice(&done); });
  Settle();
  EXPECT_EQ(manager->DeviceCount(), 0);
  manager->CreateDevice("BOX3", "Plain");  // frees what the walks left behind
  EXPECT_TRUE(kernelReports.empty());
}

TEST_F(DeviceTest, FailuresInsideTheWalkStopTheDevicesTask) {
  TDevice& throwing = manager->CreateDevice("BOX1", "Plain");
  AddService(throwing, "TalkService", "/Mode 'Throw' ");
  StartAndSettle(throwing);
  EXPECT_EQ(throwing.DeviceState(), dsStarting) << "the device stays in its state";

  TDevice& stopping = manager->CreateDevice("BOX2", "Plain");
  AddService(stopping, "Odd", "/Mode 'Stopping' ");
  StartAndSettle(stopping);
  EXPECT_EQ(kernelReports, (std::vector<std::string>{"Unhandled Exception in Task: fake start failure",
                                                      "Unhandled Exception in Task: TDevice.Work: wrong service state"}));
}

}  // namespace
}  // namespace tolvek
