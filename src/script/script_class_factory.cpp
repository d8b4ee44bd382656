// Script objects: made by their class's factory, their methods called by name.
#include "script/script_class_factory.h"

#include "platform/text_format.h"

namespace tolvek {

TSLScriptObjectLink::TSLScriptObjectLink(TSLScriptClassFactory* factory, void* handle)
    : factory_(factory), handle_(handle) {}

TScriptClass& TSLScriptObjectLink::GetRealClass() const { return factory_->GetScriptClass(); }

void TSLScriptObjectLink::DestroyScriptObject(void* handle) {
  if (!alive_) return;
  alive_ = false;
  handle_ = nullptr;
  GetRealClass().DestroyScriptObject(handle);
}

void* TSLScriptObjectLink::CreateScriptObject(TContextInterface& context) {
  return GetRealClass().CreateScriptObject(context);
}

void TSLScriptObjectLink::CallMethod(void* handle, int32_t index, TContextInterface& context) {
  GetRealClass().CallMethod(handle, index, context);
}

std::string TSLScriptObjectLink::GetMethodName(int32_t index) {
  return GetRealClass().GetMethodName(index);
}

TSLScriptClassFactory::TSLScriptClassFactory(std::string name,
                                             std::shared_ptr<TScriptClass> scriptClass)
    : name_(std::move(name)), scriptClass_(std::move(scriptClass)) {}

void TSLScriptClassFactory::Execute(TSLContext& context) {
  void* handle = scriptClass_->CreateScriptObject(context.GetContextInterface());
  TRef<TSLScriptObjectLink> link;
  TRef<TSLClass> object;
  try {
    link = MakeRef<TSLScriptObjectLink>(this, handle);
    object = MakeRef<TSLClass>();
  } catch (...) {
    scriptClass_->DestroyScriptObject(handle);
    throw;
  }
  // From here on the dictionary frees the host object, also when filling it fails.
  object->Bind(link.Get(), handle);
  object->SetHelper(link.Get());
  for (int32_t index = 0;; ++index) {
    const std::string method = scriptClass_->GetMethodName(index);
    if (method.empty()) break;
    TRef<TSLScrObjMethod> entry = MakeRef<TSLScrObjMethod>(link.Get(), index);
    object->AddObject(method, entry.Get());
  }
  context.Operands().PushValue(object.Get());
}

TSLScrObjMethod::TSLScrObjMethod(TSLScriptObjectLink* link, int32_t index)
    : link_(link), index_(index) {}

void TSLScrObjMethod::Execute(TSLContext& context) {
  if (!link_->Alive())
    throw EError(StrFormat("%s.Execute: script object was destroyed", ClassName()));
  link_->GetRealClass().CallMethod(link_->GetHandle(), index_, context.GetContextInterface());
}

void* ScriptObjectHandle(TSLObject* value) {
  auto* object = dynamic_cast<TSLClass*>(value);
  if (!object) return nullptr;
  auto* link = dynamic_cast<TSLScriptObjectLink*>(object->GetHelper());
  return link && link->Alive() ? link->GetHandle() : nullptr;
}

TSLContext& EngineContext(TContextInterface& context) {
  auto* engine = dynamic_cast<TContextInterfaceImplementation*>(&context);
  if (!engine) throw EInvalidCast();
  return engine->GetContext();
}

}  // namespace tolvek
