// Records: one value per entry of a type dictionary, in the type's order ("[R type values ]").
#pragma once

#include "script/sl_array.h"
#include "script/sl_dictionary.h"

namespace tolvek {

// A record of a type dictionary; it starts with copies of the type's values as defaults.
class TSLRecord : public TSLNamedCollection {
public:
  // An empty record without a type (the decoder fills it).
  TSLRecord();
  // A record of `type` (retained) holding deep copies of the type's values.
  explicit TSLRecord(TSLDictionary* type);
  ~TSLRecord() override;
  const char* ClassName() const override { return "TSLRecord"; }

  // The type dictionary (null only for an unfilled record) and the value array.
  TSLDictionary* GetType() const noexcept { return type_; }
  TSLArray* GetValues() const noexcept { return values_; }
  // The composite name of the type dictionary.
  const std::string& GetTypeName() const;

  // Number of entries of the type.
  int32_t GetCount() const override;
  // Value `index`; out of range fails as the value array's GetObjAtIndex.
  TSLObject* GetObjAtIndex(int32_t index) override;
  int32_t IndexOfObj(TSLObject* value) override;
  // Resets every value to a deep copy of the type's value of the same name.
  void Clear() override;

  // Fails "%s.GetObjWithName: object with name '%s' not found" for a name the type lacks.
  TSLObject* GetObjWithName(std::string_view name) override;
  // Replaces the value of a name of the type.
  void SetObjWithName(std::string_view name, TSLObject* value) override;
  // Sets the value of a name of the type to null.
  void RemoveObject(std::string_view name) override;
  // Fails "%s.GetNameAtIndex: index (%d) out of bounds (%d)".
  const std::string& GetNameAtIndex(int32_t index) override;
  bool Known(std::string_view name) override;
  int32_t IndexOfName(std::string_view name) override;

  // Takes the source record's type, composite name and deep copies of its values; a failure
  // leaves the receiver unchanged.
  void AssignObject(TSLObject* source) override;
  TSLComposite* CreateEmpty() const override { return NewObj<TSLRecord>(); }
  // Takes the first child as the type dictionary and the second as the value array.
  void InitFromCompData(TSLCompData& children) override;
  // Writes the type dictionary followed by the value array.
  void EncodeContents(TSLStreamEncoder& encoder) override;
  char GetTypeChar() const override { return 'R'; }
  bool IsClassOf(const TSLObject* other) const override {
    return dynamic_cast<const TSLRecord*>(other) != nullptr;
  }

private:
  int32_t TypeIndexOf(std::string_view name);
  void SetParts(TSLDictionary* type, TSLArray* values);

  TSLDictionary* type_ = nullptr;
  TSLArray* values_ = nullptr;
};

}  // namespace tolvek
