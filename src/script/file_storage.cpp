#include "script/file_storage.h"

#include "platform/error.h"
#include "platform/file_paths.h"
#include "platform/text_format.h"
#include "script/storage_manager.h"

namespace tolvek {

TSLFileStorageObject::TSLFileStorageObject(TStorageManager& manager)
    : manager_(manager), file_(MakeRef<TSLCryptFile>()) {}

void TSLFileStorageObject::Init(const std::string& fileName, TStorageAccess access, bool debug) {
  if (initialized_)
    throw EError(StrFormat("%s error: file storage object already initialized", ClassName()));
  initialized_ = true;
  fileName_ = fileName;
  access_ = access;
  debug_ = debug;
  file_->SetFileName(fileName);
  sourceID_ = manager_.GetIDManager().Register(fileName);
  file_->SetStorageID(sourceID_);
}

void TSLFileStorageObject::Load() {
  if (access_ == saWrite)
    throw EError(StrFormat("%s.Read: storage object '%s' was opened as write only", ClassName(),
                           fileName_));
  TSLStorageFormat detected = sfASCII;
  value_ = manager_.LoadFile(*file_, debug_, &detected);
  manager_.GetIDManager().GetIDInfo(sourceID_).Value = value_;
  // The format is not remembered: saving writes plain text unless EASCII is asked for again.
  format_ = sfASCII;
}

void TSLFileStorageObject::Save() {
  if (access_ == saRead)
    throw EError(StrFormat("%s.Write: storage object '%s' was opened as read only", ClassName(),
                           fileName_));
  try {
    file_->Rewrite();
    if (format_ == sfEASCII) {
      file_->WriteCryptHeader();
      file_->SetCipherActive(true);
    }
    manager_.EncodeTo(*file_, value_.Get());
    file_->SetCipherActive(false);
    file_->Close();
  } catch (...) {
    file_->SetCipherActive(false);
    file_->Discard();
    throw;
  }
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
  std::string fullName = FileExists(name)
                             ? NativePath(name)
                             : NativePath(DirectoryPart(name)) + std::string(FileNamePart(name));
  TRef<TSLFileStorageObject> object = MakeRef<TSLFileStorageObject>(manager_);
  object->Init(fullName, saWrite, manager_.GetDebug());
  return object.AutoRelease();
}

bool TFileStoragePlugin::DefaultDebug() const { return manager_.GetDebug(); }

}  // namespace tolvek
