// What the task manager window shows and does, without the window: the rows of the busy
// script tasks with their state texts, and aborting the selected task after asking.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "script/interp/sl_context.h"

namespace tolvek {

class TScriptTaskInterface;
class TScriptTaskManager;

// One row of the list: ID, the context's source name, the context's state.
struct TScriptTaskRow {
  int32_t ID = 0;
  std::string Script;
  std::string State;
  TScriptTaskInterface* Task = nullptr;
};

// "Idle", "Running", "Waiting", "Continuing", "Breakpoint", "Running" (slice), "Finished",
// else "Unknown".
const char* ContextStateText(int32_t state);

// The busy tasks in list order; a task without context shows "-- no context --" and "-".
std::vector<TScriptTaskRow> BusyTaskRows(TScriptTaskManager& manager);

// `text` cut to at most `maxChars` characters, ending in "..." when cut.
std::string ShortenText(const std::string& text, size_t maxChars);

// The question asked before a task is aborted.
extern const char* const kAbortTaskQuestion;

// "Abort task": beeps when nothing is selected; otherwise asks kAbortTaskQuestion with Yes and
// No and aborts the task on Yes. Answers whether it aborted.
bool AbortSelectedTask(TScriptTaskInterface* selected);

}  // namespace tolvek
