// Random message bodies through the message reader, the way the Talk server reads control
// commands and request batches: every command and every parameter, with tokens that never
// hold a separator and never reach beyond the body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "kernel/message.h"
#include "kernel/message_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvek;
  TMxMessage* message = NewMessage();
  message->SetString(std::string_view(reinterpret_cast<const char*>(data), size));
  TMessageReader reader;
  reader.SetMessage(message);
  size_t consumed = 0;
  // Each round reads at least one byte or ends; the bound catches a reader that stops moving.
  for (size_t round = 0; round <= size + 1; ++round) {
    std::string command = reader.GetCommand();
    if (command.empty()) break;
    consumed += command.size();
    for (size_t p = 0; p <= size; ++p) {
      std::string parameter = reader.GetParameter();
      if (parameter.empty()) break;
      if (parameter.find_first_of("\t\r") != std::string::npos) std::abort();
      consumed += parameter.size();
    }
    if (command.find_first_of("\t\r") != std::string::npos || consumed > size) std::abort();
  }
  reader.ReleaseMessage();
  return 0;
}
