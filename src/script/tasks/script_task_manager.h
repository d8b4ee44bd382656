// The process-wide list of script tasks, numbered in creation order, with listeners that are
// told of every change (the task manager window refreshes through them).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace tolvek {

class TScriptTaskInterface;

class TScriptTaskManager {
public:
  using TListener = std::function<void(TScriptTaskManager& manager)>;

  // The one instance; main thread only.
  static TScriptTaskManager& Instance();

  // Appends a task (not owned), notifies the listeners and answers the task's ID: 1, 2, 3 ...
  // in creation order, never reused.
  int32_t AddTask(TScriptTaskInterface* task);
  // Removes a task and notifies the listeners.
  void RemoveTask(TScriptTaskInterface* task);
  int32_t TaskCount() const { return static_cast<int32_t>(tasks_.size()); }
  // Tasks that are not idle.
  int32_t BusyCount() const;
  TScriptTaskInterface* TaskAt(int32_t index) const;
  // Position of the task, -1 when not listed.
  int32_t IndexOfTask(const TScriptTaskInterface* task) const;

  // Adds a listener under `owner`, which RemoveListener names to take it off again.
  void AddListener(const void* owner, TListener listener);
  void RemoveListener(const void* owner);
  // Tells the listeners that a task was added, removed, started or has ended.
  void NotifyChange();

private:
  struct TEntry {
    const void* Owner;
    TListener Listener;
  };
  std::vector<TScriptTaskInterface*> tasks_;
  std::vector<TEntry> listeners_;
  int32_t lastID_ = 0;
};

}  // namespace tolvek
