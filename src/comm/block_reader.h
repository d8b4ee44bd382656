// The block reader: reads a memory range larger than one Talk frame as one batch of read-block
// requests, then hands out the bytes in order across the records.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tolvek {

class TTalkActor;
class TTalkClient;
class TTalkLink;

class TBlockReader {
public:
  using TDoneEvent = std::function<void(TBlockReader& reader)>;

  // Takes an actor from the client's pool for its lifetime.
  explicit TBlockReader(TTalkClient& client);
  ~TBlockReader();
  TBlockReader(const TBlockReader&) = delete;
  TBlockReader& operator=(const TBlockReader&) = delete;

  const char* ClassName() const { return "TBlockReader"; }

  // Forgets the service, the records and the bytes not yet read.
  void Clear();
  // Prepares reading `count` bytes from `address` of an online service with the standard
  // command set: one read-block record per frame-sized chunk. "%s.Put: device is not online",
  // "%s.Put: data word size error" (count not a multiple of the data width).
  void Put(TTalkLink& service, uint32_t address, uint32_t count);
  // Sends the batch; "%s.Execute: not initialized" without Put.
  void Execute();
  // Starts reading the results from the first byte again.
  void Reset();
  // The next `count` bytes of the results. Only bytes the drive delivered count: "%s.ReadBytes:
  // %d bytes asked for, %d left" when fewer remain (the records up to the first failed one).
  std::string ReadBytes(size_t count);
  void ReadBytes(void* buffer, size_t count);

  bool IsBusy() const;
  // The first non-zero record status of the last batch, or 0.
  uint8_t Result() const { return result_; }
  TTalkActor& Actor() const { return *actor_; }

  // Called when the batch's answer has been processed, with Result set.
  TDoneEvent OnDone;

private:
  void CheckIdle(const char* operation) const;
  void ActorDone();
  void Rewind();

  TTalkClient& client_;
  TTalkActor* actor_;
  TTalkLink* service_ = nullptr;
  uint32_t address_ = 0;
  uint32_t count_ = 0;
  std::string chunk_;        // bytes of the current record not yet read
  size_t chunkOffset_ = 0;
  size_t available_ = 0;     // bytes delivered, up to the first failed record
  size_t consumed_ = 0;
  uint8_t result_ = 0;
};

}  // namespace tolvek
