// Devices: construction from the profile, services, variables and the start and stop walks.
#include "devices/device.h"

#include "app/program_registry.h"
#include "devices/device_manager.h"
#include "devices/device_service.h"
#include "platform/debug_log.h"
#include "platform/error.h"
#include "platform/text_format.h"
#include "script/name_compare.h"
#include "script/sl_array.h"
#include "script/sl_scalar.h"

namespace tolvek {

namespace {
constexpr int kDeviceImage = 87;
}

TDevice::TDevice(TDeviceManager& manager, TSLDictionary* profile, const std::string& name)
    : manager_(manager), name_(name), profile_(profile) {
  if (profile && profile->Known("DeviceType")) {
    const std::string& type = profile->GetStrWithName("DeviceType");
    if (type == "Online")
      deviceType_ = dtOnline;
    else if (type == "Offline")
      deviceType_ = dtOffline;
    else if (type == "Archive")
      deviceType_ = dtArchive;
  }

  // The variables come first: a profile they fail on leaves nothing behind.
  variables_ = MakeRef<TSLDictionary>();
  if (profile && profile->Known("DevVars")) {
    auto* vars = CastObj<TSLDictionary>(profile->GetObjWithName("DevVars"));
    for (int32_t i = 0; i < vars->GetCount(); ++i) {
      TSLObject* value = vars->GetObjAtIndex(i);
      if (auto* text = dynamic_cast<TSLString*>(value))
        SetDeviceVar(vars->GetNameAtIndex(i), text->GetText());
      else if (auto* number = dynamic_cast<TSLNumber*>(value))
        SetDeviceVar(vars->GetNameAtIndex(i), number->GetString());
    }
  }

  treeItem_ = &manager.TreeModel().NewItem(this);
  treeItem_->SetCaption(name);
  treeItem_->SetImageIndex(kDeviceImage);
  treeItem_->SetTextCallback([this](const std::string& varName) { return GetDeviceVar(varName); });

  signal_ = std::make_unique<TMxSignal>();
  task_ = std::make_unique<TMxTask>();
  task_->OnExecute = [this](TMxTask&) { Work(); };
  task_->Start();

}

TDevice::~TDevice() {
  if (destroyedFlag_) *destroyedFlag_ = true;
  deviceState_ = dsDestroying;
  currentService_ = nullptr;
  // Later services build on earlier ones, so they go first.
  while (!services_.empty()) {
    services_.back()->OnStateChange = nullptr;
    services_.pop_back();
  }
  if (treeItem_) treeItem_->ReleaseItem();
  variables_.Reset();
  if (destroyedFlag_) {
    // Freed from inside the task's own slice: the scheduler still touches the task when the
    // slice returns, so it outlives the device until the manager can free it.
    task_->Stop();
    manager_.RetireTask(std::move(task_));
  } else {
    task_.reset();
  }
  signal_.reset();
}

void TDevice::CreateServices() {
  if (!profile_ || !profile_->Known("Services")) return;
  TRef<TSLArray> list(CastObj<TSLArray>(profile_->GetObjWithName("Services")));
  for (int32_t i = 0; i < list->GetCount(); ++i) {
    try {
      auto* element = CastObj<TSLDictionary>(list->GetObjAtIndex(i));
      const std::string name = element->GetStrWithName("Name");
      const std::string profilePath = element->GetStrWithName("Profile");
      CreateService(name, manager_.Configuration().GetDirKey(profilePath));
    } catch (const EError& e) {
      DebugError(e.Message());
    }
  }
}

TDeviceService& TDevice::CreateService(const std::string& name, TSLDictionary* serviceProfile) {
  if (HasService(name))
    throw EError(StrFormat("%s.CreateService: device '%s' has already a service with name '%s'", ClassName(),
                           name_, name));
  if (!serviceProfile) throw EError(StrFormat("%s.CreateService: no service profile", ClassName()));
  const TDeviceServiceClass& serviceClass = manager_.GetServiceClass(serviceProfile->GetStrWithName("Name"));
  std::unique_ptr<TDeviceService> service = serviceClass(*this, serviceProfile);
  service->SetName(name);
  service->Init();
  services_.push_back(std::move(service));
  TDeviceService& added = *services_.back();
  added.OnStateChange = [this](TDeviceService& changed, uint8_t state) { ServiceStateChanged(changed, state); };
  return added;
}

TDeviceService& TDevice::GetService(const std::string& name) const {
  for (const auto& service : services_)
    if (SameName(service->Name(), name)) return *service;
  throw EError(StrFormat("%s.GetService: service with name '%s' not found", ClassName(), name));
}

bool TDevice::HasService(const std::string& name) const {
  for (const auto& service : services_)
    if (SameName(service->Name(), name)) return true;
  return false;
}

TDeviceService& TDevice::ServiceAt(int index) const {
  if (index < 0 || index >= ServiceCount())
    throw EError(StrFormat("%s.ServiceAt: index (%d) out of bounds", ClassName(), index));
  return *services_[static_cast<size_t>(index)];
}

void TDevice::StartupServices(TCompletion completion) {
  if (deviceState_ != dsStopped) throw EError(StrFormat("%s.StartupServices: device not ready", ClassName()));
  completion_ = std::move(completion);
  currentIndex_ = 0;
  currentService_ = nullptr;
  passCount_ = 0;
  progress_ = false;
  deviceState_ = dsStarting;
  signal_->SetSignal(true);
}

void TDevice::ShutDownServices(TCompletion completion) {
  if (deviceState_ != dsStarted) throw EError(StrFormat("%s.ShutDownServices: device not ready", ClassName()));
  completion_ = std::move(completion);
  currentIndex_ = ServiceCount() - 1;
  currentService_ = nullptr;
  passCount_ = 0;
  progress_ = false;
  deviceState_ = dsStopping;
  signal_->SetSignal(true);
}

void TDevice::SetDeviceVar(const std::string& name, const std::string& value) {
  if (variables_->Known(name) && dynamic_cast<TSLString*>(variables_->GetObjWithName(name)))
    variables_->SetStrWithName(name, value);
  else {
    if (variables_->Known(name)) variables_->RemoveObject(name);
    variables_->SetObjWithName(name, NewObj<TSLString>(value));
  }
}

std::string TDevice::GetDeviceVar(const std::string& name) const {
  if (variables_ && variables_->Known(name)) {
    if (auto* text = dynamic_cast<TSLString*>(variables_->GetObjWithName(name))) return text->GetText();
  }
  if (name == "DeviceName") return name_;
  if (name == "DeviceStatus") return ServiceStateName(deviceState_);
  if (name == "DeviceType") {
    switch (deviceType_) {
      case dtOnline: return "Online";
      case dtOffline: return "Offline";
      case dtArchive: return "Archive";
      default: return "Unknown";
    }
  }
  return "";
}

void TDevice::ServiceStateChanged(TDeviceService& service, uint8_t) {
  if ((deviceState_ == dsStarting || deviceState_ == dsStopping) && &service == currentService_)
    signal_->SetSignal(true);
}

void TDevice::Work() {
  bool destroyed = false;
  destroyedFlag_ = &destroyed;
  bool alive = true;
  try {
    switch (deviceState_) {
      case dsStopped:
        // Nothing left to do till the next walk (the task would spin otherwise); reset before
        // the completion, so that a walk it starts keeps its wake-up.
        signal_->SetSignal(false);
        alive = Complete();
        break;
      case dsStarting: alive = StartStep(); break;
      case dsStarted:
        signal_->SetSignal(false);
        alive = Complete();
        break;
      case dsStopping: alive = StopStep(); break;
      default: signal_->SetSignal(false); break;
    }
  } catch (...) {
    if (!destroyed) destroyedFlag_ = nullptr;
    throw;
  }
  if (!alive || destroyed) return;
  destroyedFlag_ = nullptr;
  task_->WaitFor(*signal_, kMxInfinite);
}

bool TDevice::Complete() {
  if (!completion_) return true;
  TCompletion completion = std::move(completion_);
  completion_ = nullptr;
  bool* destroyed = destroyedFlag_;
  completion(*this);
  return !*destroyed;
}

void TDevice::AfterServiceCall(bool wait, bool done, int step) {
  if (!wait) {
    currentIndex_ += step;
    currentService_ = nullptr;
  } else if (!done) {
    // The service reports back through SetState. A report made during the call itself does
    // not count unless it already ended the step, which the next slice then sees.
    signal_->SetSignal(false);
  }
}

bool TDevice::StartStep() {
  if (currentIndex_ < ServiceCount()) {
    TDeviceService& service = *services_[static_cast<size_t>(currentIndex_)];
    currentService_ = &service;
    switch (service.State()) {
      case ssStopped:
      case ssStarting: {
        progress_ = true;
        bool wait = false;
        service.Start(wait);
        if (*destroyedFlag_) return false;
        const uint8_t state = service.State();
        AfterServiceCall(wait, state == ssStarted || state == ssError, +1);
        return true;
      }
      case ssStarted:
        ++currentIndex_;
        currentService_ = nullptr;
        return true;
      case ssError:
        if (SameName(service.Name(), "TalkService") || SameName(service.Name(), "ModuleService")) {
          deviceState_ = dsError;
          currentService_ = nullptr;
          signal_->SetSignal(false);
          return Complete();
        }
        ++currentIndex_;
        currentService_ = nullptr;
        return true;
      default: throw EError("TDevice.Work: wrong service state");
    }
  }
  // A pass is complete.
  currentService_ = nullptr;
  currentIndex_ = 0;
  if (progress_ && ServiceCount() >= passCount_) {
    ++passCount_;
    progress_ = false;
    return true;
  }
  for (const auto& service : services_) {
    if (service->State() == ssStarted) continue;
    service->SetState(ssError);
    if (*destroyedFlag_) return false;
    DebugError("Service " + service->Name() + " not started!");
  }
  deviceState_ = dsStarted;
  return true;
}

bool TDevice::StopStep() {
  if (currentIndex_ < 0) {
    currentService_ = nullptr;
    currentIndex_ = ServiceCount() - 1;
    if (progress_ && ServiceCount() >= passCount_) {
      ++passCount_;
      progress_ = false;
    } else {
      deviceState_ = dsStopped;
    }
    return true;
  }
  TDeviceService& service = *services_[static_cast<size_t>(currentIndex_)];
  currentService_ = &service;
  switch (service.State()) {
    case ssStopped:
      --currentIndex_;
      currentService_ = nullptr;
      return true;
    case ssStarting:
    case ssStarted:
    case ssStopping:
    case ssError: {
      progress_ = true;
      bool wait = false;
      service.Stop(wait);
      if (*destroyedFlag_) return false;
      AfterServiceCall(wait, service.State() == ssStopped, -1);
      return true;
    }
    default: throw EError("TDevice.Work: wrong service state");
  }
}

}  // namespace tolvek
