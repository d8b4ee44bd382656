// The view of one context stack that host code and the debugger get: element access by depth,
// pushing and popping, independent of how the context keeps the stack.
#pragma once

#include <cstdint>
#include <functional>

#include "script/interp/value_stack.h"

namespace tolvek {

// One stack of a context; index 0 is the top.
class TStackInterface {
public:
  virtual ~TStackInterface() = default;
  // Element `index` below the top (borrowed; may be null).
  virtual TSLObject* GetObj(int32_t index) = 0;
  // Replaces element `index` (index == count places the value at the bottom).
  virtual void SetObj(int32_t index, TSLObject* value) = 0;
  virtual int32_t Count() = 0;
  // Removes every element.
  virtual void Clear() = 0;
  // Places `value` below every element.
  virtual void AppendBottom(TSLObject* value) = 0;
  // Inserts `value` so that it becomes element `index`.
  virtual void InsObj(int32_t index, TSLObject* value) = 0;
  // Removes element `index`.
  virtual void DelObj(int32_t index) = 0;
  // Places `value` on top (retained).
  virtual void Push(TSLObject* value) = 0;
  // Removes the top; with `autoRelease` returns it auto-released, else returns null.
  virtual TSLObject* Pop(bool autoRelease) = 0;
};

// The stack interface over one of a context's stacks. A stack that may only hold certain
// values (dictionaries, tokenizers) gets a check that refuses other values with the
// invalid-cast failure before anything changes.
class TContextStackInterface final : public TStackInterface {
public:
  using TCheck = void (*)(TSLObject* value);
  // `changeCounter`, when given, is advanced by every change made through the interface.
  explicit TContextStackInterface(TSLValueStack& stack, TCheck check = nullptr,
                                  uint64_t* changeCounter = nullptr)
      : stack_(stack), check_(check), changeCounter_(changeCounter) {}

  TSLObject* GetObj(int32_t index) override { return stack_.GetObjAtIndex(index); }
  void SetObj(int32_t index, TSLObject* value) override;
  int32_t Count() override { return stack_.Count(); }
  void Clear() override {
    Changed();
    stack_.Clear();
  }
  void AppendBottom(TSLObject* value) override;
  void InsObj(int32_t index, TSLObject* value) override;
  void DelObj(int32_t index) override {
    Changed();
    stack_.DelObjAtIndex(index);
  }
  void Push(TSLObject* value) override;
  TSLObject* Pop(bool autoRelease) override {
    Changed();
    return stack_.Pop(autoRelease);
  }

private:
  void Check(TSLObject* value) const {
    if (check_) check_(value);
  }
  void Changed() const {
    if (changeCounter_) ++*changeCounter_;
  }
  TSLValueStack& stack_;
  TCheck check_;
  uint64_t* changeCounter_;
};

}  // namespace tolvek
