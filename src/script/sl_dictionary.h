// Named collections and the dictionary: values reached by name, kept in case-insensitive
// name order ("[D /Name 'x' /Port 1 ]").
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "script/sl_collection.h"

namespace tolvek {

// A collection whose elements also have names. Index-based changes are refused
// ("%s.SetCount: not allowed in named collection" and the like).
class TSLNamedCollection : public TSLCollection {
public:
  const char* ClassName() const override { return "TSLNamedCollection"; }

  void SetCount(int32_t count) override;
  void SetObjAtIndex(int32_t index, TSLObject* value) override;
  void DelObjAtIndex(int32_t index) override;
  void InsObjAtIndex(int32_t index, TSLObject* value) override;

  // The value under `name` (borrowed; may be null).
  virtual TSLObject* GetObjWithName(std::string_view name) = 0;
  // Stores `value` under `name` (see each class for names already present).
  virtual void SetObjWithName(std::string_view name, TSLObject* value) = 0;
  // Removes the value under `name` (see each class).
  virtual void RemoveObject(std::string_view name) = 0;
  // Name of element `index`.
  virtual const std::string& GetNameAtIndex(int32_t index) = 0;
  // Whether `name` is present (case-insensitive).
  virtual bool Known(std::string_view name) = 0;
  // Position of `name`, -1 if absent.
  virtual int32_t IndexOfName(std::string_view name) = 0;

  // Adds a new entry; fails "%s.AddObject: object with name '%s' already exists" when known.
  void AddObject(std::string_view name, TSLObject* value);
  // RemoveObject that first fails "%s.RemoveObject: object with name '%s' not found" for an
  // unknown name.
  void RemoveObjectChecked(std::string_view name);

  // Clears, takes the source's composite name and adds deep copies of the source's entries
  // under their names. The source must be a named collection; a failure leaves the receiver
  // unchanged.
  void AssignObject(TSLObject* source) override;

  // Text of the value under `name`, which must be a TSLString.
  const std::string& GetStrWithName(std::string_view name);
  // Replaces the text of a TSLString value in place, else stores a new TSLString.
  void SetStrWithName(std::string_view name, std::string_view text);
  int64_t GetInt64WithName(std::string_view name);
  void SetInt64WithName(std::string_view name, int64_t value);
  // The value must be a TSLDouble (an integer value fails with EInvalidCast).
  double GetDoubleWithName(std::string_view name);
  void SetDoubleWithName(std::string_view name, double value);
  bool GetBoolWithName(std::string_view name);

protected:
  std::string_view NameForWalk(int32_t index) override { return GetNameAtIndex(index); }
  [[noreturn]] void NotAllowed(const char* operation) const;
};

// Entries (name, value) in ascending case-insensitive name order, at most one per name.
class TSLDictionary : public TSLNamedCollection {
public:
  TSLDictionary() = default;
  ~TSLDictionary() override;
  const char* ClassName() const override { return "TSLDictionary"; }

  int32_t GetCount() const override { return static_cast<int32_t>(entries_.size()); }
  // Fails "%s.GetObjAtIndex: index (%d) out of bounds (%d)".
  TSLObject* GetObjAtIndex(int32_t index) override;
  int32_t IndexOfObj(TSLObject* value) override;
  void Clear() override;

  // Fails "%s error: no object named %s" for an unknown name.
  TSLObject* GetObjWithName(std::string_view name) override;
  // Adds an entry; fails "%s.SetObjWithName: object with name '%s' already exists".
  void SetObjWithName(std::string_view name, TSLObject* value) override;
  // Fails "%s.RemoveObject: no object found with name '%s'".
  void RemoveObject(std::string_view name) override;
  // Fails "%s.GetNameAtIndex: index (%d) out of bounds (%d)".
  const std::string& GetNameAtIndex(int32_t index) override;
  bool Known(std::string_view name) override { return Find(name).second; }
  int32_t IndexOfName(std::string_view name) override;

  TSLComposite* CreateEmpty() const override { return NewObj<TSLDictionary>(); }
  // Takes alternating literal-name keys and values (see the failures in the source file).
  void InitFromCompData(TSLCompData& children) override;
  // Writes each entry as a literal name followed by the value.
  void EncodeContents(TSLStreamEncoder& encoder) override;
  char GetTypeChar() const override { return 'D'; }
  bool IsClassOf(const TSLObject* other) const override {
    return dynamic_cast<const TSLDictionary*>(other) != nullptr;
  }

  // Replaces the value (and the spelling of the name) of the existing entry `name` in place,
  // retaining the new value before releasing the old one; false, changing nothing, when there
  // is no such entry.
  bool ReplaceObject(std::string_view name, TSLObject* value);

  // Advances whenever a dictionary of this thread gains, loses or replaces entries, so that
  // caches of resolved names can tell that what they found is still valid.
  static uint64_t ChangeCount() noexcept { return changeCount_; }
  // Advances only when a dictionary of this thread gains or loses entries (entry positions
  // stay valid while it does not).
  static uint64_t KeyChangeCount() noexcept { return keyChangeCount_; }

private:
  inline static thread_local uint64_t changeCount_ = 0;
  inline static thread_local uint64_t keyChangeCount_ = 0;

  struct TEntry {
    std::string Name;
    TSLObject* Value;
  };
  // Position of `name` or where it would be inserted, and whether it is there.
  std::pair<size_t, bool> Find(std::string_view name) const;

  std::vector<TEntry> entries_;
};

}  // namespace tolvek
