// Composite values and the collection interface: element access by index, typed accessors,
// the walk over nested collections, and the decoder's view of a composite's children.
//
// A composite owns its elements by reference count: every element stored is retained and
// released when it is removed, replaced, cleared or when the composite is destroyed. An element
// may be null. Composites may share elements and even contain themselves (the text syntax
// writes such graphs with "@k" pointers), so copying, comparing and walking keep track of the
// composites they are inside of and do not descend into one of those again.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "script/sl_object.h"

namespace tolvek {

class TSLCompData;

// A value with children, written in text as "[X" (type letter, optional ":name") ... "]".
class TSLComposite : public TSLObject {
public:
  const char* ClassName() const override { return "TSLComposite"; }

  // The composite's own name (empty by default); named back-references use it.
  const std::string& GetName() const noexcept { return name_; }
  void SetName(std::string_view name) { name_.assign(name.data(), name.size()); }

  // Scratch field of the encoder: the back-reference number given during the current encoding.
  int32_t GetEncoderIndex() const noexcept { return encoderIndex_; }
  void SetEncoderIndex(int32_t index) noexcept { encoderIndex_ = index; }

  // Hands the composite to the encoder, which writes opener, contents and closer.
  void Encode(TSLStreamEncoder& encoder) override;

  // A new empty instance of the same class, owned by the caller.
  virtual TSLComposite* CreateEmpty() const = 0;
  // Fills a new instance from its decoded children, in source order.
  virtual void InitFromCompData(TSLCompData& children) = 0;
  // Writes the children.
  virtual void EncodeContents(TSLStreamEncoder& encoder) = 0;
  // The type letter of the class ("A", "D", ...).
  virtual char GetTypeChar() const = 0;

private:
  std::string name_;
  int32_t encoderIndex_ = 0;
};

// The children of a composite being decoded, in source order.
class TSLCompData : public TSLObject {
public:
  const char* ClassName() const override { return "TSLCompData"; }
  // Number of children.
  virtual int32_t GetCount() const = 0;
  // The next child in order (first child first); fails
  // "Internal error: no more objects on stack" after the last.
  virtual TSLObject* GetNextObj() = 0;
  // Child `index`; fails "Internal error: index (%d) is out of bounds (%d)" outside 0..count-1.
  virtual TSLObject* GetObjAt(int32_t index) = 0;
};

class TSLCollection;

// What a walk callback is told about the value it visits.
struct TForEachInfo {
  TSLObject* Obj = nullptr;        // the visited value (may be null)
  std::string_view Name;           // its name in a named collection, else empty
  int32_t Level = 0;               // nesting depth
  TSLCollection* Parent = nullptr; // the collection holding it (null for the walk's root)
  int32_t Index = 0;               // its position in the parent
};

// Called for every visited value; setting `stop` ends the walk.
using TForEachCallback = std::function<void(const TForEachInfo& info, bool& stop)>;

// A composite whose elements are reached by index.
class TSLCollection : public TSLComposite {
public:
  const char* ClassName() const override { return "TSLCollection"; }

  // Grows with null elements or shrinks from the end to `count` elements.
  virtual void SetCount(int32_t count) = 0;
  virtual int32_t GetCount() const = 0;
  // Element `index` (borrowed; may be null).
  virtual TSLObject* GetObjAtIndex(int32_t index) = 0;
  // Replaces element `index`; `index` == count appends.
  virtual void SetObjAtIndex(int32_t index, TSLObject* value) = 0;
  // Removes element `index` and releases it.
  virtual void DelObjAtIndex(int32_t index) = 0;
  // Inserts before `index` (`index` == count appends).
  virtual void InsObjAtIndex(int32_t index, TSLObject* value) = 0;
  // Index of the identical reference, -1 if absent.
  virtual int32_t IndexOfObj(TSLObject* value) = 0;
  // Removes every element.
  virtual void Clear() = 0;

  // A new auto-released instance of the same class that has been assigned the receiver.
  TSLObject* CopyObject() override;
  // True for an instance of the receiver's class (or a subclass) with the same count and
  // pairwise equal elements (named collections also need byte-identical names).
  bool IsEqual(TSLObject* other) override;

  // Text of element `index`, which must be a TSLString.
  const std::string& GetStrAtIndex(int32_t index);
  // Replaces the text of a TSLString element in place, else stores a new TSLString there.
  void SetStrAtIndex(int32_t index, std::string_view text);
  // Value of element `index`, which must be a TSLLongint.
  int64_t GetInt64AtIndex(int32_t index);
  // Value of element `index`, which must be a TSLDouble.
  double GetDoubleAtIndex(int32_t index);
  // Replaces the value of a TSLDouble element in place, else stores a new TSLDouble there.
  void SetDoubleAtIndex(int32_t index, double value);

  // Walks the elements depth first in index order (with the collection itself first when
  // `includeSelf`); returns false when a callback stopped the walk.
  bool ForEach(const TForEachCallback& callback, bool includeSelf);

  // Whether `other` is an instance of the receiver's class or of a subclass of it.
  virtual bool IsClassOf(const TSLObject* other) const = 0;

protected:
  // Name of element `index` for walks and comparisons; empty for unnamed collections.
  virtual std::string_view NameForWalk(int32_t index);
  // A deep copy of `element` for AssignObject, retained by the returned TRef; composites that
  // are being copied right now stand for their copies, so cycles are reproduced, not followed.
  static TRef<TSLObject> CopyElement(TSLObject* element);
  // Marks `source` as being copied into `copy` while the guard lives.
  class TCopyScope {
  public:
    TCopyScope(TSLObject* source, TSLObject* copy);
    ~TCopyScope();
  };

private:
  bool WalkElements(const TForEachCallback& callback, int32_t level);
};

}  // namespace tolvek
