// Built-in operations on the operand stack: pop, dup, exch, index, assign.
#include "script/interp/internal_procedure.h"

namespace tolvek {

namespace {

// A deep copy of `value` for the operand stack (a script object is the same object again).
TSLObject* CopyForStack(TSLObject* value) {
  if (!value) return nullptr;
  // Numbers are copied without the auto-release pool: they are the common case.
  const std::type_info& type = typeid(*value);
  if (&type == &typeid(TSLLongint))
    return NewObj<TSLLongint>(static_cast<TSLLongint*>(value)->GetInt64());
  if (&type == &typeid(TSLDouble))
    return NewObj<TSLDouble>(static_cast<TSLDouble*>(value)->GetDouble());
  return value->CopyObject();
}

TOLVEK_SL_OPERATOR(Pop) { context.Operands().Drop(); }

TOLVEK_SL_OPERATOR(Dup) { context.Operands().PushValue(CopyForStack(AnyOperand(context, 0))); }

TOLVEK_SL_OPERATOR(Exch) {
  TSLValueStack& operands = context.Operands();
  operands.Top(1);
  TRef<TSLObject> b = operands.PopRef();
  TRef<TSLObject> a = operands.PopRef();
  operands.PushValue(b.Get());
  operands.PushValue(a.Get());
}

TOLVEK_SL_OPERATOR(Index) {
  const int64_t n = IntOperand(context, 0);
  TSLObject* value = AnyOperand(context, static_cast<int32_t>(n < 0 || n > INT32_MAX - 1 ? -1 : n + 1));
  TRef<TSLObject> copy(CopyForStack(value));
  context.Operands().Drop();
  context.Operands().PushValue(copy.Get());
}

TOLVEK_SL_OPERATOR(Assign) {
  TSLObject* source = AnyOperand(context, 0);
  TSLObject* target = AnyOperand(context, 1);
  if (!target) throw EInvalidCast();
  target->AssignObject(source);
  context.Operands().Drop();
}

const TSLOperatorEntry kStackOperators[] = {
    TOLVEK_SL_ENTRY("pop", Pop),     TOLVEK_SL_ENTRY("dup", Dup),
    TOLVEK_SL_ENTRY("exch", Exch),   TOLVEK_SL_ENTRY("index", Index),
    TOLVEK_SL_ENTRY("assign", Assign),
};

}  // namespace

std::span<const TSLOperatorEntry> StackOperators() { return kStackOperators; }

}  // namespace tolvek
