// The device service base and the dependency rule.
#include "devices/device_service.h"

#include "platform/debug_log.h"

namespace tolvek {

std::string ServiceStateName(uint8_t state) {
  switch (state) {
    case ssStopped: return "Stopped";
    case ssStarting: return "Starting";
    case ssStarted: return "Started";
    case ssStopping: return "Stopping";
    case ssError: return "Error";
    default: return "Unknown";
  }
}

TDeviceService::TDeviceService(TDevice& device, TSLDictionary* profile) : device_(device), profile_(profile) {
  SetState(ssStopped);
}

TDeviceService::~TDeviceService() = default;

void TDeviceService::Init() {}

void TDeviceService::GetInfo(const std::string&, std::string&, bool&) {}

void TDeviceService::SetState(uint8_t state) {
  state_ = state;
  if (OnStateChange) OnStateChange(*this, state);
}

std::string TDeviceService::GetServiceInfo(const std::string& name) {
  std::string value;
  bool handled = false;
  GetInfo(name, value, handled);
  if (handled) return value;
  if (name == "ServiceStatus") return ServiceStateName(state_);
  if (name == "ServiceName") return name_;
  if (name == "DeviceName") return device_.Name();
  return "";
}

bool TDeviceService::NeedServices(const std::vector<TServiceNeed>& needs) {
  // A missing partner is reported even when another one is merely late: waiting a pass would
  // not bring it.
  for (const TServiceNeed& need : needs) {
    if (!device_.HasService(need.Name)) {
      DebugError(need.MissingText);
      SetState(ssError);
      return false;
    }
  }
  for (const TServiceNeed& need : needs)
    if (device_.GetService(need.Name).State() != ssStarted) return false;
  return true;
}

}  // namespace tolvek
