// The base of every device service: its name in the device, its profile, its state with the
// notification the device listens to, the information every service answers, and the
// dependency rule by which a starting service waits for the services it needs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "devices/device.h"
#include "devices/model_item.h"
#include "platform/error.h"
#include "script/ref_obj.h"
#include "script/sl_dictionary.h"

namespace tolvek {

// States of a service (and, with dsDestroying, of a device).
enum TServiceState : uint8_t {
  ssStopped = 0,
  ssStarting = 1,
  ssStarted = 2,
  ssStopping = 3,
  ssError = 4,
};

// "Stopped", "Starting", "Started", "Stopping", "Error", or "Unknown" for other values.
std::string ServiceStateName(uint8_t state);

// A service the starting service needs, and the error line written when its device lacks it
// ("couldn't start parameter service: talk service not found").
struct TServiceNeed {
  std::string Name;
  std::string MissingText;
};

class TDeviceService : public TModelItemOwner {
public:
  using TStateChangeCallback = std::function<void(TDeviceService& service, uint8_t state)>;

  // Stores device and profile (retained) and starts "Stopped".
  TDeviceService(TDevice& device, TSLDictionary* profile);
  ~TDeviceService() override;
  TDeviceService(const TDeviceService&) = delete;
  TDeviceService& operator=(const TDeviceService&) = delete;

  virtual const char* ClassName() const { return "TDeviceService"; }

  // Called once after construction and naming, before the device lists the service.
  virtual void Init();
  // One step of the device's start walk. A service that cannot start yet returns without a
  // state change; one that finishes later sets `wait`, and reports through SetState.
  virtual void Start(bool& wait) = 0;
  // One step of the device's stop walk, with `wait` as for Start.
  virtual void Stop(bool& wait) = 0;
  // Stops at once, without the walk.
  virtual void Kill() = 0;
  // Service-specific information; sets `handled` when it answers.
  virtual void GetInfo(const std::string& name, std::string& value, bool& handled);

  // Stores the state and tells the state-change callback. Every state change goes through it.
  void SetState(uint8_t state);
  uint8_t State() const { return state_; }
  // GetInfo first; otherwise "ServiceStatus", "ServiceName" and "DeviceName", else "".
  std::string GetServiceInfo(const std::string& name);

  TDevice& Device() const { return device_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  TSLDictionary* Profile() const { return profile_.Get(); }

  // Set by the device when it lists the service.
  TStateChangeCallback OnStateChange;

protected:
  // The dependency rule every Start follows: true when every needed service of the own device
  // is "Started". A missing one is final: its line is written to the debug log as an error and
  // this service enters "Error". One that exists but has not started yet answers false without
  // a state change, so that the device's next pass tries again.
  bool NeedServices(const std::vector<TServiceNeed>& needs);
  // The partner service `name` of the own device as a T (EInvalidCast when it is another kind);
  // the device's error when it has none.
  template <class T>
  T& Partner(const std::string& name) const;

private:
  TDevice& device_;
  std::string name_;
  TRef<TSLDictionary> profile_;
  uint8_t state_ = ssStopped;
};

template <class T>
T& TDeviceService::Partner(const std::string& name) const {
  auto* partner = dynamic_cast<T*>(&device_.GetService(name));
  if (!partner) throw EInvalidCast();
  return *partner;
}

}  // namespace tolvek
