// Case-insensitive comparison of names, as dictionaries order and find their keys.
#pragma once

#include <cstdint>
#include <string_view>

namespace tolvek {

// ASCII letters compare without regard to case; every other byte by its value. Names are plain
// ASCII identifiers in practice, and a fixed rule keeps the order independent of the locale.
inline int CompareNames(std::string_view a, std::string_view b) noexcept {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (ca == cb) continue;
    if (static_cast<unsigned>(ca - 'A') < 26u) ca += 32;
    if (static_cast<unsigned>(cb - 'A') < 26u) cb += 32;
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Whether two names are the same name.
inline bool SameName(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() && CompareNames(a, b) == 0;
}

}  // namespace tolvek
