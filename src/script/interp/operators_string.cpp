// Built-in operations on strings and characters, and the conversions between values and text.
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/number_text.h"
#include "platform/text_format.h"
#include "script/interp/internal_procedure.h"

namespace tolvek {

namespace {

// A byte position or length operand: negative values count as 0, values beyond any string as
// the largest size.
size_t SizeOperand(TSLContext& context, int32_t depth) {
  const int64_t value = IntOperand(context, depth);
  return value < 0 ? 0 : static_cast<size_t>(value);
}

TOLVEK_SL_OPERATOR(Length) {
  const int64_t length = static_cast<int64_t>(StrOperand(context, 0).size());
  context.Operands().Drop();
  PushInt(context, length);
}

TOLVEK_SL_OPERATOR(Getsubstr) {
  const size_t count = SizeOperand(context, 0);
  const size_t start = SizeOperand(context, 1);
  const std::string& text = StrOperand(context, 2);
  std::string part = start < text.size() ? text.substr(start, count) : std::string();
  PopOperands(context, 3);
  PushStr(context, std::move(part));
}

TOLVEK_SL_OPERATOR(Putsubstr) {
  // Only bytes inside the target change: the part of the source that would reach past the
  // target's end is dropped.
  const std::string source = StrOperand(context, 0);
  const int64_t start = IntOperand(context, 1);
  auto* target = OperandAs<TSLString>(context, 2);
  std::string& text = const_cast<std::string&>(target->GetText());
  for (size_t k = 0; k < source.size(); ++k) {
    const int64_t position = start + static_cast<int64_t>(k);
    if (position >= 0 && position < static_cast<int64_t>(text.size()))
      text[static_cast<size_t>(position)] = source[k];
  }
  PopOperands(context, 2);
}

TOLVEK_SL_OPERATOR(Search) {
  const std::string seek = StrOperand(context, 0);
  const std::string text = StrOperand(context, 1);
  const size_t at = seek.empty() ? std::string::npos : text.find(seek);
  PopOperands(context, 2);
  if (at == std::string::npos) {
    PushBool(context, false);
    return;
  }
  PushStr(context, text.substr(0, at));
  PushStr(context, seek);
  PushStr(context, text.substr(at + seek.size()));
  PushBool(context, true);
}

TOLVEK_SL_OPERATOR(Uppercase) {
  std::string text = StrOperand(context, 0);
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  context.Operands().Drop();
  PushStr(context, std::move(text));
}

// pad and padr: the first byte of the fill string until the length is reached.
void Pad(TSLContext& context, bool right) {
  const std::string& fill = StrOperand(context, 0);
  const int64_t length = IntOperand(context, 1);
  std::string text = StrOperand(context, 2);
  if (!fill.empty() && length > static_cast<int64_t>(text.size())) {
    const std::string padding(static_cast<size_t>(length) - text.size(), fill[0]);
    text = right ? text + padding : padding + text;
  }
  PopOperands(context, 3);
  PushStr(context, std::move(text));
}

TOLVEK_SL_OPERATOR(Pad) { Pad(context, false); }
TOLVEK_SL_OPERATOR(Padr) { Pad(context, true); }

TOLVEK_SL_OPERATOR(Chr) {
  const char c = static_cast<char>(IntOperand(context, 0) & 0xFF);
  context.Operands().Drop();
  PushStr(context, std::string(1, c));
}

TOLVEK_SL_OPERATOR(Ord) {
  const std::string text = StrOperand(context, 0);
  context.Operands().Drop();
  if (text.size() != 1) {
    ScriptError(context, "operand must be of type char (string with length 1)");
    return;
  }
  PushInt(context, static_cast<uint8_t>(text[0]));
}

// ---- Conversion -----------------------------------------------------------------------------

class TSLCviProcedure final : public TSLPolymorphProcedure {
public:
  const char* ClassName() const override { return "TSLCviProcedure"; }

protected:
  void RegisterProcedures() override {
    Register(IsA<TSLDouble>, 0, [](TSLContext& context) {
      const int64_t value = OperandAs<TSLDouble>(context, 0)->GetInt64();
      context.Operands().Drop();
      PushInt(context, value);
    });
    Register(IsA<TSLLongint>, 0, [](TSLContext&) {});
    Register(IsA<TSLString>, 0, [](TSLContext& context) {
      const int64_t value = ParseInt(StrOperand(context, 0));
      context.Operands().Drop();
      PushInt(context, value);
    });
  }
};

class TSLCvrProcedure final : public TSLPolymorphProcedure {
public:
  const char* ClassName() const override { return "TSLCvrProcedure"; }

protected:
  void RegisterProcedures() override {
    Register(IsA<TSLDouble>, 0, [](TSLContext&) {});
    Register(IsA<TSLLongint>, 0, [](TSLContext& context) {
      // The integer's low 32 bits, as the float conversion always took them.
      const double value = static_cast<int32_t>(IntOperand(context, 0));
      context.Operands().Drop();
      PushReal(context, value);
    });
    Register(IsA<TSLString>, 0, [](TSLContext& context) {
      const double value = ParseFloat(StrOperand(context, 0));
      context.Operands().Drop();
      PushReal(context, value);
    });
  }
};

class TSLCvsProcedure final : public TSLPolymorphProcedure {
public:
  const char* ClassName() const override { return "TSLCvsProcedure"; }

protected:
  void RegisterProcedures() override {
    Register(IsA<TSLNumber>, 0, [](TSLContext& context) {
      std::string text = OperandAs<TSLNumber>(context, 0)->GetString();
      context.Operands().Drop();
      PushStr(context, std::move(text));
    });
    Register(IsA<TSLIdent>, 0, [](TSLContext& context) {
      std::string text = OperandAs<TSLIdent>(context, 0)->GetName();
      context.Operands().Drop();
      PushStr(context, std::move(text));
    });
  }
};

TOLVEK_SL_OPERATOR(Cvn) {
  std::string name = StrOperand(context, 0);
  context.Operands().Drop();
  PushIdent(context, name);
}

constexpr const char kBase36Digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr const char kBase35Digits[] = "0123456789ABCDEFGHIJKLMNPQRSTUVWXYZ";

// `value` in `base` with the given digits, "-" in front of negative values.
std::string IntToDigits(int64_t value, uint64_t base, const char* digits) {
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string text;
  do {
    text.insert(text.begin(), digits[magnitude % base]);
    magnitude /= base;
  } while (magnitude != 0);
  if (value < 0) text.insert(text.begin(), '-');
  return text;
}

TOLVEK_SL_OPERATOR(Cvrs) {
  const int64_t base = IntOperand(context, 0);
  const int64_t value = OperandAs<TSLNumber>(context, 1)->GetInt64();
  if (base < 2 || base > 36) throw EError("IntToStrBaseX: Base must between 2 and 36");
  std::string text = IntToDigits(value, static_cast<uint64_t>(base), kBase36Digits);
  PopOperands(context, 2);
  PushStr(context, std::move(text));
}

// Sums digit · base^position with 64-bit wrap-around; `digitOf` gives a character's digit.
template <class DigitOf>
int64_t DigitsToInt(std::string_view text, uint64_t base, DigitOf digitOf) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  uint64_t value = 0;
  for (char c : text) value = value * base + digitOf(c);
  return static_cast<int64_t>(negative ? 0 - value : value);
}

TOLVEK_SL_OPERATOR(Cvri) {
  const int64_t base = IntOperand(context, 0);
  const std::string& text = StrOperand(context, 1);
  const int64_t value = DigitsToInt(text, static_cast<uint64_t>(base), [base](char c) -> uint64_t {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'Z')
      digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'z')
      digit = c - 'a' + 10;
    else
      throw EError("Char36ToInt: Value has to be '0'..'9', 'A'..'Z' or 'a'..'z'");
    if (digit >= base) throw EError(StrFormat("StrBaseXToInt: Invalid char '%s' in string", std::string(1, c)));
    return static_cast<uint64_t>(digit);
  });
  PopOperands(context, 2);
  PushInt(context, value);
}

