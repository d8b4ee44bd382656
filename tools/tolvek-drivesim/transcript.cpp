// Timestamped hex transcript of the drive's line traffic.
#include "transcript.h"

#include <cerrno>
#include <cstring>

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TTranscript::TTranscript(const std::string& fileName)
    : file_(std::fopen(fileName.c_str(), "w")), start_(TSimClock::now()) {
  if (!file_)
    throw EError(StrFormat("log file '%s' couldn't be created: %s", fileName, std::strerror(errno)));
}

TTranscript::~TTranscript() { std::fclose(file_); }

void TTranscript::Stamp() {
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(TSimClock::now() - start_).count();
  const std::string stamp = StrFormat("%d.%06d ", us / 1000000, us % 1000000);
  std::fputs(stamp.c_str(), file_);
}

void TTranscript::Bytes(const char* direction, const uint8_t* data, size_t count) {
  Stamp();
  std::string line = direction;
  for (size_t i = 0; i < count; ++i) line += StrFormat(" %.2X", data[i]);
  line += '\n';
  std::fputs(line.c_str(), file_);
  std::fflush(file_);
}

void TTranscript::Note(const std::string& text) {
  Stamp();
  std::fputs(("-- " + text + "\n").c_str(), file_);
  std::fflush(file_);
}

}  // namespace tolvek
