// The script debugger's logic: the sources a debugged script uses, the position it stands at,
// breakpoints toggled by source position, and the run, step-into and step-over commands. A
// front end (the debugger window, the console debugger of tolvek-sl) implements
// TScriptDebuggerView and calls the commands; everything else lives here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "script/ref_obj.h"
#include "script/sl_object.h"

namespace tolvek {

class TScriptTask;
class TSLContextImplementation;
class TStorageManager;

// What the debugger tells its front end.
class TScriptDebuggerView {
public:
  virtual ~TScriptDebuggerView() = default;
  // The debugger was started for a script: show it.
  virtual void ShowDebugger() = 0;
  // A source (by storage ID and registered name) is now part of the debugged script.
  virtual void SourceAdded(uint16_t storageID, const std::string& name) = 0;
  // The script stands at this element: mark it (line counted from 1).
  virtual void ShowPosition(uint16_t storageID, int32_t position, int32_t length,
                            int32_t line) = 0;
  // No position is current any more.
  virtual void ClearPosition() = 0;
  // A text for the user ("Script Finished!", a runtime error).
  virtual void ShowMessage(const std::string& text) = 0;
  // Stacks, name spaces or counters may have changed.
  virtual void UpdateViews() = 0;
};

// A breakpoint: the token it is set on and where that token is.
struct TScriptBreakpoint {
  uint16_t StorageID = 0;
  int32_t Position = 0;
  int32_t Line = 0;
  std::string Name;
};

class TScriptDebugger {
public:
  explicit TScriptDebugger(TStorageManager& storage);
  const char* ClassName() const { return "TScriptDebugger"; }

  // The front end (not owned; may be null).
  void SetView(TScriptDebuggerView* view) noexcept { view_ = view; }
  TScriptDebuggerView* GetView() const noexcept { return view_; }

  // The context being debugged (retained).
  void SetContext(TSLContextImplementation* context);
  TSLContextImplementation* GetContext() const noexcept { return context_.Get(); }
  // The task the commands go to (not owned).
  void SetTask(TScriptTask* task) noexcept { task_ = task; }
  TScriptTask* GetTask() const noexcept { return task_; }

  // Adds the source `value` was decoded from (known by its position's storage ID); the value
  // becomes the registry entry's value when it has none, so breakpoints can be found in it.
  // Values without a position are ignored.
  void AddSource(TSLObject* value);
  // The storage IDs of the sources added, in order.
  const std::vector<uint16_t>& GetSources() const noexcept { return sources_; }
  // The registered name of a source.
  std::string SourceName(uint16_t storageID) const;

  void Show();
  // The interpreter reached `token` (a breakpoint or a step; null for tokens it does not
  // show): it becomes the current position.
  void Notify(TSLObject* token);
  // The views should be refreshed.
  void Update();
  // The script ended normally: "Script Finished!" and no current position.
  void ScriptFinished();
  // The script failed at `element` with `text`.
  void ShowError(TSLObject* element, const std::string& text);
  // The task took up a command (the position mark is cleared while the script runs freely).
  void CommandGiven(int32_t mode);

  // The token last reported (null when none).
  TSLObject* GetCurrentToken() const noexcept { return current_.Get(); }

  // Commands to the task.
  void Run();
  void StepInto();
  void StepOver();

  // Inverts the breakpoint of the token of source `storageID` whose position covers character
  // `position`; answers the new flag. Fails "%s.ToggleBreak: internal error" when no token
  // covers it.
  bool ToggleBreak(uint16_t storageID, int32_t position);
  // The character position of the first executable name on `line` of the source, or -1.
  int32_t PositionOfLine(uint16_t storageID, int32_t line);
  // The breakpoints set in the source, in walk order.
  std::vector<TScriptBreakpoint> Breakpoints(uint16_t storageID);

private:
  TSLObject* SourceValue(uint16_t storageID);

  TStorageManager& storage_;
  TScriptDebuggerView* view_ = nullptr;
  TRef<TSLContextImplementation> context_;
  TScriptTask* task_ = nullptr;
  std::vector<uint16_t> sources_;
  TRef<TSLObject> current_;
};

}  // namespace tolvek
