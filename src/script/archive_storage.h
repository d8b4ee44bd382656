// "archive://": entries of ".sla" archives found by walking up the directory chain of a name.
//
// "Archives\ZezovOreduro\CurveTypes.stx" is looked for as entry "CurveTypes.stx" of
// "Archives\ZezovOreduro.sla", then as entry "ZezovOreduro\CurveTypes.stx" of "Archives.sla",
// and so on up the chain (all below the installation directory).
#pragma once

#include <string>

#include "script/archive.h"
#include "script/storage_object.h"

namespace tolvek {

class TStorageManager;

// One entry of an archive as a storage object. Saving writes the whole archive.
class TSLArchiveStorageObject : public TSLStorageObject {
public:
  TSLArchiveStorageObject(TSLArchive* archive, std::string entryName, TStorageAccess access,
                          std::string requestedName);
  const char* ClassName() const override { return "TSLArchiveStorageObject"; }

  std::string GetName() override { return requestedName_; }
  TSLStorageFormat GetFormat() override { return Entry().GetFormat(); }
  void SetFormat(TSLStorageFormat format) override { Entry().SetFormat(format); }
  TSLObject* GetData() override { return Entry().GetValue(); }
  void SetData(TSLObject* value) override { Entry().SetValue(value); }
  // Decodes the entry if that has not happened yet.
  void Load() override { Entry().GetValue(); }
  // Writes the archive with all its entries.
  void Save() override { archive_->Write(); }

  TSLArchive& GetArchive() const noexcept { return *archive_; }
  const std::string& GetEntryName() const noexcept { return entryName_; }

private:
  TSLArchiveEntry& Entry();

  TRef<TSLArchive> archive_;
  std::string archiveFileName_;
  std::string entryName_;
  TStorageAccess access_;
  std::string requestedName_;
};

class TArchiveStoragePlugin : public TStoragePluginInterface {
public:
  explicit TArchiveStoragePlugin(TStorageManager& manager) : manager_(manager) {}
  const char* ClassName() const { return "TArchiveStoragePlugin"; }

  bool Exists(const std::string& name) override;
  using TStoragePluginInterface::GetObject;
  // Fails "object '%s' not found" when no archive up the chain holds the name.
  TSLStorageObject* GetObject(const std::string& name, TStorageAccess access, bool debug) override;
  bool CanCreate(const std::string& name) override;
  // An existing entry, else a new empty ASCII entry in the archive of the deepest existing
  // directory of the name; fails "object '%s' can not be created".
  TSLStorageObject* CreateObject(const std::string& name) override;
  std::string GetPrefix() const override { return "archive://"; }

protected:
  bool DefaultDebug() const override;

private:
  // The archive and entry name holding `name`, looked up the directory chain.
  bool Locate(const std::string& name, TStorageAccess access, bool debug, TRef<TSLArchive>& archive,
              std::string& entryName);
  // Where a new entry for `name` would go: archive file and entry name.
  bool CreationTarget(const std::string& name, std::string& archiveFile, std::string& entryName);

  TStorageManager& manager_;
};

}  // namespace tolvek
