// Model items: the child list, the change bits and the visibility rule.
#include "devices/model_item.h"

#include <algorithm>

#include "devices/entry_manager.h"
#include "devices/model_manager.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TModelItem::TModelItem(TModelManager& model, TModelItemOwner* owner) : owner_(owner), model_(model) {
  model_.AddItem(this);
}

TModelItem::~TModelItem() = default;

void TModelItem::ReleaseItem() {
  if (Released()) return;
  if (this == &model_.Root()) throw EError(StrFormat("%s.ReleaseItem: the root stays", ClassName()));
  if (model_.Synchronising()) {
    model_.DeferRelease(this);
    return;
  }
  // Leaving the parent first keeps a released item out of every tree; the bracket makes the
  // synchronisation that frees it due.
  TModelUpdate update(model_);
  if (parent_) parent_->RemoveChild(*this);
  state_ |= 1u << msReleased;
}

std::unique_ptr<TEntryItem> TModelItem::CreateEntry(TEntryManager& manager) {
  return std::make_unique<TEntryItem>(manager, *this);
}

void TModelItem::InsertChild(int index, TModelItem& child) {
  if (child.parent_) throw EError(StrFormat("%s.InsertChild: Child has a parent", ClassName()));
  if (child.Released()) throw EError(StrFormat("%s.InsertChild: Child is released", ClassName()));
  for (const TModelItem* up = this; up; up = up->parent_)
    if (up == &child) throw EError(StrFormat("%s.InsertChild: Child is an ancestor", ClassName()));
  if (index < 0 || index > ChildCount()) IndexError("InsertChild", index);
  TModelUpdate update(model_);
  children_.insert(children_.begin() + index, &child);
  hasChildList_ = true;
  child.parent_ = this;
  child.MarkChanged(mcInserted);
  MarkChanged(mcChildren);
}

int TModelItem::AddChild(TModelItem& child) {
  const int index = ChildCount();
  InsertChild(index, child);
  return index;
}

void TModelItem::DeleteChild(int index) {
  if (index < 0 || index >= ChildCount()) IndexError("DeleteChild", index);
  TModelUpdate update(model_);
  TModelItem* child = children_[static_cast<size_t>(index)];
  children_.erase(children_.begin() + index);
  child->parent_ = nullptr;
  child->MarkChanged(mcRemoved);
  MarkChanged(mcChildren);
}

void TModelItem::RemoveChild(TModelItem& child) {
  const int index = IndexOfChild(child);
  if (index >= 0) DeleteChild(index);
}

TModelItem& TModelItem::GetChild(int index) const {
  if (!hasChildList_) throw EError(StrFormat("%s.GetChild: node has no children", ClassName()));
  if (index < 0 || index >= ChildCount()) IndexError("GetChild", index);
  return *children_[static_cast<size_t>(index)];
}

int TModelItem::IndexOfChild(const TModelItem& child) const {
  const auto found = std::find(children_.begin(), children_.end(), &child);
  return found == children_.end() ? -1 : static_cast<int>(found - children_.begin());
}

void TModelItem::SetCaption(const std::string& caption) {
  TModelUpdate update(model_);
  caption_ = caption;
  MarkChanged(mcCaption);
}

void TModelItem::SetImageIndex(int index) {
  TModelUpdate update(model_);
  imageIndex_ = index;
  MarkChanged(mcCaption);
}

void TModelItem::SetShown(bool shown) {
  if (Shown() == shown) return;
  SetState(msShown, shown);
  MarkChanged(shown ? mcShown : mcHidden);
  if (parent_) parent_->MarkChanged(mcChildren);
}

void TModelItem::SetState(int bit, bool flag) {
  if (bit < 0 || bit > 7) IndexError("SetState", bit);
  if (flag)
    state_ |= static_cast<uint8_t>(1u << bit);
  else
    state_ &= static_cast<uint8_t>(~(1u << bit));
}

void TModelItem::SetAttribute(int byteNumber, uint8_t value) {
  if (byteNumber < 0 || byteNumber > 3) IndexError("SetAttribute", byteNumber);
  attributes_[byteNumber] = value;
}

uint8_t TModelItem::Attribute(int byteNumber) const {
  if (byteNumber < 0 || byteNumber > 3) IndexError("Attribute", byteNumber);
  return attributes_[byteNumber];
}

bool TModelItem::Listed() const {
  const uint8_t mask = (class_ & kModelClassBit) ? kModelVisibilityMask
                                                 : static_cast<uint8_t>(kModelVisibilityMask & ~kModelClassBit);
  return Shown() && (attributes_[0] & mask) != 0;
}

bool TModelItem::HasListedChild() const {
  return std::any_of(children_.begin(), children_.end(), [](const TModelItem* c) { return c->Listed(); });
}

std::string TModelItem::GetText(const std::string& name) const {
  for (const TModelItem* item = this; item; item = item->parent_) {
    if (!item->textCallback_) continue;
    std::string text = item->textCallback_(name);
    if (!text.empty()) return text;
  }
  return "";
}

void TModelItem::IndexError(const char* operation, int index) const {
  throw EError(StrFormat("%s.%s: index (%d) out of bounds", ClassName(), operation, index));
}

}  // namespace tolvek
