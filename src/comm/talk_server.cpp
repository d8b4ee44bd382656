#include "comm/talk_server.h"

#include "comm/port_driver.h"
#include "comm/server_actor.h"
#include "comm/talk_hex.h"
#include "kernel/message.h"
#include "platform/debug_log.h"
#include "platform/error.h"
#include "platform/number_text.h"
#include "platform/text_format.h"

namespace tolvek {

TTalkServer::TTalkServer() : scheduler_("TalkScheduler") {
  threadManager_.SetName("TalkServer");
  requestQueue_.LogOn();
  controlQueue_.LogOn();
  if (TDebugLog* log = DebugLog()) log->EnableChannel(1);
  controlTask_ = std::make_unique<TMxTask>(scheduler_);
  controlTask_->OnExecute = [this](TMxTask& task) { ControlSlice(task); };
  controlTask_->Start();
  for (int i = 0; i < kActorCount; ++i) actors_.push_back(std::make_unique<TServerActor>(*this));
}

TTalkServer::~TTalkServer() {
  scheduler_.StopThread();
  devices_.Clear();
  actors_.clear();
  controlTask_.reset();
  std::lock_guard<std::mutex> guard(portsLock_);
  for (auto& port : ports_) port.second->Close();
}

bool TTalkServer::RegisterPort(const std::string& name, std::unique_ptr<TPortDriver> driver) {
  std::lock_guard<std::mutex> guard(portsLock_);
  TPortNameLess less;
  auto at = ports_.begin();
  while (at != ports_.end() && less(at->first, name)) ++at;
  if (at != ports_.end() && !less(name, at->first)) return false;
  ports_.insert(at, {name, std::move(driver)});
  return true;
}

bool TTalkServer::SetPortBaudRate(const std::string& name, uint32_t baudRate) {
  TPortDriver* driver = FindPort(name);
  if (!driver) return false;
  driver->SetBaudRate(baudRate);
  return true;
}

int TTalkServer::PortCount() const {
  std::lock_guard<std::mutex> guard(portsLock_);
  return static_cast<int>(ports_.size());
}

std::string TTalkServer::PortName(int index) const {
  std::lock_guard<std::mutex> guard(portsLock_);
  if (index < 0 || index >= static_cast<int>(ports_.size())) return "";
  return ports_[static_cast<size_t>(index)].first;
}

TPortDriver* TTalkServer::FindPort(const std::string& name) const {
  std::lock_guard<std::mutex> guard(portsLock_);
  TPortNameLess less;
  for (const auto& port : ports_)
    if (!less(port.first, name) && !less(name, port.first)) return port.second.get();
  return nullptr;
}

void TTalkServer::SetAnswerTimeouts(int32_t answerMs, int32_t inProgressMs) {
  answerTimeoutMs_.store(answerMs, std::memory_order_relaxed);
  inProgressTimeoutMs_.store(inProgressMs, std::memory_order_relaxed);
}

int TTalkServer::OpenDevice(const std::string& portSpec, uint16_t clientNode, uint8_t kind,
                            uint8_t clientDomain) {
  if (devices_.FindByName(portSpec))
    throw EError(StrFormat("TalkServer: port %s is occupied", portSpec));
  std::string portName = portSpec;
  int64_t index = 0;
  if (size_t colon = portSpec.find(':'); colon != std::string::npos) {
    portName = portSpec.substr(0, colon);
    index = ParseInt(portSpec.substr(colon + 1));
  }
  TPortDriver* driver = FindPort(portName);
  if (!driver) throw EError(StrFormat("TalkServer: port %s is unknown", portSpec));
  if (index < 0 || index >= driver->SlotCount())
    throw EError(StrFormat("TalkServer: index %d at port '%s' is out of range", index, portName));
  if (!driver->IsOpen()) {
    driver->Open(scheduler_, threadManager_);
    if (!driver->IsOpen()) throw EError(StrFormat("TalkServer: couldn't open port '%s'", portName));
  }
  auto device = std::make_unique<TTalkDevice>(portSpec, devices_.Count(), driver,
                                              static_cast<int>(index), requestQueue_);
  TTalkDevice* opened = device.get();
  int number = devices_.Add(std::move(device));
  opened->SetClient(clientNode, clientDomain, kind);
  opened->SubscribeDebugLog();
  return number;
}

void TTalkServer::CloseDevice(int number) {
  if (!devices_.Remove(number)) throw EError("TalkServer.CloseDevice: device doesn't exist");
}

void TTalkServer::ControlSlice(TMxTask& task) {
  if (TMxMessage* request = controlQueue_.GetMessage()) {
    reader_.SetMessage(request);
    std::string command = reader_.GetCommand();
    if (command.empty()) {
      // Nothing to answer to: a body without a command cannot name one in its answer.
      DebugWarning("TalkServer: control message without a command dropped");
      reader_.ReleaseMessage();
    } else {
      writer_.NewMessage();
      SetReplyTo(*writer_.Message(), *request);
      writer_.PutCommand(command);
      std::string result, detail;
      try {
        if (command == "OpenDevice") {
          std::string portSpec = reader_.GetParameter();
          uint8_t kind = static_cast<uint8_t>(ParseTalkHex(reader_.GetParameter()).value_or(0));
          detail = FormatInt(OpenDevice(portSpec, request->SenderNode, kind, request->SenderDomain));
        } else if (command == "CloseDevice") {
          std::optional<uint32_t> number = ParseTalkHex(reader_.GetParameter());
          CloseDevice(number && *number <= 0x7FFFFFFF ? static_cast<int>(*number) : -1);
        } else {
          throw EError("unknown command");
        }
        result = "OK";
      } catch (const std::exception& e) {
        result = "ERROR";
        detail = e.what();
        if (detail.empty()) detail = "?";
      }
      writer_.PutParameter(result);
      if (!detail.empty()) writer_.PutParameter(detail);
      reader_.ReleaseMessage();
      try {
        controlQueue_.SendMessage(writer_.Message());
      } catch (const std::exception& e) {
        DebugWarning(StrFormat("TalkServer: answer to %s not delivered: %s", command, e.what()));
      }
    }
  }
  task.WaitFor(controlQueue_, kMxInfinite);
}

}  // namespace tolvek
