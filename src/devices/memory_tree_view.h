// A tree view without a display: the tree lives in memory and reports the same events a tree
// control does. Headless runs and tests bind entry managers and outliners to it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "devices/tree_view.h"

namespace tolvek {

class TMemoryTreeView;

class TMemoryTreeNode : public TTreeNode {
public:
  TMemoryTreeNode(TMemoryTreeView& view, TMemoryTreeNode* parent, std::string text);

  TTreeNode* Parent() const override { return parent_; }
  int Count() const override { return static_cast<int>(children_.size()); }
  TTreeNode* Item(int index) const override;
  std::string Text() const override { return text_; }
  void SetText(const std::string& text) override { text_ = text; }
  void SetImageIndex(int index) override { imageIndex_ = index; }
  void SetSelectedIndex(int index) override { selectedIndex_ = index; }
  void SetHasChildren(bool hasChildren) override { hasChildren_ = hasChildren; }
  bool Expanded() const override { return expanded_; }
  void Expand() override;
  void Collapse() override;
  void DeleteChildren() override;

  int ImageIndex() const { return imageIndex_; }
  int SelectedIndex() const { return selectedIndex_; }
  bool HasChildren() const { return hasChildren_; }
  // The child node with exactly this text, or nullptr.
  TMemoryTreeNode* Find(const std::string& text) const;

private:
  friend class TMemoryTreeView;

  TMemoryTreeView& view_;
  TMemoryTreeNode* parent_;
  std::string text_;
  int imageIndex_ = -1;
  int selectedIndex_ = -1;
  bool hasChildren_ = false;
  bool expanded_ = false;
  std::vector<std::unique_ptr<TMemoryTreeNode>> children_;
};

class TMemoryTreeView : public TTreeView {
public:
  ~TMemoryTreeView() override;

  void SetImages(const TImageList* images) override { images_ = images; }
  void Clear() override;
  TTreeNode* AddChild(TTreeNode* parent, const std::string& text) override;
  TTreeNode* Root() const override;
  TTreeNode* Selected() const override { return selected_; }
  void Select(TTreeNode* node) override;

  const TImageList* Images() const { return images_; }
  TMemoryTreeNode* RootNode() const { return static_cast<TMemoryTreeNode*>(Root()); }
  // The user edits the caption of `node` to `text`: OnEditing may refuse (false), OnEdited
  // may change the text the node keeps.
  bool EditCaption(TTreeNode& node, std::string text);
  // Every node as an indented line, marked "+" when expanded, "-" when collapsed with the
  // child marker, and followed by " *" when selected; compares whole trees in one expectation.
  std::string Dump() const;

private:
  friend class TMemoryTreeNode;

  // The selection is inside `node`'s subtree (node included when `self`).
  bool SelectionWithin(const TMemoryTreeNode& node, bool self) const;
  void DropSelection();

  const TImageList* images_ = nullptr;
  std::vector<std::unique_ptr<TMemoryTreeNode>> top_;
  TTreeNode* selected_ = nullptr;
};

}  // namespace tolvek
