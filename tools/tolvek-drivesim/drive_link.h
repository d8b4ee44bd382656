// The drive's side of a serial link protocol: bytes from the PC go in, answers go out through
// the line output. Each link is a byte-fed state machine that never blocks.
#pragma once

#include <cstdint>
#include <vector>

#include "command_table.h"
#include "drive_model.h"
#include "line_output.h"

namespace tolvek {

// A frame (or telegram, or chunk) that stops arriving for this long is abandoned and the
// receiver hunts for the next start: the PC writes each one in a single piece, so a pause inside
// one means bytes were lost, and without the reset the next request would be swallowed as the
// lost bytes' remainder.
constexpr std::chrono::milliseconds InterByteTimeout{500};

class TDriveLink {
public:
  virtual ~TDriveLink() = default;
  virtual void Receive(const uint8_t* data, size_t count, TSimClock::time_point now) = 0;
  // Whether the link can carry frames the drive sends on its own.
  virtual bool CarriesUnsolicited() const { return false; }
  virtual void SendUnsolicited(const std::vector<uint8_t>& /*frame*/, TSimClock::time_point /*now*/) {}
};

// Talk frames wrapped in link frames: 0xA5, length, checksum (sum of the payload), payload.
class TRsDriveLink : public TDriveLink {
public:
  TRsDriveLink(const TCommandTable& table, TDriveModel& drive, TLineOutput& output,
               TSimCounters& counters);
  void Receive(const uint8_t* data, size_t count, TSimClock::time_point now) override;
  bool CarriesUnsolicited() const override { return true; }
  void SendUnsolicited(const std::vector<uint8_t>& frame, TSimClock::time_point now) override;

  static std::vector<uint8_t> Frame(const std::vector<uint8_t>& payload);

private:
  void FrameReceived(TSimClock::time_point now);

  const TCommandTable& table_;
  TDriveModel& drive_;
  TLineOutput& output_;
  TSimCounters& counters_;
  enum { Hunt, Length, Checksum, Data } state_ = Hunt;
  uint8_t expectedLength_ = 0, expectedSum_ = 0;
  std::vector<uint8_t> payload_;
  TSimClock::time_point lastByteAt_{};
};

// The drive's side of TP1: fixed telegrams with a checksum echo, two-byte replies and chunked
// block writes. It uses the 3-byte address, 2-byte data layout of the telegram.
class TTp1DriveLink : public TDriveLink {
public:
  TTp1DriveLink(TDriveModel& drive, TLineOutput& output, TSimCounters& counters, int chunkLimit);
  void Receive(const uint8_t* data, size_t count, TSimClock::time_point now) override;

private:
  void Byte(uint8_t byte, TSimClock::time_point now);
  void Execute(TSimClock::time_point now);
  void Reply(uint8_t r1, uint8_t r2, TSimClock::time_point notBefore);
  void Refuse(uint8_t status, TSimClock::time_point now);
  void ChunkComplete(TSimClock::time_point now);
  void Send(std::vector<uint8_t> bytes, TSimClock::time_point notBefore);

  TDriveModel& drive_;
  TLineOutput& output_;
  TSimCounters& counters_;
  int chunkLimit_;
  enum { Idle, Header, AwaitConfirm, BlockIdle, ChunkLength, ChunkData } state_ = Idle;
  std::vector<uint8_t> telegram_;  // OP, A2, A1, A0, D1, D0
  bool blockToFlash_ = false;
  uint32_t blockAddress_ = 0;
  size_t chunkLength_ = 0;
  std::vector<uint8_t> chunk_;
  TSimClock::time_point lastByteAt_{};
};

}  // namespace tolvek
