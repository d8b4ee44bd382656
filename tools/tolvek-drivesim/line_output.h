// Everything the drive sends goes through here: the fault plan (drop, corrupt, garbage, silence,
// lateness, small pieces), the pacing to a baud rate, the transcript and the counters. Output
// leaves strictly in the order it was queued, as from a real drive's single transmitter.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "drive_model.h"
#include "transcript.h"

namespace tolvek {

// Injected faults; every one is off at its default.
struct TFaultOptions {
  int dropEvery = 0;       // drop every Nth answer
  int corruptEvery = 0;    // spoil the check byte of every Nth answer
  int garbageBytes = 0;    // bytes of noise before every answer frame (never the start byte)
  int silentAfter = -1;    // send nothing after this many answers
  int lateEvery = 0;       // hold back every Nth answer by lateMs
  int lateMs = 2500;
  int pieceBytes = 0;      // write answers in pieces of this many bytes ...
  int pieceGapMs = 2;      // ... with this pause between the pieces
};

struct TSimCounters {
  uint64_t bytesIn = 0, bytesOut = 0;
  uint64_t requests = 0, badFrames = 0;
  uint64_t answers = 0, dropped = 0, corrupted = 0, late = 0, silenced = 0;
  uint64_t garbageBytes = 0, unsolicited = 0;
};

class TLineOutput {
public:
  // baud 0: write as fast as the reader takes it.
  TLineOutput(int fd, int baud, const TFaultOptions& faults, TTranscript* transcript,
              TSimCounters& counters);

  // One answer of the drive; checkIndex is the byte a corrupted answer gets wrong, framed says
  // whether garbage may go before it (the RS link, whose receiver hunts for the start byte).
  void SendAnswer(std::vector<uint8_t> bytes, size_t checkIndex, bool framed,
                  TSimClock::time_point notBefore);
  // A frame the drive sends on its own; only silence affects it.
  void SendUnsolicited(std::vector<uint8_t> bytes, TSimClock::time_point now);

  // Writes whatever is due now.
  void Pump(TSimClock::time_point now);
  // When Pump must run again (none: nothing queued or waiting only for the line to drain).
  std::optional<TSimClock::time_point> NextDue(TSimClock::time_point now) const;
  bool WaitsForWritable() const { return waitsForWritable_; }
  size_t QueuedChunks() const { return queue_.size(); }

private:
  struct TChunk {
    TSimClock::time_point notBefore;
    std::chrono::milliseconds gapAfterPrevious{0};
    std::vector<uint8_t> bytes;
    size_t sent = 0;
  };
  void Queue(std::vector<uint8_t> bytes, TSimClock::time_point notBefore);
  bool Silent() const;
  TSimClock::time_point DueTime(const TChunk& chunk) const;

  int fd_;
  std::chrono::nanoseconds byteTime_{0};
  TFaultOptions faults_;
  TTranscript* transcript_;
  TSimCounters& counters_;
  std::deque<TChunk> queue_;
  uint64_t answerIndex_ = 0;
  TSimClock::time_point lineFreeAt_{};
  TSimClock::time_point lastFinished_{};
  bool waitsForWritable_ = false;
  std::minstd_rand noise_{20261211};
};

}  // namespace tolvek
