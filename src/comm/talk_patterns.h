// The request pattern classes of the Talk command set, each with the record it adds to an
// actor, the request bytes it sends and the results it reads. Addresses take the service's
// address width and values its data width; the few fixed widths are named in the records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "comm/talk_pattern.h"

namespace tolvek {

// Declares the class-wide part every pattern class shares.
#define TOLVEK_TALK_PATTERN_CLASS(Name)                                 \
public:                                                                  \
  using TTalkPattern::TTalkPattern;                                      \
  static TTalkPatternClass& Class();                                     \
  TTalkPatternClass& PatternClass() const override { return Class(); }

struct TSimpleRecord { TTalkRecordHeader Header; };
struct TAddrActionRecord { TTalkRecordHeader Header; uint32_t Address = 0; };
struct TWordRecord { TTalkRecordHeader Header; uint32_t Address = 0; uint32_t Value = 0; };
struct TGetStatusRecord { TTalkRecordHeader Header; uint8_t Selector = 0; uint32_t Value = 0; };
struct TSetBitRecord { TTalkRecordHeader Header; uint32_t Address = 0; uint32_t Value = 0; uint32_t Mask = 0; };
struct TFindInfoRecord { TTalkRecordHeader Header; uint32_t Address = 0; uint8_t Byte = 0; uint16_t Word = 0; };
struct TGetBlockRecord { TTalkRecordHeader Header; uint32_t Address = 0; uint8_t Count = 0; TShortString Data; };
struct TSetBlockRecord { TTalkRecordHeader Header; uint32_t Address = 0; TShortString Data; };
struct TGetStringRecord { TTalkRecordHeader Header; uint32_t Address = 0; uint8_t MaxLength = 0; TShortString Text; };
struct TSetStringRecord { TTalkRecordHeader Header; uint32_t Address = 0; TShortString Text; };
struct TLoginRecord { TTalkRecordHeader Header; TShortString Text; TTalkLinkParameters Result; };
struct TInstanceRecord { TTalkRecordHeader Header; uint8_t Selector = 0; uint8_t Value = 0; };
struct TCopyBlockRecord { TTalkRecordHeader Header; uint32_t AddressA = 0; uint32_t AddressB = 0; uint16_t Count = 0; };
struct TCustomRecord { TTalkRecordHeader Header; TShortString Request; TShortString Answer; };

// No request bytes, no results (logout, stop program, reset).
class TSimplePattern : public TTalkPattern {
  TOLVEK_TALK_PATTERN_CLASS(TSimplePattern)
  void AddRequest(TTalkActor& actor, uint32_t userValue) const;
};

// Sends an address, reads no results (start program, erase flash).
class TAddrActionPattern : public TTalkPattern {
  TOLVEK_TALK_PATTERN_CLASS(TAddrActionPattern)
  void AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address) const;
};

// Reads one data word at an address.
class TGetWordPattern : public TTalkPattern {
  TOLVEK_TALK_PATTERN_CLASS(TGetWordPattern)
  void AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address) const;
  uint32_t GetValue(TTalkActor& actor) const;
};

// Writes one data word at an address (memory or flash, by the command byte).
class TSetWordPattern : public TTalkPattern {
  TOLVEK_TALK_PATTERN_CLASS(TSetWordPattern)
  void AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address, uint32_t value) const;
};

// Reads a status word chosen by a one-byte selector.
class TGetStatusPattern : public TTalkPattern {
  TOLVEK_TALK_PATTERN_CLASS(TGetStatusPattern)
  void AddRequest(TTalkActor& actor, uint32_t userValue, uint8_t selector) const;
  uint32_t GetValue(TTalkActor& actor) const;
};

// Sets the bits of `mask` in the word at an address to those of `value`.
class TSetBitPattern : public TTalkPattern {
  TOLVEK_TALK_PATTERN_CLASS(TSetBitPattern)
  void AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address, uint32_t value, uint32_t mask) const;
};

// Finds the next information block at or after an address: its address, a byte and a 16-bit word.
class TFindInfoPattern : public TTalkPattern {
  TOLVEK_TALK_PATTERN_CLASS(TFindInfoPattern)
  void AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address, uint8_t byte) const;
  uint32_t GetInfoAddress(TTalkActor& actor) const;
  uint8_t GetInfoByte(TTalkActor& actor) const;
  uint16_t GetInfoWord(TTalkActor& actor) const;
};

// Reads `count` bytes from an address. An answer with fewer bytes than asked for is refused.
class TGetBlockPattern : public TTalkPattern {
  TOLVEK_TALK_PATTERN_CLASS(TGetBlockPattern)
  void AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address, uint8_t count) const;
  std::string GetBlock(TTalkActor& actor) const;
  // The largest count one frame carries, a multiple of the data width (0 for a data width of
  // 0); "%s.GetMaxSize: service is not online" before the login.
  size_t GetMaxSize() const;
};

// Writes bytes from an address on (memory, flash or encoded flash, by the command byte).
class TSetBlockPattern : public TTalkPattern {
  TOLVEK_TALK_PATTERN_CLASS(TSetBlockPattern)
  void AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address, std::string_view data) const;
  std::string GetBlock(TTalkActor& actor) const;
  // The largest data length one frame carries, as for reading.
  size_t GetMaxSize() const;
};

// Reads a NUL-terminated text of at most `maxLength` characters.
class TGetStringPattern : public TTalkPattern {
  TOLVEK_TALK_PATTERN_CLASS(TGetStringPattern)
  void AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address, uint8_t maxLength) const;
  std::string GetBlock(TTalkActor& actor) const;
};

// Writes the first `count` characters of a text and its NUL.
class TSetStringPattern : public TTalkPattern {
  TOLVEK_TALK_PATTERN_CLASS(TSetStringPattern)
  void AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address, std::string_view text,
                  size_t count) const;
  std::string GetBlock(TTalkActor& actor) const;
};

// Logs in with a text of at most 16 characters and reads the link parameters.
class TLoginPattern : public TTalkPattern {
  TOLVEK_TALK_PATTERN_CLASS(TLoginPattern)
  void AddRequest(TTalkActor& actor, uint32_t userValue, std::string_view text) const;
  TTalkLinkParameters GetLoginResult(TTalkActor& actor) const;
};

// Sends its fixed selector and a one-byte value (instance commands of 0x89).
class TInstancePattern : public TTalkPattern {
public:
  TInstancePattern(TTalkLink& service, uint8_t command, uint8_t selector)
      : TTalkPattern(service, command), selector_(selector) {}
  static TTalkPatternClass& Class();
  TTalkPatternClass& PatternClass() const override { return Class(); }
  void AddRequest(TTalkActor& actor, uint32_t userValue, uint8_t value) const;
  uint8_t Selector() const { return selector_; }

private:
  uint8_t selector_;
};

// Copies `count` bytes from address A to address B.
class TCopyBlockPattern : public TTalkPattern {
  TOLVEK_TALK_PATTERN_CLASS(TCopyBlockPattern)
  void AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t addressA, uint32_t addressB,
                  uint16_t count) const;
};

// Sends request bytes as given and keeps the answer's bytes after the status: the pattern
// through which services send commands of their own.
class TCustomPattern : public TTalkPattern {
  TOLVEK_TALK_PATTERN_CLASS(TCustomPattern)
  void AddRequest(TTalkActor& actor, uint32_t userValue, std::string_view request) const;
  std::string GetBlock(TTalkActor& actor) const;
};

#undef TOLVEK_TALK_PATTERN_CLASS

}  // namespace tolvek
