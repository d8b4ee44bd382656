#include "app/debug_filter.h"

#include "platform/error.h"

namespace tolvek {

TDebugFilterList TDebugFilterList::Defaults() {
  TDebugFilterList list;
  list.Add({0x0000, 0x0000, TDebugFilterAction::Allow, "allow all debug messages"});
  list.Add({0x0103, 0xFFFF, TDebugFilterAction::Deny, "deny status request"});
  list.Add({0x0203, 0xFFFF, TDebugFilterAction::Deny, "deny status response"});
  return list;
}

TDebugFilterAction TDebugFilterList::Verdict(uint16_t messageCode) const {
  TDebugFilterAction verdict = TDebugFilterAction::None;
  for (const TDebugFilter& filter : filters_)
    if (filter.action != TDebugFilterAction::None && filter.Matches(messageCode))
      verdict = filter.action;
  return verdict;
}

void TDebugFilterList::Insert(int index, const TDebugFilter& filter) {
  if (index < 0 || index > Count()) throw EError("TDebugFilterList.Insert: index out of range");
  filters_.insert(filters_.begin() + index, filter);
}

void TDebugFilterList::Delete(int index) {
  if (index < 0 || index >= Count()) throw EError("TDebugFilterList.Delete: index out of range");
  filters_.erase(filters_.begin() + index);
}

}  // namespace tolvek
