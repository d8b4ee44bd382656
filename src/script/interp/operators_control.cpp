// Built-in control operations (exec, if, ifelse, case, loops, exits, wait, abort, test) and
// exceptions (tryexcept, tryfinally, raise, raisese).
#include <algorithm>

#include "platform/text_format.h"
#include "script/interp/internal_procedure.h"

namespace tolvek {

namespace {

TOLVEK_SL_OPERATOR(Exec) {
  TRef<TSLObject> value = context.Operands().PopRef();
  context.RunValue(value.Get());
}

TOLVEK_SL_OPERATOR(If) {
  OperandAs<TSLBlock>(context, 0);
  const bool condition = BoolOperand(context, 1);
  TRef<TSLObject> block = context.Operands().PopRef();
  context.Operands().Drop();
  if (condition) context.RunValue(block.Get());
}

TOLVEK_SL_OPERATOR(Ifelse) {
  OperandAs<TSLBlock>(context, 0);
  OperandAs<TSLBlock>(context, 1);
  const bool condition = BoolOperand(context, 2);
  TRef<TSLObject> whenFalse = context.Operands().PopRef();
  TRef<TSLObject> whenTrue = context.Operands().PopRef();
  context.Operands().Drop();
  context.RunValue(condition ? whenTrue.Get() : whenFalse.Get());
}

// Whether a case key selects: integers compare as integers, strings byte for byte.
bool CaseMatches(TSLObject* selector, TSLObject* key) {
  if (auto* number = dynamic_cast<TSLLongint*>(selector)) {
    auto* other = dynamic_cast<TSLLongint*>(key);
    return other && other->GetInt64() == number->GetInt64();
  }
  auto* other = dynamic_cast<TSLString*>(key);
  return other && other->GetText() == static_cast<TSLString*>(selector)->GetText();
}

TOLVEK_SL_OPERATOR(Case) {
  auto* otherwise = OperandAs<TSLBlock>(context, 0);
  auto* pairs = OperandAs<TSLBlock>(context, 1);
  TSLObject* selector = AnyOperand(context, 2);
  if (!dynamic_cast<TSLLongint*>(selector) && !dynamic_cast<TSLString*>(selector))
    throw EInvalidCast();
  TRef<TSLObject> chosen(otherwise);
  for (int32_t i = 0; i + 1 < pairs->GetCount(); i += 2) {
    TSLObject* key = pairs->GetObjAtIndex(i);
    if (auto* name = dynamic_cast<TSLIdent*>(key)) key = context.Lookup(name->GetName());
    if (CaseMatches(selector, key)) {
      chosen = TRef<TSLObject>(CastObj<TSLBlock>(pairs->GetObjAtIndex(i + 1)));
      break;
    }
  }
  PopOperands(context, 3);
  context.RunValue(chosen.Get());
}

TOLVEK_SL_OPERATOR(Loop) {
  auto* block = OperandAs<TSLArray>(context, 0);
  TRef<TSLTokenizer> loop(NewObj<TSLRepeatTokenizer>(block, -1));
  context.Operands().Drop();
  context.PushTokenizer(loop.Get());
}

TOLVEK_SL_OPERATOR(Repeat) {
  auto* block = OperandAs<TSLArray>(context, 0);
  // A negative count repeats nothing; only "loop" repeats endlessly.
  const int64_t count = IntOperand(context, 1);
  TRef<TSLTokenizer> loop(NewObj<TSLRepeatTokenizer>(block, count < 0 ? 0 : count));
  PopOperands(context, 2);
  context.PushTokenizer(loop.Get());
}

TOLVEK_SL_OPERATOR(For) {
  auto* body = OperandAs<TSLArray>(context, 0);
  TRef<TSLTokenizer> loop(NewObj<TSLForTokenizer>(AnyOperand(context, 3), AnyOperand(context, 2),
                                                  AnyOperand(context, 1), body));
  PopOperands(context, 4);
  context.PushTokenizer(loop.Get());
}

TOLVEK_SL_OPERATOR(Forall) {
  auto* body = OperandAs<TSLArray>(context, 0);
  auto* collection = OperandAs<TSLCollection>(context, 1);
  TRef<TSLTokenizer> loop(NewObj<TSLForallTokenizer>(collection, body));
  PopOperands(context, 2);
  context.PushTokenizer(loop.Get());
}

TOLVEK_SL_OPERATOR(Exitblock) { context.ExitBlock(); }
TOLVEK_SL_OPERATOR(Exitloop) { context.ExitLoop(); }
TOLVEK_SL_OPERATOR(Exitproc) { context.ExitProc(); }

TOLVEK_SL_OPERATOR(Wait) {
  // Executed again after the wait, the operation has nothing left to do.
  if (context.GetReexec() != 0) return;
  const int64_t milliseconds = IntOperand(context, 0);
  context.Operands().Drop();
  context.Wait(this, static_cast<int32_t>(std::clamp<int64_t>(milliseconds, 0, INT32_MAX)));
}

TOLVEK_SL_OPERATOR(Abort) {
  // The run stops here: the rest of the slice must not go on after the task is gone.
  if (TSLContextTask* task = context.GetOwningTask()) {
    task->Abort();
    context.Interrupt();
    return;
  }
  context.SetErrorConverted(true);
  throw EError("script task aborted");
}

TOLVEK_SL_OPERATOR(Test) {
  // Three passes, counted in the re-execute value: push 100·pass and wait as long.
  const int32_t pass = context.GetReexec();
  if (pass >= 3) {
    context.SetReexec(0);
    return;
  }
  PushInt(context, 100 * (pass + 1));
  context.SetReexec(pass + 1);
  context.Wait(this, 100 * (pass + 1));
}

// ---- Exceptions -------------------------------------------------------------------------------

TOLVEK_SL_OPERATOR(Tryexcept) {
  auto* handler = OperandAs<TSLArray>(context, 0);
  auto* guarded = OperandAs<TSLArray>(context, 1);
  TRef<TSLTokenizer> except(NewObj<TSLExceptTokenizer>(handler));
  TRef<TSLArray> block(guarded);
  PopOperands(context, 2);
  context.PushTokenizer(except.Get());
  context.PushTokenizer(
      NewObj<TSLTryTokenizer>(block.Get(), context.Operands().Count(), context.Dicts().Count()));
}

TOLVEK_SL_OPERATOR(Tryfinally) {
  auto* final = OperandAs<TSLArray>(context, 0);
  auto* guarded = OperandAs<TSLArray>(context, 1);
  TRef<TSLTokenizer> finally(NewObj<TSLFinallyTokenizer>(final));
  TRef<TSLArray> block(guarded);
  PopOperands(context, 2);
  context.PushTokenizer(finally.Get());
  context.PushTokenizer(
      NewObj<TSLTryTokenizer>(block.Get(), context.Operands().Count(), context.Dicts().Count()));
}

TOLVEK_SL_OPERATOR(Raise) {
  TRef<TSLObject> value = context.Operands().PopRef();
  context.RaiseException(value.Get());
}

TOLVEK_SL_OPERATOR(Raisese) {
  TRef<TSLDictionary> exception = MakeRef<TSLDictionary>();
  exception->SetObjWithName("Msg", OperandAs<TSLString>(context, 0));
  context.Operands().Drop();
  context.RaiseException(exception.Get());
}

const TSLOperatorEntry kControlOperators[] = {
    TOLVEK_SL_ENTRY("exec", Exec),
    TOLVEK_SL_ENTRY("if", If),
    TOLVEK_SL_ENTRY("ifelse", Ifelse),
    TOLVEK_SL_ENTRY("case", Case),
    TOLVEK_SL_ENTRY("loop", Loop),
    TOLVEK_SL_ENTRY("repeat", Repeat),
    TOLVEK_SL_ENTRY("for", For),
    TOLVEK_SL_ENTRY("forall", Forall),
    TOLVEK_SL_ENTRY("exitblock", Exitblock),
    TOLVEK_SL_ENTRY("exitloop", Exitloop),
    TOLVEK_SL_ENTRY("exitproc", Exitproc),
    TOLVEK_SL_ENTRY("wait", Wait),
    TOLVEK_SL_ENTRY("abort", Abort),
    TOLVEK_SL_ENTRY("test", Test),
    TOLVEK_SL_ENTRY("tryexcept", Tryexcept),
    TOLVEK_SL_ENTRY("tryfinally", Tryfinally),
    TOLVEK_SL_ENTRY("raise", Raise),
    TOLVEK_SL_ENTRY("raisese", Raisese),
};

}  // namespace

std::span<const TSLOperatorEntry> ControlOperators() { return kControlOperators; }

}  // namespace tolvek
