// Frames received on a port thread, handed on from the Talk scheduler: a queue the port thread
// fills and a task that empties it, one frame per slice.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tolvek {

class TMxQueue;
class TMxScheduler;
class TMxTask;

class TFrameDelivery {
public:
  // `deliver` gets each frame on the scheduler's thread, in the order the frames were put.
  explicit TFrameDelivery(std::function<void(const std::string& frame)> deliver);
  ~TFrameDelivery();
  TFrameDelivery(const TFrameDelivery&) = delete;
  TFrameDelivery& operator=(const TFrameDelivery&) = delete;

  // Creates the queue; frames put before Start wait in it.
  void Open();
  // Queues one frame; from any thread, after Open.
  void Put(const std::string& frame);
  // Starts the delivery task on `scheduler` (priority 3).
  void Start(TMxScheduler& scheduler);
  // Stops the task first (it may wait on the queue), then frees what is still queued.
  void Close();

private:
  void DeliverNext();

  std::function<void(const std::string&)> deliver_;
  std::unique_ptr<TMxQueue> queue_;
  std::unique_ptr<TMxTask> task_;
};

}  // namespace tolvek
