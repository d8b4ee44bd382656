// Shared pieces of the service tests: a scratch installation directory with a storage manager
// as the program sets it up, a main scheduler on a headless loop, a debug log and a user
// interface that record what they are given, and a device manager with the service classes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "../kernel/kernel_test_support.h"
#include "app/installation.h"
#include "app/program_registry.h"
#include "comm/talk_client.h"
#include "devices/device.h"
#include "devices/device_manager.h"
#include "platform/debug_log.h"
#include "platform/error.h"
#include "platform/text_format.h"
#include "platform/user_interface.h"
#include "script/object_text.h"
#include "script/ref_obj.h"
#include "script/storage_manager.h"
#include "../support/scratch_installation.h"

namespace tolvek::testing {

class TRecordingLog : public TDebugLog {
public:
  void Subscribe(int, TDebugSubscription, const void*) override {}
  void Unsubscribe(const void*) override {}
  void EnableChannel(int) override {}
  bool ChannelEnabled(int) const override { return false; }
  void Output(int, uint16_t, const std::string& text) override { Lines.push_back(text); }
  bool Has(const std::string& line) const {
    for (const std::string& seen : Lines)
      if (seen == line) return true;
    return false;
  }
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

// The scratch installation and the headless program around the services.
class ServicesFixture : public TMainSchedulerFixture, protected testing::TScratchInstallation {
protected:
  ServicesFixture() : TScratchInstallation("tolvek_services", false) {
    storage = std::make_unique<TStorageManager>();
    InstallStorage(*storage, Root());
    SetDebugLog(&log);
    SetUserInterface(&ui);
    talkClient.RegisterStandardPatterns();
  }

  ~ServicesFixture() override {
    devices.reset();
    SetUserInterface(nullptr);
    SetDebugLog(nullptr);
    storage.reset();
    TRefObjManager::Instance().ReleasePool();
  }

  // A device manager whose "Devices" section is `devicesText`.
  TDeviceManager& MakeDevices(const std::string& devicesText) {
    configuration.SetKey("Devices", StrToObj(devicesText).Get());
    devices = std::make_unique<TDeviceManager>(configuration);
    return *devices;
  }

  // Starts the device's services and waits until the walk ends.
  void StartDevice(TDevice& device) {
    bool done = false;
    device.StartupServices([&](TDevice&) { done = true; });
    ASSERT_TRUE(RunUntil([&] { return done; }));
  }
  void StopDevice(TDevice& device) {
    bool done = false;
    device.ShutDownServices([&](TDevice&) { done = true; });
    ASSERT_TRUE(RunUntil([&] { return done; }));
  }

  TRecordingLog log;
  TRecordingUserInterface ui;
  std::unique_ptr<TStorageManager> storage;
  TTalkClient talkClient;
  TProgramRegistry configuration;
  std::unique_ptr<TDeviceManager> devices;
};

// The demo installation's sources.
inline std::string SourceInstallDir() { return std::string(TOLVEK_TEST_DATA_DIR) + "/../../../install/"; }

}  // namespace tolvek::testing