TOLVEK_SL_OPERATOR(Cvrls) {
  std::string text = IntToDigits(IntOperand(context, 0), 35, kBase35Digits);
  context.Operands().Drop();
  PushStr(context, std::move(text));
}

TOLVEK_SL_OPERATOR(Cvrli) {
  const std::string& text = StrOperand(context, 0);
  const int64_t value = DigitsToInt(text, 35, [](char c) -> uint64_t {
    const char* at = c ? std::strchr(kBase35Digits, c) : nullptr;
    if (!at) throw EError(StrFormat("StrChArrToInt: Invalid char '%s' in string", std::string(1, c)));
    return static_cast<uint64_t>(at - kBase35Digits);
  });
  context.Operands().Drop();
  PushInt(context, value);
}

TOLVEK_SL_OPERATOR(Chki) {
  int64_t value;
  const bool valid = TryParseInt(StrOperand(context, 0), value);
  context.Operands().Drop();
  PushBool(context, valid);
}

TOLVEK_SL_OPERATOR(Chkr) {
  double value;
  const bool valid = TryParseFloat(StrOperand(context, 0), value);
  context.Operands().Drop();
  PushBool(context, valid);
}

// Handles given out by objtoint: each keeps its value alive for the rest of the process, and
// only these numbers turn back into values.
class THandleTable {
public:
  static THandleTable& Instance() {
    static THandleTable* table = new THandleTable();
    return *table;
  }
  int64_t HandleOf(TSLObject* value) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto handle = static_cast<int64_t>(reinterpret_cast<intptr_t>(value));
    if (values_.emplace(handle, value).second && value) value->Retain();
    return handle;
  }
  TSLObject* ValueOf(int64_t handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = values_.find(handle);
    if (it == values_.end()) throw EError(StrFormat("inttoobj: %d is not an object handle", handle));
    return it->second;
  }

