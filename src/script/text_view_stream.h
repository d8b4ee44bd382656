// A read-only character stream over text the caller keeps alive, so decoding a large text in
// memory does not copy it first.
#pragma once

#include <string_view>

#include "script/char_stream.h"

namespace tolvek {

// Reads borrowed bytes; writing fails "%s.Write: stream not in write mode", reading past the
// end "%s.Read: end of stream reached", seeking outside "%s.Seek: position not in stream range".
class TSLTextViewStream : public TSLCharStream {
public:
  TSLTextViewStream() = default;
  explicit TSLTextViewStream(std::string_view text) : text_(text) {}
  const char* ClassName() const override { return "TSLTextViewStream"; }

  // Reads `text` (which must outlive the reading) from its start.
  void SetText(std::string_view text) noexcept {
    text_ = text;
    position_ = 0;
  }

  // Rewinds; any mode but reading fails at the first write.
  void Open(int32_t) override { position_ = 0; }
  void Rewrite() override;
  // Forgets the text.
  void Close() override { SetText({}); }
  int64_t GetPosition() override { return static_cast<int64_t>(position_); }
  uint8_t ReadChar() override;
  void WriteChar(uint8_t c) override;
  void Seek(int64_t position) override;
  bool Eof() override { return position_ >= text_.size(); }
  std::string_view ReadWindow() override { return text_.substr(position_ < text_.size() ? position_ : text_.size()); }
  void ConsumeWindow(size_t count) override { position_ += count; }

private:
  std::string_view text_;
  size_t position_ = 0;
};

}  // namespace tolvek
