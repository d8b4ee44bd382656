// The task list's rows and the abort action.
#include "script/tasks/script_task_list.h"

#include "platform/user_interface.h"
#include "script/tasks/script_task_interface.h"
#include "script/tasks/script_task_manager.h"

namespace tolvek {

const char* const kAbortTaskQuestion =
    "WARNING: Terminating a script can cause undesired results including loss of data and "
    "program instability. Are you sure you want to terminate the script?";

const char* ContextStateText(int32_t state) {
  switch (state) {
    case csIdle: return "Idle";
    case csRunning: return "Running";
    case csWait: return "Waiting";
    case csContinue: return "Continuing";
    case csBreak: return "Breakpoint";
    case csSlice: return "Running";
    case csFinished: return "Finished";
    default: return "Unknown";
  }
}

std::vector<TScriptTaskRow> BusyTaskRows(TScriptTaskManager& manager) {
  std::vector<TScriptTaskRow> rows;
  for (int32_t i = 0; i < manager.TaskCount(); ++i) {
    TScriptTaskInterface* task = manager.TaskAt(i);
    if (!task->IsBusy()) continue;
    TScriptTaskRow row;
    row.ID = task->GetID();
    row.Task = task;
    if (TSLContextImplementation* context = task->GetContext()) {
      row.Script = context->GetSourceName();
      row.State = ContextStateText(context->GetState());
    } else {
      row.Script = "-- no context --";
      row.State = "-";
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string ShortenText(const std::string& text, size_t maxChars) {
  if (text.size() <= maxChars) return text;
  if (maxChars <= 3) return std::string(maxChars, '.');
  return text.substr(0, maxChars - 3) + "...";
}

bool AbortSelectedTask(TScriptTaskInterface* selected) {
  if (!selected) {
    UserInterface().Beep();
    return false;
  }
  const TMsgDlgButton answer = UserInterface().MessageBox(
      kAbortTaskQuestion, TMsgDlgType::mtWarning, mbYes | mbNo, mbNo);
  if (answer != mbYes) return false;
  selected->Abort();
  return true;
}

}  // namespace tolvek
