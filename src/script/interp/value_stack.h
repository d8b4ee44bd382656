// The stacks a context keeps (operands, dictionaries, tokenizers): a script stack with the fast,
// inlined operations the interpreter and the built-in operators use on every step.
#pragma once

#include <cstdint>

#include "script/sl_array.h"

namespace tolvek {

// A TSLStack with direct access to its top. It is still a TSLStack for everybody else (same
// class name, same messages, same text form); the inlined operations only skip the virtual
// calls and reference churn of the general ones. Every failure goes through the general
// operation, so messages stay those of TSLStack.
class TSLValueStack final : public TSLStack {
public:
  const char* ClassName() const override { return "TSLStack"; }

  // Number of elements.
  int32_t Count() const noexcept { return static_cast<int32_t>(elements_.size()); }

  // Element `depth` below the top (0 = top), borrowed; fails as GetObjAtIndex when missing.
  TSLObject* Top(int32_t depth = 0) {
    const size_t n = elements_.size();
    if (static_cast<size_t>(depth) < n) return elements_[n - 1 - static_cast<size_t>(depth)];
    return GetObjAtIndex(depth);
  }

  // Places `value` on top (retained; may be null).
  void PushValue(TSLObject* value) {
    elements_.push_back(value);
    if (value) value->Retain();
  }

  // Removes the top and hands its reference to the caller; fails as Pop when empty.
  TRef<TSLObject> PopRef() {
    if (elements_.empty()) Pop(false);  // raises the stack's own underflow failure
    TSLObject* top = elements_.back();
    TRef<TSLObject> ref(top);
    elements_.pop_back();
    if (top) top->Release();
    return ref;
  }

  // Removes the top and releases it; fails as Pop when empty.
  void Drop() {
    if (elements_.empty()) Pop(false);
    TSLObject* top = elements_.back();
    elements_.pop_back();
    if (top) top->Release();
  }

  // Removes elements from the top until at most `count` remain.
  void DropTo(int32_t count) {
    while (Count() > count && count >= 0) Drop();
  }
};

}  // namespace tolvek
