// The "StorageObjectManager" script class.
#include "script/classes/storage_object_manager_script_class.h"

#include <array>

#include "platform/text_format.h"
#include "script/classes/archive_manager_script_class.h"
#include "script/interp/sl_context.h"
#include "script/script_class_factory.h"
#include "script/storage_manager.h"

namespace tolvek {

namespace {

enum TMethod : int32_t {
  mGetObject, mCreateObject, mObjectExists, mSetData, mGetData,
  mSetFormat, mGetFormat, mGetName, mRead, mWrite,
};

constexpr std::array<const char*, 10> kMethodNames = {
    "GetObject", "CreateObject", "ObjectExists", "SetData", "GetData",
    "SetFormat", "GetFormat",    "GetName",      "Read",    "Write",
};

// Stage of "GetObject" after "loadstoobj" has opened the object.
constexpr int32_t kStageOpened = 1;

TStorageManager& StorageOf(TSLContext& context) {
  TStorageManager* storage = context.GetStorageManager();
  if (!storage) throw EError("no storage manager serves this script");
  return *storage;
}

}  // namespace

int64_t TStorageObjectManagerScriptObject::Add(TSLStorageObject* object) {
  objects_.emplace_back(object);
  return static_cast<int64_t>(objects_.size()) - 1;
}

TSLStorageObject& TStorageObjectManagerScriptObject::At(int64_t index) {
  if (index < 0 || index >= static_cast<int64_t>(objects_.size()))
    throw EError(StrFormat("%s.GetObjectAt: index (%d) out of bounds (%d)", ClassName(), index,
                           objects_.size()));
  return *objects_[static_cast<size_t>(index)];
}

void* TStorageObjectManagerScriptClass::CreateScriptObject(TContextInterface&) {
  return new TStorageObjectManagerScriptObject();
}

void TStorageObjectManagerScriptClass::DestroyScriptObject(void* handle) {
  delete static_cast<TStorageObjectManagerScriptObject*>(handle);
}

std::string TStorageObjectManagerScriptClass::GetMethodName(int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(kMethodNames.size())) return {};
  return kMethodNames[static_cast<size_t>(index)];
}

void TStorageObjectManagerScriptClass::CallMethod(void* handle, int32_t index,
                                                  TContextInterface& context) {
  auto& self = *static_cast<TStorageObjectManagerScriptObject*>(handle);
  TSLContext& engine = EngineContext(context);
  switch (index) {
    case mGetObject: {
      if (context.GetReexec() == kStageOpened) {
        // "loadstoobj" left the storage object on top.
        auto* object = CastObj<TSLStorageObject>(engine.Operands().Top());
        const int64_t result = self.Add(object);
        engine.Operands().Drop();
        context.PushInt64(result);
        context.SetReexec(0);
        return;
      }
      const std::string access = context.PopString();
      const std::string name = context.PopString();
      context.PushString(name);
      context.PushString(access);
      context.SetReexec(kStageOpened);
      context.CallName("loadstoobj");
      return;
    }
    case mCreateObject: {
      const std::string name = context.PopString();
      context.PushInt64(self.Add(StorageOf(engine).CreateObject(name)));
      return;
    }
    case mObjectExists: {
      const std::string name = context.PopString();
      context.PushBoolean(StorageOf(engine).ObjectExists(name));
      return;
    }
    case mSetData: {
      TRef<TSLObject> value(engine.Operands().Top());
      auto* indexValue = CastObj<TSLLongint>(engine.Operands().Top(1));
      TSLStorageObject& object = self.At(indexValue->GetInt64());
      object.SetData(value.Get());
      engine.Operands().Drop();
      engine.Operands().Drop();
      return;
    }
    case mGetData: {
      TSLStorageObject& object = self.At(CastObj<TSLLongint>(engine.Operands().Top())->GetInt64());
      TRef<TSLObject> value(object.GetData());
      engine.Operands().Drop();
      engine.Operands().PushValue(value.Get());
      return;
    }
    case mSetFormat: {
      const TSLStorageFormat format = StorageFormatFromName(CastObj<TSLString>(engine.Operands().Top())->GetText());
      TSLStorageObject& object = self.At(CastObj<TSLLongint>(engine.Operands().Top(1))->GetInt64());
      object.SetFormat(format);
      engine.Operands().Drop();
      engine.Operands().Drop();
      return;
    }
    case mGetFormat:
    case mGetName:
    case mRead:
    case mWrite: {
      TSLStorageObject& object = self.At(CastObj<TSLLongint>(engine.Operands().Top())->GetInt64());
      // The operation runs before the index is popped, so that a failure leaves the stack as
      // it was.
      std::string text;
      if (index == mGetFormat) text = ScriptFormatName(object.GetFormat());
      if (index == mGetName) text = object.GetName();
      if (index == mRead) object.Load();
      if (index == mWrite) object.Save();
      engine.Operands().Drop();
      if (index == mGetFormat || index == mGetName) context.PushString(text);
      return;
    }
    default:
      throw EError(StrFormat("TStorageObjectManagerScriptClass.CallMethod: no method %d", index));
  }
}

}  // namespace tolvek
