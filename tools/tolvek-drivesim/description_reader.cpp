// The drive description reader: a small recursive-descent reader over the text syntax subset.
#include "description_reader.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <strings.h>

#include "platform/error.h"
#include "platform/number_text.h"
#include "platform/text_format.h"

namespace tolvek {

const TDescValue* TDescValue::Find(const std::string& name) const {
  for (const auto& [key, value] : entries)
    if (::strcasecmp(key.c_str(), name.c_str()) == 0) return &value;
  return nullptr;
}

namespace {

class TReader {
public:
  TReader(const std::string& text, const std::string& source) : text_(text), source_(source) {}

  TDescValue Root() {
    SkipBlanks();
    if (AtEnd()) Fail("no value in the description");
    TDescValue value = Value();
    SkipBlanks();
    if (!AtEnd()) Fail("more than one root value");
    return value;
  }

private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }
  char Next() {
    const char c = text_[pos_++];
    // A line ends at LF, at a lone CR, and once for CR LF.
    if (c == '\n' || (c == '\r' && (AtEnd() || Peek() != '\n'))) ++line_;
    return c;
  }

  [[noreturn]] void Fail(const std::string& message) const {
    throw EError(StrFormat("[%s, %d] Syntax error: %s", source_, line_, message));
  }

  void SkipBlanks() {
    while (!AtEnd()) {
      const char c = Peek();
      if (c == '%') {
        while (!AtEnd() && Peek() != '\r' && Peek() != '\n') Next();
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0' || c == '\b') {
        Next();
      } else {
        return;
      }
    }
  }

  static bool IdentStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  }
  static bool IdentChar(char c) { return IdentStart(c) || (c >= '0' && c <= '9'); }
  static int HexDigit(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
  }

  TDescValue Value() {
    const char c = Peek();
    if (c == '[') return Composite();
    if (c == '\'') return String();
    if (c == '#') return Boolean();
    if (c == '$' || c == '+' || c == '-' || (c >= '0' && c <= '9')) return Integer();
    Fail(StrFormat("illegal character '%s'", std::string(1, c)));
  }

  TDescValue Integer() {
    const size_t start = pos_;
    Next();
    while (!AtEnd() && (std::isxdigit(static_cast<unsigned char>(Peek())))) Next();
    if (!AtEnd() && (Peek() == '.' || Peek() == 'E' || Peek() == 'e') && text_[start] != '$')
      Fail("a drive description holds integers only");
    TDescValue value;
    const std::string digits = text_.substr(start, pos_ - start);
    if (!TryParseInt(digits, value.integer)) Fail(StrFormat("'%s' is not a valid integer value", digits));
    return value;
  }

  TDescValue String() {
    Next();
    TDescValue value;
    value.kind = TDescValue::String;
    for (;;) {
      if (AtEnd()) Fail(StrFormat("missing string termination in string '%s'", value.text));
      char c = Next();
      if (c == '\'') return value;
      if (c != '@') {
        value.text += c;
        continue;
      }
      if (AtEnd()) Fail(StrFormat("missing string termination in string '%s'", value.text));
      c = Next();
      if (std::isxdigit(static_cast<unsigned char>(c))) {
        if (AtEnd() || !std::isxdigit(static_cast<unsigned char>(Peek())))
          Fail(StrFormat("illegal escape sequence in string '%s@...'", value.text));
        value.text += static_cast<char>(HexDigit(c) * 16 + HexDigit(Next()));
      } else {
        value.text += c == 'l' ? '\n' : c == 'n' ? '\r' : c;
      }
    }
  }

  TDescValue Boolean() {
    Next();
    TDescValue value;
    value.kind = TDescValue::Boolean;
    const char c = AtEnd() ? ' ' : Next();
    if (c != '0' && c != '1') Fail(StrFormat("invalid boolean '#%s'", std::string(1, c)));
    value.integer = c == '1';
    return value;
  }

  std::string Name() {
    Next();  // the "/"
    std::string name;
    if (AtEnd() || !IdentStart(Peek())) Fail("a dictionary key must be a literal name like /Key");
    while (!AtEnd() && IdentChar(Peek())) name += Next();
    return name;
  }

  TDescValue Composite() {
    Next();
    if (AtEnd()) Fail("illegal nesting (check number of opening and closing square brackets)");
    const char letter = Next();
    TDescValue value;
    if (letter == 'A')
      value.kind = TDescValue::Array;
    else if (letter == 'D')
      value.kind = TDescValue::Dictionary;
    else
      Fail(StrFormat("composite type '%s' has no place in a drive description", std::string(1, letter)));
    if (!AtEnd()) Next();  // the blank after the type letter
    for (;;) {
      SkipBlanks();
      if (AtEnd()) Fail("illegal nesting (check number of opening and closing square brackets)");
      if (Peek() == ']') {
        Next();
        return value;
      }
      if (value.kind == TDescValue::Array) {
        value.items.push_back(Value());
        continue;
      }
      if (Peek() != '/') Fail("a dictionary key must be a literal name like /Key");
      std::string key = Name();
      SkipBlanks();
      if (AtEnd() || Peek() == ']') Fail(StrFormat("key /%s has no value", key));
      value.entries.emplace_back(std::move(key), Value());
    }
  }

  const std::string& text_;
  const std::string& source_;
  size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace

TDescValue ReadDescription(const std::string& text, const std::string& sourceName) {
  return TReader(text, sourceName).Root();
}

TDescValue ReadDescriptionFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EError(StrFormat("drive description '%s' couldn't be opened", fileName));
  std::ostringstream text;
  text << in.rdbuf();
  const size_t slash = fileName.find_last_of('/');
  return ReadDescription(text.str(), slash == std::string::npos ? fileName : fileName.substr(slash + 1));
}

}  // namespace tolvek
