#include "platform/text_format.h"

#include <charconv>

namespace tolvek {

namespace {

void AppendInt(std::string& out, int64_t value, int base, bool upper, int width) {
  char digits[72];
  uint64_t magnitude = value < 0 && base == 10 ? 0 - static_cast<uint64_t>(value)
                                               : static_cast<uint64_t>(value);
  auto res = std::to_chars(digits, digits + sizeof digits, magnitude, base);
  std::string_view text(digits, static_cast<size_t>(res.ptr - digits));
  if (value < 0 && base == 10) out += '-';
  for (int pad = width - static_cast<int>(text.size()); pad > 0; --pad) out += '0';
  for (char c : text) out += upper && c >= 'a' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::string StrFormatArgs(std::string_view format, const TFormatArg* args, size_t count) {
  std::string out;
  out.reserve(format.size() + 32);
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    size_t j = i + 1;
    if (format[j] == '%') {
      out += '%';
      i = j;
      continue;
    }
    int width = 0;
    if (format[j] == '.' || format[j] == '0') ++j;
    while (j < format.size() && format[j] >= '0' && format[j] <= '9')
      width = width * 10 + (format[j++] - '0');
    if (j >= format.size()) {
      out.append(format.substr(i));
      break;
    }
    char conv = format[j];
    if (conv != 's' && conv != 'd' && conv != 'x' && conv != 'X') {
      out.append(format.substr(i, j - i + 1));
      i = j;
      continue;
    }
    i = j;
    if (next >= count) continue;
    const TFormatArg& arg = args[next++];
    if (!arg.IsInt()) {
      out.append(arg.Text());
    } else if (conv == 'x' || conv == 'X') {
      AppendInt(out, arg.Int(), 16, conv == 'X', width);
    } else {
      AppendInt(out, arg.Int(), 10, false, width);
    }
  }
  return out;
}

}  // namespace tolvek
