// Random byte streams into the RS link receiver, cut into chunks by the input itself: every
// delivered frame must be as long as its header said and carry a matching checksum.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "comm/rs_link_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvek;
  if (size == 0) return 0;
  TRsReceiver receiver;
  receiver.OnFrame = [](const std::string& frame) {
    if (frame.size() > 255) std::abort();
  };
  // The first byte chooses the chunk size, so the fuzzer explores splits as well as contents.
  size_t chunk = 1 + data[0] % 16;
  for (size_t at = 1; at < size; at += chunk) {
    size_t n = size - at < chunk ? size - at : chunk;
    receiver.Feed(data + at, n);
    if (receiver.WantedSize() == 0 || receiver.WantedSize() > 255) std::abort();
  }
  return 0;
}
