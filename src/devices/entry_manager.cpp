// Entries, the tree view's events and the synchronisation of one tree view with the model.
#include "devices/entry_manager.h"

#include <algorithm>

#include "devices/model_item.h"
#include "devices/model_manager.h"
#include "platform/error.h"
#include "platform/user_interface.h"

namespace tolvek {

TEntryItem::TEntryItem(TEntryManager& manager, TModelItem& item) : manager_(manager), item_(item) {
  if (item.ViewFactory()) slots_.resize(1);
}

TEntryItem::~TEntryItem() = default;

TViewData* TEntryItem::ViewData() const {
  if (viewIndex_ < 0 || viewIndex_ >= ViewCount()) return nullptr;
  return slots_[static_cast<size_t>(viewIndex_)].get();
}

void TEntryItem::StoreViewData(TViewData* data) {
  if (viewIndex_ < 0 || viewIndex_ >= ViewCount()) {
    delete data;
    return;
  }
  auto& slot = slots_[static_cast<size_t>(viewIndex_)];
  if (slot.get() != data) slot.reset(data);
}

std::string TEntryItem::GetText(const std::string& name) const { return item_.GetText(name); }

TEntryManager::TEntryManager(TModelManager& model, TTreeView& view) : model_(&model), view_(view) {
  model.AddEntryManager(this);
  view.SetImages(&model.Images());
  view.OnChange = [this](TTreeNode* node) { Change(node); };
  view.OnExpanding = [this](TTreeNode& node, bool& allow) { Expanding(node, allow); };
  view.OnCollapsing = [this](TTreeNode& node, bool& allow) { Collapsing(node, allow); };
  view.OnExpanded = [this](TTreeNode& node) {
    if (Owns(node.Data())) node.Data()->SetExpanded(true);
  };
  view.OnCollapsed = [this](TTreeNode& node) {
    if (Owns(node.Data())) node.Data()->SetExpanded(false);
  };
  view.OnEditing = [this](TTreeNode& node, bool& allow) { Editing(node, allow); };
  view.OnEdited = [this](TTreeNode& node, std::string& text) { Edited(node, text); };
  view.Clear();
  TModelItem& rootItem = model.Root();
  entries_.push_back(rootItem.CreateEntry(*this));
  root_ = entries_.back().get();
  rootItem.SetEntryIndex(0);
  TTreeNode* node = view.AddChild(nullptr, rootItem.Caption());
  node->SetData(root_);
  SetupNode(*node, *root_);
}

TEntryManager::~TEntryManager() {
  if (model_) model_->RemoveEntryManager(this);
  Unbind();
}

void TEntryManager::Unbind() {
  view_.OnChange = nullptr;
  view_.OnExpanding = nullptr;
  view_.OnCollapsing = nullptr;
  view_.OnExpanded = nullptr;
  view_.OnCollapsed = nullptr;
  view_.OnEditing = nullptr;
  view_.OnEdited = nullptr;
  // The nodes point at entries that go now.
  view_.Clear();
  view_.SetImages(nullptr);
}

void TEntryManager::ModelDestroyed() {
  Unbind();
  root_ = nullptr;
  entries_.clear();
  model_ = nullptr;
}

TEntryItem* TEntryManager::SelectedEntry() const {
  TTreeNode* node = view_.Selected();
  return node && Owns(node->Data()) ? node->Data() : nullptr;
}

bool TEntryManager::Owns(const TEntryItem* entry) const { return entry && &entry->Manager() == this; }

TEntryItem& TEntryManager::EntryFor(TModelItem& item) {
  const int index = item.EntryIndex();
  if (index >= 0 && index < EntryCount() && &entries_[static_cast<size_t>(index)]->Item() == &item)
    return *entries_[static_cast<size_t>(index)];
  // The scratch index belongs to whichever manager synchronised last.
  for (size_t i = 0; i < entries_.size(); ++i)
    if (&entries_[i]->Item() == &item) {
      item.SetEntryIndex(static_cast<int>(i));
      return *entries_[i];
    }
  entries_.push_back(item.CreateEntry(*this));
  item.SetEntryIndex(EntryCount() - 1);
  return *entries_.back();
}

void TEntryManager::SetupNode(TTreeNode& node, TEntryItem& entry) {
  TModelItem& item = entry.Item();
  if (item.Released()) throw EError("TEntryManager.SetupNode: internal error - node released");
  node.SetText(item.Caption());
  node.SetImageIndex(item.ImageIndex());
  node.SetSelectedIndex(item.ImageIndex());
  node.SetHasChildren(item.HasListedChild());
  if (entry.Expanded()) node.Expand();
}

void TEntryManager::BuildChildren(TTreeNode& node) {
  node.DeleteChildren();
  TModelItem& item = node.Data()->Item();
  for (int i = 0; i < item.ChildCount(); ++i) {
    TModelItem& child = item.GetChild(i);
    if (!child.Listed()) continue;
    TEntryItem& entry = EntryFor(child);
    TTreeNode* childNode = view_.AddChild(&node, child.Caption());
    childNode->SetData(&entry);
    SetupNode(*childNode, entry);
  }
}

void TEntryManager::UpdateNode(TTreeNode& node) {
  TEntryItem* entry = node.Data();
  if (!Owns(entry) || entry->Item().EntryIndex() < 0 || entry->Item().EntryIndex() >= EntryCount() ||
      entries_[static_cast<size_t>(entry->Item().EntryIndex())].get() != entry)
    throw EError("TEntryItem.Update: internal error - node mismatch");
  TModelItem& item = entry->Item();
  if (item.Released()) throw EError("TEntryManager.SetupNode: internal error - node released");
  const uint8_t changes = item.ChangeBits();
  if ((changes & mcChildren) && node.Count() > 0) node.DeleteChildren();
  if (node.Count() == 0 && entry->Expanded()) BuildChildren(node);
  if (changes & mcCaption) {
    node.SetText(item.Caption());
    node.SetImageIndex(item.ImageIndex());
    node.SetSelectedIndex(item.ImageIndex());
  }
  if (changes & mcChildren) node.SetHasChildren(item.HasListedChild());
  for (int i = 0; i < node.Count(); ++i) UpdateNode(*node.Item(i));
  if (entry->Expanded() && !node.Expanded() && node.Count() > 0) node.Expand();
}

void TEntryManager::Synchronise() {
  TTreeNode* rootNode = view_.Root();
  if (!rootNode) return;

  // The selected node and its ancestors, selected node first.
  std::vector<TEntryItem*> chain;
  for (TTreeNode* node = view_.Selected(); node; node = node->Parent()) chain.push_back(node->Data());

  for (int i = 0; i < model_->ItemCount(); ++i) model_->ItemAt(i).SetEntryIndex(-1);
  for (size_t i = 0; i < entries_.size(); ++i) entries_[i]->Item().SetEntryIndex(static_cast<int>(i));

  UpdateNode(*rootNode);

  root_->SetExpanded(true);
  if (OnSelectionChanged) OnSelectionChanged(SelectedEntry());

  // Only pointers are compared from here on: the chain may hold entries freed below.
  std::erase_if(entries_, [this](const std::unique_ptr<TEntryItem>& entry) {
    return entry->Item().Released() && entry.get() != root_;
  });

  // Walk down the remembered chain from where the selection is now (the root when the
  // selection went with its node), as far as the nodes still hold its entries.
  if (chain.empty()) return;
  TTreeNode* node = view_.Selected();
  auto position = node ? std::find(chain.begin(), chain.end(), node->Data()) : chain.end();
  if (position == chain.end()) {
    node = rootNode;
    position = std::find(chain.begin(), chain.end(), rootNode->Data());
    if (position == chain.end()) return;
    view_.Select(node);
  }
  while (position != chain.begin()) {
    --position;
    TTreeNode* child = ChildWithEntry(*node, *position);
    if (!child) break;
    node = child;
    view_.Select(node);
  }
}

TTreeNode* TEntryManager::ChildWithEntry(TTreeNode& node, const TEntryItem* entry) const {
  for (int i = 0; i < node.Count(); ++i)
    if (node.Item(i)->Data() == entry) return node.Item(i);
  return nullptr;
}

TTreeNode* TEntryManager::ChildWithCaption(TTreeNode& node, const std::string& caption) {
  if (node.Count() == 0 && Owns(node.Data()) && node.Data()->Item().HasListedChild()) BuildChildren(node);
  for (int i = 0; i < node.Count(); ++i)
    if (node.Item(i)->Text() == caption) return node.Item(i);
  return nullptr;
}

std::string TEntryManager::PathOfSelection() const {
  TTreeNode* selected = view_.Selected();
  if (!selected) return "";
  std::vector<std::string> captions;
  TTreeNode* node = selected;
  for (; node->Parent(); node = node->Parent()) captions.push_back(node->Text());
  std::string path = node->Text() + "://";
  for (auto caption = captions.rbegin(); caption != captions.rend(); ++caption) {
    if (caption != captions.rbegin()) path += '/';
    path += *caption;
  }
  return path;
}

void TEntryManager::SelectPath(const std::string& path) {
  TTreeNode* rootNode = view_.Root();
  if (!rootNode) return;
  std::string rest = path;
  TTreeNode* node = view_.Selected();
  const size_t separator = path.find("://");
  if (separator != std::string::npos) {
    if (path.substr(0, separator) != rootNode->Text()) throw EError("internal error: tree name error");
    rest = path.substr(separator + 3);
    node = rootNode;
    view_.Select(node);
  }
  if (!node) node = rootNode;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find('/', start);
    if (end == std::string::npos) end = rest.size();
    const std::string component = rest.substr(start, end - start);
    start = end + 1;
    if (component.empty()) continue;
    TTreeNode* next = component == ".." ? node->Parent() : ChildWithCaption(*node, component);
    if (!next) return;
    node = next;
    view_.Select(node);
  }
}

