// The TP1 port driver: its port, its delivery task and the lock around the translator.
#include "comm/tp1_driver.h"

#include "comm/comm_port.h"
#include "kernel/message.h"
#include "kernel/queue.h"
#include "kernel/task.h"
#include "platform/debug_log.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TTp1Driver::TTp1Driver(int portIndex, uint32_t baudRate)
    : TPortDriver(1), portName_(StrFormat("COM%d", portIndex)) {
  baudRate_ = baudRate;
  translator_.OnSend = [this](const std::string& bytes) {
    if (!port_) throw EError("TRsPort.Send: an error occured!");
    port_->Send(bytes);
  };
  translator_.OnResponse = [this](const std::string& frame) {
    TMxMessage* message = NewMessage();
    message->SetString(frame);
    frameQueue_->PutMessage(message);
  };
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
  frameQueue_ = std::make_unique<TMxQueue>();
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
    frameQueue_.reset();
    throw EError(e.what());
  }
  TPortDriver::Open(scheduler, threadManager);
  if (!IsOpen()) return;
  task_ = std::make_unique<TMxTask>(scheduler);
  task_->SetPriority(3);
  task_->OnExecute = [this](TMxTask&) { DeliverFrames(); };
  task_->Start();
}

void TTp1Driver::Close() {
  // Not under the lock: closing waits for a reception in progress, which takes the lock.
  if (port_) port_->ClosePort();
  {
    std::lock_guard<std::mutex> guard(lock_);
    port_.reset();
    translator_.Reset();
  }
  // The task may wait on the queue: it goes first, then what is still queued.
  task_.reset();
  if (frameQueue_) {
    while (TMxMessage* message = frameQueue_->GetMessage()) FreeMessage(message);
    frameQueue_.reset();
  }
  TPortDriver::Close();
}

uint8_t TTp1Driver::SendFrame(uint8_t, const std::string& frame) {
  std::lock_guard<std::mutex> guard(lock_);
  translator_.Request(frame);
  return 0;
}

void TTp1Driver::DeliverFrames() {
  if (TMxMessage* message = frameQueue_->GetMessage()) {
    std::string frame = message->AsString();
    FreeMessage(message);
    Deliver(0, frame);
  }
  task_->WaitFor(*frameQueue_, kMxInfinite);
}

}  // namespace tolvek
