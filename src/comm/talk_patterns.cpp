// Frame layouts of the pattern classes.
#include "comm/talk_patterns.h"

#include <cstring>

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {

size_t AddressWidth(const TTalkLink& link) { return link.Link.AddressWidth; }
size_t DataWidth(const TTalkLink& link) { return link.Link.DataWidth; }

// Answer results begin after the command and status bytes.
constexpr size_t kResults = 2;

// Layouts: Write appends the request bytes after the command byte; Read takes the results of
// an answer with status 0 and answers false when the answer is shorter than its layout.

struct TSimpleLayout {
  static void Write(const TSimpleRecord&, const TTalkLink&, std::string&, size_t) {}
  static bool Read(std::string_view, const TTalkLink&, TSimpleRecord&) { return true; }
};

struct TAddrActionLayout {
  static void Write(const TAddrActionRecord& r, const TTalkLink& l, std::string& f, size_t max) {
    AppendTalkNumber(f, r.Address, AddressWidth(l), max);
  }
  static bool Read(std::string_view, const TTalkLink&, TAddrActionRecord&) { return true; }
};

struct TGetWordLayout {
  static void Write(const TWordRecord& r, const TTalkLink& l, std::string& f, size_t max) {
    AppendTalkNumber(f, r.Address, AddressWidth(l), max);
  }
  static bool Read(std::string_view a, const TTalkLink& l, TWordRecord& r) {
    return ReadTalkNumber(a, kResults, DataWidth(l), r.Value);
  }
};

struct TSetWordLayout {
  static void Write(const TWordRecord& r, const TTalkLink& l, std::string& f, size_t max) {
    AppendTalkNumber(f, r.Address, AddressWidth(l), max);
    AppendTalkNumber(f, r.Value, DataWidth(l), max);
  }
  static bool Read(std::string_view, const TTalkLink&, TWordRecord&) { return true; }
};

struct TGetStatusLayout {
  static void Write(const TGetStatusRecord& r, const TTalkLink&, std::string& f, size_t max) {
    AppendTalkNumber(f, r.Selector, 1, max);
  }
  static bool Read(std::string_view a, const TTalkLink& l, TGetStatusRecord& r) {
    return ReadTalkNumber(a, kResults, DataWidth(l), r.Value);
  }
};

struct TSetBitLayout {
  static void Write(const TSetBitRecord& r, const TTalkLink& l, std::string& f, size_t max) {
    AppendTalkNumber(f, r.Address, AddressWidth(l), max);
    AppendTalkNumber(f, r.Mask, DataWidth(l), max);
    AppendTalkNumber(f, r.Value, DataWidth(l), max);
  }
  static bool Read(std::string_view, const TTalkLink&, TSetBitRecord&) { return true; }
};

struct TFindInfoLayout {
  static void Write(const TFindInfoRecord& r, const TTalkLink& l, std::string& f, size_t max) {
    AppendTalkNumber(f, r.Address, AddressWidth(l), max);
    AppendTalkNumber(f, r.Byte, 1, max);
  }
  static bool Read(std::string_view a, const TTalkLink& l, TFindInfoRecord& r) {
    const size_t width = AddressWidth(l);
    uint32_t byte = 0, word = 0;
    if (!ReadTalkNumber(a, kResults, width, r.Address) || !ReadTalkNumber(a, kResults + width, 1, byte) ||
        !ReadTalkNumber(a, kResults + width + 1, 2, word))
      return false;
    r.Byte = static_cast<uint8_t>(byte);
    r.Word = static_cast<uint16_t>(word);
    return true;
  }
};

struct TGetBlockLayout {
  static void Write(const TGetBlockRecord& r, const TTalkLink& l, std::string& f, size_t max) {
    AppendTalkNumber(f, r.Address, AddressWidth(l), max);
    AppendTalkNumber(f, r.Count, 1, max);
  }
  // The count bytes, all of them: a block cut short would shift every byte behind it.
  static bool Read(std::string_view a, const TTalkLink&, TGetBlockRecord& r) {
    if (a.size() < kResults + r.Count) return false;
    r.Data.Assign(a.substr(kResults, r.Count));
    return true;
  }
};

struct TSetBlockLayout {
  static void Write(const TSetBlockRecord& r, const TTalkLink& l, std::string& f, size_t max) {
    AppendTalkNumber(f, r.Address, AddressWidth(l), max);
    AppendTalkBytes(f, r.Data.View(), max);
  }
  static bool Read(std::string_view, const TTalkLink&, TSetBlockRecord&) { return true; }
};

struct TGetStringLayout {
  static void Write(const TGetStringRecord& r, const TTalkLink& l, std::string& f, size_t max) {
    AppendTalkNumber(f, r.Address, AddressWidth(l), max);
    AppendTalkNumber(f, 0, 1, max);
    AppendTalkNumber(f, r.MaxLength, 1, max);
  }
  static bool Read(std::string_view a, const TTalkLink&, TGetStringRecord& r) {
    r.Text.Assign(a.substr(kResults, r.MaxLength));
    return true;
  }
};

struct TSetStringLayout {
  static void Write(const TSetStringRecord& r, const TTalkLink& l, std::string& f, size_t max) {
    const size_t textMax = std::min<size_t>(max, kTalkMaxFrame) - 1;
    AppendTalkNumber(f, r.Address, AddressWidth(l), textMax);
    AppendTalkBytes(f, r.Text.View(), textMax);
    AppendTalkNumber(f, 0, 1, max);
  }
  static bool Read(std::string_view, const TTalkLink&, TSetStringRecord&) { return true; }
};

struct TLoginLayout {
  static void Write(const TLoginRecord& r, const TTalkLink&, std::string& f, size_t max) {
    AppendTalkBytes(f, r.Text.View(), max);
  }
  static bool Read(std::string_view a, const TTalkLink&, TLoginRecord& r) {
    return ParseLoginAnswer(a, r.Result);
  }
};

struct TInstanceLayout {
  static void Write(const TInstanceRecord& r, const TTalkLink&, std::string& f, size_t max) {
    AppendTalkNumber(f, r.Selector, 1, max);
    AppendTalkNumber(f, r.Value, 1, max);
  }
  static bool Read(std::string_view, const TTalkLink&, TInstanceRecord&) { return true; }
};

struct TCopyBlockLayout {
  static void Write(const TCopyBlockRecord& r, const TTalkLink& l, std::string& f, size_t max) {
    AppendTalkNumber(f, r.AddressA, AddressWidth(l), max);
    AppendTalkNumber(f, r.AddressB, AddressWidth(l), max);
    AppendTalkNumber(f, r.Count, 2, max);
  }
  static bool Read(std::string_view, const TTalkLink&, TCopyBlockRecord&) { return true; }
};

struct TCustomLayout {
  static void Write(const TCustomRecord& r, const TTalkLink&, std::string& f, size_t max) {
    AppendTalkBytes(f, r.Request.View(), max);
  }
  static bool Read(std::string_view a, const TTalkLink&, TCustomRecord& r) {
    r.Answer.Assign(a.substr(kResults));
    return true;
  }
};

size_t MaxBlockSize(const TTalkPattern& pattern, size_t overhead) {
  const TTalkLink& link = pattern.Service();
  if (!link.Online) throw EError(StrFormat("%s.GetMaxSize: service is not online", pattern.ClassName()));
  const size_t width = link.Link.DataWidth;
  if (width == 0 || link.Link.MaxFrameLength <= overhead) return 0;
  return (link.Link.MaxFrameLength - overhead) / width * width;
}

}  // namespace

