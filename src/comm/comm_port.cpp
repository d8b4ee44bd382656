#include "comm/comm_port.h"

#include <poll.h>

#include "kernel/thread_manager.h"
#include "platform/debug_log.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TCommPort::TCommPort() = default;

TCommPort::~TCommPort() { ClosePort(); }

void TCommPort::OpenPort(TThreadManager& threadManager) {
  if (IsOpen())
    throw EError(StrFormat("%s.OpenPort: port %s is already open", ClassName(), portName_));
  readSize_ = 1;
  device_.Open(portName_, SerialDevicePath(portName_), baudRate_);
  TThreadClient* client;
  try {
    client = threadManager.NewThreadClient();
  } catch (...) {
    device_.Close();
    throw;
  }
  lineLost_.store(false, std::memory_order_release);
  client->OnSignal = [this](TThreadClient&) { DoReceive(); };
  {
    std::lock_guard<std::mutex> guard(continueLock_);
    client_ = client;
    paused_ = false;
  }
  armed_ = false;
  Arm(true);
}

void TCommPort::ClosePort() {
  if (!IsOpen()) return;
  TThreadClient* client;
  {
    std::lock_guard<std::mutex> guard(continueLock_);
    client = client_;
    client_ = nullptr;
  }
  // Once the release returns no reception runs any more (one in progress on another thread
  // has finished), so the line can be closed under nobody's feet.
  if (client) client->ReleaseClient();
  armed_ = false;
  device_.Close();
}

void TCommPort::Send(const std::string& bytes) {
  if (!device_.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
    throw EError("TRsPort.Send: an error occured!");
}

void TCommPort::SendBuffer(const uint8_t* data, size_t count) {
  if (!device_.Write(data, count)) throw EError("TRsPort.SendBuffer: an error occured!");
}

void TCommPort::SetBreak(bool on) { device_.SetBreak(on); }

void TCommPort::Purge() { device_.Purge(); }

void TCommPort::Pause() {
  std::lock_guard<std::mutex> guard(continueLock_);
  paused_ = true;
}

bool TCommPort::Paused() const {
  std::lock_guard<std::mutex> guard(continueLock_);
  return paused_;
}

void TCommPort::ContinueReceive() {
  std::lock_guard<std::mutex> guard(continueLock_);
  if (!paused_) return;
  paused_ = false;
  // Reception runs on the manager's thread, which waits on the client's own event while
  // paused: setting it makes that thread read what arrived meanwhile and then wait for the
  // line again. (If the pause has not reached the manager yet, it just keeps the line.)
  if (client_ && !LineLost()) client_->SetEvent();
}

void TCommPort::Arm(bool armed) {
  TThreadClient* client;
  {
    std::lock_guard<std::mutex> guard(continueLock_);
    client = client_;
  }
  // A close on another thread clears client_ but waits, in the release, for the reception
  // that runs this; so the client stays valid here.
  if (!client || armed == armed_) return;
  armed_ = armed;
  client->SetWaitHandle(armed ? device_.Handle() : -1, POLLIN);
}

void TCommPort::Receive(const std::string& buffer, uint8_t& readSize) {
  readSize = 1;
  if (OnReceive) OnReceive(buffer, readSize);
}

void TCommPort::DoReceive() {
  {
    std::lock_guard<std::mutex> guard(continueLock_);
    // A wake-up left over from before a pause: the bytes wait for ContinueReceive.
    if (paused_ || LineLost()) return;
  }
  std::string buffer;
  bool lost = false;
  for (;;) {
    int waiting = device_.BytesWaiting();
    if (waiting == 0) {
      // Readable with nothing to read is how a hang-up shows; without this check the manager
      // would be woken again at once, for ever.
      pollfd line{device_.Handle(), POLLIN, 0};
      if (::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL))) lost = true;
      break;
    }
    if (waiting < 0) {
      lost = true;
      break;
    }
    uint8_t chunk[255];
    size_t want = readSize_ < static_cast<size_t>(waiting) ? readSize_ : static_cast<size_t>(waiting);
    TSerialRead read = device_.Read(chunk, want);
    if (read.lost) {
      lost = true;
      break;
    }
    if (read.count == 0) break;
    buffer.assign(reinterpret_cast<const char*>(chunk), read.count);
    uint8_t readSize = 1;
    Receive(buffer, readSize);
    readSize_ = readSize == 0 ? 1 : readSize;
    // The receiver may have closed the port from its callback.
    if (!IsOpen() || Paused()) break;
  }
  if (lost) {
    lineLost_.store(true, std::memory_order_release);
    Arm(false);
    DebugError(StrFormat("port %s: the line %s is gone; reception stopped", portName_,
                         device_.Path()));
    return;
  }
  // Decided under the lock, done outside it: the manager's own lock is held around this call
  // and must never be taken while the pause lock is held.
  Arm(!Paused());
}

}  // namespace tolvek
