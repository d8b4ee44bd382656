// The binding of the tree model to one tree view: an entry per model item shown there, the
// tree view's events, the synchronisation of the nodes with the model's change bits, and path
// names of the selection ("Project://BOX1/Parameters").
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devices/application_view.h"
#include "devices/tree_view.h"

namespace tolvek {

class TEntryManager;
class TModelItem;
class TModelManager;

// A model item as one tree view shows it: whether its node is expanded, and the data its
// views keep between showings (one slot when the item has a view factory).
class TEntryItem {
public:
  TEntryItem(TEntryManager& manager, TModelItem& item);
  virtual ~TEntryItem();
  TEntryItem(const TEntryItem&) = delete;
  TEntryItem& operator=(const TEntryItem&) = delete;

  TEntryManager& Manager() const { return manager_; }
  TModelItem& Item() const { return item_; }
  bool Expanded() const { return expanded_; }
  void SetExpanded(bool expanded) { expanded_ = expanded; }

  int ViewCount() const { return static_cast<int>(slots_.size()); }
  int ViewIndex() const { return viewIndex_; }
  void SetViewIndex(int index) { viewIndex_ = index; }
  // The data of the current slot (nullptr when none or outside the slots).
  TViewData* ViewData() const;
  // Takes `data` into the current slot, freeing a different object that was there; outside
  // the slots the data is freed.
  void StoreViewData(TViewData* data);
  // The item's text of `name` (asked up to the root).
  std::string GetText(const std::string& name) const;

private:
  TEntryManager& manager_;
  TModelItem& item_;
  bool expanded_ = false;
  std::vector<std::unique_ptr<TViewData>> slots_;
  int viewIndex_ = 0;
};

class TEntryManager {
public:
  using TSelectionCallback = std::function<void(TEntryItem* selected)>;
  using TViewTextCallback = std::function<std::string(const std::string& name)>;

  // Binds `view` to `model`: the view gets the model's images and loses its nodes, and shows
  // the root item's node.
  TEntryManager(TModelManager& model, TTreeView& view);
  // Unbinds from the model and empties the view.
  ~TEntryManager();
  TEntryManager(const TEntryManager&) = delete;
  TEntryManager& operator=(const TEntryManager&) = delete;

  const char* ClassName() const { return "TEntryManager"; }

  // The root node's caption, "://", and the captions from below the root down to the selected
  // node joined by "/"; "" without a selection.
  std::string PathOfSelection() const;
  // Selects along `path`: "root://a/b" starts at the root (whose caption must match, else
  // "internal error: tree name error"), "a/b" at the selected node; ".." is the parent. The
  // walk stops silently at the first component that matches nothing.
  void SelectPath(const std::string& path);

  TTreeView& TreeView() const { return view_; }
  // The model, or nullptr after the model was destroyed.
  TModelManager* Model() const { return model_; }
  TEntryItem* RootEntry() const { return root_; }
  TEntryItem* SelectedEntry() const;
  int EntryCount() const { return static_cast<int>(entries_.size()); }
  TEntryItem& EntryAt(int index) const { return *entries_.at(static_cast<size_t>(index)); }

  // Called when the selection changes (not while the model is being updated) and after every
  // synchronisation.
  TSelectionCallback OnSelectionChanged;
  // The texts the window answers its views.
  TViewTextCallback OnViewText;

private:
  friend class TModelManager;

  // Brings the nodes up to date with the model (the model's synchronisation slice).
  void Synchronise();
  void ModelDestroyed();
  void Unbind();

  void UpdateNode(TTreeNode& node);
  void BuildChildren(TTreeNode& node);
  void SetupNode(TTreeNode& node, TEntryItem& entry);
  // The item's entry of this manager, made when it has none.
  TEntryItem& EntryFor(TModelItem& item);
  bool Owns(const TEntryItem* entry) const;
  TTreeNode* ChildWithEntry(TTreeNode& node, const TEntryItem* entry) const;
  TTreeNode* ChildWithCaption(TTreeNode& node, const std::string& caption);

  void Change(TTreeNode* node);
  void Expanding(TTreeNode& node, bool& allow);
  void Collapsing(TTreeNode& node, bool& allow);
  void Editing(TTreeNode& node, bool& allow);
  void Edited(TTreeNode& node, std::string& text);

  TModelManager* model_;
  TTreeView& view_;
  std::vector<std::unique_ptr<TEntryItem>> entries_;
  TEntryItem* root_ = nullptr;
};

}  // namespace tolvek
