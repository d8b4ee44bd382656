// The text writer.
#include "script/stream_encoder.h"

#include <charconv>
#include <cmath>

#include "platform/error.h"
#include "platform/number_text.h"
#include "platform/text_format.h"
#include "script/char_classes.h"

namespace tolvek {

namespace {
// Output is handed to the stream whenever this much has been collected.
constexpr size_t kFlushSize = 64 * 1024;

// The pattern "0.0##############" applied to the value rounded to 15 significant digits, as
// numbers are shown throughout the system ("123456.789", not its binary expansion).
void AppendPatternFloat(std::string& out, double value) {
  const double magnitude = std::fabs(value);
  if (magnitude < 0.1) {
    // At most 15 decimals hold fewer than 15 significant digits here: no rounding artefacts.
    AppendFloatFixed(out, value, 1, 15);
    return;
  }
  char buf[40];
  {
    // Common case: the shortest text that reads back as the value has at most 15 significant
    // digits; then it is also the value rounded to 15 digits.
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (res.ec == std::errc()) {
      int significant = 0;
      bool seen = false;
      bool point = false;
      for (const char* p = buf; p < res.ptr; ++p) {
        if (*p == '.') {
          point = true;
        } else if (*p >= '0' && *p <= '9') {
          seen = seen || *p != '0';
          if (seen) ++significant;
        }
      }
      // Trailing zeros of an integer part are not significant.
      if (!point)
        for (const char* p = res.ptr; p > buf && p[-1] == '0'; --p) --significant;
      if (significant <= 15) {
        out.append(buf, res.ptr);
        if (!point) out.append(".0");
        return;
      }
    }
  }
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  const std::string_view sci(buf, static_cast<size_t>(res.ptr - buf));
  const size_t ePos = sci.find('e');
  int exponent = 0;
  std::from_chars(sci.data() + ePos + 1 + (sci[ePos + 1] == '+'), sci.data() + sci.size(), exponent);
  std::string digits;
  for (char c : sci.substr(0, ePos))
    if (c >= '0' && c <= '9') digits.push_back(c);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (value < 0) out.push_back('-');
  if (exponent < 0) {
    out.append("0.");
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out.append(digits);
    return;
  }
  const auto intDigits = static_cast<size_t>(exponent) + 1;
  if (digits.size() <= intDigits) {
    out.append(digits);
    out.append(intDigits - digits.size(), '0');
    out.append(".0");
  } else {
    out.append(digits, 0, intDigits);
    out.push_back('.');
    out.append(digits, intDigits);
  }
}

}  // namespace

bool TSLStreamEncoder::IsValidIdent(std::string_view name) {
  const size_t size = name.size();
  if (size == 0 || !(kCharClass[static_cast<uint8_t>(name[0])] & ccIdentStart)) return false;
  for (size_t i = 1; i < size; ++i) {
    const uint8_t bits = kCharClass[static_cast<uint8_t>(name[i])];
    if (bits & ccIdentChar) continue;
    if (!(bits & ccSeparator) || i + 1 >= size ||
        !(kCharClass[static_cast<uint8_t>(name[i + 1])] & ccIdentStart))
      return false;
  }
  return true;
}

void TSLStreamEncoder::CheckIdent(std::string_view name) const {
  if (!IsValidIdent(name))
    throw EError(StrFormat("%s.CheckIdent: illegal ident '%s'", ClassName(), name));
}

void TSLStreamEncoder::Flush() {
  if (out_.empty() || !stream_) return;
  // Cleared first, so a failing stream does not get the same text twice.
  std::string pending;
  pending.swap(out_);
  stream_->Write(pending);
  out_.swap(pending);
  out_.clear();
}

void TSLStreamEncoder::Run(TSLObject* value) {
  references_.assign(1, nullptr);
  out_.clear();
  try {
    EncodeObject(value);
  } catch (...) {
    references_.clear();
    // What was written before the failure reaches the stream, as it would token by token.
    try {
      Flush();
    } catch (...) {
    }
    out_.clear();
    throw;
  }
  references_.clear();
}

void TSLStreamEncoder::EncodeObject(TSLCharStream& stream, TSLObject* value) {
  stream_ = &stream;
  out_.reserve(kFlushSize + 1024);
  Run(value);
  Flush();
  stream_ = nullptr;
}

std::string TSLStreamEncoder::EncodeToString(TSLObject* value) {
  // Without a stream nothing is flushed: the buffer becomes the text.
  stream_ = nullptr;
  out_.reserve(kFlushSize);
  Run(value);
  std::string text = std::move(out_);
  out_.clear();
  stream_ = nullptr;
  return text;
}

void TSLStreamEncoder::EncodeObject(TSLObject* value) {
  if (!value) {
    out_.append("@0 ");
  } else {
    value->Encode(*this);
  }
  if (out_.size() >= kFlushSize && stream_) Flush();
}

void TSLStreamEncoder::WriteInt(int64_t value) {
  AppendInt(out_, value);
  out_.push_back(' ');
}

void TSLStreamEncoder::WriteDouble(double value) {
  if (!std::isfinite(value))
    throw EError(StrFormat("%s.WriteDouble: the number %s cannot be written", ClassName(),
                           FormatFloatGeneral(value, 15)));
  const double magnitude = std::fabs(value);
  // The fixed pattern keeps at most 15 decimals, which would turn small numbers into "0.0".
  if (magnitude >= 1e18 || (magnitude != 0 && magnitude < 1e-4)) {
    std::string text = FormatFloatGeneral(value, 15);
    // Next to the largest float, 15 digits round up past it and would not read back.
    double check = 0;
    if (!TryParseFloat(text, check)) text = FormatFloatGeneral(value, 17);
    out_.append(text);
  } else {
    AppendPatternFloat(out_, value);
  }
  out_.push_back(' ');
}

void TSLStreamEncoder::WriteString(std::string_view text) {
  out_.push_back('\'');
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!(kCharClass[static_cast<uint8_t>(c)] & ccEscaped)) continue;
    out_.append(text.data() + start, i - start);
    out_.push_back('@');
    out_.push_back(c == '\n' ? 'l' : c == '\r' ? 'n' : c);
    start = i + 1;
  }
  out_.append(text.data() + start, text.size() - start);
  out_.append("' ", 2);
}

void TSLStreamEncoder::WriteBoolean(bool value) { out_.append(value ? "#1 " : "#0 ", 3); }

void TSLStreamEncoder::WriteIdent(std::string_view name, bool executable) {
  CheckIdent(name);
  if (!executable) out_.push_back('/');
  out_.append(name);
  out_.push_back(' ');
}

void TSLStreamEncoder::EncodeComposite(TSLComposite& composite) {
  const int32_t k = composite.GetEncoderIndex();
  if (k >= 1 && k < static_cast<int32_t>(references_.size()) && references_[k] == &composite) {
    out_.push_back('@');
    AppendInt(out_, k);
    out_.push_back(' ');
    return;
  }
  const std::string& name = composite.GetName();
  if (!name.empty()) CheckIdent(name);
  composite.SetEncoderIndex(static_cast<int32_t>(references_.size()));
  references_.push_back(&composite);
  out_.push_back('[');
  out_.push_back(composite.GetTypeChar());
  if (!name.empty()) {
    out_.push_back(':');
    out_.append(name);
  }
  out_.push_back(' ');
  composite.EncodeContents(*this);
  out_.append("] ", 2);
}

}  // namespace tolvek
