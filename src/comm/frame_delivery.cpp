#include "comm/frame_delivery.h"

#include "kernel/message.h"
#include "kernel/queue.h"
#include "kernel/task.h"

namespace tolvek {

TFrameDelivery::TFrameDelivery(std::function<void(const std::string&)> deliver)
    : deliver_(std::move(deliver)) {}

TFrameDelivery::~TFrameDelivery() { Close(); }

void TFrameDelivery::Open() { queue_ = std::make_unique<TMxQueue>(); }

void TFrameDelivery::Put(const std::string& frame) {
  TMxMessage* message = NewMessage();
  message->SetString(frame);
  queue_->PutMessage(message);
}

void TFrameDelivery::Start(TMxScheduler& scheduler) {
  task_ = std::make_unique<TMxTask>(scheduler);
  task_->SetPriority(3);
  task_->OnExecute = [this](TMxTask&) { DeliverNext(); };
  task_->Start();
}

void TFrameDelivery::Close() {
  task_.reset();
  if (queue_) {
    while (TMxMessage* message = queue_->GetMessage()) FreeMessage(message);
    queue_.reset();
  }
}

void TFrameDelivery::DeliverNext() {
  if (TMxMessage* message = queue_->GetMessage()) {
    std::string frame = message->AsString();
    FreeMessage(message);
    deliver_(frame);
  }
  task_->WaitFor(*queue_, kMxInfinite);
}

}  // namespace tolvek
