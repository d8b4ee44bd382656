// The request pattern base: a pattern instance belongs to one Talk service and sends one
// command byte; its class knows the frame layout, turning a record into request bytes when
// the actor executes and parsing the answer back into the record.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "comm/talk_actor.h"
#include "comm/talk_link.h"

namespace tolvek {

// A frame of at most 255 bytes: what the Talk frames carry.
constexpr size_t kTalkMaxFrame = 255;

// A byte string of at most 255 bytes that lives inside a record.
struct TShortString {
  uint8_t Length = 0;
  char Bytes[255] = {};

  // Keeps the first 255 bytes of `bytes`.
  void Assign(std::string_view bytes) {
    Length = static_cast<uint8_t>(std::min<size_t>(bytes.size(), sizeof(Bytes)));
    std::copy_n(bytes.data(), Length, Bytes);
  }
  std::string_view View() const { return {Bytes, Length}; }
};

// What a pattern class is for the Talk client: its name, its id (class-wide, stored by the
// registration) and the two operations that work on a record without an instance.
struct TTalkPatternClass {
  using TWriteRequest = void (*)(TTalkActor& actor, std::string& frame, size_t maxLength);
  using TReadResponse = void (*)(std::string_view frame, TTalkActor& actor);

  const char* Name;
  // Appends the current record's request bytes to `frame`, never beyond `maxLength`.
  TWriteRequest WriteRequest;
  // Stores the answer frame's status and results in the current record.
  TReadResponse ReadResponse;
  uint16_t Id = 0;  // 0 until registered
};

// Appends `value` in `width` bytes, least significant first (cut to the low bytes, zeros above
// 32 bits), never letting `frame` grow beyond `maxLength`.
void AppendTalkNumber(std::string& frame, uint32_t value, size_t width, size_t maxLength);
// Appends bytes up to `maxLength`.
void AppendTalkBytes(std::string& frame, std::string_view bytes, size_t maxLength);
// Reads `width` bytes at `offset` least significant first (only the low 32 bits count); false
// when the frame ends before them.
bool ReadTalkNumber(std::string_view frame, size_t offset, size_t width, uint32_t& value);

// Base of the pattern classes.
class TTalkPattern {
public:
  TTalkPattern(TTalkLink& service, uint8_t command) : service_(service), command_(command) {}
  virtual ~TTalkPattern() = default;
  TTalkPattern(const TTalkPattern&) = delete;
  TTalkPattern& operator=(const TTalkPattern&) = delete;

  // The class of this pattern, shared by all its instances.
  virtual TTalkPatternClass& PatternClass() const = 0;
  const char* ClassName() const { return PatternClass().Name; }
  void SetPatternId(uint16_t id) { PatternClass().Id = id; }
  uint16_t GetPatternId() const { return PatternClass().Id; }

  TTalkLink& Service() const { return service_; }
  uint8_t Command() const { return command_; }

protected:
  // A record header for this instance; "%s.AddRequest: pattern class is not registered" before
  // the class has an id (a record without one would end the request batch early).
  TTalkRecordHeader Header(uint32_t userValue) const;
  // Appends `record` (header first) with the actor's PutData.
  template <typename R>
  void AddRecord(TTalkActor& actor, const R& record) const {
    actor.PutData(sizeof(R), &record);
  }
  // The actor's current record; "%s.Get: error in record header" when it was not added by this
  // instance.
  template <typename R>
  R GetRecord(TTalkActor& actor) const {
    R record;
    actor.GetData(sizeof(R), &record);
    CheckHeader(record.Header);
    return record;
  }

private:
  void CheckHeader(const TTalkRecordHeader& header) const;

  TTalkLink& service_;
  uint8_t command_;
};

// The class-level operations of a pattern whose record type is R: R begins with a
// TTalkRecordHeader; Layout::Write(record, link, frame, max) appends the request bytes and
// Layout::Read(answer, link, record) reads the results from an answer with status 0, answering
// false when the answer is shorter than the layout.
template <typename R, typename Layout>
struct TTalkPatternOps {
  static void WriteRequest(TTalkActor& actor, std::string& frame, size_t maxLength) {
    R record;
    actor.GetData(sizeof(R), &record);
    Layout::Write(record, *record.Header.Service, frame, maxLength);
  }
  static void ReadResponse(std::string_view frame, TTalkActor& actor) {
    R record;
    actor.GetData(sizeof(R), &record);
    if (frame.size() < 2) {
      record.Header.Status = kTalkAnswerRefused;
    } else {
      record.Header.Status = static_cast<uint8_t>(frame[1]);
      if (record.Header.Status == 0) {
        R parsed = record;
        if (Layout::Read(frame, *record.Header.Service, parsed)) record = parsed;
        else record.Header.Status = kTalkAnswerRefused;
      }
    }
    actor.SetData(sizeof(R), &record);
  }
};

}  // namespace tolvek
