// The provider's task and the provider side of the client and job protocol.
#include "comm/service_provider.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/text_format.h"
#include "platform/user_interface.h"

namespace tolvek {

TServiceProvider::TServiceProvider(TDeviceService* owner) : owner_(owner) {
  pauseTimer_ = std::make_unique<TMxTimer>();
  pauseTimer_->OnTimer = [this] {
    std::lock_guard lock(pauseLock_);
    if (!pauseTimer_->FiringIsCurrent()) return;
    pauseExpired_ = true;
    Wake();
  };
  task_ = std::make_unique<TMxTask>();
  task_->OnExecute = [this](TMxTask& task) { Slice(task); };
  task_->Start();
}

TServiceProvider::~TServiceProvider() {
  pauseTimer_.reset();
  task_.reset();
  currentClient_ = nullptr;
  DisconnectAll();
  // Jobs handed over but never run belong to the provider.
  for (TServiceItem* item : pending_) {
    if (auto* job = dynamic_cast<TServiceJob*>(item)) delete job;
  }
  pending_.clear();
}

void TServiceProvider::ShowFailure(const std::exception& failure) const {
  UserInterface().ShowError(failure.what());
}

void TServiceProvider::ClientConnect(TServiceClient& client) {
  if (std::find(clients_.begin(), clients_.end(), &client) != clients_.end())
    throw EError(StrFormat("%s.ClientConnect: client already connected", ClassName()));
  clients_.push_back(&client);
}

void TServiceProvider::ClientDisconnect(TServiceClient& client) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), &client), clients_.end());
}

void TServiceProvider::ClientRequest(TServiceClient& client) {
  if (client.pending_) throw EError(StrFormat("%s.ClientRequest: request already pending", ClassName()));
  pending_.push_back(&client);
  client.pending_ = true;
  Wake();
}

void TServiceProvider::ClientWait(TServiceClient& client, uint32_t ms) {
  if (currentClient_ != &client) throw EError(StrFormat("%s.ClientWait: client isn't current client", ClassName()));
  if (state_ != psClient) throw EError(StrFormat("%s.ClientWait: wrong state for this operation", ClassName()));
  state_ = psPaused;
  std::lock_guard lock(pauseLock_);
  pauseExpired_ = false;
  pauseTimer_->SetTimer(ms, false, true);
}

void TServiceProvider::StopPause() {
  std::lock_guard lock(pauseLock_);
  pauseTimer_->StopTimer();
  pauseExpired_ = false;
}

void TServiceProvider::ClientContinue(TServiceClient& client) {
  if (currentClient_ != &client)
    throw EError(StrFormat("%s.ClientContinue: client isn't current client", ClassName()));
  if (state_ != psPaused) throw EError(StrFormat("%s.ClientContinue: wrong state for this operation", ClassName()));
  state_ = psClient;
  StopPause();
  Wake();
}

void TServiceProvider::ClientRelease(TServiceClient& client) {
  if (currentClient_ == &client) {
    currentClient_ = nullptr;
    state_ = psIdle;
    StopPause();
    Wake();
  } else {
    pending_.erase(std::remove(pending_.begin(), pending_.end(), &client), pending_.end());
  }
  client.pending_ = false;
}

void TServiceProvider::ClientUpdateRequest(TServiceClient& client) {
  if (currentClient_ != &client)
    throw EError(StrFormat("%s.ClientUpdateRequest: client isn't current client", ClassName()));
  updateRequested_ = true;
}

void TServiceProvider::JobExecute(TServiceJob& job) {
  if (job.pending_) throw EError(StrFormat("%s.JobExecute: request already pending", ClassName()));
  job.provider_ = this;
  job.pending_ = true;
  pending_.push_back(&job);
  Wake();
}

void TServiceProvider::BeginUpdate() {
  if (state_ == psUpdate) throw EError(StrFormat("%s.BeginUpdate: not allowed during update procedure", ClassName()));
  ++updateCount_;
}

void TServiceProvider::EndOfUpdate() {
  if (updateCount_ == 0) throw EError(StrFormat("%s.EndOfUpdate: missing previous BeginUpdate", ClassName()));
  if (--updateCount_ == 0) {
    updateRequested_ = true;
    Wake();
  }
}

void TServiceProvider::NotifyCurrentClient(TDeviceService* service) {
  if (currentClient_ && currentClient_->OnNotify) currentClient_->OnNotify(*currentClient_, service);
}

void TServiceProvider::DisconnectAll() {
  while (!clients_.empty()) {
    TServiceClient* client = clients_.back();
    client->Disconnect();
    // A client whose Disconnect did not reach us (it forgot the provider) goes anyway.
    if (!clients_.empty() && clients_.back() == client) clients_.pop_back();
  }
}

void TServiceProvider::RunJob() {
  TServiceJob* job = currentJob_;
  bool handled = false;
  bool free = true;
  try {
    if (OnExecuteJob) OnExecuteJob(*job, handled);
    if (!handled) job->DoExecute(free);
  } catch (const std::exception& failure) {
    ShowFailure(failure);
  }
  job->pending_ = false;
  currentJob_ = nullptr;
  state_ = psIdle;
  if (handled || free) delete job;
}

void TServiceProvider::RunUpdate() {
  // A handler may disconnect clients: each is looked up again before it is called.
  const std::vector<TServiceClient*> clients = clients_;
  for (auto it = clients.rbegin(); it != clients.rend(); ++it) {
    if (std::find(clients_.begin(), clients_.end(), *it) == clients_.end()) continue;
    try {
      (*it)->DoUpdate();
    } catch (const std::exception& failure) {
      ShowFailure(failure);
    }
  }
  try {
    if (OnUpdate) OnUpdate(*this);
  } catch (const std::exception& failure) {
    ShowFailure(failure);
  }
  updateRequested_ = false;
  state_ = psIdle;
}

void TServiceProvider::Slice(TMxTask& task) {
  switch (state_) {
    case psIdle:
      if (updateRequested_) {
        state_ = psUpdate;
      } else if (pending_.empty()) {
        wake_.SetSignal(false);
      } else {
        TServiceItem* item = pending_.front();
        pending_.pop_front();
        if (auto* client = dynamic_cast<TServiceClient*>(item)) {
          currentClient_ = client;
          state_ = psClient;
        } else {
          currentJob_ = static_cast<TServiceJob*>(item);
          state_ = psJob;
        }
      }
      break;
    case psJob:
      RunJob();
      break;
    case psClient:
      try {
        currentClient_->DoRequest();
      } catch (const std::exception& failure) {
        ShowFailure(failure);
      }
      break;
    case psPaused: {
      std::lock_guard lock(pauseLock_);
      if (pauseExpired_) {
        pauseExpired_ = false;
        state_ = psClient;
      } else {
        wake_.SetSignal(false);
      }
      break;
    }
    case psUpdate:
      RunUpdate();
      break;
  }
  task.WaitFor(wake_, kMxInfinite);
}

}  // namespace tolvek
