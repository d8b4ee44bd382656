// Ordered collections: arrays, blocks and procedures (executable arrays) and stacks.
#pragma once

#include <vector>

#include "script/sl_collection.h"

namespace tolvek {

// An ordered list of element references ("[A ... ]").
class TSLArray : public TSLCollection {
public:
  TSLArray() = default;
  ~TSLArray() override;
  const char* ClassName() const override { return "TSLArray"; }

  void SetCount(int32_t count) override;
  int32_t GetCount() const override { return static_cast<int32_t>(elements_.size()); }
  // Fails "%s.ObjectAtIndex: no object to fetch at index %d" outside 0..count-1.
  TSLObject* GetObjAtIndex(int32_t index) override;
  // Fails "%s.SetObjAtIndex: index (%d) out of bounds (%d)" unless 0 <= index <= count.
  void SetObjAtIndex(int32_t index, TSLObject* value) override;
  // Fails "%s.DelObjAtIndex: index (%d) out of bounds (%d)" outside 0..count-1.
  void DelObjAtIndex(int32_t index) override;
  // Fails "%s.InsObjAtIndex: index (%d) out of bounds (%d)" unless 0 <= index <= count.
  void InsObjAtIndex(int32_t index, TSLObject* value) override;
  int32_t IndexOfObj(TSLObject* value) override;
  void Clear() override;

  // Appends (retaining `value`, which may be null).
  void Append(TSLObject* value);
  // Reserves room for `count` elements.
  void Reserve(int32_t count) { elements_.reserve(static_cast<size_t>(count)); }

  // Clears, takes the source collection's composite name and appends deep copies of its
  // elements; a failure leaves the receiver unchanged.
  void AssignObject(TSLObject* source) override;
  TSLComposite* CreateEmpty() const override { return NewObj<TSLArray>(); }
  // Appends the children in source order.
  void InitFromCompData(TSLCompData& children) override;
  void EncodeContents(TSLStreamEncoder& encoder) override;
  char GetTypeChar() const override { return 'A'; }
  bool IsClassOf(const TSLObject* other) const override {
    return dynamic_cast<const TSLArray*>(other) != nullptr;
  }

protected:
  // List positions, bottom of a stack first.
  std::vector<TSLObject*> elements_;
  void CheckListIndex(int32_t position, const char* operation) const;
};

// An array the interpreter runs element by element when it is executable ("[B ... ]").
class TSLBlock : public TSLArray {
public:
  const char* ClassName() const override { return "TSLBlock"; }
  bool GetExecutable() const override { return executable_; }
  void SetExecutable(bool executable) override { executable_ = executable; }
  // A plain, non-executable TSLArray holding deep copies of the elements.
  TSLObject* CopyObject() override;
  TSLComposite* CreateEmpty() const override { return NewObj<TSLBlock>(); }
  char GetTypeChar() const override { return 'B'; }
  bool IsClassOf(const TSLObject* other) const override {
    return dynamic_cast<const TSLBlock*>(other) != nullptr;
  }

private:
  bool executable_ = false;
};

// A block whose first element is the array of parameter names and whose last is the array of
// result names ("[P ... ]").
class TSLProcedure : public TSLBlock {
public:
  const char* ClassName() const override { return "TSLProcedure"; }
  TSLComposite* CreateEmpty() const override { return NewObj<TSLProcedure>(); }
  char GetTypeChar() const override { return 'P'; }
  bool IsClassOf(const TSLObject* other) const override {
    return dynamic_cast<const TSLProcedure*>(other) != nullptr;
  }
};

// An array seen from its top: stack index i is list position count-1-i ("[S ... ]", top first).
class TSLStack : public TSLArray {
public:
  const char* ClassName() const override { return "TSLStack"; }

  TSLObject* GetObjAtIndex(int32_t index) override;
  // Index count places the value at the bottom.
  void SetObjAtIndex(int32_t index, TSLObject* value) override;
  void DelObjAtIndex(int32_t index) override;
  void InsObjAtIndex(int32_t index, TSLObject* value) override;
  int32_t IndexOfObj(TSLObject* value) override;

  // Places `value` on top (retained).
  void Push(TSLObject* value);
  // With `autoRelease`: returns the top element auto-released and removes it; without: only
  // removes it and returns null. An empty stack fails with an index error for index -1.
  TSLObject* Pop(bool autoRelease);

  TSLComposite* CreateEmpty() const override { return NewObj<TSLStack>(); }
  // Places each child at the bottom, so the first child ends on top.
  void InitFromCompData(TSLCompData& children) override;
  void EncodeContents(TSLStreamEncoder& encoder) override;
  char GetTypeChar() const override { return 'S'; }
  bool IsClassOf(const TSLObject* other) const override {
    return dynamic_cast<const TSLStack*>(other) != nullptr;
  }
};

}  // namespace tolvek
