// "ArchiveManager": scripts open archive files and list, read, add, remove and write their
// entries. A script object keeps the archives it opened in an array and names them by index.
#pragma once

#include <string>
#include <vector>

#include "script/archive.h"
#include "script/script_class.h"

namespace tolvek {

// The archives one script object has opened.
class TArchiveManagerScriptObject {
public:
  // Appends an archive (retained) and answers its index.
  int64_t Add(TSLArchive* archive);
  // The archive at `index`; fails "%s.GetArchiveAt: index (%d) out of bounds (%d)".
  TSLArchive& At(int64_t index);
  const char* ClassName() const { return "TArchiveManagerScriptObject"; }

private:
  std::vector<TRef<TSLArchive>> archives_;
};

// Methods in index order: "GetArchive", "GetIndexOfName", "GetNameAtIndex",
// "GetFormatAtIndex", "GetDataAtIndex", "GetCount", "AddEntry", "RemoveEntryWithName",
// "RemoveEntryAtIndex", "Clear", "Write", "AddLink".
class TArchiveManagerScriptClass : public TScriptClass {
public:
  void* CreateScriptObject(TContextInterface& context) override;
  void DestroyScriptObject(void* handle) override;
  void CallMethod(void* handle, int32_t index, TContextInterface& context) override;
  std::string GetMethodName(int32_t index) override;
};

// The format names scripts use: "ascii", "eascii", "unknown".
const char* ScriptFormatName(TSLStorageFormat format);

}  // namespace tolvek
