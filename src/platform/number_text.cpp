#include "platform/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string FormatInt(int64_t value) {
  std::string out;
  AppendInt(out, value);
  return out;
}

void AppendInt(std::string& out, int64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

std::string FormatFloatGeneral(double value, int digits) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  char buf[64];
  // Scientific form with the requested significant digits gives the rounded mantissa and
  // the decimal exponent in one step.
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, digits - 1);
  std::string_view sci(buf, static_cast<size_t>(res.ptr - buf));
  size_t ePos = sci.find('e');
  int exponent = std::atoi(std::string(sci.substr(ePos + 1)).c_str());
  std::string mantissa;
  bool negative = sci[0] == '-';
  for (char c : sci.substr(0, ePos))
    if (c >= '0' && c <= '9') mantissa += c;
  while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent < -4 || exponent >= digits) {
    out += mantissa[0];
    if (mantissa.size() > 1) {
      out += '.';
      out.append(mantissa, 1);
    }
    out += 'E';
    out += std::to_string(exponent);
  } else if (exponent < 0) {
    out += "0.";
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out += mantissa;
  } else {
    size_t intDigits = static_cast<size_t>(exponent) + 1;
    if (mantissa.size() <= intDigits) {
      out += mantissa;
      out.append(intDigits - mantissa.size(), '0');
    } else {
      out.append(mantissa, 0, intDigits);
      out += '.';
      out.append(mantissa, intDigits);
    }
  }
  return out;
}

void AppendFloatFixed(std::string& out, double value, int minDecimals, int maxDecimals) {
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, maxDecimals);
  char* end = res.ptr;
  char* point = buf;
  while (point < end && *point != '.') ++point;
  if (point < end) {
    char* keep = point + 1 + minDecimals;
    while (end > keep && end[-1] == '0') --end;
    if (minDecimals == 0 && end == point + 1) end = point;
  }
  // "-0.0" for a negative value that rounds to zero reads as 0 anyway; write it plainly.
  if (buf[0] == '-') {
    bool allZero = true;
    for (char* p = buf + 1; p < end; ++p)
      if (*p >= '1' && *p <= '9') allZero = false;
    if (allZero) {
      out.append(buf + 1, end);
      return;
    }
  }
  out.append(buf, end);
}

std::string FormatFloatFixed(double value, int minDecimals, int maxDecimals) {
  std::string out;
  AppendFloatFixed(out, value, minDecimals, maxDecimals);
  return out;
}

bool TryParseInt(std::string_view text, int64_t& value) {
  std::string_view t = TrimBlanks(text);
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  int base = 10;
  if (!t.empty() && t.front() == '$') {
    base = 16;
    t.remove_prefix(1);
  } else if (t.size() > 1 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t.remove_prefix(2);
  }
  if (t.empty()) return false;
  uint64_t magnitude = 0;
  auto res = std::from_chars(t.data(), t.data() + t.size(), magnitude, base);
  if (res.ec != std::errc() || res.ptr != t.data() + t.size()) return false;
  if (base == 16) {
    // Hexadecimal text is the bit pattern: $FFFFFFFFFFFFFFFF is -1.
    value = static_cast<int64_t>(magnitude);
    if (negative) value = static_cast<int64_t>(0 - magnitude);
    return true;
  }
  if (negative) {
    if (magnitude > static_cast<uint64_t>(INT64_MAX) + 1) return false;
    value = static_cast<int64_t>(0 - magnitude);
  } else {
    if (magnitude > static_cast<uint64_t>(INT64_MAX)) return false;
    value = static_cast<int64_t>(magnitude);
  }
  return true;
}

bool TryParseFloat(std::string_view text, double& value) {
  std::string_view t = TrimBlanks(text);
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  if (t.empty() || t.front() == '+') return false;
  // from_chars would also take "inf" and "nan"; the system's texts never hold them.
  for (char c : t)
    if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+'))
      return false;
  auto res = std::from_chars(t.data(), t.data() + t.size(), value);
  if (res.ec == std::errc::result_out_of_range) return false;
  return res.ec == std::errc() && res.ptr == t.data() + t.size();
}

int64_t ParseInt(std::string_view text) {
  int64_t value = 0;
  if (!TryParseInt(text, value))
    throw EConvertError(StrFormat("'%s' is not a valid integer value", text));
  return value;
}

double ParseFloat(std::string_view text) {
  double value = 0;
  if (!TryParseFloat(text, value))
    throw EConvertError(StrFormat("'%s' is not a valid floating point value", text));
  return value;
}

}  // namespace tolvek
