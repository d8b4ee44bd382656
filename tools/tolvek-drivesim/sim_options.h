// The simulator's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drive_model.h"
#include "line_output.h"

namespace tolvek {

enum class TLinkKind { Rs, Tp1 };

struct TSimOptions {
  TLinkKind link = TLinkKind::Rs;
  int baud = 0;
  bool stdinLifetime = false;
  std::string linkFile, driveFile, logFile;
  TDriveConfig drive;
  bool nameGiven = false, deviceTypeGiven = false;
  int tp1ChunkLimit = 64;
  TFaultOptions faults;
  int unsolicitedMs = 0;
  // A recorder event "base time changed to 100000 ns": harmless to a PC that is not recording.
  std::vector<uint8_t> unsolicitedFrame{0x87, 0x03, 0xA0, 0x86, 0x01, 0x00};
  bool help = false;
};

// Fails with EError naming the offending option.
TSimOptions ParseSimOptions(int argc, char** argv);
std::string SimUsage();

}  // namespace tolvek
