// The system assembly: the one built-in table of which port drivers the Talk server owns and
// under which names, which Talk pattern classes exist, which device service classes a device
// profile may name, and which managers are created between those registrations, executed once
// at start-up in its fixed order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "devices/device_manager.h"

namespace tolvek {

class TPortDriver;
class TProgramRegistry;
class TTalkClient;
class TTalkServer;
class TUnitManager;

// The speed of the eight RS port drivers: 38400, replaced by the switch "TP2BAUD" (decimal
// text), replaced by the "COMMUNICATION" section's integer "TP2BAUD", so the configuration file
// wins. A switch that is no number fails with the integer conversion error, a missing section
// with the configuration holder's error.
uint32_t RsBaudRate(const TCommandLine& commandLine, TProgramRegistry& configuration);

class TSystemAssembly {
public:
  // Speed of the TP1 port drivers, whatever the configuration says.
  static constexpr uint32_t kTp1BaudRate = 9600;
  static constexpr uint32_t kDefaultRsBaudRate = 38400;

  // Runs the assembly in its fixed order: the mode, the RS baud rate, the Talk server with its
  // ten port drivers, the Talk client with its pattern classes, then the device manager with
  // the service classes and the managers created between them. Needs the main scheduler and
  // the message dispatcher, and no node logged on yet: the Talk server's queues must become
  // nodes 0 and 1. A failure ends the assembly at its step, frees what was made and passes on.
  TSystemAssembly(const TCommandLine& commandLine, TProgramRegistry& configuration);
  // Frees in reverse order: devices and managers before the Talk client and the Talk server.
  ~TSystemAssembly();
  TSystemAssembly(const TSystemAssembly&) = delete;
  TSystemAssembly& operator=(const TSystemAssembly&) = delete;

  TProgramMode Mode() const { return mode_; }
  uint32_t BaudRate() const { return baudRate_; }
  TTalkServer& TalkServer() const { return *talkServer_; }
  TTalkClient& TalkClient() const { return *talkClient_; }
  TDeviceManager& DeviceManager() const { return *deviceManager_; }
  TUnitManager& UnitManager() const { return *unitManager_; }
  // The port drivers (owned by the Talk server) with their names, in registration order.
  const std::vector<std::pair<std::string, TPortDriver*>>& PortDrivers() const { return portDrivers_; }

private:
  struct TServiceRow;

  void AddPortDriver(const std::string& name, std::unique_ptr<TPortDriver> driver);
  void RegisterServices();
  // Service classes made with (device, profile), and those that also take the Talk client.
  template <class T>
  TDeviceServiceClass PlainClass() const;
  template <class T>
  TDeviceServiceClass TalkClientClass() const;
  void CreateUnitManager();

  TProgramMode mode_ = TProgramMode::pmNormal;
  uint32_t baudRate_ = kDefaultRsBaudRate;
  std::vector<std::pair<std::string, TPortDriver*>> portDrivers_;
  std::unique_ptr<TTalkServer> talkServer_;
  std::unique_ptr<TTalkClient> talkClient_;
  std::unique_ptr<TDeviceManager> deviceManager_;
  std::unique_ptr<TUnitManager> unitManager_;
};

}  // namespace tolvek
