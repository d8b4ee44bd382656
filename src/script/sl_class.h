// The dictionary that stands for one host object in scripts: its entries are the object's
// methods; it is shared, never copied.
#pragma once

#include "script/script_class.h"
#include "script/sl_dictionary.h"

namespace tolvek {

// A script object of a host class. The factory that makes it (with the script-class layer)
// sets the class, the handle and the method entries; destroying it frees the host object.
class TSLClass : public TSLDictionary {
public:
  TSLClass() = default;
  ~TSLClass() override;
  const char* ClassName() const override { return "TSLClass"; }

  // Returns the receiver itself: script objects are shared, never duplicated.
  TSLObject* CopyObject() override { return this; }
  TSLComposite* CreateEmpty() const override { return NewObj<TSLClass>(); }
  bool IsClassOf(const TSLObject* other) const override {
    return dynamic_cast<const TSLClass*>(other) != nullptr;
  }

  // The host class and the handle of the host object it made (both null until bound).
  TScriptClass* GetScriptClass() const noexcept { return scriptClass_; }
  void* GetHandle() const noexcept { return handle_; }
  // Binds the host object; the dictionary frees it with the class when destroyed.
  void Bind(TScriptClass* scriptClass, void* handle) noexcept {
    scriptClass_ = scriptClass;
    handle_ = handle;
  }

  // One helper object the script-class layer keeps with the dictionary (retained).
  TRefObj* GetHelper() const noexcept { return helper_.Get(); }
  void SetHelper(TRefObj* helper) { helper_ = TRef<TRefObj>(helper); }

private:
  TScriptClass* scriptClass_ = nullptr;
  void* handle_ = nullptr;
  TRef<TRefObj> helper_;
};

}  // namespace tolvek
