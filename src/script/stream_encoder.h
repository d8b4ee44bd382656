// Writes a value graph as text: tokens without line breaks, each followed by one blank;
// composites met again are written as "@k" back-references.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "script/char_stream.h"
#include "script/sl_collection.h"

namespace tolvek {

// The text writer. Output is collected in a buffer and handed to the stream in pieces, so a
// file is not written byte by byte.
//
// The buffer is a string whose whole length is writable: the text written so far runs from its
// start to `pos_`, and every token first makes room for its longest possible text and then
// stores its bytes through a plain pointer. Tokens are small and numerous (a configuration has
// millions), so this saves a capacity check and a length update per byte or piece. The buffer
// is kept from one encoding to the next.
class TSLStreamEncoder : public TSLObject {
public:
  TSLStreamEncoder() = default;
  const char* ClassName() const override { return "TSLStreamEncoder"; }

  // Writes `value` (null as "@0") at the stream's position.
  void EncodeObject(TSLCharStream& stream, TSLObject* value);
  // The text of `value` as EncodeObject writes it.
  std::string EncodeToString(TSLObject* value);

  // Token writers used by the values' Encode operations during an encoding.
  void EncodeObject(TSLObject* value) {
    if (value)
      value->Encode(*this);
    else
      WriteNull();
    if (stream_ && Used() >= kFlushSize) Flush();
  }
  void WriteInt(int64_t value);
  // "0.0##############"; magnitudes of 1E18 or more and non-zero ones below 1E-4 in general
  // format with 15 significant digits. Fails for non-finite numbers, which the syntax cannot
  // hold.
  void WriteDouble(double value);
  void WriteString(std::string_view text);
  void WriteBoolean(bool value);
  // "/name" or the bare name; fails "%s.CheckIdent: illegal ident '%s'" for a name the
  // syntax cannot read back.
  void WriteIdent(std::string_view name, bool executable);
  // The opener (or "@k" for a composite already written), the contents and the closer.
  void EncodeComposite(TSLComposite& composite);

  // Whether `name` can be written as a name: an ident-start character, then ident characters
  // and separators ("." ":") each followed by an ident-start character.
  static bool IsValidIdent(std::string_view name);

private:
  // Output is handed to the stream whenever this much has been collected.
  static constexpr size_t kFlushSize = 64 * 1024;

  size_t Used() const noexcept { return static_cast<size_t>(pos_ - out_.data()); }
  // At least `size` writable bytes at pos_.
  void Room(size_t size) {
    if (static_cast<size_t>(end_ - pos_) < size) Grow(size);
  }
  void Grow(size_t size);
  void WriteNull();
  // Appends `text` with its separating blank.
  void WriteToken(std::string_view text);
  void CheckIdent(std::string_view name) const;
  void Flush();
  void Run(TSLObject* value, size_t initialSize);

  TSLCharStream* stream_ = nullptr;
  std::string out_;
  char* pos_ = nullptr;
  char* end_ = nullptr;
  std::vector<TSLComposite*> references_;
};

}  // namespace tolvek
