// A thread that waits for the events of up to 16 clients (serial ports) and calls each client
// back on that thread when its event fires.
#pragma once

#include <poll.h>

#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include "kernel/our_thread.h"
#include "platform/event.h"

namespace tolvek {

class TThreadManager;

// One client of a thread manager. By default the manager waits for the client's own auto-reset
// event (SetEvent, EventHandle); a client may instead have it wait on a descriptor of its own,
// such as a serial port, whose readiness its OnSignal then consumes.
class TThreadClient {
public:
  using TSignalEvent = std::function<void(TThreadClient& client)>;

  // Called on the manager's thread each time the event fires. Assign it before the event is
  // first set.
  TSignalEvent OnSignal;

  // The client's own event: a descriptor that polls readable while the event is set.
  int EventHandle() const { return event_.Handle(); }
  void SetEvent() { event_.SetEvent(); }
  // Makes the manager wait for `events` on `fd` instead of the own event; -1 returns to the own
  // event. The manager does not reset a descriptor of the client's: OnSignal must consume what
  // made it ready, or it is called again. A descriptor that turns out invalid is reported once
  // through OnSignal and then left out until the next SetWaitHandle.
  void SetWaitHandle(int fd, short events = POLLIN);
  // Hands the client back: the manager frees it on its own thread. Once this returns, OnSignal
  // is not called again (except that a call in progress on this very thread finishes), and the
  // caller must not use the client any more.
  void ReleaseClient();
  TThreadManager& Manager() const { return manager_; }

private:
  friend class TThreadManager;

  explicit TThreadClient(TThreadManager& manager) : manager_(manager) {}

  TThreadManager& manager_;
  TEventFd event_;
  // Guarded by the manager's list lock.
  int waitFd_ = -1;
  short waitEvents_ = POLLIN;
  bool invalid_ = false;
  bool releaseRequested_ = false;
};

// The manager's thread poll()s an eventfd for list changes (entry 0, served first) and the
// clients' descriptors in list order.
class TThreadManager : public TOurThread {
public:
  static constexpr size_t kMaxClients = 16;

  // Starts the thread; the owner names it (SetName) after its purpose.
  TThreadManager();
  ~TThreadManager() override;

  virtual const char* ClassName() const { return "TThreadManager"; }

  // A new client at the end of the list; "%s.NewThreadClient: maximum of clients reached"
  // (class name) when 16 exist. Clients whose release is still pending count.
  TThreadClient* NewThreadClient();
  size_t ClientCount() const;
  void Terminate() override;

protected:
  void Execute() override;

private:
  friend class TThreadClient;

  void FreeReleasedClients();
  void Serve(TThreadClient& client, int fd, short revents);

  // Held while a client's OnSignal runs, so that a release waits for it.
  mutable std::recursive_mutex listLock_;
  std::vector<TThreadClient*> clients_;
  TEventFd listChanged_;
};

}  // namespace tolvek
