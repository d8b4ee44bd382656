// The filter list that decides, by a line's 16-bit message code, whether the line reaches the
// debug window.
//
// The list is walked top to bottom; a filter matches a code c when (c AND mask) equals
// (code AND mask). A matching Allow or Deny filter replaces the verdict, a matching None filter
// leaves it; the verdict starts as None and only Allow lets a line through. A later filter
// therefore overrides an earlier one, and the order of the list matters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvek {

enum class TDebugFilterAction : uint8_t { None = 0, Allow = 1, Deny = 2 };

struct TDebugFilter {
  uint16_t code = 0;
  uint16_t mask = 0;
  TDebugFilterAction action = TDebugFilterAction::None;
  std::string description = "New Filter";

  bool Matches(uint16_t messageCode) const { return (messageCode & mask) == (code & mask); }
};

class TDebugFilterList {
public:
  // The list a new debug manager starts with: allow everything, then deny the status
  // request (0x0103) and the status response (0x0203), which a polling drive floods the log with.
  static TDebugFilterList Defaults();

  TDebugFilterAction Verdict(uint16_t messageCode) const;
  bool Allows(uint16_t messageCode) const { return Verdict(messageCode) == TDebugFilterAction::Allow; }

  int Count() const { return static_cast<int>(filters_.size()); }
  const TDebugFilter& Item(int index) const { return filters_.at(static_cast<size_t>(index)); }
  void Replace(int index, const TDebugFilter& filter) { filters_.at(static_cast<size_t>(index)) = filter; }
  void Add(const TDebugFilter& filter) { filters_.push_back(filter); }
  // Inserts above the filter at `index` (at the end when `index` is the count).
  void Insert(int index, const TDebugFilter& filter);
  void Delete(int index);
  void Clear() { filters_.clear(); }

private:
  std::vector<TDebugFilter> filters_;
};

}  // namespace tolvek
