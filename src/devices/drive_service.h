// The drive service of a device: the ports, motors and the motor-unit mapping that the drive's
// firmware modules publish in their data dictionaries, and the lookups scripts make on them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "devices/device_service.h"
#include "script/ref_obj.h"
#include "script/sl_array.h"

namespace tolvek {

class TModuleService;

// A port or a motor of the drive.
struct TDriveElement {
  std::string Name;
  std::string Caption;
  int64_t ID = 0;
};
using TPort = TDriveElement;
using TMotor = TDriveElement;

class TDriveService : public TDeviceService {
public:
  TDriveService(TDevice& device, TSLDictionary* profile);
  ~TDriveService() override;

  const char* ClassName() const override { return "TDriveService"; }

  // Finds the module service ("Starting"), then, once it is "Started", reads the modules'
  // "Ports", "Motors" and "MotorUnitMapping" and is "Started". Never waits.
  void Start(bool& wait) override;
  // From "Started": takes its tree item from the device's and is "Stopped".
  void Stop(bool& wait) override;
  void Kill() override { SetState(ssStopped); }

  int MotorCount() const { return static_cast<int>(motors_.size()); }
  // "%s.MotorAt: index out of bounds" outside 0..count-1; likewise PortAt.
  const TMotor& MotorAt(int index) const;
  int PortCount() const { return static_cast<int>(ports_.size()); }
  const TPort& PortAt(int index) const;
  // The first motor or port named `name` (without regard to case), or nullptr.
  const TMotor* FindMotor(const std::string& name) const;
  const TPort* FindPort(const std::string& name) const;

  // "DeviceUnitContainer" and "DeviceUnitName" of the first record of `motorUnitKey` whose
  // "UnitName" equals `unitName` exactly; "" without such a key or record.
  std::string FindDeviceUnitContainer(const std::string& motorUnitKey, const std::string& unitName) const;
  std::string FindDeviceUnitName(const std::string& motorUnitKey, const std::string& unitName) const;

  TModelItem& TreeItem() const { return *treeItem_; }

private:
  // Adds the drive data of every module; a broken entry raises the dictionary's error.
  void ReadDriveData();
  std::string FindMapping(const std::string& motorUnitKey, const std::string& unitName, const char* field) const;

  TModuleService* module_ = nullptr;
  TModelItem* treeItem_ = nullptr;
  std::vector<TMotor> motors_;
  std::vector<TPort> ports_;
  std::vector<std::pair<std::string, TRef<TSLArray>>> motorUnitMapping_;
};

}  // namespace tolvek
