// The task that drains the auto-release pool on the main thread: each slice releases what was
// pooled and then sleeps, so auto-released values live at least until the next drain.
#pragma once

#include <cstdint>
#include <memory>

#include "kernel/task.h"

namespace tolvek {

class THousekeepingTask {
public:
  // Starts a task of priority 3 on the main scheduler that drains every `intervalMs` ms.
  explicit THousekeepingTask(uint32_t intervalMs = 1000);
  ~THousekeepingTask();
  THousekeepingTask(const THousekeepingTask&) = delete;
  THousekeepingTask& operator=(const THousekeepingTask&) = delete;

  // Number of drains done so far.
  uint64_t DrainCount() const noexcept { return drains_; }

private:
  std::unique_ptr<TMxTask> task_;
  uint32_t intervalMs_;
  uint64_t drains_ = 0;
};

}  // namespace tolvek
