// The drive service: ports, motors and the motor-unit mapping of the drive's modules.
#include "devices/drive_service.h"

#include "devices/model_manager.h"
#include "devices/module_service.h"
#include "platform/debug_log.h"
#include "platform/text_format.h"
#include "script/name_compare.h"
#include "script/sl_dictionary.h"
#include "script/sl_scalar.h"

namespace tolvek {

namespace {

void ReadElements(TSLDictionary& data, const char* key, std::vector<TDriveElement>& elements) {
  if (!data.Known(key)) return;
  auto* records = CastObj<TSLArray>(data.GetObjWithName(key));
  for (int32_t i = 0; i < records->GetCount(); ++i) {
    auto* record = CastObj<TSLDictionary>(records->GetObjAtIndex(i));
    elements.push_back({record->GetStrWithName("Name"), record->GetStrWithName("Caption"),
                        record->GetInt64WithName("ID")});
  }
}

const TDriveElement* FindElement(const std::vector<TDriveElement>& elements, const std::string& name) {
  for (const TDriveElement& element : elements)
    if (SameName(element.Name, name)) return &element;
  return nullptr;
}

}  // namespace

TDriveService::TDriveService(TDevice& device, TSLDictionary* profile) : TDeviceService(device, profile) {
  treeItem_ = &device.TreeItem().Model().NewItem<TModelItem>(this);
  treeItem_->SetCaption("Drive");
  treeItem_->SetImageIndex(0);
  TModelUpdate update(treeItem_->Model());
  device.TreeItem().AddChild(*treeItem_);
}

TDriveService::~TDriveService() {
  TModelUpdate update(treeItem_->Model());
  treeItem_->ReleaseItem();
}

void TDriveService::Start(bool&) {
  if (State() == ssStopped) {
    if (!Device().HasService("ModuleService")) {
      DebugError("couldn't start drive service: module service does not exist");
      return SetState(ssError);
    }
    module_ = &Partner<TModuleService>("ModuleService");
    SetState(ssStarting);
  }
  if (State() != ssStarting || module_->State() != ssStarted) return;
  motors_.clear();
  ports_.clear();
  motorUnitMapping_.clear();
  try {
    ReadDriveData();
  } catch (const std::exception& failure) {
    // A broken module dictionary must not end the device's start walk.
    DebugError(StrFormat("couldn't start drive service: %s", failure.what()));
    return SetState(ssError);
  }
  if (treeItem_->Parent() == nullptr) {
    TModelUpdate update(treeItem_->Model());
    Device().TreeItem().AddChild(*treeItem_);
  }
  SetState(ssStarted);
}

void TDriveService::Stop(bool&) {
  if (State() != ssStarted) return;
  {
    TModelUpdate update(treeItem_->Model());
    Device().TreeItem().RemoveChild(*treeItem_);
  }
  SetState(ssStopped);
}

void TDriveService::ReadDriveData() {
  for (int m = 0; m < module_->ModuleCount(); ++m) {
    TSLDictionary* data = module_->ModuleAt(m).Data.Get();
    if (!data) continue;
    ReadElements(*data, "Ports", ports_);
    ReadElements(*data, "Motors", motors_);
    if (!data->Known("MotorUnitMapping")) continue;
    auto* mapping = CastObj<TSLDictionary>(data->GetObjWithName("MotorUnitMapping"));
    for (int32_t i = 0; i < mapping->GetCount(); ++i)
      motorUnitMapping_.emplace_back(mapping->GetNameAtIndex(i), CastObj<TSLArray>(mapping->GetObjAtIndex(i)));
  }
}

const TMotor& TDriveService::MotorAt(int index) const {
  if (index < 0 || index >= MotorCount()) throw EError(StrFormat("%s.MotorAt: index out of bounds", ClassName()));
  return motors_[static_cast<size_t>(index)];
}

const TPort& TDriveService::PortAt(int index) const {
  if (index < 0 || index >= PortCount()) throw EError(StrFormat("%s.PortAt: index out of bounds", ClassName()));
  return ports_[static_cast<size_t>(index)];
}

const TMotor* TDriveService::FindMotor(const std::string& name) const { return FindElement(motors_, name); }
const TPort* TDriveService::FindPort(const std::string& name) const { return FindElement(ports_, name); }

std::string TDriveService::FindDeviceUnitContainer(const std::string& motorUnitKey, const std::string& unitName) const {
  return FindMapping(motorUnitKey, unitName, "DeviceUnitContainer");
}

std::string TDriveService::FindDeviceUnitName(const std::string& motorUnitKey, const std::string& unitName) const {
  return FindMapping(motorUnitKey, unitName, "DeviceUnitName");
}

std::string TDriveService::FindMapping(const std::string& motorUnitKey, const std::string& unitName,
                                       const char* field) const {
  for (const auto& [key, records] : motorUnitMapping_) {
    if (!SameName(key, motorUnitKey)) continue;
    for (int32_t i = 0; i < records->GetCount(); ++i) {
      auto* record = dynamic_cast<TSLDictionary*>(records->GetObjAtIndex(i));
      if (!record || !record->Known("UnitName") || record->GetStrWithName("UnitName") != unitName) continue;
      return record->GetStrWithName(field);
    }
    return "";
  }
  return "";
}

}  // namespace tolvek
