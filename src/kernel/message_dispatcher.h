// Message endpoints (nodes) and the process-wide dispatcher that routes a message to its
// receiving node by number, or to a whole domain (a gateway to another process) by domain.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "kernel/message.h"

namespace tolvek {

class TMxMessageDispatcher;

// An endpoint. An ordinary node (domain 0) gets the lowest free node number when it logs on; a
// domain node receives every message addressed to its domain.
class TMxMessageNode {
public:
  using TMsgEvent = std::function<void(TMxMessage* message)>;

  TMxMessageNode() = default;
  // Logs a logged-on node off.
  virtual ~TMxMessageNode();
  TMxMessageNode(const TMxMessageNode&) = delete;
  TMxMessageNode& operator=(const TMxMessageNode&) = delete;

  virtual const char* ClassName() const { return "TMxMessageNode"; }

  // "<class>.LogOn: node is already logged on"; a domain other than 0 makes it a domain node
  // ("RegisterDomain: domain ID conflict" when the domain has one).
  void LogOn(TMxMessageDispatcher& dispatcher, uint8_t domain = 0);
  // "<class>.LogOff: node is not logged on". Once it returns, no delivery to the node is in
  // progress on another thread, so the node may be destroyed.
  void LogOff();
  // Stamps the sender (an ordinary node its number, every node its domain) and dispatches.
  // The message belongs to the dispatcher from here on, also when this raises.
  void SendMessage(TMxMessage* message);

  uint16_t Number() const { return number_; }
  uint8_t Domain() const { return domain_; }
  TMxMessageDispatcher* Dispatcher() const { return dispatcher_; }
  bool LoggedOn() const { return dispatcher_ != nullptr; }

  // Receives the messages delivered to the node, on the sending thread.
  TMsgEvent OnMsgEvent;

private:
  friend class TMxMessageDispatcher;

  uint16_t number_ = 0;
  uint8_t domain_ = 0;
  TMxMessageDispatcher* dispatcher_ = nullptr;
};

// Routes messages to nodes. Registration is locked; routing is not: a message is delivered by
// a direct call on the sender's thread.
class TMxMessageDispatcher {
public:
  TMxMessageDispatcher();
  ~TMxMessageDispatcher();
  TMxMessageDispatcher(const TMxMessageDispatcher&) = delete;
  TMxMessageDispatcher& operator=(const TMxMessageDispatcher&) = delete;

  // Delivers to the receiver's domain node, or to the receiver node in this process. A message
  // that cannot be routed is freed before "Message receiver domain doesn't exist" or "Message
  // receiver node doesn't exist" is raised.
  void Dispatch(TMxMessage* message);
  uint32_t RegisteredCount() const;

private:
  friend class TMxMessageNode;

  // A place a node is registered in. Slots are never freed while the dispatcher lives, so a
  // sender may look at one while its node logs off; `deliveries` counts the calls in progress.
  struct TSlot {
    std::atomic<TMxMessageNode*> node{nullptr};
    std::atomic<uint32_t> deliveries{0};
    bool closing = false;  // its node is logging off; not reused yet (under lock_)
  };
  static constexpr uint32_t kChunkSize = 256;
  static constexpr uint32_t kMaxNodes = 65536;

  void Register(TMxMessageNode& node, uint8_t domain);
  void Unregister(TMxMessageNode& node);
  TSlot& SlotAt(uint32_t number) const;
  void Deliver(TSlot& slot, TMxMessage* message, const char* missing);
  static void AwaitDeliveries(TSlot& slot);

  mutable std::mutex lock_;
  std::atomic<TSlot*> chunks_[kMaxNodes / kChunkSize] = {};
  std::atomic<uint32_t> length_{0};  // slots in use or used before
  uint32_t registered_ = 0;
  TSlot domains_[256];
};

// The process's dispatcher, created on first use; it lives until the program ends.
TMxMessageDispatcher& MxMessageDispatcher();

}  // namespace tolvek
