// The context interface handed to script classes.
#include "script/interp/context_interface.h"

#include "script/interp/sl_context.h"

namespace tolvek {

void TContextInterfaceImplementation::SetReexec(int32_t value) { context_.SetReexec(value); }
int32_t TContextInterfaceImplementation::GetReexec() { return context_.GetReexec(); }

void TContextInterfaceImplementation::PushInt64(int64_t value) {
  context_.Operands().PushValue(NewObj<TSLLongint>(value));
}
void TContextInterfaceImplementation::PushDouble(double value) {
  context_.Operands().PushValue(NewObj<TSLDouble>(value));
}
void TContextInterfaceImplementation::PushString(std::string_view text) {
  context_.Operands().PushValue(NewObj<TSLString>(text));
}
void TContextInterfaceImplementation::PushName(std::string_view name) {
  context_.Operands().PushValue(NewObj<TSLIdent>(name, true));
}
void TContextInterfaceImplementation::PushBoolean(bool value) {
  context_.Operands().PushValue(NewObj<TSLBoolean>(value));
}

namespace {

template <class T>
T* TopAs(TSLContext& context) {
  return CastObj<T>(context.Operands().Top());
}

template <class T>
bool TopIs(TSLContext& context) {
  TSLValueStack& operands = context.Operands();
  return operands.Count() > 0 && dynamic_cast<T*>(operands.Top()) != nullptr;
}

}  // namespace

int64_t TContextInterfaceImplementation::PopInt64() {
  const int64_t value = TopAs<TSLLongint>(context_)->GetInt64();
  context_.Operands().Drop();
  return value;
}

double TContextInterfaceImplementation::PopDouble() {
  const double value = TopAs<TSLDouble>(context_)->GetDouble();
  context_.Operands().Drop();
  return value;
}

std::string TContextInterfaceImplementation::PopString() {
  std::string text = TopAs<TSLString>(context_)->GetText();
  context_.Operands().Drop();
  return text;
}

bool TContextInterfaceImplementation::PopBoolean() {
  const bool value = TopAs<TSLBoolean>(context_)->GetValue();
  context_.Operands().Drop();
  return value;
}

std::string TContextInterfaceImplementation::PopName() {
  std::string name = TopAs<TSLIdent>(context_)->GetName();
  context_.Operands().Drop();
  return name;
}

bool TContextInterfaceImplementation::IsInt64() { return TopIs<TSLLongint>(context_); }
bool TContextInterfaceImplementation::IsDouble() { return TopIs<TSLDouble>(context_); }
bool TContextInterfaceImplementation::IsString() { return TopIs<TSLString>(context_); }
bool TContextInterfaceImplementation::IsBoolean() { return TopIs<TSLBoolean>(context_); }

void TContextInterfaceImplementation::Wait(TSLObject* caller, int32_t milliseconds) {
  context_.Wait(caller, milliseconds);
}

void TContextInterfaceImplementation::Continue(int32_t argument) { context_.Continue(argument); }

void TContextInterfaceImplementation::CallName(std::string_view name) { context_.CallName(name); }

void RaiseScriptError(TContextInterface& context, std::string_view message) {
  context.PushString(message);
  context.CallName("raisese");
}

}  // namespace tolvek
