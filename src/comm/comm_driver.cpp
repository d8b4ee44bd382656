#include "comm/comm_driver.h"

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TCommDriver::TCommDriver(TThreadManager* threadManager)
    : port_(std::make_unique<TCommPort>()), threadManager_(threadManager) {
  if (!threadManager_) throw EError("Internal Error: ThreadManager not assigned");
  port_->OnReceive = [this](const std::string& buffer, uint8_t& readSize) {
    HandleReceive(buffer, readSize);
  };
}

TCommDriver::~TCommDriver() { port_->ClosePort(); }

void TCommDriver::SetPortName(const std::string& name) {
  if (IsOpen()) throw EError(StrFormat("%s: configuration not allowed when port is open", ClassName()));
  port_->SetPortName(name);
}

void TCommDriver::SetBaudRate(uint32_t baudRate) {
  if (IsOpen()) throw EError(StrFormat("%s: configuration not allowed when port is open", ClassName()));
  port_->SetBaudRate(baudRate);
}

void TCommDriver::OpenPort() {
  {
    std::lock_guard<std::mutex> guard(requestLock_);
    done_ = true;
    hasPending_ = false;
  }
  port_->OpenPort(*threadManager_);
}

void TCommDriver::ClosePort() { port_->ClosePort(); }

void TCommDriver::ReceiveUntil(uint8_t* destination, uint8_t stopChar, uint32_t maxCount) {
  {
    // A byte that waited for this request is not the answer to it: the caller expects only
    // what follows.
    std::lock_guard<std::mutex> guard(requestLock_);
    hasPending_ = false;
  }
  StartReceive(destination, maxCount, scChar, nullptr, stopChar);
}

void TCommDriver::ReceiveUntilSet(uint8_t* destination, const TStopSet& stopSet, uint32_t maxCount) {
  StartReceive(destination, maxCount, scCharSet, &stopSet, 0);
}

void TCommDriver::ReceiveCount(uint8_t* destination, uint32_t count) {
  StartReceive(destination, count, scCount, nullptr, 0);
}

void TCommDriver::ReceiveNone() { StartReceive(nullptr, 0, scNone, nullptr, 0); }

uint8_t TCommDriver::StopReason() const {
  std::lock_guard<std::mutex> guard(requestLock_);
  return stopReason_;
}

uint32_t TCommDriver::ReceivedCount() const {
  std::lock_guard<std::mutex> guard(requestLock_);
  return count_;
}

bool TCommDriver::Done() const {
  std::lock_guard<std::mutex> guard(requestLock_);
  return done_;
}

void TCommDriver::StartReceive(uint8_t* destination, uint32_t maxCount, TStopCondition mode,
                               const TStopSet* stopSet, uint8_t stopChar) {
  bool completed = false;
  bool running;
  {
    std::lock_guard<std::mutex> guard(requestLock_);
    mode_ = mode;
    destination_ = destination;
    count_ = 0;
    maxCount_ = maxCount;
    stopChar_ = stopChar;
    stopSet_ = stopSet ? *stopSet : TStopSet();
    storing_ = destination != nullptr;
    done_ = false;
    if (storing_ && maxCount == 0) {
      done_ = true;
      stopReason_ = 0;
      storing_ = false;
      mode_ = scNone;
      completed = true;
    } else if (hasPending_) {
      completed = ProcessPendingLocked();
    }
    running = !done_;
  }
  if (completed) Complete();
  if (running) port_->ContinueReceive();
}

void TCommDriver::HandleReceive(const std::string& buffer, uint8_t& readSize) {
  readSize = 1;
  bool completed = false;
  {
    std::lock_guard<std::mutex> guard(requestLock_);
    pending_ = static_cast<uint8_t>(buffer[0]);
    hasPending_ = true;
    if (!done_) completed = ProcessPendingLocked();
  }
  // The completion may start the next request; only if it did not does reception pause.
  if (completed) Complete();
  std::lock_guard<std::mutex> guard(requestLock_);
  if (done_) port_->Pause();
}

bool TCommDriver::ProcessPendingLocked() {
  uint8_t byte = pending_;
  hasPending_ = false;
  bool stop = false;
  uint8_t reason = 0;
  switch (mode_) {
    case scChar:
      stop = byte == stopChar_;
      reason = byte;
      break;
    case scCharSet:
      stop = stopSet_.test(byte);
      reason = byte;
      break;
    case scNone:
    case scCount:
      break;
    default:
      throw EError("Internal Error: undefined stop condition");
  }
  if (!stop) reason = 0;
  if (storing_ && !stop) {
    destination_[count_++] = byte;
    if (count_ >= maxCount_) stop = true;
  }
  if (!stop) return false;
  done_ = true;
  if (mode_ == scNone) return false;
  stopReason_ = reason;
  storing_ = false;
  mode_ = scNone;
  return true;
}

void TCommDriver::Complete() {
  if (OnComplete) OnComplete(*this);
}

}  // namespace tolvek
