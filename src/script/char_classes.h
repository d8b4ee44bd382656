// The character classes of the text syntax.
#pragma once

#include <array>
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

// The classes as bits of one table, for loops over many bytes.
enum : uint8_t { ccIdentStart = 1, ccIdentChar = 2, ccSeparator = 4, ccEscaped = 8 };

inline constexpr std::array<uint8_t, 256> kCharClass = [] {
  std::array<uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    const auto b = static_cast<uint8_t>(c);
    uint8_t bits = 0;
    if (IsIdentStart(b)) bits |= ccIdentStart;
    if (IsIdentChar(b)) bits |= ccIdentChar;
    if (IsSeparator(b)) bits |= ccSeparator;
    // Bytes the encoder writes as "@" escapes inside strings.
    if (b == '\n' || b == '\r' || b == '\'' || b == '@') bits |= ccEscaped;
    table[static_cast<size_t>(c)] = bits;
  }
  return table;
}();

}  // namespace tolvek
