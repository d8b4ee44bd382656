// The execute control's task and its wait / continue protocol.
#include "comm/execute_control.h"

#include "kernel/error_report.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TExecuteControl::TExecuteControl(const void* waitObject) : waitObject_(waitObject) {
  wake_.SetSignal(waitObject_ == nullptr);
  task_ = std::make_unique<TMxTask>();
  task_->OnExecute = [this](TMxTask& task) { Slice(task); };
  task_->Start();
}

TExecuteControl::~TExecuteControl() { task_.reset(); }

void TExecuteControl::Wait(const void* object) {
  if (waitObject_) throw EError(StrFormat("%s.Wait: already in wait state", ClassName()));
  if (!object) throw EError(StrFormat("%s.Wait: need a valid object reference", ClassName()));
  waitObject_ = object;
}

void TExecuteControl::Continue(const void* object) {
  if (!waitObject_) throw EError(StrFormat("%s.Continue: not in wait state", ClassName()));
  if (waitObject_ != object) throw EError(StrFormat("%s.Continue: waiting object missmatch", ClassName()));
  waitObject_ = nullptr;
  wake_.SetSignal(true);
}

void TExecuteControl::Execute(const void* object) {
  if (state_ != ecIdle) throw EError(StrFormat("%s.Execute: not in idle state", ClassName()));
  if (waitObject_ && waitObject_ == object) waitObject_ = nullptr;
  state_ = ecExecuting;
  Repeat = false;
  wake_.SetSignal(true);
}

void TExecuteControl::Log(const std::string& text) {
  if (OnLog) OnLog(text);
}

void TExecuteControl::Slice(TMxTask& task) {
  try {
    if (!waitObject_) {
      if (state_ == ecIdle) {
        if (TStepEvent handler = OnIdle) handler(*this, ecIdle);
        // Nothing to do while idle: sleep until Execute or Continue, not spin.
        else wake_.SetSignal(false);
      } else {
        if (TStepEvent handler = OnExecute) handler(*this, ecExecuting);
        if (!Repeat) state_ = ecIdle;
      }
    }
  } catch (const std::exception& failure) {
    // A failed step ends the execution; the control stays usable.
    state_ = ecIdle;
    MxReportError(ClassName(), failure.what());
  }
  if (waitObject_) wake_.SetSignal(false);
  task.WaitFor(wake_, kMxInfinite);
}

}  // namespace tolvek
