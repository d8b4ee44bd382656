// The "ArchiveManager" script class.
#include "script/classes/archive_manager_script_class.h"

#include <array>

#include "platform/text_format.h"
#include "script/interp/sl_context.h"
#include "script/script_class_factory.h"
#include "script/storage_manager.h"

namespace tolvek {

namespace {

enum TMethod : int32_t {
  mGetArchive, mGetIndexOfName, mGetNameAtIndex, mGetFormatAtIndex, mGetDataAtIndex, mGetCount,
  mAddEntry, mRemoveEntryWithName, mRemoveEntryAtIndex, mClear, mWrite, mAddLink,
};

constexpr std::array<const char*, 12> kMethodNames = {
    "GetArchive", "GetIndexOfName",      "GetNameAtIndex",     "GetFormatAtIndex",
    "GetDataAtIndex", "GetCount",        "AddEntry",           "RemoveEntryWithName",
    "RemoveEntryAtIndex", "Clear",       "Write",              "AddLink",
};

TStorageManager& StorageOf(TSLContext& context) {
  TStorageManager* storage = context.GetStorageManager();
  if (!storage) throw EError("no storage manager serves this script");
  return *storage;
}

int64_t IntAt(TSLContext& context, int32_t depth) {
  return CastObj<TSLLongint>(context.Operands().Top(depth))->GetInt64();
}

const std::string& StrAt(TSLContext& context, int32_t depth) {
  return CastObj<TSLString>(context.Operands().Top(depth))->GetText();
}

void Drop(TSLContext& context, int32_t count) {
  for (int32_t i = 0; i < count; ++i) context.Operands().Drop();
}

// An entry index of `archive`, checked.
TSLArchiveEntry& EntryAt(TSLArchive& archive, int64_t index) {
  if (index < 0 || index >= archive.GetCount())
    throw EError(StrFormat("%s.EntryAt: index (%d) out of bounds (%d)", archive.ClassName(), index,
                           archive.GetCount()));
  return archive.EntryAt(static_cast<int32_t>(index));
}

}  // namespace

const char* ScriptFormatName(TSLStorageFormat format) {
  switch (format) {
    case sfASCII: return "ascii";
    case sfEASCII: return "eascii";
    default: return "unknown";
  }
}

int64_t TArchiveManagerScriptObject::Add(TSLArchive* archive) {
  archives_.emplace_back(archive);
  return static_cast<int64_t>(archives_.size()) - 1;
}

TSLArchive& TArchiveManagerScriptObject::At(int64_t index) {
  if (index < 0 || index >= static_cast<int64_t>(archives_.size()))
    throw EError(StrFormat("%s.GetArchiveAt: index (%d) out of bounds (%d)", ClassName(), index,
                           archives_.size()));
  return *archives_[static_cast<size_t>(index)];
}

void* TArchiveManagerScriptClass::CreateScriptObject(TContextInterface&) {
  return new TArchiveManagerScriptObject();
}

void TArchiveManagerScriptClass::DestroyScriptObject(void* handle) {
  delete static_cast<TArchiveManagerScriptObject*>(handle);
}

std::string TArchiveManagerScriptClass::GetMethodName(int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(kMethodNames.size())) return {};
  return kMethodNames[static_cast<size_t>(index)];
}

// Every method checks and reads its operands where they lie and pops them only once its work
// is done, so that a failure leaves the operand stack as the script left it.
void TArchiveManagerScriptClass::CallMethod(void* handle, int32_t index,
                                            TContextInterface& context) {
  auto& self = *static_cast<TArchiveManagerScriptObject*>(handle);
  TSLContext& engine = EngineContext(context);
  switch (index) {
    case mGetArchive: {
      const TStorageAccess access = StrToStorageAccess(StrAt(engine, 0));
      const std::string fileName = StrAt(engine, 1);
      TSLArchive* archive = TArchiveManager::Instance().GetArchive(
          StorageOf(engine), fileName, access, engine.GetDebug());
      const int64_t result = self.Add(archive);
      Drop(engine, 2);
      context.PushInt64(result);
      return;
    }
    case mGetIndexOfName: {
      const std::string name = StrAt(engine, 0);
      TSLArchive& archive = self.At(IntAt(engine, 1));
      const int64_t result = archive.IndexOfName(name);
      Drop(engine, 2);
      context.PushInt64(result);
      return;
    }
    case mGetNameAtIndex:
    case mGetFormatAtIndex:
    case mGetDataAtIndex: {
      TSLArchive& archive = self.At(IntAt(engine, 1));
      TSLArchiveEntry& entry = EntryAt(archive, IntAt(engine, 0));
      if (index == mGetDataAtIndex) {
        TRef<TSLObject> value(entry.GetValue());
        Drop(engine, 2);
        engine.Operands().PushValue(value.Get());
        return;
      }
      const std::string text =
          index == mGetNameAtIndex ? entry.GetName() : ScriptFormatName(entry.GetFormat());
      Drop(engine, 2);
      context.PushString(text);
      return;
    }
    case mGetCount: {
      const int64_t count = self.At(IntAt(engine, 0)).GetCount();
      Drop(engine, 1);
      context.PushInt64(count);
      return;
    }
    case mAddEntry: {
      TSLObject* value = engine.Operands().Top();
      const TSLStorageFormat format = StorageFormatFromName(StrAt(engine, 1));
      const std::string name = StrAt(engine, 2);
      TSLArchive& archive = self.At(IntAt(engine, 3));
      archive.AddEntry(name, format, value);
      const int64_t result = archive.GetCount() - 1;
      Drop(engine, 4);
      context.PushInt64(result);
      return;
    }
    case mAddLink: {
      const TSLStorageFormat format = StorageFormatFromName(StrAt(engine, 0));
      const std::string name = StrAt(engine, 1);
      TSLArchive& archive = self.At(IntAt(engine, 2));
      archive.AddLink(name, format);
      const int64_t result = archive.GetCount() - 1;
      Drop(engine, 3);
      context.PushInt64(result);
      return;
    }
    case mRemoveEntryWithName: {
      const std::string name = StrAt(engine, 0);
      self.At(IntAt(engine, 1)).RemoveEntry(name);
      Drop(engine, 2);
      return;
    }
    case mRemoveEntryAtIndex: {
      TSLArchive& archive = self.At(IntAt(engine, 1));
      const int64_t entry = IntAt(engine, 0);
      EntryAt(archive, entry);
      archive.RemoveEntryAt(static_cast<int32_t>(entry));
      Drop(engine, 2);
      return;
    }
    case mClear:
    case mWrite: {
      TSLArchive& archive = self.At(IntAt(engine, 0));
      if (index == mClear)
        archive.Clear();
      else
        archive.Write();
      Drop(engine, 1);
      return;
    }
    default:
      throw EError(StrFormat("TArchiveManagerScriptClass.CallMethod: no method %d", index));
  }
}

}  // namespace tolvek
