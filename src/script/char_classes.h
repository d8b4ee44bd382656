// The character classes of the text syntax.
#pragma once

#include <cstdint>

namespace tolvek {

// "0".."9".
constexpr bool IsDigit(uint8_t c) { return static_cast<unsigned>(c - '0') < 10u; }
// "A".."Z", "a".."z", "_".
constexpr bool IsIdentStart(uint8_t c) {
  return static_cast<unsigned>((c | 0x20) - 'a') < 26u || c == '_';
}
// Ident start or digit.
constexpr bool IsIdentChar(uint8_t c) { return IsIdentStart(c) || IsDigit(c); }
// "." and ":", which join the parts of a name.
constexpr bool IsSeparator(uint8_t c) { return c == '.' || c == ':'; }
// NUL, BS, TAB, LF, CR and space.
constexpr bool IsBlank(uint8_t c) {
  return c == 0 || c == 8 || c == 9 || c == 10 || c == 13 || c == 32;
}
// "$", "+", "-" or a digit.
constexpr bool IsNumberStart(uint8_t c) { return c == '$' || c == '+' || c == '-' || IsDigit(c); }
// "0".."9", "A".."F", "a".."f".
constexpr bool IsHexDigit(uint8_t c) {
  return IsDigit(c) || static_cast<unsigned>((c | 0x20) - 'a') < 6u;
}

}  // namespace tolvek
