#include "comm/port_driver.h"

#include "comm/talk_status.h"

namespace tolvek {

TPortDriver::TPortDriver(uint8_t slotCount) : slotCount_(slotCount) {}

TPortDriver::~TPortDriver() = default;

void TPortDriver::Open(TMxScheduler& scheduler, TThreadManager&) {
  if (open_) return;
  scheduler_ = &scheduler;
  slots_.assign(slotCount_, TSlot{});
  open_ = true;
}

void TPortDriver::Close() {
  if (!open_) return;
  slots_.clear();
  open_ = false;
}

uint8_t TPortDriver::Attach(int slot, TFrameHandler handler, const void* owner) {
  if (slot < 0 || slot >= slotCount_ || static_cast<size_t>(slot) >= slots_.size())
    return kTalkSlotOutOfRange;
  TSlot& entry = slots_[static_cast<size_t>(slot)];
  if (!handler) {
    entry = TSlot{};
    return kTalkSuccess;
  }
  if (entry.handler) return kTalkSlotTaken;
  entry.handler = std::move(handler);
  entry.owner = owner;
  return kTalkSuccess;
}

uint8_t TPortDriver::Transmit(int slot, const std::string& frame) {
  if (!open_) return kTalkDriverNotOpen;
  if (slot < 0 || slot >= slotCount_) return kTalkSlotOutOfRange;
  return SendFrame(static_cast<uint8_t>(slot), frame.size() > 255 ? frame.substr(0, 255) : frame);
}

void TPortDriver::Deliver(int slot, const std::string& frame) {
  if (slot < 0 || static_cast<size_t>(slot) >= slots_.size()) return;
  // A copy: the handler may detach itself.
  TFrameHandler handler = slots_[static_cast<size_t>(slot)].handler;
  if (handler) handler(frame);
}

}  // namespace tolvek
