// Random conversations with the TP1 translation: the input is a sequence of Talk requests and
// bytes from the drive, mixed as the input itself says. Every response must belong to the
// request in progress, fit a frame, and come at most once as a final answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "comm/tp1_translator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvek;
  TTp1Translator translator;
  uint8_t command = 0;
  int finals = 0;
  size_t lineBytes = 0;
  translator.OnSend = [&](const std::string& bytes) {
    if (bytes.empty()) std::abort();
    lineBytes += bytes.size();
  };
  translator.OnResponse = [&](const std::string& frame) {
    if (frame.size() < 2 || frame.size() > 255) std::abort();
    if (static_cast<uint8_t>(frame[0]) != command) std::abort();
    const bool interim = frame.size() == 2 && frame[1] == '\x01';
    if (interim != translator.Busy()) std::abort();
    if (!interim && ++finals > 1) std::abort();
  };
  translator.OnWarning = [](const std::string&) {};
  // Each piece starts with a control byte: the high bit makes the piece a request, the low six
  // bits give its length (a request's first byte is its command).
  size_t at = 0;
  while (at < size) {
    const uint8_t control = data[at++];
    size_t n = control & 0x3F;
    if (n > size - at) n = size - at;
    std::string piece(reinterpret_cast<const char*>(data + at), n);
    at += n;
    if (control & 0x80) {
      // Block requests get their length from the piece; give them room to be long.
      if (control & 0x40) piece.append(static_cast<size_t>(control & 0x3F) * 3, '\x5A');
      if (piece.empty()) continue;
      command = static_cast<uint8_t>(piece[0]);
      finals = 0;
      translator.Request(piece);
    } else {
      translator.Feed(piece);
    }
    if (translator.State() > TTp1Translator::tsEndAck) std::abort();
  }
  return 0;
}
