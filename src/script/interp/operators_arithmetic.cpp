// Built-in arithmetic, logic and comparison operations.
//
// Two integers stay integer with 64-bit wrap-around; a real operand makes the result real.
// Float results that are not finite are refused with the failure the platform's floating
// point unit reports, since such values could neither be compared sensibly nor written.
#include <cmath>
#include <limits>

#include "platform/text_format.h"
#include "script/interp/internal_procedure.h"

namespace tolvek {

namespace {

int64_t WrapAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
int64_t WrapSub(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}
int64_t WrapMul(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}

// `value` when finite; otherwise the floating-point failure for it.
double Finite(double value) {
  if (std::isnan(value)) throw EError("Invalid floating point operation");
  if (std::isinf(value)) throw EError("Floating point overflow");
  return value;
}

// A float operation's result, given as a function of its operands (checked as above).
double Quotient(double a, double b) {
  if (b == 0) {
    if (a == 0 || std::isnan(a)) throw EError("Invalid floating point operation");
    throw EError("Floating point division by zero");
  }
  return Finite(a / b);
}

double Logarithm(double value, double (*log)(double)) {
  if (value == 0) throw EError("Floating point division by zero");
  if (value < 0) throw EError("Invalid floating point operation");
  return Finite(log(value));
}

// Float to a 64-bit integer; values outside the range are an invalid operation.
int64_t CheckedInt64(double value) {
  if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0))
    throw EError("Invalid floating point operation");
  return static_cast<int64_t>(value);
}

// Replaces the two operands by an integer result, reusing the lower operand's value object
// when the stack holds the only reference to it.
void ReplaceWithInt(TSLContext& context, int64_t result) {
  TSLValueStack& operands = context.Operands();
  TSLObject* a = operands.Top(1);
  operands.Drop();
  if (a && a->GetCount() == 1 && &typeid(*a) == &typeid(TSLLongint) && !a->GetDbgInfo()) {
    static_cast<TSLLongint*>(a)->TSLLongint::SetInt64(result);
    return;
  }
  operands.Drop();
  PushInt(context, result);
}

void ReplaceWithReal(TSLContext& context, int32_t count, double result) {
  TSLValueStack& operands = context.Operands();
  TSLObject* a = operands.Top(count - 1);
  for (int32_t i = 1; i < count; ++i) operands.Drop();
  if (a && a->GetCount() == 1 && &typeid(*a) == &typeid(TSLDouble) && !a->GetDbgInfo()) {
    static_cast<TSLDouble*>(a)->TSLDouble::SetDouble(result);
    return;
  }
  operands.Drop();
  PushReal(context, result);
}

// Two numeric operands: the integer operation when both are integers, else the float one.
template <int64_t (*IntOp)(int64_t, int64_t), double (*RealOp)(double, double)>
void NumberPair(TSLContext& context) {
  TSLObject* b = AnyOperand(context, 0);
  TSLObject* a = AnyOperand(context, 1);
  auto* bNumber = CastObj<TSLNumber>(b);
  auto* aNumber = CastObj<TSLNumber>(a);
  if (dynamic_cast<TSLLongint*>(a) && dynamic_cast<TSLLongint*>(b)) {
    ReplaceWithInt(context, IntOp(aNumber->GetInt64(), bNumber->GetInt64()));
    return;
  }
  ReplaceWithReal(context, 2, RealOp(aNumber->GetDouble(), bNumber->GetDouble()));
}

double RealAdd(double a, double b) { return Finite(a + b); }
double RealSub(double a, double b) { return Finite(a - b); }
double RealMul(double a, double b) { return Finite(a * b); }

// The integer fast path shared by add, sub and mul: both operands exactly TSLLongint.
template <int64_t (*IntOp)(int64_t, int64_t)>
bool IntFastPath(TSLContext& context) {
  TSLValueStack& operands = context.Operands();
  if (operands.Count() < 2) return false;
  TSLObject* b = operands.Top(0);
  TSLObject* a = operands.Top(1);
  if (!a || !b || &typeid(*a) != &typeid(TSLLongint) || &typeid(*b) != &typeid(TSLLongint))
    return false;
  ReplaceWithInt(context, IntOp(static_cast<TSLLongint*>(a)->TSLLongint::GetInt64(),
                                static_cast<TSLLongint*>(b)->TSLLongint::GetInt64()));
  return true;
}

