// A short, self-limiting spin before a thread goes to sleep.
#pragma once

#include <chrono>
#include <cstdint>

namespace tolvek {

// Work handed between two threads often comes back within microseconds, while waking a sleeping
// thread costs far more. A waiter that has just run out of work may therefore watch for new work
// for a moment before it sleeps. The moment adapts: it doubles (up to kMaxMicroseconds) when
// the work came in time, and halves down to nothing when it did not, as on a machine whose
// processors are all busy, where spinning only takes time from the thread that would answer.
// Every kRetryAfter sleeps without spinning it tries once more. It only ever spins right after
// work, so an idle thread sleeps without using the processor. One instance per waiting thread.
class TAdaptiveSpin {
public:
  static constexpr int64_t kMaxMicroseconds = 50;
  static constexpr int64_t kMinMicroseconds = 2;
  static constexpr int kRetryAfter = 64;

  // Spins until `ready()` holds or the moment has passed; answers ready().
  template <typename Ready>
  bool SpinUntil(Ready&& ready) {
    if (budget_ == 0) {
      if (++sleepsWithoutSpin_ < kRetryAfter) return ready();
      sleepsWithoutSpin_ = 0;
      budget_ = kMinMicroseconds;
    }
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::microseconds(budget_);
    do {
      for (int i = 0; i < 16; ++i) {
        if (ready()) {
          budget_ = budget_ * 2 > kMaxMicroseconds ? kMaxMicroseconds : budget_ * 2;
          return true;
        }
        Relax();
      }
    } while (Clock::now() < until);
    budget_ /= 2;
    return ready();
  }

private:
  static void Relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }

  int64_t budget_ = kMinMicroseconds;
  int sleepsWithoutSpin_ = 0;
};

}  // namespace tolvek
