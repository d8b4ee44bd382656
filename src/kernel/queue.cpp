// Message queues.
#include "kernel/queue.h"

#include "platform/error.h"

namespace tolvek {

TMxQueue::~TMxQueue() {
  // Logged off first, so no sender is still appending while the messages are freed.
  node_.reset();
  while (TMxMessage* message = GetMessage()) FreeMessage(message);
}

TMxMessageNode* TMxQueue::LogOn(uint8_t domain) {
  if (node_) throw EError("TMxQueue.LogOn: Queue is already logged on");
  auto node = std::make_unique<TMxMessageNode>();
  // Assigned before the node can be reached.
  node->OnMsgEvent = [this](TMxMessage* message) { PutMessage(message); };
  node->LogOn(MxMessageDispatcher(), domain);
  node_ = std::move(node);
  return node_.get();
}

void TMxQueue::LogOff() {
  if (!node_) throw EError("TMxQueue.LogOff: Queue is not logged on");
  node_.reset();
}

void TMxQueue::SendMessage(TMxMessage* message) {
  if (!node_) {
    FreeMessage(message);
    throw EError("TMxQueue.SendMessage: Queue is not logged on");
  }
  node_->SendMessage(message);
}

void TMxQueue::PutMessage(TMxMessage* message) {
  std::lock_guard lock(queueLock_);
  if (message->next_) throw EError("PutMessage Error");
  message->next_ = TMxMessage::EndOfList();
  if (last_)
    last_->next_ = message;
  else
    first_ = message;
  last_ = message;
  count_.fetch_add(1, std::memory_order_release);
  std::lock_guard controlLock(lock_);
  if (TMxTask* waiting = FirstWaiting()) Release(*waiting, wrOk);
}

TMxMessage* TMxQueue::GetMessage() {
  std::lock_guard lock(queueLock_);
  TMxMessage* message = first_;
  if (!message) return nullptr;
  first_ = message->next_ == TMxMessage::EndOfList() ? nullptr : message->next_;
  if (!first_) last_ = nullptr;
  message->next_ = nullptr;
  count_.fetch_sub(1, std::memory_order_release);
  return message;
}

void TMxQueue::Wait(TMxTask& task, int32_t timeout) {
  std::lock_guard lock(queueLock_);
  if (first_)
    CompleteAtOnce(task, wrOk);
  else if (timeout < 0)
    CompleteAtOnce(task, wrUnavailable);
  else
    Enqueue(task, timeout);
}

}  // namespace tolvek
