// Records of a type dictionary.
#include "script/sl_record.h"

#include "platform/error.h"
#include "platform/text_format.h"
#include "script/stream_encoder.h"

namespace tolvek {

TSLRecord::TSLRecord() : values_(NewObj<TSLArray>()) { values_->Retain(); }

TSLRecord::TSLRecord(TSLDictionary* type) : TSLRecord() {
  TRef<TSLArray> values = MakeRef<TSLArray>();
  if (type) {
    TCopyScope scope(type, this);
    for (int32_t i = 0; i < type->GetCount(); ++i)
      values->Append(CopyElement(type->GetObjAtIndex(i)).Get());
  }
  SetParts(type, values.Get());
}

TSLRecord::~TSLRecord() {
  if (type_) type_->Release();
  if (values_) values_->Release();
}

void TSLRecord::SetParts(TSLDictionary* type, TSLArray* values) {
  if (type) type->Retain();
  if (values) values->Retain();
  if (type_) type_->Release();
  if (values_) values_->Release();
  type_ = type;
  values_ = values;
}

const std::string& TSLRecord::GetTypeName() const {
  static const std::string kNone;
  return type_ ? type_->GetName() : kNone;
}

int32_t TSLRecord::GetCount() const { return type_ ? type_->GetCount() : 0; }

TSLObject* TSLRecord::GetObjAtIndex(int32_t index) { return values_->GetObjAtIndex(index); }

int32_t TSLRecord::IndexOfObj(TSLObject* value) { return values_->IndexOfObj(value); }

void TSLRecord::Clear() {
  if (!type_) return;
  TCopyScope scope(type_, this);
  for (int32_t i = 0; i < type_->GetCount() && i < values_->GetCount(); ++i)
    values_->SetObjAtIndex(i, CopyElement(type_->GetObjAtIndex(i)).Get());
}

int32_t TSLRecord::TypeIndexOf(std::string_view name) {
  const int32_t index = type_ ? type_->IndexOfName(name) : -1;
  if (index < 0)
    throw EError(StrFormat("%s.GetObjWithName: object with name '%s' not found", ClassName(), name));
  return index;
}

TSLObject* TSLRecord::GetObjWithName(std::string_view name) {
  return values_->GetObjAtIndex(TypeIndexOf(name));
}

void TSLRecord::SetObjWithName(std::string_view name, TSLObject* value) {
  values_->SetObjAtIndex(TypeIndexOf(name), value);
}

void TSLRecord::RemoveObject(std::string_view name) {
  values_->SetObjAtIndex(TypeIndexOf(name), nullptr);
}

const std::string& TSLRecord::GetNameAtIndex(int32_t index) {
  if (index < 0 || index >= GetCount())
    throw EError(StrFormat("%s.GetNameAtIndex: index (%d) out of bounds (%d)", ClassName(), index,
                           GetCount()));
  return type_->GetNameAtIndex(index);
}

bool TSLRecord::Known(std::string_view name) { return type_ && type_->Known(name); }

int32_t TSLRecord::IndexOfName(std::string_view name) {
  return type_ ? type_->IndexOfName(name) : -1;
}

void TSLRecord::AssignObject(TSLObject* source) {
  // Adding the source's entries one by one (as other named collections assign) could never
  // succeed here, since every name of the type is always known; a record takes the source's
  // type and copies of its values instead.
  auto* src = CastObj<TSLRecord>(source);
  if (src == this) return;
  TCopyScope scope(src, this);
  TRef<TSLArray> values = MakeRef<TSLArray>();
  for (int32_t i = 0; i < src->values_->GetCount(); ++i)
    values->Append(CopyElement(src->values_->GetObjAtIndex(i)).Get());
  SetName(src->GetName());
  SetParts(src->type_, values.Get());
}

void TSLRecord::InitFromCompData(TSLCompData& children) {
  TSLObject* type = children.GetNextObj();
  TSLObject* values = children.GetNextObj();
  SetParts(CastObj<TSLDictionary>(type), CastObj<TSLArray>(values));
}

void TSLRecord::EncodeContents(TSLStreamEncoder& encoder) {
  encoder.EncodeObject(type_);
  encoder.EncodeObject(values_);
}

}  // namespace tolvek
