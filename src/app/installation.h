// Where the installation's files are found: the storage manager's search directories and
// plug-ins, set up before any configuration or script is read.
#pragma once

#include <array>
#include <string>

namespace tolvek {

class TStorageManager;

// The search directories below the installation directory, in search order.
inline constexpr std::array<const char*, 8> kInstallationSearchDirectories = {
    "Archives\\",  "Packages\\", "PackInst\\", "Packages\\ZezovOreduro\\",
    "UnitService\\", "ParTrees\\", "Firmware\\", "Actuators\\"};

// Adds the installation's search directories (each prefixed with `installDir`) and the storage
// plug-ins: file (searched), archive (searched), clipboard (by prefix only).
void InstallStorage(TStorageManager& storage, const std::string& installDir);

}  // namespace tolvek
