// The TP1 translation: Talk request frames turned into TP1 telegram exchanges with an older
// drive, and the drive's bytes turned back into Talk response frames.
//
// A TP1 exchange is a 7-byte request telegram (":" OP A2 A1 A0 D1 D0), the drive's checksum
// echo, our ACK (0x21) or NAK (0x55), and a reply R1 R2 C with C = R1 + R2. Block reads are
// repeated word telegrams; block writes announce themselves with a telegram whose reply is the
// drive's chunk limit, then send chunks "0x21 n data" acknowledged "0x00 K", and end with 0x99
// acknowledged 0x00.
//
// The translator is a byte-fed state machine that never blocks and knows no port: what it
// writes to the line and the responses it produces leave through callbacks, so the driver, the
// tests and the fuzzer drive it alike. It is not thread-safe; the driver serialises requests
// and received bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tolvek {

class TTp1Translator {
public:
  // The receiver's states; 0 is idle.
  enum TState : uint8_t {
    tsIdle = 0,        // bytes are ignored
    tsEcho = 1,        // waiting for the checksum echo of the telegram just sent
    tsReplyHigh = 2,   // R1
    tsReplyLow = 3,    // R2
    tsReplySum = 4,    // C = R1 + R2
    tsChunkAck = 5,    // 0x00 after a block-write chunk
    tsChunkSum = 6,    // K, the sum of that chunk
    tsEndAck = 7,      // 0x00 after the end of a block write
  };

  static constexpr uint8_t kTelegramStart = 0x3A;  // ":"
  static constexpr uint8_t kAck = 0x21;
  static constexpr uint8_t kNak = 0x55;
  static constexpr uint8_t kBlockEnd = 0x99;
  // The status of every response that a failed exchange ends.
  static constexpr uint8_t kFailure = 0xFF;
  // NAKs sent to bring a drive back to idle when a request was left unfinished.
  static constexpr size_t kResetBurstLength = 256;
  // The warning written when that happens.
  static constexpr const char* kProtocolStateError = "Tp1Driver: protocol state error";

  // Called with bytes for the line, each call one write; may throw when the line fails, which
  // fails the request in progress.
  std::function<void(const std::string& bytes)> OnSend;
  // Called with each Talk response frame: interim [cmd, 0x01] and final frames alike.
  std::function<void(const std::string& frame)> OnResponse;
  // Called with a warning for the debug log.
  std::function<void(const std::string& text)> OnWarning;

  // The fixed answer to a login: link parameters of a 3-byte-address, 2-byte-data drive and
  // the device name "TALK 1.0 GateWay".
  static const std::string& LoginAnswer();

  // Starts translating a Talk request frame (command byte, parameters). A request arriving
  // while the previous one is unfinished first resets the drive with the NAK burst. A frame
  // shorter than its command's layout fails at once; an unknown command stays unanswered.
  void Request(std::string_view frame);
  // Takes bytes received from the drive, in order.
  void Feed(const uint8_t* data, size_t size);
  void Feed(std::string_view bytes) {
    Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  // Forgets any request and exchange in progress, without a word on the line.
  void Reset();

  // True from the acceptance of a request until its final response.
  bool Busy() const { return busy_; }
  TState State() const { return state_; }

private:
  struct TCommandRow;
  static const TCommandRow* FindCommand(uint8_t command);

  // Receiver steps and the failure path.
  void ReceiveByte(uint8_t byte);
  void Fail();
  // Hands the response to OnResponse and ends the request.
  void Finish();
  void SendInterim();
  void Send(const std::string& bytes);

  // Sends the telegram for `operation` with the current address and data fields.
  void Telegram(uint8_t operation);
  void TelegramCompleted();
  void ContinueBlockRead();
  void SendNextChunk();

  // Command handlers: one to start each kind of request, one for each kind of completed
  // telegram.
  void StartLogin();
  void StartAddressTelegram();
  void StartWordTelegram();
  void StartBareTelegram();
  void StartBlockRead();
  void StartBlockWrite();
  void CompleteWordRead();
  void CompleteAcknowledged();
  void CompleteBlockReadWord();
  void CompleteBlockWriteStart();

  uint32_t RequestAddress() const;

  const TCommandRow* command_ = nullptr;
  bool busy_ = false;
  std::string request_;
  std::string response_;
  TState state_ = tsIdle;
  uint8_t headerChecksum_ = 0;
  uint8_t replyHigh_ = 0;
  uint8_t replyLow_ = 0;
  uint8_t replySum_ = 0;
  uint32_t address_ = 0;  // A2:A1:A0, 24 bits
  uint16_t data_ = 0;     // D1:D0
  size_t blockCount_ = 0;
  std::string blockData_;
  uint16_t chunkLimit_ = 0;
  size_t blockPosition_ = 0;  // 0-based index of the next block byte to send
  uint8_t chunkChecksum_ = 0;
};

}  // namespace tolvek
