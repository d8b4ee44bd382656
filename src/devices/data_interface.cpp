// Data items.
#include "devices/data_interface.h"

#include "script/sl_scalar.h"

namespace tolvek {

TDataItem::TDataItem() : data_(MakeRef<TSLDictionary>()) {
  data_->SetObjWithName("Info", NewObj<TSLDictionary>());
}

TDataItem::TDataItem(TSLDictionary* data) : data_(data) {
  if (!data_->Known("Info")) data_->SetObjWithName("Info", NewObj<TSLDictionary>());
}

TSLDictionary& TDataItem::Info() const { return *CastObj<TSLDictionary>(data_->GetObjWithName("Info")); }

std::string TDataItem::Type() const {
  TSLDictionary& info = Info();
  if (!info.Known("Type")) return "";
  return info.GetStrWithName("Type");
}

}  // namespace tolvek
