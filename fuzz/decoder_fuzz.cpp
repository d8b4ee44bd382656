// Fuzz target for the text-syntax decoder: decodes every root value of arbitrary bytes, and
// checks that what decodes encodes to text that decodes again to the same encoding.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/error.h"
#include "script/object_text.h"
#include "script/string_stream.h"
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
      for (int32_t i = 0; i < collection->GetCount(); ++i)
        todo.push_back(collection->GetObjAtIndex(i));
    }
  }
  TRef<TSLRecord> empty = MakeRef<TSLRecord>();
  for (auto& composite : found) {
    if (auto* record = dynamic_cast<TSLRecord*>(composite.Get()))
      record->AssignObject(empty.Get());
    else if (auto* collection = dynamic_cast<TSLCollection*>(composite.Get()))
      collection->Clear();
  }
}

// The encoding of `value`, or false when the value holds a name the syntax cannot write.
bool TryEncode(TSLObjectText& codec, TSLObject* value, std::string& text) {
  try {
    text = codec.ObjToStr(value);
    return true;
  } catch (const EError&) {
    return false;
  }
}

void CheckRoundTrip(TSLObjectText& codec, TSLObject* value) {
  std::string first;
  if (!TryEncode(codec, value, first)) return;
  // Encoder output must always decode; after one pass through text the form is stable.
  TRef<TSLObject> again = codec.StrToObj(first);
  std::string second;
  if (!TryEncode(codec, again.Get(), second)) std::abort();
  TRef<TSLObject> third = codec.StrToObj(second);
  std::string thirdText;
  if (!TryEncode(codec, third.Get(), thirdText) || thirdText != second) std::abort();
  BreakCycles(again.Get());
  BreakCycles(third.Get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TSLObjectText* codec = new TSLObjectText();
  TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
  stream->LoadText(std::string_view(reinterpret_cast<const char*>(data), size));
  TRef<TSLLookaheadStream> input = MakeRef<TSLLookaheadStream>(stream.Get());
  for (int roots = 0; roots < 64; ++roots) {
    TRef<TSLObject> value;
    try {
      value = codec->Decoder().DecodeObject(*input, roots % 2 == 0);
    } catch (const EError&) {
      break;
    }
    if (!value) break;
    CheckRoundTrip(*codec, value.Get());
    BreakCycles(value.Get());
  }
  TRefObjManager::Instance().ReleasePool();
  return 0;
}
