#include "comm/rs_driver.h"

#include <chrono>
#include <thread>

#include "comm/comm_port.h"
#include "comm/talk_status.h"
#include "kernel/message.h"
#include "kernel/queue.h"
#include "kernel/task.h"
#include "platform/debug_log.h"
#include "platform/error.h"
#include "platform/text_format.h"
#include "platform/user_interface.h"

namespace tolvek {

TRsDriver::TRsDriver(int portIndex, uint32_t baudRate)
    : TPortDriver(1), portName_(StrFormat("COM%d", portIndex)) {
  baudRate_ = baudRate;
  receiver_.OnFrame = [this](const std::string& frame) {
    TMxMessage* message = NewMessage();
    message->SetString(frame);
    frameQueue_->PutMessage(message);
  };
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
  frameQueue_ = std::make_unique<TMxQueue>();
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
    frameQueue_.reset();
    throw EError(e.what());
  }
  TPortDriver::Open(scheduler, threadManager);
  if (!IsOpen()) return;
  // Adapters and drives need a moment after the line comes up before they take a frame.
  std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
  task_ = std::make_unique<TMxTask>(scheduler);
  task_->SetPriority(3);
  task_->OnExecute = [this](TMxTask&) { DeliverFrames(); };
  task_->Start();
}

void TRsDriver::Close() {
  if (port_) port_->ClosePort();
  port_.reset();
  // The task may wait on the queue: it goes first, then what is still queued.
  task_.reset();
  if (frameQueue_) {
    while (TMxMessage* message = frameQueue_->GetMessage()) FreeMessage(message);
    frameQueue_.reset();
  }
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

void TRsDriver::DeliverFrames() {
  if (TMxMessage* message = frameQueue_->GetMessage()) {
    std::string frame = message->AsString();
    FreeMessage(message);
    if (frame.size() > 255) frame.resize(255);
    Deliver(0, frame);
  }
  task_->WaitFor(*frameQueue_, kMxInfinite);
}

}  // namespace tolvek
