// A node of the device tree model: what a device, service or other object shows in every tree
// window. Owners change their items inside update brackets; the items only collect change
// bits, and the model brings the tree views up to date later, in one pass.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolvek {

class TApplicationViewFactory;
class TEntryItem;
class TEntryManager;
class TModelManager;

// Base of the objects model items stand for, so that a view can find its object again.
class TModelItemOwner {
public:
  virtual ~TModelItemOwner() = default;
};

// State bits of a model item (bit numbers for SetState).
enum TModelItemStateBit : int {
  msShown = 0,     // set at creation; SetShown changes it
  msEditable = 1,  // the tree may edit the caption in place
  msReleased = 3,  // freed at the next synchronisation
};

// Change bits collected between synchronisations.
enum TModelItemChange : uint8_t {
  mcCaption = 1,    // caption or image
  mcChildren = 2,   // the child list or a child's visibility
  mcInserted = 4,
  mcRemoved = 8,
  mcShown = 16,
  mcHidden = 32,
};

// Attribute byte 0 must share a bit with this mask for an item to be listed; bit 6 counts only
// for items whose class byte has bit 6 set.
constexpr uint8_t kModelVisibilityMask = 0x7B;
constexpr uint8_t kModelClassBit = 0x40;

// Items are made with TModelManager::NewItem (or `new`, with the model as first argument): the
// model owns every item and frees it at the first synchronisation after ReleaseItem.
class TModelItem {
public:
  // Answers a named text ("DeviceName") for the item, or "" to let its parent answer.
  using TTextCallback = std::function<std::string(const std::string& name)>;

  explicit TModelItem(TModelManager& model, TModelItemOwner* owner = nullptr);
  TModelItem(const TModelItem&) = delete;
  TModelItem& operator=(const TModelItem&) = delete;

  virtual const char* ClassName() const { return "TModelItem"; }

  // Leaves the parent and marks the item released; the next synchronisation frees it, so the
  // owner must not touch it afterwards. Safe inside a synchronisation (it then takes effect
  // right after it).
  virtual void ReleaseItem();
  // A new entry for one tree view.
  virtual std::unique_ptr<TEntryItem> CreateEntry(TEntryManager& manager);

  // Inserts `child` at `index` (0..ChildCount). A child with a parent, a released child, the
  // item itself or one of its ancestors is refused.
  void InsertChild(int index, TModelItem& child);
  // InsertChild at the end; answers the index.
  int AddChild(TModelItem& child);
  // Takes child `index` out of the list; the child lives on without a parent.
  void DeleteChild(int index);
  // DeleteChild of `child`; nothing when it is not a child of this item.
  void RemoveChild(TModelItem& child);
  // "%s.GetChild: node has no children" before the first insertion.
  TModelItem& GetChild(int index) const;
  int ChildCount() const { return static_cast<int>(children_.size()); }
  // Position of `child` among the children, or -1.
  int IndexOfChild(const TModelItem& child) const;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index);

  // Shows or hides the item in the trees; no bracket of its own, so callers bracket it.
  void SetShown(bool shown);
  void Hide() { SetShown(false); }
  bool Shown() const { return State(msShown); }
  void SetState(int bit, bool flag);
  bool State(int bit) const { return (state_ >> bit) & 1; }
  bool Released() const { return State(msReleased); }
  // Attribute byte 0..3 (byte 0 holds the visibility mask bits).
  void SetAttribute(int byteNumber, uint8_t value);
  uint8_t Attribute(int byteNumber) const;
  void SetClass(uint8_t value) { class_ = value; }
  uint8_t Class() const { return class_; }
  uint8_t ChangeBits() const { return changes_; }

  // Whether a tree lists the item: shown, and attribute byte 0 shares a bit with the
  // visibility mask (bit 6 only for class bit 6).
  bool Listed() const;
  // Whether some child is listed (the child marker of the item's node).
  bool HasListedChild() const;

  // The view factory of the item's view, or none (not owned).
  TApplicationViewFactory* ViewFactory() const { return viewFactory_; }
  void SetViewFactory(TApplicationViewFactory* factory) { viewFactory_ = factory; }
  void SetTextCallback(TTextCallback callback) { textCallback_ = std::move(callback); }
  // The item's text of `name`; an empty answer is asked from the parent, up to the root.
  std::string GetText(const std::string& name) const;

  TModelManager& Model() const { return model_; }
  TModelItem* Parent() const { return parent_; }
  TModelItemOwner* Owner() const { return owner_; }
  // Scratch link to the item's entry while a tree view is synchronised (-1: none).
  int EntryIndex() const { return entryIndex_; }
  void SetEntryIndex(int index) { entryIndex_ = index; }

protected:
  // Only the model frees items (see ReleaseItem).
  virtual ~TModelItem();

private:
  friend class TModelManager;

  [[noreturn]] void IndexError(const char* operation, int index) const;
  void MarkChanged(uint8_t bits) { changes_ |= bits; }

  TModelItemOwner* owner_;
  int entryIndex_ = -1;
  std::string caption_;
  int imageIndex_ = -1;
  TModelManager& model_;
  TModelItem* parent_ = nullptr;
  std::vector<TModelItem*> children_;
  bool hasChildList_ = false;
  uint8_t state_ = 1u << msShown;
  uint8_t attributes_[4] = {kModelVisibilityMask, 0, 0, 0};
  uint8_t class_ = 4;
  uint8_t changes_ = 0;
  TApplicationViewFactory* viewFactory_ = nullptr;
  TTextCallback textCallback_;
};

}  // namespace tolvek
