// Talk actors: reusable batches of Talk requests. The owner fills an actor with records through
// request patterns, executes it as one message to the Talk server, and reads the results from
// the same records once the actor signals completion.
//
// The record buffer holds the records one after the other, each a 16-bit length followed by
// that many bytes. Every record begins with a TTalkRecordHeader; the pattern that added it
// owns the rest.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "kernel/message_text.h"
#include "kernel/queue.h"
#include "kernel/task.h"
#include "kernel/task_control.h"

namespace tolvek {

class TTalkClient;
class TTalkLink;

// The status a record gets when its answer is not usable: shorter than the pattern's layout,
// or missing from an answer batch that does not match the request. The drive and the server
// never use it.
constexpr uint8_t kTalkAnswerRefused = 0xBE;

// The head of every record.
struct TTalkRecordHeader {
  uint16_t PatternId = 0;  // position + 1 of the pattern class in the Talk client's list
  uint8_t Command = 0;     // the Talk command byte
  uint8_t Status = 0;      // 0 until an answer sets it
  uint32_t UserValue = 0;  // free for the owner
  TTalkLink* Service = nullptr;
};

// A batch of Talk requests with one owner at a time.
class TTalkActor {
public:
  using TDoneEvent = std::function<void(TTalkActor& actor)>;

  virtual ~TTalkActor() = default;
  virtual const char* ClassName() const = 0;

  // The Talk service of the current record.
  virtual TTalkLink* GetTalkService() = 0;
  // Empties the actor.
  virtual void Clear() = 0;
  // Sends all records as one request batch; the answer completes the actor later.
  virtual void Execute() = 0;
  // Current record := the first.
  virtual void Reset() = 0;
  // Current record := the following one.
  virtual void Next() = 0;
  // The current record's status, user value and command byte.
  virtual uint8_t GetStatus() = 0;
  virtual uint32_t GetUserValue() = 0;
  virtual uint8_t GetCommandByte() = 0;
  // True from Execute until the answer has been processed.
  virtual bool IsBusy() const = 0;
  virtual uint32_t GetIndex() const = 0;
  virtual uint32_t GetCount() const = 0;
  // Appends a record of `size` bytes copied from `data` and makes it the current one.
  virtual void PutData(size_t size, const void* data) = 0;
  // Copies the first `size` bytes of the current record out of it, or into it.
  virtual void GetData(size_t size, void* buffer) = 0;
  virtual void SetData(size_t size, const void* data) = 0;
  // Set when an execution's answer has been processed, cleared by Execute.
  virtual TMxSignal& DoneSignal() = 0;

  // Called with the actor when its answer has been processed (only when assigned).
  TDoneEvent OnDone;
};

// The actor of the Talk client's pool. Its queue is a node of its own, so the server's answer
// comes back to it, and its task on the main scheduler processes that answer.
class TTalkActorImplementation : public TTalkActor {
public:
  enum TState : uint8_t { asCleared = 0, asFilled = 1, asExecuting = 2, asAnswered = 3 };
  static constexpr size_t kCapacityStep = 4096;

  // Needs the main scheduler and the message dispatcher.
  explicit TTalkActorImplementation(TTalkClient& client);
  ~TTalkActorImplementation() override;

  const char* ClassName() const override { return "TTalkActorImplementation"; }

  TTalkLink* GetTalkService() override;
  void Clear() override;
  void Execute() override;
  void Reset() override;
  void Next() override;
  uint8_t GetStatus() override;
  uint32_t GetUserValue() override;
  uint8_t GetCommandByte() override;
  bool IsBusy() const override { return busy_; }
  uint32_t GetIndex() const override { return index_; }
  uint32_t GetCount() const override { return count_; }
  void PutData(size_t size, const void* data) override;
  void GetData(size_t size, void* buffer) override;
  void SetData(size_t size, const void* data) override;
  TMxSignal& DoneSignal() override { return doneSignal_; }

  TState State() const { return state_; }
  size_t Capacity() const { return buffer_.size(); }
  // The node answers are sent to.
  TMxMessageNode* Node() const { return queue_.Node(); }

private:
  // The current record's bytes and length; nullptr at the end.
  uint8_t* CurrentRecord(uint16_t& length);
  // A copy of the current record's header; `failure` is raised at the end.
  TTalkRecordHeader CurrentHeader(const char* failure);
  void SetCurrentStatus(uint8_t status);
  void Rewind();
  void Advance();
  void Work(TMxTask& task);
  // Stores the answer's statuses and results in the records; raises on an answer that does
  // not belong to this batch, after marking the records it could not fill.
  void ProcessAnswer(TMxMessage* message);
  void Complete();

  TTalkClient& client_;
  TState state_ = asCleared;
  bool busy_ = false;
  std::vector<uint8_t> buffer_;
  size_t used_ = 0;      // bytes of records
  size_t position_ = 0;  // offset of the current record
  uint32_t count_ = 0;
  uint32_t index_ = 0;
  TMessageWriter writer_;
  TMessageReader reader_;
  TMxSignal doneSignal_;
  TMxQueue queue_;
  std::unique_ptr<TMxTask> task_;
};

}  // namespace tolvek
