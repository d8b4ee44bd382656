// The device tree model: every model item of the process, the update brackets their owners
// change them in, and the task that brings the bound tree views up to date two slices after
// the outermost bracket closes.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "devices/model_item.h"
#include "devices/tree_view.h"
#include "kernel/task.h"
#include "kernel/task_control.h"

namespace tolvek {

class TEntryManager;

class TModelManager {
public:
  // Creates the root item and the synchronisation task on the main scheduler.
  TModelManager();
  // Frees every item, whether released or not; entry managers still bound become inert.
  ~TModelManager();
  TModelManager(const TModelManager&) = delete;
  TModelManager& operator=(const TModelManager&) = delete;

  const char* ClassName() const { return "TModelManager"; }

  // Opens a bracket; "TModelManager.BeginUpdate: internal error" while synchronising.
  void BeginUpdate();
  // Closes a bracket; closing the outermost one makes a synchronisation due.
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }
  // From the first BeginUpdate until the synchronisation that follows.
  bool UpdateInProgress() const { return updateInProgress_; }
  bool Synchronising() const { return synchronising_; }

  // A new item of type T, made with (model, args...) and owned by the model.
  template <class T = TModelItem, class... A>
  T& NewItem(A&&... args) {
    return *new T(*this, std::forward<A>(args)...);
  }

  TModelItem& Root() const { return *root_; }
  int ItemCount() const { return static_cast<int>(items_.size()); }
  TModelItem& ItemAt(int index) const { return *items_.at(static_cast<size_t>(index)); }
  // The images of the tree nodes; the bound tree views show them.
  TImageList& Images() { return images_; }

private:
  friend class TModelItem;
  friend class TEntryManager;

  void AddItem(TModelItem* item) { items_.push_back(item); }
  void AddEntryManager(TEntryManager* manager) { entryManagers_.push_back(manager); }
  void RemoveEntryManager(TEntryManager* manager);
  // A release asked for while synchronising; carried out right after it.
  void DeferRelease(TModelItem* item) { deferredReleases_.push_back(item); }

  void Work();
  void Synchronise();
  void FreeReleasedItems();

  std::vector<TModelItem*> items_;
  TModelItem* root_ = nullptr;
  int updateCount_ = 0;
  bool updateInProgress_ = false;
  bool synchronising_ = false;
  std::vector<TEntryManager*> entryManagers_;
  TImageList images_;
  std::vector<TModelItem*> deferredReleases_;
  // The signal outlives the task that waits on it.
  TMxSignal signal_;
  TMxTask task_;
  uint8_t state_ = 0;  // 0 idle, 1 synchronisation due
  bool changed_ = false;
};

// One update bracket for the life of the object, closed even when the bracketed code fails.
class TModelUpdate {
public:
  explicit TModelUpdate(TModelManager& model) : model_(model) { model_.BeginUpdate(); }
  ~TModelUpdate() { model_.EndUpdate(); }
  TModelUpdate(const TModelUpdate&) = delete;
  TModelUpdate& operator=(const TModelUpdate&) = delete;

private:
  TModelManager& model_;
};

}  // namespace tolvek
