// A debugging aid that shows any script value as a tree in a tree view, one node per value.
#pragma once

#include <string>
#include <string_view>

#include "devices/tree_view.h"

namespace tolvek {

class TSLObject;

class TOutliner {
public:
  // Node texts longer than this are cut and end in "...".
  static constexpr size_t kMaxText = 255;

  explicit TOutliner(TTreeView& view) : view_(view) {}

  // Replaces the tree with the nodes of `value` (nullptr shows "-- nil --"); the top node is
  // called `rootName` when one is given.
  void Show(TSLObject* value, const std::string& rootName = "");

  // The text of one node: `label` + ": " (when there is a label), the value as the text syntax
  // writes scalars, and "[" + class name + "]" (with the record type's name for a record).
  static std::string NodeText(std::string_view label, TSLObject* value);

private:
  TTreeView& view_;
};

}  // namespace tolvek
