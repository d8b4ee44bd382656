// The simulated drive itself: its link parameters, RAM and flash, the status word with the
// firmware program's life cycle, the parameter-instance states and the information blocks that
// describe the firmware in flash. The links (RS, TP1) and the command table act on this model.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "drive_status.h"

namespace tolvek {

using TSimClock = std::chrono::steady_clock;

// The status word bits the PC reads.
constexpr uint16_t StatusReady = 0x8000;
constexpr uint16_t ProgramRunning = 0x4000;

// One information block as the drive keeps it in flash: type 2 describes the executable
// firmware (with its program start address), type 5 one firmware module.
struct TInfoNode {
  uint16_t type = 5;
  std::string name, subName, extra;
  uint16_t version = 0, subVersion = 0;
  uint32_t startAddress = 0;
};

// Everything a drive announces at login, its memory map and its timing.
struct TDriveConfig {
  uint8_t protocol = 32;
  uint8_t addressWidth = 3;
  uint8_t dataWidth = 2;
  uint8_t addressStep = 2;
  uint8_t maxFrame = 255;
  uint16_t word1 = 0x0100;  // the drive's firmware generation
  uint16_t deviceType = 0x0100;
  uint16_t word3 = 0, word4 = 0;
  uint32_t flashBase = 0x800000;
  std::string name = "QUARVO SIM";
  int busyDelayMs = 100;   // how long flash work and program start take
  int resetTimeMs = 300;   // how long the drive is not ready after a reset
  bool running = false;    // the firmware program runs from power-on
  int instanceCount = 4;   // parameter instances the instance commands address
};

// Where an information block lies and what the find command answers about it.
struct TInfoBlockRef {
  uint32_t address = 0;
  uint16_t type = 0;
  uint16_t size = 0;
};

// What the instance commands leave behind for each parameter instance.
enum TInstanceState : uint8_t { isDefaults, isParametersCleared, isAllCleared };

class TDriveModel {
public:
  // Bytes of one information block record in flash.
  static constexpr uint16_t InfoBlockSize = 64;
  static constexpr uint32_t RegionBytes = 0x100000;
  static constexpr uint32_t FlashSectorBytes = 0x10000;

  // Fails with EError when the widths, the frame length or the memory map do not fit together.
  explicit TDriveModel(const TDriveConfig& config);

  const TDriveConfig& Config() const { return config_; }

  // The login answer's bytes after command and status.
  std::vector<uint8_t> LoginData() const;

  // Memory: addresses are in the drive's address units (address step per data word); counts are
  // bytes. Every operation raises EDriveStatus for a refused request and changes nothing then.
  std::vector<uint8_t> Read(uint32_t address, size_t count) const;
  std::vector<uint8_t> ReadString(uint32_t address, size_t maxLength) const;
  void WriteMemory(uint32_t address, const std::vector<uint8_t>& data);
  void WriteFlash(uint32_t address, const std::vector<uint8_t>& data);
  void EraseFlash(uint32_t address);
  void CopyRamToFlash(uint32_t ramAddress, uint32_t flashAddress, size_t count);

  // The first information block at or after the address; selector 0 finds any type, another
  // selector only blocks of that node type.
  TInfoBlockRef FindInfoBlock(uint32_t address, uint8_t selector) const;
  // Writes the records into erased flash from the flash base on.
  void InstallInfoBlocks(const std::vector<TInfoNode>& nodes);

  // Status word and program life cycle.
  uint16_t StatusWord(TSimClock::time_point now) const;
  void RequireReady(TSimClock::time_point now) const;
  void StartProgram(uint32_t address);
  void StopProgram() { running_ = false; }
  void Reset(TSimClock::time_point now);
  bool IsRunning() const { return running_; }

  // Parameter instances.
  void SetInstanceState(uint8_t instance, TInstanceState state);
  TInstanceState InstanceState(uint8_t instance) const { return instances_.at(instance); }

private:
  struct TRegion {
    uint32_t base = 0;      // first address
    uint32_t addresses = 0; // number of addresses
    std::vector<uint8_t> bytes;
  };
  // The region and byte offset of a range, or EDriveStatus dsBadAddress.
  std::pair<TRegion*, size_t> Locate(uint32_t address, size_t count);
  std::pair<const TRegion*, size_t> Locate(uint32_t address, size_t count) const;
  size_t BytesPerAddress() const { return config_.dataWidth / config_.addressStep; }
  void RequireStopped() const;
  std::vector<uint8_t> EncodeInfoNode(const TInfoNode& node, uint16_t index) const;

  TDriveConfig config_;
  TRegion ram_, flash_;
  bool running_ = false;
  TSimClock::time_point readyAt_{};
  std::vector<TInstanceState> instances_;
};

}  // namespace tolvek
