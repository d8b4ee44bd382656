#include "script/file_storage.h"

#include <filesystem>

#include "platform/error.h"
#include "platform/file_paths.h"
#include "platform/text_format.h"
#include "script/storage_manager.h"

namespace tolvek {

TSLFileStorageObject::TSLFileStorageObject(TStorageManager& manager)
    : manager_(manager) {}

void TSLFileStorageObject::Init(const std::string& fileName, TStorageAccess access, bool debug) {
  if (initialized_)
    throw EError(StrFormat("%s error: file storage object already initialized", ClassName()));
  initialized_ = true;
  fileName_ = fileName;
  access_ = access;
  debug_ = debug;
  sourceID_ = manager_.GetIDManager().Register(fileName);
}

void TSLFileStorageObject::Load() {
  if (access_ == saWrite)
    throw EError(StrFormat("%s.Read: storage object '%s' was opened as write only", ClassName(),
                           fileName_));
  value_ = manager_.GetObjectText().DecodeFile(fileName_, debug_, sourceID_);
  manager_.GetIDManager().GetIDInfo(sourceID_).Value = value_;
  // The format is not remembered: saving writes plain text unless EASCII is asked for again.
  format_ = sfASCII;
}

void TSLFileStorageObject::Save() {
  if (access_ == saRead)
    throw EError(StrFormat("%s.Write: storage object '%s' was opened as read only", ClassName(),
                           fileName_));
  manager_.GetObjectText().EncodeFile(fileName_, value_.Get(), format_);
}

bool TFileStoragePlugin::Exists(const std::string& name) { return !manager_.FindFile(name).empty(); }

TSLStorageObject* TFileStoragePlugin::GetObject(const std::string& name, TStorageAccess access,
                                                bool debug) {
  std::string fullName = manager_.FindFile(name);
  if (fullName.empty())
    throw EError(StrFormat("%s error: no object named %s found", ClassName(), name));
  TRef<TSLFileStorageObject> object = MakeRef<TSLFileStorageObject>(manager_);
  object->Init(fullName, access, debug);
  // A write-only object has nothing to read: it is loaded only when it may be read.
  if (access != saWrite) object->Load();
  return object.AutoRelease();
}

bool TFileStoragePlugin::CanCreate(const std::string& name) {
  if (FileExists(name)) return true;
  std::string_view dir = DirectoryPart(name);
  return dir.empty() || DirectoryExists(dir);
}

TSLStorageObject* TFileStoragePlugin::CreateObject(const std::string& name) {
  if (!CanCreate(name))
    throw EError(StrFormat("%s.CreateObject: Could not create object with name %s", ClassName(),
                           name));
  // Held as an absolute name: the current directory may change before the object is saved.
  std::string fullName = FileExists(name)
                             ? NativePath(name)
                             : NativePath(DirectoryPart(name)) + std::string(FileNamePart(name));
  fullName = std::filesystem::absolute(fullName).lexically_normal().string();
  TRef<TSLFileStorageObject> object = MakeRef<TSLFileStorageObject>(manager_);
  object->Init(fullName, saWrite, manager_.GetDebug());
  return object.AutoRelease();
}

bool TFileStoragePlugin::DefaultDebug() const { return manager_.GetDebug(); }

}  // namespace tolvek
