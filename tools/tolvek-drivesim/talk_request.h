// Reading a Talk request frame field by field and building the answer, in the widths the drive
// announced at login. Numbers are least significant byte first in both directions.
#pragma once

#include <cstdint>
#include <vector>

#include "drive_status.h"

namespace tolvek {

// A cursor over the request's parameters (the bytes after the command byte). Reading past the
// end, or leaving bytes unread at End(), refuses the request with dsBadLength.
class TTalkRequest {
public:
  TTalkRequest(const std::vector<uint8_t>& frame, uint8_t addressWidth, uint8_t dataWidth)
      : frame_(frame), addressWidth_(addressWidth), dataWidth_(dataWidth) {}

  uint8_t Command() const { return frame_[0]; }
  uint8_t Byte() { return static_cast<uint8_t>(Number(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Number(2)); }
  uint32_t Address() { return Number(addressWidth_); }
  // A data word as the drive stores it: its bytes in memory order.
  std::vector<uint8_t> WordBytes() { return Bytes(dataWidth_); }
  std::vector<uint8_t> Bytes(size_t count) {
    Need(count);
    std::vector<uint8_t> out(frame_.begin() + pos_, frame_.begin() + pos_ + count);
    pos_ += count;
    return out;
  }
  std::vector<uint8_t> Rest() { return Bytes(frame_.size() - pos_); }
  void End() const {
    if (pos_ != frame_.size()) throw EDriveStatus{dsBadLength};
  }

private:
  void Need(size_t count) const {
    if (frame_.size() - pos_ < count) throw EDriveStatus{dsBadLength};
  }
  uint32_t Number(size_t width) {
    Need(width);
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) value |= uint32_t{frame_[pos_ + i]} << (8 * i);
    pos_ += width;
    return value;
  }

  const std::vector<uint8_t>& frame_;
  uint8_t addressWidth_, dataWidth_;
  size_t pos_ = 1;
};

// The results a handler appends after the command and status bytes.
class TTalkAnswer {
public:
  explicit TTalkAnswer(uint8_t addressWidth) : addressWidth_(addressWidth) {}
  void Byte(uint8_t value) { data_.push_back(value); }
  void U16(uint16_t value) { Number(value, 2); }
  void Address(uint32_t value) { Number(value, addressWidth_); }
  void Bytes(const std::vector<uint8_t>& bytes) { data_.insert(data_.end(), bytes.begin(), bytes.end()); }
  const std::vector<uint8_t>& Data() const { return data_; }

private:
  void Number(uint32_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) data_.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
  uint8_t addressWidth_;
  std::vector<uint8_t> data_;
};

}  // namespace tolvek
