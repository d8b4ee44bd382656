#include "app/installation.h"

#include <memory>

#include "script/archive_storage.h"
#include "script/clipboard_storage.h"
#include "script/file_storage.h"
#include "script/storage_manager.h"

namespace tolvek {

void InstallStorage(TStorageManager& storage, const std::string& installDir) {
  for (const char* dir : kInstallationSearchDirectories) storage.AddSearchDirectory(installDir + dir);
  storage.AddPlugin(std::make_unique<TFileStoragePlugin>(storage), true);
  storage.AddPlugin(std::make_unique<TArchiveStoragePlugin>(storage), true);
  storage.AddPlugin(std::make_unique<TClipboardStoragePlugin>(storage), false);
}

}  // namespace tolvek