#define TOLVEK_TALK_PATTERN_CLASS_DEF(Name, Record, Layout)                                  \
  TTalkPatternClass& Name::Class() {                                                          \
    static TTalkPatternClass patternClass{#Name, &TTalkPatternOps<Record, Layout>::WriteRequest, \
                                          &TTalkPatternOps<Record, Layout>::ReadResponse};     \
    return patternClass;                                                                      \
  }

TOLVEK_TALK_PATTERN_CLASS_DEF(TSimplePattern, TSimpleRecord, TSimpleLayout)
TOLVEK_TALK_PATTERN_CLASS_DEF(TAddrActionPattern, TAddrActionRecord, TAddrActionLayout)
TOLVEK_TALK_PATTERN_CLASS_DEF(TGetWordPattern, TWordRecord, TGetWordLayout)
TOLVEK_TALK_PATTERN_CLASS_DEF(TSetWordPattern, TWordRecord, TSetWordLayout)
TOLVEK_TALK_PATTERN_CLASS_DEF(TGetStatusPattern, TGetStatusRecord, TGetStatusLayout)
TOLVEK_TALK_PATTERN_CLASS_DEF(TSetBitPattern, TSetBitRecord, TSetBitLayout)
TOLVEK_TALK_PATTERN_CLASS_DEF(TFindInfoPattern, TFindInfoRecord, TFindInfoLayout)
TOLVEK_TALK_PATTERN_CLASS_DEF(TGetBlockPattern, TGetBlockRecord, TGetBlockLayout)
TOLVEK_TALK_PATTERN_CLASS_DEF(TSetBlockPattern, TSetBlockRecord, TSetBlockLayout)
TOLVEK_TALK_PATTERN_CLASS_DEF(TGetStringPattern, TGetStringRecord, TGetStringLayout)
TOLVEK_TALK_PATTERN_CLASS_DEF(TSetStringPattern, TSetStringRecord, TSetStringLayout)
TOLVEK_TALK_PATTERN_CLASS_DEF(TLoginPattern, TLoginRecord, TLoginLayout)
TOLVEK_TALK_PATTERN_CLASS_DEF(TInstancePattern, TInstanceRecord, TInstanceLayout)
TOLVEK_TALK_PATTERN_CLASS_DEF(TCopyBlockPattern, TCopyBlockRecord, TCopyBlockLayout)
TOLVEK_TALK_PATTERN_CLASS_DEF(TCustomPattern, TCustomRecord, TCustomLayout)

