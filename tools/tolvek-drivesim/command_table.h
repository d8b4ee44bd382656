// The drive's Talk commands as a table: one row and one handler per command (or per selector of
// a command that multiplexes on its first parameter byte, like 0x89). Later command groups are
// added as further rows; the dispatcher knows nothing of any single command.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "drive_model.h"
#include "talk_request.h"

namespace tolvek {

struct TCommandContext {
  TDriveModel& drive;
  TTalkRequest& request;
  TTalkAnswer& answer;
  TSimClock::time_point now;
};

// One command of the drive. A handler reads its request, acts on the drive and appends its
// results; it refuses with EDriveStatus, which leaves the drive unchanged.
struct TCommandRow {
  uint8_t command;
  int selector;        // -1: any request; else the first parameter byte must equal it
  const char* name;
  bool slow;           // answered [command, 01] at once and the final answer after the busy delay
  bool whileStarting;  // also served while the drive is starting up after a reset
  void (*handler)(TCommandContext&);
};

// What one request produces on the line: an optional in-progress answer, then the final one.
struct TCommandResult {
  std::vector<uint8_t> interim;
  std::vector<uint8_t> final;
  const TCommandRow* row = nullptr;  // none for an unknown command
};

class TCommandTable {
public:
  // Fails with EError when a row repeats a command and selector already present.
  void Add(std::span<const TCommandRow> rows);
  const TCommandRow* Find(const std::vector<uint8_t>& frame) const;
  // Executes a non-empty request frame against the drive.
  TCommandResult Execute(const std::vector<uint8_t>& frame, TDriveModel& drive,
                         TSimClock::time_point now) const;

private:
  std::vector<TCommandRow> rows_;
};

// The standard command set every Quarvo drive carries.
std::span<const TCommandRow> StandardCommandRows();

}  // namespace tolvek
