// Reads the demo installation laid out beside the executables, as the program does at start.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/installation.h"
#include "app/program_registry.h"
#include "app/startup_configuration.h"
#include "platform/error.h"
#include "platform/file_paths.h"
#include "platform/user_interface.h"
#include "script/sl_array.h"
#include "script/sl_scalar.h"
#include "script/storage_manager.h"

namespace tolvek {
namespace {

class DemoInstallation : public ::testing::Test {
protected:
  void SetUp() override {
    ::setenv("TOLVEK_HOME", TOLVEK_BIN_DIR, 1);
    storage_ = std::make_unique<TStorageManager>();
    InstallStorage(*storage_, InstallDir());
  }
  void TearDown() override {
    storage_.reset();
    TRefObjManager::Instance().ReleasePool();
    ::unsetenv("TOLVEK_HOME");
  }
  std::unique_ptr<TStorageManager> storage_;
};

TEST_F(DemoInstallation, MainConfigurationHasEverySection) {
  TProgramRegistry registry;
  registry.LoadFromStorage(*storage_, "archive://Archives\\Config\\Halvic.ini");
  for (const char* section : {"ViewInfo", "AUTOLOGIN", "Login", "COMMUNICATION", "Devices",
                              "Oscilloscope", "Variable", "Parameter", "Login\\Profiles",
                              "Login\\DevicePort", "Login\\DeviceType", "Devices\\Profiles"})
    EXPECT_NO_THROW(registry.GetDirKey(section)) << section;
  EXPECT_EQ(CastObj<TSLLongint>(registry.GetKey("communication\\tp2baud"))->GetInt64(), 38400);
  EXPECT_TRUE(CastObj<TSLBoolean>(registry.GetKey("AUTOLOGIN\\Auto"))->GetValue());

  // Every service of every device profile leads to a service profile naming its class.
  TSLDictionary* profiles = registry.GetDirKey("Devices\\Profiles");
  for (int32_t p = 0; p < profiles->GetCount(); ++p) {
    auto* services = CastObj<TSLArray>(CastObj<TSLDictionary>(profiles->GetObjAtIndex(p))
                                           ->GetObjWithName("Services"));
    for (int32_t s = 0; s < services->GetCount(); ++s) {
      auto* service = CastObj<TSLDictionary>(services->GetObjAtIndex(s));
      TSLDictionary* serviceProfile = registry.GetDirKey(service->GetStrWithName("Profile"));
      EXPECT_FALSE(serviceProfile->GetStrWithName("Name").empty());
    }
  }
  auto* online = CastObj<TSLDictionary>(profiles->GetObjWithName("QuarvoOnline"));
  EXPECT_EQ(CastObj<TSLArray>(online->GetObjWithName("Services"))->GetCount(), 14);
}

TEST_F(DemoInstallation, StartupReadsBothFilesAndKeepsTheirSections) {
  THeadlessUserInterface ui;
  TStartupConfiguration config;
  ReadStartupConfiguration(*storage_, ParseCommandLine({}, ui), InstallDir(), config);
  EXPECT_EQ(config.ViewInfo->GetStrWithName("Name"), "Tolvek");
  EXPECT_EQ(config.AutoLogin->GetStrWithName("Profile"), "QuarvoOnline");
  EXPECT_EQ(config.ViewConfig->GetStrWithName("Language"), "English");
  EXPECT_EQ(config.ViewConfig->GetStrWithName("UnitSystem"), "Metric");

  // Another main configuration that does not exist fails with the storage manager's text.
  TStartupConfiguration other;
  try {
    ReadStartupConfiguration(*storage_, ParseCommandLine({"-INIFile:Lab.ini"}, ui), InstallDir(),
                             other);
    FAIL();
  } catch (const EError& e) {
    EXPECT_EQ(e.Message(), "object 'Archives\\Config\\Lab.ini' not found");
  }
}

}  // namespace
}  // namespace tolvek
