// The byte stream the text syntax is read from and written to.
#pragma once

#include <cstdint>
#include <string_view>

#include "script/sl_object.h"

namespace tolvek {

// Open modes of a character stream.
enum TSLStreamMode : int32_t { smRead = 0, smWrite = 1, smReadWrite = 2 };

// A positioned byte stream. Besides the byte-wise operations it offers a read window: the
// bytes ReadChar would deliver next, handed out in one piece so that the syntax reader does not
// pay a call per byte; ConsumeWindow then moves past the bytes taken from it.
class TSLCharStream : public TSLObject {
public:
  const char* ClassName() const override { return "TSLCharStream"; }

  // Number of the stream's source in the storage ID registry (0: not registered).
  uint16_t GetStorageID() const noexcept { return storageID_; }
  void SetStorageID(uint16_t id) noexcept { storageID_ = id; }

  // Opens in `mode` (smRead, smWrite, smReadWrite) at the start.
  virtual void Open(int32_t mode) = 0;
  // Empties the stream and opens it for writing.
  virtual void Rewrite() = 0;
  virtual void Close() = 0;
  // Zero-based position of the next byte.
  virtual int64_t GetPosition() = 0;
  // The next byte.
  virtual uint8_t ReadChar() = 0;
  // Writes a byte at the position (overwriting or appending).
  virtual void WriteChar(uint8_t c) = 0;
  virtual void Seek(int64_t position) = 0;
  // No byte left to read.
  virtual bool Eof() = 0;

  // Writes `data` as WriteChar would byte by byte.
  virtual void Write(std::string_view data);
  // The next bytes ReadChar would deliver, refilling a buffer when needed; empty at the end of
  // the stream, when it cannot be read, or when the stream has no window (then read byte-wise,
  // which also raises the proper failure).
  virtual std::string_view ReadWindow();
  // Moves past the first `count` bytes of the last window.
  virtual void ConsumeWindow(size_t count);

private:
  uint16_t storageID_ = 0;
};

}  // namespace tolvek
