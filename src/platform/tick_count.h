// The wrapping 32-bit millisecond tick that every time-out and timer of the system counts in.
#pragma once

#include <cstdint>

namespace tolvek {

// Milliseconds since an arbitrary origin (CLOCK_MONOTONIC), wrapping every 49.7 days.
uint32_t GetTickCount();

// Moves the origin of GetTickCount by `offset` ms for the whole process. The counter keeps
// running; tests use it to run timers across the 32-bit wrap without waiting 49 days.
void SetTickCountOffset(uint32_t offset);

// True when the tick `due` has been reached at `now`. The difference is read as signed, so the
// answer stays right across the wrap for any due tick less than 2^31 ms away.
inline bool TickReached(uint32_t now, uint32_t due) {
  return static_cast<int32_t>(due - now) <= 0;
}

// Milliseconds from `now` until `due`, 0 when it has been reached.
inline uint32_t TickRemaining(uint32_t now, uint32_t due) {
  return TickReached(now, due) ? 0 : due - now;
}

}  // namespace tolvek
