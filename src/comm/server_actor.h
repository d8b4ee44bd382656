// A server actor: one of the ten tasks on the Talk scheduler that execute request batches.
// Each takes a batch from the server's request queue and runs its frames strictly in order:
// take the device's lock, send the frame, wait for the answer (longer after an "in progress"
// answer), note the status, let the device go, and finally send the answer batch back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kernel/message_text.h"
#include "kernel/queue.h"
#include "kernel/task.h"

namespace tolvek {

class TTalkServer;
class TTalkDevice;

class TServerActor {
public:
  enum TState : uint8_t {
    saIdle = 0,      // waiting for a batch
    saAnswer = 1,    // batch done: send the answer
    saNext = 2,      // read the next request of the batch and take its device
    saSend = 3,      // holding the device: send the frame
    saWait = 4,      // waiting for the device's answer
    saComplete = 5,  // note the answer and let the device go
  };

  explicit TServerActor(TTalkServer& server);
  ~TServerActor();
  TServerActor(const TServerActor&) = delete;
  TServerActor& operator=(const TServerActor&) = delete;

  TState State() const { return state_; }

private:
  void Slice(TMxTask& task);
  void ReadRequest(TMxTask& task);
  void SendFrame(TMxTask& task);
  void TakeAnswer(TMxTask& task);
  void CompleteRequest();
  // The held device if it is still open (a device may be closed while an actor holds it).
  TTalkDevice* HeldDevice() const;

  TTalkServer& server_;
  TState state_ = saIdle;
  TMxQueue answerQueue_;
  TMessageReader reader_;
  TMessageWriter writer_;
  TTalkDevice* heldDevice_ = nullptr;
  int heldNumber_ = -1;
  bool serviceAssigned_ = false;
  std::string requestId_;
  std::string frame_;
  std::string response_;
  uint8_t status_ = 0;
  // Last: the task runs Slice, so it must go before the rest of the actor.
  std::unique_ptr<TMxTask> task_;
};

}  // namespace tolvek
