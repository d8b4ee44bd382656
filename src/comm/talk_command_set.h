// The pattern instances of the standard Talk command set for one Talk service.
#pragma once

#include "comm/talk_patterns.h"

namespace tolvek {

// One instance per command; the member names follow the operations they serve.
class TTalkCommandSet {
public:
  explicit TTalkCommandSet(TTalkLink& service)
      : LoginDevice(service, 0x01),
        DeviceLogout(service, 0x02),
        DeviceStatus(service, 0x03),
        ReadMemory(service, 0x10),
        WriteMemory(service, 0x11),
        WriteFlash(service, 0x12),
        StartProgram(service, 0x20),
        StopProgram(service, 0x21),
        ResetDevice(service, 0x22),
        EraseFlash(service, 0x23),
        FindInfo(service, 0x25),
        ReadBlock(service, 0x30),
        WriteBlockMemory(service, 0x31),
        WriteBlockFlash(service, 0x32),
        WriteBlockEncoded(service, 0x37),
        ReadString(service, 0x34),
        WriteString(service, 0x35),
        SetBits(service, 0x13),
        CopyRamToFlash(service, 0x33),
        ClearInstancePar(service, 0x89, 6),
        ClearInstanceAll(service, 0x89, 9),
        SetInstanceDefPar(service, 0x89, 8) {}

  TLoginPattern LoginDevice;
  TSimplePattern DeviceLogout;
  TGetStatusPattern DeviceStatus;
  TGetWordPattern ReadMemory;
  TSetWordPattern WriteMemory;
  TSetWordPattern WriteFlash;
  TAddrActionPattern StartProgram;
  TSimplePattern StopProgram;
  TSimplePattern ResetDevice;
  TAddrActionPattern EraseFlash;
  TFindInfoPattern FindInfo;
  TGetBlockPattern ReadBlock;
  TSetBlockPattern WriteBlockMemory;
  TSetBlockPattern WriteBlockFlash;
  TSetBlockPattern WriteBlockEncoded;
  TGetStringPattern ReadString;
  TSetStringPattern WriteString;
  TSetBitPattern SetBits;
  TCopyBlockPattern CopyRamToFlash;
  TInstancePattern ClearInstancePar;
  TInstancePattern ClearInstanceAll;
  TInstancePattern SetInstanceDefPar;
};

}  // namespace tolvek
