// A drive description: the name, device type and information blocks of a simulated drive, read
// from a text file in the system's syntax (the demo drive's is demo-drive.stx).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "drive_model.h"

namespace tolvek {

struct TDriveDescription {
  std::string name;
  std::optional<uint16_t> deviceType;
  // The executable firmware block first (its start address still relative to the flash base),
  // then the modules in file order.
  std::vector<TInfoNode> nodes;
};

// Fails with EError naming the file and what is wrong in it.
TDriveDescription LoadDriveDescription(const std::string& fileName);

}  // namespace tolvek
