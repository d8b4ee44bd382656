// The script task list and its listeners.
#include "script/tasks/script_task_manager.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/text_format.h"
#include "script/tasks/script_task_interface.h"

namespace tolvek {

TScriptTaskManager& TScriptTaskManager::Instance() {
  // Never destroyed: tasks freed at exit still find it.
  static TScriptTaskManager* manager = new TScriptTaskManager();
  return *manager;
}

int32_t TScriptTaskManager::AddTask(TScriptTaskInterface* task) {
  tasks_.push_back(task);
  NotifyChange();
  return ++lastID_;
}

void TScriptTaskManager::RemoveTask(TScriptTaskInterface* task) {
  auto it = std::find(tasks_.begin(), tasks_.end(), task);
  if (it == tasks_.end()) return;
  tasks_.erase(it);
  NotifyChange();
}

int32_t TScriptTaskManager::BusyCount() const {
  return static_cast<int32_t>(
      std::count_if(tasks_.begin(), tasks_.end(), [](TScriptTaskInterface* t) { return t->IsBusy(); }));
}

TScriptTaskInterface* TScriptTaskManager::TaskAt(int32_t index) const {
  if (index < 0 || index >= TaskCount())
    throw EError(StrFormat("TScriptTaskManager.TaskAt: index (%d) out of bounds (%d)", index,
                           TaskCount()));
  return tasks_[index];
}

int32_t TScriptTaskManager::IndexOfTask(const TScriptTaskInterface* task) const {
  auto it = std::find(tasks_.begin(), tasks_.end(), task);
  return it == tasks_.end() ? -1 : static_cast<int32_t>(it - tasks_.begin());
}

void TScriptTaskManager::AddListener(const void* owner, TListener listener) {
  listeners_.push_back(TEntry{owner, std::move(listener)});
}

void TScriptTaskManager::RemoveListener(const void* owner) {
  std::erase_if(listeners_, [owner](const TEntry& entry) { return entry.Owner == owner; });
}

void TScriptTaskManager::NotifyChange() {
  // A listener may add or remove listeners: call a copy.
  const std::vector<TEntry> listeners = listeners_;
  for (const TEntry& entry : listeners) {
    const bool listed = std::any_of(listeners_.begin(), listeners_.end(),
                                    [&](const TEntry& e) { return e.Owner == entry.Owner; });
    if (listed && entry.Listener) entry.Listener(*this);
  }
}

}  // namespace tolvek
