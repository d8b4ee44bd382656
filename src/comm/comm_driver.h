// Raw receive requests on a serial port, for the script comm class and the manual serial
// terminal: read until a stop character, a character of a set, or a byte count.
//
// The port hands over one byte per read. A byte that arrives while no request runs is kept as
// the pending byte and the port pauses, so later bytes wait in the driver's input queue until
// the next request takes them; nothing is lost between requests.
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "comm/comm_port.h"

namespace tolvek {

class TThreadManager;

enum TStopCondition : uint8_t { scNone = 0, scChar = 1, scCharSet = 2, scCount = 3 };

using TStopSet = std::bitset<256>;

class TCommDriver {
public:
  using TCompleteEvent = std::function<void(TCommDriver& driver)>;

  // Fails with "Internal Error: ThreadManager not assigned" without a thread manager.
  explicit TCommDriver(TThreadManager* threadManager);
  ~TCommDriver();
  TCommDriver(const TCommDriver&) = delete;
  TCommDriver& operator=(const TCommDriver&) = delete;

  const char* ClassName() const { return "TCommDriver"; }

  // Changing either while the port is open fails with "%s: configuration not allowed when
  // port is open".
  void SetPortName(const std::string& name);
  void SetBaudRate(uint32_t baudRate);
  const std::string& PortName() const { return port_->PortName(); }
  uint32_t BaudRate() const { return port_->BaudRate(); }

  void OpenPort();
  void ClosePort();
  bool IsOpen() const { return port_->IsOpen(); }

  // Collects bytes into `destination` (or drops them when it is nullptr) until `stopChar`
  // arrives or `maxCount` bytes are stored; the stop character is not stored.
  void ReceiveUntil(uint8_t* destination, uint8_t stopChar, uint32_t maxCount);
  // The same with any character of `stopSet` ending the request.
  void ReceiveUntilSet(uint8_t* destination, const TStopSet& stopSet, uint32_t maxCount);
  // Collects exactly `count` bytes into `destination`.
  void ReceiveCount(uint8_t* destination, uint32_t count);
  // Reads and drops everything that arrives; never completes.
  void ReceiveNone();

  void SendBuffer(const uint8_t* data, size_t count) { port_->SendBuffer(data, count); }

  // Called once per finished request (not for ReceiveNone), on the port thread or, when the
  // request finishes at once, on the caller's thread; never with a lock of the driver held.
  TCompleteEvent OnComplete;

  // The character that ended the last request, 0 when the count ended it.
  uint8_t StopReason() const;
  // Bytes stored by the last request.
  uint32_t ReceivedCount() const;
  bool Done() const;
  TCommPort& Port() { return *port_; }

private:
  void StartReceive(uint8_t* destination, uint32_t maxCount, TStopCondition mode,
                    const TStopSet* stopSet, uint8_t stopChar);
  void HandleReceive(const std::string& buffer, uint8_t& readSize);
  // Processes the pending byte with the request lock held; answers whether the request ended.
  bool ProcessPendingLocked();
  void Complete();

  std::unique_ptr<TCommPort> port_;
  TThreadManager* threadManager_;

  mutable std::mutex requestLock_;
  uint8_t* destination_ = nullptr;
  uint32_t count_ = 0;
  uint32_t maxCount_ = 0;
  bool storing_ = false;
  bool done_ = true;
  bool hasPending_ = false;
  uint8_t pending_ = 0;
  TStopCondition mode_ = scNone;
  uint8_t stopChar_ = 0;
  TStopSet stopSet_;
  uint8_t stopReason_ = 0;
};

}  // namespace tolvek