class TSLAddProcedure final : public TSLPolymorphProcedure {
public:
  const char* ClassName() const override { return "TSLAddProcedure"; }
  void Execute(TSLContext& context) override {
    if (!IntFastPath<WrapAdd>(context)) TSLPolymorphProcedure::Execute(context);
  }

protected:
  void RegisterProcedures() override {
    Register(IsA<TSLNumber>, 1, NumberPair<WrapAdd, RealAdd>);
    Register(IsA<TSLString>, 1, AddStrings);
    Register(IsA<TSLArray>, 1, AddToArray);
  }

private:
  static void AddStrings(TSLContext& context) {
    TSLValueStack& operands = context.Operands();
    const std::string& b = StrOperand(context, 0);
    auto* a = OperandAs<TSLString>(context, 1);
    if (a->GetCount() == 1 && &typeid(*a) == &typeid(TSLString) && !a->GetDbgInfo()) {
      // The stack holds the only reference to the left string: append in place instead of
      // copying its text (b cannot be the same object, which would hold a second reference).
      const_cast<std::string&>(a->GetText()).append(b);
      operands.Drop();
      return;
    }
    std::string text;
    text.reserve(a->GetText().size() + b.size());
    text.append(a->GetText()).append(b);
    PopOperands(context, 2);
    PushStr(context, std::move(text));
  }
  static void AddToArray(TSLContext& context) {
    TSLValueStack& operands = context.Operands();
    auto* array = OperandAs<TSLArray>(context, 1);
    TRef<TSLObject> value = operands.PopRef();
    array->Append(value.Get());
    operands.Drop();
  }
};

class TSLSubProcedure final : public TSLPolymorphProcedure {
public:
  const char* ClassName() const override { return "TSLSubProcedure"; }
  void Execute(TSLContext& context) override {
    if (!IntFastPath<WrapSub>(context)) TSLPolymorphProcedure::Execute(context);
  }

protected:
  void RegisterProcedures() override { Register(IsA<TSLNumber>, 1, NumberPair<WrapSub, RealSub>); }
};

class TSLMulProcedure final : public TSLPolymorphProcedure {
public:
  const char* ClassName() const override { return "TSLMulProcedure"; }
  void Execute(TSLContext& context) override {
    if (!IntFastPath<WrapMul>(context)) TSLPolymorphProcedure::Execute(context);
  }

protected:
  void RegisterProcedures() override { Register(IsA<TSLNumber>, 1, NumberPair<WrapMul, RealMul>); }
};

class TSLDivProcedure final : public TSLPolymorphProcedure {
public:
  const char* ClassName() const override { return "TSLDivProcedure"; }

protected:
  void RegisterProcedures() override { Register(IsA<TSLNumber>, 1, Divide); }

private:
  static void Divide(TSLContext& context) {
    const double b = OperandAs<TSLNumber>(context, 0)->GetDouble();
    const double a = OperandAs<TSLNumber>(context, 1)->GetDouble();
    ReplaceWithReal(context, 2, Quotient(a, b));
  }
};

TOLVEK_SL_OPERATOR(Idiv) {
  const int64_t b = IntOperand(context, 0);
  const int64_t a = IntOperand(context, 1);
  if (b == 0) throw EError("Division by zero");
  ReplaceWithInt(context, b == -1 ? WrapSub(0, a) : a / b);
}

TOLVEK_SL_OPERATOR(Mod) {
  const int64_t b = IntOperand(context, 0);
  const int64_t a = IntOperand(context, 1);
  if (b == 0) throw EError("Division by zero");
  ReplaceWithInt(context, b == -1 ? 0 : a % b);
}

// One numeric operand: an integer stays integer, a real stays real.
template <int64_t (*IntOp)(int64_t), double (*RealOp)(double)>
class TSLUnaryNumber : public TSLPolymorphProcedure {
protected:
  void RegisterProcedures() override {
    Register(IsA<TSLLongint>, 0, [](TSLContext& context) {
      const int64_t value = IntOperand(context, 0);
      PopOperands(context, 1);
      PushInt(context, IntOp(value));
    });
    Register(IsA<TSLDouble>, 0, [](TSLContext& context) {
      const double value = RealOperand(context, 0);
      PopOperands(context, 1);
      PushReal(context, RealOp(value));
    });
  }
};

