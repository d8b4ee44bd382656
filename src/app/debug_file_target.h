// The debug log of a headless run: accepted lines go to a file or to standard error.
//
// Chosen with the command-line switch -DebugLog:<file> or the environment variable
// TOLVEK_DEBUG_LOG=<file> (the switch wins); the value "stderr" (or "-") writes to standard
// error. Lines are appended to an existing file, one per line, flushed as they come.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "app/debug_manager.h"

namespace tolvek {

class TDebugFileTarget : public TDebugOutputTarget {
public:
  // Opens `path` for appending, or standard error for "stderr" and "-". Fails with EError
  // "Debug log %s could not be opened!".
  explicit TDebugFileTarget(const std::string& path);
  ~TDebugFileTarget() override;

  bool AppendLine(const std::string& line) override;
  // A file keeps what was written; only the window's pane can be emptied.
  void Clear() override {}

private:
  std::FILE* file_ = nullptr;
  bool owned_ = false;
};

// The target a headless run asks for: `switchValue` (the value of -DebugLog, empty when the
// switch is absent), else TOLVEK_DEBUG_LOG; nullptr when neither names one.
std::unique_ptr<TDebugOutputTarget> HeadlessDebugTarget(const std::string& switchValue);

}  // namespace tolvek