private:
  std::mutex mutex_;
  std::unordered_map<int64_t, TSLObject*> values_;
};

TOLVEK_SL_OPERATOR(Objtoint) {
  const int64_t handle = THandleTable::Instance().HandleOf(AnyOperand(context, 0));
  context.Operands().Drop();
  PushInt(context, handle);
}

TOLVEK_SL_OPERATOR(Inttoobj) {
  TSLObject* value = THandleTable::Instance().ValueOf(IntOperand(context, 0));
  context.Operands().Drop();
  context.Operands().PushValue(value);
}

const TSLOperatorEntry kStringOperators[] = {
    TOLVEK_SL_ENTRY("length", Length),       TOLVEK_SL_ENTRY("getsubstr", Getsubstr),
    TOLVEK_SL_ENTRY("putsubstr", Putsubstr), TOLVEK_SL_ENTRY("search", Search),
    TOLVEK_SL_ENTRY("uppercase", Uppercase), TOLVEK_SL_ENTRY("pad", Pad),
    TOLVEK_SL_ENTRY("padr", Padr),           TOLVEK_SL_ENTRY("chr", Chr),
    TOLVEK_SL_ENTRY("ord", Ord),
};

const TSLOperatorEntry kConversionOperators[] = {
    TOLVEK_SL_ENTRY("cvi", Cvi),           TOLVEK_SL_ENTRY("cvr", Cvr),
    TOLVEK_SL_ENTRY("cvs", Cvs),           TOLVEK_SL_ENTRY("cvn", Cvn),
    TOLVEK_SL_ENTRY("cvrs", Cvrs),         TOLVEK_SL_ENTRY("cvri", Cvri),
    TOLVEK_SL_ENTRY("cvrls", Cvrls),       TOLVEK_SL_ENTRY("cvrli", Cvrli),
    TOLVEK_SL_ENTRY("chki", Chki),         TOLVEK_SL_ENTRY("chkr", Chkr),
    TOLVEK_SL_ENTRY("objtoint", Objtoint), TOLVEK_SL_ENTRY("inttoobj", Inttoobj),
};

}  // namespace

std::span<const TSLOperatorEntry> StringOperators() { return kStringOperators; }
std::span<const TSLOperatorEntry> ConversionOperators() { return kConversionOperators; }

}  // namespace tolvek
