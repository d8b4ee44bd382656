// Shared pieces of the Talk tests: a main scheduler on a headless loop, a Talk client with the
// command set, a link with chosen parameters, and a stand-in for the Talk server's request
// queue that the test answers by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../kernel/kernel_test_support.h"
#include "comm/talk_client.h"
#include "comm/talk_command_set.h"
#include "comm/talk_hex.h"
#include "comm/talk_link.h"
#include "kernel/message.h"
#include "kernel/message_text.h"
#include "kernel/queue.h"

namespace tolvek::testing {

using TBytes = std::vector<uint8_t>;

inline std::string ByteString(const TBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
inline TBytes FromString(std::string_view text) { return TBytes(text.begin(), text.end()); }

// One command of a request or answer batch.
struct TBatchCommand {
  uint32_t Id = 0;
  uint32_t Number = 0;  // device number (request) or status (answer)
  TBytes Frame;
};

inline std::vector<TBatchCommand> ReadBatch(TMxMessage* message, bool answer) {
  TMessageReader reader;
  reader.SetMessage(message);
  std::vector<TBatchCommand> commands;
  for (std::string id = reader.GetCommand(); !id.empty(); id = reader.GetCommand()) {
    TBatchCommand command;
    command.Id = ParseTalkHex(id).value_or(0);
    command.Number = ParseTalkHex(reader.GetParameter()).value_or(0xFFFF);
    if (!answer || command.Number == 0) {
      const uint32_t length = ParseTalkHex(reader.GetParameter()).value_or(0);
      for (uint32_t i = 0; i < length; ++i)
        command.Frame.push_back(static_cast<uint8_t>(ParseTalkHex(reader.GetParameter()).value_or(0)));
    }
    commands.push_back(command);
  }
  return commands;
}

// A link with the standard command set, as a Talk service has it.
class TTestLink : public TTalkLink {
public:
  TTalkCommandSet* StandardCommands() override { return &Commands; }
  TTalkCommandSet Commands{*this};
};

// A Talk client, a link of chosen widths, and a queue that stands where the Talk server's
// request queue would be: the test takes each batch and answers it.
class TTalkFixture : public TMainSchedulerFixture {
protected:
  TTalkFixture() {
    client.RegisterStandardPatterns();
    server.LogOn();
    link.RequestNode = server.Node()->Number();
    SetLink(3, 2, 2, 255);
  }

  void SetLink(uint8_t addressWidth, uint8_t dataWidth, uint8_t step, uint8_t maxFrame) {
    link.Link.AddressWidth = addressWidth;
    link.Link.DataWidth = dataWidth;
    link.Link.AddressStep = step;
    link.Link.MaxFrameLength = maxFrame;
    link.Online = true;
  }

  // The next request batch that reached the stand-in server (waits for it).
  TMxMessage* TakeRequest() {
    TMxMessage* message = nullptr;
    EXPECT_TRUE(RunUntil([&] { return (message = server.GetMessage()) != nullptr; }));
    return message;
  }

  // Answers `request` (which is freed) with the given commands: status and, for status 0, frame.
  void Answer(TMxMessage* request, const std::vector<TBatchCommand>& answers) {
    TMxMessage* reply = NewMessage();
    SetReplyTo(*reply, *request);
    FreeMessage(request);
    TMessageWriter writer;
    writer.SetMessage(reply);
    for (const TBatchCommand& answer : answers) {
      writer.PutCommand(TalkHex(answer.Id));
      writer.PutParameter(TalkHex(answer.Number));
      if (answer.Number == 0) {
        writer.PutParameter(TalkHex(static_cast<uint32_t>(answer.Frame.size())));
        for (uint8_t byte : answer.Frame) writer.PutParameter(TalkHex(byte));
      }
    }
    server.SendMessage(reply);
  }

  // Executes the actor, answers its batch with the given answers, and waits for completion.
  std::vector<TBatchCommand> ExecuteAndAnswer(TTalkActor& actor, const std::vector<TBatchCommand>& answers) {
    actor.Execute();
    TMxMessage* request = TakeRequest();
    std::vector<TBatchCommand> sent = ReadBatch(request, false);
    Answer(request, answers);
    EXPECT_TRUE(RunUntil([&] { return !actor.IsBusy(); }));
    return sent;
  }

  TTalkClient client;
  TTestLink link;
  TTalkCommandSet& commands = link.Commands;
  TMxQueue server;
};

}  // namespace tolvek::testing
