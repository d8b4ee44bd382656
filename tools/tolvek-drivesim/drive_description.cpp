// Turning the description file's dictionary into the drive's name, type and info blocks. The
// file is read by the script engine's decoder, like every other file of the system:
//
//   [D /Name 'QUARVO DEMO' /DeviceType $0100
//      /Firmware [D /Name 'QVFW' /Version 1 /SubVersion 0 /StartOffset $1000 ]
//      /Modules [A [D /Name 'QVDRIVE' /SubName 'BASE' /Version 3 /SubVersion 1 /Extra '' ] ] ]
#include "drive_description.h"

#include "platform/error.h"
#include "platform/text_format.h"
#include "script/object_text.h"
#include "script/sl_array.h"
#include "script/sl_dictionary.h"
#include "script/sl_scalar.h"

namespace tolvek {

namespace {

// Typed, checked access to one dictionary of the description; failures name where they are.
class TFields {
public:
  TFields(TSLObject* value, std::string where) : where_(std::move(where)) {
    dict_ = dynamic_cast<TSLDictionary*>(value);
    if (!dict_) Fail("is not a dictionary");
  }

  template <class T>
  T* Get(const char* key, bool required) const {
    if (!dict_->Known(key)) {
      if (required) Fail(StrFormat("has no /%s", key));
      return nullptr;
    }
    T* value = dynamic_cast<T*>(dict_->GetObjWithName(key));
    if (!value) Fail(StrFormat("/%s has the wrong type", key));
    return value;
  }
  std::string Text(const char* key, bool required, size_t maxLength = 16) const {
    const TSLString* value = Get<TSLString>(key, required);
    if (!value) return {};
    if (value->GetText().size() > maxLength)
      Fail(StrFormat("/%s '%s' is longer than %d characters", key, value->GetText(), maxLength));
    return value->GetText();
  }
  int64_t Int(const char* key, bool required, int64_t high) const {
    const TSLLongint* value = Get<TSLLongint>(key, required);
    if (!value) return 0;
    if (value->GetInt64() < 0 || value->GetInt64() > high)
      Fail(StrFormat("/%s %d is outside 0..%d", key, value->GetInt64(), high));
    return value->GetInt64();
  }
  [[noreturn]] void Fail(const std::string& what) const { throw EError(where_ + " " + what); }

private:
  TSLDictionary* dict_ = nullptr;
  std::string where_;
};

TInfoNode Node(TSLObject* value, const std::string& where, uint16_t type) {
  const TFields f(value, where);
  TInfoNode node;
  node.type = type;
  node.name = f.Text("Name", true);
  if (node.name.empty()) f.Fail("has an empty /Name");
  node.version = static_cast<uint16_t>(f.Int("Version", true, 0xFFFF));
  node.subVersion = static_cast<uint16_t>(f.Int("SubVersion", true, 0xFFFF));
  node.extra = f.Text("Extra", false);
  if (type == 2)
    node.startAddress = static_cast<uint32_t>(f.Int("StartOffset", true, 0xFFFF));
  else
    node.subName = f.Text("SubName", true);
  return node;
}

}  // namespace

TDriveDescription LoadDriveDescription(const std::string& fileName) {
  const std::string where = StrFormat("drive description '%s':", fileName);
  TRef<TSLObject> root;
  try {
    TSLObjectText text;
    root = text.DecodeFile(fileName);
  } catch (const EError& e) {
    throw EError(where + " " + e.Message());
  }
  const TFields f(root.Get(), where + " the root");
  TDriveDescription description;
  description.name = f.Text("Name", true);
  if (f.Get<TSLLongint>("DeviceType", false))
    description.deviceType = static_cast<uint16_t>(f.Int("DeviceType", false, 0xFFFF));
  if (TSLDictionary* firmware = f.Get<TSLDictionary>("Firmware", false))
    description.nodes.push_back(Node(firmware, where + " /Firmware", 2));
  if (TSLArray* modules = f.Get<TSLArray>("Modules", false)) {
    for (int32_t i = 0; i < modules->GetCount(); ++i)
      description.nodes.push_back(Node(modules->GetObjAtIndex(i), StrFormat("%s module %d", where, i + 1), 5));
  }
  return description;
}

}  // namespace tolvek
