// The pool of service clients that callers take for a single turn and never hold on to.
#pragma once

#include <memory>
#include <vector>

#include "comm/service_client.h"

namespace tolvek {

class TServiceClientPool {
public:
  TServiceClientPool() = default;
  // Frees every client it created (they disconnect first).
  ~TServiceClientPool();
  TServiceClientPool(const TServiceClientPool&) = delete;
  TServiceClientPool& operator=(const TServiceClientPool&) = delete;

  const char* ClassName() const { return "TServiceClientPool"; }

  // A pooled (or new) client with `onRequest`, connected to `provider` and waiting for its
  // turn. Its Release returns it here.
  TServiceClient* NewRequest(TServiceProvider& provider, TServiceClient::TClientEvent onRequest);
  // Disconnects the client, clears its events and keeps it for reuse: "%s.PutServiceClient:
  // client not from this pool" for any other client.
  void PutServiceClient(TServiceClient& client);
  size_t IdleCount() const { return idle_.size(); }

private:
  std::vector<std::unique_ptr<TServiceClient>> clients_;
  std::vector<TServiceClient*> idle_;
};

}  // namespace tolvek
