// The command table of the TP1 translation, its handlers and the byte receiver.
#include "comm/tp1_translator.h"

#include <algorithm>
#include <exception>

#include "platform/error.h"

namespace tolvek {

namespace {

constexpr uint8_t kStatusSuccess = 0x00;
constexpr uint8_t kStatusInProgress = 0x01;
// A Talk frame carries at most 255 bytes: command, status and 253 data bytes.
constexpr size_t kMaxFrame = 255;
constexpr size_t kMaxBlockRead = kMaxFrame - 2;

}  // namespace

// One Talk command: the parameter bytes its request must have, the TP1 operation, whether an
// interim answer goes out first, the handler that starts it and the one that takes each
// completed telegram.
struct TTp1Translator::TCommandRow {
  uint8_t Command;
  uint8_t RequestSize;
  uint8_t Operation;
  bool Interim;
  void (TTp1Translator::*Start)();
  void (TTp1Translator::*Completed)();
};

const TTp1Translator::TCommandRow* TTp1Translator::FindCommand(uint8_t command) {
  using T = TTp1Translator;
  static const TCommandRow kCommands[] = {
      {0x01, 0, 0x00, false, &T::StartLogin, nullptr},                                   // LoginDevice
      {0x10, 3, 0x00, false, &T::StartAddressTelegram, &T::CompleteWordRead},            // ReadMemory
      {0x11, 5, 0x04, false, &T::StartWordTelegram, &T::CompleteAcknowledged},           // WriteMemory
      {0x12, 5, 0x06, true, &T::StartWordTelegram, &T::CompleteAcknowledged},            // WriteFlash
      {0x20, 3, 0x0C, true, &T::StartAddressTelegram, &T::CompleteAcknowledged},         // StartProgram
      {0x21, 0, 0x09, false, &T::StartBareTelegram, &T::CompleteAcknowledged},           // StopProgram
      {0x22, 0, 0xFF, false, &T::StartBareTelegram, &T::CompleteAcknowledged},           // ResetDevice
      {0x23, 3, 0x08, true, &T::StartAddressTelegram, &T::CompleteAcknowledged},         // EraseFlash
      {0x30, 4, 0x00, true, &T::StartBlockRead, &T::CompleteBlockReadWord},              // read block
      {0x31, 3, 0x14, true, &T::StartBlockWrite, &T::CompleteBlockWriteStart},           // write block, memory
      {0x32, 3, 0x16, true, &T::StartBlockWrite, &T::CompleteBlockWriteStart},           // write block, flash
  };
  for (const TCommandRow& row : kCommands)
    if (row.Command == command) return &row;
  return nullptr;
}

const std::string& TTp1Translator::LoginAnswer() {
  static const std::string kAnswer = [] {
    // Command, status, protocol, address width 3, data width 2, address step 2, maximum frame
    // 255; four words and a 3-byte flash base, all zero; the 16-character name.
    std::string answer = {'\x01', '\x00', '\x20', '\x03', '\x02', '\x02', '\xFF'};
    answer.append(11, '\0');
    answer += "TALK 1.0 GateWay";
    return answer;
  }();
  return kAnswer;
}

void TTp1Translator::Reset() {
  command_ = nullptr;
  busy_ = false;
  state_ = tsIdle;
  request_.clear();
  response_.clear();
  blockData_.clear();
}

void TTp1Translator::Request(std::string_view frame) {
  // Nothing to answer to: the requester learns of it by its time-out, as on the RS link.
  if (frame.empty()) return;
  if (busy_) {
    // The drive may still be inside the lost exchange; a run of NAKs voids any telegram it
    // waits to confirm and is ignored once it is idle.
    busy_ = false;
    state_ = tsIdle;
    try {
      Send(std::string(kResetBurstLength, static_cast<char>(kNak)));
    } catch (const std::exception& e) {
      if (OnWarning) OnWarning(e.what());
    }
    if (OnWarning) OnWarning(kProtocolStateError);
  }
  request_.assign(frame);
  response_.assign(1, frame[0]);
  blockData_.clear();
  busy_ = true;
  command_ = FindCommand(static_cast<uint8_t>(frame[0]));
  // An unknown command has no translation: it stays busy without an answer, and the next
  // request resets the link.
  if (!command_) return;
  // Parameters that are not there cannot be made up: a telegram to a guessed address could
  // write to the wrong place.
  if (frame.size() - 1 < command_->RequestSize) {
    Fail();
    return;
  }
  if (command_->Interim) SendInterim();
  try {
    (this->*command_->Start)();
  } catch (const std::exception& e) {
    state_ = tsIdle;
    if (OnWarning) OnWarning(e.what());
    Fail();
  }
}

void TTp1Translator::Feed(const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    try {
      ReceiveByte(data[i]);
    } catch (const std::exception& e) {
      state_ = tsIdle;
      if (OnWarning) OnWarning(e.what());
      Fail();
    }
  }
}

void TTp1Translator::ReceiveByte(uint8_t byte) {
  switch (state_) {
    case tsIdle:
      return;
    case tsEcho:
      if (byte == headerChecksum_) {
        state_ = tsReplyHigh;
        Send(std::string(1, static_cast<char>(kAck)));
      } else {
        state_ = tsIdle;
        Send(std::string(1, static_cast<char>(kNak)));
        Fail();
      }
      return;
    case tsReplyHigh:
      replyHigh_ = byte;
      replySum_ = byte;
      state_ = tsReplyLow;
      return;
    case tsReplyLow:
      replyLow_ = byte;
      replySum_ = static_cast<uint8_t>(replySum_ + byte);
      state_ = tsReplySum;
      return;
    case tsReplySum:
      state_ = tsIdle;
      if (byte == replySum_) {
        TelegramCompleted();
      } else {
        Fail();
      }
      return;
    case tsChunkAck:
      if (byte == 0x00) {
        state_ = tsChunkSum;
      } else {
        state_ = tsIdle;
        Fail();
      }
      return;
    case tsChunkSum:
      if (byte == chunkChecksum_) {
        SendNextChunk();
      } else {
        state_ = tsIdle;
        Fail();
      }
      return;
    case tsEndAck:
      state_ = tsIdle;
      if (byte == 0x00) {
        response_ += static_cast<char>(kStatusSuccess);
        Finish();
      } else {
        Fail();
      }
      return;
  }
}

