// The simulated drive's memory map, status word and information blocks.
#include "drive_model.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {

constexpr uint8_t InfoMark0 = 'Q', InfoMark1 = 'I';
// The smallest record the PC accepts as an information block.
constexpr uint16_t InfoBlockMinSize = 34;

void PutLe(std::vector<uint8_t>& out, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutText(std::vector<uint8_t>& out, size_t offset, const std::string& text, size_t width) {
  for (size_t i = 0; i < width && i < text.size(); ++i) out[offset + i] = static_cast<uint8_t>(text[i]);
}

uint16_t GetLe16(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

[[noreturn]] void Refuse(TDriveStatus status) { throw EDriveStatus{status}; }

}  // namespace

TDriveModel::TDriveModel(const TDriveConfig& config) : config_(config) {
  if (config.addressWidth < 2 || config.addressWidth > 4)
    throw EError(StrFormat("address width %d: the drive supports 2 to 4 bytes", config.addressWidth));
  if (config.dataWidth != 1 && config.dataWidth != 2 && config.dataWidth != 4)
    throw EError(StrFormat("data width %d: the drive supports 1, 2 or 4 bytes", config.dataWidth));
  if (config.addressStep == 0 || config.dataWidth % config.addressStep != 0)
    throw EError(StrFormat("address step %d does not divide the data width %d", config.addressStep,
                           config.dataWidth));
  if (config.maxFrame < 16)
    throw EError(StrFormat("maximum frame length %d: at least 16 bytes are needed", config.maxFrame));
  if (config.name.size() > 16)
    throw EError(StrFormat("device name '%s' is longer than 16 characters", config.name));
  const uint64_t space = uint64_t{1} << (8 * config.addressWidth);
  const uint32_t regionAddresses = static_cast<uint32_t>(RegionBytes / BytesPerAddress());
  // Both regions hold up to 1 MiB; narrow addresses get less of each.
  if (config.flashBase == 0 || config.flashBase + uint64_t{InfoBlockSize} > space)
    throw EError(StrFormat("flash base $%X: the flash must lie above RAM and within %d-byte addresses",
                           config.flashBase, config.addressWidth));
  ram_.base = 0;
  ram_.addresses = std::min(regionAddresses, config.flashBase);
  ram_.bytes.assign(ram_.addresses * BytesPerAddress(), 0x00);
  flash_.base = config.flashBase;
  flash_.addresses = static_cast<uint32_t>(std::min<uint64_t>(regionAddresses, space - config.flashBase));
  flash_.bytes.assign(flash_.addresses * BytesPerAddress(), 0xFF);
  running_ = config.running;
  instances_.assign(static_cast<size_t>(std::max(config.instanceCount, 1)), isDefaults);
}

std::vector<uint8_t> TDriveModel::LoginData() const {
  std::vector<uint8_t> out{config_.protocol, config_.addressWidth, config_.dataWidth,
                           config_.addressStep, config_.maxFrame};
  PutLe(out, config_.word1, 2);
  PutLe(out, config_.deviceType, 2);
  PutLe(out, config_.word3, 2);
  PutLe(out, config_.word4, 2);
  PutLe(out, config_.flashBase, config_.addressWidth);
  const size_t nameAt = out.size();
  out.resize(nameAt + 16, 0x00);
  PutText(out, nameAt, config_.name, 16);
  return out;
}

std::pair<const TDriveModel::TRegion*, size_t> TDriveModel::Locate(uint32_t address,
                                                                    size_t count) const {
  for (const TRegion* region : {&ram_, &flash_}) {
    if (address < region->base || address - region->base >= region->addresses) continue;
    const size_t offset = size_t{address - region->base} * BytesPerAddress();
    if (offset + count > region->bytes.size()) Refuse(dsBadAddress);
    return {region, offset};
  }
  Refuse(dsBadAddress);
}

std::pair<TDriveModel::TRegion*, size_t> TDriveModel::Locate(uint32_t address, size_t count) {
  auto [region, offset] = static_cast<const TDriveModel*>(this)->Locate(address, count);
  return {const_cast<TRegion*>(region), offset};
}

std::vector<uint8_t> TDriveModel::Read(uint32_t address, size_t count) const {
  auto [region, offset] = Locate(address, count);
  return {region->bytes.begin() + offset, region->bytes.begin() + offset + count};
}

std::vector<uint8_t> TDriveModel::ReadString(uint32_t address, size_t maxLength) const {
  auto [region, offset] = Locate(address, 0);
  std::vector<uint8_t> out;
  for (size_t i = offset; i < region->bytes.size() && out.size() < maxLength && region->bytes[i];
       ++i)
    out.push_back(region->bytes[i]);
  return out;
}

void TDriveModel::WriteMemory(uint32_t address, const std::vector<uint8_t>& data) {
  auto [region, offset] = Locate(address, data.size());
  if (region != &ram_) Refuse(dsWrongMemory);
  std::copy(data.begin(), data.end(), region->bytes.begin() + offset);
}

void TDriveModel::RequireStopped() const {
  if (running_) Refuse(dsProgramRunning);
}

void TDriveModel::WriteFlash(uint32_t address, const std::vector<uint8_t>& data) {
  auto [region, offset] = Locate(address, data.size());
  if (region != &flash_) Refuse(dsWrongMemory);
  RequireStopped();
  // Programming can only clear bits; anything else needs an erase first.
  for (size_t i = 0; i < data.size(); ++i)
    if (data[i] & ~region->bytes[offset + i]) Refuse(dsFlashNotErased);
  std::copy(data.begin(), data.end(), region->bytes.begin() + offset);
}

void TDriveModel::EraseFlash(uint32_t address) {
  auto [region, offset] = Locate(address, 0);
  if (region != &flash_) Refuse(dsWrongMemory);
  RequireStopped();
  const size_t sector = offset / FlashSectorBytes * FlashSectorBytes;
  std::fill_n(region->bytes.begin() + sector, std::min<size_t>(FlashSectorBytes, region->bytes.size() - sector), 0xFF);
}

void TDriveModel::CopyRamToFlash(uint32_t ramAddress, uint32_t flashAddress, size_t count) {
  auto [source, offset] = Locate(ramAddress, count);
  if (source != &ram_) Refuse(dsWrongMemory);
  WriteFlash(flashAddress, {source->bytes.begin() + offset, source->bytes.begin() + offset + count});
}

TInfoBlockRef TDriveModel::FindInfoBlock(uint32_t address, uint8_t selector) const {
  const size_t step = BytesPerAddress();
  const std::vector<uint8_t>& bytes = flash_.bytes;
  for (uint64_t at = std::max(address, flash_.base); at < uint64_t{flash_.base} + flash_.addresses;
       ++at) {
    const size_t offset = (at - flash_.base) * step;
    if (offset % config_.dataWidth != 0 || offset + InfoBlockMinSize > bytes.size()) continue;
    if (bytes[offset] != InfoMark0 || bytes[offset + 1] != InfoMark1) continue;
    const uint16_t size = GetLe16(bytes, offset + 2);
    const uint16_t type = GetLe16(bytes, offset + 4);
    if (size < InfoBlockMinSize || size % config_.dataWidth != 0 || offset + size > bytes.size())
      continue;
    if (selector != 0 && type != selector) continue;
    return {static_cast<uint32_t>(at), type, size};
  }
  Refuse(dsNoInfoBlock);
}

std::vector<uint8_t> TDriveModel::EncodeInfoNode(const TInfoNode& node, uint16_t index) const {
  std::vector<uint8_t> out{InfoMark0, InfoMark1};
  PutLe(out, InfoBlockSize, 2);
  PutLe(out, node.type, 2);
  PutLe(out, index, 2);
  out.resize(InfoBlockSize, 0x00);
  PutText(out, 12, node.name, 16);
  if (node.type == 2) {
    for (size_t i = 0; i < 4; ++i) out[28 + i] = static_cast<uint8_t>(node.startAddress >> (8 * i));
  } else {
    PutText(out, 28, node.subName, 16);
  }
  out[44] = static_cast<uint8_t>(node.version);
  out[45] = static_cast<uint8_t>(node.version >> 8);
  out[46] = static_cast<uint8_t>(node.subVersion);
  out[47] = static_cast<uint8_t>(node.subVersion >> 8);
  PutText(out, 48, node.extra, 16);
  return out;
}

void TDriveModel::InstallInfoBlocks(const std::vector<TInfoNode>& nodes) {
  const uint32_t addressesPerBlock = static_cast<uint32_t>(InfoBlockSize / BytesPerAddress());
  if (nodes.size() * InfoBlockSize > std::min<size_t>(FlashSectorBytes, flash_.bytes.size()))
    throw EError(StrFormat("%d information blocks do not fit the first flash sector", nodes.size()));
  uint32_t address = flash_.base;
  for (size_t i = 0; i < nodes.size(); ++i, address += addressesPerBlock) {
    auto [region, offset] = Locate(address, InfoBlockSize);
    const std::vector<uint8_t> record = EncodeInfoNode(nodes[i], static_cast<uint16_t>(i));
    std::copy(record.begin(), record.end(), region->bytes.begin() + offset);
  }
}

uint16_t TDriveModel::StatusWord(TSimClock::time_point now) const {
  return static_cast<uint16_t>((now >= readyAt_ ? StatusReady : 0) | (running_ ? ProgramRunning : 0));
}

void TDriveModel::RequireReady(TSimClock::time_point now) const {
  if (now < readyAt_) Refuse(dsNotReady);
}

void TDriveModel::StartProgram(uint32_t address) {
  // Only an address that an executable firmware block names as its program start is startable.
  for (uint32_t from = flash_.base;;) {
    TInfoBlockRef block;
    try {
      block = FindInfoBlock(from, 2);
    } catch (const EDriveStatus&) {
      Refuse(dsBadArgument);
    }
    const std::vector<uint8_t> record = Read(block.address, block.size);
    const uint32_t start = static_cast<uint32_t>(record[28] | record[29] << 8 | record[30] << 16 |
                                                 uint32_t{record[31]} << 24);
    if (start == address) break;
    from = block.address + 1;
  }
  running_ = true;
}

void TDriveModel::Reset(TSimClock::time_point now) {
  running_ = false;
  std::fill(ram_.bytes.begin(), ram_.bytes.end(), 0x00);
  readyAt_ = now + std::chrono::milliseconds(config_.resetTimeMs);
}

void TDriveModel::SetInstanceState(uint8_t instance, TInstanceState state) {
  if (instance >= instances_.size()) Refuse(dsBadArgument);
  instances_[instance] = state;
}

}  // namespace tolvek
