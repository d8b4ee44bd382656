// A device: one logged-in drive (or an offline or archived stand-in for one) with its
// variables, its tree item and its services, which it starts front to back and stops back to
// front in repeated passes on its own task.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devices/model_item.h"
#include "kernel/task.h"
#include "kernel/task_control.h"
#include "script/ref_obj.h"
#include "script/sl_dictionary.h"

namespace tolvek {

class TDeviceManager;
class TDeviceService;

enum TDeviceState : uint8_t {
  dsStopped = 0,
  dsStarting = 1,
  dsStarted = 2,
  dsStopping = 3,
  dsError = 4,
  dsDestroying = 5,
};

enum TDeviceType : uint8_t { dtUnknown = 0, dtOnline = 1, dtOffline = 2, dtArchive = 3 };

class TDevice : public TModelItemOwner {
public:
  // Called with the device when a start or stop walk ends; it may delete the device.
  using TCompletion = std::function<void(TDevice& device)>;

  // Reads the type and the initial variables from `profile` (retained), makes the tree item
  // (captioned `name`, not yet in the tree) and starts the task on the main scheduler.
  TDevice(TDeviceManager& manager, TSLDictionary* profile, const std::string& name);
  // Frees the services (last first), then the tree item, the task and the signal. Allowed from
  // the device's own completion callback.
  ~TDevice() override;
  TDevice(const TDevice&) = delete;
  TDevice& operator=(const TDevice&) = delete;

  const char* ClassName() const { return "TDevice"; }

  // Creates the services of the profile's "Services" list in order; a failing element is
  // written to the debug log as an error and the next one is made.
  void CreateServices();
  // Makes, names and initialises a service of the class the profile's "Name" selects, and
  // lists it last. A name in use fails.
  TDeviceService& CreateService(const std::string& name, TSLDictionary* serviceProfile);
  // The service `name` (any letter case), or "%s.GetService: service with name '%s' not found".
  TDeviceService& GetService(const std::string& name) const;
  bool HasService(const std::string& name) const;
  int ServiceCount() const { return static_cast<int>(services_.size()); }
  TDeviceService& ServiceAt(int index) const;

  // From "Stopped" only ("%s.StartupServices: device not ready"): starts the start walk;
  // `completion` runs when it ends.
  void StartupServices(TCompletion completion);
  // From "Started" only ("%s.ShutDownServices: device not ready"): starts the stop walk.
  void ShutDownServices(TCompletion completion);

  // Replaces or adds a variable.
  void SetDeviceVar(const std::string& name, const std::string& value);
  // A stored variable wins; else "DeviceName", "DeviceStatus" and "DeviceType" are answered
  // from the device, anything else with "".
  std::string GetDeviceVar(const std::string& name) const;
  // A service's state changed: wakes the walk when it is the service the walk waits for.
  void ServiceStateChanged(TDeviceService& service, uint8_t state);

  const std::string& Name() const { return name_; }
  TDeviceManager& Manager() const { return manager_; }
  TSLDictionary* Profile() const { return profile_.Get(); }
  uint8_t DeviceType() const { return deviceType_; }
  uint8_t DeviceState() const { return deviceState_; }
  TModelItem& TreeItem() const { return *treeItem_; }
  // Passes of the current or last walk after the first.
  int PassCount() const { return passCount_; }

private:
  void Work();
  // One step of the walks; answer false when the device was freed by its completion.
  bool StartStep();
  bool StopStep();
  // Calls and clears the completion; false when it freed the device.
  bool Complete();
  // After a service's Start or Stop: the walk moves by `step` unless the service asked to
  // wait; then it sleeps unless the service is `done` already.
  void AfterServiceCall(bool wait, bool done, int step);

  TDeviceManager& manager_;
  std::string name_;
  TRef<TSLDictionary> profile_;
  uint8_t deviceType_ = dtUnknown;
  std::vector<std::unique_ptr<TDeviceService>> services_;
  int currentIndex_ = 0;
  TDeviceService* currentService_ = nullptr;
  uint8_t deviceState_ = dsStopped;
  std::unique_ptr<TMxSignal> signal_;
  std::unique_ptr<TMxTask> task_;
  TCompletion completion_;
  int passCount_ = 0;
  bool progress_ = false;
  TRef<TSLDictionary> variables_;
  TModelItem* treeItem_ = nullptr;
  // While a slice runs: set by the destructor, so that the slice leaves the device alone.
  bool* destroyedFlag_ = nullptr;
};

}  // namespace tolvek
