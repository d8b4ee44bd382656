#include "comm/rs_driver.h"

#include <chrono>
#include <thread>

#include "comm/comm_port.h"
#include "comm/talk_status.h"
#include "platform/debug_log.h"
#include "platform/error.h"
#include "platform/text_format.h"
#include "platform/user_interface.h"

namespace tolvek {

TRsDriver::TRsDriver(int portIndex, uint32_t baudRate)
    : TPortDriver(1),
      portName_(StrFormat("COM%d", portIndex)),
      delivery_([this](const std::string& frame) {
        Deliver(0, frame.size() > 255 ? frame.substr(0, 255) : frame);
      }) {
  baudRate_ = baudRate;
  receiver_.OnFrame = [this](const std::string& frame) { delivery_.Put(frame); };
  receiver_.OnChecksumError = [this] {
    DebugWarning(StrFormat("%s: frame with a wrong checksum dropped", portName_));
    UserInterface().Beep();
  };
}

TRsDriver::~TRsDriver() { Close(); }

void TRsDriver::Open(TMxScheduler& scheduler, TThreadManager& threadManager) {
  if (IsOpen()) return;
  receiver_.Reset();
  // The queue exists before the port can receive: the receiver puts frames into it.
  delivery_.Open();
  port_ = std::make_unique<TCommPort>();
  port_->SetPortName(portName_);
  port_->SetBaudRate(baudRate_);
  port_->OnReceive = [this](const std::string& buffer, uint8_t& readSize) {
    receiver_.Feed(buffer);
    readSize = static_cast<uint8_t>(receiver_.WantedSize());
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
  // Adapters and drives need a moment after the line comes up before they take a frame.
  std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
  delivery_.Start(scheduler);
}

void TRsDriver::Close() {
  if (port_) port_->ClosePort();
  port_.reset();
  delivery_.Close();
  TPortDriver::Close();
}

uint8_t TRsDriver::SendFrame(uint8_t, const std::string& frame) {
  try {
    if (!port_) return kTalkSendFailed;
    // Header and payload in one write, so nothing can come between them on the line.
    port_->Send(RsFrameHeader(frame) + frame);
    return kTalkSuccess;
  } catch (const std::exception&) {
    return kTalkSendFailed;
  }
}

}  // namespace tolvek
