#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/object_registry.h"
#include "platform/error.h"
#include "platform/user_interface.h"

namespace tolvek {
namespace {

class RecordingUserInterface : public THeadlessUserInterface {
public:
  TMsgDlgButton MessageBox(const std::string& text, TMsgDlgType, unsigned, TMsgDlgButton def) override {
    shown.push_back(text);
    return def;
  }
  std::vector<std::string> shown;
};

TEST(CommandLine, SwitchesModeAndDuplicates) {
  RecordingUserInterface ui;
  TCommandLine cl = ParseCommandLine(
      {"client", "10.0.0.5", "-INIFile:Lab.ini", "-Script:C:\\run\\x.sct", "-NoForm",
       "-inifile:Other.ini", "-script:y.sct"},
      ui);
  EXPECT_EQ(cl.Mode, TProgramMode::pmClient);
  EXPECT_EQ(cl.ServerAddress, "10.0.0.5");
  EXPECT_EQ(cl.SwitchValue("INIFile"), "Lab.ini");           // first value stays
  EXPECT_EQ(cl.SwitchValue("script"), "C:\\run\\x.sct");     // everything after the first colon
  EXPECT_TRUE(cl.HasSwitch("noform"));
  EXPECT_EQ(cl.SwitchValue("NoForm"), "");
  EXPECT_FALSE(cl.HasSwitch("Debug"));
  EXPECT_EQ(ui.shown, (std::vector<std::string>{
                          "Error: Command Line Parameter Duplication of '-inifile'",
                          "Error: Command Line Parameter Duplication of '-script'"}));
  EXPECT_EQ(cl.Positional, (std::vector<std::string>{"client", "10.0.0.5"}));
}

TEST(CommandLine, ModeWordOnlyFromTheFirstArgument) {
  RecordingUserInterface ui;
  const std::pair<std::vector<std::string>, TProgramMode> cases[] = {
      {{}, TProgramMode::pmNormal},
      {{"Server"}, TProgramMode::pmServer},
      {{"DEVELOP", "-NoAuto"}, TProgramMode::pmDevelop},
      {{"-NoForm", "SERVER"}, TProgramMode::pmNormal},
      {{"servers"}, TProgramMode::pmNormal}};
  for (const auto& [args, mode] : cases) EXPECT_EQ(ParseCommandLine(args, ui).Mode, mode);
  EXPECT_EQ(ParseCommandLine({"CLIENT"}, ui).ServerAddress, "");
}

TEST(ObjectRegistry, RegistersOnceByExactName) {
  TObjectRegistryManager registry;
  int scheduler = 0;
  registry.RegisterObject(&scheduler, "MainScheduler", "MxScheduler", 1, 0);
  EXPECT_TRUE(registry.IsRegistered("MainScheduler"));
  EXPECT_FALSE(registry.IsRegistered("mainscheduler"));
  registry.RegisterObject(&scheduler, "mainscheduler", "MxScheduler", 1, 0);
  try {
    registry.RegisterObject(nullptr, "MainScheduler", "x", 1, 0);
    FAIL();
  } catch (const EError& e) {
    EXPECT_STREQ(e.what(),
                 "TObjectRegistryManager:RegisterObject: object with name 'MainScheduler' already "
                 "registered");
  }
  ASSERT_EQ(registry.Count(), 2);
  EXPECT_EQ(registry.Item(0).type, "MxScheduler");
  EXPECT_EQ(registry.Find("MainScheduler"), &scheduler);
}

}  // namespace
}  // namespace tolvek
