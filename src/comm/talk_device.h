// The devices the Talk server has open: each sits on one slot of a port driver, has a lock
// that admits one server actor at a time, routes received frames to the actor waiting for
// them or else to the client that opened it, and logs its traffic into debug channel 1.
//
// Everything here runs on the Talk scheduler's thread, except the debug log handing over its
// writer, which may come from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kernel/task_control.h"
#include "platform/debug_log.h"

namespace tolvek {

class TMxQueue;
class TMxTask;
class TPortDriver;

class TDeviceDriver {
public:
  // Attaches to `slot` of `portDriver`; when that fails (the slot is taken) the device has no
  // port driver and every send answers 0x90. `requestQueue` is the server's request queue,
  // through whose node frames go to the client.
  TDeviceDriver(TPortDriver* portDriver, int slot, TMxQueue& requestQueue);
  // Detaches from the slot and closes the port driver (and so the serial port).
  virtual ~TDeviceDriver();
  TDeviceDriver(const TDeviceDriver&) = delete;
  TDeviceDriver& operator=(const TDeviceDriver&) = delete;

  virtual const char* ClassName() const { return "TDeviceDriver"; }

  // Where frames the device sends on its own go.
  void SetClient(uint16_t node, uint8_t domain, uint8_t kind);
  bool HasClient() const { return client_; }

  // Subscribes to debug channel 1: while it is enabled, traffic is logged.
  void SubscribeDebugLog();
  void SetLogWriter(TDebugWriter writer);

  // Waits for the device lock without time-out.
  void AcquireDevice(TMxTask& task);
  // 0 when `task` held the lock and released it, else 0x91.
  uint8_t ReleaseDevice(TMxTask& task);
  bool OwnsDevice(const TMxTask& task) const { return lock_.IsOwner(task); }
  TMxSemaphore& Lock() { return lock_; }

  // Routes answers whose first byte is `service` to `queue`; fails with
  // "%s.AssignCurrentService: current service is already assigned" while one is assigned.
  void AssignCurrentService(uint8_t service, TMxQueue& queue);
  // Fails with "%s.ReleaseCurrentService: wrong current service queue" for another queue.
  void ReleaseCurrentService(TMxQueue& queue);
  int CurrentService() const { return currentService_; }

  // Sends `frame` for `task`, which must hold the lock; answers a Talk status.
  uint8_t SendDeviceFrame(TMxTask& task, const std::string& frame);
  // The port driver's receive handler.
  void ReceivedFrame(const std::string& frame);

  TPortDriver* PortDriver() const { return portDriver_; }

protected:
  // Filters of a device that must adapt frames; both let everything through here. Setting
  // `drop` ends the frame's way (a dropped send answers the returned status).
  virtual uint8_t SendFilter(std::string& frame, size_t maxLength, bool& drop);
  virtual void ReceiveFilter(std::string& frame, size_t maxLength, bool& drop);

private:
  void Log(uint16_t code, const std::string& text);

  TPortDriver* portDriver_;
  int slot_;
  TMxQueue& requestQueue_;
  bool client_ = false;
  uint16_t clientNode_ = 0;
  uint8_t clientDomain_ = 0;
  uint8_t clientKind_ = 0;
  TMxSemaphore lock_;
  int currentService_ = -1;
  TMxQueue* serviceQueue_ = nullptr;
  std::mutex logLock_;
  TDebugWriter logWriter_;
  bool subscribed_ = false;
};

class TTalkDevice : public TDeviceDriver {
public:
  TTalkDevice(std::string name, int number, TPortDriver* portDriver, int slot, TMxQueue& requestQueue)
      : TDeviceDriver(portDriver, slot, requestQueue), name_(std::move(name)), number_(number) {}
  const char* ClassName() const override { return "TTalkDevice"; }

  // The port specification the device was opened with ("COM1", "COM1:0").
  const std::string& Name() const { return name_; }
  int Number() const { return number_; }

private:
  std::string name_;
  int number_;
};

// The open devices by number. A device's number is its index; a closed device leaves an empty
// entry, so numbers are never used twice in a run.
class TTalkDeviceList {
public:
  int Add(std::unique_ptr<TTalkDevice> device);
  // The device with this number, or nullptr.
  TTalkDevice* Get(int number) const;
  TTalkDevice* FindByName(const std::string& name) const;
  // Destroys the device; false when there is none with this number.
  bool Remove(int number);
  int Count() const { return static_cast<int>(devices_.size()); }
  // Destroys every device.
  void Clear();

private:
  std::vector<std::unique_ptr<TTalkDevice>> devices_;
};

}  // namespace tolvek
