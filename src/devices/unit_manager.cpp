// The unit systems table, display and base units, and the loading of the unit definitions.
#include "devices/unit_manager.h"

#include "platform/error.h"
#include "platform/text_format.h"
#include "platform/user_interface.h"
#include "script/name_compare.h"
#include "script/sl_array.h"
#include "script/sl_dictionary.h"
#include "script/sl_scalar.h"
#include "script/storage_manager.h"

namespace tolvek {

namespace {

struct TUnitSystemRow {
  const char* Id;
  const char* Short;
};

constexpr TUnitSystemRow kUnitSystems[kUnitSystemCount] = {
    {"SI", "SI"}, {"Metric", "ME"}, {"English", "EN"}, {"Imperial", "IM"}};

TUnitManager* currentManager = nullptr;

}  // namespace

double NumberWithName(TSLDictionary& dictionary, const std::string& name) {
  return CastObj<TSLNumber>(dictionary.GetObjWithName(name))->GetDouble();
}

uint8_t UnitSystemFromID(const std::string& id) {
  for (int i = 0; i < kUnitSystemCount; ++i)
    if (id == kUnitSystems[i].Id) return static_cast<uint8_t>(i);
  throw EError("StrToUnitSystem: unit system with ID '" + id + "' not found");
}

std::string UnitSystemID(uint8_t system) { return system < kUnitSystemCount ? kUnitSystems[system].Id : ""; }

std::string UnitSystemShort(uint8_t system) {
  return system < kUnitSystemCount ? kUnitSystems[system].Short : "";
}

TDisplayUnit& TBaseUnit::DisplayUnitAt(int index) const {
  if (index < 0 || index >= DisplayUnitCount()) throw EError("TBaseUnit.DisplayUnitAt: index out of bounds");
  return *displayUnits_[static_cast<size_t>(index)];
}

TDisplayUnit* TBaseUnit::FindDisplayUnit(const std::string& name) const {
  for (const auto& unit : displayUnits_)
    if (unit->Name == name) return unit.get();
  return nullptr;
}

TUnitManager::TUnitManager() : previous_(currentManager) { currentManager = this; }

TUnitManager::~TUnitManager() {
  if (currentManager == this) currentManager = previous_;
}

TUnitManager* TUnitManager::Current() noexcept { return currentManager; }

void TUnitManager::LoadUnits(const std::string& url) {
  try {
    TStorageManager* storage = TStorageManager::Current();
    if (!storage) throw EError(StrFormat("%s.LoadUnits: no storage manager", ClassName()));
    auto* root = CastObj<TSLDictionary>(storage->GetObject(url)->GetData());
    if (!root->Known("BaseUnitsArr")) return;
    auto* array = CastObj<TSLArray>(root->GetObjWithName("BaseUnitsArr"));
    for (int32_t i = 0; i < array->GetCount(); ++i) {
      auto* element = CastObj<TSLDictionary>(array->GetObjAtIndex(i));
      const std::string& name = element->GetStrWithName("Name");
      if (Find(name).second) continue;
      // The unit is complete before it is listed, so a broken display unit leaves no half unit.
      auto unit = std::make_unique<TBaseUnit>(name, element->GetStrWithName("Caption"));
      auto* displayUnits = CastObj<TSLArray>(element->GetObjWithName("DisplayUnits"));
      for (int32_t j = 0; j < displayUnits->GetCount(); ++j) {
        auto* record = CastObj<TSLDictionary>(displayUnits->GetObjAtIndex(j));
        unit->AddDisplayUnit(std::make_unique<TDisplayUnit>(
            record->GetStrWithName("Name"), NumberWithName(*record, "Offset"), NumberWithName(*record, "Scale"),
            record->GetStrWithName("UnitSystem")));
      }
      AddBaseUnit(std::move(unit));
    }
  } catch (const std::exception& failure) {
    UserInterface().ShowError(failure.what());
  }
}

void TUnitManager::SetUnitSystem(uint8_t system) {
  if (system >= kUnitSystemCount)
    throw EError(StrFormat("%s.SetUnitSystem: unit system %d not known", ClassName(), system));
  unitSystem_ = system;
}

TBaseUnit* TUnitManager::FindBaseUnit(const std::string& name) const {
  auto [index, found] = Find(name);
  return found ? baseUnits_[index].get() : nullptr;
}

TBaseUnit& TUnitManager::BaseUnitAt(int index) const {
  if (index < 0 || index >= BaseUnitCount())
    throw EError(StrFormat("%s.BaseUnitAt: index out of bounds", ClassName()));
  return *baseUnits_[static_cast<size_t>(index)];
}

std::pair<size_t, bool> TUnitManager::Find(const std::string& name) const {
  size_t low = 0, high = baseUnits_.size();
  while (low < high) {
    const size_t middle = (low + high) / 2;
    const int order = CompareNames(baseUnits_[middle]->Name, name);
    if (order == 0) return {middle, true};
    if (order < 0) low = middle + 1;
    else high = middle;
  }
  return {low, false};
}

void TUnitManager::AddBaseUnit(std::unique_ptr<TBaseUnit> unit) {
  auto [index, found] = Find(unit->Name);
  if (found) return;
  baseUnits_.insert(baseUnits_.begin() + static_cast<std::ptrdiff_t>(index), std::move(unit));
}

}  // namespace tolvek
