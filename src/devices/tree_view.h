// The tree view as the core sees it: nodes with a caption, images, a child marker and an
// expanded state, the selection, and the events a tree control reports. The desktop build
// adapts a real tree control to it; TMemoryTreeView is the one without a display.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tolvek {

class TEntryItem;

// The images tree nodes show, by resource name; an image index is a position in this list.
class TImageList {
public:
  // Appends the image named `resourceName` and answers its index.
  int Add(const std::string& resourceName);
  int Count() const { return static_cast<int>(names_.size()); }
  // The resource name of image `index`, or "" outside the list.
  std::string Name(int index) const;

private:
  std::vector<std::string> names_;
};

// A node of a tree view; the view owns it and frees it with its parent or the tree.
class TTreeNode {
public:
  virtual ~TTreeNode() = default;

  virtual TTreeNode* Parent() const = 0;
  virtual int Count() const = 0;
  // Child node `index` (0 <= index < Count()).
  virtual TTreeNode* Item(int index) const = 0;

  virtual std::string Text() const = 0;
  virtual void SetText(const std::string& text) = 0;
  virtual void SetImageIndex(int index) = 0;
  virtual void SetSelectedIndex(int index) = 0;
  // Whether the node shows the marker that it can be expanded, whatever child nodes it has.
  virtual void SetHasChildren(bool hasChildren) = 0;

  virtual bool Expanded() const = 0;
  // Expands the node, asking OnExpanding first and reporting OnExpanded.
  virtual void Expand() = 0;
  // Collapses the node, asking OnCollapsing first and reporting OnCollapsed.
  virtual void Collapse() = 0;
  // Frees every child node; a selected descendant leaves the tree without a selection.
  virtual void DeleteChildren() = 0;

  // The entry the entry manager built the node for (none for other users of the view).
  TEntryItem* Data() const { return data_; }
  void SetData(TEntryItem* data) { data_ = data; }

private:
  TEntryItem* data_ = nullptr;
};

// A tree control. Its events are assigned by the one object that drives it.
class TTreeView {
public:
  virtual ~TTreeView() = default;

  // The images node image indexes refer to (not owned; may be nullptr).
  virtual void SetImages(const TImageList* images) = 0;
  // Frees every node.
  virtual void Clear() = 0;
  // Appends a node with `text` under `parent`, or at the top level for nullptr.
  virtual TTreeNode* AddChild(TTreeNode* parent, const std::string& text) = 0;
  // The first top-level node, or nullptr in an empty tree.
  virtual TTreeNode* Root() const = 0;
  virtual TTreeNode* Selected() const = 0;
  // Selects `node` (nullptr: nothing); OnChange reports a selection that changed.
  virtual void Select(TTreeNode* node) = 0;

  // The selection changed (nullptr: nothing is selected).
  std::function<void(TTreeNode* node)> OnChange;
  // A node is about to expand or collapse, or its caption to be edited; clearing `allow`
  // refuses it.
  std::function<void(TTreeNode& node, bool& allow)> OnExpanding;
  std::function<void(TTreeNode& node, bool& allow)> OnCollapsing;
  std::function<void(TTreeNode& node, bool& allow)> OnEditing;
  std::function<void(TTreeNode& node)> OnExpanded;
  std::function<void(TTreeNode& node)> OnCollapsed;
  // Editing ended with `text`; the handler may change the text the node keeps.
  std::function<void(TTreeNode& node, std::string& text)> OnEdited;
};

}  // namespace tolvek
