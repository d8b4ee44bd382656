// Node registration and message routing.
#include "kernel/message_dispatcher.h"

#include <string>

#include "platform/error.h"

namespace tolvek {

namespace {

// The slots this thread is delivering to, innermost last: a node that logs off from inside its
// own delivery must not wait for that delivery.
constexpr int kTrackedDepth = 32;
thread_local const void* tDelivering[kTrackedDepth];
thread_local int tDeliveringDepth = 0;

class TDeliveryScope {
public:
  explicit TDeliveryScope(const void* slot) {
    if (tDeliveringDepth < kTrackedDepth) tDelivering[tDeliveringDepth] = slot;
    ++tDeliveringDepth;
  }
  ~TDeliveryScope() { --tDeliveringDepth; }
};

uint32_t OwnDeliveries(const void* slot) {
  uint32_t count = 0;
  for (int i = 0; i < tDeliveringDepth && i < kTrackedDepth; ++i) count += tDelivering[i] == slot;
  return count;
}

}  // namespace

TMxMessageNode::~TMxMessageNode() {
  if (dispatcher_) dispatcher_->Unregister(*this);
}

void TMxMessageNode::LogOn(TMxMessageDispatcher& dispatcher, uint8_t domain) {
  if (dispatcher_) throw EError(std::string(ClassName()) + ".LogOn: node is already logged on");
  dispatcher.Register(*this, domain);
}

void TMxMessageNode::LogOff() {
  if (!dispatcher_) throw EError(std::string(ClassName()) + ".LogOff: node is not logged on");
  dispatcher_->Unregister(*this);
}

void TMxMessageNode::SendMessage(TMxMessage* message) {
  if (!dispatcher_) {
    FreeMessage(message);
    throw EError(std::string(ClassName()) + ".SendMessage: node is not logged on");
  }
  if (domain_ == 0) message->SenderNode = number_;
  message->SenderDomain = domain_;
  dispatcher_->Dispatch(message);
}

TMxMessageDispatcher::TMxMessageDispatcher() = default;

TMxMessageDispatcher::~TMxMessageDispatcher() {
  for (auto& chunk : chunks_) delete[] chunk.load();
}

uint32_t TMxMessageDispatcher::RegisteredCount() const {
  std::lock_guard lock(lock_);
  return registered_;
}

TMxMessageDispatcher::TSlot& TMxMessageDispatcher::SlotAt(uint32_t number) const {
  return chunks_[number / kChunkSize].load(std::memory_order_acquire)[number % kChunkSize];
}

void TMxMessageDispatcher::Register(TMxMessageNode& node, uint8_t domain) {
  std::lock_guard lock(lock_);
  if (domain != 0) {
    TSlot& slot = domains_[domain];
    if (slot.node.load() || slot.closing) throw EError("RegisterDomain: domain ID conflict");
    node.number_ = 0;
    node.domain_ = domain;
    node.dispatcher_ = this;
    slot.node.store(&node);
    return;
  }
  const uint32_t length = length_.load(std::memory_order_relaxed);
  uint32_t number = length;
  if (registered_ < length) {
    for (uint32_t i = 0; i < length; ++i) {
      TSlot& slot = SlotAt(i);
      if (!slot.node.load() && !slot.closing) {
        number = i;
        break;
      }
    }
  }
  if (number == length) {
    if (length == kMaxNodes) throw EError("MessageDispatcher: no free node number");
    if (length % kChunkSize == 0) chunks_[length / kChunkSize].store(new TSlot[kChunkSize], std::memory_order_release);
    length_.store(length + 1, std::memory_order_release);
  }
  ++registered_;
  node.number_ = static_cast<uint16_t>(number);
  node.domain_ = 0;
  node.dispatcher_ = this;
  SlotAt(number).node.store(&node);
}

void TMxMessageDispatcher::Unregister(TMxMessageNode& node) {
  TSlot* slot;
  {
    std::lock_guard lock(lock_);
    if (node.domain_ != 0) {
      slot = &domains_[node.domain_];
      if (slot->node.load() != &node) throw EError("UnregisterDomain: domain not registered");
    } else {
      slot = node.number_ < length_.load(std::memory_order_relaxed) ? &SlotAt(node.number_) : nullptr;
      if (!slot || slot->node.load() != &node) throw EError("MessageDispatcher: node log off failed");
      --registered_;
    }
    slot->node.store(nullptr);
    slot->closing = true;
  }
  AwaitDeliveries(*slot);
  std::lock_guard lock(lock_);
  slot->closing = false;
  node.number_ = 0;
  node.dispatcher_ = nullptr;
}

void TMxMessageDispatcher::AwaitDeliveries(TSlot& slot) {
  // A sender counts itself in before it reads the slot's node; the node is cleared already, so
  // every delivery still counted may be using it and is waited for.
  const uint32_t own = OwnDeliveries(&slot);
  for (uint32_t now = slot.deliveries.load(); now > own; now = slot.deliveries.load())
    slot.deliveries.wait(now);
}

void TMxMessageDispatcher::Dispatch(TMxMessage* message) {
  if (message->ReceiverDomain != 0) {
    Deliver(domains_[message->ReceiverDomain], message, "Message receiver domain doesn't exist");
    return;
  }
  if (message->ReceiverNode >= length_.load(std::memory_order_acquire)) {
    FreeMessage(message);
    throw EError("Message receiver node doesn't exist");
  }
  Deliver(SlotAt(message->ReceiverNode), message, "Message receiver node doesn't exist");
}

void TMxMessageDispatcher::Deliver(TSlot& slot, TMxMessage* message, const char* missing) {
  slot.deliveries.fetch_add(1);
  struct TCountOut {
    TSlot& slot;
    ~TCountOut() {
      slot.deliveries.fetch_sub(1);
      slot.deliveries.notify_all();
    }
  } countOut{slot};
  TMxMessageNode* node = slot.node.load();
  if (!node) {
    FreeMessage(message);
    throw EError(missing);
  }
  if (!node->OnMsgEvent) {
    FreeMessage(message);
    throw EError("TMxMessageNode: OnMsgEvent not assigned");
  }
  message->ReceiverDomain = 0;
  TDeliveryScope scope(&slot);
  node->OnMsgEvent(message);
}

TMxMessageDispatcher& MxMessageDispatcher() {
  static TMxMessageDispatcher* dispatcher = new TMxMessageDispatcher;
  return *dispatcher;
}

}  // namespace tolvek
