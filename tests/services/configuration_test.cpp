// Saving and loading drive configurations: the file layout, the save and load runs through
// registered data interfaces, the user's choice of data, parameter tree compatibility, and a
// save interrupted by the death of the process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/log_window_manager.h"
#include "devices/configuration_file.h"
#include "devices/data_interface.h"
#include "devices/module_check_dialog.h"
#include "devices/module_service.h"
#include "comm/execute_control.h"
#include "script/sl_array.h"
#include "script/sl_scalar.h"
#include "services_fixture.h"

namespace tolvek::testing {
namespace {

TEST(TreeCompatibility, ComparesFirstPartAndVersionsOnly) {
  const struct {
    const char* Configuration;
    const char* Module;
    bool Match;
    bool MatchIgnoringSubversion;
  } rows[] = {
      {"MOD_B_V3S0", "MOD_A_V3S1", true, true},     // the second part is not compared
      {"MOD_A_V3S1", "MOD_A_V3S1", true, true},
      {"MOD_A_V3S2", "MOD_A_V3S1", false, true},    // a newer configuration subversion
      {"MOD_A_V2S0", "MOD_A_V3S0", false, false},   // versions differ
      {"MOD_A_V3S0_X", "MOD_A_V3S9_Y", true, true}, // the extra text is not compared
      {"MAD_A_V3S0", "MOD_A_V3S0", false, false},
      {"MOD_A", "MOD_A_V3S0", false, false},
      {"MOD_A_3S0", "MOD_A_V3S0", false, false},
      {"MOD_A_V3S", "MOD_A_V3S0", false, false},
      {"MOD_A_VxS0", "MOD_A_VxS0", true, true},     // equal names match whatever they hold
      {"PLAIN", "PLAIN", true, true},
      {"PLAIN", "OTHER", false, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(TreesCompatible(row.Configuration, row.Module, false), row.Match) << row.Configuration << " " << row.Module;
    EXPECT_EQ(TreesCompatible(row.Configuration, row.Module, true), row.MatchIgnoringSubversion)
        << row.Configuration << " " << row.Module;
  }
}

TEST(ConfigurationLayout, RefusesFilesWithoutTheirStructure) {
  const struct {
    const char* Text;
    const char* Message;
  } rows[] = {
      {"[A ]", "Invalid class typecast"},
      {"[D /Items [A ] ]", "TSLDictionary error: no object named Info"},
      {"[D /Info [D ] ]", "TSLDictionary error: no object named Items"},
      {"[D /Info [D ] /Items [D ] ]", "Invalid class typecast"},
      {"[D /Info [D ] /Items [A 1 ] ]", "Invalid class typecast"},
      {"[D /Info [D ] /Items [A [D /Info [D ] ] ] ]", "TSLDictionary error: no object named Type"},
      {"[D /Info [D ] /Items [A [D /Info [D /Type 'Parameters' ] ] ] ]",
       "TSLDictionary error: no object named ParameterTreeData"},
  };
  for (const auto& row : rows)
    ExpectError([&] { ConfigurationItems(StrToObj(row.Text).Get()); }, row.Message);
  auto items = ConfigurationItems(
      StrToObj("[D /Info [D ] /Items [A [D /Info [D /Type 'Curve' ] ] [D /Info [D /Type 'Parameters' ] "
               "/ParameterTreeData [D /TreeName 'T_A_V1S0' ] ] ] ]")
          .Get());
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(ItemType(*items[0]), "Curve");
  EXPECT_EQ(ParameterTreeName(*items[1]), "T_A_V1S0");
}

// A data interface that keeps named values: saving reads them into items, loading writes them
// back. Each read takes two calls, so a run must honour Repeat.
class TValueInterface : public TDataInterface {
public:
  TValueInterface(const std::string& name, const std::string& type) : TDataInterface(name), type_(type) {}

  int TypeCount() override { return 1; }
  std::string TypeName(int index) override {
    if (index != 0) throw EError("index out of bounds");
    return type_;
  }
  int ItemCount() override { return static_cast<int>(Values.size()); }
  void InitItem(int index, TDataItem& item) override {
    item.SetType(type_);
    item.Info().SetInt64WithName("Version", 1);
    item.Info().SetStrWithName("Name", Values[static_cast<size_t>(index)].first);
    item.Info().SetStrWithName("Path", "");
  }
  void ExecuteOperation(TDataOperation& operation) override {
    Calls.push_back(operation.Code);
    if (operation.Code == doRead && !operation.Control.Repeat) {
      operation.Control.Repeat = true;  // finish on the next call
      return;
    }
    operation.Control.Repeat = false;
    const std::string name = operation.Item ? operation.Item->Info().GetStrWithName("Name") : "";
    switch (operation.Code) {
      case doRead:
        for (auto& [key, value] : Values)
          if (key == name) operation.Item->Data().SetInt64WithName("Value", value);
        operation.Control.Log("read " + name);
        break;
      case doPrepare: Values.clear(); break;
      case doWrite: Values.emplace_back(name, operation.Item->Data().GetInt64WithName("Value")); break;
      default: break;
    }
  }

  std::vector<std::pair<std::string, int64_t>> Values;
  std::vector<int> Calls;

private:
  std::string type_;
};

// The module check dialog as a test drives it: cancels, or unticks the choices named.
class TTestCheckDialog : public TModuleCheckDialog {
public:
  bool Execute(const std::string& caption, const std::string& rootCaption,
               std::vector<TModuleCheckChoice>& choices) override {
    Captions.push_back(caption + " / " + rootCaption);
    for (TModuleCheckChoice& choice : choices)
      if (std::find(Untick.begin(), Untick.end(), choice.Name) != Untick.end()) choice.Checked = false;
    return !Cancel;
  }
  bool Cancel = false;
  std::vector<std::string> Untick;
  std::vector<std::string> Captions;
};

constexpr const char* kOfflineDevices = R"([D
  /Profiles [D /Stored [D /DeviceType 'Offline' /Services [A [D /Name 'ModuleService' /Profile 'Devices\ServiceProfiles\Modules' ] ] ] ]
  /ServiceProfiles [D /Modules [D /Name 'ModuleService' ] ]
])";

class Configurations : public ServicesFixture {
protected:
  Configurations() {
    MakeDevices(kOfflineDevices);
    devices->RegisterDeviceService("ModuleService", [this](TDevice& device, TSLDictionary* profile) {
      return std::make_unique<TModuleService>(device, profile, talkClient);
    });
    axes.Values = {{"X", 10}, {"Y", -20}};
    curves.Values = {{"Ramp", 7}};
  }
  ~Configurations() override { SetModuleCheckDialog(nullptr); }

