// The drive's side of TP1. A telegram is ":" and six bytes (OP, A2, A1, A0, D1, D0); the drive
// echoes their sum, and only after the PC confirms with ACK does it act and reply R1 R2 C.
// TP1 replies carry no status: a refused telegram is answered with a check byte one too high,
// which the PC takes as a failed exchange. Block writes continue with chunks "21 n data" that
// are acknowledged "00 K" and end with 0x99, acknowledged 0x00.
#include "drive_link.h"

namespace tolvek {

namespace {

constexpr uint8_t TelegramStart = 0x3A;
constexpr uint8_t Ack = 0x21, Nak = 0x55, BlockEnd = 0x99;
// R1 of a refusal; R2 carries the drive's status code for the transcript's reader.
constexpr uint8_t RefusedReply = 0xEE;

enum : uint8_t {
  OpRead = 0x00,
  OpWrite = 0x04,
  OpWriteFlash = 0x06,
  OpErase = 0x08,
  OpStop = 0x09,
  OpStart = 0x0C,
  OpBlockMemory = 0x14,
  OpBlockFlash = 0x16,
  OpReset = 0xFF,
};

uint8_t Sum(const std::vector<uint8_t>& bytes) {
  uint8_t sum = 0;
  for (uint8_t byte : bytes) sum = static_cast<uint8_t>(sum + byte);
  return sum;
}

}  // namespace

TTp1DriveLink::TTp1DriveLink(TDriveModel& drive, TLineOutput& output, TSimCounters& counters,
                             int chunkLimit)
    : drive_(drive), output_(output), counters_(counters), chunkLimit_(chunkLimit) {}

void TTp1DriveLink::Receive(const uint8_t* data, size_t count, TSimClock::time_point now) {
  // Only states inside one write of the PC time out; the others wait for the PC's reaction to
  // the drive's own (possibly delayed) output.
  const bool insideWrite = state_ == Header || state_ == ChunkLength || state_ == ChunkData;
  if (insideWrite && now - lastByteAt_ > InterByteTimeout) {
    ++counters_.badFrames;
    state_ = Idle;
  }
  lastByteAt_ = now;
  for (size_t i = 0; i < count; ++i) Byte(data[i], now);
}

void TTp1DriveLink::Send(std::vector<uint8_t> bytes, TSimClock::time_point notBefore) {
  const size_t check = bytes.size() - 1;
  output_.SendAnswer(std::move(bytes), check, false, notBefore);
}

void TTp1DriveLink::Byte(uint8_t byte, TSimClock::time_point now) {
  switch (state_) {
    case Idle:
      // Anything but the start character is line noise or the PC's 0x55 reset burst.
      if (byte == TelegramStart) {
        telegram_.clear();
        state_ = Header;
      }
      break;
    case Header:
      telegram_.push_back(byte);
      if (telegram_.size() == 6) {
        Send({Sum(telegram_)}, now);
        state_ = AwaitConfirm;
      }
      break;
    case AwaitConfirm:
      state_ = Idle;
      if (byte == Ack) {
        ++counters_.requests;
        Execute(now);
      } else {
        ++counters_.badFrames;  // NAK (or anything else): the telegram is void
      }
      break;
    case BlockIdle:
      if (byte == Ack) {
        state_ = ChunkLength;
      } else if (byte == BlockEnd) {
        Send({0x00}, now);
        state_ = Idle;
      } else {
        ++counters_.badFrames;
        state_ = Idle;
      }
      break;
    case ChunkLength:
      chunkLength_ = byte;
      chunk_.clear();
      state_ = ChunkData;
      if (chunkLength_ == 0) ChunkComplete(now);
      break;
    case ChunkData:
      chunk_.push_back(byte);
      if (chunk_.size() == chunkLength_) ChunkComplete(now);
      break;
  }
}

void TTp1DriveLink::Reply(uint8_t r1, uint8_t r2, TSimClock::time_point notBefore) {
  Send({r1, r2, static_cast<uint8_t>(r1 + r2)}, notBefore);
}

void TTp1DriveLink::Refuse(uint8_t status, TSimClock::time_point now) {
  Send({RefusedReply, status, static_cast<uint8_t>(RefusedReply + status + 1)}, now);
}

void TTp1DriveLink::Execute(TSimClock::time_point now) {
  const uint8_t op = telegram_[0];
  const uint32_t address = uint32_t{telegram_[1]} << 16 | uint32_t{telegram_[2]} << 8 | telegram_[3];
  const std::vector<uint8_t> value{telegram_[5], telegram_[4]};  // D0, D1: memory order
  const auto slow = now + std::chrono::milliseconds(drive_.Config().busyDelayMs);
  try {
    if (op != OpReset) drive_.RequireReady(now);
    switch (op) {
      case OpRead: {
        const std::vector<uint8_t> word = drive_.Read(address, 2);
        Reply(word[1], word[0], now);
        return;
      }
      case OpWrite:
        drive_.WriteMemory(address, value);
        Reply(value[1], value[0], now);
        return;
      case OpWriteFlash:
        drive_.WriteFlash(address, value);
        Reply(0, 0, slow);
        return;
      case OpErase:
        drive_.EraseFlash(address);
        Reply(0, 0, slow);
        return;
      case OpStart:
        drive_.StartProgram(address);
        Reply(0, 0, slow);
        return;
      case OpStop:
        drive_.StopProgram();
        Reply(0, 0, now);
        return;
      case OpReset:
        drive_.Reset(now);
        Reply(0, 0, now);
        return;
      case OpBlockMemory:
      case OpBlockFlash:
        drive_.Read(address, 0);  // the start address must exist
        blockToFlash_ = op == OpBlockFlash;
        blockAddress_ = address;
        state_ = BlockIdle;
        Reply(static_cast<uint8_t>(chunkLimit_ >> 8), static_cast<uint8_t>(chunkLimit_), now);
        return;
      default:
        Refuse(dsUnknownCommand, now);
        return;
    }
  } catch (const EDriveStatus& refused) {
    state_ = Idle;
    Refuse(refused.status, now);
  }
}

void TTp1DriveLink::ChunkComplete(TSimClock::time_point now) {
  // A refused chunk is acknowledged with 0xFF instead of 0x00, which ends the PC's block write.
  try {
    if (chunk_.size() > static_cast<size_t>(chunkLimit_)) throw EDriveStatus{dsBadLength};
    if (blockToFlash_)
      drive_.WriteFlash(blockAddress_, chunk_);
    else
      drive_.WriteMemory(blockAddress_, chunk_);
  } catch (const EDriveStatus& refused) {
    Send({0xFF, refused.status}, now);
    state_ = Idle;
    return;
  }
  blockAddress_ += static_cast<uint32_t>(chunk_.size() / (drive_.Config().dataWidth / drive_.Config().addressStep));
  Send({0x00, Sum(chunk_)}, now);
  state_ = BlockIdle;
}

}  // namespace tolvek
