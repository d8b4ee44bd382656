// The status service: the poll task, the firmware commands and the set-up script.
#include "devices/status_service.h"

#include <algorithm>
#include <cctype>

#include "comm/talk_actor.h"
#include "comm/talk_client.h"
#include "comm/talk_service.h"
#include "devices/module_service.h"
#include "platform/debug_log.h"
#include "platform/file_paths.h"
#include "platform/number_text.h"
#include "platform/text_format.h"
#include "script/interp/sl_context.h"
#include "script/sl_scalar.h"
#include "script/storage_manager.h"
#include "script/tasks/script_task.h"

namespace tolvek {

TStatusService::TStatusService(TDevice& device, TSLDictionary* profile, TTalkClient& talkClient)
    : TDeviceService(device, profile), talkClient_(talkClient), actor_(talkClient.GetActor()), provider_(this) {
  actor_->OnDone = [this](TTalkActor&) { AnswersArrived(); };
  task_ = std::make_unique<TMxTask>();
  task_->OnExecute = [this](TMxTask& task) { PollStep(task); };
  task_->Start();
}

TStatusService::~TStatusService() {
  task_.reset();
  if (setupTask_) setupTask_->OnFinish = nullptr;
  actor_->OnDone = nullptr;
  // A busy actor cannot be cleared; its answer still arrives and is dropped with it.
  if (!actor_->IsBusy()) talkClient_.ReturnActor(actor_);
}

void TStatusService::Start(bool&) {
  if (State() != ssStopped) return;
  if (!NeedServices({{"TalkService", "couldn't start status service: talk service not found"},
                     {"ModuleService", "couldn't start status service: module service not found"}}))
    return;
  talk_ = &Partner<TTalkService>("TalkService");
  module_ = &Partner<TModuleService>("ModuleService");
  errorCount_ = 0;
  SetState(ssStarted);
  Wake();
}

void TStatusService::Stop(bool& wait) {
  if (State() != ssStarted) return;
  talk_ = nullptr;
  wait = true;
  requestState_ = rsStopping;
  SetState(ssStopping);
  Wake();
}

void TStatusService::RequestCommand(bool& flag) {
  startRequested_ = stopRequested_ = resetRequested_ = false;
  flag = true;
  if (requestState_ == rsIdle) Wake();
}

void TStatusService::RequestStart() { RequestCommand(startRequested_); }
void TStatusService::RequestStop() { RequestCommand(stopRequested_); }
void TStatusService::RequestReset() { RequestCommand(resetRequested_); }

void TStatusService::RequestSetup(const std::string& fileName, bool debug) {
  std::string extension(ExtensionPart(fileName));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (extension != ".H86" && extension != ".GR2" && extension != ".HX2")
    throw EError(StrFormat("%s.Setup: unknown file extension %s", ClassName(), extension));
  setupFileName_ = fileName;
  setupDebug_ = debug;
  setupRequested_ = true;
  if (requestState_ == rsIdle) Wake();
}

void TStatusService::Wake() { signal_.SetSignal(true); }

void TStatusService::PollStep(TMxTask& task) {
  switch (requestState_) {
    case rsIdle:
      if (talk_ && talk_->Online && !SendRequest()) return;  // the next slice runs at once
      break;
    case rsStopping:
      // Nothing is on its way any more: the stop is complete.
      if (!actor_->IsBusy()) {
        requestState_ = rsIdle;
        SetState(ssStopped);
      }
      break;
    default: break;
  }
  signal_.SetSignal(false);
  task.WaitFor(signal_, kPollInterval);
}

bool TStatusService::SendRequest() {
  TTalkCommandSet* commands = talk_->StandardCommands();
  if (!commands) return true;
  actor_->Clear();
  bool setup = false;
  if (startRequested_) {
    const std::string address = module_ ? module_->GetServiceInfo("ProgramStartAddr") : "";
    if (address.empty()) {
      DebugWarning("No executable firmware found");
      startRequested_ = false;
      return false;
    }
    commands->StartProgram.AddRequest(*actor_, rtStart, static_cast<uint32_t>(ParseInt(address)));
  } else if (stopRequested_) {
    commands->StopProgram.AddRequest(*actor_, rtStop);
  } else if (resetRequested_) {
    commands->ResetDevice.AddRequest(*actor_, rtReset);
  } else if (setupRequested_) {
    setup = true;
  } else {
    commands->DeviceStatus.AddRequest(*actor_, rtStatus, 0);
  }
  requestState_ = rsPending;
  if (setup) StartSetup();
  else actor_->Execute();
  return true;
}

void TStatusService::AnswersArrived() {
  if (requestState_ == rsStopping) {
    requestState_ = rsIdle;
    SetState(ssStopped);
    return;
  }
  if (requestState_ != rsPending) return;
  TTalkCommandSet* commands = talk_ ? talk_->StandardCommands() : nullptr;
  actor_->Reset();
  const uint32_t count = actor_->GetCount();
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t status = actor_->GetStatus();
    switch (actor_->GetUserValue()) {
      case rtStart: startRequested_ = false; break;
      case rtStop: stopRequested_ = false; break;
      case rtReset: resetRequested_ = false; break;
      case rtStatus:
        if (status != 0 || !commands) {
          if (++errorCount_ >= kMaxFailedPolls) StoreStatus(0);
        } else {
          errorCount_ = 0;
          StoreStatus(commands->DeviceStatus.GetValue(*actor_));
        }
        break;
      default: break;
    }
    if (i + 1 < count) actor_->Next();
  }
  requestState_ = rsIdle;
}

void TStatusService::StoreStatus(uint32_t word) {
  if (word == statusWord_) return;
  // Watching clients hear of each change once, in the update pass that the bracket requests.
  bool bracketed = false;
  try {
    provider_.BeginUpdate();
    bracketed = true;
  } catch (const EError&) {
  }
  statusWord_ = word;
  if (bracketed) provider_.EndOfUpdate();
}

void TStatusService::StartSetup() {
  try {
    TStorageManager* storage = TStorageManager::Current();
    if (!storage) throw EError(StrFormat("%s.Setup: no storage manager", ClassName()));
    std::unique_ptr<TScriptTaskInterface> task = storage->CreateScriptTask();
    task->SetDebug(setupDebug_);
    auto* scriptTask = dynamic_cast<TScriptTask*>(task.get());
    if (scriptTask) scriptTask->OnFinish = [this](TScriptTask&) { SetupFinished(); };
    task->LoadFile(kSetupScript);
    TSLContextImplementation* context = task->GetContext();
    CastObj<TSLDictionary>(context->Dicts().Top(0))->SetStrWithName("DeviceName", Device().Name());
    task->PushParameter(TRef<TSLString>(MakeRef<TSLString>(setupFileName_)).Get());
    task->SetAutoFree(true);
    task->Start();
    setupTask_ = scriptTask;
    task.release();
  } catch (const std::exception& failure) {
    // A set-up that cannot start must not leave the poll task pending for ever.
    DebugError(failure.what());
    setupRequested_ = false;
    requestState_ = rsIdle;
  }
}

void TStatusService::SetupFinished() {
  setupTask_ = nullptr;
  setupRequested_ = false;
  if (requestState_ == rsPending) requestState_ = rsIdle;
  Wake();
}

}  // namespace tolvek
