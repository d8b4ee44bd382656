// The pseudo-terminal the simulated drive serves: its master side is the drive's end of the
// cable, its slave side is the device the PC opens as a serial port.
#pragma once

#include <string>

namespace tolvek {

class TPtyPort {
public:
  // Opens a raw pseudo-terminal; fails with EError.
  TPtyPort();
  ~TPtyPort();
  TPtyPort(const TPtyPort&) = delete;
  TPtyPort& operator=(const TPtyPort&) = delete;

  int MasterFd() const { return master_; }
  const std::string& DevicePath() const { return devicePath_; }
  // A symbolic link to the device, removed again when the port closes. An existing symbolic
  // link is replaced; any other file at the path is left alone and the call fails.
  void CreateLink(const std::string& path);

private:
  int master_ = -1;
  // Held open so that the master never sees a hang-up between two PC sessions.
  int slave_ = -1;
  std::string devicePath_;
  std::string linkPath_;
};

}  // namespace tolvek