#undef TOLVEK_TALK_PATTERN_CLASS_DEF

void TSimplePattern::AddRequest(TTalkActor& actor, uint32_t userValue) const {
  AddRecord(actor, TSimpleRecord{Header(userValue)});
}

void TAddrActionPattern::AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address) const {
  AddRecord(actor, TAddrActionRecord{Header(userValue), address});
}

void TGetWordPattern::AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address) const {
  AddRecord(actor, TWordRecord{Header(userValue), address, 0});
}

uint32_t TGetWordPattern::GetValue(TTalkActor& actor) const { return GetRecord<TWordRecord>(actor).Value; }

void TSetWordPattern::AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address, uint32_t value) const {
  AddRecord(actor, TWordRecord{Header(userValue), address, value});
}

void TGetStatusPattern::AddRequest(TTalkActor& actor, uint32_t userValue, uint8_t selector) const {
  AddRecord(actor, TGetStatusRecord{Header(userValue), selector, 0});
}

uint32_t TGetStatusPattern::GetValue(TTalkActor& actor) const { return GetRecord<TGetStatusRecord>(actor).Value; }

void TSetBitPattern::AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address, uint32_t value,
                                uint32_t mask) const {
  AddRecord(actor, TSetBitRecord{Header(userValue), address, value, mask});
}

void TFindInfoPattern::AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address, uint8_t byte) const {
  AddRecord(actor, TFindInfoRecord{Header(userValue), address, byte, 0});
}

uint32_t TFindInfoPattern::GetInfoAddress(TTalkActor& actor) const { return GetRecord<TFindInfoRecord>(actor).Address; }
uint8_t TFindInfoPattern::GetInfoByte(TTalkActor& actor) const { return GetRecord<TFindInfoRecord>(actor).Byte; }
uint16_t TFindInfoPattern::GetInfoWord(TTalkActor& actor) const { return GetRecord<TFindInfoRecord>(actor).Word; }

void TGetBlockPattern::AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address, uint8_t count) const {
  AddRecord(actor, TGetBlockRecord{Header(userValue), address, count, {}});
}

std::string TGetBlockPattern::GetBlock(TTalkActor& actor) const {
  return std::string(GetRecord<TGetBlockRecord>(actor).Data.View());
}

size_t TGetBlockPattern::GetMaxSize() const { return MaxBlockSize(*this, 2); }

void TSetBlockPattern::AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address,
                                  std::string_view data) const {
  TSetBlockRecord record{Header(userValue), address, {}};
  record.Data.Assign(data);
  AddRecord(actor, record);
}

std::string TSetBlockPattern::GetBlock(TTalkActor& actor) const {
  return std::string(GetRecord<TSetBlockRecord>(actor).Data.View());
}

size_t TSetBlockPattern::GetMaxSize() const { return MaxBlockSize(*this, size_t{Service().Link.AddressWidth} + 1); }

void TGetStringPattern::AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address, uint8_t maxLength) const {
  AddRecord(actor, TGetStringRecord{Header(userValue), address, maxLength, {}});
}

std::string TGetStringPattern::GetBlock(TTalkActor& actor) const {
  return std::string(GetRecord<TGetStringRecord>(actor).Text.View());
}

void TSetStringPattern::AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t address, std::string_view text,
                                   size_t count) const {
  TSetStringRecord record{Header(userValue), address, {}};
  record.Text.Assign(text.substr(0, count));
  AddRecord(actor, record);
}

std::string TSetStringPattern::GetBlock(TTalkActor& actor) const {
  return std::string(GetRecord<TSetStringRecord>(actor).Text.View());
}

void TLoginPattern::AddRequest(TTalkActor& actor, uint32_t userValue, std::string_view text) const {
  TLoginRecord record{Header(userValue), {}, {}};
  record.Text.Assign(text.substr(0, 16));
  AddRecord(actor, record);
}

TTalkLinkParameters TLoginPattern::GetLoginResult(TTalkActor& actor) const {
  return GetRecord<TLoginRecord>(actor).Result;
}

void TInstancePattern::AddRequest(TTalkActor& actor, uint32_t userValue, uint8_t value) const {
  AddRecord(actor, TInstanceRecord{Header(userValue), selector_, value});
}

void TCopyBlockPattern::AddRequest(TTalkActor& actor, uint32_t userValue, uint32_t addressA, uint32_t addressB,
                                   uint16_t count) const {
  AddRecord(actor, TCopyBlockRecord{Header(userValue), addressA, addressB, count});
}

void TCustomPattern::AddRequest(TTalkActor& actor, uint32_t userValue, std::string_view request) const {
  TCustomRecord record{Header(userValue), {}, {}};
  record.Request.Assign(request);
  AddRecord(actor, record);
}

std::string TCustomPattern::GetBlock(TTalkActor& actor) const {
  return std::string(GetRecord<TCustomRecord>(actor).Answer.View());
}

}  // namespace tolvek
