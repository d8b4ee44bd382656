// Messages: addressed, pooled byte bodies that tasks and threads exchange through the
// dispatcher and queues.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "kernel/buffer.h"

namespace tolvek {

// A message from a sender (node, domain) to a receiver (node, domain; domain 0 is this
// process). A message belongs to one party at a time; its link is set exactly while it lies in
// the pool or in a queue, which is how a message still in use is recognised.
class TMxMessage {
public:
  TMxMessage() = default;
  TMxMessage(const TMxMessage&) = delete;
  TMxMessage& operator=(const TMxMessage&) = delete;

  uint16_t SenderNode = 0;
  uint8_t SenderDomain = 0;
  uint16_t ReceiverNode = 0;
  uint8_t ReceiverDomain = 0;
  // Carried unchanged from a request to its reply.
  uint8_t Kind = 0;

  void SetReceiver(uint16_t node, uint8_t domain, uint8_t kind);

  TMxBuffer& Body() { return body_; }
  const TMxBuffer& Body() const { return body_; }
  uint32_t Size() const { return body_.Size(); }
  void Clear() { body_.Clear(); }
  void AppendByte(uint8_t byte) { body_.AppendByte(byte); }
  // The body, one character per byte.
  std::string AsString() const { return body_.AsString(); }
  void SetString(std::string_view text) { body_.Assign(text); }

  bool InUse() const { return next_ != nullptr; }

private:
  friend class TMxMessagePool;
  friend class TMxQueue;

  // Ends every list, so the last message of a list has its link set too.
  static TMxMessage* EndOfList();

  TMxMessage* next_ = nullptr;
  TMxBuffer body_;
};

// Addresses `reply` to the sender of `request` with the request's Kind.
void SetReplyTo(TMxMessage& reply, const TMxMessage& request);

// Recycles messages: created on demand, given back with their body cleared, freed only when
// the pool is destroyed.
class TMxMessagePool {
public:
  TMxMessagePool() = default;
  ~TMxMessagePool();
  TMxMessagePool(const TMxMessagePool&) = delete;
  TMxMessagePool& operator=(const TMxMessagePool&) = delete;

  TMxMessage* GetMessage();
  // Takes a message back (nullptr is ignored); "TMxMessagePool.PutMessage: Message is in use"
  // when it is still in a queue or already back in a pool.
  void PutMessage(TMxMessage* message);
  uint32_t CreatedCount() const;
  uint32_t FreeCount() const;

private:
  mutable std::mutex lock_;
  TMxMessage* free_ = nullptr;
  uint32_t created_ = 0;
  uint32_t freeCount_ = 0;
};

// The process's message pool, created on first use; it lives until the program ends.
TMxMessagePool& MxMessagePool();
// A cleared message from the process's pool, addressed to nobody.
TMxMessage* NewMessage();
// Gives a message back to the process's pool (nullptr is ignored).
void FreeMessage(TMxMessage* message);

}  // namespace tolvek
