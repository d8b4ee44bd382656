// Segment pool, buffers and the read cursor.
#include "kernel/buffer.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/error.h"

namespace tolvek {

namespace {

std::mutex gPoolCreation;
std::atomic<TMxBufferSegmentPool*> gPool{nullptr};

TMxBufferSegmentPool& CreatePoolLocked() {
  // Never destroyed: buffers of static objects may still give segments back at exit.
  auto* pool = new TMxBufferSegmentPool;
  gPool.store(pool, std::memory_order_release);
  return *pool;
}

}  // namespace

TMxBufferSegmentPool::~TMxBufferSegmentPool() {
  while (free_) {
    TMxBufferSegment* next = free_->next;
    delete free_;
    free_ = next;
  }
}

TMxBufferSegment* TMxBufferSegmentPool::Get() {
  {
    std::lock_guard lock(lock_);
    if (TMxBufferSegment* segment = free_) {
      free_ = segment->next;
      --freeCount_;
      segment->next = nullptr;
      return segment;
    }
    ++created_;
  }
  return new TMxBufferSegment;
}

void TMxBufferSegmentPool::Put(TMxBufferSegment* first, TMxBufferSegment* last, uint32_t count) {
  if (!first) return;
  std::lock_guard lock(lock_);
  last->next = free_;
  free_ = first;
  freeCount_ += count;
}

uint32_t TMxBufferSegmentPool::CreatedCount() const {
  std::lock_guard lock(lock_);
  return created_;
}

uint32_t TMxBufferSegmentPool::FreeCount() const {
  std::lock_guard lock(lock_);
  return freeCount_;
}

TMxBufferSegmentPool& MxCreateBufferSegmentPool() {
  std::lock_guard lock(gPoolCreation);
  if (gPool.load(std::memory_order_acquire)) throw EError("MxCreateBufferSegmentPool: pool already exists");
  return CreatePoolLocked();
}

TMxBufferSegmentPool& MxBufferSegmentPool() {
  if (TMxBufferSegmentPool* pool = gPool.load(std::memory_order_acquire)) return *pool;
  std::lock_guard lock(gPoolCreation);
  if (TMxBufferSegmentPool* pool = gPool.load(std::memory_order_acquire)) return *pool;
  return CreatePoolLocked();
}

void TMxBuffer::AppendByte(uint8_t byte) {
  const uint32_t offset = size_ % kMxSegmentSize;
  if (offset == 0) {
    TMxBufferSegment* segment = MxBufferSegmentPool().Get();
    if (last_)
      last_->next = segment;
    else
      first_ = segment;
    last_ = segment;
  }
  last_->data[offset] = byte;
  ++size_;
}

void TMxBuffer::Append(std::string_view bytes) {
  while (!bytes.empty()) {
    const uint32_t offset = size_ % kMxSegmentSize;
    if (offset == 0) {
      AppendByte(static_cast<uint8_t>(bytes.front()));
      bytes.remove_prefix(1);
      continue;
    }
    const size_t n = std::min<size_t>(bytes.size(), kMxSegmentSize - offset);
    std::memcpy(last_->data + offset, bytes.data(), n);
    size_ += static_cast<uint32_t>(n);
    bytes.remove_prefix(n);
  }
}

void TMxBuffer::Clear() {
  if (!first_) return;
  MxBufferSegmentPool().Put(first_, last_, (size_ + kMxSegmentSize - 1) / kMxSegmentSize);
  first_ = last_ = nullptr;
  size_ = 0;
}

void TMxBuffer::AsString(std::string& text) const {
  text.clear();
  text.reserve(size_);
  uint32_t left = size_;
  for (const TMxBufferSegment* segment = first_; segment && left > 0; segment = segment->next) {
    const uint32_t n = std::min(left, kMxSegmentSize);
    text.append(reinterpret_cast<const char*>(segment->data), n);
    left -= n;
  }
}

std::string TMxBuffer::AsString() const {
  std::string text;
  AsString(text);
  return text;
}

void TMxBuffer::Assign(std::string_view bytes) {
  Clear();
  Append(bytes);
}

void TMxBufferPointer::Init(const TMxBuffer* buffer) {
  buffer_ = buffer;
  segment_ = nullptr;
  position_ = 0;
  segmentValid_ = false;
}

bool TMxBufferPointer::EndOfBuffer() const {
  if (!buffer_) throw EError("TMxBufferPointer.EndOfBuffer: Invalid Buffer");
  return position_ >= buffer_->Size();
}

void TMxBufferPointer::ValidateSegment() {
  if (segmentValid_) return;
  segment_ = position_ == 0 || !segment_ ? buffer_->First() : segment_->next;
  segmentValid_ = true;
}

uint8_t TMxBufferPointer::GetByte() {
  if (!buffer_) throw EError("TMxBufferPointer.GetByte: Invalid Buffer");
  if (position_ >= buffer_->Size()) throw EError("TMxBufferPointer.GetByte: Read at End of Buffer");
  ValidateSegment();
  return segment_->data[position_ % kMxSegmentSize];
}

void TMxBufferPointer::Increment() {
  if (!buffer_) throw EError("TMxBufferPointer.Increment: Invalid Buffer");
  if (position_ >= buffer_->Size()) return;
  ValidateSegment();
  ++position_;
  if (position_ % kMxSegmentSize == 0) segmentValid_ = false;
}

}  // namespace tolvek
