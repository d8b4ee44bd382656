// The status bytes the simulated drive puts into the second byte of its answers, and the
// exception its command handlers raise to answer with one of them.
#pragma once

#include <cstdint>

namespace tolvek {

// Codes below 0x80 are the drive's own; 0x00 and 0x01 are the success and in-progress codes
// every Talk peer shares. The higher ranges belong to the PC's server and drivers, so the drive
// never uses them.
enum TDriveStatus : uint8_t {
  dsOk = 0x00,
  dsInProgress = 0x01,
  dsUnknownCommand = 0x10,    // no table row for the command (or for its selector)
  dsBadLength = 0x11,         // the request is shorter or longer than its layout
  dsBadAddress = 0x12,        // outside RAM and flash, or the range runs past a region's end
  dsNoInfoBlock = 0x13,       // no information block at or after the address
  dsFlashNotErased = 0x14,    // a flash write would have to set a bit that is 0
  dsProgramRunning = 0x15,    // flash work is refused while the firmware program runs
  dsBadArgument = 0x16,       // unknown selector, count too large, no program at the address
  dsWrongMemory = 0x17,       // a memory write aimed at flash or a flash write aimed at RAM
  dsFrameTooLong = 0x18,      // the request exceeds the maximum frame length of the login
  dsNotReady = 0x19,          // the drive is still starting up after a reset
};

// Raised by a command handler: the dispatcher answers [command, status] and nothing else.
struct EDriveStatus {
  TDriveStatus status;
};

}  // namespace tolvek