void TTp1Translator::Fail() {
  // A failure after the response went out belongs to no request.
  if (!busy_) return;
  response_ += static_cast<char>(kFailure);
  Finish();
}

void TTp1Translator::Finish() {
  busy_ = false;
  if (response_.size() > kMaxFrame) response_.resize(kMaxFrame);
  if (OnResponse) OnResponse(response_);
}

void TTp1Translator::SendInterim() {
  if (!busy_ || response_.size() != 1) return;
  if (OnResponse) OnResponse(response_ + static_cast<char>(kStatusInProgress));
}

void TTp1Translator::Send(const std::string& bytes) {
  if (OnSend) OnSend(bytes);
}

void TTp1Translator::Telegram(uint8_t operation) {
  if (state_ != tsIdle) throw EError("Tp1Trans: not in idle state");
  const std::string telegram = {
      static_cast<char>(operation),          static_cast<char>(address_ >> 16),
      static_cast<char>(address_ >> 8),      static_cast<char>(address_),
      static_cast<char>(data_ >> 8),         static_cast<char>(data_),
  };
  uint8_t sum = 0;
  for (char c : telegram) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  headerChecksum_ = sum;
  state_ = tsEcho;
  Send(static_cast<char>(kTelegramStart) + telegram);
}

void TTp1Translator::TelegramCompleted() {
  // A reply that arrives after its request was given up answers nothing.
  if (!busy_ || !command_ || !command_->Completed) return;
  (this->*command_->Completed)();
}

uint32_t TTp1Translator::RequestAddress() const {
  return static_cast<uint8_t>(request_[1]) | static_cast<uint32_t>(static_cast<uint8_t>(request_[2])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(request_[3])) << 16;
}

void TTp1Translator::StartLogin() {
  response_ = LoginAnswer();
  Finish();
}

void TTp1Translator::StartAddressTelegram() {
  address_ = RequestAddress();
  data_ = 0;
  Telegram(command_->Operation);
}

void TTp1Translator::StartWordTelegram() {
  address_ = RequestAddress();
  data_ = static_cast<uint16_t>(static_cast<uint8_t>(request_[4]) | static_cast<uint8_t>(request_[5]) << 8);
  Telegram(command_->Operation);
}

void TTp1Translator::StartBareTelegram() {
  address_ = 0;
  data_ = 0;
  Telegram(command_->Operation);
}

void TTp1Translator::StartBlockRead() {
  address_ = RequestAddress();
  data_ = 0;
  blockCount_ = static_cast<uint8_t>(request_[4]);
  // The answer could not carry them all: a frame cut short would lose data silently.
  if (blockCount_ > kMaxBlockRead) {
    Fail();
    return;
  }
  ContinueBlockRead();
}

void TTp1Translator::StartBlockWrite() {
  address_ = RequestAddress();
  data_ = 0;
  blockData_.assign(request_, 4);
  Telegram(command_->Operation);
}

void TTp1Translator::CompleteWordRead() {
  response_ = {static_cast<char>(command_->Command), static_cast<char>(kStatusSuccess),
               static_cast<char>(replyLow_), static_cast<char>(replyHigh_)};
  Finish();
}

void TTp1Translator::CompleteAcknowledged() {
  response_ += static_cast<char>(kStatusSuccess);
  Finish();
}

void TTp1Translator::CompleteBlockReadWord() {
  blockData_ += static_cast<char>(replyLow_);
  blockData_ += static_cast<char>(replyHigh_);
  ContinueBlockRead();
}

void TTp1Translator::CompleteBlockWriteStart() {
  chunkLimit_ = static_cast<uint16_t>(replyLow_ | replyHigh_ << 8);
  blockPosition_ = 0;
  SendNextChunk();
}

void TTp1Translator::ContinueBlockRead() {
  // Words are read whole, so an odd count brings one byte more than asked.
  if (blockData_.size() >= blockCount_) {
    response_ = {static_cast<char>(command_->Command), static_cast<char>(kStatusSuccess)};
    response_ += blockData_;
    Finish();
    return;
  }
  Telegram(command_->Operation);
  address_ = (address_ + 2) & 0xFFFFFF;
}

void TTp1Translator::SendNextChunk() {
  if (blockPosition_ >= blockData_.size()) {
    state_ = tsEndAck;
    Send(std::string(1, static_cast<char>(kBlockEnd)));
    return;
  }
  // A drive that announces no room for data would be sent empty chunks for ever.
  if (chunkLimit_ == 0) {
    state_ = tsIdle;
    Fail();
    return;
  }
  const size_t n = std::min<size_t>({blockData_.size() - blockPosition_, chunkLimit_, 255});
  const std::string chunk = blockData_.substr(blockPosition_, n);
  uint8_t sum = 0;
  for (char c : chunk) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  chunkChecksum_ = sum;
  blockPosition_ += n;
  state_ = tsChunkAck;
  Send(std::string{static_cast<char>(kAck), static_cast<char>(n)} + chunk);
}

}  // namespace tolvek
