// Defaults of the script value operations.
#include "script/sl_object.h"

#include "platform/text_format.h"

namespace tolvek {

bool TSLObject::GetExecutable() const { return false; }
void TSLObject::SetExecutable(bool) { MethodNotImplemented("SetExecutable"); }

void TSLObject::MethodNotImplemented(const char* operation) const {
  throw EError(StrFormat("%s.%s: method not implemented", ClassName(), operation));
}

void TSLObject::Encode(TSLStreamEncoder&) { MethodNotImplemented("Encode"); }
void TSLObject::AssignObject(TSLObject*) { MethodNotImplemented("AssignObject"); }
TSLObject* TSLObject::CopyObject() {
  MethodNotImplemented("CopyObject");
  return nullptr;  // a subclass may override MethodNotImplemented
}
bool TSLObject::IsEqual(TSLObject*) {
  MethodNotImplemented("IsEqual");
  return false;
}
void TSLObject::Execute(TSLContext&) { MethodNotImplemented("Execute"); }

}  // namespace tolvek
