// The TP1 port driver: its port, its delivery task and the lock around the translator.
#include "comm/tp1_driver.h"

#include "comm/comm_port.h"
#include "platform/debug_log.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TTp1Driver::TTp1Driver(int portIndex, uint32_t baudRate)
    : TPortDriver(1),
      portName_(StrFormat("COM%d", portIndex)),
      delivery_([this](const std::string& frame) { Deliver(0, frame); }) {
  baudRate_ = baudRate;
  translator_.OnSend = [this](const std::string& bytes) {
    if (!port_) throw EError("TRsPort.Send: an error occured!");
    port_->Send(bytes);
  };
  translator_.OnResponse = [this](const std::string& frame) { delivery_.Put(frame); };
  translator_.OnWarning = [](const std::string& text) { DebugWarning(text); };
}

TTp1Driver::~TTp1Driver() { Close(); }

void TTp1Driver::Open(TMxScheduler& scheduler, TThreadManager& threadManager) {
  if (IsOpen()) return;
  {
    std::lock_guard<std::mutex> guard(lock_);
    translator_.Reset();
  }
  // The queue exists before the port can receive: responses go into it.
  delivery_.Open();
  port_ = std::make_unique<TCommPort>();
  port_->SetPortName(portName_);
  port_->SetBaudRate(baudRate_);
  port_->OnReceive = [this](const std::string& buffer, uint8_t& readSize) {
    std::lock_guard<std::mutex> guard(lock_);
    translator_.Feed(buffer);
    // The translator takes bytes in any grouping; reading what is there saves calls.
    readSize = 255;
  };
  try {
    port_->OpenPort(threadManager);
  } catch (const std::exception& e) {
    port_.reset();
    delivery_.Close();
    throw EError(e.what());
  }
  TPortDriver::Open(scheduler, threadManager);
  if (!IsOpen()) return;
  delivery_.Start(scheduler);
}

void TTp1Driver::Close() {
  // Not under the lock: closing waits for a reception in progress, which takes the lock.
  if (port_) port_->ClosePort();
  {
    std::lock_guard<std::mutex> guard(lock_);
    port_.reset();
    translator_.Reset();
  }
  delivery_.Close();
  TPortDriver::Close();
}

uint8_t TTp1Driver::SendFrame(uint8_t, const std::string& frame) {
  std::lock_guard<std::mutex> guard(lock_);
  translator_.Request(frame);
  return 0;
}

}  // namespace tolvek
