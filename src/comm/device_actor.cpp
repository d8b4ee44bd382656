// Single Talk jobs through one actor.
#include "comm/device_actor.h"

#include "comm/talk_client.h"
#include "comm/talk_command_set.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TDeviceActor::TDeviceActor(TTalkClient& client, size_t capacity)
    : client_(client), actor_(client.GetActor()), jobs_(capacity) {
  actor_->OnDone = [this](TTalkActor&) { ActorDone(); };
}

TDeviceActor::~TDeviceActor() {
  actor_->OnDone = nullptr;
  // A busy actor cannot be cleared; its answer still arrives and is dropped with it.
  if (!actor_->IsBusy()) client_.ReturnActor(actor_);
}

void TDeviceActor::AddJob(TClientJobType type, TTalkLink& service, uint32_t address, uint32_t value,
                          TClientJob::TCallback callback, uint32_t userValue) {
  if (!service.StandardCommands())
    throw EError(StrFormat("%s.AddJob: %s has no standard command set", ClassName(), service.ClassName()));
  TClientJob& job = jobs_.GetNewJob();
  job.Type = type;
  job.Service = &service;
  job.Address = address;
  job.Value = value;
  job.UserValue = userValue;
  job.Callback = std::move(callback);
  jobs_.Insert();
  StartNextJob();
}

void TDeviceActor::StartNextJob() {
  if (actor_->IsBusy() || jobs_.Empty()) return;
  TClientJob& job = jobs_.GetTopJob();
  TTalkCommandSet& commands = *job.Service->StandardCommands();
  actor_->Clear();
  switch (job.Type) {
    case cjStartProgram: commands.StartProgram.AddRequest(*actor_, 0, job.Address); break;
    case cjStopProgram: commands.StopProgram.AddRequest(*actor_, 0); break;
    case cjResetDevice: commands.ResetDevice.AddRequest(*actor_, 0); break;
    case cjEraseFlash: commands.EraseFlash.AddRequest(*actor_, 0, job.Address); break;
    case cjReadMemory: commands.ReadMemory.AddRequest(*actor_, 0, job.Address); break;
    case cjWriteMemory: commands.WriteMemory.AddRequest(*actor_, 0, job.Address, job.Value); break;
    case cjWriteFlash: commands.WriteFlash.AddRequest(*actor_, 0, job.Address, job.Value); break;
  }
  actor_->Execute();
}

void TDeviceActor::ActorDone() {
  TClientJob& job = jobs_.GetTopJob();
  job.Status = actor_->GetStatus();
  if (job.Type == cjReadMemory && job.Status == 0) job.Value = job.Service->StandardCommands()->ReadMemory.GetValue(*actor_);
  const TClientJob::TCallback callback = std::move(job.Callback);
  const uint8_t status = job.Status;
  const uint32_t value = job.Type == cjReadMemory ? job.Value : 0;
  const uint32_t userValue = job.UserValue;
  jobs_.DeleteHead();
  try {
    if (callback) callback(status, value, userValue);
  } catch (...) {
    StartNextJob();
    throw;
  }
  StartNextJob();
}

}  // namespace tolvek

namespace tolvek {

void TDeviceActor::StartProgram(TTalkLink& service, uint32_t address, TClientJob::TCallback callback,
                                uint32_t userValue) {
  AddJob(cjStartProgram, service, address, 0, std::move(callback), userValue);
}

void TDeviceActor::StopProgram(TTalkLink& service, TClientJob::TCallback callback, uint32_t userValue) {
  AddJob(cjStopProgram, service, 0, 0, std::move(callback), userValue);
}

void TDeviceActor::ResetDevice(TTalkLink& service, TClientJob::TCallback callback, uint32_t userValue) {
  AddJob(cjResetDevice, service, 0, 0, std::move(callback), userValue);
}

void TDeviceActor::EraseFlash(TTalkLink& service, uint32_t address, TClientJob::TCallback callback,
                              uint32_t userValue) {
  AddJob(cjEraseFlash, service, address, 0, std::move(callback), userValue);
}

void TDeviceActor::ReadMemory(TTalkLink& service, uint32_t address, TClientJob::TCallback callback,
                              uint32_t userValue) {
  AddJob(cjReadMemory, service, address, 0, std::move(callback), userValue);
}

void TDeviceActor::WriteMemory(TTalkLink& service, uint32_t address, uint32_t value, TClientJob::TCallback callback,
                               uint32_t userValue) {
  AddJob(cjWriteMemory, service, address, value, std::move(callback), userValue);
}

void TDeviceActor::WriteFlash(TTalkLink& service, uint32_t address, uint32_t value, TClientJob::TCallback callback,
                              uint32_t userValue) {
  AddJob(cjWriteFlash, service, address, value, std::move(callback), userValue);
}

}  // namespace tolvek
