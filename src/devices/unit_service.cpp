// Device units, their conversions, and the unit service that collects them.
#include "devices/unit_service.h"

#include <cfenv>
#include <cmath>

#include "devices/model_manager.h"
#include "devices/unit_manager.h"
#include "platform/number_text.h"
#include "platform/text_format.h"
#include "script/name_compare.h"
#include "script/sl_array.h"
#include "script/sl_dictionary.h"

namespace tolvek {

namespace {

TUnitInfo ReadUnitInfo(TSLDictionary& record, const char* prefix) {
  const std::string p = prefix;
  TUnitInfo info;
  info.Caption = record.GetStrWithName(p + "Caption");
  info.Offset = NumberWithName(record, p + "Offset");
  info.Scale = NumberWithName(record, p + "Scale");
  return info;
}

// Nearest integer, ties to even, whatever rounding mode the process was left in.
double RoundTiesToEven(double x) {
  const int mode = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double rounded = std::nearbyint(x);
  std::fesetround(mode);
  return rounded;
}

}  // namespace

TDeviceUnit::TDeviceUnit(TSLDictionary& record) {
  UUID = record.GetInt64WithName("UUID");
  UnitName = record.GetStrWithName("UnitName");
  SI = ReadUnitInfo(record, "SI");
  Metric = ReadUnitInfo(record, "Metric");
  Imperial = ReadUnitInfo(record, "Imperial");
}

uint8_t TDeviceUnit::CurrentSystem() {
  TUnitManager* manager = TUnitManager::Current();
  return manager ? manager->UnitSystem() : kDefaultUnitSystem;
}

TUnitInfo TDeviceUnit::UnitInfo(uint8_t system) const {
  switch (system) {
    case usSI: return SI;
    case usMetric: return Metric;
    case usImperial: return Imperial;
    default: return TUnitInfo();
  }
}

double TDeviceUnit::ToDisplay(uint8_t system, int64_t raw) const {
  const TUnitInfo info = UnitInfo(system);
  return static_cast<double>(raw) * info.Scale + info.Offset;
}

int64_t TDeviceUnit::FromDisplay(uint8_t system, double x) const {
  const TUnitInfo info = UnitInfo(system);
  const double rounded = RoundTiesToEven((x - info.Offset) / info.Scale);
  // 2^63 is the first double beyond the range; converting it (or a NaN) would be undefined.
  if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0))
    throw EError(StrFormat("%s.FromDisplay: value out of range", ClassName()));
  return static_cast<int64_t>(rounded);
}

std::string TDeviceUnit::FormatRaw(uint8_t system, int64_t raw) const {
  return FormatFloatGeneral(ToDisplay(system, raw), 15);
}

int64_t TDeviceUnit::ParseDisplay(const std::string& text, uint8_t system) const {
  return FromDisplay(system, ParseFloat(text));
}

TUnitService::TUnitService(TDevice& device, TSLDictionary* profile)
    : TDeviceService(device, profile), provider_(this) {
  treeItem_ = &device.TreeItem().Model().NewItem<TModelItem>(this);
  treeItem_->SetCaption("Units");
  treeItem_->SetImageIndex(0);
}

TUnitService::~TUnitService() {
  TModelUpdate update(treeItem_->Model());
  treeItem_->ReleaseItem();
}

void TUnitService::Start(bool&) {
  if (State() != ssStopped) return;
  {
    TModelUpdate update(treeItem_->Model());
    Device().TreeItem().AddChild(*treeItem_);
  }
  SetState(ssStarted);
}

void TUnitService::Stop(bool&) {
  if (State() != ssStarted) return;
  {
    TModelUpdate update(treeItem_->Model());
    Device().TreeItem().RemoveChild(*treeItem_);
  }
  SetState(ssStopped);
}

void TUnitService::AddDeviceUnits(TSLDictionary& moduleData) {
  if (!moduleData.Known("Units")) return;
  auto* records = CastObj<TSLArray>(moduleData.GetObjWithName("Units"));
  for (int32_t i = 0; i < records->GetCount(); ++i) {
    auto unit = std::make_unique<TDeviceUnit>(*CastObj<TSLDictionary>(records->GetObjAtIndex(i)));
    const std::string key = FormatInt(unit->UUID);
    auto [index, found] = Find(key);
    if (found) continue;
    units_.insert(units_.begin() + static_cast<std::ptrdiff_t>(index), {key, std::move(unit)});
  }
}

TDeviceUnit* TUnitService::FindDeviceUnit(int64_t uuid) const {
  auto [index, found] = Find(FormatInt(uuid));
  return found ? units_[index].second.get() : nullptr;
}

std::pair<size_t, bool> TUnitService::Find(const std::string& key) const {
  size_t low = 0, high = units_.size();
  while (low < high) {
    const size_t middle = (low + high) / 2;
    const int order = CompareNames(units_[middle].first, key);
    if (order == 0) return {middle, true};
    if (order < 0) low = middle + 1;
    else high = middle;
  }
  return {low, false};
}

}  // namespace tolvek
