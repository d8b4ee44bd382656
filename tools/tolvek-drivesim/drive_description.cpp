// Turning the description file's dictionary into the drive's name, type and info blocks.
//
//   [D /Name 'QUARVO DEMO' /DeviceType $0100
//      /Firmware [D /Name 'QVFW' /Version 1 /SubVersion 0 /StartOffset $1000 ]
//      /Modules [A [D /Name 'QVDRIVE' /SubName 'BASE' /Version 3 /SubVersion 1 /Extra '' ] ] ]
#include "drive_description.h"

#include "description_reader.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {

class TFields {
public:
  TFields(const TDescValue& dict, std::string where) : dict_(dict), where_(std::move(where)) {
    if (dict.kind != TDescValue::Dictionary) Fail("is not a dictionary");
  }

  const TDescValue* Get(const char* key, TDescValue::TKind kind, bool required) const {
    const TDescValue* value = dict_.Find(key);
    if (!value) {
      if (required) Fail(StrFormat("has no /%s", key));
      return nullptr;
    }
    if (value->kind != kind) Fail(StrFormat("/%s has the wrong type", key));
    return value;
  }
  std::string Text(const char* key, bool required, size_t maxLength = 16) const {
    const TDescValue* value = Get(key, TDescValue::String, required);
    if (!value) return {};
    if (value->text.size() > maxLength)
      Fail(StrFormat("/%s '%s' is longer than %d characters", key, value->text, maxLength));
    return value->text;
  }
  int64_t Int(const char* key, bool required, int64_t high) const {
    const TDescValue* value = Get(key, TDescValue::Integer, required);
    if (!value) return 0;
    if (value->integer < 0 || value->integer > high)
      Fail(StrFormat("/%s %d is outside 0..%d", key, value->integer, high));
    return value->integer;
  }
  [[noreturn]] void Fail(const std::string& what) const { throw EError(where_ + " " + what); }

private:
  const TDescValue& dict_;
  std::string where_;
};

TInfoNode Node(const TDescValue& dict, const std::string& where, uint16_t type) {
  const TFields f(dict, where);
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
  const TDescValue root = ReadDescriptionFile(fileName);
  const std::string where = StrFormat("drive description '%s':", fileName);
  const TFields f(root, where + " the root");
  TDriveDescription description;
  description.name = f.Text("Name", true);
  if (f.Get("DeviceType", TDescValue::Integer, false))
    description.deviceType = static_cast<uint16_t>(f.Int("DeviceType", false, 0xFFFF));
  if (const TDescValue* firmware = f.Get("Firmware", TDescValue::Dictionary, false))
    description.nodes.push_back(Node(*firmware, where + " /Firmware", 2));
  if (const TDescValue* modules = f.Get("Modules", TDescValue::Array, false)) {
    for (size_t i = 0; i < modules->items.size(); ++i)
      description.nodes.push_back(Node(modules->items[i], StrFormat("%s module %d", where, i + 1), 5));
  }
  return description;
}

}  // namespace tolvek