  // An offline device whose module service knows `moduleNames` (their tree files exist).
  TModuleService& MakeDevice(const std::vector<std::string>& moduleNames = {}) {
    TDevice& device = devices->CreateDevice("Stored1", "Stored");
    device.CreateServices();
    auto& modules = dynamic_cast<TModuleService&>(device.GetService("ModuleService"));
    for (const std::string& name : moduleNames) {
      WriteFile("ParTrees/" + name + ".IN2", "[D /Tree '" + name + "' ]");
      auto module = std::make_unique<TModuleItem>();
      module->Name = name;
      modules.AddModule(std::move(module));
    }
    StartDevice(device);
    EXPECT_EQ(modules.State(), ssStarted);
    modules.RegisterDataInterface(axes);
    modules.RegisterDataInterface(curves);
    return modules;
  }

  // Starts a run with `start` and waits for its end.
  void Run(TModuleService& modules, void (TModuleService::*start)()) {
    bool finished = false;
    modules.OnRunFinished = [&](TModuleService&) { finished = true; };
    (modules.*start)();
    ASSERT_TRUE(RunUntil([&] { return finished; }));
    EXPECT_EQ(modules.Operation(), TModuleService::opNone);
  }

  TValueInterface axes{"Axes", "AxisData"};
  TValueInterface curves{"Curves", "CurveData"};
};

// A log window that keeps its lines and tells when it closes.
class TTestLogWindow : public TLogWindow {
public:
  TTestLogWindow(std::vector<std::string>& lines) : lines_(lines) {}
  void AddLine(const std::string& text) override { lines_.push_back(text); }
  void Close() override { lines_.push_back("closed"); }

private:
  std::vector<std::string>& lines_;
};

TEST_F(Configurations, SavedDataLoadsBackThroughEveryStepInOrder) {
  TModuleService& modules = MakeDevice();
  std::vector<std::string> windowLines;
  TLogWindowManager windows([&](const std::string& caption, std::function<void()>) {
    windowLines.push_back("open " + caption);
    return std::make_unique<TTestLogWindow>(windowLines);
  });
  TModuleService::SetLogWindowManager(&windows);
  modules.ConfigurationFileName = Root() + "drive.qvc";
  Run(modules, &TModuleService::SaveConfigurationAll);
  TModuleService::SetLogWindowManager(nullptr);
  EXPECT_EQ(windowLines, (std::vector<std::string>{"open Save", "read X", "read Y", "read Ramp", "closed"}));
  EXPECT_EQ(windows.WindowCount(), 0);
  EXPECT_EQ(axes.Calls, (std::vector<int>{doBegin, doRead, doRead, doRead, doRead, doEnd}));
  EXPECT_EQ(curves.Calls, (std::vector<int>{doBegin, doRead, doRead, doEnd}));
  EXPECT_TRUE(log.Has("***INFO: read Y"));

  auto saved = StrToObj(ReadFile("drive.qvc"));
  auto* root = CastObj<TSLDictionary>(saved.Get());
  auto* info = CastObj<TSLDictionary>(root->GetObjWithName("Info"));
  EXPECT_EQ(info->GetStrWithName("Type"), "Quarvo configuration");
  EXPECT_EQ(info->GetInt64WithName("Version"), 1);
  auto items = ConfigurationItems(saved.Get());
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(ItemType(*items[2]), "CurveData");
  EXPECT_EQ(items[1]->GetInt64WithName("Value"), -20);

  axes.Values.clear();
  curves.Values = {{"Old", 1}};
  axes.Calls.clear();
  Run(modules, &TModuleService::LoadConfigurationAll);
  EXPECT_EQ(axes.Calls, (std::vector<int>{doBegin, doPrepare, doPrepare, doWrite, doWrite, doEnd}));
  EXPECT_EQ(axes.Values, (std::vector<std::pair<std::string, int64_t>>{{"X", 10}, {"Y", -20}}));
  EXPECT_EQ(curves.Values, (std::vector<std::pair<std::string, int64_t>>{{"Ramp", 7}}));
  EXPECT_EQ(modules.DataItemCount(), 3);
}

TEST_F(Configurations, TheUsersChoiceDecidesWhatIsSavedAndACancelWritesNothing) {
  TModuleService& modules = MakeDevice();
  TTestCheckDialog dialog;
  SetModuleCheckDialog(&dialog);
  modules.ConfigurationFileName = Root() + "drive.qvc";
  WriteFile("drive.qvc", "previous");

  dialog.Cancel = true;
  Run(modules, &TModuleService::SaveConfiguration);
  EXPECT_EQ(ReadFile("drive.qvc"), "previous");
  EXPECT_EQ(modules.DataItemCount(), 0);
  EXPECT_EQ(axes.Calls, (std::vector<int>{doBegin, doEnd}));

  dialog.Cancel = false;
  dialog.Untick = {"Axes"};
  Run(modules, &TModuleService::SaveConfiguration);
  auto items = ReadConfiguration(Root() + "drive.qvc");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(ItemType(*items[0]), "CurveData");

  // Save everything, then import only the curves.
  Run(modules, &TModuleService::SaveConfigurationAll);
  axes.Values.clear();
  curves.Values.clear();
  Run(modules, &TModuleService::LoadConfiguration);
  EXPECT_TRUE(axes.Values.empty());
  EXPECT_EQ(curves.Values.size(), 1u);
  EXPECT_EQ(dialog.Captions, (std::vector<std::string>{"Select the data to be saved. / Save All",
                                                       "Select the data to be saved. / Save All",
                                                       "Select the data to be imported. / Import All"}));
  dialog.Cancel = true;
  Run(modules, &TModuleService::LoadConfiguration);
  EXPECT_TRUE(axes.Values.empty());
  EXPECT_EQ(modules.DataItemCount(), 0);
}

TEST_F(Configurations, ABrokenFileImportsNothing) {
  TModuleService& modules = MakeDevice();
  WriteFile("broken.qvc", "[D /Info [D ] /Items [A [D /Info [D /Type 'AxisData' ] /Value 1 ] 5 ] ]");
  modules.ConfigurationFileName = Root() + "broken.qvc";
  Run(modules, &TModuleService::LoadConfigurationAll);
  EXPECT_EQ(axes.Calls, (std::vector<int>{doBegin, doEnd}));
  EXPECT_EQ(axes.Values.size(), 2u);
  EXPECT_TRUE(log.Has("***ERROR: couldn't load file '" + Root() + "broken.qvc' (Invalid class typecast)"));

  modules.ConfigurationFileName = Root() + "missing/dir/x.qvc";
  Run(modules, &TModuleService::SaveConfigurationAll);
  bool saveError = false;
  for (const std::string& line : log.Lines)
    saveError |= line.rfind("***ERROR: couldn't save file '" + Root() + "missing/dir/x.qvc' (", 0) == 0;
  EXPECT_TRUE(saveError) << ::testing::PrintToString(log.Lines);
}

TEST_F(Configurations, TreesThatMatchNoModuleStopTheImport) {
  TModuleService& modules = MakeDevice({"QVDRIVE_CONTROL_V3S1", "QVMOTION_CURVES_V2S0"});
  TValueInterface parameters{"Parameters", "Parameters"};
  modules.RegisterDataInterface(parameters);
  auto item = [](const char* tree) {
    return StrFormat("[D /Info [D /Type 'Parameters' /Name '%s' ] /ParameterTreeData [D /TreeName '%s' ] /Value 3 ]",
                     tree, tree);
  };
  WriteFile("newer.qvc", "[D /Info [D ] /Items [A " + std::string(item("QVDRIVE_OTHER_V3S2")) + item("QVMOTION_CURVES_V2S0") +
                             item("QVDRIVE_CONTROL_V3S2") + "] ]");
  modules.ConfigurationFileName = Root() + "newer.qvc";
  Run(modules, &TModuleService::LoadConfigurationAll);
  EXPECT_TRUE(parameters.Values.empty());
  EXPECT_EQ(modules.ConfigurationTrees(),
            (std::vector<std::string>{"QVDRIVE_OTHER_V3S2", "QVMOTION_CURVES_V2S0", "QVDRIVE_CONTROL_V3S2"}));
  EXPECT_EQ(modules.CompatibleTrees(), std::vector<std::string>{"QVMOTION_CURVES_V2S0"});
  ASSERT_EQ(ui.Boxes.size(), 1u);
  EXPECT_EQ(ui.Boxes[0],
            "The parameter trees in the configuration files are not compatible with the parameter trees into the "
            "controller!\rThis configuration cannot be imported!\r\rController trees: \r\rQVDRIVE_CONTROL_V3S1\r"
            "QVMOTION_CURVES_V2S0\r\rConfiguration trees: \r\rQVDRIVE_OTHER_V3S2\rQVMOTION_CURVES_V2S0\r"
            "QVDRIVE_CONTROL_V3S2\r");

  Run(modules, &TModuleService::LoadConfigurationAllAnySubversion);
  EXPECT_EQ(parameters.Values.size(), 3u);
  EXPECT_EQ(ui.Boxes.size(), 1u);
}

TEST_F(Configurations, InterfacesRegisterOnceAndUnknownItemTypesAreSkipped) {
  TModuleService& modules = MakeDevice();
  ExpectError([&] { modules.RegisterDataInterface(axes); },
              "TModuleService.RegisterDataInterface: interface 'Axes' already registered");
  TValueInterface clash{"Clash", "axisdata"};
  ExpectError([&] { modules.RegisterDataInterface(clash); },
              "TModuleService.RegisterDataInterface: data type 'axisdata' already registered");
  EXPECT_EQ(modules.FindDataInterface("AXISDATA"), &axes);
  EXPECT_EQ(modules.FindDataInterface("Other"), nullptr);

  // An interface that names a type nobody handles gets the warning; the run goes on.
  TValueInterface stray{"Stray", "StrayData"};
  stray.Values = {{"S", 1}};
  modules.RegisterDataInterface(stray);
  modules.UnregisterDataInterface(stray);
  modules.RegisterDataInterface(stray);
  struct TRetype : TValueInterface {
    using TValueInterface::TValueInterface;
    void InitItem(int index, TDataItem& item) override {
      TValueInterface::InitItem(index, item);
      item.SetType("Nobody");
    }
  } retype{"Retype", "RetypeData"};
  retype.Values = {{"R", 1}};
  modules.RegisterDataInterface(retype);
  modules.ConfigurationFileName = Root() + "x.qvc";
  Run(modules, &TModuleService::SaveConfigurationAll);
  EXPECT_TRUE(log.Has("***WARNING: no data interface found for type with name 'Nobody'"));
  EXPECT_EQ(ReadConfiguration(Root() + "x.qvc").size(), 5u);
  modules.UnregisterDataInterface(retype);
  modules.UnregisterDataInterface(stray);
}

TEST_F(Configurations, OfflineModulesNeedReadableTreeFiles) {
  TDevice& device = devices->CreateDevice("Stored1", "Stored");
  device.CreateServices();
  auto& modules = dynamic_cast<TModuleService&>(device.GetService("ModuleService"));
  WriteFile("ParTrees/GOOD_A_V1S0.IN2", "[D ]");
  WriteFile("ParTrees/BAD_A_V1S0.IN2", "[A ]");
  for (const char* name : {"GOOD_A_V1S0", "BAD_A_V1S0"}) {
    auto module = std::make_unique<TModuleItem>();
    module->Name = name;
    modules.AddModule(std::move(module));
  }
  StartDevice(device);
  EXPECT_EQ(modules.State(), ssError);
  EXPECT_EQ(modules.ModuleCount(), 0);
  EXPECT_TRUE(log.Has("***ERROR: couldn't load module 'BAD_A_V1S0' (Invalid class typecast)"));
  EXPECT_EQ(device.DeviceState(), dsError);
}

// A child process writes one large configuration over the file and is killed while it writes.
TEST(ConfigurationFile, AKilledSaveLeavesThePreviousFileIntact) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tolvek_kill_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string target = (dir / "drive.qvc").string();
  {
    TStorageManager storage;
    InstallStorage(storage, dir.string() + "/");
    std::vector<std::unique_ptr<TDataItem>> items;
    items.push_back(std::make_unique<TDataItem>());
    items.back()->SetType("AxisData");
    items.back()->Data().SetInt64WithName("Value", 42);
    WriteConfiguration(target, MakeConfiguration(items).Get());
    TRefObjManager::Instance().ReleasePool();
  }
  const std::string previous = [&] {
    std::ifstream in(target, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }();

  const pid_t child = ::fork();
  if (child == 0) {
    TStorageManager storage;
    InstallStorage(storage, dir.string() + "/");
    std::vector<std::unique_ptr<TDataItem>> items;
    for (int i = 0; i < 200000; ++i) {
      items.push_back(std::make_unique<TDataItem>());
      items.back()->SetType("AxisData");
      items.back()->Data().SetStrWithName("Text", std::string(64, 'x'));
    }
    WriteConfiguration(target, MakeConfiguration(items).Get());
    ::_exit(0);
  }
  ASSERT_GT(child, 0);
  // Kill it once its temporary file exists: the write is then under way.
  bool writing = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!writing && std::chrono::steady_clock::now() < deadline) {
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      writing |= entry.path().filename().string().rfind(".drive.qvc.", 0) == 0;
    if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(writing);

  std::ifstream in(target, std::ios::binary);
  const std::string now((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(now, previous);
  auto items = ConfigurationItems(StrToObj(now).Get());
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0]->GetInt64WithName("Value"), 42);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tolvek::testing
