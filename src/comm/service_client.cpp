// The client and job side of the provider protocol.
#include "comm/service_client.h"

#include "comm/service_client_pool.h"
#include "comm/service_provider.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TServiceClient::~TServiceClient() {
  // The pool is going away with this client, or this client is the pool's: never back into it.
  pool_ = nullptr;
  Disconnect();
}

void TServiceClient::CheckConnected(const char* operation) const {
  if (!provider_) throw EError(StrFormat("%s.%s: client isn't connected", ClassName(), operation));
}

void TServiceClient::Connect(TServiceProvider& provider) {
  if (provider_) throw EError(StrFormat("%s.Connect: client already connected", ClassName()));
  provider.ClientConnect(*this);
  provider_ = &provider;
}

void TServiceClient::Disconnect() {
  if (!provider_) return;
  TServiceProvider* provider = provider_;
  if (pending_) provider->ClientRelease(*this);
  provider->ClientDisconnect(*this);
  provider_ = nullptr;
  // A pooled client whose provider goes away is not lost to its pool.
  if (pool_ && !idle_) pool_->PutServiceClient(*this);
}

void TServiceClient::Request() {
  CheckConnected("Request");
  provider_->ClientRequest(*this);
}

void TServiceClient::Wait(uint32_t ms) {
  CheckConnected("Wait");
  provider_->ClientWait(*this, ms);
}

void TServiceClient::Continue() {
  CheckConnected("Continue");
  provider_->ClientContinue(*this);
}

void TServiceClient::Release() {
  CheckConnected("Release");
  provider_->ClientRelease(*this);
  if (pool_ && !idle_) pool_->PutServiceClient(*this);
}

void TServiceClient::UpdateRequest() {
  CheckConnected("UpdateRequest");
  provider_->ClientUpdateRequest(*this);
}

// The handlers run from copies: a client that releases its turn inside OnRequest may go back
// to its pool, which clears the events while they run.
void TServiceClient::DoUpdate() {
  if (TClientEvent handler = OnUpdate) handler(*this);
}

void TServiceClient::DoRequest() {
  if (TClientEvent handler = OnRequest) handler(*this);
}

void TServiceJob::Execute(TServiceProvider& provider) { provider.JobExecute(*this); }

void TServiceJob::DoExecute(bool& free) {
  if (TJobEvent handler = OnExecute) handler(*this, free);
}

}  // namespace tolvek