int64_t IntNeg(int64_t value) { return WrapSub(0, value); }
double RealNeg(double value) { return -value; }
int64_t IntAbs(int64_t value) { return value < 0 ? WrapSub(0, value) : value; }
double RealAbs(double value) { return std::fabs(value); }

class TSLNegProcedure final : public TSLUnaryNumber<IntNeg, RealNeg> {
public:
  const char* ClassName() const override { return "TSLNegProcedure"; }
};
class TSLAbsProcedure final : public TSLUnaryNumber<IntAbs, RealAbs> {
public:
  const char* ClassName() const override { return "TSLAbsProcedure"; }
};

// One numeric operand, a result of another kind made by `Op` from its float value.
template <void (*Op)(TSLContext&, double)>
class TSLFromFloat : public TSLPolymorphProcedure {
protected:
  void RegisterProcedures() override {
    Register(IsA<TSLNumber>, 0, [](TSLContext& context) {
      const double value = OperandAs<TSLNumber>(context, 0)->GetDouble();
      Op(context, value);
    });
  }
};

void PushSqrt(TSLContext& context, double value) {
  if (value < 0) throw EError("Invalid floating point operation");
  ReplaceWithReal(context, 1, std::sqrt(value));
}

// Ceil and floor answer a 32-bit integer: the 64-bit truncation cut to its low 32 bits.
int64_t ToInt32(double value) { return static_cast<int32_t>(static_cast<uint32_t>(CheckedInt64(value))); }
void PushCeil(TSLContext& context, double value) {
  const int64_t result = ToInt32(std::ceil(value));
  PopOperands(context, 1);
  PushInt(context, result);
}
void PushFloor(TSLContext& context, double value) {
  const int64_t result = ToInt32(std::floor(value));
  PopOperands(context, 1);
  PushInt(context, result);
}

class TSLSqrtProcedure final : public TSLFromFloat<PushSqrt> {
public:
  const char* ClassName() const override { return "TSLSqrtProcedure"; }
};
class TSLCeilProcedure final : public TSLFromFloat<PushCeil> {
public:
  const char* ClassName() const override { return "TSLCeilProcedure"; }
};
class TSLFloorProcedure final : public TSLFromFloat<PushFloor> {
public:
  const char* ClassName() const override { return "TSLFloorProcedure"; }
};

// Round and trunc: a real becomes a 64-bit integer, an integer stays as it is.
template <double (*Op)(double)>
class TSLToInteger : public TSLPolymorphProcedure {
protected:
  void RegisterProcedures() override {
    Register(IsA<TSLDouble>, 0, [](TSLContext& context) {
      const int64_t result = CheckedInt64(Op(RealOperand(context, 0)));
      PopOperands(context, 1);
      PushInt(context, result);
    });
    Register(IsA<TSLLongint>, 0, [](TSLContext&) {});
  }
};

double RoundEven(double value) { return std::nearbyint(value); }
double TruncZero(double value) { return std::trunc(value); }

class TSLRoundProcedure final : public TSLToInteger<RoundEven> {
public:
  const char* ClassName() const override { return "TSLRoundProcedure"; }
};
class TSLTruncProcedure final : public TSLToInteger<TruncZero> {
public:
  const char* ClassName() const override { return "TSLTruncProcedure"; }
};

// Operations on real operands only.
template <double (*Op)(double)>
void RealUnary(TSLContext& context) {
  const double value = RealOperand(context, 0);
  ReplaceWithReal(context, 1, Op(value));
}

double Ln(double value) { return Logarithm(value, std::log); }
double Log2(double value) { return Logarithm(value, std::log2); }
double Log10(double value) { return Logarithm(value, std::log10); }
double Sin(double value) { return Finite(std::sin(value)); }
double Cos(double value) { return Finite(std::cos(value)); }

