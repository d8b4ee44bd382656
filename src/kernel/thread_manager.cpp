// The thread manager's client list and its poll loop.
#include "kernel/thread_manager.h"

#include <array>
#include <cerrno>

#include "kernel/error_report.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

void TThreadClient::SetWaitHandle(int fd, short events) {
  {
    std::lock_guard lock(manager_.listLock_);
    waitFd_ = fd;
    waitEvents_ = events;
    invalid_ = false;
  }
  manager_.listChanged_.SetEvent();
}

void TThreadClient::ReleaseClient() {
  {
    std::lock_guard lock(manager_.listLock_);
    releaseRequested_ = true;
  }
  manager_.listChanged_.SetEvent();
}

TThreadManager::TThreadManager() : TOurThread("TThreadManager") {
  clients_.reserve(kMaxClients);
  Start();
}

TThreadManager::~TThreadManager() {
  Stop();
  for (TThreadClient* client : clients_) delete client;
}

TThreadClient* TThreadManager::NewThreadClient() {
  TThreadClient* client;
  {
    std::lock_guard lock(listLock_);
    if (clients_.size() >= kMaxClients)
      throw EError(StrFormat("%s.NewThreadClient: maximum of clients reached", ClassName()));
    client = new TThreadClient(*this);
    clients_.push_back(client);
  }
  listChanged_.SetEvent();
  return client;
}

size_t TThreadManager::ClientCount() const {
  std::lock_guard lock(listLock_);
  return clients_.size();
}

void TThreadManager::Terminate() {
  TOurThread::Terminate();
  listChanged_.SetEvent();
}

void TThreadManager::FreeReleasedClients() {
  std::lock_guard lock(listLock_);
  for (size_t i = clients_.size(); i-- > 0;) {
    if (clients_[i]->releaseRequested_) {
      delete clients_[i];
      clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

void TThreadManager::Serve(TThreadClient& client, int fd, short revents) {
  std::lock_guard lock(listLock_);
  const bool ownEvent = client.waitFd_ < 0;
  // Released, or switched to another descriptor, since the poll began.
  if (client.releaseRequested_ || fd != (ownEvent ? client.event_.Handle() : client.waitFd_)) return;
  if (ownEvent) client.event_.ResetEvent();
  if (revents & POLLNVAL) client.invalid_ = true;
  if (!client.OnSignal) return;
  try {
    client.OnSignal(client);
  } catch (const std::exception& e) {
    MxReportError(Name(), e.what());
  }
}

void TThreadManager::Execute() {
  std::array<pollfd, kMaxClients + 1> handles;
  std::array<TThreadClient*, kMaxClients + 1> owners;
  while (!Terminated()) {
    size_t count = 1;
    handles[0] = {listChanged_.Handle(), POLLIN, 0};
    {
      std::lock_guard lock(listLock_);
      for (TThreadClient* client : clients_) {
        if (client->releaseRequested_ || client->invalid_) continue;
        const bool ownEvent = client->waitFd_ < 0;
        handles[count] = {ownEvent ? client->event_.Handle() : client->waitFd_,
                          ownEvent ? short(POLLIN) : client->waitEvents_, 0};
        owners[count++] = client;
      }
    }
    if (poll(handles.data(), count, -1) < 0) {
      if (errno == EINTR) continue;
      throw EError("TThreadManager: WaitForMultipleObjects failed");
    }
    if (Terminated()) break;
    if (handles[0].revents) {
      // List changes first: the handles of this round may be out of date.
      listChanged_.ResetEvent();
      FreeReleasedClients();
      continue;
    }
    for (size_t k = 1; k < count; ++k)
      if (handles[k].revents) Serve(*owners[k], handles[k].fd, handles[k].revents);
  }
}

}  // namespace tolvek
