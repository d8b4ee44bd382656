// The tree model's brackets, its synchronisation task and the freeing of released items.
#include "devices/model_manager.h"

#include <algorithm>

#include "devices/entry_manager.h"
#include "platform/error.h"

namespace tolvek {

TModelManager::TModelManager() {
  root_ = &NewItem();
  task_.Start();
  task_.WaitFor(signal_, kMxInfinite);
  task_.OnExecute = [this](TMxTask&) { Work(); };
}

TModelManager::~TModelManager() {
  task_.OnExecute = nullptr;
  task_.Stop();
  for (TEntryManager* manager : std::vector<TEntryManager*>(entryManagers_)) manager->ModelDestroyed();
  entryManagers_.clear();
  for (TModelItem* item : items_) delete item;
}

void TModelManager::BeginUpdate() {
  if (synchronising_) throw EError("TModelManager.BeginUpdate: internal error");
  ++updateCount_;
  updateInProgress_ = true;
}

void TModelManager::EndUpdate() {
  if (updateCount_ == 0) return;
  if (--updateCount_ == 0) {
    changed_ = true;
    signal_.SetSignal(true);
  }
}

void TModelManager::RemoveEntryManager(TEntryManager* manager) {
  entryManagers_.erase(std::remove(entryManagers_.begin(), entryManagers_.end(), manager),
                       entryManagers_.end());
}

// One slice: a change seen in this slice makes the synchronisation due in the next one, so
// that everything the owners do right after their bracket is taken along.
void TModelManager::Work() {
  if (changed_) {
    changed_ = false;
    state_ = 1;
  } else if (state_ == 1) {
    state_ = 0;
    signal_.SetSignal(false);
    // A bracket opened in between postpones it to the bracket's end.
    if (updateCount_ == 0) Synchronise();
  } else {
    signal_.SetSignal(false);
  }
  if (task_.State() == tsReady) task_.WaitFor(signal_, kMxInfinite);
}

void TModelManager::Synchronise() {
  updateInProgress_ = false;
  synchronising_ = true;
  try {
    // A callback of one tree may unbind another; such a one is skipped.
    for (TEntryManager* manager : std::vector<TEntryManager*>(entryManagers_))
      if (std::find(entryManagers_.begin(), entryManagers_.end(), manager) != entryManagers_.end())
        manager->Synchronise();
    FreeReleasedItems();
  } catch (...) {
    synchronising_ = false;
    throw;
  }
  for (TModelItem* item : items_) item->changes_ = 0;
  synchronising_ = false;
  // Releases asked for by callbacks of this synchronisation.
  std::vector<TModelItem*> deferred;
  deferred.swap(deferredReleases_);
  for (TModelItem* item : deferred) item->ReleaseItem();
}

void TModelManager::FreeReleasedItems() {
  std::vector<TModelItem*> kept;
  kept.reserve(items_.size());
  std::vector<TModelItem*> released;
  for (TModelItem* item : items_) (item->Released() ? released : kept).push_back(item);
  items_.swap(kept);
  for (TModelItem* item : released) {
    // An item released by SetState alone may still hang in a tree: unlink it both ways, so no
    // pointer to it survives.
    if (TModelItem* parent = item->parent_) {
      auto& siblings = parent->children_;
      siblings.erase(std::remove(siblings.begin(), siblings.end(), item), siblings.end());
    }
    for (TModelItem* child : item->children_) child->parent_ = nullptr;
  }
  for (TModelItem* item : released) delete item;
}

}  // namespace tolvek
