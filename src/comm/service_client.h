// The parties of a service provider: clients, which request a turn and run their own step
// routine inside the provider's task until they release it, and jobs, one-shot pieces of work.
#pragma once

#include <cstdint>
#include <functional>

namespace tolvek {

class TDeviceService;
class TServiceClientPool;
class TServiceProvider;

// What clients and jobs share: the provider they belong to, and whether they wait for it.
class TServiceItem {
public:
  TServiceItem() = default;
  virtual ~TServiceItem() = default;
  TServiceItem(const TServiceItem&) = delete;
  TServiceItem& operator=(const TServiceItem&) = delete;

  virtual const char* ClassName() const = 0;
  TServiceProvider* Provider() const { return provider_; }
  // A client: from Request to Release. A job: from Execute until it has run.
  bool Pending() const { return pending_; }

protected:
  friend class TServiceProvider;
  TServiceProvider* provider_ = nullptr;
  bool pending_ = false;
};

// A party that uses a service one turn at a time: Connect, Request, then its OnRequest runs on
// every provider slice until it calls Wait (pause) or Release (end of turn).
class TServiceClient : public TServiceItem {
public:
  using TClientEvent = std::function<void(TServiceClient& client)>;
  using TNotifyEvent = std::function<void(TServiceClient& client, TDeviceService* service)>;

  TServiceClient() = default;
  // Disconnects.
  ~TServiceClient() override;

  const char* ClassName() const override { return "TServiceClient"; }

  // "%s.Connect: client already connected"; the provider refuses a client it already has.
  void Connect(TServiceProvider& provider);
  // Releases a requested turn and leaves the provider; nothing when not connected.
  void Disconnect();
  // Asks for a turn: "%s.ClientRequest: request already pending" while one is requested.
  void Request();
  // Pauses the current turn for at most `ms` ms; Continue resumes it earlier.
  void Wait(uint32_t ms);
  // Resumes a paused turn.
  void Continue();
  // Ends the turn, or withdraws a request not yet served; a pooled client returns to its pool.
  void Release();
  // Asks for an update pass once the provider is next idle (current client only).
  void UpdateRequest();
  bool Connected() const { return provider_ != nullptr; }
  TServiceClientPool* Pool() const { return pool_; }

  // The client's part of an update pass, and of its turn.
  virtual void DoUpdate();
  virtual void DoRequest();

  TClientEvent OnUpdate;
  TClientEvent OnRequest;
  TNotifyEvent OnNotify;

private:
  friend class TServiceClientPool;
  void CheckConnected(const char* operation) const;

  TServiceClientPool* pool_ = nullptr;
  bool idle_ = false;  // lies in its pool
};

// One-shot work for a provider. Created with new and handed over by Execute: the provider
// deletes it after it ran, unless its OnExecute cleared `free` (then the job keeps itself).
class TServiceJob : public TServiceItem {
public:
  using TJobEvent = std::function<void(TServiceJob& job, bool& free)>;

  const char* ClassName() const override { return "TServiceJob"; }

  // Queues the job at the provider: "%s.JobExecute: request already pending" while it waits.
  void Execute(TServiceProvider& provider);
  // Runs the job: calls OnExecute.
  virtual void DoExecute(bool& free);

  TJobEvent OnExecute;
};

}  // namespace tolvek