void TEntryManager::Change(TTreeNode* node) {
  if (!model_ || model_->UpdateInProgress()) return;
  if (OnSelectionChanged) OnSelectionChanged(node && Owns(node->Data()) ? node->Data() : nullptr);
}

void TEntryManager::Expanding(TTreeNode& node, bool& allow) {
  if (!model_ || !Owns(node.Data())) return;
  TModelItem& item = node.Data()->Item();
  const bool unbuilt = node.Count() == 0 && item.HasListedChild();
  // Building nodes now would show a model that is half way through a change.
  if (model_->UpdateInProgress() || model_->Synchronising()) {
    if (unbuilt) allow = false;
    return;
  }
  if (unbuilt) BuildChildren(node);
}

void TEntryManager::Collapsing(TTreeNode& node, bool& allow) {
  if (&node == view_.Root()) allow = false;
}

void TEntryManager::Editing(TTreeNode& node, bool& allow) {
  allow = Owns(node.Data()) && node.Data()->Item().State(msEditable);
}

void TEntryManager::Edited(TTreeNode& node, std::string& text) {
  UserInterface().MessageBox("end of editing", TMsgDlgType::mtInformation, mbOK, mbOK);
  // The model keeps its caption, so the node does too.
  if (Owns(node.Data())) text = node.Data()->Item().Caption();
}

}  // namespace tolvek
