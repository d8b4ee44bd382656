// The interpreter: drives a context in run, step or step-over mode for one time slice.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "script/interp/sl_context.h"

namespace tolvek {

// Told the token the debugger should show (a breakpoint reached, a step done).
using TSLDebuggerNotify = std::function<void(TSLObject* token)>;

// Runs contexts. One interpreter serves every context; it keeps no state of a run itself.
class TSLInterpreter {
public:
  // Runs until the script finishes (true), waits, reaches a breakpoint or uses up its slice
  // (false). Fails "interpreter called in idle state", "... in finished state" and
  // "... in wait state"; a failure that leaves the script passes on.
  bool Run(TSLContext& context);
  // Executes one element; true when the script finished.
  bool Step(TSLContext& context);
  // Runs until the call stack is back at the depth it had (the element at hand, with all it
  // called, is done); true when the script finished.
  bool StepOver(TSLContext& context);

  // Debugger notification, unassigned by default.
  TSLDebuggerNotify OnDebugger;

  // A run returns with csSlice once more than this many milliseconds have passed.
  static constexpr uint32_t kSliceMilliseconds = 9;

private:
  enum TMode { mdRun, mdStep, mdStepOver };
  bool Execute(TSLContext& context, TMode mode);
};

// The text a script task reports for a failure that ended a script: "[<source>, <line>] "
// (when the failing element has a position whose source `sourceName` knows) followed by
// "Runtime error: " and the message.
std::string RuntimeErrorText(TSLContext& context, const std::string& message,
                             const std::function<std::string(uint16_t storageID)>& sourceName);

}  // namespace tolvek
