// Chunked block writes.
#include "comm/block_writer.h"

#include <algorithm>

#include "comm/talk_client.h"
#include "comm/talk_command_set.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TBlockWriter::TBlockWriter(TTalkClient& client) : client_(client), actor_(client.GetActor()) {
  actor_->OnDone = [this](TTalkActor&) { ActorDone(); };
}

TBlockWriter::~TBlockWriter() {
  actor_->OnDone = nullptr;
  // A busy actor cannot be cleared; its answer still arrives and is dropped with it.
  if (!actor_->IsBusy()) client_.ReturnActor(actor_);
}

void TBlockWriter::CheckIdle(const char* operation) const {
  if (actor_->IsBusy()) throw EError(StrFormat("%s.%s: actor is busy", ClassName(), operation));
}

bool TBlockWriter::IsBusy() const { return actor_->IsBusy(); }

void TBlockWriter::Clear() {
  CheckIdle("Clear");
  actor_->Clear();
  service_ = nullptr;
  pattern_ = nullptr;
  sendBuffer_.clear();
  total_ = 0;
  result_ = 0;
}

void TBlockWriter::Prepare(TTalkLink& service, uint32_t address, uint8_t command) {
  CheckIdle("Put");
  Clear();
  if (!service.Online) throw EError(StrFormat("%s.Put: device is not online", ClassName()));
  TTalkCommandSet* commands = service.StandardCommands();
  if (!commands) throw EError(StrFormat("%s.Put: %s has no standard command set", ClassName(), service.ClassName()));
  const TSetBlockPattern& pattern = command == 0x31   ? commands->WriteBlockMemory
                                    : command == 0x32 ? commands->WriteBlockFlash
                                                      : commands->WriteBlockEncoded;
  const size_t maxChunk = pattern.GetMaxSize();
  if (maxChunk == 0) throw EError(StrFormat("%s.Put: data word size error", ClassName()));
  service_ = &service;
  pattern_ = &pattern;
  command_ = command;
  maxChunk_ = maxChunk;
  startAddress_ = address;
  address_ = address;
}

void TBlockWriter::Put(TTalkLink& service, uint32_t address, int kind) {
  Prepare(service, address, kind == 0 ? 0x31 : 0x32);
}

void TBlockWriter::PutEncoded(TTalkLink& service, uint32_t address) { Prepare(service, address, 0x37); }

void TBlockWriter::PutSendBuffer() {
  const size_t width = service_->Link.DataWidth;
  if (sendBuffer_.size() % width != 0)
    throw EError(StrFormat("%s.PutSendBuffer: data word size error", ClassName()));
  pattern_->AddRequest(*actor_, 0, address_, sendBuffer_);
  address_ += static_cast<uint32_t>(sendBuffer_.size() / width * service_->Link.AddressStep);
  sendBuffer_.clear();
}

void TBlockWriter::PutData(const void* bytes, size_t count) {
  if (!service_) throw EError(StrFormat("%s.PutData: not initialized", ClassName()));
  if (count == 0) return;
  CheckIdle("PutData");
  total_ += count;
  const char* data = static_cast<const char*>(bytes);
  while (count > 0) {
    const size_t take = std::min(count, maxChunk_ - sendBuffer_.size());
    sendBuffer_.append(data, take);
    data += take;
    count -= take;
    if (sendBuffer_.size() == maxChunk_) PutSendBuffer();
  }
}

void TBlockWriter::Execute() {
  CheckIdle("Execute");
  if (!service_) throw EError(StrFormat("%s.Execute: not initialized", ClassName()));
  if (!sendBuffer_.empty()) PutSendBuffer();
  result_ = 0;
  actor_->Execute();
}

void TBlockWriter::ActorDone() {
  result_ = 0;
  actor_->Reset();
  for (uint32_t i = 0; i < actor_->GetCount(); ++i, actor_->Next()) {
    if (const uint8_t status = actor_->GetStatus()) {
      result_ = status;
      break;
    }
  }
  actor_->Reset();
  if (OnDone) OnDone(*this);
}

}  // namespace tolvek
