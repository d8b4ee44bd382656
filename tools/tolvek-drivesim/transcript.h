// The optional hex transcript of everything the simulated drive reads and writes, each line
// stamped with the seconds since the simulator started.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "drive_model.h"

namespace tolvek {

class TTranscript {
public:
  // Fails with EError when the file cannot be created.
  explicit TTranscript(const std::string& fileName);
  ~TTranscript();
  TTranscript(const TTranscript&) = delete;
  TTranscript& operator=(const TTranscript&) = delete;

  // direction: "RX" for bytes from the PC, "TX" for bytes to it.
  void Bytes(const char* direction, const uint8_t* data, size_t count);
  void Note(const std::string& text);

private:
  void Stamp();
  FILE* file_;
  TSimClock::time_point start_;
};

}  // namespace tolvek
