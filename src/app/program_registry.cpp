#include "app/program_registry.h"

#include "platform/error.h"
#include "platform/text_format.h"
#include "script/sl_scalar.h"
#include "script/storage_manager.h"

namespace tolvek {

TProgramRegistry::TProgramRegistry() : root_(MakeRef<TSLDictionary>()) {}

void TProgramRegistry::LoadFromStorage(TStorageManager& storage, const std::string& url) {
  root_ = MakeRef<TSLDictionary>();
  TSLStorageObject* object = storage.GetObject(url);
  if (auto* dictionary = dynamic_cast<TSLDictionary*>(object->GetData())) root_ = dictionary;
}

void TProgramRegistry::SaveToStorage(TStorageManager& storage, const std::string& url) {
  TSLStorageObject* object = storage.CreateObject(url);
  object->SetData(root_.Get());
  object->Save();
}

TSLDictionary* TProgramRegistry::Parent(const std::string& path, bool create,
                                        std::string& lastKey) {
  TSLDictionary* dictionary = root_.Get();
  size_t start = 0;
  for (size_t sep = path.find('\\'); sep != std::string::npos; sep = path.find('\\', start)) {
    std::string key = path.substr(start, sep - start);
    start = sep + 1;
    if (create && !dictionary->Known(key)) {
      TRef<TSLDictionary> created = MakeRef<TSLDictionary>();
      dictionary->AddObject(key, created.Get());
      dictionary = created.Get();
      continue;
    }
    TSLDictionary* next =
        dictionary->Known(key) ? dynamic_cast<TSLDictionary*>(dictionary->GetObjWithName(key))
                               : nullptr;
    if (!next) throw EError(StrFormat("%s: key %s not found", ClassName(), path));
    dictionary = next;
  }
  lastKey = path.substr(start);
  return dictionary;
}

TSLObject* TProgramRegistry::GetKey(const std::string& path) {
  std::string lastKey;
  return Parent(path, false, lastKey)->GetObjWithName(lastKey);
}

void TProgramRegistry::SetKey(const std::string& path, TSLObject* value) {
  std::string lastKey;
  Parent(path, true, lastKey)->AddObject(lastKey, value);
}

TSLDictionary* TProgramRegistry::GetDirKey(const std::string& path) {
  auto* dictionary = dynamic_cast<TSLDictionary*>(GetKey(path));
  if (!dictionary) throw EError(StrFormat("%s.GetDirKey: key %s not found", ClassName(), path));
  return dictionary;
}

void TProgramRegistry::SetStringKey(const std::string& path, const std::string& text) {
  CastObj<TSLString>(GetKey(path))->SetText(text);
}

}  // namespace tolvek
