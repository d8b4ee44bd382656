// A reader for the part of the system's text syntax that drive descriptions use: dictionaries
// "[D /Key value ... ]", arrays "[A ... ]", strings with "@" escapes, integers (decimal or "$"
// hexadecimal), booleans "#0"/"#1" and "%" comments. It stands alone so the simulator does not
// depend on the script engine; the script engine's decoder can replace it one for one.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tolvek {

struct TDescValue {
  enum TKind { Integer, String, Boolean, Array, Dictionary } kind = Integer;
  int64_t integer = 0;
  std::string text;
  std::vector<TDescValue> items;                              // Array
  std::vector<std::pair<std::string, TDescValue>> entries;    // Dictionary, in file order

  // The entry with this name, compared without regard to case; nullptr when absent.
  const TDescValue* Find(const std::string& name) const;
};

// Reads the one root value of a text; fails with EError "[name, line] Syntax error: ...".
TDescValue ReadDescription(const std::string& text, const std::string& sourceName);
// The same for a file; fails with EError when it cannot be read.
TDescValue ReadDescriptionFile(const std::string& fileName);

}  // namespace tolvek
