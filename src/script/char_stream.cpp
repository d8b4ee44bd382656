// Byte-wise defaults of the bulk stream operations.
#include "script/char_stream.h"

namespace tolvek {

void TSLCharStream::Write(std::string_view data) {
  for (char c : data) WriteChar(static_cast<uint8_t>(c));
}

std::string_view TSLCharStream::ReadWindow() { return {}; }

void TSLCharStream::ConsumeWindow(size_t) {}

}  // namespace tolvek
