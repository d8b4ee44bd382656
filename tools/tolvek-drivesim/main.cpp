// tolvek-drivesim: a simulated Quarvo drive on a pseudo-terminal, for tests, demos and anyone
// without a drive on the desk. It prints the device path, serves until stopped and prints its
// traffic counters on standard error when it ends.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>

#include "command_table.h"
#include "drive_description.h"
#include "drive_link.h"
#include "line_output.h"
#include "platform/error.h"
#include "platform/text_format.h"
#include "pty_port.h"
#include "sim_options.h"
#include "sim_server.h"
#include "transcript.h"

namespace tolvek {
namespace {

std::string DefaultDescription() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return (ec ? std::filesystem::path(".") : exe.parent_path()) / "demo-drive.stx";
}

void PrintCounters(const TSimCounters& c) {
  const std::pair<const char*, uint64_t> rows[] = {
      {"requests", c.requests},       {"bad frames", c.badFrames},   {"answers", c.answers},
      {"dropped", c.dropped},         {"corrupted", c.corrupted},    {"late", c.late},
      {"silenced", c.silenced},       {"garbage bytes", c.garbageBytes},
      {"unsolicited", c.unsolicited}, {"bytes in", c.bytesIn},       {"bytes out", c.bytesOut}};
  for (const auto& [name, value] : rows) std::fprintf(stderr, "%s: %llu\n", name, static_cast<unsigned long long>(value));
}

int Run(int argc, char** argv) {
  TSimOptions options = ParseSimOptions(argc, argv);
  if (options.help) {
    std::fputs(SimUsage().c_str(), stdout);
    return 0;
  }
  const TDriveDescription description =
      LoadDriveDescription(options.driveFile.empty() ? DefaultDescription() : options.driveFile);
  if (!options.nameGiven) options.drive.name = description.name;
  if (!options.deviceTypeGiven && description.deviceType) options.drive.deviceType = *description.deviceType;
  if (options.link == TLinkKind::Tp1 &&
      (options.drive.addressWidth != 3 || options.drive.dataWidth != 2 || options.drive.addressStep != 2))
    throw EError("--link tp1: TP1 telegrams carry 3-byte addresses and 2-byte data with address step 2");
  if (options.link == TLinkKind::Tp1 && (options.unsolicitedMs > 0 || options.faults.garbageBytes > 0))
    throw EError("--link tp1: TP1 has no frames of the drive's own and no frames to put garbage between");

  TDriveModel drive(options.drive);
  std::vector<TInfoNode> nodes = description.nodes;
  for (TInfoNode& node : nodes)
    if (node.type == 2) node.startAddress += options.drive.flashBase;
  drive.InstallInfoBlocks(nodes);

  TCommandTable table;
  table.Add(StandardCommandRows());

  // Signals are read from a descriptor by the serve loop; block them before any thread or wait.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigprocmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<TTranscript> transcript;
  if (!options.logFile.empty()) transcript = std::make_unique<TTranscript>(options.logFile);
  TPtyPort port;
  if (!options.linkFile.empty()) port.CreateLink(options.linkFile);

  TSimCounters counters;
  TLineOutput output(port.MasterFd(), options.baud, options.faults, transcript.get(), counters);
  std::unique_ptr<TDriveLink> link;
  if (options.link == TLinkKind::Rs)
    link = std::make_unique<TRsDriveLink>(table, drive, output, counters);
  else
    link = std::make_unique<TTp1DriveLink>(drive, output, counters, options.tp1ChunkLimit);

  std::printf("%s\n", port.DevicePath().c_str());
  std::fflush(stdout);
  ServeDrive(port, *link, output, transcript.get(), counters,
             {options.stdinLifetime, options.unsolicitedMs, options.unsolicitedFrame});
  PrintCounters(counters);
  return 0;
}

}  // namespace
}  // namespace tolvek

int main(int argc, char** argv) {
  try {
    return tolvek::Run(argc, argv);
  } catch (const tolvek::EError& e) {
    std::fprintf(stderr, "tolvek-drivesim: %s\n", e.what());
    return 2;
  }
}
