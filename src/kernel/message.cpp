// Messages and the message pool.
#include "kernel/message.h"

#include "platform/error.h"

namespace tolvek {

TMxMessage* TMxMessage::EndOfList() {
  static TMxMessage* end = new TMxMessage;
  return end;
}

void TMxMessage::SetReceiver(uint16_t node, uint8_t domain, uint8_t kind) {
  ReceiverNode = node;
  ReceiverDomain = domain;
  Kind = kind;
}

void SetReplyTo(TMxMessage& reply, const TMxMessage& request) {
  reply.ReceiverNode = request.SenderNode;
  reply.ReceiverDomain = request.SenderDomain;
  reply.Kind = request.Kind;
}

TMxMessagePool::~TMxMessagePool() {
  while (free_ != TMxMessage::EndOfList() && free_) {
    TMxMessage* next = free_->next_;
    free_->next_ = nullptr;
    delete free_;
    free_ = next;
  }
}

TMxMessage* TMxMessagePool::GetMessage() {
  {
    std::lock_guard lock(lock_);
    if (free_ && free_ != TMxMessage::EndOfList()) {
      TMxMessage* message = free_;
      free_ = message->next_;
      --freeCount_;
      message->next_ = nullptr;
      return message;
    }
    ++created_;
  }
  return new TMxMessage;
}

void TMxMessagePool::PutMessage(TMxMessage* message) {
  if (!message) return;
  std::lock_guard lock(lock_);
  if (message->InUse()) throw EError("TMxMessagePool.PutMessage: Message is in use");
  message->Clear();
  message->SenderNode = message->ReceiverNode = 0;
  message->SenderDomain = message->ReceiverDomain = message->Kind = 0;
  message->next_ = free_ ? free_ : TMxMessage::EndOfList();
  free_ = message;
  ++freeCount_;
}

uint32_t TMxMessagePool::CreatedCount() const {
  std::lock_guard lock(lock_);
  return created_;
}

uint32_t TMxMessagePool::FreeCount() const {
  std::lock_guard lock(lock_);
  return freeCount_;
}

TMxMessagePool& MxMessagePool() {
  // Never destroyed, like the segment pool: messages may still come back during exit.
  static TMxMessagePool* pool = new TMxMessagePool;
  return *pool;
}

TMxMessage* NewMessage() { return MxMessagePool().GetMessage(); }

void FreeMessage(TMxMessage* message) { MxMessagePool().PutMessage(message); }

}  // namespace tolvek
