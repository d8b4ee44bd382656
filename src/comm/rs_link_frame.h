// The RS link frame that wraps every Talk frame on the serial line, and its receiver.
//
// On the line a frame is the start byte 0xA5, the payload length (0..255), the checksum (sum
// of the payload bytes modulo 256) and the payload. There is no end byte and no escaping; the
// receiver hunts for 0xA5, then takes length, checksum and exactly that many payload bytes.
// TRsReceiver is fed bytes in chunks of any size and never blocks, so it is driven by the port
// thread and equally by tests and the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tolvek {

constexpr uint8_t kRsStartByte = 0xA5;

// Sum of the bytes modulo 256.
uint8_t RsChecksum(std::string_view payload);

// The header of a frame for `payload` (at most 255 bytes): start byte, length, checksum.
std::string RsFrameHeader(std::string_view payload);

class TRsReceiver {
public:
  enum TState : uint8_t { rsHunt = 0, rsLength = 1, rsChecksum = 2, rsData = 3 };

  // Called with each complete frame whose checksum is right.
  std::function<void(const std::string& frame)> OnFrame;
  // Called for each complete frame whose checksum is wrong (the frame is dropped).
  std::function<void()> OnChecksumError;

  // Takes the bytes in order. Bytes beyond the end of a frame start the hunt for the next one,
  // so a chunk may hold pieces of several frames.
  void Feed(const uint8_t* data, size_t size);
  void Feed(std::string_view bytes) {
    Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }

  // How many bytes the receiver can take before it has to look at them: the payload still
  // missing while collecting one, else 1. A reader that takes no more than this never hands
  // over bytes of the next frame together with the end of this one.
  size_t WantedSize() const;

  TState State() const { return state_; }
  // Forgets a partly received frame.
  void Reset();

private:
  void Complete();

  TState state_ = rsHunt;
  uint8_t expectedLength_ = 0;
  uint8_t expectedChecksum_ = 0;
  std::string data_;
};

}  // namespace tolvek
