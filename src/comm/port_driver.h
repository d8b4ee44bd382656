// The base of the link-protocol drivers (RS link, TP1) that sit between the Talk server's
// devices and a serial port: a fixed number of slots, each with the receive handler of the
// device attached to it, and the status bytes of this layer.
//
// Attach, Transmit and Deliver run on the Talk scheduler's thread; descendants bring frames
// received on the port thread over to it through a queue.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tolvek {

class TMxScheduler;
class TThreadManager;

// A Talk frame: 0..255 bytes.
using TFrameHandler = std::function<void(const std::string& frame)>;

class TPortDriver {
public:
  explicit TPortDriver(uint8_t slotCount);
  // Descendants close in their own destructor: their Close needs their members.
  virtual ~TPortDriver();
  TPortDriver(const TPortDriver&) = delete;
  TPortDriver& operator=(const TPortDriver&) = delete;

  virtual const char* ClassName() const { return "TPortDriver"; }

  // No effect when open; stores the scheduler, builds the empty slot table and marks the
  // driver open. Descendants open their port first and start their task afterwards.
  virtual void Open(TMxScheduler& scheduler, TThreadManager& threadManager);
  // No effect when closed; frees the slot table and marks the driver closed.
  virtual void Close();
  // Sends one frame for `slot`; answers a Talk status.
  virtual uint8_t SendFrame(uint8_t slot, const std::string& frame) = 0;

  // 0x80 for a slot out of range, 0x82 for a slot that has a handler; an empty handler
  // clears the slot. 0 when done.
  uint8_t Attach(int slot, TFrameHandler handler, const void* owner);
  // 0x81 when not open, 0x80 for a slot out of range; else the frame, cut to 255 bytes, goes
  // to SendFrame.
  uint8_t Transmit(int slot, const std::string& frame);
  // Hands a received frame to the slot's handler; a frame for an empty slot is dropped.
  void Deliver(int slot, const std::string& frame);

  bool IsOpen() const { return open_; }
  uint8_t SlotCount() const { return slotCount_; }
  // The speed the next open uses (the server's SetPortBaudRate).
  virtual void SetBaudRate(uint32_t baudRate) { baudRate_ = baudRate; }
  uint32_t BaudRate() const { return baudRate_; }

protected:
  TMxScheduler* Scheduler() const { return scheduler_; }
  uint32_t baudRate_ = 9600;

private:
  struct TSlot {
    TFrameHandler handler;
    const void* owner = nullptr;
  };

  const uint8_t slotCount_;
  bool open_ = false;
  TMxScheduler* scheduler_ = nullptr;
  std::vector<TSlot> slots_;
};

}  // namespace tolvek
