// The service provider: a task that gives a device service to one party at a time, so that
// the exchanges of windows, scripts and other services with the drive never interleave.
//
// States: 0 idle, 1 running a job, 2 a client's turn, 3 a client's turn paused, 4 update pass.
// The task waits on a wake signal that stays set while there is work, so a state runs slice
// after slice until it resets the signal.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "comm/service_client.h"
#include "kernel/task.h"
#include "kernel/task_control.h"
#include "kernel/timer_queue.h"

namespace tolvek {

class TServiceProvider {
public:
  enum TState : uint8_t { psIdle = 0, psJob = 1, psClient = 2, psPaused = 3, psUpdate = 4 };
  using TProviderEvent = std::function<void(TServiceProvider& provider)>;
  using TExecuteJobEvent = std::function<void(TServiceJob& job, bool& handled)>;

  // `owner` is the service the provider works for (none for a provider on its own). Needs the
  // main scheduler.
  explicit TServiceProvider(TDeviceService* owner = nullptr);
  // Frees the timer and the task, then disconnects every client (last first) and deletes the
  // jobs still pending.
  virtual ~TServiceProvider();
  TServiceProvider(const TServiceProvider&) = delete;
  TServiceProvider& operator=(const TServiceProvider&) = delete;

  virtual const char* ClassName() const { return "TServiceProvider"; }
  TDeviceService* Owner() const { return owner_; }

  // The client side of the protocol (called through TServiceClient and TServiceJob).
  void ClientConnect(TServiceClient& client);
  void ClientDisconnect(TServiceClient& client);
  void ClientRequest(TServiceClient& client);
  void ClientWait(TServiceClient& client, uint32_t ms);
  void ClientContinue(TServiceClient& client);
  void ClientRelease(TServiceClient& client);
  void ClientUpdateRequest(TServiceClient& client);
  // Takes the job (see TServiceJob) and queues it.
  void JobExecute(TServiceJob& job);

  // Nested update brackets: the outermost EndOfUpdate requests one update pass.
  // "%s.BeginUpdate: not allowed during update procedure", "%s.EndOfUpdate: missing previous
  // BeginUpdate".
  void BeginUpdate();
  void EndOfUpdate();
  // Calls the current client's OnNotify, if there is a current client with one.
  void NotifyCurrentClient(TDeviceService* service);
  // Disconnects every connected client, last first.
  void DisconnectAll();

  TState State() const { return state_; }
  TServiceClient* CurrentClient() const { return currentClient_; }
  TServiceJob* CurrentJob() const { return currentJob_; }
  size_t ClientCount() const { return clients_.size(); }
  size_t PendingCount() const { return pending_.size(); }
  bool UpdateRequested() const { return updateRequested_; }

  // The service's part of an update pass.
  TProviderEvent OnUpdate;
  // Lets the service run jobs itself; it sets `handled` when it did.
  TExecuteJobEvent OnExecuteJob;

private:
  void Wake() { wake_.SetSignal(true); }
  void Slice(TMxTask& task);
  void RunJob();
  void RunUpdate();
  void StopPause();
  // Shows the failure of a party's step to the user; the provider goes on.
  void ShowFailure(const std::exception& failure) const;

  TDeviceService* owner_;
  std::vector<TServiceClient*> clients_;
  std::deque<TServiceItem*> pending_;
  TState state_ = psIdle;
  TServiceClient* currentClient_ = nullptr;
  TServiceJob* currentJob_ = nullptr;
  int updateCount_ = 0;
  bool updateRequested_ = false;
  TMxSignal wake_;
  // The pause timer fires on the timer thread; it only marks the pause as over and wakes the
  // task. pauseLock_ keeps a stale firing from marking a later pause.
  std::mutex pauseLock_;
  bool pauseExpired_ = false;
  std::unique_ptr<TMxTimer> pauseTimer_;
  std::unique_ptr<TMxTask> task_;
};

}  // namespace tolvek
