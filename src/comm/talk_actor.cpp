// The pooled Talk actor: record buffer, request batch, answer processing.
#include "comm/talk_actor.h"

#include <cstring>

#include "comm/talk_client.h"
#include "comm/talk_link.h"
#include "kernel/error_report.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {
constexpr size_t kLengthSize = sizeof(uint16_t);
}

TTalkActorImplementation::TTalkActorImplementation(TTalkClient& client)
    : client_(client), buffer_(kCapacityStep) {
  queue_.LogOn();
  task_ = std::make_unique<TMxTask>();
  task_->OnExecute = [this](TMxTask& task) { Work(task); };
  task_->Start();
}

TTalkActorImplementation::~TTalkActorImplementation() {
  task_.reset();
  queue_.LogOff();
}

uint8_t* TTalkActorImplementation::CurrentRecord(uint16_t& length) {
  if (index_ >= count_) return nullptr;
  std::memcpy(&length, &buffer_[position_], kLengthSize);
  return &buffer_[position_ + kLengthSize];
}

TTalkRecordHeader TTalkActorImplementation::CurrentHeader(const char* failure) {
  uint16_t length = 0;
  const uint8_t* record = CurrentRecord(length);
  if (!record || length < sizeof(TTalkRecordHeader)) throw EError(failure);
  TTalkRecordHeader header;
  std::memcpy(&header, record, sizeof(header));
  return header;
}

void TTalkActorImplementation::SetCurrentStatus(uint8_t status) {
  TTalkRecordHeader header = CurrentHeader("Index Error");
  header.Status = status;
  SetData(sizeof(header), &header);
}

void TTalkActorImplementation::Rewind() {
  position_ = 0;
  index_ = 0;
}

void TTalkActorImplementation::Advance() {
  uint16_t length = 0;
  if (!CurrentRecord(length)) return;
  position_ += kLengthSize + length;
  ++index_;
}

TTalkLink* TTalkActorImplementation::GetTalkService() {
  uint16_t length = 0;
  if (!CurrentRecord(length)) throw EError(StrFormat("%s.GetTalkService: tried to read at the end", ClassName()));
  return CurrentHeader("Index Error").Service;
}

void TTalkActorImplementation::Clear() {
  if (busy_) throw EError("TTalkActorImplementation.Clear: actor is busy");
  if (buffer_.size() > kCapacityStep) {
    buffer_.resize(kCapacityStep);
    buffer_.shrink_to_fit();
  }
  used_ = 0;
  count_ = 0;
  Rewind();
  state_ = asCleared;
}

void TTalkActorImplementation::Reset() {
  if (busy_) throw EError("TTalkActorImplementation.Reset: actor is busy");
  Rewind();
}

void TTalkActorImplementation::Next() {
  if (busy_) throw EError(StrFormat("%s.Next: actor is busy", ClassName()));
  if (index_ >= count_) throw EError(StrFormat("%s.Next: end of data set", ClassName()));
  Advance();
}

uint8_t TTalkActorImplementation::GetStatus() { return CurrentHeader("Index Error").Status; }
uint32_t TTalkActorImplementation::GetUserValue() { return CurrentHeader("Index Error").UserValue; }
uint8_t TTalkActorImplementation::GetCommandByte() { return CurrentHeader("Index Error").Command; }

void TTalkActorImplementation::PutData(size_t size, const void* data) {
  if (busy_) throw EError(StrFormat("%s.PutData: actor is busy", ClassName()));
  if (size > 0xFFFF) throw EError(StrFormat("%s.PutData: record size is %d bytes", ClassName(), size));
  const size_t start = used_;
  const size_t end = start + kLengthSize + size;
  if (end > buffer_.size()) buffer_.resize(buffer_.size() + kCapacityStep * ((end - buffer_.size() + kCapacityStep - 1) / kCapacityStep));
  const uint16_t length = static_cast<uint16_t>(size);
  std::memcpy(&buffer_[start], &length, kLengthSize);
  std::memcpy(&buffer_[start + kLengthSize], data, size);
  used_ = end;
  position_ = start;
  index_ = count_;
  ++count_;
  state_ = asFilled;
}

void TTalkActorImplementation::GetData(size_t size, void* buffer) {
  uint16_t length = 0;
  const uint8_t* record = CurrentRecord(length);
  if (!record) throw EError(StrFormat("%s.GetData: no more entries", ClassName()));
  if (length < size) throw EError(StrFormat("%s.GetData: record size is %d bytes", ClassName(), length));
  std::memcpy(buffer, record, size);
}

void TTalkActorImplementation::SetData(size_t size, const void* data) {
  uint16_t length = 0;
  uint8_t* record = CurrentRecord(length);
  if (!record) throw EError(StrFormat("%s.SetData: end of data set", ClassName()));
  if (length < size) throw EError(StrFormat("%s.SetData: record size is %d bytes", ClassName(), length));
  std::memcpy(record, data, size);
}

void TTalkActorImplementation::Execute() {
  if (busy_) throw EError(StrFormat("%s.Execute: actor is busy", ClassName()));
  TMxMessage* message = writer_.NewMessage();
  uint16_t requestNode = 0;
  uint8_t serverDomain = 0;
  try {
    Rewind();
    for (uint32_t i = 0; i < count_; ++i) {
      if (i == 0) {
        const TTalkLink* service = CurrentHeader("Index Error").Service;
        requestNode = service->RequestNode;
        serverDomain = service->ServerDomain;
      }
      client_.WriteRecord(*this, writer_);
      Advance();
    }
    Rewind();
    message->SetReceiver(requestNode, serverDomain, 0);
    busy_ = true;
    state_ = asExecuting;
    doneSignal_.SetSignal(false);
    queue_.SendMessage(message);
  } catch (...) {
    // A batch that never left must not leave the actor busy: the answer would never come.
    if (!busy_) FreeMessage(message);
    busy_ = false;
    state_ = count_ ? asFilled : asCleared;
    Rewind();
    throw;
  }
}

void TTalkActorImplementation::ProcessAnswer(TMxMessage* message) {
  reader_.SetMessage(message);
  Rewind();
  try {
    for (uint32_t i = 0; i < count_; ++i) {
      client_.ReadRecord(*this, reader_);
      Advance();
    }
  } catch (...) {
    // The records this answer did not fill must not look like successes.
    while (index_ < count_) {
      SetCurrentStatus(kTalkAnswerRefused);
      Advance();
    }
    reader_.ReleaseMessage();
    throw;
  }
  reader_.ReleaseMessage();
}

void TTalkActorImplementation::Complete() {
  Rewind();
  busy_ = false;
  state_ = asAnswered;
  doneSignal_.SetSignal(true);
  if (OnDone) OnDone(*this);
}

void TTalkActorImplementation::Work(TMxTask& task) {
  if (TMxMessage* message = queue_.GetMessage()) {
    if (!busy_) {
      FreeMessage(message);
      MxReportError(ClassName(), StrFormat("%s.Work: unexpected response", ClassName()));
    } else {
      std::string failure;
      try {
        ProcessAnswer(message);
      } catch (const std::exception& e) {
        failure = e.what();
      }
      if (!failure.empty()) MxReportError(ClassName(), failure);
      task.WaitFor(queue_, kMxInfinite);
      try {
        Complete();
      } catch (const std::exception& e) {
        MxReportError(ClassName(), e.what());
      }
      return;
    }
  }
  task.WaitFor(queue_, kMxInfinite);
}

}  // namespace tolvek
