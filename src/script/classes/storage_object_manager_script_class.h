// "StorageObjectManager": scripts open, create, read and write storage objects by name. A
// script object keeps the storage objects it opened in an array and names them by index.
#pragma once

#include <string>
#include <vector>

#include "script/script_class.h"
#include "script/storage_object.h"

namespace tolvek {

// The storage objects one script object has opened.
class TStorageObjectManagerScriptObject {
public:
  // Appends a storage object (retained) and answers its index.
  int64_t Add(TSLStorageObject* object);
  // The object at `index`; fails "%s.GetObjectAt: index (%d) out of bounds (%d)".
  TSLStorageObject& At(int64_t index);
  const char* ClassName() const { return "TStorageObjectManagerScriptObject"; }

private:
  std::vector<TRef<TSLStorageObject>> objects_;
};

// Methods in index order: "GetObject", "CreateObject", "ObjectExists", "SetData", "GetData",
// "SetFormat", "GetFormat", "GetName", "Read", "Write".
class TStorageObjectManagerScriptClass : public TScriptClass {
public:
  void* CreateScriptObject(TContextInterface& context) override;
  void DestroyScriptObject(void* handle) override;
  void CallMethod(void* handle, int32_t index, TContextInterface& context) override;
  std::string GetMethodName(int32_t index) override;
};

}  // namespace tolvek
