// Script tasks: start, the scheduler slice, waits, abort, runtime errors and the end.
#include "script/tasks/script_task.h"

#include "platform/debug_log.h"
#include "platform/text_format.h"
#include "platform/user_interface.h"
#include "script/interp/sl_interpreter.h"
#include "script/storage_manager.h"
#include "script/tasks/script_debugger.h"
#include "script/tasks/script_task_manager.h"

namespace tolvek {

namespace {

TStorageManager& StorageOrCurrent(TStorageManager* storage) {
  if (storage) return *storage;
  if (TStorageManager* current = TStorageManager::Current()) return *current;
  throw EError("TScriptTask: no storage manager created");
}

// Keeps an ended auto-free task until the pool drain that releases the holder.
class TScriptTaskHolder final : public TRefObj {
public:
  explicit TScriptTaskHolder(TScriptTask* task) : task_(task) {}
  const char* ClassName() const override { return "TScriptTaskHolder"; }

private:
  std::unique_ptr<TScriptTask> task_;
};

// Routes the shared interpreter's debugger notifications to one task's debugger for the
// length of one run call, so that scripts run without the debugger never stop at breakpoints
// or report to a debugger that is not theirs.
class TDebuggerRoute {
public:
  TDebuggerRoute(TSLInterpreter& interpreter, TScriptDebugger* debugger)
      : interpreter_(interpreter), active_(debugger != nullptr) {
    if (!active_) return;
    saved_ = std::move(interpreter_.OnDebugger);
    interpreter_.OnDebugger = [debugger](TSLObject* token) { debugger->Notify(token); };
  }
  ~TDebuggerRoute() {
    if (active_) interpreter_.OnDebugger = std::move(saved_);
  }

private:
  TSLInterpreter& interpreter_;
  bool active_;
  TSLDebuggerNotify saved_;
};

}  // namespace

std::unique_ptr<TScriptTaskInterface> TScriptTaskFactory::CreateScriptTask() {
  return std::make_unique<TScriptTask>();
}

TScriptTask::TScriptTask(TStorageManager* storage)
    : storage_(StorageOrCurrent(storage)), task_(std::make_unique<TMxTask>()) {
  task_->OnExecute = [this](TMxTask&) { Execute(); };
  task_->Start();
  id_ = TScriptTaskManager::Instance().AddTask(this);
}

TScriptTask::~TScriptTask() {
  // The scheduler task goes first, so that no slice runs on what is freed below.
  task_.reset();
  TScriptTaskManager::Instance().RemoveTask(this);
  ReleaseContext();
  block_.Reset();
  debugger_.reset();
}

void TScriptTask::ReleaseContext() {
  if (!context_) return;
  // Others may keep the context: it must not call back into this task any more.
  context_->OnContinue = nullptr;
  if (context_->GetOwningTask() == this) context_->SetOwningTask(nullptr);
  context_.Reset();
}

TSLBlock* TScriptTask::GetBlock() { return block_.Get(); }

void TScriptTask::SetBlock(TSLBlock* block) { block_ = TRef<TSLBlock>(block); }

TSLContextImplementation* TScriptTask::GetContext() { return context_.Get(); }

void TScriptTask::SetContext(TSLContextImplementation* context) {
  // The running script's slices use the context: it is exchanged only while the task is idle.
  if (IsBusy()) throw EError(StrFormat("%s.SetContext: script task not idle", ClassName()));
  TRef<TSLContextImplementation> hold(context);
  ReleaseContext();
  context_ = hold;
  if (context_)
    context_->OnContinue = [this](TSLContext&, int32_t argument) { ContinueHandler(argument); };
}

void TScriptTask::Reset() {
  if (IsBusy()) throw EError(StrFormat("%s.Reset: script task not idle", ClassName()));
  ReleaseContext();
  block_.Reset();
  errorText_.clear();
}

void TScriptTask::PushParameter(TSLObject* value) {
  if (!context_) throw EError(StrFormat("%s.PushParameter: Context not initialized", ClassName()));
  context_->Operands().PushValue(value);
}

TSLObject* TScriptTask::PopResult() {
  if (!context_) throw EError(StrFormat("%s.PopResult: Context not initialized", ClassName()));
  return context_->Operands().PopRef().AutoRelease();
}

void TScriptTask::LoadFile(const std::string& name) {
  // Always with source positions: without them a runtime error could not name its line.
  TRef<TSLStorageObject> object(storage_.GetObject(name, saRead, true));
  TRef<TSLBlock> block(CastObj<TSLBlock>(object->GetData()));
  TRef<TSLContextImplementation> context = storage_.CreateContext();
  context->SetSourceName(name);
  SetBlock(block.Get());
  SetContext(context.Get());
}

void TScriptTask::Start() {
  if (state_.load() != stIdle)
    throw EError(StrFormat("%s.Start: script task not idle", ClassName()));
  if (!context_) throw EError(StrFormat("%s.Start: Context not initialized", ClassName()));
  if (!block_) throw EError(StrFormat("%s.Start: no script to run", ClassName()));
  context_->PushBlock(block_.Get());
  context_->ClearError();
  TSLDictionary* top = context_->CurrentDict();
  if (top && !top->Known("log")) {
    TRef<TSLScriptLogProcedure> log = MakeRef<TSLScriptLogProcedure>();
    top->SetObjWithName("log", log.Get());
  }
  context_->SetOwningTask(this);
  errorText_.clear();
  if (debug_) {
    if (!debugger_) debugger_ = std::make_unique<TScriptDebugger>(storage_);
    debugger_->SetContext(context_.Get());
    context_->SetDebug(true);
    debugger_->AddSource(block_.Get());
    debugger_->Show();
    debugger_->SetTask(this);
    state_ = stDebugStartRequested;
  } else {
    state_ = stStartRequested;
  }
  TScriptTaskManager::Instance().NotifyChange();
  signal_.SetSignal(true);
}

void TScriptTask::Abort() {
  const int32_t state = state_.load();
  if (state < stStartRequested || state > stSteppingOver) return;
  state_ = stFailed;
  errorText_ = "script task aborted";
  // Whether the script waits, stands at a breakpoint or is between slices, the next slice
  // ends it; a task asleep on its signal needs the signal for that.
  signal_.SetSignal(true);
}

void TScriptTask::ContinueHandler(int32_t) {
  const int32_t state = state_.load();
  if (state == stRunning || state == stStepping || state == stSteppingOver)
    signal_.SetSignal(true);
}

void TScriptTask::DebugCommand(TScriptTaskState mode) {
  const int32_t state = state_.load();
  if (state != stRunning && state != stStepping && state != stSteppingOver) return;
  state_ = mode;
  signal_.SetSignal(true);
  if (debugger_) debugger_->CommandGiven(mode);
}

void TScriptTask::WaitSignal(int32_t timeout) {
  waited_ = true;
  task_->WaitFor(signal_, timeout);
}

void TScriptTask::Execute() {
  const bool timedOut = waited_ && task_->WaitResult() == wrTimeout;
  waited_ = false;
  switch (state_.load()) {
    case stIdle:
      signal_.SetSignal(false);
      WaitSignal(kMxInfinite);
      return;
    case stStartRequested:
    case stDebugStartRequested: {
      const bool debug = state_.load() == stDebugStartRequested;
      try {
        if (OnStart) OnStart(*this);
      } catch (const std::exception& e) {
        Fail(e.what());
        return;
      }
      // OnStart may have aborted the task.
      int32_t expected = debug ? stDebugStartRequested : stStartRequested;
      state_.compare_exchange_strong(expected, debug ? stStepping : stRunning);
      return;
    }
    case stRunning:
    case stStepping:
    case stSteppingOver:
      RunCall(timedOut);
      return;
    case stFinished:
      Finish(false);
      return;
    case stFailed:
      Finish(true);
      return;
    default:
      return;
  }
}

void TScriptTask::RunCall(bool timedOut) {
  TSLContextImplementation& context = *context_;
  TSLInterpreter& interpreter = storage_.GetInterpreter();
  // Reset before the run: a continue that arrives while the script runs (from another thread)
  // then keeps the signal set and the wait below ends at once.
  signal_.SetSignal(false);
  bool finished = false;
  try {
    if (context.GetState() == csBreak) context.ResumeBreak();
    if (context.GetState() == csWait) {
      if (!timedOut) {
        // Woken by a debugger command while the script waits: the wait goes on.
        WaitSignal(context.GetWaitTime());
        return;
      }
      context.Resume(0);
      if (debugger_ && debug_ && state_.load() == stStepping) debugger_->Update();
    }
    TDebuggerRoute route(interpreter, debug_ ? debugger_.get() : nullptr);
    switch (state_.load()) {
      case stRunning: finished = interpreter.Run(context); break;
      case stStepping: finished = interpreter.Step(context); break;
      case stSteppingOver: finished = interpreter.StepOver(context); break;
      default: break;
    }
  } catch (const std::exception& e) {
    // An abort from inside the script ends it with its own text.
    if (state_.load() != stFailed) Fail(e.what());
    return;
  }
  if (state_.load() == stFailed) return;
  if (finished) {
    if (debugger_ && debug_) debugger_->Update();
    state_ = stFinished;
    return;
  }
  switch (context.GetState()) {
    case csRunning:
    case csBreak:
      WaitSignal(kMxInfinite);
      return;
    case csWait:
      WaitSignal(context.GetWaitTime());
      return;
    case csSlice:
    case csContinue:
      // The task stays ready and continues at its next turn (csContinue: the awaited event
      // came from another thread while the slice ran).
      return;
    default:
      Fail("invalid interpreter state");
      return;
  }
}

void TScriptTask::Fail(const std::string& message) {
  state_ = stFailed;
  std::string text;
  try {
    text = RuntimeErrorText(*context_, message,
                            [this](uint16_t id) { return storage_.GetIDManager().SourceName(id); });
  } catch (...) {
    text = "Runtime error: internal error";
  }
  errorText_ = text;
  DebugError(text);
  if (debugger_ && debug_) {
    TSLObject* location = context_->GetErrorLocation();
    debugger_->ShowError(location ? location : context_->CurrentToken(), text);
  }
  UserInterface().Beep();
}

void TScriptTask::Finish(bool failed) {
  failed_ = failed;
  state_ = stIdle;
  TScriptTaskManager::Instance().NotifyChange();
  try {
    if (OnFinish) OnFinish(*this);
  } catch (const std::exception& e) {
    // The script has ended either way; the task must stay usable.
    DebugError(StrFormat("%s.OnFinish: %s", ClassName(), e.what()));
  }
  if (!failed && debugger_ && debug_) debugger_->ScriptFinished();
  // OnFinish may have started the task again.
  if (state_.load() != stIdle) return;
  if (autoFree_) {
    autoFree_ = false;
    MakeAuto<TScriptTaskHolder>(this);
  }
  signal_.SetSignal(false);
  WaitSignal(kMxInfinite);
}

void TSLScriptLogProcedure::Execute(TSLContext& context) {
  const std::string text = StrOperand(context, 0);
  context.Operands().Drop();
  DebugInfo(text);
}

}  // namespace tolvek
