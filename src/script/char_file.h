// A character stream over a file: reads through a 1024-byte buffer, writes through a larger one,
// and replaces a rewritten file only once it is complete.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "script/char_stream.h"

namespace tolvek {

// A file as a character stream.
//
// Rewrite does not touch the existing file: the new contents go to a temporary file in the same
// directory, and Close syncs it to disk and renames it over the old one. If writing fails, or
// the stream is discarded or destroyed before Close, the old file stays as it was and the
// temporary file is removed. Open in write or read-write mode changes the file in place.
class TSLCharFile : public TSLCharStream {
public:
  explicit TSLCharFile(std::string fileName = {});
  ~TSLCharFile() override;
  const char* ClassName() const override { return "TSLCharFile"; }

  const std::string& GetFileName() const noexcept { return fileName_; }
  // Names the file for the next Open or Rewrite (closing the current one).
  void SetFileName(std::string fileName);
  // By kind: 0 the full name, 1 the name part, 2 the directory part (with its trailing
  // separator), 3 the extension (with its dot).
  std::string GetFileNamePart(int kind) const;

  // Fails "%s error: File '%s' couldn't be opened" for an empty name, a missing file or a
  // failed open.
  void Open(int32_t mode) override;
  // Starts a complete new contents for the file; fails "File couldn't be created".
  void Rewrite() override;
  // Writes what is buffered and, after Rewrite, replaces the file with the new contents.
  void Close() override;
  // Ends a Rewrite without replacing the file, or just closes; never fails.
  void Discard() noexcept;
  bool IsOpen() const noexcept { return fd_ >= 0; }
  int64_t GetPosition() override { return position_; }
  // Fails "File not opened", "Try to read past the end of the file",
  // "%s error: tried to read past the end of file" or "Internal error".
  uint8_t ReadChar() override;
  // Fails "Disk full while writing to file" when the bytes cannot be written (possibly on a
  // later write or on Close, since writes are buffered).
  void WriteChar(uint8_t c) override;
  // Fails "Try to seek past the end of the file" and "Try to seek to a position less than zero".
  void Seek(int64_t position) override;
  bool Eof() override { return eof_; }
  void Write(std::string_view data) override;
  std::string_view ReadWindow() override;
  void ConsumeWindow(size_t count) override;

  // Size of the file (grows when writing past it).
  int64_t GetSize() const noexcept { return size_; }

private:
  void CloseHandle() noexcept;
  void FlushWrites();
  void RequireOpen() const;
  void UpdateEof() { eof_ = position_ >= size_; }

  std::string fileName_;
  int fd_ = -1;
  int32_t mode_ = smRead;
  std::string tempName_;  // set while a Rewrite is pending
  bool writeFailed_ = false;

  static constexpr size_t kReadBufferSize = 1024;
  std::array<char, kReadBufferSize> readBuffer_{};
  int64_t readStart_ = 0;  // file position of readBuffer_[0]
  size_t readFill_ = 0;
  size_t readIndex_ = 0;

  std::vector<char> writeBuffer_;
  int64_t writeStart_ = 0;  // file position of writeBuffer_[0]

  int64_t position_ = 0;
  int64_t size_ = 0;
  bool eof_ = true;
};

}  // namespace tolvek
