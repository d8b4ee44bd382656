// The drive's side of the RS link: hunting for the start byte, checking the payload sum, and
// answering each Talk frame through the command table.
#include "drive_link.h"

#include <algorithm>

namespace tolvek {

namespace {

constexpr uint8_t StartByte = 0xA5;

uint8_t Sum(const std::vector<uint8_t>& bytes) {
  uint8_t sum = 0;
  for (uint8_t byte : bytes) sum = static_cast<uint8_t>(sum + byte);
  return sum;
}

}  // namespace

TRsDriveLink::TRsDriveLink(const TCommandTable& table, TDriveModel& drive, TLineOutput& output,
                           TSimCounters& counters)
    : table_(table), drive_(drive), output_(output), counters_(counters) {}

std::vector<uint8_t> TRsDriveLink::Frame(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> frame(3 + payload.size());
  frame[0] = StartByte;
  frame[1] = static_cast<uint8_t>(payload.size());
  frame[2] = Sum(payload);
  std::copy(payload.begin(), payload.end(), frame.begin() + 3);
  return frame;
}

void TRsDriveLink::Receive(const uint8_t* data, size_t count, TSimClock::time_point now) {
  if (state_ != Hunt && now - lastByteAt_ > InterByteTimeout) {
    ++counters_.badFrames;
    state_ = Hunt;
  }
  lastByteAt_ = now;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t byte = data[i];
    switch (state_) {
      case Hunt:
        if (byte == StartByte) state_ = Length;
        break;
      case Length:
        expectedLength_ = byte;
        state_ = Checksum;
        break;
      case Checksum:
        expectedSum_ = byte;
        payload_.clear();
        state_ = Data;
        if (expectedLength_ == 0) FrameReceived(now);
        break;
      case Data:
        payload_.push_back(byte);
        if (payload_.size() == expectedLength_) FrameReceived(now);
        break;
    }
  }
}

void TRsDriveLink::FrameReceived(TSimClock::time_point now) {
  state_ = Hunt;
  // A damaged or empty frame is dropped without a word, as the PC's receiver does: the sender
  // learns of it by the missing answer.
  if (payload_.empty() || Sum(payload_) != expectedSum_) {
    ++counters_.badFrames;
    return;
  }
  ++counters_.requests;
  const TCommandResult result = table_.Execute(payload_, drive_, now);
  auto notBefore = now;
  if (!result.interim.empty()) {
    output_.SendAnswer(Frame(result.interim), 2, true, now);
    notBefore += std::chrono::milliseconds(drive_.Config().busyDelayMs);
  }
  output_.SendAnswer(Frame(result.final), 2, true, notBefore);
}

void TRsDriveLink::SendUnsolicited(const std::vector<uint8_t>& frame, TSimClock::time_point now) {
  output_.SendUnsolicited(Frame(frame), now);
}

}  // namespace tolvek
