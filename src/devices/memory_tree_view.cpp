// The tree view without a display.
#include "devices/memory_tree_view.h"

#include <functional>

namespace tolvek {

TMemoryTreeNode::TMemoryTreeNode(TMemoryTreeView& view, TMemoryTreeNode* parent, std::string text)
    : view_(view), parent_(parent), text_(std::move(text)) {}

TTreeNode* TMemoryTreeNode::Item(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return children_[static_cast<size_t>(index)].get();
}

void TMemoryTreeNode::Expand() {
  if (expanded_) return;
  bool allow = true;
  if (view_.OnExpanding) view_.OnExpanding(*this, allow);
  if (!allow) return;
  expanded_ = true;
  if (view_.OnExpanded) view_.OnExpanded(*this);
}

void TMemoryTreeNode::Collapse() {
  if (!expanded_) return;
  bool allow = true;
  if (view_.OnCollapsing) view_.OnCollapsing(*this, allow);
  if (!allow) return;
  expanded_ = false;
  if (view_.OnCollapsed) view_.OnCollapsed(*this);
}

void TMemoryTreeNode::DeleteChildren() {
  if (view_.SelectionWithin(*this, false)) view_.DropSelection();
  children_.clear();
}

TMemoryTreeNode* TMemoryTreeNode::Find(const std::string& text) const {
  for (const auto& child : children_)
    if (child->text_ == text) return child.get();
  return nullptr;
}

TMemoryTreeView::~TMemoryTreeView() {
  // Events must not reach the driver while the nodes go.
  OnChange = nullptr;
  selected_ = nullptr;
}

void TMemoryTreeView::Clear() {
  if (selected_) DropSelection();
  top_.clear();
}

TTreeNode* TMemoryTreeView::AddChild(TTreeNode* parent, const std::string& text) {
  auto* owner = static_cast<TMemoryTreeNode*>(parent);
  auto& list = owner ? owner->children_ : top_;
  list.push_back(std::make_unique<TMemoryTreeNode>(*this, owner, text));
  return list.back().get();
}

TTreeNode* TMemoryTreeView::Root() const { return top_.empty() ? nullptr : top_.front().get(); }

void TMemoryTreeView::Select(TTreeNode* node) {
  if (node == selected_) return;
  selected_ = node;
  if (OnChange) OnChange(node);
}

bool TMemoryTreeView::EditCaption(TTreeNode& node, std::string text) {
  bool allow = true;
  if (OnEditing) OnEditing(node, allow);
  if (!allow) return false;
  if (OnEdited) OnEdited(node, text);
  node.SetText(text);
  return true;
}

bool TMemoryTreeView::SelectionWithin(const TMemoryTreeNode& node, bool self) const {
  for (const TTreeNode* n = self ? selected_ : (selected_ ? selected_->Parent() : nullptr); n;
       n = n->Parent())
    if (n == &node) return true;
  return false;
}

void TMemoryTreeView::DropSelection() {
  selected_ = nullptr;
  if (OnChange) OnChange(nullptr);
}

std::string TMemoryTreeView::Dump() const {
  std::string text;
  std::function<void(const TMemoryTreeNode&, int)> walk = [&](const TMemoryTreeNode& node, int depth) {
    text.append(static_cast<size_t>(depth) * 2, ' ');
    text += node.Expanded() ? '+' : (node.HasChildren() ? '-' : ' ');
    text += node.Text();
    if (&node == selected_) text += " *";
    text += '\n';
    for (const auto& child : node.children_) walk(*child, depth + 1);
  };
  for (const auto& node : top_) walk(*node, 0);
  return text;
}

}  // namespace tolvek
