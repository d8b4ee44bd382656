// What the rest of the system sees of a script task, and the factory the storage manager makes
// script tasks with. The task itself lives in script_task.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "script/ref_obj.h"

namespace tolvek {

class TScriptDebugger;
class TSLBlock;
class TSLContextImplementation;
class TSLObject;

// A script that runs in its own context as a cooperative task of the main scheduler.
class TScriptTaskInterface {
public:
  virtual ~TScriptTaskInterface() = default;

  // The script (borrowed; may be null).
  virtual TSLBlock* GetBlock() = 0;
  // Sets the script (retained).
  virtual void SetBlock(TSLBlock* block) = 0;
  virtual TSLContextImplementation* GetContext() = 0;
  // Sets the context (retained) and routes its OnContinue to ContinueHandler.
  virtual void SetContext(TSLContextImplementation* context) = 0;
  // Whether the task frees itself at the first pool drain after its end.
  virtual bool GetAutoFree() = 0;
  virtual void SetAutoFree(bool autoFree) = 0;
  // Whether the task runs under the debugger.
  virtual bool GetDebug() = 0;
  virtual void SetDebug(bool debug) = 0;
  // The runtime error of the last run, "script task aborted", or empty.
  virtual std::string GetErrorText() = 0;
  // Started and not yet idle again.
  virtual bool IsBusy() = 0;
  // The task manager's number for the task (1, 2, 3 ... in creation order).
  virtual int32_t GetID() = 0;
  // The debugger, made on the first debug start (null before).
  virtual TScriptDebugger* GetDebugger() = 0;
  // Releases block and context and clears the error text.
  virtual void Reset() = 0;
  // Pushes a value on the context's operand stack before the start; fails
  // "%s.PushParameter: Context not initialized" without a context.
  virtual void PushParameter(TSLObject* value) = 0;
  // Pops a value (auto-released) after the end; fails "%s.PopResult: Context not initialized"
  // without a context.
  virtual TSLObject* PopResult() = 0;
  // Takes the value of the storage object `name` as the script, in a new context that names
  // `name` as its source.
  virtual void LoadFile(const std::string& name) = 0;
  // Requests the start; fails "%s.Start: script task not idle" unless idle.
  virtual void Start() = 0;
  // Ends the script with "script task aborted" (at once when it waits or is stopped).
  virtual void Abort() = 0;
  // The awaited event of a waiting script happened: the task runs at once. Safe from any
  // thread.
  virtual void ContinueHandler(int32_t argument) = 0;
};

// Makes script tasks for the storage manager's CreateScriptTask.
class TScriptTaskFactory {
public:
  virtual ~TScriptTaskFactory() = default;
  // A new idle script task, owned by the caller.
  virtual std::unique_ptr<TScriptTaskInterface> CreateScriptTask();
};

}  // namespace tolvek
