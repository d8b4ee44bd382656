// The debugger's sources, positions, breakpoints and commands.
#include "script/tasks/script_debugger.h"

#include <algorithm>

#include "platform/text_format.h"
#include "script/interp/sl_context.h"
#include "script/sl_collection.h"
#include "script/sl_scalar.h"
#include "script/storage_manager.h"
#include "script/tasks/script_task.h"

namespace tolvek {

TScriptDebugger::TScriptDebugger(TStorageManager& storage) : storage_(storage) {}

void TScriptDebugger::SetContext(TSLContextImplementation* context) {
  context_ = TRef<TSLContextImplementation>(context);
}

void TScriptDebugger::AddSource(TSLObject* value) {
  TElmDbgInfo* info = value ? value->GetDbgInfo() : nullptr;
  if (!info || info->GetStorageID() == 0) return;
  const uint16_t id = info->GetStorageID();
  TStorageIDInfo* entry = nullptr;
  try {
    entry = &storage_.GetIDManager().GetIDInfo(id);
  } catch (const EError&) {
    return;
  }
  if (!entry->Value) entry->Value = TRef<TSLObject>(value);
  if (std::find(sources_.begin(), sources_.end(), id) != sources_.end()) return;
  sources_.push_back(id);
  if (view_) view_->SourceAdded(id, entry->Name);
}

std::string TScriptDebugger::SourceName(uint16_t storageID) const {
  return storage_.GetIDManager().SourceName(storageID);
}

void TScriptDebugger::Show() {
  if (view_) view_->ShowDebugger();
}

void TScriptDebugger::Notify(TSLObject* token) {
  current_ = TRef<TSLObject>(token);
  if (!view_) return;
  if (TElmDbgInfo* info = token ? token->GetDbgInfo() : nullptr)
    view_->ShowPosition(info->GetStorageID(), info->GetTokPos(), info->GetTokLength(),
                        info->GetTokLine());
  view_->UpdateViews();
}

void TScriptDebugger::Update() {
  if (view_) view_->UpdateViews();
}

void TScriptDebugger::ScriptFinished() {
  current_.Reset();
  if (!view_) return;
  view_->ShowMessage("Script Finished!");
  view_->ClearPosition();
  view_->UpdateViews();
}

void TScriptDebugger::ShowError(TSLObject* element, const std::string& text) {
  current_ = TRef<TSLObject>(element);
  if (!view_) return;
  if (TElmDbgInfo* info = element ? element->GetDbgInfo() : nullptr)
    view_->ShowPosition(info->GetStorageID(), info->GetTokPos(), info->GetTokLength(),
                        info->GetTokLine());
  view_->ShowMessage(text);
  view_->UpdateViews();
}

void TScriptDebugger::CommandGiven(int32_t mode) {
  if (mode == stRunning && view_) view_->ClearPosition();
}

void TScriptDebugger::Run() {
  if (task_) task_->DebugCommand(stRunning);
}

void TScriptDebugger::StepInto() {
  if (task_) task_->DebugCommand(stStepping);
}

void TScriptDebugger::StepOver() {
  if (task_) task_->DebugCommand(stSteppingOver);
}

TSLObject* TScriptDebugger::SourceValue(uint16_t storageID) {
  try {
    return storage_.GetIDManager().GetIDInfo(storageID).Value.Get();
  } catch (const EError&) {
    return nullptr;
  }
}

namespace {

// Calls `visit` for the root and every value below it, depth first, until it answers true.
template <class F>
void WalkSource(TSLObject* root, F visit) {
  if (!root) return;
  if (auto* collection = dynamic_cast<TSLCollection*>(root)) {
    collection->ForEach(
        [&](const TForEachInfo& info, bool& stop) {
          if (info.Obj && visit(info.Obj)) stop = true;
        },
        true);
    return;
  }
  visit(root);
}

bool IsExecutableName(TSLObject* value) {
  auto* ident = dynamic_cast<TSLIdent*>(value);
  return ident && ident->GetExecutable();
}

}  // namespace

bool TScriptDebugger::ToggleBreak(uint16_t storageID, int32_t position) {
  TElmDbgInfo* found = nullptr;
  WalkSource(SourceValue(storageID), [&](TSLObject* value) {
    TElmDbgInfo* info = value->GetDbgInfo();
    if (!info || info->GetStorageID() != storageID) return false;
    if (position < info->GetTokPos() || position >= info->GetTokPos() + info->GetTokLength())
      return false;
    found = info;
    return true;
  });
  if (!found) throw EError(StrFormat("%s.ToggleBreak: internal error", ClassName()));
  found->SetBreakpoint(!found->GetBreakpoint());
  return found->GetBreakpoint();
}

int32_t TScriptDebugger::PositionOfLine(uint16_t storageID, int32_t line) {
  int32_t position = -1;
  WalkSource(SourceValue(storageID), [&](TSLObject* value) {
    TElmDbgInfo* info = value->GetDbgInfo();
    if (!info || info->GetStorageID() != storageID || info->GetTokLine() != line ||
        !IsExecutableName(value))
      return false;
    position = info->GetTokPos();
    return true;
  });
  return position;
}

std::vector<TScriptBreakpoint> TScriptDebugger::Breakpoints(uint16_t storageID) {
  std::vector<TScriptBreakpoint> result;
  WalkSource(SourceValue(storageID), [&](TSLObject* value) {
    TElmDbgInfo* info = value->GetDbgInfo();
    if (info && info->GetStorageID() == storageID && info->GetBreakpoint()) {
      auto* ident = dynamic_cast<TSLIdent*>(value);
      result.push_back(TScriptBreakpoint{storageID, info->GetTokPos(), info->GetTokLine(),
                                         ident ? ident->GetName() : std::string()});
    }
    return false;
  });
  return result;
}

}  // namespace tolvek
