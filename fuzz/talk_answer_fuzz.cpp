// Random drive answers through every request pattern, the way an actor hands them over: the
// first two input bytes choose the link's address and data widths, the rest is the answer
// frame. Every pattern must keep within the frame, never produce a request beyond 255 bytes,
// and leave a result only with status 0. The input is also read as an answer batch body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "comm/talk_client.h"
#include "comm/talk_command_set.h"
#include "kernel/message.h"
#include "kernel/message_text.h"
#include "platform/error.h"

namespace {

using namespace tolvek;

// An actor with one record, without queue or task.
class TOneRecordActor : public TTalkActor {
public:
  const char* ClassName() const override { return "TOneRecordActor"; }
  TTalkLink* GetTalkService() override { return Header().Service; }
  void Clear() override { record_.clear(), count_ = 0; }
  void Execute() override {}
  void Reset() override {}
  void Next() override {}
  uint8_t GetStatus() override { return Header().Status; }
  uint32_t GetUserValue() override { return Header().UserValue; }
  uint8_t GetCommandByte() override { return Header().Command; }
  bool IsBusy() const override { return false; }
  uint32_t GetIndex() const override { return 0; }
  uint32_t GetCount() const override { return count_; }
  void PutData(size_t size, const void* data) override {
    record_.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    count_ = 1;
  }
  void GetData(size_t size, void* buffer) override {
    if (size > record_.size()) std::abort();
    std::memcpy(buffer, record_.data(), size);
  }
  void SetData(size_t size, const void* data) override {
    if (size > record_.size()) std::abort();
    std::memcpy(record_.data(), data, size);
  }
  TMxSignal& DoneSignal() override { return signal_; }

private:
  TTalkRecordHeader Header() {
    TTalkRecordHeader header;
    GetData(sizeof(header), &header);
    return header;
  }
  std::vector<uint8_t> record_;
  uint32_t count_ = 0;
  TMxSignal signal_;
};

class TFuzzLink : public TTalkLink {
public:
  TTalkCommandSet* StandardCommands() override { return &Commands; }
  TTalkCommandSet Commands{*this};
};

TTalkClient& Client() {
  static TTalkClient* client = [] {
    auto* c = new TTalkClient;
    c->RegisterStandardPatterns();
    return c;
  }();
  return *client;
}

// Writes the request (it must stay within a frame), then reads `answer` into the record.
void RoundTrip(TOneRecordActor& actor, std::string_view answer) {
  TTalkRecordHeader header;
  actor.GetData(sizeof(header), &header);
  TTalkPatternClass& patternClass = Client().GetTalkPattern(header.PatternId);
  std::string frame(1, static_cast<char>(header.Command));
  patternClass.WriteRequest(actor, frame, kTalkMaxFrame);
  if (frame.size() > kTalkMaxFrame) std::abort();
  patternClass.ReadResponse(answer, actor);
  const uint8_t status = actor.GetStatus();
  if (answer.size() >= 2 && static_cast<uint8_t>(answer[1]) != 0 && status != static_cast<uint8_t>(answer[1]))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  Client();  // registers the pattern classes before the first request
  TFuzzLink link;
  link.Link.AddressWidth = data[0] % 6;
  link.Link.DataWidth = data[1] % 6;
  link.Link.AddressStep = 2;
  link.Link.MaxFrameLength = 255;
  link.Online = true;
  const std::string_view answer(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::string text(answer.substr(0, 300));
  TTalkCommandSet& c = link.Commands;
  TCustomPattern custom(link, 0x8C);
  TOneRecordActor actor;

  c.LoginDevice.AddRequest(actor, 0, text), RoundTrip(actor, answer), c.LoginDevice.GetLoginResult(actor);
  c.DeviceLogout.AddRequest(actor, 0), RoundTrip(actor, answer);
  c.DeviceStatus.AddRequest(actor, 0, 0), RoundTrip(actor, answer), c.DeviceStatus.GetValue(actor);
  c.ReadMemory.AddRequest(actor, 0, 0x123456), RoundTrip(actor, answer), c.ReadMemory.GetValue(actor);
  c.WriteMemory.AddRequest(actor, 0, 0x10, 0xFFFFFFFF), RoundTrip(actor, answer);
  c.SetBits.AddRequest(actor, 0, 0x10, 1, 8), RoundTrip(actor, answer);
  c.StartProgram.AddRequest(actor, 0, 0x801000), RoundTrip(actor, answer);
  c.FindInfo.AddRequest(actor, 0, 0, 5), RoundTrip(actor, answer);
  c.FindInfo.GetInfoAddress(actor), c.FindInfo.GetInfoByte(actor), c.FindInfo.GetInfoWord(actor);
  c.ReadBlock.AddRequest(actor, 0, 0x1000, static_cast<uint8_t>(size)), RoundTrip(actor, answer);
  if (c.ReadBlock.GetBlock(actor).size() > static_cast<uint8_t>(size)) std::abort();
  c.WriteBlockFlash.AddRequest(actor, 0, 0x800000, text), RoundTrip(actor, answer), c.WriteBlockFlash.GetBlock(actor);
  c.ReadString.AddRequest(actor, 0, 0x10, data[1]), RoundTrip(actor, answer);
  if (c.ReadString.GetBlock(actor).size() > data[1]) std::abort();
  c.WriteString.AddRequest(actor, 0, 0x10, text, text.size()), RoundTrip(actor, answer);
  c.ClearInstanceAll.AddRequest(actor, 0, 3), RoundTrip(actor, answer);
  c.CopyRamToFlash.AddRequest(actor, 0, 0x1000, 0x800000, 0x100), RoundTrip(actor, answer);
  custom.AddRequest(actor, 0, text), RoundTrip(actor, answer), custom.GetBlock(actor);

  TTalkLinkParameters parameters;
  ParseLoginAnswer(answer, parameters);
  if (std::strlen(parameters.Name) > 16) std::abort();

  // The same bytes as the body of an answer batch for one custom record.
  custom.AddRequest(actor, 0, "");
  TMxMessage* message = NewMessage();
  message->SetString(answer);
  TMessageReader reader;
  reader.SetMessage(message);
  try {
    Client().ReadRecord(actor, reader);
  } catch (const EError&) {
    // An answer of another batch: refused by its identifier.
  }
  reader.ReleaseMessage();
  return 0;
}
