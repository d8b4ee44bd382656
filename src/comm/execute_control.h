// The execute control: a task that runs an owner's step routine on request and can be parked
// until a named object reports back (wait / continue), used for multi-step work such as reading
// a drive's module list.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kernel/task.h"
#include "kernel/task_control.h"

namespace tolvek {

class TExecuteControl {
public:
  enum TState : uint8_t { ecIdle = 0, ecExecuting = 1 };
  // Called with the control and its state at the time of the call (0 idle, 1 executing).
  using TStepEvent = std::function<void(TExecuteControl& control, int number)>;
  using TLogEvent = std::function<void(const std::string& text)>;

  // With an object the control starts waiting for it; without one it starts awake. Needs the
  // main scheduler.
  explicit TExecuteControl(const void* waitObject = nullptr);
  ~TExecuteControl();
  TExecuteControl(const TExecuteControl&) = delete;
  TExecuteControl& operator=(const TExecuteControl&) = delete;

  const char* ClassName() const { return "TExecuteControl"; }

  // Parks the control until Continue with the same object: "%s.Wait: already in wait state",
  // "%s.Wait: need a valid object reference".
  void Wait(const void* object);
  // Ends the wait for `object`: "%s.Continue: not in wait state", "%s.Continue: waiting object
  // missmatch".
  void Continue(const void* object);
  // Starts an execution (ending a wait for `object`): "%s.Execute: not in idle state".
  void Execute(const void* object);
  // Passes the text to OnLog.
  void Log(const std::string& text);

  TState State() const { return state_; }
  const void* WaitObject() const { return waitObject_; }

  // Set by OnExecute to be called again; cleared by Execute.
  bool Repeat = false;
  // Runs on every slice while idle and not waiting (without it an idle control sleeps).
  TStepEvent OnIdle;
  // Runs while executing; the control goes back to idle after it unless Repeat is set.
  TStepEvent OnExecute;
  TLogEvent OnLog;

private:
  void Slice(TMxTask& task);

  TState state_ = ecIdle;
  const void* waitObject_ = nullptr;
  TMxSignal wake_;
  std::unique_ptr<TMxTask> task_;
};

}  // namespace tolvek
