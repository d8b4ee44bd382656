// A fixed ring of single Talk jobs (start, stop, reset, erase, read and write a word) that a
// device actor carries out one after the other.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace tolvek {

class TTalkLink;

enum TClientJobType : uint8_t {
  cjStartProgram = 1,
  cjStopProgram = 2,
  cjResetDevice = 3,
  cjEraseFlash = 4,
  cjReadMemory = 5,
  cjWriteMemory = 6,
  cjWriteFlash = 7,
};

// One job of the ring. Its callback gets the Talk status, the value read (ReadMemory; 0 for the
// others) and the user value.
struct TClientJob {
  using TCallback = std::function<void(uint8_t status, uint32_t value, uint32_t userValue)>;

  TClientJobType Type = cjStopProgram;
  TTalkLink* Service = nullptr;
  uint32_t Address = 0;
  uint32_t Value = 0;
  uint8_t Status = 0;
  uint32_t UserValue = 0;
  TCallback Callback;
  TClientJob* Next = nullptr;
};

// A ring of capacity + 1 jobs, created at once: empty when tail = head, full when the successor
// of tail is head, so it holds at most `capacity` jobs.
class TClientJobQueue {
public:
  explicit TClientJobQueue(size_t capacity);
  TClientJobQueue(const TClientJobQueue&) = delete;
  TClientJobQueue& operator=(const TClientJobQueue&) = delete;

  // The tail job, to be filled and then committed with Insert: "TClientJobQueue.GetNewJob: FULL".
  TClientJob& GetNewJob();
  // "TClientJobQueue.Insert: FULL".
  void Insert();
  // The oldest job: "TClientJobQueue.GetTopJob: EMPTY".
  TClientJob& GetTopJob();
  // "TClientJobQueue.DeleteHead: EMPTY".
  void DeleteHead();

  bool Empty() const { return tail_ == head_; }
  bool Full() const { return tail_->Next == head_; }
  size_t Count() const;

private:
  std::unique_ptr<TClientJob[]> jobs_;
  size_t size_;
  TClientJob* head_;
  TClientJob* tail_;
};

}  // namespace tolvek
