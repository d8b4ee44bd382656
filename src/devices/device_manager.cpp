// The device manager: devices, service classes and the tree model they hang in.
#include "devices/device_manager.h"

#include <algorithm>

#include "app/program_registry.h"
#include "devices/device_service.h"
#include "platform/error.h"
#include "platform/text_format.h"
#include "script/name_compare.h"

namespace tolvek {

namespace {
constexpr int kProjectImage = 13;
}

TDeviceManager::TDeviceManager(TProgramRegistry& configuration)
    : configuration_(configuration), devicesSection_(configuration.GetDirKey("Devices")) {
  treeModel_ = std::make_unique<TModelManager>();
  TModelUpdate update(*treeModel_);
  treeModel_->Root().SetCaption("Project");
  treeModel_->Root().SetImageIndex(kProjectImage);
}

TDeviceManager::~TDeviceManager() {
  while (!devices_.empty()) DeleteDevice(devices_.back().second.get());
  retiredTasks_.clear();
  treeModel_.reset();
}

void TDeviceManager::RegisterDeviceService(const std::string& name, TDeviceServiceClass serviceClass) {
  const auto position = std::lower_bound(serviceClasses_.begin(), serviceClasses_.end(), name,
                                         [](const auto& entry, const std::string& key) {
                                           return CompareNames(entry.first, key) < 0;
                                         });
  if (position != serviceClasses_.end() && SameName(position->first, name))
    throw EError(StrFormat("%s.RegisterDeviceService: service with name '%s' already registered", ClassName(),
                           name));
  serviceClasses_.insert(position, {name, std::move(serviceClass)});
}

const TDeviceServiceClass& TDeviceManager::GetServiceClass(const std::string& name) const {
  const auto position = std::lower_bound(serviceClasses_.begin(), serviceClasses_.end(), name,
                                         [](const auto& entry, const std::string& key) {
                                           return CompareNames(entry.first, key) < 0;
                                         });
  if (position == serviceClasses_.end() || !SameName(position->first, name))
    throw EError(StrFormat("%s.GetServiceClass: a service with name '%s' ist not registered", ClassName(), name));
  return position->second;
}

std::pair<size_t, bool> TDeviceManager::FindDevice(const std::string& name) const {
  const auto position = std::lower_bound(devices_.begin(), devices_.end(), name,
                                         [](const auto& entry, const std::string& key) {
                                           return CompareNames(entry.first, key) < 0;
                                         });
  const size_t index = static_cast<size_t>(position - devices_.begin());
  return {index, position != devices_.end() && SameName(position->first, name)};
}

TDevice& TDeviceManager::CreateDevice(const std::string& name, const std::string& profileName) {
  FreeRetiredTasks();
  const auto [position, found] = FindDevice(name);
  if (found) throw EError(StrFormat("%s.CreateDevice: device with name '%s' already exists", ClassName(), name));
  if (!devicesSection_->Known("Profiles"))
    throw EError(StrFormat("%s.CreateDevice: no device profiles defined in registry", ClassName()));
  auto* profiles = CastObj<TSLDictionary>(devicesSection_->GetObjWithName("Profiles"));
  if (!profiles->Known(profileName))
    throw EError(StrFormat("%s.CreateDevice: profile with name '%s' doesn't exist", ClassName(), profileName));
  auto* profile = CastObj<TSLDictionary>(profiles->GetObjWithName(profileName));

  TModelUpdate update(*treeModel_);
  auto device = std::make_unique<TDevice>(*this, profile, name);
  TDevice& created = *device;
  devices_.insert(devices_.begin() + static_cast<std::ptrdiff_t>(position), {name, std::move(device)});
  treeModel_->Root().AddChild(created.TreeItem());
  return created;
}

void TDeviceManager::DeleteDevice(TDevice* device) {
  FreeRetiredTasks();
  const auto listed = std::find_if(devices_.begin(), devices_.end(),
                                   [device](const auto& entry) { return entry.second.get() == device; });
  if (listed == devices_.end()) return;
  std::unique_ptr<TDevice> owned = std::move(listed->second);
  devices_.erase(listed);
  treeModel_->Root().RemoveChild(owned->TreeItem());
  owned.reset();
}

TDevice& TDeviceManager::GetDevice(const std::string& name) const {
  const auto [position, found] = FindDevice(name);
  if (!found) throw EError(StrFormat("%s.GetDevice: device with name '%s' not found", ClassName(), name));
  return *devices_[position].second;
}

TDevice& TDeviceManager::GetDeviceAtIndex(int index) const {
  if (index < 0 || index >= DeviceCount())
    throw EError(StrFormat("%s.GetDeviceAtIndex: index out of bounds", ClassName()));
  return *devices_[static_cast<size_t>(index)].second;
}

bool TDeviceManager::DeviceExists(const std::string& name) const { return FindDevice(name).second; }

TDeviceService& TDeviceManager::GetDeviceService(const std::string& deviceName,
                                                 const std::string& serviceName) const {
  return GetDevice(deviceName).GetService(serviceName);
}

bool TDeviceManager::DeviceHasService(const std::string& deviceName, const std::string& serviceName) const {
  return DeviceExists(deviceName) && GetDevice(deviceName).HasService(serviceName);
}

void TDeviceManager::RetireTask(std::unique_ptr<TMxTask> task) { retiredTasks_.push_back(std::move(task)); }

void TDeviceManager::FreeRetiredTasks() {
  std::erase_if(retiredTasks_, [](const std::unique_ptr<TMxTask>& task) { return !task->Running(); });
}

}  // namespace tolvek
