// The scalar script values.
#include "script/sl_scalar.h"

#include <cmath>

#include "platform/number_text.h"
#include "script/stream_encoder.h"

namespace tolvek {

namespace {

// Float to integer without undefined behaviour: the range saturates, not a number gives 0.
int64_t SaturatingInt64(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9223372036854775808.0) return INT64_MAX;
  if (value < -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(value);
}

}  // namespace

void TSLLongint::SetDouble(double value) { value_ = SaturatingInt64(std::nearbyint(value)); }
std::string TSLLongint::GetString() const { return FormatInt(value_); }
void TSLLongint::SetString(std::string_view text) { value_ = ParseInt(text); }
void TSLLongint::Encode(TSLStreamEncoder& encoder) { encoder.WriteInt(value_); }
void TSLLongint::AssignObject(TSLObject* source) { value_ = CastObj<TSLLongint>(source)->value_; }
TSLObject* TSLLongint::CopyObject() { return MakeAuto<TSLLongint>(value_); }

bool TSLLongint::IsEqual(TSLObject* other) {
  if (auto* l = dynamic_cast<TSLLongint*>(other)) return l->value_ == value_;
  if (auto* d = dynamic_cast<TSLDouble*>(other)) return d->GetInt64() == value_;
  return false;
}

int64_t TSLDouble::GetInt64() const { return SaturatingInt64(value_); }
std::string TSLDouble::GetString() const { return FormatFloatGeneral(value_, 15); }
void TSLDouble::SetString(std::string_view text) { value_ = ParseFloat(text); }
void TSLDouble::Encode(TSLStreamEncoder& encoder) { encoder.WriteDouble(value_); }
void TSLDouble::AssignObject(TSLObject* source) { value_ = CastObj<TSLDouble>(source)->value_; }
TSLObject* TSLDouble::CopyObject() { return MakeAuto<TSLDouble>(value_); }

bool TSLDouble::IsEqual(TSLObject* other) {
  if (auto* d = dynamic_cast<TSLDouble*>(other)) return d->value_ == value_;
  if (auto* l = dynamic_cast<TSLLongint*>(other)) return l->GetDouble() == value_;
  return false;
}

void TSLString::Encode(TSLStreamEncoder& encoder) { encoder.WriteString(text_); }
void TSLString::AssignObject(TSLObject* source) { text_ = CastObj<TSLString>(source)->text_; }
TSLObject* TSLString::CopyObject() { return MakeAuto<TSLString>(std::string_view(text_)); }

bool TSLString::IsEqual(TSLObject* other) {
  auto* s = dynamic_cast<TSLString*>(other);
  return s && s->text_ == text_;
}

void TSLBoolean::Encode(TSLStreamEncoder& encoder) { encoder.WriteBoolean(value_); }
void TSLBoolean::AssignObject(TSLObject* source) { value_ = CastObj<TSLBoolean>(source)->value_; }
TSLObject* TSLBoolean::CopyObject() { return MakeAuto<TSLBoolean>(value_); }

bool TSLBoolean::IsEqual(TSLObject* other) {
  auto* b = dynamic_cast<TSLBoolean*>(other);
  return b && b->value_ == value_;
}

void TSLIdent::Encode(TSLStreamEncoder& encoder) { encoder.WriteIdent(name_, executable_); }
void TSLIdent::AssignObject(TSLObject* source) { name_ = CastObj<TSLIdent>(source)->name_; }
TSLObject* TSLIdent::CopyObject() { return MakeAuto<TSLIdent>(std::string_view(name_), executable_); }

bool TSLIdent::IsEqual(TSLObject* other) {
  auto* i = dynamic_cast<TSLIdent*>(other);
  return i && i->name_ == name_;
}

}  // namespace tolvek
