// The eight scanners of the text syntax, in the order the decoder is offered them.
#pragma once

#include "script/stream_decoder.h"

namespace tolvek {

// Blanks (NUL, BS, TAB, LF, CR, space); produce nothing.
class TSLWhitespaceScanner : public TSLScanner {
public:
  const char* ClassName() const override { return "TSLWhitespaceScanner"; }
  bool CanStart(uint8_t c) const override;
  bool Scan(TSLStreamDecoder& decoder, TSLLookaheadStream& input, TSLToken& token) override;
};

// Integers ("-12", "$1F") and floats ("1.5e3"); a sign or exponent without digits disappears.
class TSLNumberScanner : public TSLScanner {
public:
  const char* ClassName() const override { return "TSLNumberScanner"; }
  bool CanStart(uint8_t c) const override;
  bool Scan(TSLStreamDecoder& decoder, TSLLookaheadStream& input, TSLToken& token) override;
};

// 'text' with "@" escapes.
class TSLStringScanner : public TSLScanner {
public:
  const char* ClassName() const override { return "TSLStringScanner"; }
  bool CanStart(uint8_t c) const override { return c == '\''; }
  bool Scan(TSLStreamDecoder& decoder, TSLLookaheadStream& input, TSLToken& token) override;
};

// Executable names ("ns:dict.key") and literal names ("/name").
class TSLIdentScanner : public TSLScanner {
public:
  const char* ClassName() const override { return "TSLIdentScanner"; }
  bool CanStart(uint8_t c) const override;
  bool Scan(TSLStreamDecoder& decoder, TSLLookaheadStream& input, TSLToken& token) override;
};

// Composite openers "[X" / "[X:name" and the closer "]".
class TSLCompositeScanner : public TSLScanner {
public:
  const char* ClassName() const override { return "TSLCompositeScanner"; }
  bool CanStart(uint8_t c) const override { return c == '[' || c == ']'; }
  bool Scan(TSLStreamDecoder& decoder, TSLLookaheadStream& input, TSLToken& token) override;
};

// "#0" and "#1".
class TSLBooleanScanner : public TSLScanner {
public:
  const char* ClassName() const override { return "TSLBooleanScanner"; }
  bool CanStart(uint8_t c) const override { return c == '#'; }
  bool Scan(TSLStreamDecoder& decoder, TSLLookaheadStream& input, TSLToken& token) override;
};

// Back-references "@k" (by number) and "@name".
class TSLPointerScanner : public TSLScanner {
public:
  const char* ClassName() const override { return "TSLPointerScanner"; }
  bool CanStart(uint8_t c) const override { return c == '@'; }
  bool Scan(TSLStreamDecoder& decoder, TSLLookaheadStream& input, TSLToken& token) override;
};

// "%" up to and including the next CR or LF; produces nothing.
class TSLCommentScanner : public TSLScanner {
public:
  const char* ClassName() const override { return "TSLCommentScanner"; }
  bool CanStart(uint8_t c) const override { return c == '%'; }
  bool Scan(TSLStreamDecoder& decoder, TSLLookaheadStream& input, TSLToken& token) override;
};

}  // namespace tolvek
