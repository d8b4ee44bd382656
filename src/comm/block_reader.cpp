// Chunked block reads.
#include "comm/block_reader.h"

#include <algorithm>
#include <cstring>

#include "comm/talk_client.h"
#include "comm/talk_command_set.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TBlockReader::TBlockReader(TTalkClient& client) : client_(client), actor_(client.GetActor()) {
  actor_->OnDone = [this](TTalkActor&) { ActorDone(); };
}

TBlockReader::~TBlockReader() {
  actor_->OnDone = nullptr;
  // A busy actor cannot be cleared; its answer still arrives and is dropped with it.
  if (!actor_->IsBusy()) client_.ReturnActor(actor_);
}

void TBlockReader::CheckIdle(const char* operation) const {
  if (actor_->IsBusy()) throw EError(StrFormat("%s.%s: actor is busy", ClassName(), operation));
}

bool TBlockReader::IsBusy() const { return actor_->IsBusy(); }

void TBlockReader::Rewind() {
  chunk_.clear();
  chunkOffset_ = 0;
  consumed_ = 0;
}

void TBlockReader::Clear() {
  CheckIdle("Clear");
  actor_->Clear();
  service_ = nullptr;
  count_ = 0;
  available_ = 0;
  result_ = 0;
  Rewind();
}

void TBlockReader::Put(TTalkLink& service, uint32_t address, uint32_t count) {
  CheckIdle("Put");
  Clear();
  if (!service.Online) throw EError(StrFormat("%s.Put: device is not online", ClassName()));
  TTalkCommandSet* commands = service.StandardCommands();
  if (!commands) throw EError(StrFormat("%s.Put: %s has no standard command set", ClassName(), service.ClassName()));
  const uint32_t width = service.Link.DataWidth;
  const size_t maxChunk = commands->ReadBlock.GetMaxSize();
  if (width == 0 || count % width != 0 || maxChunk == 0)
    throw EError(StrFormat("%s.Put: data word size error", ClassName()));
  uint32_t remaining = count;
  uint32_t chunkAddress = address;
  while (remaining > 0) {
    const uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(remaining, maxChunk));
    commands->ReadBlock.AddRequest(*actor_, 0, chunkAddress, static_cast<uint8_t>(chunk));
    chunkAddress += chunk / width * service.Link.AddressStep;
    remaining -= chunk;
  }
  service_ = &service;
  address_ = address;
  count_ = count;
}

void TBlockReader::Execute() {
  CheckIdle("Execute");
  if (!service_) throw EError(StrFormat("%s.Execute: not initialized", ClassName()));
  result_ = 0;
  available_ = 0;
  Rewind();
  actor_->Execute();
}

void TBlockReader::Reset() {
  CheckIdle("Reset");
  actor_->Reset();
  Rewind();
}

void TBlockReader::ActorDone() {
  result_ = 0;
  available_ = 0;
  actor_->Reset();
  for (uint32_t i = 0; i < actor_->GetCount(); ++i, actor_->Next()) {
    const uint8_t status = actor_->GetStatus();
    if (status != 0) {
      result_ = status;
      break;
    }
    available_ += service_->StandardCommands()->ReadBlock.GetBlock(*actor_).size();
  }
  actor_->Reset();
  Rewind();
  if (OnDone) OnDone(*this);
}

void TBlockReader::ReadBytes(void* buffer, size_t count) {
  CheckIdle("ReadBytes");
  if (count > available_ - consumed_)
    throw EError(StrFormat("%s.ReadBytes: %d bytes asked for, %d left", ClassName(), count, available_ - consumed_));
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < count) {
    if (chunkOffset_ == chunk_.size()) {
      // Refill from the next record; the check above keeps this within the delivered records.
      chunk_ = service_->StandardCommands()->ReadBlock.GetBlock(*actor_);
      chunkOffset_ = 0;
      actor_->Next();
      continue;
    }
    const size_t take = std::min(count - done, chunk_.size() - chunkOffset_);
    std::memcpy(out + done, chunk_.data() + chunkOffset_, take);
    chunkOffset_ += take;
    done += take;
  }
  consumed_ += count;
}

std::string TBlockReader::ReadBytes(size_t count) {
  std::string bytes(count, '\0');
  ReadBytes(bytes.data(), count);
  return bytes;
}

}  // namespace tolvek
