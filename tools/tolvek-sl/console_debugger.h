// The console front end of the script debugger: it shows where the script stands and reads
// commands (step, next, continue, break at a line, print the stacks) between the script's
// stops. Commands are read only while the script stands still, outside any scheduler slice.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "script/tasks/script_debugger.h"

namespace tolvek {

class TScriptTask;

class TConsoleDebugger : public TScriptDebuggerView {
public:
  // Serves the main scheduler until the condition holds.
  using TRunUntil = std::function<void(const std::function<bool()>& condition)>;

  // Debugs `task`, which has just been started under the debugger.
  TConsoleDebugger(TScriptTask& task, TRunUntil runUntil);
  ~TConsoleDebugger() override;

  // Runs the script to its end, reading a command each time it stops. The end of the input
  // lets the script run on to its end.
  void Run();

  void ShowDebugger() override;
  void SourceAdded(uint16_t storageID, const std::string& name) override;
  void ShowPosition(uint16_t storageID, int32_t position, int32_t length, int32_t line) override;
  void ClearPosition() override {}
  void ShowMessage(const std::string& text) override;
  void UpdateViews() override {}

private:
  // Whether the script stands still waiting for a command.
  bool Stopped();
  // Carries out one command line; false when the session should end the script.
  bool Command(const std::string& line);
  void Break(const std::string& argument);
  void ListBreakpoints();
  void PrintStacks();
  // Line `line` of a source that is a file, or empty.
  std::string SourceLine(uint16_t storageID, int32_t line);
  std::string Where(uint16_t storageID, int32_t line);

  TScriptTask& task_;
  TScriptDebugger& debugger_;
  TRunUntil runUntil_;
  std::map<uint16_t, std::vector<std::string>> sourceLines_;
};

}  // namespace tolvek
