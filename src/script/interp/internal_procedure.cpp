// The base classes of built-in operations and the operand helpers.
#include "script/interp/internal_procedure.h"

#include "platform/text_format.h"

namespace tolvek {

void TSLPolymorphProcedure::RegisterProcedures() {
  throw EError(StrFormat("%s.RegisterProcedures not overwritten", ClassName()));
}

void TSLPolymorphProcedure::Register(TClassTest test, int32_t depth, THandler handler) {
  if (count_ >= kMaxEntries) throw EError(StrFormat("Procedure array has only %d entries", kMaxEntries));
  entries_[count_++] = TEntry{test, depth, handler};
}

void TSLPolymorphProcedure::Execute(TSLContext& context) {
  if (!registered_) {
    RegisterProcedures();
    registered_ = true;
  }
  TSLValueStack& operands = context.Operands();
  for (int32_t i = 0; i < count_; ++i) {
    const TEntry& entry = entries_[i];
    if (entry.Test(operands.Top(entry.Depth))) {
      entry.Handler(context);
      return;
    }
  }
  TSLObject* operand = count_ ? operands.Top(entries_[0].Depth) : nullptr;
  throw EError(StrFormat("Procedure '%s' doesn't work on object with class %s", ClassName(),
                         operand ? operand->ClassName() : "nil"));
}

namespace {

std::string UpperCase(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return result;
}

}  // namespace

void TSLCompare::Execute(TSLContext& context) {
  TSLObject* b = AnyOperand(context, 0);
  bool result;
  if (TSLNumber* bNumber = AsNumber(b)) {
    const double a = OperandAs<TSLNumber>(context, 1)->GetDouble();
    result = CompareNumbers(a, bNumber->GetDouble());
  } else {
    const std::string& bText = StrOperand(context, 0);
    const std::string& aText = StrOperand(context, 1);
    result = CompareStrings(UpperCase(aText), UpperCase(bText));
  }
  PopOperands(context, 2);
  PushBool(context, result);
}

int64_t IntOperand(TSLContext& context, int32_t depth) {
  return OperandAs<TSLLongint>(context, depth)->GetInt64();
}

double RealOperand(TSLContext& context, int32_t depth) {
  return OperandAs<TSLDouble>(context, depth)->GetDouble();
}

const std::string& StrOperand(TSLContext& context, int32_t depth) {
  return OperandAs<TSLString>(context, depth)->GetText();
}

bool BoolOperand(TSLContext& context, int32_t depth) {
  return OperandAs<TSLBoolean>(context, depth)->GetValue();
}

const std::string& NameOperand(TSLContext& context, int32_t depth) {
  TSLObject* value = AnyOperand(context, depth);
  if (auto* ident = AsClass<TSLIdent>(value)) return ident->GetName();
  if (auto* text = AsClass<TSLString>(value)) return text->GetText();
  throw EInvalidCast();
}

void PopOperands(TSLContext& context, int32_t count) {
  TSLValueStack& operands = context.Operands();
  for (int32_t i = 0; i < count; ++i) operands.Drop();
}

void ScriptError(TSLContext& context, std::string_view message) {
  RaiseScriptError(context.GetContextInterface(), message);
}

}  // namespace tolvek
