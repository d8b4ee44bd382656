// Arrays, blocks, procedures and stacks.
#include "script/sl_array.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/text_format.h"
#include "script/stream_encoder.h"

namespace tolvek {

namespace {

void RetainIf(TSLObject* obj) {
  if (obj) obj->Retain();
}

void ReleaseIf(TSLObject* obj) {
  if (obj) obj->Release();
}

}  // namespace

TSLArray::~TSLArray() {
  const size_t count = elements_.size();
  for (size_t i = 0; i < count; ++i) {
    if (i + 8 < count) __builtin_prefetch(elements_[i + 8]);
    ReleaseIf(elements_[i]);
  }
}

void TSLArray::CheckListIndex(int32_t position, const char* operation) const {
  if (position < 0 || position >= GetCount())
    throw EError(StrFormat("%s.%s: index (%d) out of bounds (%d)", ClassName(), operation,
                           position, GetCount()));
}

void TSLArray::SetCount(int32_t count) {
  if (count < 0) count = 0;
  while (GetCount() > count) {
    TSLObject* last = elements_.back();
    elements_.pop_back();
    ReleaseIf(last);
  }
  elements_.resize(static_cast<size_t>(count), nullptr);
}

TSLObject* TSLArray::GetObjAtIndex(int32_t index) {
  if (index < 0 || index >= GetCount())
    throw EError(StrFormat("%s.ObjectAtIndex: no object to fetch at index %d", ClassName(), index));
  return elements_[static_cast<size_t>(index)];
}

void TSLArray::SetObjAtIndex(int32_t index, TSLObject* value) {
  if (index == GetCount()) {
    Append(value);
    return;
  }
  if (index < 0 || index > GetCount())
    throw EError(StrFormat("%s.SetObjAtIndex: index (%d) out of bounds (%d)", ClassName(), index,
                           GetCount()));
  // Retain first: the new value may be the old one.
  RetainIf(value);
  TSLObject* old = std::exchange(elements_[static_cast<size_t>(index)], value);
  ReleaseIf(old);
}

void TSLArray::Append(TSLObject* value) {
  elements_.push_back(value);
  RetainIf(value);
}

void TSLArray::DelObjAtIndex(int32_t index) {
  CheckListIndex(index, "DelObjAtIndex");
  TSLObject* old = elements_[static_cast<size_t>(index)];
  elements_.erase(elements_.begin() + index);
  ReleaseIf(old);
}

void TSLArray::InsObjAtIndex(int32_t index, TSLObject* value) {
  if (index < 0 || index > GetCount())
    throw EError(StrFormat("%s.InsObjAtIndex: index (%d) out of bounds (%d)", ClassName(), index,
                           GetCount()));
  elements_.insert(elements_.begin() + index, value);
  RetainIf(value);
}

int32_t TSLArray::IndexOfObj(TSLObject* value) {
  auto it = std::find(elements_.begin(), elements_.end(), value);
  return it == elements_.end() ? -1 : static_cast<int32_t>(it - elements_.begin());
}

void TSLArray::Clear() {
  std::vector<TSLObject*> old;
  old.swap(elements_);
  for (TSLObject* obj : old) ReleaseIf(obj);
}

void TSLArray::AssignObject(TSLObject* source) {
  auto* src = CastObj<TSLCollection>(source);
  if (src == this) return;
  TCopyScope scope(src, this);
  const int32_t count = src->GetCount();
  std::vector<TRef<TSLObject>> copies;
  copies.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) copies.push_back(CopyElement(src->GetObjAtIndex(i)));
  Clear();
  SetName(src->GetName());
  for (auto& copy : copies) SetObjAtIndex(GetCount(), copy.Get());
}

void TSLArray::InitFromCompData(TSLCompData& children) {
  const int32_t count = children.GetCount();
  elements_.reserve(elements_.size() + static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) Append(children.GetNextObj());
}

void TSLStack::InitFromCompData(TSLCompData& children) {
  // Each child goes to the bottom, so the first one ends on top.
  const auto before = static_cast<std::ptrdiff_t>(elements_.size());
  TSLArray::InitFromCompData(children);
  std::reverse(elements_.begin() + before, elements_.end());
  std::rotate(elements_.begin(), elements_.begin() + before, elements_.end());
}

void TSLArray::EncodeContents(TSLStreamEncoder& encoder) {
  // Elements live all over the heap; asking for the next ones early hides most of the wait.
  const size_t count = elements_.size();
  for (size_t i = 0; i < count; ++i) {
    if (i + 8 < count) __builtin_prefetch(elements_[i + 8]);
    encoder.EncodeObject(elements_[i]);
  }
}

TSLObject* TSLBlock::CopyObject() {
  TRef<TSLArray> copy = MakeRef<TSLArray>();
  copy->AssignObject(this);
  return copy.AutoRelease();
}

TSLObject* TSLStack::GetObjAtIndex(int32_t index) {
  return TSLArray::GetObjAtIndex(GetCount() - 1 - index);
}

void TSLStack::SetObjAtIndex(int32_t index, TSLObject* value) {
  if (index == GetCount()) {
    InsObjAtIndex(index, value);
    return;
  }
  const int32_t position = GetCount() - 1 - index;
  if (index < 0 || position < 0)
    throw EError(StrFormat("%s.SetObjAtIndex: index (%d) out of bounds (%d)", ClassName(), position,
                           GetCount()));
  TSLArray::SetObjAtIndex(position, value);
}

void TSLStack::DelObjAtIndex(int32_t index) { TSLArray::DelObjAtIndex(GetCount() - 1 - index); }

void TSLStack::InsObjAtIndex(int32_t index, TSLObject* value) {
  if (index < 0 || index > GetCount())
    throw EError(StrFormat("%s.InsObjAtIndex: index (%d) out of bounds (%d)", ClassName(), index,
                           GetCount()));
  TSLArray::InsObjAtIndex(GetCount() - index, value);
}

int32_t TSLStack::IndexOfObj(TSLObject* value) {
  const int32_t position = TSLArray::IndexOfObj(value);
  return position < 0 ? -1 : GetCount() - 1 - position;
}

void TSLStack::Push(TSLObject* value) { Append(value); }

TSLObject* TSLStack::Pop(bool autoRelease) {
  if (!autoRelease) {
    DelObjAtIndex(0);
    return nullptr;
  }
  TSLObject* top = GetObjAtIndex(0);
  if (top) {
    top->Retain();
    top->AutoRelease();
  }
  elements_.pop_back();
  if (top) top->Release();
  return top;
}

void TSLStack::EncodeContents(TSLStreamEncoder& encoder) {
  for (size_t i = elements_.size(); i-- > 0;) {
    if (i >= 8) __builtin_prefetch(elements_[i - 8]);
    encoder.EncodeObject(elements_[i]);
  }
}

}  // namespace tolvek
