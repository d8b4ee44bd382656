#include "script/archive_storage.h"

#include <vector>

#include "platform/error.h"
#include "platform/file_paths.h"
#include "platform/text_format.h"
#include "script/storage_manager.h"

namespace tolvek {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Entry names use "\" between folders, whatever separator the name was written with.
std::string EntryNameOf(std::string_view rest) {
  std::string name(rest);
  for (char& c : name)
    if (c == '/') c = '\\';
  return name;
}

// Positions of the separators of `name`, first to last.
std::vector<size_t> Separators(const std::string& name) {
  std::vector<size_t> positions;
  for (size_t i = 0; i < name.size(); ++i)
    if (IsSeparator(name[i])) positions.push_back(i);
  return positions;
}

}  // namespace

TSLArchiveStorageObject::TSLArchiveStorageObject(TSLArchive* archive, std::string entryName,
                                                 TStorageAccess access, std::string requestedName)
    : archive_(archive),
      archiveFileName_(archive->GetFileName()),
      entryName_(std::move(entryName)),
      access_(access),
      requestedName_(std::move(requestedName)) {}

TSLArchiveEntry& TSLArchiveStorageObject::Entry() {
  TSLArchiveEntry* entry = archive_->FindEntry(entryName_);
  // The entry may have been removed through another reference to the same archive.
  if (!entry) throw EError(StrFormat("object '%s' not found", requestedName_));
  return *entry;
}

bool TArchiveStoragePlugin::Locate(const std::string& name, TStorageAccess access, bool debug,
                                   TRef<TSLArchive>& archive, std::string& entryName) {
  std::string fullName = IsAbsoluteName(name) ? name : InstallDir() + name;
  std::vector<size_t> separators = Separators(fullName);
  // Separator 0 is the leading one of the (always absolute) full name; the deepest split is at
  // the last separator, the shallowest at separator 1.
  for (size_t k = separators.size(); k-- > 1;) {
    std::string archiveFile = fullName.substr(0, separators[k]) + ".sla";
    if (!FileExists(archiveFile)) continue;
    TRef<TSLArchive> candidate =
        TArchiveManager::Instance().GetArchive(manager_, archiveFile, access, debug);
    std::string rest = EntryNameOf(std::string_view(fullName).substr(separators[k] + 1));
    if (candidate->FindEntry(rest)) {
      archive = candidate;
      entryName = rest;
      return true;
    }
  }
  return false;
}

bool TArchiveStoragePlugin::Exists(const std::string& name) {
  TRef<TSLArchive> archive;
  std::string entryName;
  return Locate(name, saRead, manager_.GetDebug(), archive, entryName);
}

TSLStorageObject* TArchiveStoragePlugin::GetObject(const std::string& name, TStorageAccess access,
                                                   bool debug) {
  TRef<TSLArchive> archive;
  std::string entryName;
  if (!Locate(name, access, debug, archive, entryName))
    throw EError(StrFormat("object '%s' not found", name));
  return MakeAuto<TSLArchiveStorageObject>(archive.Get(), entryName, access, name);
}

bool TArchiveStoragePlugin::CreationTarget(const std::string& name, std::string& archiveFile,
                                           std::string& entryName) {
  // Split k of the name: the text before separator k and the rest after it. A relative name's
  // split 0 is the current directory with the whole name as rest; an absolute name counts its
  // leading separator as separator 0.
  std::vector<size_t> separators = Separators(name);
  bool absolute = IsAbsoluteName(name);
  auto splitDirectory = [&](size_t k) -> std::string {
    if (absolute) return name.substr(0, separators[k]);
    return k == 0 ? std::string(".") : name.substr(0, separators[k - 1]);
  };
  auto splitRest = [&](size_t k) -> std::string {
    if (absolute) return name.substr(separators[k] + 1);
    return k == 0 ? name : name.substr(separators[k - 1] + 1);
  };
  size_t depth = absolute ? separators.size() - 1 : separators.size();
  if (depth == 0) return false;
  for (size_t k = depth; k-- > 0;) {
    std::string directory = splitDirectory(k);
    if (!(directory.empty() ? DirectoryExists("/") : DirectoryExists(directory))) continue;
    archiveFile = SlashPath(splitDirectory(k + 1)) + ".sla";
    entryName = EntryNameOf(splitRest(k + 1));
    return true;
  }
  return false;
}

bool TArchiveStoragePlugin::CanCreate(const std::string& name) {
  std::string archiveFile, entryName;
  return Exists(name) || CreationTarget(name, archiveFile, entryName);
}

TSLStorageObject* TArchiveStoragePlugin::CreateObject(const std::string& name) {
  TRef<TSLArchive> archive;
  std::string entryName;
  if (Locate(name, saWrite, manager_.GetDebug(), archive, entryName))
    return MakeAuto<TSLArchiveStorageObject>(archive.Get(), entryName, saWrite, name);
  std::string archiveFile;
  if (!CreationTarget(name, archiveFile, entryName))
    throw EError(StrFormat("object '%s' can not be created", name));
  archive = TArchiveManager::Instance().GetArchive(manager_, archiveFile, saWrite,
                                                    manager_.GetDebug());
  if (!archive->FindEntry(entryName)) archive->AddEntry(entryName, sfASCII, nullptr);
  return MakeAuto<TSLArchiveStorageObject>(archive.Get(), entryName, saWrite, name);
}

bool TArchiveStoragePlugin::DefaultDebug() const { return manager_.GetDebug(); }

}  // namespace tolvek
