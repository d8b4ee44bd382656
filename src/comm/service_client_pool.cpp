// Pooled service clients.
#include "comm/service_client_pool.h"

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TServiceClientPool::~TServiceClientPool() {
  idle_.clear();
  clients_.clear();
}

TServiceClient* TServiceClientPool::NewRequest(TServiceProvider& provider, TServiceClient::TClientEvent onRequest) {
  TServiceClient* client;
  if (!idle_.empty()) {
    client = idle_.back();
    idle_.pop_back();
  } else {
    clients_.push_back(std::make_unique<TServiceClient>());
    client = clients_.back().get();
    client->pool_ = this;
  }
  client->idle_ = false;
  client->OnRequest = std::move(onRequest);
  try {
    client->Connect(provider);
    client->Request();
  } catch (...) {
    PutServiceClient(*client);
    throw;
  }
  return client;
}

void TServiceClientPool::PutServiceClient(TServiceClient& client) {
  if (client.pool_ != this) throw EError(StrFormat("%s.PutServiceClient: client not from this pool", ClassName()));
  if (client.idle_) return;
  client.idle_ = true;
  client.Disconnect();
  client.OnUpdate = nullptr;
  client.OnRequest = nullptr;
  client.OnNotify = nullptr;
  idle_.push_back(&client);
}

}  // namespace tolvek
