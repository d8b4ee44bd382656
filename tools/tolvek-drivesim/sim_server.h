// The simulator's event loop: reads what the PC sends, lets the link answer, keeps the output
// flowing at its pace, emits unsolicited frames, and ends on SIGTERM, SIGINT or (when asked)
// the end of standard input.
#pragma once

#include <cstdint>
#include <vector>

#include "drive_link.h"
#include "line_output.h"
#include "pty_port.h"
#include "transcript.h"

namespace tolvek {

struct TServeOptions {
  bool stdinLifetime = false;
  int unsolicitedMs = 0;
  std::vector<uint8_t> unsolicitedFrame;
};

// Serves until stopped. SIGTERM and SIGINT must be blocked in the calling thread beforehand
// (they are taken from a signal descriptor here).
void ServeDrive(TPtyPort& port, TDriveLink& link, TLineOutput& output, TTranscript* transcript,
                TSimCounters& counters, const TServeOptions& options);

}  // namespace tolvek
