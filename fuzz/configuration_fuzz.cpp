// Fuzz target for reading drive configurations: decodes arbitrary bytes as a configuration
// file, checks its layout, reads each item's type and parameter tree, matches the trees against
// module names, and checks that a configuration made of the items read again gives as many
// items.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "devices/configuration_file.h"
#include "devices/data_interface.h"
#include "platform/error.h"
#include "script/object_text.h"
#include "script/sl_collection.h"
#include "script/sl_record.h"

namespace {

using namespace tolvek;

// Empties every composite reachable from `root`, so that cyclic graphs (which reference
// counting cannot free) do not show up as leaks.
void BreakCycles(TSLObject* root) {
  std::vector<TRef<TSLComposite>> found;
  std::unordered_set<TSLObject*> seen;
  std::vector<TSLObject*> todo{root};
  while (!todo.empty()) {
    TSLObject* obj = todo.back();
    todo.pop_back();
    auto* composite = dynamic_cast<TSLComposite*>(obj);
    if (!composite || !seen.insert(obj).second) continue;
    found.emplace_back(composite);
    if (auto* record = dynamic_cast<TSLRecord*>(composite)) {
      todo.push_back(record->GetType());
      todo.push_back(record->GetValues());
    } else if (auto* collection = dynamic_cast<TSLCollection*>(composite)) {
      for (int32_t i = 0; i < collection->GetCount(); ++i) todo.push_back(collection->GetObjAtIndex(i));
    }
  }
  TRef<TSLRecord> empty = MakeRef<TSLRecord>();
  for (auto& composite : found) {
    if (auto* record = dynamic_cast<TSLRecord*>(composite.Get())) record->AssignObject(empty.Get());
    else if (auto* collection = dynamic_cast<TSLCollection*>(composite.Get())) collection->Clear();
  }
}

void ReadItems(TSLObjectText& codec, TSLObject* root) {
  std::vector<TRef<TSLDictionary>> dictionaries;
  try {
    dictionaries = ConfigurationItems(root);
  } catch (const EError&) {
    return;
  }
  std::vector<std::unique_ptr<TDataItem>> items;
  for (const auto& dictionary : dictionaries) {
    const std::string type = ItemType(*dictionary);
    if (type == kParametersType) {
      const std::string tree = ParameterTreeName(*dictionary);
      for (const char* module : {"QVDRIVE_CONTROL_V3S1", "QVSCOPE_RECORDER_V1S4_DEMO", "A_B_V0S0"}) {
        TreesCompatible(tree, module, false);
        TreesCompatible(tree, module, true);
      }
      // A tree always matches itself.
      if (!TreesCompatible(tree, tree, false)) std::abort();
    }
    items.push_back(std::make_unique<TDataItem>(dictionary.Get()));
    if (items.back()->Type() != type) std::abort();
  }
  TRef<TSLDictionary> configuration = MakeConfiguration(items);
  std::string text;
  try {
    text = codec.ObjToStr(configuration.Get());
  } catch (const EError&) {
    return;  // a name the syntax cannot write
  }
  TRef<TSLObject> again = codec.StrToObj(text);
  if (ConfigurationItems(again.Get()).size() != items.size()) std::abort();
  BreakCycles(again.Get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TSLObjectText* codec = new TSLObjectText();
  TRef<TSLObject> root;
  try {
    root = codec->StrToObj(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const EError&) {
    TRefObjManager::Instance().ReleasePool();
    return 0;
  }
  if (root) {
    ReadItems(*codec, root.Get());
    BreakCycles(root.Get());
  }
  TRefObjManager::Instance().ReleasePool();
  return 0;
}
