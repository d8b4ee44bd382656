// Script tasks: one script (a block) run in its own context as a cooperative task of the main
// scheduler, one interpreter slice per scheduler slice, sleeping on its signal while the
// script waits, and ending with the script or with its runtime error.
//
// States: 0 idle, 1 start requested, 2 start requested under the debugger, 3 running,
// 4 stepping (also stopped at a breakpoint or at the start under the debugger), 5 stepping
// over, 6 finished and 7 aborted or failed (each until the next slice, which calls OnFinish
// and makes the task idle again).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kernel/task.h"
#include "kernel/task_control.h"
#include "script/interp/internal_procedure.h"
#include "script/tasks/script_task_interface.h"

namespace tolvek {

class TStorageManager;

// Task states.
enum TScriptTaskState : int32_t {
  stIdle = 0,
  stStartRequested = 1,
  stDebugStartRequested = 2,
  stRunning = 3,
  stStepping = 4,
  stSteppingOver = 5,
  stFinished = 6,
  stFailed = 7,
};

class TScriptTask : public TScriptTaskInterface, private TSLContextTask {
public:
  using TScriptTaskEvent = std::function<void(TScriptTask& task)>;

  // A new idle task on the main scheduler, listed by the task manager; `storage` (by default
  // the current storage manager) supplies the interpreter, contexts and source names.
  explicit TScriptTask(TStorageManager* storage = nullptr);
  // Frees signal, scheduler task and debugger, releases block and context and leaves the task
  // manager. Not from the task's own OnStart or OnFinish: use auto-free there.
  ~TScriptTask() override;

  const char* ClassName() const { return "TScriptTask"; }

  TSLBlock* GetBlock() override;
  void SetBlock(TSLBlock* block) override;
  TSLContextImplementation* GetContext() override;
  // Refused ("%s.SetContext: script task not idle") while the task is busy.
  void SetContext(TSLContextImplementation* context) override;
  bool GetAutoFree() override { return autoFree_; }
  void SetAutoFree(bool autoFree) override { autoFree_ = autoFree; }
  bool GetDebug() override { return debug_; }
  void SetDebug(bool debug) override { debug_ = debug; }
  std::string GetErrorText() override { return errorText_; }
  bool IsBusy() override { return state_.load() != stIdle; }
  int32_t GetID() override { return id_; }
  TScriptDebugger* GetDebugger() override { return debugger_.get(); }
  // Refused ("%s.Reset: script task not idle") while the task is busy: its slice would lose
  // the context it runs.
  void Reset() override;
  void PushParameter(TSLObject* value) override;
  TSLObject* PopResult() override;
  void LoadFile(const std::string& name) override;
  void Start() override;
  void Abort() override;
  void ContinueHandler(int32_t argument) override;

  // The task state (TScriptTaskState).
  TScriptTaskState GetState() const noexcept { return static_cast<TScriptTaskState>(state_.load()); }
  // Whether the last run ended in state 7 (set before OnFinish is called).
  bool GetFailed() const noexcept { return failed_; }
  // A debugger command: run (stRunning), step into (stStepping) or step over
  // (stSteppingOver). Only while the script runs; otherwise nothing happens.
  void DebugCommand(TScriptTaskState mode);
  // The scheduler task whose slices run the script.
  TMxTask& GetSchedulerTask() noexcept { return *task_; }

  // Called when a start request is taken up.
  TScriptTaskEvent OnStart;
  // Called when the task has ended, once it is idle again.
  TScriptTaskEvent OnFinish;

private:
  void Execute();
  void RunCall(bool timedOut);
  void Fail(const std::string& message);
  void Finish(bool failed);
  void WaitSignal(int32_t timeout);
  void ReleaseContext();

  TStorageManager& storage_;
  TMxSignal signal_;
  std::unique_ptr<TMxTask> task_;
  std::atomic<int32_t> state_{stIdle};
  std::unique_ptr<TScriptDebugger> debugger_;
  TRef<TSLBlock> block_;
  TRef<TSLContextImplementation> context_;
  bool autoFree_ = false;
  bool debug_ = false;
  bool failed_ = false;
  bool waited_ = false;
  std::string errorText_;
  int32_t id_ = 0;
};

// "log": str -> -- writes the string to the program's debug log. Added to a context's top
// dictionary when a task starts it without one.
class TSLScriptLogProcedure final : public TSLInternalProcedure {
public:
  const char* ClassName() const override { return "TSLScriptLogProcedure"; }
  void Execute(TSLContext& context) override;
};

}  // namespace tolvek
