// The unit systems the program shows numbers in, and the display units of the values it
// computes itself (time bases, scales, curve axes), grouped under base units and loaded once
// from the installation's unit definitions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tolvek {

class TSLDictionary;

// The number under `name`, written as an integer or as a float; the dictionary's error for a
// missing name, EInvalidCast for a value that is no number.
double NumberWithName(TSLDictionary& dictionary, const std::string& name);

// Index of a unit system.
enum TUnitSystem : uint8_t { usSI = 0, usMetric = 1, usEnglish = 2, usImperial = 3 };
constexpr int kUnitSystemCount = 4;
constexpr uint8_t kDefaultUnitSystem = usMetric;

// The index of the unit system whose ID ("SI", "Metric", "English", "Imperial") equals `id`
// exactly; "StrToUnitSystem: unit system with ID '<id>' not found" otherwise.
uint8_t UnitSystemFromID(const std::string& id);
// The ID of a unit system; "" for an index outside the table.
std::string UnitSystemID(uint8_t system);
// The short form ("SI", "ME", "EN", "IM"); "" outside the table.
std::string UnitSystemShort(uint8_t system);

// A unit of a floating-point value the program computes: display = x * scale + offset.
class TDisplayUnit {
public:
  TDisplayUnit(std::string name, double offset, double scale, std::string unitSystem)
      : Name(std::move(name)), Offset(offset), Scale(scale), UnitSystem(std::move(unitSystem)) {}

  // x * scale + offset, without rounding.
  double ToDisplay(double x) const { return x * Scale + Offset; }
  // (y - offset) / scale, without rounding.
  double FromDisplay(double y) const { return (y - Offset) / Scale; }

  std::string Name;
  double Offset;
  double Scale;
  // As the definitions file gives it; no rule selects display units by it.
  std::string UnitSystem;
};

// A physical quantity with its display units in file order.
class TBaseUnit {
public:
  TBaseUnit(std::string name, std::string caption) : Name(std::move(name)), Caption(std::move(caption)) {}

  int DisplayUnitCount() const { return static_cast<int>(displayUnits_.size()); }
  // "TBaseUnit.DisplayUnitAt: index out of bounds" outside 0..count-1.
  TDisplayUnit& DisplayUnitAt(int index) const;
  // The first display unit named `name` (exact comparison), or nullptr.
  TDisplayUnit* FindDisplayUnit(const std::string& name) const;
  // Appends a display unit; a second one of the same name is kept too (FindDisplayUnit answers
  // the first).
  void AddDisplayUnit(std::unique_ptr<TDisplayUnit> unit) { displayUnits_.push_back(std::move(unit)); }

  std::string Name;
  std::string Caption;

private:
  std::vector<std::unique_ptr<TDisplayUnit>> displayUnits_;
};

// The process's unit systems and base units. One is made at start-up; Current() reaches it.
class TUnitManager {
public:
  // The installation's unit definitions.
  static constexpr const char* kUnitsUrl = "archive://Archives\\UnitService\\Units.stx";

  TUnitManager();
  ~TUnitManager();
  TUnitManager(const TUnitManager&) = delete;
  TUnitManager& operator=(const TUnitManager&) = delete;

  const char* ClassName() const { return "TUnitManager"; }

  // The manager made last and still alive, or nullptr.
  static TUnitManager* Current() noexcept;

  // Adds the base units of the definitions at `url` that are not known yet. A failure is shown
  // in a message box with its text; the base units read before it stay.
  void LoadUnits(const std::string& url = kUnitsUrl);

  // Any index of the table; others are refused ("%s.SetUnitSystem: unit system %d not known").
  void SetUnitSystem(uint8_t system);
  uint8_t UnitSystem() const { return unitSystem_; }

  // The base unit named `name` (without regard to case), or nullptr.
  TBaseUnit* FindBaseUnit(const std::string& name) const;
  int BaseUnitCount() const { return static_cast<int>(baseUnits_.size()); }
  // In name order; "%s.BaseUnitAt: index out of bounds" outside 0..count-1.
  TBaseUnit& BaseUnitAt(int index) const;

private:
  // Position of `name` in the sorted list, and whether it is there.
  std::pair<size_t, bool> Find(const std::string& name) const;
  void AddBaseUnit(std::unique_ptr<TBaseUnit> unit);

  std::vector<std::unique_ptr<TBaseUnit>> baseUnits_;
  uint8_t unitSystem_ = kDefaultUnitSystem;
  TUnitManager* previous_ = nullptr;
};

}  // namespace tolvek
