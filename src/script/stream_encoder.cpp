// The text writer.
#include "script/stream_encoder.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/error.h"
#include "platform/number_text.h"
#include "platform/text_format.h"
#include "script/char_classes.h"

namespace tolvek {

namespace {

// Longest texts of the fixed-size tokens, separating blank included.
constexpr size_t kMaxIntText = 21;    // "-9223372036854775808 "
constexpr size_t kMaxFloatText = 40;  // sign, 16 digits, point, 15 decimals and blank
// A string buffer starts this small, so that encoding a single value stays cheap.
constexpr size_t kInitialSize = 256;

constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
// kScaleLimit[d] = 2^51 / 10^d: magnitudes below it, scaled by 10^d, stay below 2^51.
constexpr auto kScaleLimit = [] {
  std::array<double, 16> limits{};
  for (size_t d = 0; d < limits.size(); ++d) limits[d] = 2251799813685248.0 / kPow10[d];
  return limits;
}();

// Removes up to `decimals` trailing zeros from `n`, in steps of 8, 4, 2 and 1 digits (at most
// 15 digits go, so one step of each size suffices).
void StripTrailingZeros(uint64_t& n, int& decimals) {
  for (int step : {8, 4, 2, 1}) {
    const auto power = static_cast<uint64_t>(kPow10[step]);
    if (decimals >= step && n % power == 0) {
      n /= power;
      decimals -= step;
    }
  }
}

// The common case of the pattern: a number with a short decimal text, such as a setting of
// "1234.578125" or "0.05". Writes the text (without blank) at `p` and returns its end, or null
// when the number needs the general path below.
//
// The magnitude is scaled by the largest 10^d (d <= 15) that keeps it below 2^51 and rounded to
// an integer n. If n / 10^d, computed exactly rounded, gives the number back, then the decimal
// n * 10^-d reads back as the number; and as the number's neighbours are less than 10^-d away
// (its unit in the last place is at most 2^-52 times its magnitude), no other decimal with d or
// fewer decimals does. So n without its trailing zeros is the shortest text that reads back as
// the number, which is what the general path writes when it has at most 15 significant digits,
// and for magnitudes below 0.1 it is the number rounded to 15 decimals.
char* FastPatternFloat(char* p, double value) {
  const double magnitude = std::fabs(value);
  if (magnitude == 0) {
    // Negative zero reads back as zero anyway: written plainly.
    std::memcpy(p, "0.0", 3);
    return p + 3;
  }
  if (magnitude >= kScaleLimit[0]) return nullptr;
  int decimals = 15;
  while (magnitude >= kScaleLimit[decimals]) --decimals;
  // Exact: below 2^51 the spacing of floats is at most 1/4, so adding 1/2 rounds nothing.
  uint64_t n = static_cast<uint64_t>(magnitude * kPow10[decimals] + 0.5);
  if (static_cast<double>(n) / kPow10[decimals] != magnitude) return nullptr;
  StripTrailingZeros(n, decimals);
  if (n >= static_cast<uint64_t>(kPow10[15])) return nullptr;  // more than 15 significant digits
  if (value < 0) *p++ = '-';
  char digits[16];
  const auto length = static_cast<int>(std::to_chars(digits, digits + sizeof digits, n).ptr - digits);
  if (length <= decimals) {
    // "0.0025": zeros between the point and the digits.
    std::memcpy(p, "0.", 2);
    p += 2;
    std::memset(p, '0', static_cast<size_t>(decimals - length));
    p += decimals - length;
    std::memcpy(p, digits, static_cast<size_t>(length));
    return p + length;
  }
  const int intLength = length - decimals;
  std::memcpy(p, digits, static_cast<size_t>(intLength));
  p += intLength;
  *p++ = '.';
  if (decimals == 0) {
    *p++ = '0';
    return p;
  }
  std::memcpy(p, digits + intLength, static_cast<size_t>(decimals));
  return p + decimals;
}

// The pattern "0.0##############" applied to the value rounded to 15 significant digits, as
// numbers are shown throughout the system ("123456.789", not its binary expansion). The general
// path, for every number FastPatternFloat leaves alone.
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

void TSLStreamEncoder::Grow(size_t size) {
  const size_t used = Used();
  // Only the written text is carried over; the string's own growth policy at least doubles the
  // room, so the copies add up to less than the final text.
  out_.resize(used);
  out_.reserve(std::max({used + size, 2 * used, kInitialSize}));
  out_.resize(out_.capacity());
  pos_ = out_.data() + used;
  end_ = out_.data() + out_.size();
}

void TSLStreamEncoder::Flush() {
  if (!stream_ || pos_ == out_.data()) return;
  // Emptied first, so a failing stream does not get the same text twice.
  const std::string_view pending(out_.data(), Used());
  pos_ = out_.data();
  stream_->Write(pending);
}

void TSLStreamEncoder::Run(TSLObject* value, size_t initialSize) {
  pos_ = out_.data();
  end_ = out_.data() + out_.size();
  Room(initialSize);
  references_.assign(1, nullptr);
  try {
    EncodeObject(value);
  } catch (...) {
    references_.clear();
    // What was written before the failure reaches the stream, as it would token by token.
    try {
      Flush();
    } catch (...) {
    }
    pos_ = out_.data();
    throw;
  }
  references_.clear();
}

void TSLStreamEncoder::EncodeObject(TSLCharStream& stream, TSLObject* value) {
  stream_ = &stream;
  try {
    Run(value, kFlushSize + 1024);
    Flush();
  } catch (...) {
    stream_ = nullptr;
    throw;
  }
  stream_ = nullptr;
}

std::string TSLStreamEncoder::EncodeToString(TSLObject* value) {
  // Without a stream nothing is flushed: the buffer becomes the text.
  stream_ = nullptr;
  Run(value, kInitialSize);
  const size_t used = Used();
  std::string text(out_.data(), used);
  // The buffer stays for the next text, which saves growing it again (and, for large texts,
  // the allocator fetching fresh pages from the system); one far larger than the texts now
  // written is given back.
  if (out_.size() > 16 * kFlushSize && used < out_.size() / 8) {
    out_ = std::string();
    end_ = out_.data();
  }
  pos_ = out_.data();
  return text;
}

void TSLStreamEncoder::WriteNull() { WriteToken("@0"); }

void TSLStreamEncoder::WriteToken(std::string_view text) {
  Room(text.size() + 1);
  std::memcpy(pos_, text.data(), text.size());
  pos_ += text.size();
  *pos_++ = ' ';
}

void TSLStreamEncoder::WriteInt(int64_t value) {
  Room(kMaxIntText);
  pos_ = std::to_chars(pos_, end_, value).ptr;
  *pos_++ = ' ';
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
    WriteToken(text);
    return;
  }
  Room(kMaxFloatText);
  if (char* end = FastPatternFloat(pos_, value)) {
    pos_ = end;
    *pos_++ = ' ';
    return;
  }
  std::string text;
  AppendPatternFloat(text, value);
  WriteToken(text);
}

void TSLStreamEncoder::WriteString(std::string_view text) {
  // Every byte takes at most two, as an escape.
  Room(2 * text.size() + 3);
  char* p = pos_;
  *p++ = '\'';
  for (char c : text) {
    if (kCharClass[static_cast<uint8_t>(c)] & ccEscaped) [[unlikely]] {
      *p++ = '@';
      c = c == '\n' ? 'l' : c == '\r' ? 'n' : c;
    }
    *p++ = c;
  }
  p[0] = '\'';
  p[1] = ' ';
  pos_ = p + 2;
}

void TSLStreamEncoder::WriteBoolean(bool value) { WriteToken(value ? "#1" : "#0"); }

void TSLStreamEncoder::WriteIdent(std::string_view name, bool executable) {
  const size_t size = name.size();
  Room(size + 2);
  char* p = pos_;
  if (!executable) *p++ = '/';
  // Copies and checks in one pass: a name of ident characters only is valid when it starts with
  // an ident-start character; anything else (separators, bad bytes, empty) gets the full check.
  size_t i = 0;
  for (; i < size; ++i) {
    const auto c = static_cast<uint8_t>(name[i]);
    if (!(kCharClass[c] & ccIdentChar)) break;
    p[i] = static_cast<char>(c);
  }
  if (i < size || size == 0 || !(kCharClass[static_cast<uint8_t>(name[0])] & ccIdentStart))
      [[unlikely]] {
    CheckIdent(name);
    std::memcpy(p + i, name.data() + i, size - i);
  }
  p[size] = ' ';
  pos_ = p + size + 1;
}

void TSLStreamEncoder::EncodeComposite(TSLComposite& composite) {
  const int32_t k = composite.GetEncoderIndex();
  if (k >= 1 && k < static_cast<int32_t>(references_.size()) && references_[k] == &composite) {
    Room(kMaxIntText + 1);
    *pos_++ = '@';
    WriteInt(k);
    return;
  }
  const std::string& name = composite.GetName();
  if (!name.empty()) CheckIdent(name);
  composite.SetEncoderIndex(static_cast<int32_t>(references_.size()));
  references_.push_back(&composite);
  Room(name.size() + 4);
  *pos_++ = '[';
  *pos_++ = composite.GetTypeChar();
  if (!name.empty()) {
    *pos_++ = ':';
    std::memcpy(pos_, name.data(), name.size());
    pos_ += name.size();
  }
  *pos_++ = ' ';
  composite.EncodeContents(*this);
  Room(2);
  *pos_++ = ']';
  *pos_++ = ' ';
}

}  // namespace tolvek
