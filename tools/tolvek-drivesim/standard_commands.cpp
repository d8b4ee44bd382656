// The standard command set: login, status, memory and flash access, program control,
// information blocks and the parameter-instance operations.
#include <algorithm>

#include "command_table.h"

namespace tolvek {

namespace {

[[noreturn]] void Refuse(TDriveStatus status) { throw EDriveStatus{status}; }

// The largest answer payload (after command and status) the drive's frame length allows.
size_t MaxAnswerData(const TDriveModel& drive) { return drive.Config().maxFrame - 2u; }

// The encoded flash data of command 0x37 is scrambled with this key, byte by byte.
constexpr uint8_t FlashDataKey = 0x5A;

void Login(TCommandContext& c) {
  // The login text names the user; the drive accepts any text of up to 16 characters.
  if (c.request.Rest().size() > 16) Refuse(dsBadLength);
  c.answer.Bytes(c.drive.LoginData());
}

void Logout(TCommandContext& c) { c.request.End(); }

void Status(TCommandContext& c) {
  const uint8_t selector = c.request.Byte();
  c.request.End();
  if (selector != 0) Refuse(dsBadArgument);
  const uint16_t word = c.drive.StatusWord(c.now);
  for (size_t i = 0; i < c.drive.Config().dataWidth; ++i)
    c.answer.Byte(i < 2 ? static_cast<uint8_t>(word >> (8 * i)) : 0);
}

void ReadMemory(TCommandContext& c) {
  const uint32_t address = c.request.Address();
  c.request.End();
  c.answer.Bytes(c.drive.Read(address, c.drive.Config().dataWidth));
}

void WriteMemory(TCommandContext& c) {
  const uint32_t address = c.request.Address();
  const std::vector<uint8_t> value = c.request.WordBytes();
  c.request.End();
  c.drive.WriteMemory(address, value);
}

void WriteFlash(TCommandContext& c) {
  const uint32_t address = c.request.Address();
  const std::vector<uint8_t> value = c.request.WordBytes();
  c.request.End();
  c.drive.WriteFlash(address, value);
}

void SetBits(TCommandContext& c) {
  const uint32_t address = c.request.Address();
  const std::vector<uint8_t> mask = c.request.WordBytes();
  const std::vector<uint8_t> value = c.request.WordBytes();
  c.request.End();
  std::vector<uint8_t> word = c.drive.Read(address, mask.size());
  for (size_t i = 0; i < word.size(); ++i)
    word[i] = static_cast<uint8_t>((word[i] & ~mask[i]) | (value[i] & mask[i]));
  c.drive.WriteMemory(address, word);
}

void StartProgram(TCommandContext& c) {
  const uint32_t address = c.request.Address();
  c.request.End();
  c.drive.StartProgram(address);
}

void StopProgram(TCommandContext& c) {
  c.request.End();
  c.drive.StopProgram();
}

void ResetDevice(TCommandContext& c) {
  c.request.End();
  c.drive.Reset(c.now);
}

void EraseFlash(TCommandContext& c) {
  const uint32_t address = c.request.Address();
  c.request.End();
  c.drive.EraseFlash(address);
}

void FindInfoBlock(TCommandContext& c) {
  const uint32_t address = c.request.Address();
  const uint8_t selector = c.request.Byte();
  c.request.End();
  const TInfoBlockRef block = c.drive.FindInfoBlock(address, selector);
  c.answer.Address(block.address);
  c.answer.Byte(static_cast<uint8_t>(block.type));
  c.answer.U16(block.size);
}

void ReadBlock(TCommandContext& c) {
  const uint32_t address = c.request.Address();
  const uint8_t count = c.request.Byte();
  c.request.End();
  if (count > MaxAnswerData(c.drive)) Refuse(dsBadArgument);
  c.answer.Bytes(c.drive.Read(address, count));
}

void WriteBlockMemory(TCommandContext& c) {
  const uint32_t address = c.request.Address();
  c.drive.WriteMemory(address, c.request.Rest());
}

void WriteBlockFlash(TCommandContext& c) {
  const uint32_t address = c.request.Address();
  c.drive.WriteFlash(address, c.request.Rest());
}

void WriteEncodedFlash(TCommandContext& c) {
  const uint32_t address = c.request.Address();
  std::vector<uint8_t> data = c.request.Rest();
  for (uint8_t& byte : data) byte ^= FlashDataKey;
  c.drive.WriteFlash(address, data);
}

void CopyRamToFlash(TCommandContext& c) {
  const uint32_t ramAddress = c.request.Address();
  const uint32_t flashAddress = c.request.Address();
  const uint16_t count = c.request.U16();
  c.request.End();
  c.drive.CopyRamToFlash(ramAddress, flashAddress, count);
}

void ReadString(TCommandContext& c) {
  const uint32_t address = c.request.Address();
  if (c.request.Byte() != 0x00) Refuse(dsBadArgument);
  const uint8_t maxLength = c.request.Byte();
  c.request.End();
  c.answer.Bytes(c.drive.ReadString(address, std::min<size_t>(maxLength, MaxAnswerData(c.drive))));
}

void WriteString(TCommandContext& c) {
  const uint32_t address = c.request.Address();
  const std::vector<uint8_t> text = c.request.Rest();
  // The text travels with its terminating NUL, which is stored with it.
  if (text.empty() || text.back() != 0x00) Refuse(dsBadLength);
  c.drive.WriteMemory(address, text);
}

void SetInstance(TCommandContext& c, TInstanceState state) {
  c.request.Byte();  // the selector the row was chosen by
  const uint8_t instance = c.request.Byte();
  c.request.End();
  c.drive.SetInstanceState(instance, state);
}

void ClearInstancePar(TCommandContext& c) { SetInstance(c, isParametersCleared); }
void SetInstanceDefPar(TCommandContext& c) { SetInstance(c, isDefaults); }
void ClearInstanceAll(TCommandContext& c) { SetInstance(c, isAllCleared); }

constexpr TCommandRow Rows[] = {
    // command, selector, name, slow, while starting, handler
    {0x01, -1, "LoginDevice", false, true, Login},
    {0x02, -1, "DeviceLogout", false, true, Logout},
    {0x03, -1, "DeviceStatus", false, true, Status},
    {0x10, -1, "ReadMemory", false, false, ReadMemory},
    {0x11, -1, "WriteMemory", false, false, WriteMemory},
    {0x12, -1, "WriteFlash", true, false, WriteFlash},
    {0x13, -1, "SetBits", false, false, SetBits},
    {0x20, -1, "StartProgram", true, false, StartProgram},
    {0x21, -1, "StopProgram", false, false, StopProgram},
    {0x22, -1, "ResetDevice", false, true, ResetDevice},
    {0x23, -1, "EraseFlash", true, false, EraseFlash},
    {0x25, -1, "FindInfoBlock", false, false, FindInfoBlock},
    {0x30, -1, "ReadBlock", false, false, ReadBlock},
    {0x31, -1, "WriteBlockMemory", false, false, WriteBlockMemory},
    {0x32, -1, "WriteBlockFlash", true, false, WriteBlockFlash},
    {0x33, -1, "CopyRamToFlash", true, false, CopyRamToFlash},
    {0x34, -1, "ReadString", false, false, ReadString},
    {0x35, -1, "WriteString", false, false, WriteString},
    {0x37, -1, "WriteEncodedFlash", true, false, WriteEncodedFlash},
    {0x89, 6, "ClearInstancePar", false, false, ClearInstancePar},
    {0x89, 8, "SetInstanceDefPar", false, false, SetInstanceDefPar},
    {0x89, 9, "ClearInstanceAll", false, false, ClearInstanceAll},
};

}  // namespace

std::span<const TCommandRow> StandardCommandRows() { return Rows; }

}  // namespace tolvek