TOLVEK_SL_OPERATOR(Ln) { RealUnary<Ln>(context); }
TOLVEK_SL_OPERATOR(Log2) { RealUnary<Log2>(context); }
TOLVEK_SL_OPERATOR(Log10) { RealUnary<Log10>(context); }
TOLVEK_SL_OPERATOR(Sin) { RealUnary<Sin>(context); }
TOLVEK_SL_OPERATOR(Cos) { RealUnary<Cos>(context); }

TOLVEK_SL_OPERATOR(Exp) {
  const double b = RealOperand(context, 0);
  const double a = RealOperand(context, 1);
  if (a == 0 && b < 0) throw EError("Floating point division by zero");
  ReplaceWithReal(context, 2, Finite(std::pow(a, b)));
}

TOLVEK_SL_OPERATOR(Atan) {
  const double b = RealOperand(context, 0);
  const double a = RealOperand(context, 1);
  ReplaceWithReal(context, 2, Finite(std::atan2(a, b)));
}

TOLVEK_SL_OPERATOR(Power) {
  // Both operands count with their low 32 bits; the product wraps at 64 bits as repeated
  // multiplication would, computed by squaring.
  int64_t exponent = static_cast<int32_t>(IntOperand(context, 0));
  int64_t base = static_cast<int32_t>(IntOperand(context, 1));
  int64_t result = 1;
  while (exponent > 0) {
    if (exponent & 1) result = WrapMul(result, base);
    base = WrapMul(base, base);
    exponent >>= 1;
  }
  ReplaceWithInt(context, result);
}

TOLVEK_SL_OPERATOR(Logx) {
  const double b = static_cast<int32_t>(IntOperand(context, 0));
  const double a = static_cast<int32_t>(IntOperand(context, 1));
  const double result = Quotient(Logarithm(b, std::log), Logarithm(a, std::log));
  PopOperands(context, 2);
  PushReal(context, result);
}

// And, or, xor: bitwise on integers, logical on booleans, dispatched on the lower operand.
template <int64_t (*IntOp)(int64_t, int64_t), bool (*BoolOp)(bool, bool)>
class TSLLogical : public TSLPolymorphProcedure {
protected:
  void RegisterProcedures() override {
    Register(IsA<TSLLongint>, 1, [](TSLContext& context) {
      const int64_t b = IntOperand(context, 0);
      ReplaceWithInt(context, IntOp(IntOperand(context, 1), b));
    });
    Register(IsA<TSLBoolean>, 1, [](TSLContext& context) {
      const bool b = BoolOperand(context, 0);
      const bool result = BoolOp(BoolOperand(context, 1), b);
      PopOperands(context, 2);
      PushBool(context, result);
    });
  }
};

int64_t IntAnd(int64_t a, int64_t b) { return a & b; }
int64_t IntOr(int64_t a, int64_t b) { return a | b; }
int64_t IntXor(int64_t a, int64_t b) { return a ^ b; }
bool BoolAnd(bool a, bool b) { return a && b; }
bool BoolOr(bool a, bool b) { return a || b; }
bool BoolXor(bool a, bool b) { return a != b; }

class TSLAndProcedure final : public TSLLogical<IntAnd, BoolAnd> {
public:
  const char* ClassName() const override { return "TSLAndProcedure"; }
};
class TSLOrProcedure final : public TSLLogical<IntOr, BoolOr> {
public:
  const char* ClassName() const override { return "TSLOrProcedure"; }
};
class TSLXorProcedure final : public TSLLogical<IntXor, BoolXor> {
public:
  const char* ClassName() const override { return "TSLXorProcedure"; }
};

class TSLNotProcedure final : public TSLPolymorphProcedure {
public:
  const char* ClassName() const override { return "TSLNotProcedure"; }

protected:
  void RegisterProcedures() override {
    Register(IsA<TSLLongint>, 0, [](TSLContext& context) {
      const int64_t value = IntOperand(context, 0);
      PopOperands(context, 1);
      PushInt(context, ~value);
    });
    Register(IsA<TSLBoolean>, 0, [](TSLContext& context) {
      const bool value = BoolOperand(context, 0);
      PopOperands(context, 1);
      PushBool(context, !value);
    });
  }
};

