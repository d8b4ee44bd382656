// The file character stream.
#include "script/char_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {

constexpr size_t kWriteBufferSize = 64 * 1024;

bool WriteAll(int fd, const char* data, size_t size, int64_t offset) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

ssize_t ReadSome(int fd, char* data, size_t size, int64_t offset) {
  ssize_t n;
  do {
    n = ::pread(fd, data, size, offset);
  } while (n < 0 && errno == EINTR);
  return n;
}

}  // namespace

TSLCharFile::TSLCharFile(std::string fileName) : fileName_(std::move(fileName)) {}

TSLCharFile::~TSLCharFile() { Discard(); }

void TSLCharFile::SetFileName(std::string fileName) {
  Discard();
  fileName_ = std::move(fileName);
}

std::string TSLCharFile::GetFileNamePart(int kind) const {
  const size_t slash = fileName_.find_last_of("/\\");
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  switch (kind) {
    case 1:
      return fileName_.substr(nameStart);
    case 2:
      return fileName_.substr(0, nameStart);
    case 3: {
      const size_t dot = fileName_.rfind('.');
      return dot == std::string::npos || dot < nameStart ? std::string() : fileName_.substr(dot);
    }
    default:
      return fileName_;
  }
}

void TSLCharFile::RequireOpen() const {
  if (fd_ < 0) throw EError("File not opened");
}

void TSLCharFile::CloseHandle() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  readFill_ = readIndex_ = 0;
  writeBuffer_.clear();
  position_ = size_ = 0;
  eof_ = true;
}

void TSLCharFile::Discard() noexcept {
  CloseHandle();
  if (!tempName_.empty()) ::unlink(tempName_.c_str());
  tempName_.clear();
  writeFailed_ = false;
}

void TSLCharFile::Open(int32_t mode) {
  Discard();
  const int flags = mode == smWrite ? O_WRONLY : mode == smReadWrite ? O_RDWR : O_RDONLY;
  if (!fileName_.empty()) fd_ = ::open(fileName_.c_str(), flags | O_CLOEXEC);
  struct stat info {};
  if (fd_ >= 0 && (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode))) CloseHandle();
  if (fd_ < 0)
    throw EError(StrFormat("%s error: File '%s' couldn't be opened", ClassName(), fileName_));
  mode_ = mode;
  size_ = info.st_size;
  position_ = 0;
  UpdateEof();
}

void TSLCharFile::Rewrite() {
  Discard();
  // The new contents are written beside the file and renamed over it on Close.
  const std::filesystem::path target(fileName_);
  std::string pattern =
      (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  if (!fileName_.empty()) fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) throw EError("File couldn't be created");
  tempName_ = pattern;
  ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
  // The replacement keeps the old file's permissions, or gets the usual ones for a new file.
  struct stat info {};
  if (::stat(fileName_.c_str(), &info) == 0) {
    ::fchmod(fd_, info.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
  }
  mode_ = smWrite;
  position_ = size_ = 0;
  UpdateEof();
}

void TSLCharFile::FlushWrites() {
  if (writeBuffer_.empty()) return;
  const bool ok = WriteAll(fd_, writeBuffer_.data(), writeBuffer_.size(), writeStart_);
  writeBuffer_.clear();
  if (!ok) {
    writeFailed_ = true;
    throw EError("Disk full while writing to file");
  }
}

void TSLCharFile::Close() {
  if (fd_ < 0) return;
  try {
    FlushWrites();
  } catch (...) {
    Discard();
    throw;
  }
  if (tempName_.empty()) {
    CloseHandle();
    return;
  }
  const bool failed = writeFailed_ || ::fsync(fd_) != 0;
  CloseHandle();
  if (failed || ::rename(tempName_.c_str(), fileName_.c_str()) != 0) {
    Discard();
    throw EError(failed ? "Disk full while writing to file" : "File couldn't be created");
  }
  tempName_.clear();
  // Make the rename itself durable.
  const std::string dir = std::filesystem::path(fileName_).parent_path().string();
  const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

uint8_t TSLCharFile::ReadChar() {
  RequireOpen();
  if (eof_) throw EError("Try to read past the end of the file");
  if (readIndex_ >= readFill_) {
    FlushWrites();
    const ssize_t n = ReadSome(fd_, readBuffer_.data(), kReadBufferSize, position_);
    if (n <= 0) throw EError(StrFormat("%s error: tried to read past the end of file", ClassName()));
    readStart_ = position_;
    readFill_ = static_cast<size_t>(n);
    readIndex_ = 0;
  }
  if (readStart_ + static_cast<int64_t>(readIndex_) != position_) throw EError("Internal error");
  const auto c = static_cast<uint8_t>(readBuffer_[readIndex_++]);
  ++position_;
  UpdateEof();
  return c;
}

std::string_view TSLCharFile::ReadWindow() {
  if (fd_ < 0 || eof_ || mode_ == smWrite) return {};
  if (readIndex_ >= readFill_) {
    FlushWrites();
    const ssize_t n = ReadSome(fd_, readBuffer_.data(), kReadBufferSize, position_);
    if (n <= 0) return {};
    readStart_ = position_;
    readFill_ = static_cast<size_t>(n);
    readIndex_ = 0;
  }
  size_t available = readFill_ - readIndex_;
  if (static_cast<int64_t>(available) > size_ - position_)
    available = static_cast<size_t>(size_ - position_);
  return std::string_view(readBuffer_.data() + readIndex_, available);
}

void TSLCharFile::ConsumeWindow(size_t count) {
  readIndex_ += count;
  position_ += static_cast<int64_t>(count);
  UpdateEof();
}

void TSLCharFile::WriteChar(uint8_t c) {
  const char byte = static_cast<char>(c);
  Write(std::string_view(&byte, 1));
}

void TSLCharFile::Write(std::string_view data) {
  RequireOpen();
  if (mode_ == smRead || writeFailed_) throw EError("Disk full while writing to file");
  // Bytes already read ahead may be overwritten now.
  readFill_ = readIndex_ = 0;
  if (!writeBuffer_.empty() &&
      writeStart_ + static_cast<int64_t>(writeBuffer_.size()) != position_)
    FlushWrites();
  if (writeBuffer_.empty()) {
    writeStart_ = position_;
    if (writeBuffer_.capacity() < kWriteBufferSize) writeBuffer_.reserve(kWriteBufferSize);
  }
  writeBuffer_.insert(writeBuffer_.end(), data.begin(), data.end());
  position_ += static_cast<int64_t>(data.size());
  if (position_ > size_) size_ = position_;
  UpdateEof();
  if (writeBuffer_.size() >= kWriteBufferSize) FlushWrites();
}

void TSLCharFile::Seek(int64_t position) {
  RequireOpen();
  if (position > size_) throw EError("Try to seek past the end of the file");
  if (position < 0) throw EError("Try to seek to a position less than zero");
  if (readFill_ > 0 && position >= readStart_ &&
      position <= readStart_ + static_cast<int64_t>(readFill_)) {
    readIndex_ = static_cast<size_t>(position - readStart_);
  } else {
    readFill_ = readIndex_ = 0;
  }
  position_ = position;
  UpdateEof();
}

}  // namespace tolvek
