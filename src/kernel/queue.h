// Message queues: the usual endpoint of a node, and a control object a task waits on until a
// message arrives.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "kernel/message.h"
#include "kernel/message_dispatcher.h"
#include "kernel/task_control.h"

namespace tolvek {

// A first-in first-out list of messages. Logged on, it owns a node of the process's
// dispatcher whose number is the queue's address; messages sent there are appended here on the
// sender's thread, and the first task waiting on the queue is resumed with wrOk.
//
// Lock order: the queue's lock, then the control lock of its waiting ring.
class TMxQueue : public TMxTaskControl {
public:
  TMxQueue() = default;
  // Logs off and frees the messages still queued; waiting tasks get wrReleased.
  ~TMxQueue() override;

  // Creates and logs on the queue's node ("TMxQueue.LogOn: Queue is already logged on").
  TMxMessageNode* LogOn(uint8_t domain = 0);
  // "TMxQueue.LogOff: Queue is not logged on"; frees the node.
  void LogOff();
  // Sends through the queue's node ("TMxQueue.SendMessage: Queue is not logged on"; the message
  // is freed then too, as it is whenever sending fails).
  void SendMessage(TMxMessage* message);
  // Appends a message and wakes the first waiting task; "PutMessage Error" for a message that
  // is still in a queue or in the pool.
  void PutMessage(TMxMessage* message);
  // The first message, taken out of the queue, or nullptr.
  TMxMessage* GetMessage();
  // A message present: wrOk at once; none: a poll answers wrUnavailable, else the task waits.
  void Wait(TMxTask& task, int32_t timeout) override;

  // Read without the lock by task code deciding whether to take a message or wait.
  uint32_t Count() const { return count_.load(std::memory_order_acquire); }
  TMxMessageNode* Node() const { return node_.get(); }

private:
  std::recursive_mutex queueLock_;
  TMxMessage* first_ = nullptr;
  TMxMessage* last_ = nullptr;
  std::atomic<uint32_t> count_{0};
  std::unique_ptr<TMxMessageNode> node_;
};

}  // namespace tolvek
