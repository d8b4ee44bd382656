// The outliner's node texts and its walk over a value.
#include "devices/outliner.h"

#include <vector>

#include "platform/number_text.h"
#include "script/object_text.h"
#include "script/sl_collection.h"
#include "script/sl_record.h"
#include "script/sl_scalar.h"

namespace tolvek {

namespace {

std::string ScalarText(TSLObject* value) {
  if (auto* string = dynamic_cast<TSLString*>(value)) return "'" + string->GetText() + "' ";
  if (auto* ident = dynamic_cast<TSLIdent*>(value))
    return (ident->GetExecutable() ? "" : "/") + ident->GetName() + " ";
  if (dynamic_cast<TSLNumber*>(value) || dynamic_cast<TSLBoolean*>(value)) {
    try {
      return ObjToStr(value);
    } catch (const EError&) {
      // Numbers the syntax cannot write (infinities) still deserve a node text.
      return static_cast<TSLNumber*>(value)->GetString() + " ";
    }
  }
  return "";
}

}  // namespace

std::string TOutliner::NodeText(std::string_view label, TSLObject* value) {
  std::string text;
  if (!label.empty()) {
    text.append(label);
    text += ": ";
  }
  if (!value) {
    text += "-- nil --";
  } else {
    text += ScalarText(value);
    text += '[';
    text += value->ClassName();
    if (auto* record = dynamic_cast<TSLRecord*>(value)) {
      text += ": ";
      text += record->GetTypeName();
    }
    text += ']';
  }
  if (text.size() > kMaxText) {
    text.resize(kMaxText - 3);
    text += "...";
  }
  return text;
}

void TOutliner::Show(TSLObject* value, const std::string& rootName) {
  view_.Clear();
  TTreeNode* top = view_.AddChild(nullptr, NodeText(rootName, value));
  auto* collection = dynamic_cast<TSLCollection*>(value);
  if (!collection) return;
  // The walk counts the elements of `collection` as level 0; nodes[level] is the node their
  // parent got.
  std::vector<TTreeNode*> nodes{top};
  collection->ForEach(
      [&](const TForEachInfo& info, bool&) {
        const size_t level = static_cast<size_t>(info.Level);
        const std::string label = info.Name.empty() ? FormatInt(info.Index) : std::string(info.Name);
        TTreeNode* node = view_.AddChild(nodes[level], NodeText(label, info.Obj));
        nodes.resize(level + 1);
        nodes.push_back(node);
      },
      false);
}

}  // namespace tolvek
