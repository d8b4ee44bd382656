#include "comm/talk_device.h"

#include "comm/port_driver.h"
#include "comm/talk_status.h"
#include "kernel/message.h"
#include "kernel/queue.h"
#include "kernel/task.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TDeviceDriver::TDeviceDriver(TPortDriver* portDriver, int slot, TMxQueue& requestQueue)
    : portDriver_(portDriver), slot_(slot), requestQueue_(requestQueue) {
  if (portDriver_ &&
      portDriver_->Attach(slot_, [this](const std::string& frame) { ReceivedFrame(frame); }, this) !=
          kTalkSuccess)
    portDriver_ = nullptr;
}

TDeviceDriver::~TDeviceDriver() {
  if (subscribed_)
    if (TDebugLog* log = DebugLog()) log->Unsubscribe(this);
  if (portDriver_) {
    portDriver_->Attach(slot_, nullptr, nullptr);
    portDriver_->Close();
  }
}

void TDeviceDriver::SetClient(uint16_t node, uint8_t domain, uint8_t kind) {
  client_ = true;
  clientNode_ = node;
  clientDomain_ = domain;
  clientKind_ = kind;
}

void TDeviceDriver::SubscribeDebugLog() {
  TDebugLog* log = DebugLog();
  if (!log) return;
  subscribed_ = true;
  log->Subscribe(1, [this](const TDebugWriter& writer) { SetLogWriter(writer); }, this);
}

void TDeviceDriver::SetLogWriter(TDebugWriter writer) {
  std::lock_guard<std::mutex> guard(logLock_);
  logWriter_ = std::move(writer);
}

void TDeviceDriver::Log(uint16_t code, const std::string& text) {
  TDebugWriter writer;
  {
    std::lock_guard<std::mutex> guard(logLock_);
    writer = logWriter_;
  }
  if (writer) writer(code, text);
}

void TDeviceDriver::AcquireDevice(TMxTask& task) { task.WaitFor(lock_, kMxInfinite); }

uint8_t TDeviceDriver::ReleaseDevice(TMxTask& task) {
  if (!lock_.IsOwner(task)) return kTalkNotLockOwner;
  lock_.Release(task);
  return kTalkSuccess;
}

void TDeviceDriver::AssignCurrentService(uint8_t service, TMxQueue& queue) {
  if (currentService_ >= 0)
    throw EError(StrFormat("%s.AssignCurrentService: current service is already assigned", ClassName()));
  currentService_ = service;
  serviceQueue_ = &queue;
}

void TDeviceDriver::ReleaseCurrentService(TMxQueue& queue) {
  if (serviceQueue_ != &queue)
    throw EError(StrFormat("%s.ReleaseCurrentService: wrong current service queue", ClassName()));
  currentService_ = -1;
  serviceQueue_ = nullptr;
}

uint8_t TDeviceDriver::SendFilter(std::string&, size_t, bool&) { return kTalkSuccess; }

void TDeviceDriver::ReceiveFilter(std::string&, size_t, bool&) {}

uint8_t TDeviceDriver::SendDeviceFrame(TMxTask& task, const std::string& frame) {
  if (!portDriver_) return kTalkNoPortDriver;
  if (!lock_.IsOwner(task)) return kTalkNotLockOwner;
  std::string sending = frame;
  bool drop = false;
  uint8_t status = SendFilter(sending, 255, drop);
  if (drop) return status;
  // Status requests are left out of the log: a polling client sends them all the time.
  if (!sending.empty() && !(sending.size() >= 2 && static_cast<uint8_t>(sending[1]) == 0x03))
    Log(static_cast<uint16_t>(0x100 + static_cast<uint8_t>(sending[0])), "Tx: " + DebugHexDump(sending));
  return portDriver_->Transmit(slot_, sending);
}

void TDeviceDriver::ReceivedFrame(const std::string& frame) {
  uint16_t code = static_cast<uint16_t>(0x200 + (frame.empty() ? 0 : static_cast<uint8_t>(frame[0])));
  Log(code, "Rx: " + DebugHexDump(frame));
  std::string received = frame;
  bool drop = false;
  ReceiveFilter(received, 255, drop);
  if (drop || received.empty()) return;
  if (currentService_ == static_cast<uint8_t>(received[0]) && serviceQueue_) {
    TMxMessage* message = NewMessage();
    message->SetString(received);
    serviceQueue_->PutMessage(message);
    return;
  }
  if (!client_) return;
  TMxMessage* message = NewMessage();
  message->SetString(received);
  message->SetReceiver(clientNode_, clientDomain_, clientKind_);
  try {
    requestQueue_.SendMessage(message);
  } catch (const std::exception& e) {
    // The client is gone (its node logged off): the frame has nowhere to go. The message was
    // freed by the dispatcher; the delivery task must not die over it.
    DebugWarning(StrFormat("%s: unsolicited frame dropped: %s", ClassName(), e.what()));
  }
}

int TTalkDeviceList::Add(std::unique_ptr<TTalkDevice> device) {
  devices_.push_back(std::move(device));
  return static_cast<int>(devices_.size()) - 1;
}

TTalkDevice* TTalkDeviceList::Get(int number) const {
  if (number < 0 || number >= Count()) return nullptr;
  return devices_[static_cast<size_t>(number)].get();
}

TTalkDevice* TTalkDeviceList::FindByName(const std::string& name) const {
  for (const auto& device : devices_)
    if (device && device->Name() == name) return device.get();
  return nullptr;
}

bool TTalkDeviceList::Remove(int number) {
  if (!Get(number)) return false;
  // Out of the list first: the destruction closes the port, which must find no device there.
  std::unique_ptr<TTalkDevice> device = std::move(devices_[static_cast<size_t>(number)]);
  device.reset();
  return true;
}

void TTalkDeviceList::Clear() {
  for (int number = 0; number < Count(); ++number) Remove(number);
}

}  // namespace tolvek
