// Built-in operations: their base classes (plain, dispatching on an operand's class, ordering
// comparison), the operand helpers every operation body starts with, and the table entry
// through which each group of operations is registered in the System dictionary.
//
// An operation body first checks its operands where they lie (depth 0 = top) through the
// helpers below, which fail with the invalid-cast failure (or the stack's underflow failure)
// before anything is popped; only then does it pop them and push its results. A failing
// operation therefore leaves the operand stack as it found it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <typeinfo>

#include "script/interp/sl_context.h"
#include "script/sl_scalar.h"

namespace tolvek {

// Base of every built-in operation: executable, and Execute does the work on the context.
class TSLInternalProcedure : public TSLObject {
public:
  const char* ClassName() const override { return "TSLInternalProcedure"; }
  bool GetExecutable() const override { return true; }
};

// An operation whose behaviour depends on the class of one operand. Subclasses fill the
// dispatch table in RegisterProcedures: at most 7 entries of (class test, operand depth,
// handler), tried in registration order (register subclasses before their base classes).
class TSLPolymorphProcedure : public TSLInternalProcedure {
public:
  using TClassTest = bool (*)(const TSLObject* value);
  using THandler = void (*)(TSLContext& context);
  static constexpr int32_t kMaxEntries = 7;

  const char* ClassName() const override { return "TSLPolymorphProcedure"; }
  // Runs the handler of the first matching entry; fails
  // "Procedure '%s' doesn't work on object with class %s" when none matches.
  void Execute(TSLContext& context) override;

