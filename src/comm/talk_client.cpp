// Pattern class registry, actor pool, and the record <-> request batch translation.
#include "comm/talk_client.h"

#include <algorithm>

#include "comm/talk_hex.h"
#include "comm/talk_patterns.h"
#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TTalkClient::~TTalkClient() = default;

void TTalkClient::RegisterTalkPattern(TTalkPatternClass& patternClass) {
  if (patterns_.size() >= kMaxPatternClasses)
    throw EError(StrFormat("%s.RegisterTalkPattern: pattern list is full", ClassName()));
  if (std::find(patterns_.begin(), patterns_.end(), &patternClass) != patterns_.end())
    throw EError(StrFormat("%s.RegisterTalkPattern: %s is already registerd", ClassName(), patternClass.Name));
  patterns_.push_back(&patternClass);
  patternClass.Id = static_cast<uint16_t>(patterns_.size());
}

void TTalkClient::RegisterStandardPatterns() {
  for (TTalkPatternClass* patternClass :
       {&TLoginPattern::Class(), &TGetWordPattern::Class(), &TSetWordPattern::Class(), &TGetBlockPattern::Class(),
        &TSetBlockPattern::Class(), &TSimplePattern::Class(), &TAddrActionPattern::Class(),
        &TGetStringPattern::Class(), &TSetStringPattern::Class(), &TCustomPattern::Class(),
        &TFindInfoPattern::Class(), &TGetStatusPattern::Class(), &TSetBitPattern::Class(),
        &TInstancePattern::Class(), &TCopyBlockPattern::Class()})
    RegisterTalkPattern(*patternClass);
}

TTalkPatternClass& TTalkClient::GetTalkPattern(uint32_t id) const {
  if (id == 0 || id > patterns_.size())
    throw EError(StrFormat("%s.GetTalkPattern: no pattern with id %d", ClassName(), id));
  return *patterns_[id - 1];
}

TTalkActor* TTalkClient::GetActor() {
  if (!idle_.empty()) {
    TTalkActorImplementation* actor = idle_.back();
    idle_.pop_back();
    return actor;
  }
  actors_.push_back(std::make_unique<TTalkActorImplementation>(*this));
  return actors_.back().get();
}

void TTalkClient::ReturnActor(TTalkActor* actor) {
  auto* implementation = dynamic_cast<TTalkActorImplementation*>(actor);
  if (!implementation) throw EError("wrong actor class type");
  implementation->Clear();
  implementation->OnDone = nullptr;
  if (std::find(idle_.begin(), idle_.end(), implementation) == idle_.end()) idle_.push_back(implementation);
}

void TTalkClient::WriteRecord(TTalkActor& actor, TMessageWriter& writer) const {
  TTalkRecordHeader header;
  actor.GetData(sizeof(header), &header);
  TTalkPatternClass& patternClass = GetTalkPattern(header.PatternId);
  std::string frame(1, static_cast<char>(header.Command));
  patternClass.WriteRequest(actor, frame, kTalkMaxFrame);
  writer.PutCommand(TalkHex(header.PatternId));
  writer.PutParameter(TalkHex(header.Service->DeviceNumber));
  writer.PutParameter(TalkHex(static_cast<uint32_t>(frame.size())));
  for (char byte : frame) writer.PutParameter(TalkHex(static_cast<uint8_t>(byte)));
}

void TTalkClient::ReadRecord(TTalkActor& actor, TMessageReader& reader) const {
  TTalkRecordHeader header;
  actor.GetData(sizeof(header), &header);
  const std::optional<uint32_t> id = ParseTalkHex(reader.GetCommand());
  if (!id || *id != header.PatternId) throw EError("TServicePattern.GetResponseData: wrong pattern id");
  const std::optional<uint32_t> status = ParseTalkHex(reader.GetParameter());
  if (!status || *status != 0) {
    header.Status = status ? static_cast<uint8_t>(*status) : kTalkAnswerRefused;
    actor.SetData(sizeof(header), &header);
    return;
  }
  const std::optional<uint32_t> length = ParseTalkHex(reader.GetParameter());
  std::string frame;
  bool complete = length && *length <= kTalkMaxFrame;
  for (uint32_t i = 0; complete && i < *length; ++i) {
    const std::optional<uint32_t> byte = ParseTalkHex(reader.GetParameter());
    if (!byte || *byte > 0xFF) complete = false;
    else frame.push_back(static_cast<char>(*byte));
  }
  if (!complete) {
    header.Status = kTalkAnswerRefused;
    actor.SetData(sizeof(header), &header);
    return;
  }
  GetTalkPattern(header.PatternId).ReadResponse(frame, actor);
}

}  // namespace tolvek
