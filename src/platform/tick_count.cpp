// The millisecond tick, read from CLOCK_MONOTONIC.
#include "platform/tick_count.h"

#include <atomic>
#include <ctime>

namespace tolvek {

namespace {
std::atomic<uint32_t> gTickOffset{0};
}

uint32_t GetTickCount() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u +
                      static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms) + gTickOffset.load(std::memory_order_relaxed);
}

void SetTickCountOffset(uint32_t offset) { gTickOffset.store(offset, std::memory_order_relaxed); }

}  // namespace tolvek