// Shift counts use their low 6 bits, as the processor's 64-bit shifts do.
TOLVEK_SL_OPERATOR(Shl) {
  const int64_t n = IntOperand(context, 0);
  const uint64_t value = static_cast<uint64_t>(IntOperand(context, 1));
  ReplaceWithInt(context, static_cast<int64_t>(value << (n & 63)));
}

TOLVEK_SL_OPERATOR(Shr) {
  const int64_t n = IntOperand(context, 0);
  const uint64_t value = static_cast<uint64_t>(IntOperand(context, 1));
  ReplaceWithInt(context, static_cast<int64_t>(value >> (n & 63)));
}

// ---- Comparison -----------------------------------------------------------------------------

bool Equal(TSLObject* a, TSLObject* b) {
  if (!a || !b) return a == b;
  return b->IsEqual(a);
}

TOLVEK_SL_OPERATOR(Eq) {
  const bool result = Equal(AnyOperand(context, 1), AnyOperand(context, 0));
  PopOperands(context, 2);
  PushBool(context, result);
}

TOLVEK_SL_OPERATOR(Ne) {
  const bool result = !Equal(AnyOperand(context, 1), AnyOperand(context, 0));
  PopOperands(context, 2);
  PushBool(context, result);
}

#define TOLVEK_SL_COMPARE(Name, op)                                                     \
  class TSL##Name##Procedure final : public TSLCompare {                                \
  public:                                                                               \
    const char* ClassName() const override { return "TSL" #Name "Procedure"; }          \
    bool CompareNumbers(double a, double b) override { return a op b; }                 \
    bool CompareStrings(std::string_view a, std::string_view b) override { return a op b; } \
  };

TOLVEK_SL_COMPARE(Lt, <)
TOLVEK_SL_COMPARE(Le, <=)
TOLVEK_SL_COMPARE(Gt, >)
TOLVEK_SL_COMPARE(Ge, >=)

const TSLOperatorEntry kArithmeticOperators[] = {
    TOLVEK_SL_ENTRY("add", Add),     TOLVEK_SL_ENTRY("sub", Sub),
    TOLVEK_SL_ENTRY("mul", Mul),     TOLVEK_SL_ENTRY("div", Div),
    TOLVEK_SL_ENTRY("idiv", Idiv),   TOLVEK_SL_ENTRY("mod", Mod),
    TOLVEK_SL_ENTRY("neg", Neg),     TOLVEK_SL_ENTRY("abs", Abs),
    TOLVEK_SL_ENTRY("sqrt", Sqrt),   TOLVEK_SL_ENTRY("exp", Exp),
    TOLVEK_SL_ENTRY("power", Power), TOLVEK_SL_ENTRY("ln", Ln),
    TOLVEK_SL_ENTRY("log2", Log2),   TOLVEK_SL_ENTRY("log10", Log10),
    TOLVEK_SL_ENTRY("logx", Logx),   TOLVEK_SL_ENTRY("sin", Sin),
    TOLVEK_SL_ENTRY("cos", Cos),     TOLVEK_SL_ENTRY("atan", Atan),
    TOLVEK_SL_ENTRY("ceil", Ceil),   TOLVEK_SL_ENTRY("floor", Floor),
    TOLVEK_SL_ENTRY("round", Round), TOLVEK_SL_ENTRY("trunc", Trunc),
    TOLVEK_SL_ENTRY("and", And),     TOLVEK_SL_ENTRY("or", Or),
    TOLVEK_SL_ENTRY("xor", Xor),     TOLVEK_SL_ENTRY("not", Not),
    TOLVEK_SL_ENTRY("shl", Shl),     TOLVEK_SL_ENTRY("shr", Shr),
    TOLVEK_SL_ENTRY("eq", Eq),       TOLVEK_SL_ENTRY("ne", Ne),
    TOLVEK_SL_ENTRY("lt", Lt),       TOLVEK_SL_ENTRY("le", Le),
    TOLVEK_SL_ENTRY("gt", Gt),       TOLVEK_SL_ENTRY("ge", Ge),
};

}  // namespace

std::span<const TSLOperatorEntry> ArithmeticOperators() { return kArithmeticOperators; }

}  // namespace tolvek
