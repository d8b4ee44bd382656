// The message writer and reader.
#include "kernel/message_text.h"

#include "platform/error.h"

namespace tolvek {

namespace {
constexpr uint8_t kTab = 9;
constexpr uint8_t kCr = 13;
}  // namespace

TMxMessage* TMessageWriter::NewMessage() {
  message_ = tolvek::NewMessage();
  return message_;
}

TMxMessage* TMessageWriter::CurrentMessage(const char* operation) const {
  if (!message_) throw EError(std::string("TMessageWriter.") + operation + ": no message");
  return message_;
}

void TMessageWriter::PutCommand(std::string_view name) {
  if (name.empty()) throw EError("PutCommand: Empty Data");
  TMxMessage* message = CurrentMessage("PutCommand");
  if (message->Size() > 0) message->AppendByte(kCr);
  message->Body().Append(name);
}

void TMessageWriter::PutParameter(std::string_view text) {
  if (text.empty()) throw EError("TMessageWriter.PutParameter: Empty Data");
  TMxMessage* message = CurrentMessage("PutParameter");
  if (message->Size() == 0) throw EError("TMessageWriter.PutParameter: need a PutCommand first");
  message->AppendByte(kTab);
  message->Body().Append(text);
}

void TMessageReader::SetMessage(TMxMessage* message) {
  message_ = message;
  cursor_.Init(message ? &message->Body() : nullptr);
}

void TMessageReader::ReleaseMessage() {
  FreeMessage(message_);
  SetMessage(nullptr);
}

void TMessageReader::ReadToken(std::string& token) {
  while (!cursor_.EndOfBuffer()) {
    const uint8_t byte = cursor_.GetByte();
    if (byte == kTab || byte == kCr) break;
    token += static_cast<char>(byte);
    cursor_.Increment();
  }
}

void TMessageReader::GetCommand(std::string& name) {
  name.clear();
  if (!message_ || cursor_.EndOfBuffer()) return;
  if (cursor_.Position() != 0) {
    // Pass over the rest of the current command, then its CR.
    while (!cursor_.EndOfBuffer()) {
      const uint8_t byte = cursor_.GetByte();
      cursor_.Increment();
      if (byte == kCr) break;
    }
  }
  ReadToken(name);
}

std::string TMessageReader::GetCommand() {
  std::string name;
  GetCommand(name);
  return name;
}

void TMessageReader::GetParameter(std::string& text) {
  text.clear();
  if (!message_ || cursor_.EndOfBuffer() || cursor_.Position() == 0 || cursor_.GetByte() != kTab) return;
  cursor_.Increment();
  ReadToken(text);
}

std::string TMessageReader::GetParameter() {
  std::string text;
  GetParameter(text);
  return text;
}

}  // namespace tolvek
