// Writing and reading message bodies made of commands and parameters: each command is its name
// followed by its parameters, each after one TAB; commands are separated by one CR. Nothing is
// escaped and neither names nor parameters are ever empty.
#pragma once

#include <string>
#include <string_view>

#include "kernel/buffer.h"
#include "kernel/message.h"

namespace tolvek {

// Builds a message body command by command.
class TMessageWriter {
public:
  // Takes a fresh message from the pool and writes into it from now on. The writer never frees
  // it: the caller sends or frees it.
  TMxMessage* NewMessage();
  // Writes into `message` from now on (appending to its body).
  void SetMessage(TMxMessage* message) { message_ = message; }
  TMxMessage* Message() const { return message_; }

  // Appends a command: "PutCommand: Empty Data" for an empty name.
  void PutCommand(std::string_view name);
  // Appends a parameter to the last command: "TMessageWriter.PutParameter: Empty Data",
  // "TMessageWriter.PutParameter: need a PutCommand first".
  void PutParameter(std::string_view text);

private:
  TMxMessage* CurrentMessage(const char* operation) const;

  TMxMessage* message_ = nullptr;
};

// Reads a message body in order: GetCommand, its parameters one by one, the next GetCommand.
// Neither ever reads past the end; they answer empty text instead.
class TMessageReader {
public:
  // Takes the message and puts the cursor at its start.
  void SetMessage(TMxMessage* message);
  TMxMessage* Message() const { return message_; }
  // Frees the message and forgets it.
  void ReleaseMessage();

  // The next command's name, passing over unread parameters of the current one; empty after
  // the last command.
  void GetCommand(std::string& name);
  std::string GetCommand();
  // The current command's next parameter; empty (and the cursor stays) after its last one.
  void GetParameter(std::string& text);
  std::string GetParameter();

private:
  void ReadToken(std::string& token);

  TMxMessage* message_ = nullptr;
  TMxBufferPointer cursor_;
};

}  // namespace tolvek
