#include "script/clipboard_storage.h"

#include "platform/error.h"
#include "platform/text_format.h"
#include "platform/user_interface.h"
#include "script/storage_manager.h"

namespace tolvek {

void TSLClipboardStorageObject::SetFormat(TSLStorageFormat format) {
  if (format != sfASCII)
    throw EError(StrFormat("%s.SetFormat: format sfEASCII is currently not supported", ClassName()));
}

void TSLClipboardStorageObject::Load() {
  std::optional<std::string> text = UserInterface().GetClipboardText(kFormatName);
  if (!text) throw EError(StrFormat("%s.Read: clipboard is empty", ClassName()));
  value_ = manager_.StrToObj(*text);
}

void TSLClipboardStorageObject::Save() {
  UserInterface().SetClipboardText(kFormatName, manager_.ObjToStr(value_.Get()));
}

bool TClipboardStoragePlugin::Exists(const std::string& name) {
  return name == "cb.data" &&
         UserInterface().GetClipboardText(TSLClipboardStorageObject::kFormatName).has_value();
}

TSLStorageObject* TClipboardStoragePlugin::GetObject(const std::string& name, TStorageAccess,
                                                     bool) {
  if (name != "cb.data")
    throw EError(StrFormat("%s error: no object named %s found", ClassName(), name));
  TRef<TSLClipboardStorageObject> object = MakeRef<TSLClipboardStorageObject>(manager_);
  object->Load();
  return object.AutoRelease();
}

TSLStorageObject* TClipboardStoragePlugin::CreateObject(const std::string& name) {
  if (name != "cb.data")
    throw EError(StrFormat("%s.CreateObject: can not create object with name '%s'", ClassName(),
                           name));
  return MakeAuto<TSLClipboardStorageObject>(manager_);
}

bool TClipboardStoragePlugin::DefaultDebug() const { return manager_.GetDebug(); }

}  // namespace tolvek
