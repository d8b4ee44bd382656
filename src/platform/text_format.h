// A type-safe printf-like formatter for the system's message texts ("%s.Read: ...").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tolvek {

// One argument of StrFormat, held as text or as an integer.
class TFormatArg {
public:
  TFormatArg(std::string_view text) : text_(text), isInt_(false) {}
  TFormatArg(const std::string& text) : text_(text), isInt_(false) {}
  TFormatArg(const char* text) : text_(text ? text : ""), isInt_(false) {}
  template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
  TFormatArg(T value) : value_(static_cast<int64_t>(value)), isInt_(true) {}

  std::string_view Text() const { return text_; }
  int64_t Int() const { return value_; }
  bool IsInt() const { return isInt_; }

private:
  std::string_view text_;
  int64_t value_ = 0;
  bool isInt_;
};

// Formats with the conversions %s, %d, %x and %X (with an optional ".N" or "0N" minimum
// width) and "%%". Arguments are consumed in order; an integer given for %s is written in
// decimal, a missing argument writes nothing. Never reads past its arguments.
std::string StrFormatArgs(std::string_view format, const TFormatArg* args, size_t count);

template <typename... Args>
std::string StrFormat(std::string_view format, const Args&... args) {
  const TFormatArg list[] = {TFormatArg(args)..., TFormatArg("")};
  return StrFormatArgs(format, list, sizeof...(Args));
}

}  // namespace tolvek
