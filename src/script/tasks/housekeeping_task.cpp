// The pool drain task.
#include "script/tasks/housekeeping_task.h"

#include "platform/debug_log.h"
#include "script/ref_obj.h"

namespace tolvek {

THousekeepingTask::THousekeepingTask(uint32_t intervalMs)
    : task_(std::make_unique<TMxTask>()), intervalMs_(intervalMs) {
  task_->SetPriority(3);
  task_->OnExecute = [this](TMxTask& task) {
    try {
      TRefObjManager::Instance().ReleasePool();
    } catch (const std::exception& e) {
      // A failing destructor must not stop the drains that follow.
      DebugError(e.what());
    }
    ++drains_;
    task.Sleep(intervalMs_);
  };
  task_->Start();
}

THousekeepingTask::~THousekeepingTask() = default;

}  // namespace tolvek
