// The device manager: the devices by name, the service classes by registered name, the device
// profiles of the configuration's "Devices" section and the tree model whose "Project" root
// holds every device's item.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "devices/device.h"
#include "devices/model_manager.h"
#include "script/ref_obj.h"
#include "script/sl_dictionary.h"

namespace tolvek {

class TDeviceService;
class TProgramRegistry;

// Makes a service of one class for a device, from its service profile.
using TDeviceServiceClass = std::function<std::unique_ptr<TDeviceService>(TDevice& device, TSLDictionary* profile)>;

// The class entry of a service type T constructed with (device, profile).
template <class T>
TDeviceServiceClass DeviceServiceClass() {
  return [](TDevice& device, TSLDictionary* profile) { return std::make_unique<T>(device, profile); };
}

class TDeviceManager {
public:
  // Reads the "Devices" section of `configuration` (its failure passes on) and makes the tree
  // model with its "Project" root. Needs the main scheduler.
  explicit TDeviceManager(TProgramRegistry& configuration);
  // Deletes every device still there, then the model.
  ~TDeviceManager();
  TDeviceManager(const TDeviceManager&) = delete;
  TDeviceManager& operator=(const TDeviceManager&) = delete;

  const char* ClassName() const { return "TDeviceManager"; }

  // Registers a service class; a name in use (any letter case) fails.
  void RegisterDeviceService(const std::string& name, TDeviceServiceClass serviceClass);
  // The class registered as `name`, or a failure naming it.
  const TDeviceServiceClass& GetServiceClass(const std::string& name) const;

  // A new device `name` from the device profile `profileName`, its item under the root; its
  // services are not made yet. Names are unique without regard to case.
  TDevice& CreateDevice(const std::string& name, const std::string& profileName);
  // Removes and frees a listed device (its services first); others are ignored. Allowed from
  // the device's own completion callback.
  void DeleteDevice(TDevice* device);
  TDevice& GetDevice(const std::string& name) const;
  TDevice& GetDeviceAtIndex(int index) const;
  bool DeviceExists(const std::string& name) const;
  int DeviceCount() const { return static_cast<int>(devices_.size()); }
  // GetService of GetDevice; both failures pass on.
  TDeviceService& GetDeviceService(const std::string& deviceName, const std::string& serviceName) const;
  // False for an unknown device, else HasService.
  bool DeviceHasService(const std::string& deviceName, const std::string& serviceName) const;

  TModelManager& TreeModel() { return *treeModel_; }
  TProgramRegistry& Configuration() const { return configuration_; }
  TSLDictionary* DevicesSection() const { return devicesSection_.Get(); }

private:
  friend class TDevice;

  // Keeps a task whose device was freed during the task's own slice, until the slice is over.
  void RetireTask(std::unique_ptr<TMxTask> task);
  void FreeRetiredTasks();
  // Position of `name` in the sorted list, and whether it is there.
  std::pair<size_t, bool> FindDevice(const std::string& name) const;

  TProgramRegistry& configuration_;
  TRef<TSLDictionary> devicesSection_;
  std::unique_ptr<TModelManager> treeModel_;
  std::vector<std::pair<std::string, std::unique_ptr<TDevice>>> devices_;
  std::vector<std::pair<std::string, TDeviceServiceClass>> serviceClasses_;
  std::vector<std::unique_ptr<TMxTask>> retiredTasks_;
};

}  // namespace tolvek
