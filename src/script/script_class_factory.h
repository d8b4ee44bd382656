// The engine side of script classes: the factory operation behind "Create:<Name>" that makes
// script objects, and the method operation each script object carries under every method name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "script/interp/internal_procedure.h"
#include "script/script_class.h"
#include "script/sl_class.h"

namespace tolvek {

class TSLScriptClassFactory;

// What the methods of one script object share: the host class, the handle, and whether the
// host object still exists. A method value can outlive its object (a script may keep it after
// dropping the object), so a method asks here instead of holding the object itself.
class TSLScriptObjectLink : public TRefObj, public TScriptClass {
public:
  TSLScriptObjectLink(TSLScriptClassFactory* factory, void* handle);
  const char* ClassName() const override { return "TSLScriptObjectLink"; }

  // Whether the host object is still alive.
  bool Alive() const noexcept { return alive_; }
  void* GetHandle() const noexcept { return handle_; }
  // The host class the object belongs to.
  TScriptClass& GetRealClass() const;

  // The script object's dictionary calls this when it is destroyed: the host object goes.
  void DestroyScriptObject(void* handle) override;
  void* CreateScriptObject(TContextInterface& context) override;
  void CallMethod(void* handle, int32_t index, TContextInterface& context) override;
  std::string GetMethodName(int32_t index) override;

private:
  TRef<TSLScriptClassFactory> factory_;
  void* handle_;
  bool alive_ = true;
};

// The operation under a script class's name in the Create dictionary: executing it makes a new
// script object (a TSLClass) and pushes it.
class TSLScriptClassFactory final : public TSLInternalProcedure {
public:
  TSLScriptClassFactory(std::string name, std::shared_ptr<TScriptClass> scriptClass);
  const char* ClassName() const override { return "TSLScriptClassFactory"; }

  const std::string& GetName() const noexcept { return name_; }
  TScriptClass& GetScriptClass() const noexcept { return *scriptClass_; }

  // Creates the host object (it may pop constructor arguments), builds its dictionary with one
  // method entry per method name, and pushes it.
  void Execute(TSLContext& context) override;

private:
  std::string name_;
  std::shared_ptr<TScriptClass> scriptClass_;
};

// One method of one script object: executing it runs the host method on the operand stack.
class TSLScrObjMethod final : public TSLInternalProcedure {
public:
  TSLScrObjMethod(TSLScriptObjectLink* link, int32_t index);
  const char* ClassName() const override { return "TSLScrObjMethod"; }

  int32_t GetIndex() const noexcept { return index_; }
  // Fails "%s.Execute: script object was destroyed" once the object is gone.
  void Execute(TSLContext& context) override;

private:
  TRef<TSLScriptObjectLink> link_;
  int32_t index_;
};

// The host object behind a script object made by a factory, or null when `value` is not one.
void* ScriptObjectHandle(TSLObject* value);

// The context behind a context interface, for the engine's own script classes, which pass
// composite values on the operand stack directly instead of through handles.
TSLContext& EngineContext(TContextInterface& context);

}  // namespace tolvek
