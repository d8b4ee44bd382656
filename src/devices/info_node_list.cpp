// The information block walk.
#include "devices/info_node_list.h"

#include "comm/talk_actor.h"
#include "comm/talk_client.h"
#include "comm/talk_command_set.h"
#include "comm/talk_link.h"
#include "platform/debug_log.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {
constexpr uint64_t kAddressLimit = 0xFFFFFFFFull;

// A step of 0 would find the same block for ever.
uint32_t AddressStep(const TTalkLink& talk) { return talk.Link.AddressStep ? talk.Link.AddressStep : 1; }
}  // namespace

TInfoNodeItem::TInfoNodeItem(std::string data) : data_(std::move(data)) {
  if (data_.size() < kMinimumSize) throw EError(StrFormat("%s.Create: node data error", ClassName()));
}

uint32_t TInfoNodeItem::Number(size_t offset, size_t size) const {
  uint32_t value = 0;
  for (size_t i = 0; i < size && offset + i < data_.size(); ++i)
    value |= static_cast<uint32_t>(static_cast<uint8_t>(data_[offset + i])) << (8 * i);
  return value;
}

std::string TInfoNodeItem::Text(size_t offset, size_t size) const {
  if (offset >= data_.size()) return "";
  std::string text = data_.substr(offset, size);
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

TInfoNodeList::TInfoNodeList(TTalkClient& client) : client_(client), actor_(client.GetActor()) {
  actor_->OnDone = [this](TTalkActor&) { AnswerArrived(); };
  task_ = std::make_unique<TMxTask>();
  task_->OnExecute = [this](TMxTask& task) { Slice(task); };
  task_->Start();
}

TInfoNodeList::~TInfoNodeList() {
  task_.reset();
  actor_->OnDone = nullptr;
  // A busy actor cannot be cleared; its answer still arrives and is dropped with it.
  if (!actor_->IsBusy()) client_.ReturnActor(actor_);
}

void TInfoNodeList::ReadInfoNodes(TTalkLink& talk, uint8_t selector, TCompletion completion) {
  if (state_ != nsIdle) throw EError(StrFormat("%s.ReadInfoNodes: not ready", ClassName()));
  if (!talk.Online || !talk.StandardCommands())
    throw EError(StrFormat("%s.ReadInfoNodes: not on-line", ClassName()));
  nodes_.clear();
  talk_ = &talk;
  selector_ = selector;
  completion_ = std::move(completion);
  address_ = 0;
  blockSize_ = 0;
  state_ = nsFindNext;
  signal_.SetSignal(true);
}

const TInfoNodeItem& TInfoNodeList::NodeAt(int index) const {
  if (index < 0 || index >= NodeCount()) throw EError(StrFormat("%s.NodeAt: index out of bounds", ClassName()));
  return nodes_[static_cast<size_t>(index)];
}

void TInfoNodeList::Slice(TMxTask& task) {
  if (!pending_) {
    try {
      switch (state_) {
        case nsFindNext: FindNext(); break;
        case nsReadCurrent: ReadCurrent(); break;
        case nsFinished: {
          state_ = nsIdle;
          TCompletion completion = std::move(completion_);
          completion_ = nullptr;
          if (completion) completion(*this);
          break;
        }
        default: break;
      }
    } catch (const std::exception& failure) {
      // A failure that ended here would leave the owner waiting for a completion forever: the
      // walk ends instead with the blocks it has.
      DebugError(failure.what());
      pending_ = false;
      Finish();
    }
  }
  if (pending_ || state_ == nsIdle) signal_.SetSignal(false);
  task.WaitFor(signal_, kMxInfinite);
}

void TInfoNodeList::FindNext() {
  if (address_ > kAddressLimit) return Finish();
  actor_->Clear();
  talk_->StandardCommands()->FindInfo.AddRequest(*actor_, 0, static_cast<uint32_t>(address_), selector_);
  pending_ = true;
  actor_->Execute();
}

void TInfoNodeList::ReadCurrent() {
  const uint32_t width = talk_->Link.DataWidth;
  if (width == 0 || blockSize_ % width != 0)
    throw EError(StrFormat("%s.ReadCurrentNode: node size error", ClassName()));
  if (blockSize_ == 0) {
    address_ += AddressStep(*talk_);
    state_ = nsFindNext;
    return;
  }
  const TGetBlockPattern& readBlock = talk_->StandardCommands()->ReadBlock;
  const size_t maxChunk = readBlock.GetMaxSize();
  if (maxChunk == 0) throw EError(StrFormat("%s.ReadCurrentNode: node size error", ClassName()));
  actor_->Clear();
  uint64_t address = address_;
  for (size_t remaining = blockSize_; remaining > 0;) {
    const size_t chunk = std::min(remaining, maxChunk);
    readBlock.AddRequest(*actor_, 0, static_cast<uint32_t>(address), static_cast<uint8_t>(chunk));
    address += (chunk / width) * AddressStep(*talk_);
    remaining -= chunk;
  }
  pending_ = true;
  actor_->Execute();
}

void TInfoNodeList::AnswerArrived() {
  if (!pending_) return;
  pending_ = false;
  try {
    TTalkCommandSet& commands = *talk_->StandardCommands();
    actor_->Reset();
    if (state_ == nsFindNext) {
      if (actor_->GetStatus() != 0) {
        Finish();
      } else {
        const uint32_t found = commands.FindInfo.GetInfoAddress(*actor_);
        // A drive that answers an address behind the search would be asked forever.
        if (found < address_) {
          Finish();
        } else {
          address_ = found;
          blockSize_ = commands.FindInfo.GetInfoWord(*actor_);
          state_ = nsReadCurrent;
        }
      }
    } else if (state_ == nsReadCurrent) {
      std::string data;
      bool failed = false;
      const uint32_t count = actor_->GetCount();
      for (uint32_t i = 0; i < count; ++i) {
        if (actor_->GetStatus() != 0) failed = true;
        else data += commands.ReadBlock.GetBlock(*actor_);
        if (i + 1 < count) actor_->Next();
      }
      if (failed) DebugError("Error reading file info block");
      else if (!data.empty()) nodes_.emplace_back(std::move(data));
      address_ += AddressStep(*talk_);
      state_ = nsFindNext;
    }
  } catch (const std::exception& failure) {
    // A block too short to be one is skipped; the walk goes on behind it.
    DebugError(failure.what());
    address_ += talk_ ? AddressStep(*talk_) : 1;
    state_ = nsFindNext;
  }
  signal_.SetSignal(true);
}

}  // namespace tolvek
