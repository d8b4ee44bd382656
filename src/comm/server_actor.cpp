#include "comm/server_actor.h"

#include "comm/talk_hex.h"
#include "comm/talk_server.h"
#include "comm/talk_status.h"
#include "kernel/message.h"
#include "platform/debug_log.h"
#include "platform/text_format.h"

namespace tolvek {

TServerActor::TServerActor(TTalkServer& server) : server_(server) {
  task_ = std::make_unique<TMxTask>(server.Scheduler());
  task_->OnExecute = [this](TMxTask& task) { Slice(task); };
  task_->Start();
}

TServerActor::~TServerActor() {
  task_.reset();
  while (TMxMessage* message = answerQueue_.GetMessage()) FreeMessage(message);
  if (reader_.Message()) reader_.ReleaseMessage();
  if (writer_.Message()) FreeMessage(writer_.Message());
}

void TServerActor::Slice(TMxTask& task) {
  switch (state_) {
    case saIdle: {
      TMxQueue& requests = server_.RequestQueue();
      TMxMessage* request = requests.GetMessage();
      if (!request) {
        task.WaitFor(requests, kMxInfinite);
        return;
      }
      reader_.SetMessage(request);
      writer_.NewMessage();
      SetReplyTo(*writer_.Message(), *request);
      state_ = saNext;
      return;
    }
    case saAnswer: {
      reader_.ReleaseMessage();
      TMxMessage* answer = writer_.Message();
      writer_.SetMessage(nullptr);
      try {
        server_.RequestQueue().SendMessage(answer);
      } catch (const std::exception& e) {
        // The client went away while its batch ran; the dispatcher freed the answer.
        DebugWarning(StrFormat("TalkServer: answer batch not delivered: %s", e.what()));
      }
      state_ = saIdle;
      return;
    }
    case saNext:
      ReadRequest(task);
      return;
    case saSend:
      SendFrame(task);
      return;
    case saWait:
      TakeAnswer(task);
      return;
    case saComplete:
      CompleteRequest();
      return;
  }
}

void TServerActor::ReadRequest(TMxTask& task) {
  requestId_ = reader_.GetCommand();
  if (ParseTalkHex(requestId_).value_or(0) == 0) {
    state_ = saAnswer;
    return;
  }
  std::optional<uint32_t> number = ParseTalkHex(reader_.GetParameter());
  uint32_t length = ParseTalkHex(reader_.GetParameter()).value_or(0);
  frame_.clear();
  for (uint32_t i = 0; i < length && i < 255; ++i) {
    std::string byte = reader_.GetParameter();
    if (byte.empty()) break;  // fewer bytes than announced: the frame is what came
    frame_ += static_cast<char>(ParseTalkHex(byte).value_or(0) & 0xFF);
  }
  response_.clear();
  serviceAssigned_ = false;
  if (heldDevice_) {
    status_ = kTalkActorState;
    state_ = saComplete;
    return;
  }
  TTalkDevice* device =
      number && *number <= 0x7FFFFFFF ? server_.Devices().Get(static_cast<int>(*number)) : nullptr;
  if (!device) {
    status_ = kTalkUnknownDevice;
    state_ = saComplete;
    return;
  }
  heldDevice_ = device;
  heldNumber_ = device->Number();
  state_ = saSend;
  device->AcquireDevice(task);
}

TTalkDevice* TServerActor::HeldDevice() const {
  // Numbers are never reused, so the entry either still holds the device or is empty.
  if (!heldDevice_ || server_.Devices().Get(heldNumber_) != heldDevice_) return nullptr;
  return heldDevice_;
}

void TServerActor::SendFrame(TMxTask& task) {
  TTalkDevice* device = HeldDevice();
  if (!device) {
    // Closed while this actor waited for its lock.
    status_ = heldDevice_ ? kTalkUnknownDevice : kTalkActorState;
    state_ = saComplete;
    return;
  }
  // An answer that came after an earlier request of this actor timed out must not pass for
  // the answer to this one.
  while (TMxMessage* stale = answerQueue_.GetMessage()) FreeMessage(stale);
  if (!frame_.empty()) {
    try {
      device->AssignCurrentService(static_cast<uint8_t>(frame_[0]), answerQueue_);
      serviceAssigned_ = true;
    } catch (const std::exception&) {
      status_ = kTalkActorState;
      state_ = saComplete;
      return;
    }
  }
  status_ = device->SendDeviceFrame(task, frame_);
  if (status_ != kTalkSuccess) {
    state_ = saComplete;
    return;
  }
  state_ = saWait;
  task.WaitFor(answerQueue_, server_.AnswerTimeout());
}

void TServerActor::TakeAnswer(TMxTask& task) {
  TMxMessage* answer = answerQueue_.GetMessage();
  if (!answer) {
    status_ = kTalkTimeout;
    state_ = saComplete;
    return;
  }
  response_ = answer->AsString();
  FreeMessage(answer);
  // A frame too short to carry a status byte is no valid answer.
  status_ = response_.size() >= 2 ? static_cast<uint8_t>(response_[1]) : kTalkDeviceFailure;
  if (status_ == kTalkInProgress) {
    task.WaitFor(answerQueue_, server_.InProgressTimeout());
    return;
  }
  state_ = saComplete;
}

void TServerActor::CompleteRequest() {
  writer_.PutCommand(requestId_);
  writer_.PutParameter(TalkHex(status_));
  if (status_ == kTalkSuccess) {
    writer_.PutParameter(TalkHex(static_cast<uint32_t>(response_.size())));
    for (char byte : response_) writer_.PutParameter(TalkHex(static_cast<uint8_t>(byte)));
  }
  if (TTalkDevice* device = HeldDevice()) {
    if (serviceAssigned_) device->ReleaseCurrentService(answerQueue_);
    device->ReleaseDevice(*task_);
  }
  serviceAssigned_ = false;
  heldDevice_ = nullptr;
  heldNumber_ = -1;
  state_ = saNext;
}

}  // namespace tolvek
