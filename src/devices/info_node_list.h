// The walk over a drive's file information blocks: find the next block, read it in frame-sized
// pieces, and go on from the address after it until the drive finds no more. Each block
// describes the executable firmware (type 2) or one firmware module (type 5).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kernel/task.h"
#include "kernel/task_control.h"

namespace tolvek {

class TTalkActor;
class TTalkClient;
class TTalkLink;

// Node types of the blocks the system uses; other types are kept but ignored.
enum TInfoNodeType : uint16_t { ntExecutable = 2, ntModule = 5 };

// The bytes of one information block, little-endian. Offsets: 4 node type (2 bytes), 12 name
// (16), 28 program start address (4, type 2) or sub-name (16, type 5), 44 version (2),
// 46 subversion (2), 48 extra (16); texts end at their first NUL byte. Fields beyond the end of
// a short block read as zero or empty.
class TInfoNodeItem {
public:
  static constexpr size_t kMinimumSize = 34;

  // "TInfoNodeItem.Create: node data error" for fewer than 34 bytes.
  explicit TInfoNodeItem(std::string data);

  const char* ClassName() const { return "TInfoNodeItem"; }

  uint16_t NodeType() const { return static_cast<uint16_t>(Number(4, 2)); }
  uint32_t StartAddress() const { return Number(28, 4); }
  std::string Name() const { return Text(12, 16); }
  std::string SubName() const { return Text(28, 16); }
  uint16_t Version() const { return static_cast<uint16_t>(Number(44, 2)); }
  uint16_t Subversion() const { return static_cast<uint16_t>(Number(46, 2)); }
  std::string Extra() const { return Text(48, 16); }
  const std::string& Data() const { return data_; }

private:
  uint32_t Number(size_t offset, size_t size) const;
  std::string Text(size_t offset, size_t size) const;

  std::string data_;
};

class TInfoNodeList {
public:
  enum TState : uint8_t { nsIdle = 0, nsFindNext = 1, nsReadCurrent = 2, nsFinished = 3 };
  using TCompletion = std::function<void(TInfoNodeList& list)>;

  // Takes an actor from `client` for its lifetime. Needs the main scheduler.
  explicit TInfoNodeList(TTalkClient& client);
  // Returns the actor; a walk in progress ends without its completion.
  ~TInfoNodeList();
  TInfoNodeList(const TInfoNodeList&) = delete;
  TInfoNodeList& operator=(const TInfoNodeList&) = delete;

  const char* ClassName() const { return "TInfoNodeList"; }

  // Starts a walk through `talk` finding blocks of `selector` (0: any): the list is emptied and
  // `completion` runs on the main scheduler when the drive finds no more blocks.
  // "%s.ReadInfoNodes: not ready" while a walk runs, "%s.ReadInfoNodes: not on-line" before
  // the login.
  void ReadInfoNodes(TTalkLink& talk, uint8_t selector, TCompletion completion);

  int NodeCount() const { return static_cast<int>(nodes_.size()); }
  // "%s.NodeAt: index out of bounds" outside 0..count-1.
  const TInfoNodeItem& NodeAt(int index) const;
  TState State() const { return state_; }

private:
  void Slice(TMxTask& task);
  void FindNext();
  void ReadCurrent();
  void AnswerArrived();
  // Ends the walk at the next slice (which calls the completion).
  void Finish() { state_ = nsFinished; }

  TTalkClient& client_;
  TTalkActor* actor_;
  TTalkLink* talk_ = nullptr;
  uint8_t selector_ = 0;
  // Wider than any address, so that stepping past the last one cannot wrap to 0.
  uint64_t address_ = 0;
  uint32_t blockSize_ = 0;
  TState state_ = nsIdle;
  bool pending_ = false;  // a request batch is on its way
  TCompletion completion_;
  std::vector<TInfoNodeItem> nodes_;
  TMxSignal signal_;
  std::unique_ptr<TMxTask> task_;
};

}  // namespace tolvek
