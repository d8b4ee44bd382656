// The unit service of a device: the device units of the drive's raw integer values, which come
// with its firmware modules, and their conversion to and from the four unit systems.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "comm/service_provider.h"
#include "devices/device_service.h"

namespace tolvek {

// Caption, offset and scale of one unit in one unit system.
struct TUnitInfo {
  std::string Caption;
  double Offset = 0;
  double Scale = 1;
};

// The unit of a raw drive value: displayed = raw * scale + offset, per unit system. The
// "English" system shows raw values without a caption.
class TDeviceUnit {
public:
  // Reads a device unit record ("UUID", "UnitName", and caption, offset and scale for SI,
  // Metric and Imperial); a missing key or a value of the wrong type raises the dictionary's
  // error.
  explicit TDeviceUnit(TSLDictionary& record);
  TDeviceUnit() = default;

  // The caption, offset and scale of `system`; "", 0, 1 for English.
  TUnitInfo UnitInfo(uint8_t system) const;
  std::string Caption(uint8_t system) const { return UnitInfo(system).Caption; }
  // raw * scale + offset of `system`; the raw value itself for English.
  double ToDisplay(uint8_t system, int64_t raw) const;
  // (x - offset) / scale rounded to the nearest integer, ties to even. A result outside the
  // 64-bit range (or not a number, as with a scale of 0) is refused with
  // "%s.FromDisplay: value out of range".
  int64_t FromDisplay(uint8_t system, double x) const;
  // ToDisplay as the shortest general decimal text of at most 15 significant digits.
  std::string FormatRaw(uint8_t system, int64_t raw) const;
  // The text read as a number ("." as decimal separator; otherwise the platform's conversion
  // error) and converted with FromDisplay.
  int64_t ParseDisplay(const std::string& text, uint8_t system) const;

  // The same, in the unit manager's current system (Metric when there is no unit manager).
  TUnitInfo UnitInfo() const { return UnitInfo(CurrentSystem()); }
  std::string Caption() const { return Caption(CurrentSystem()); }
  double ToDisplay(int64_t raw) const { return ToDisplay(CurrentSystem(), raw); }
  int64_t FromDisplay(double x) const { return FromDisplay(CurrentSystem(), x); }
  std::string FormatRaw(int64_t raw) const { return FormatRaw(CurrentSystem(), raw); }
  int64_t ParseDisplay(const std::string& text) const { return ParseDisplay(text, CurrentSystem()); }

  static uint8_t CurrentSystem();
  const char* ClassName() const { return "TDeviceUnit"; }

  TUnitInfo Imperial;
  TUnitInfo Metric;
  TUnitInfo SI;
  std::string UnitName;
  int64_t UUID = 0;
};

class TUnitService : public TDeviceService {
public:
  TUnitService(TDevice& device, TSLDictionary* profile);
  ~TUnitService() override;

  const char* ClassName() const override { return "TUnitService"; }

  // From "Stopped": shows its tree item under the device's and is "Started"; it needs nobody.
  void Start(bool& wait) override;
  // From "Started": hides its tree item and is "Stopped".
  void Stop(bool& wait) override;
  void Kill() override { SetState(ssStopped); }

  // Adds the records of the module data's "Units" array whose UUID is not known yet; a record
  // with a known UUID is ignored. Failures of a broken record pass on, with the records before
  // it added.
  void AddDeviceUnits(TSLDictionary& moduleData);
  // The device unit of `uuid`, or nullptr.
  TDeviceUnit* FindDeviceUnit(int64_t uuid) const;
  int DeviceUnitCount() const { return static_cast<int>(units_.size()); }

  TModelItem& TreeItem() const { return *treeItem_; }
  TServiceProvider& Provider() { return provider_; }

private:
  // Position of the decimal text of `uuid` in the sorted list, and whether it is there.
  std::pair<size_t, bool> Find(const std::string& key) const;

  std::vector<std::pair<std::string, std::unique_ptr<TDeviceUnit>>> units_;
  TModelItem* treeItem_ = nullptr;
  TServiceProvider provider_;
};

}  // namespace tolvek