  // A class test for Register: the value is a T (or a subclass).
  template <class T>
  static bool IsA(const TSLObject* value) {
    return dynamic_cast<const T*>(value) != nullptr;
  }

protected:
  // Fills the table; the base fails "<class>.RegisterProcedures not overwritten". Called once,
  // before the first dispatch.
  virtual void RegisterProcedures();
  // Adds an entry; fails "Procedure array has only %d entries" beyond 7.
  void Register(TClassTest test, int32_t depth, THandler handler);

private:
  struct TEntry {
    TClassTest Test;
    int32_t Depth;
    THandler Handler;
  };
  TEntry entries_[kMaxEntries] = {};
  int32_t count_ = 0;
  bool registered_ = false;
};

// Base of the ordering comparisons: numbers compare as floats when the top operand is a
// number, otherwise both operands must be strings and compare upper-cased, byte by byte.
class TSLCompare : public TSLInternalProcedure {
public:
  const char* ClassName() const override { return "TSLCompare"; }
  void Execute(TSLContext& context) override;
  virtual bool CompareNumbers(double a, double b) = 0;
  virtual bool CompareStrings(std::string_view a, std::string_view b) = 0;
};

// One built-in operation of the System dictionary: its script name and how to make it.
struct TSLOperatorEntry {
  const char* Name;
  TSLInternalProcedure* (*Make)();
};

// The operation groups, each a table in its own source file.
std::span<const TSLOperatorEntry> StackOperators();
std::span<const TSLOperatorEntry> ArithmeticOperators();
std::span<const TSLOperatorEntry> StringOperators();
std::span<const TSLOperatorEntry> ConversionOperators();
std::span<const TSLOperatorEntry> CollectionOperators();
std::span<const TSLOperatorEntry> DictionaryOperators();
std::span<const TSLOperatorEntry> ControlOperators();
std::span<const TSLOperatorEntry> FileOperators();
std::span<const TSLOperatorEntry> DateTimeOperators();
std::span<const TSLOperatorEntry> StorageOperators();
std::span<const TSLOperatorEntry> InteractionOperators();

// ---- Operand helpers --------------------------------------------------------------------

// `value` as a T, or null. The exact class is tried first: it is the common case and costs a
// comparison, where a full dynamic cast walks the class tree.
template <class T>
T* AsClass(TSLObject* value) {
  if (!value) return nullptr;
  if (&typeid(*value) == &typeid(T)) return static_cast<T*>(value);
  return dynamic_cast<T*>(value);
}
// Whether `value` is a number (TSLLongint, TSLDouble or another TSLNumber).
inline TSLNumber* AsNumber(TSLObject* value) {
  if (!value) return nullptr;
  const std::type_info& type = typeid(*value);
  if (&type == &typeid(TSLLongint) || &type == &typeid(TSLDouble)) return static_cast<TSLNumber*>(value);
  return dynamic_cast<TSLNumber*>(value);
}

// The operand at `depth` as a T; fails with the invalid-cast failure.
template <class T>
T* OperandAs(TSLContext& context, int32_t depth) {
  T* value = AsClass<T>(context.Operands().Top(depth));
  if (!value) throw EInvalidCast();
  return value;
}
template <>
inline TSLNumber* OperandAs<TSLNumber>(TSLContext& context, int32_t depth) {
  TSLNumber* value = AsNumber(context.Operands().Top(depth));
  if (!value) throw EInvalidCast();
  return value;
}
// The operand at `depth`, of any class (may be null).
inline TSLObject* AnyOperand(TSLContext& context, int32_t depth) {
  return context.Operands().Top(depth);
}
// Typed operand values.
int64_t IntOperand(TSLContext& context, int32_t depth);
double RealOperand(TSLContext& context, int32_t depth);
const std::string& StrOperand(TSLContext& context, int32_t depth);
bool BoolOperand(TSLContext& context, int32_t depth);
// The text of a name operand: a TSLIdent's name or a TSLString's text.
const std::string& NameOperand(TSLContext& context, int32_t depth);
// Whether the operand is exactly of class T (no subclass), without a failure.
template <class T>
bool OperandIs(TSLContext& context, int32_t depth) {
  TSLObject* value = context.Operands().Top(depth);
  return value && &typeid(*value) == &typeid(T);
}

// Pops `count` operands.
void PopOperands(TSLContext& context, int32_t count);
// Pushes a new value (the stack takes it over).
inline void PushNew(TSLContext& context, TSLObject* value) { context.Operands().PushValue(value); }
inline void PushInt(TSLContext& context, int64_t value) {
  PushNew(context, NewObj<TSLLongint>(value));
}
inline void PushReal(TSLContext& context, double value) {
  PushNew(context, NewObj<TSLDouble>(value));
}
inline void PushBool(TSLContext& context, bool value) {
  PushNew(context, NewObj<TSLBoolean>(value));
}
inline void PushStr(TSLContext& context, std::string text) {
  PushNew(context, NewObj<TSLString>(std::move(text)));
}
// Pushes a literal name.
inline void PushIdent(TSLContext& context, std::string_view name) {
  PushNew(context, NewObj<TSLIdent>(name, false));
}

// Raises a catchable script error from an operation (the operation's other effects stay).
void ScriptError(TSLContext& context, std::string_view message);

}  // namespace tolvek

// Declares the class TSL<Name>Procedure of a plain built-in operation and opens the body of its
// Execute(TSLContext& context).
#define TOLVEK_SL_OPERATOR(Name)                                                 \
  class TSL##Name##Procedure final : public ::tolvek::TSLInternalProcedure {     \
  public:                                                                        \
    const char* ClassName() const override { return "TSL" #Name "Procedure"; }   \
    void Execute(::tolvek::TSLContext& context) override;                        \
  };                                                                             \
  void TSL##Name##Procedure::Execute([[maybe_unused]] ::tolvek::TSLContext& context)

// A table row: script name and the class TSL<Name>Procedure.
#define TOLVEK_SL_ENTRY(script, Name)                                                     \
  ::tolvek::TSLOperatorEntry {                                                             \
    script, []() -> ::tolvek::TSLInternalProcedure* { return ::tolvek::NewObj<TSL##Name##Procedure>(); } \
  }
