// Byte buffers made of pooled 128-byte segments, and the read cursor over them.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace tolvek {

constexpr uint32_t kMxSegmentSize = 128;

struct TMxBufferSegment {
  TMxBufferSegment* next = nullptr;
  uint8_t data[kMxSegmentSize];
};

// The process's free segments. Segments are created on demand and recycled, never given back
// to the memory manager while the program runs, so steady traffic allocates nothing.
class TMxBufferSegmentPool {
public:
  TMxBufferSegmentPool() = default;
  ~TMxBufferSegmentPool();
  TMxBufferSegmentPool(const TMxBufferSegmentPool&) = delete;
  TMxBufferSegmentPool& operator=(const TMxBufferSegmentPool&) = delete;

  // A free segment, or a new one when none is free.
  TMxBufferSegment* Get();
  // Takes back the chain first..last of `count` segments.
  void Put(TMxBufferSegment* first, TMxBufferSegment* last, uint32_t count);
  uint32_t CreatedCount() const;
  uint32_t FreeCount() const;

private:
  mutable std::mutex lock_;
  TMxBufferSegment* free_ = nullptr;
  uint32_t created_ = 0;
  uint32_t freeCount_ = 0;
};

// Creates the process's segment pool; "MxCreateBufferSegmentPool: pool already exists" when it
// was created before (also by first use through MxBufferSegmentPool).
TMxBufferSegmentPool& MxCreateBufferSegmentPool();
// The process's segment pool, created on first use; it lives until the program ends.
TMxBufferSegmentPool& MxBufferSegmentPool();

// A growable byte buffer: byte i lies in segment i / 128 at offset i % 128. An empty buffer
// has no segments; Clear gives them all back to the pool.
class TMxBuffer {
public:
  TMxBuffer() = default;
  ~TMxBuffer() { Clear(); }
  TMxBuffer(const TMxBuffer&) = delete;
  TMxBuffer& operator=(const TMxBuffer&) = delete;

  uint32_t Size() const { return size_; }
  TMxBufferSegment* First() const { return first_; }
  void AppendByte(uint8_t byte);
  void Append(std::string_view bytes);
  void Clear();
  // The whole buffer, one character per byte.
  std::string AsString() const;
  void AsString(std::string& text) const;
  void Assign(std::string_view bytes);

private:
  TMxBufferSegment* first_ = nullptr;
  TMxBufferSegment* last_ = nullptr;
  uint32_t size_ = 0;
};

// A read cursor: position is a byte index; the segment is looked up lazily as the cursor
// moves on, so walking a buffer costs no search.
class TMxBufferPointer {
public:
  // Puts the cursor at position 0 of `buffer` (nullptr: no buffer).
  void Init(const TMxBuffer* buffer);
  uint32_t Position() const { return position_; }
  // "TMxBufferPointer.EndOfBuffer: Invalid Buffer" without a buffer.
  bool EndOfBuffer() const;
  // The byte under the cursor; "TMxBufferPointer.GetByte: Invalid Buffer" without a buffer,
  // "TMxBufferPointer.GetByte: Read at End of Buffer" at the end.
  uint8_t GetByte();
  // One byte on (nothing at the end); "TMxBufferPointer.Increment: Invalid Buffer".
  void Increment();

private:
  void ValidateSegment();

  const TMxBuffer* buffer_ = nullptr;
  TMxBufferSegment* segment_ = nullptr;
  uint32_t position_ = 0;
  bool segmentValid_ = false;
};

}  // namespace tolvek
