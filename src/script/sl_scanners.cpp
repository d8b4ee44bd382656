// The scanners of the text syntax. Each reads through the lookahead stream's inline ReadChar,
// and takes runs of ordinary bytes straight from its window.
#include "script/sl_scanners.h"

#include <cstring>

#include "platform/error.h"
#include "platform/number_text.h"
#include "platform/text_format.h"
#include "script/char_classes.h"
#include "script/sl_scalar.h"

namespace tolvek {

namespace {

// The byte for a message, or nothing at the end of the input.
std::string CharText(TSLLookaheadStream& input) {
  if (input.Eof()) return {};
  return std::string(1, static_cast<char>(input.ReadChar()));
}

// Appends the run of ident characters at the input's position.
void TakeIdentChars(TSLLookaheadStream& input, std::string& out) {
  for (;;) {
    const std::string_view window = input.Peek();
    size_t n = 0;
    while (n < window.size() && (kCharClass[static_cast<uint8_t>(window[n])] & ccIdentChar)) ++n;
    out.append(window.data(), n);
    input.Advance(n);
    if (n < window.size()) return;  // stopped at another byte
    if (input.Eof()) return;
    const uint8_t c = input.ReadChar();
    if (!IsIdentChar(c)) {
      input.UnreadChar();
      return;
    }
    out.push_back(static_cast<char>(c));
  }
}

// The string text for messages: its first 10 characters, then "..." when longer.
std::string Shortened(const std::string& text) {
  return text.size() > 10 ? text.substr(0, 10) + "..." : text;
}

}  // namespace

bool TSLWhitespaceScanner::CanStart(uint8_t c) const { return IsBlank(c); }

bool TSLWhitespaceScanner::Scan(TSLStreamDecoder&, TSLLookaheadStream& input, TSLToken&) {
  for (;;) {
    const std::string_view window = input.Peek();
    size_t n = 0;
    while (n < window.size() && (window[n] == ' ' || window[n] == '\t')) ++n;
    input.Advance(n);
    if (input.Eof()) return true;
    const uint8_t c = input.ReadChar();
    if (!IsBlank(c)) {
      input.UnreadChar();
      return true;
    }
  }
}

bool TSLNumberScanner::CanStart(uint8_t c) const { return IsNumberStart(c); }

namespace {

// The number state machine; Step answers whether the byte belongs to the number.
class TNumberMachine {
public:
  bool Step(uint8_t c) {
    switch (state_) {
      case stStart:
        if (c == '$') {
          state_ = stHex;
        } else if (c == '+' || c == '-') {
          state_ = stSign;
        } else {
          state_ = stInteger;
          digits_ = true;
        }
        return true;
      case stSign:
        if (!IsDigit(c)) return false;
        state_ = stInteger;
        digits_ = true;
        return true;
      case stInteger:
        if (IsDigit(c)) return true;
        if (c == '.') {
          state_ = stFraction;
          isFloat_ = true;
          return true;
        }
        if (c == 'E' || c == 'e') {
          state_ = stExponent;
          isFloat_ = true;
          digits_ = false;
          return true;
        }
        return false;
      case stFraction:
        if (IsDigit(c)) {
          digits_ = true;
          return true;
        }
        if (c == 'E' || c == 'e') {
          state_ = stExponent;
          digits_ = false;
          return true;
        }
        return false;
      case stExponent:
        if (IsDigit(c)) {
          digits_ = true;
          return true;
        }
        return c == '+' || c == '-';
      case stHex:
        if (!IsHexDigit(c)) return false;
        digits_ = true;
        return true;
    }
    return false;
  }
  bool Digits() const { return digits_; }
  bool IsFloat() const { return isFloat_; }

private:
  enum TState { stStart, stSign, stInteger, stFraction, stExponent, stHex };
  TState state_ = stStart;
  bool digits_ = false;
  bool isFloat_ = false;
};

void SetNumberValue(TSLToken& token, std::string_view text, const TNumberMachine& machine) {
  if (!machine.Digits()) return;  // the characters read are dropped; no token results
  if (machine.IsFloat())
    TSLStreamDecoder::SetValue(token, NewObj<TSLDouble>(ParseFloat(text)));
  else
    TSLStreamDecoder::SetValue(token, NewObj<TSLLongint>(ParseInt(text)));
}

}  // namespace

bool TSLNumberScanner::Scan(TSLStreamDecoder& decoder, TSLLookaheadStream& input,
                            TSLToken& token) {
  // Usually the whole number and the byte after it are in the window: read it in place.
  const std::string_view window = input.Peek();
  {
    TNumberMachine machine;
    size_t length = 0;
    while (length < window.size() && machine.Step(static_cast<uint8_t>(window[length]))) ++length;
    if (length < window.size()) {
      SetNumberValue(token, window.substr(0, length), machine);
      input.Advance(length);
      return true;
    }
  }
  // Otherwise byte by byte, collecting the text; the byte that ends the number stays unread.
  std::string& text = decoder.Scratch();
  text.clear();
  TNumberMachine machine;
  while (!input.Eof()) {
    const uint8_t c = input.ReadChar();
    if (!machine.Step(c)) {
      input.UnreadChar();
      break;
    }
    text.push_back(static_cast<char>(c));
  }
  SetNumberValue(token, text, machine);
  return true;
}

bool TSLStringScanner::Scan(TSLStreamDecoder& decoder, TSLLookaheadStream& input,
                            TSLToken& token) {
  input.ReadChar();  // the opening quote
  std::string& text = decoder.Scratch();
  text.clear();
  for (;;) {
    // Ordinary bytes in bulk; quotes, escapes and line ends (which count lines) one by one.
    const std::string_view window = input.Peek();
    size_t n = 0;
    while (n < window.size()) {
      const char c = window[n];
      if (c == '\'' || c == '@' || c == '\r' || c == '\n') break;
      ++n;
    }
    text.append(window.data(), n);
    input.Advance(n);
    if (input.Eof())
      throw EError(StrFormat("missing string termination in string '%s'", Shortened(text)));
    const uint8_t c = input.ReadChar();
    if (c == '\'') break;
    if (c != '@') {
      text.push_back(static_cast<char>(c));
      continue;
    }
    if (input.Eof())
      throw EError(StrFormat("missing string termination in string '%s'", Shortened(text)));
    const uint8_t e = input.ReadChar();
    if (IsHexDigit(e)) {
      if (input.Eof())
        throw EError(StrFormat("missing string termination in string '%s'", Shortened(text)));
      const uint8_t f = input.ReadChar();
      if (!IsHexDigit(f))
        throw EError(
            StrFormat("illegal escape sequence in string '%s'", Shortened(text) + "@..."));
      auto nibble = [](uint8_t h) { return IsDigit(h) ? h - '0' : (h | 0x20) - 'a' + 10; };
      text.push_back(static_cast<char>(nibble(e) * 16 + nibble(f)));
    } else if (e == 'l') {
      text.push_back('\n');
    } else if (e == 'n') {
      text.push_back('\r');
    } else {
      text.push_back(static_cast<char>(e));
    }
  }
  TSLStreamDecoder::SetValue(token, NewObj<TSLString>(std::string_view(text)));
  return true;
}

bool TSLIdentScanner::CanStart(uint8_t c) const { return c == '/' || IsIdentStart(c); }

bool TSLIdentScanner::Scan(TSLStreamDecoder& decoder, TSLLookaheadStream& input,
                           TSLToken& token) {
  std::string& name = decoder.Scratch();
  name.clear();
  uint8_t c = input.ReadChar();
  const bool literal = c == '/';
  if (literal) {
    const std::string next = CharText(input);
    if (next.empty() || !IsIdentStart(static_cast<uint8_t>(next[0])))
      throw EError(StrFormat("invalid ident character '%s' after '/'", next));
    c = static_cast<uint8_t>(next[0]);
  }
  name.push_back(static_cast<char>(c));
  for (;;) {
    TakeIdentChars(input, name);
    if (input.Eof()) break;
    c = input.ReadChar();
    if (!IsSeparator(c)) {
      input.UnreadChar();
      break;
    }
    name.push_back(static_cast<char>(c));
    // A separator must be followed by an ident start; an executable name just ends before
    // anything else, keeping the separator.
    if (input.Eof()) {
      if (literal) throw EError("invalid ident character '' after '/'");
      break;
    }
    c = input.ReadChar();
    if (!IsIdentStart(c)) {
      if (literal)
        throw EError(StrFormat("invalid ident character '%s' after '/'",
                               std::string(1, static_cast<char>(c))));
      input.UnreadChar();
      break;
    }
    name.push_back(static_cast<char>(c));
  }
  decoder.SetIdentValue(token, name, !literal);
  return true;
}

bool TSLCompositeScanner::Scan(TSLStreamDecoder&, TSLLookaheadStream& input, TSLToken& token) {
  if (input.ReadChar() == ']') {
    token.Kind = TSLToken::tkCloser;
    return true;
  }
  const std::string type = CharText(input);
  if (type.empty() || static_cast<unsigned>(type[0] - 'A') >= 26u)
    throw EError(StrFormat("invalid composite type '%s'", type));
  token.Kind = TSLToken::tkOpener;
  token.TypeChar = type[0];
  token.Name.clear();
  // The byte after the type letter is always taken: ":" starts a name, anything else (the
  // encoder's blank, or even a "]") is dropped.
  if (input.Eof() || input.ReadChar() != ':') return true;
  const std::string first = CharText(input);
  if (first.empty() || !IsIdentStart(static_cast<uint8_t>(first[0])))
    throw EError(StrFormat("invalid composite ident '%s'", first));
  token.Name = first;
  TakeIdentChars(input, token.Name);
  return true;
}

bool TSLBooleanScanner::Scan(TSLStreamDecoder&, TSLLookaheadStream& input, TSLToken& token) {
  input.ReadChar();  // "#"
  const std::string value = CharText(input);
  if (value != "0" && value != "1") throw EError(StrFormat("invalid boolean '#%s'", value));
  TSLStreamDecoder::SetValue(token, NewObj<TSLBoolean>(value == "1"));
  return true;
}

bool TSLPointerScanner::Scan(TSLStreamDecoder&, TSLLookaheadStream& input, TSLToken& token) {
  input.ReadChar();  // "@"
  const std::string first = CharText(input);
  const uint8_t c = first.empty() ? 0 : static_cast<uint8_t>(first[0]);
  if (!first.empty() && IsDigit(c)) {
    // Numbers too large for any list saturate; they fail as out of bounds.
    int64_t index = c - '0';
    while (!input.Eof()) {
      const uint8_t d = input.ReadChar();
      if (!IsDigit(d)) {
        input.UnreadChar();
        break;
      }
      index = index > (INT64_MAX - 9) / 10 ? INT64_MAX : index * 10 + (d - '0');
    }
    token.Kind = TSLToken::tkPointerIndex;
    token.Index = index;
    return true;
  }
  if (!first.empty() && IsIdentStart(c)) {
    token.Kind = TSLToken::tkPointerName;
    token.Name = first;
    TakeIdentChars(input, token.Name);
    return true;
  }
  throw EError(StrFormat("invalid pointer '%s'", "@" + first));
}

bool TSLCommentScanner::Scan(TSLStreamDecoder&, TSLLookaheadStream& input, TSLToken&) {
  input.ReadChar();  // "%"
  for (;;) {
    const std::string_view window = input.Peek();
    size_t n = 0;
    while (n < window.size() && window[n] != '\r' && window[n] != '\n') ++n;
    input.Advance(n);
    if (input.Eof()) return true;
    const uint8_t c = input.ReadChar();
    if (c == '\r' || c == '\n') return true;
  }
}

}  // namespace tolvek
