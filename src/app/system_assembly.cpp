// The assembly table and the order it is executed in.
#include "app/system_assembly.h"

#include "app/program_registry.h"
#include "comm/rs_driver.h"
#include "comm/talk_client.h"
#include "comm/talk_server.h"
#include "comm/talk_service.h"
#include "comm/tp1_driver.h"
#include "devices/device_manager.h"
#include "devices/drive_service.h"
#include "devices/module_service.h"
#include "devices/status_service.h"
#include "devices/unit_manager.h"
#include "devices/unit_service.h"
#include "platform/number_text.h"
#include "script/sl_dictionary.h"

namespace tolvek {

// One registration of a device service class under the name device profiles use, and what is
// created right after it.
struct TSystemAssembly::TServiceRow {
  const char* Name;
  TDeviceServiceClass (TSystemAssembly::*Class)() const;
  void (TSystemAssembly::*CreateAfter)();
};

uint32_t RsBaudRate(const TCommandLine& commandLine, TProgramRegistry& configuration) {
  uint32_t baudRate = TSystemAssembly::kDefaultRsBaudRate;
  if (commandLine.HasSwitch("TP2BAUD"))
    baudRate = static_cast<uint32_t>(ParseInt(commandLine.SwitchValue("TP2BAUD")));
  TSLDictionary* communication = configuration.GetDirKey("COMMUNICATION");
  if (communication->Known("TP2BAUD")) baudRate = static_cast<uint32_t>(communication->GetInt64WithName("TP2BAUD"));
  return baudRate;
}

TSystemAssembly::TSystemAssembly(const TCommandLine& commandLine, TProgramRegistry& configuration) {
  mode_ = commandLine.Mode;
  baudRate_ = RsBaudRate(commandLine, configuration);

  talkServer_ = std::make_unique<TTalkServer>();
  for (int port = 1; port <= 8; ++port)
    AddPortDriver("COM" + std::to_string(port), std::make_unique<TRsDriver>(port, baudRate_));
  // The TP1 drivers share the first two lines with COM1 and COM2; the exclusive open keeps a
  // line to one of them at a time.
  AddPortDriver("OTP1", std::make_unique<TTp1Driver>(1, kTp1BaudRate));
  AddPortDriver("OTP2", std::make_unique<TTp1Driver>(2, kTp1BaudRate));

  talkClient_ = std::make_unique<TTalkClient>();
  talkClient_->RegisterStandardPatterns();

  deviceManager_ = std::make_unique<TDeviceManager>(configuration);
  RegisterServices();
}

TSystemAssembly::~TSystemAssembly() {
  // Devices close their Talk devices through the server and return actors to the client; the
  // managers go after the devices whose services use them.
  deviceManager_.reset();
  unitManager_.reset();
  talkClient_.reset();
  talkServer_.reset();
}

void TSystemAssembly::AddPortDriver(const std::string& name, std::unique_ptr<TPortDriver> driver) {
  TPortDriver* borrowed = driver.get();
  if (talkServer_->RegisterPort(name, std::move(driver))) portDrivers_.emplace_back(name, borrowed);
}

void TSystemAssembly::RegisterServices() {
  // The vocabulary of the device profiles, in the order the registrations and the managers
  // between them are made.
  using T = TSystemAssembly;
  static const TServiceRow kRows[] = {
      {"ModuleService", &T::TalkClientClass<TModuleService>, nullptr},
      {"TalkService", &T::PlainClass<TBasicTalkService>, nullptr},
      {"StatusService", &T::TalkClientClass<TStatusService>, nullptr},
      {"UnitService", &T::PlainClass<TUnitService>, &T::CreateUnitManager},
      {"DriveService", &T::PlainClass<TDriveService>, nullptr},
  };
  for (const TServiceRow& row : kRows) {
    deviceManager_->RegisterDeviceService(row.Name, (this->*row.Class)());
    if (row.CreateAfter) (this->*row.CreateAfter)();
  }
}

template <class T>
TDeviceServiceClass TSystemAssembly::PlainClass() const {
  return DeviceServiceClass<T>();
}

template <class T>
TDeviceServiceClass TSystemAssembly::TalkClientClass() const {
  TTalkClient* client = talkClient_.get();
  return [client](TDevice& device, TSLDictionary* profile) { return std::make_unique<T>(device, profile, *client); };
}

void TSystemAssembly::CreateUnitManager() {
  unitManager_ = std::make_unique<TUnitManager>();
  // A file it cannot read is reported by the manager itself; the assembly goes on.
  unitManager_->LoadUnits(TUnitManager::kUnitsUrl);
}

}  // namespace tolvek
