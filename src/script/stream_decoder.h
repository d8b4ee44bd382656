// Reads one root value from text: the scanners that turn bytes into tokens, and the decoder
// that assembles tokens into a value graph with back-references.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "script/lookahead_stream.h"
#include "script/sl_collection.h"
#include "script/sl_dictionary.h"
#include "script/sl_scalar.h"

namespace tolvek {

// Tells the decoder the name of the source registered under a storage ID, for the
// "[source, line] Syntax error: " prefix of its messages.
class TSourceNameLookup {
public:
  virtual ~TSourceNameLookup() = default;
  // The full source name registered under `id`, or an empty text when there is none.
  virtual std::string SourceName(uint16_t id) = 0;
};

// What a scanner read.
struct TSLToken {
  enum TKind { tkNone, tkValue, tkOpener, tkCloser, tkPointerIndex, tkPointerName };
  TKind Kind = tkNone;
  TSLObject* Value = nullptr;  // tkValue: the value read; the token holds one reference
  char TypeChar = 0;           // tkOpener
  std::string Name;            // tkOpener: composite name; tkPointerName: the name
  int64_t Index = 0;           // tkPointerIndex
};

class TSLStreamDecoder;

// Recognises one kind of token. A scanner that does not accept leaves the input as it was.
class TSLScanner : public TSLObject {
public:
  const char* ClassName() const override { return "TSLScanner"; }
  // Whether a token of this kind can begin with `c` (the decoder offers only such bytes).
  virtual bool CanStart(uint8_t c) const = 0;
  // Reads a token at the input's position; false when the scanner does not accept.
  virtual bool Scan(TSLStreamDecoder& decoder, TSLLookaheadStream& input, TSLToken& token) = 0;
};

// The decoder: an ordered list of scanners and a table of composite classes by type letter.
class TSLStreamDecoder : public TSLObject {
public:
  TSLStreamDecoder();
  ~TSLStreamDecoder() override;
  const char* ClassName() const override { return "TSLStreamDecoder"; }

  // Registers the system's syntax: the scanners whitespace, number, string, identifier,
  // composite, boolean, pointer, comment, and the composites A, B, P, D, S and R.
  void RegisterStandardSyntax();
  // Appends a scanner (retained); scanners are offered the input in registration order.
  void AddScanner(TSLScanner* scanner);
  // Registers the class made for `typeLetter` (retained prototype; CreateEmpty makes each
  // instance). Fails "Internal error: illegal composite type '%s'" outside "A".."Z" and
  // "Internal error: composite of type '%s' is already registered".
  void RegisterComposite(char typeLetter, TSLComposite* prototype);

  // Source names for the error prefix; without one (or for an unregistered ID) the source is
  // called "string".
  void SetSourceNameLookup(TSourceNameLookup* lookup) noexcept { sourceNames_ = lookup; }

  // Reads exactly one root value at the input's position; null when only blanks and comments
  // remain. With `withDebugInfo` every value gets its source position. Failures carry the
  // prefix "[<source>, <line>] Syntax error: ". A graph with cycles ("[A:x @x ]") is the
  // caller's to break when done with it (counts alone never free a cycle); after a failure the
  // decoder empties what it made, so nothing is left behind.
  TRef<TSLObject> DecodeObject(TSLLookaheadStream& input, bool withDebugInfo);

  // Scratch text the scanners collect into (reused, so tokens cost no allocation).
  std::string& Scratch() noexcept { return scratch_; }
  // Makes `token` a value token holding `value` (a new value, retained here).
  static void SetValue(TSLToken& token, TSLObject* value) {
    value->Retain();
    token.Kind = TSLToken::tkValue;
    token.Value = value;
  }
  // Makes `token` a value token holding a name. Names the decoder held last (dictionary keys,
  // which nothing keeps) are reused, which spares an allocation per key.
  void SetIdentValue(TSLToken& token, std::string_view name, bool executable);

private:
  class TChildren;
  void HandleToken(TSLToken& token, int32_t tokPos, int32_t tokLine, int32_t tokLength);
  void PushChild(TSLObject* value);
  void CloseComposite();
  void Reset() noexcept;
  void EmptyDecodedComposites() noexcept;
  std::string SourceName(uint16_t id) const;

  std::vector<TRef<TSLScanner>> scanners_;
  // For every first byte: the first scanner (registration order) that can start with it, or -1.
  std::array<int16_t, 256> firstScanner_{};
  std::array<TRef<TSLComposite>, 26> composites_{};
  TSourceNameLookup* sourceNames_ = nullptr;

  // State of one DecodeObject call.
  bool withDebugInfo_ = false;
  uint16_t storageID_ = 0;
  std::vector<TSLObject*> objects_;  // each holds one reference
  struct TOpen {
    TSLComposite* Composite;
    int32_t ChildCount;
  };
  std::vector<TOpen> open_;
  std::vector<TRef<TSLComposite>> references_;  // entry 0 is null
  TRef<TSLDictionary> named_;
  std::string scratch_;
  TSLToken token_;
  std::vector<TSLIdent*> spareIdents_;  // each holds one reference
  // Whether blanks may be skipped here, without a call: the scanner for them is the standard one.
  std::array<bool, 256> skipInline_{};
};

}  // namespace tolvek
