// The Talk server: the one place where requests for drives meet the serial ports.
//
// It owns the named port drivers and the open devices, and serves two queues that clients
// reach by message from any thread: the request queue (node 0), whose batches of Talk frames
// ten server actors execute, and the control queue (node 1), whose "OpenDevice" and
// "CloseDevice" commands the control task answers. All of its tasks run on its own scheduler
// thread "TalkScheduler"; the port drivers' serial ports are served by its thread manager
// "TalkServer".
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comm/talk_device.h"
#include "kernel/message_text.h"
#include "kernel/queue.h"
#include "kernel/scheduler.h"
#include "kernel/task.h"
#include "kernel/thread_manager.h"
#include "platform/serial_device.h"

namespace tolvek {

class TPortDriver;
class TServerActor;

class TTalkServer {
public:
  static constexpr int kActorCount = 10;
  // How long an actor waits for a device's answer, and for the final answer after an
  // "in progress" one.
  static constexpr int32_t kAnswerTimeoutMs = 2000;
  static constexpr int32_t kInProgressTimeoutMs = 25000;

  // Must come before any other node logs on: its request queue becomes node 0 and its
  // control queue node 1. Enables debug channel 1.
  TTalkServer();
  ~TTalkServer();
  TTalkServer(const TTalkServer&) = delete;
  TTalkServer& operator=(const TTalkServer&) = delete;

  const char* ClassName() const { return "TTalkServer"; }

  // Adds a port under a new name (compared without regard to case) and takes the driver;
  // false, and the driver is dropped, when the name is taken.
  bool RegisterPort(const std::string& name, std::unique_ptr<TPortDriver> driver);
  // Stores the speed the named port opens with next; false for an unknown port.
  bool SetPortBaudRate(const std::string& name, uint32_t baudRate);
  int PortCount() const;
  std::string PortName(int index) const;

  TMxQueue& RequestQueue() { return requestQueue_; }
  TMxQueue& ControlQueue() { return controlQueue_; }
  TMxScheduler& Scheduler() { return scheduler_; }
  TThreadManager& ThreadManager() { return threadManager_; }
  // Only on the Talk scheduler's thread.
  TTalkDeviceList& Devices() { return devices_; }

  // For tests that cannot wait the drive's real times: changes the actors' answer waits.
  void SetAnswerTimeouts(int32_t answerMs, int32_t inProgressMs);
  int32_t AnswerTimeout() const { return answerTimeoutMs_.load(std::memory_order_relaxed); }
  int32_t InProgressTimeout() const { return inProgressTimeoutMs_.load(std::memory_order_relaxed); }

  // The control commands' work, on the Talk scheduler's thread. OpenDevice answers the new
  // device's number; both fail with EError.
  int OpenDevice(const std::string& portSpec, uint16_t clientNode, uint8_t kind, uint8_t clientDomain);
  void CloseDevice(int number);

private:
  using TPortList = std::vector<std::pair<std::string, std::unique_ptr<TPortDriver>>>;

  TPortDriver* FindPort(const std::string& name) const;
  void ControlSlice(TMxTask& task);

  // The thread manager outlives the ports it serves; the destructor stops the scheduler's
  // thread before anything its tasks use goes.
  TThreadManager threadManager_;
  TMxQueue requestQueue_;
  TMxQueue controlQueue_;
  mutable std::mutex portsLock_;
  TPortList ports_;
  TTalkDeviceList devices_;
  TMessageReader reader_;
  TMessageWriter writer_;
  std::atomic<int32_t> answerTimeoutMs_{kAnswerTimeoutMs};
  std::atomic<int32_t> inProgressTimeoutMs_{kInProgressTimeoutMs};
  TMxScheduler scheduler_;
  std::unique_ptr<TMxTask> controlTask_;
  std::vector<std::unique_ptr<TServerActor>> actors_;
};

}  // namespace tolvek
