// A serial port whose received bytes are handed, on a thread manager's thread, to a callback.
//
// Reception is driven by poll() on the line: when input arrives the thread manager runs
// DoReceive, which reads at most ReadSize bytes at a time and hands each chunk to OnReceive.
// The receiver may ask for a different chunk size for the next read, or pause reception:
// while paused the port stops waiting for input (bytes stay in the driver's input queue) until
// ContinueReceive. A line that disappears (adapter unplugged, hang-up, read error) ends
// reception for good; the port stays open until closed, and sending on it fails.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/serial_device.h"

namespace tolvek {

class TThreadManager;
class TThreadClient;

class TCommPort {
public:
  // The chunk received (1..255 bytes) and the size wanted for the next read (1 on entry; 0
  // reads as 1). The receiver may call Pause.
  using TReceiveEvent = std::function<void(const std::string& buffer, uint8_t& readSize)>;

  TCommPort();
  virtual ~TCommPort();
  TCommPort(const TCommPort&) = delete;
  TCommPort& operator=(const TCommPort&) = delete;

  virtual const char* ClassName() const { return "TCommPort"; }

  const std::string& PortName() const { return portName_; }
  void SetPortName(const std::string& name) { portName_ = name; }
  uint32_t BaudRate() const { return baudRate_; }
  void SetBaudRate(uint32_t baudRate) { baudRate_ = baudRate; }

  // Opens the line the port name maps to and starts reception on a client of
  // `threadManager`. Fails with "%s.OpenPort: port %s is already open" or the line's own open
  // failures; a failed open leaves the port closed.
  void OpenPort(TThreadManager& threadManager);
  // Stops reception and closes the line. No effect when closed.
  void ClosePort();
  bool IsOpen() const { return device_.IsOpen(); }
  // True once the line has disappeared while open.
  bool LineLost() const { return lineLost_.load(std::memory_order_acquire); }

  // Hands the bytes to the line without waiting for them to leave; fails with
  // "TRsPort.Send: an error occured!" / "TRsPort.SendBuffer: an error occured!".
  void Send(const std::string& bytes);
  void SendBuffer(const uint8_t* data, size_t count);
  void SetBreak(bool on);
  void Purge();

  // From the receiver: no more reads until ContinueReceive.
  void Pause();
  // Resumes a paused reception; what arrived meanwhile is read at once.
  void ContinueReceive();
  bool Paused() const;

  TReceiveEvent OnReceive;

protected:
  // Hands one chunk to OnReceive.
  virtual void Receive(const std::string& buffer, uint8_t& readSize);

private:
  // On the thread manager's thread, whenever the line has input or reception is continued.
  void DoReceive();
  // Makes the thread manager wait for the line, or for the client's own event. Called on the
  // manager's thread (or before reception starts), never with continueLock_ held.
  void Arm(bool armed);

  std::string portName_ = "COM1";
  uint32_t baudRate_ = 9600;
  TSerialDevice device_;
  // Set at open, cleared at close, under continueLock_.
  TThreadClient* client_ = nullptr;
  // Guards the pause state.
  mutable std::mutex continueLock_;
  bool paused_ = false;
  std::atomic<bool> lineLost_{false};
  // Only touched on the thread manager's thread (and by open and close when it cannot run).
  bool armed_ = false;
  uint8_t readSize_ = 1;
};

}  // namespace tolvek
