// Storage objects that are files of their own ("file://"), found through the search
// directories and written atomically.
#pragma once

#include <memory>
#include <string>

#include "script/storage_object.h"

namespace tolvek {

class TStorageManager;

// One file holding one value. Load reads it at once (format detected, EASCII deciphered);
// Save replaces it only when the new contents are complete, so a failed save keeps the old
// file.
class TSLFileStorageObject : public TSLStorageObject {
public:
  explicit TSLFileStorageObject(TStorageManager& manager);
  const char* ClassName() const override { return "TSLFileStorageObject"; }

  // Binds the object to a file; fails "%s error: file storage object already initialized" the
  // second time.
  void Init(const std::string& fileName, TStorageAccess access, bool debug);

  std::string GetName() override { return fileName_; }
  TSLStorageFormat GetFormat() override { return format_; }
  void SetFormat(TSLStorageFormat format) override { format_ = format; }
  TSLObject* GetData() override { return value_.Get(); }
  void SetData(TSLObject* value) override { value_ = value; }
  // Fails "%s.Read: storage object '%s' was opened as write only" for write access.
  void Load() override;
  // Fails "%s.Write: storage object '%s' was opened as read only" for read access.
  void Save() override;

  // The file's number in the storage ID registry.
  uint16_t GetSourceID() const noexcept { return sourceID_; }

private:
  TStorageManager& manager_;
  TStorageAccess access_ = saRead;
  std::string fileName_;
  TSLStorageFormat format_ = sfASCII;
  bool debug_ = false;
  bool initialized_ = false;
  TRef<TSLObject> value_;
  uint16_t sourceID_ = 0;
};

// "file://": files by name, relative names looked up with the storage manager's FindFile.
class TFileStoragePlugin : public TStoragePluginInterface {
public:
  explicit TFileStoragePlugin(TStorageManager& manager) : manager_(manager) {}
  const char* ClassName() const { return "TFileStoragePlugin"; }

  bool Exists(const std::string& name) override;
  using TStoragePluginInterface::GetObject;
  // Finds and loads the file; fails "%s error: no object named %s found".
  TSLStorageObject* GetObject(const std::string& name, TStorageAccess access, bool debug) override;
  // A file that exists, or whose directory exists.
  bool CanCreate(const std::string& name) override;
  // A write-only object for the file, not loaded; fails
  // "%s.CreateObject: Could not create object with name %s".
  TSLStorageObject* CreateObject(const std::string& name) override;
  std::string GetPrefix() const override { return "file://"; }

protected:
  bool DefaultDebug() const override;

private:
  TStorageManager& manager_;
};

}  // namespace tolvek
