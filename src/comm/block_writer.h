// The block writer: collects bytes and sends them as one batch of frame-sized write-block
// requests to memory, flash, or flash as encoded data.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tolvek {

class TSetBlockPattern;
class TTalkActor;
class TTalkClient;
class TTalkLink;

class TBlockWriter {
public:
  using TDoneEvent = std::function<void(TBlockWriter& writer)>;

  // Takes an actor from the client's pool for its lifetime.
  explicit TBlockWriter(TTalkClient& client);
  ~TBlockWriter();
  TBlockWriter(const TBlockWriter&) = delete;
  TBlockWriter& operator=(const TBlockWriter&) = delete;

  const char* ClassName() const { return "TBlockWriter"; }

  // Forgets the service, the records and the bytes not yet sent.
  void Clear();
  // Prepares writing from `address` on: to memory (kind 0, command 0x31) or flash (any other
  // kind, 0x32). "%s.Put: device is not online".
  void Put(TTalkLink& service, uint32_t address, int kind);
  // The same for flash data the drive decodes (0x37).
  void PutEncoded(TTalkLink& service, uint32_t address);
  // Appends bytes; every full frame's worth becomes a record. "%s.PutData: not initialized".
  void PutData(const void* bytes, size_t count);
  void PutData(std::string_view bytes) { PutData(bytes.data(), bytes.size()); }
  // Sends what is collected (the rest of the bytes as a last record): "%s.Execute: not
  // initialized", "%s.PutSendBuffer: data word size error" when the bytes do not end on a word.
  void Execute();

  bool IsBusy() const;
  // The first non-zero record status of the last batch, or 0.
  uint8_t Result() const { return result_; }
  // Bytes accepted since Put.
  size_t Total() const { return total_; }
  uint8_t WriteCommand() const { return command_; }
  TTalkActor& Actor() const { return *actor_; }

  // Called when the batch's answer has been processed, with Result set.
  TDoneEvent OnDone;

private:
  void CheckIdle(const char* operation) const;
  void Prepare(TTalkLink& service, uint32_t address, uint8_t command);
  void PutSendBuffer();
  void ActorDone();

  TTalkClient& client_;
  TTalkActor* actor_;
  TTalkLink* service_ = nullptr;
  const TSetBlockPattern* pattern_ = nullptr;
  uint8_t command_ = 0;
  uint32_t startAddress_ = 0;
  uint32_t address_ = 0;
  size_t maxChunk_ = 0;
  std::string sendBuffer_;
  size_t total_ = 0;
  uint8_t result_ = 0;
};

}  // namespace tolvek
