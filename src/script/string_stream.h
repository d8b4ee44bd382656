// A character stream over a byte string in memory.
#pragma once

#include <string>

#include "script/char_stream.h"

namespace tolvek {

// A stream over an in-memory byte string; reads fail ".Read: stream not in read mode" and
// ".Read: end of stream reached", writes ".Write: stream not in write mode" (class-name
// prefixed).
class TSLStringStream : public TSLCharStream {
public:
  TSLStringStream() = default;
  const char* ClassName() const override { return "TSLStringStream"; }

  // Sets the mode and rewinds.
  void Open(int32_t mode) override;
  // Empties the data and sets write mode.
  void Rewrite() override;
  // Empties the data and sets read mode.
  void Close() override;
  int64_t GetPosition() override { return static_cast<int64_t>(position_); }
  uint8_t ReadChar() override;
  // Appends at the end and overwrites elsewhere.
  void WriteChar(uint8_t c) override;
  // Fails ".Seek: position not in stream range" outside 0..length.
  void Seek(int64_t position) override;
  bool Eof() override { return position_ >= data_.size(); }
  void Write(std::string_view data) override;
  std::string_view ReadWindow() override;
  void ConsumeWindow(size_t count) override { position_ += count; }

  // Replaces the data and opens it for reading.
  void LoadText(std::string_view text);
  // Replaces the data by moving `text` in and opens it for reading.
  void AdoptText(std::string&& text);
  // The data written or loaded.
  const std::string& GetText() const noexcept { return data_; }
  // Hands the data out, leaving the stream empty.
  std::string TakeText();

private:
  bool CanRead() const { return mode_ == smRead || mode_ == smReadWrite; }
  bool CanWrite() const { return mode_ == smWrite || mode_ == smReadWrite; }

  std::string data_;
  size_t position_ = 0;  // zero-based here; the text's "one-based" is a representation detail
  int32_t mode_ = smRead;
};

}  // namespace tolvek
