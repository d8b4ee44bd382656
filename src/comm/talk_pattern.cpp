// The pattern base and the number layout of Talk frames.
#include "comm/talk_pattern.h"

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

void AppendTalkNumber(std::string& frame, uint32_t value, size_t width, size_t maxLength) {
  for (size_t i = 0; i < width && frame.size() < maxLength; ++i) {
    frame.push_back(static_cast<char>(i < 4 ? (value >> (8 * i)) & 0xFF : 0));
  }
}

void AppendTalkBytes(std::string& frame, std::string_view bytes, size_t maxLength) {
  if (frame.size() >= maxLength) return;
  frame.append(bytes.substr(0, maxLength - frame.size()));
}

bool ReadTalkNumber(std::string_view frame, size_t offset, size_t width, uint32_t& value) {
  if (offset > frame.size() || frame.size() - offset < width) return false;
  uint32_t result = 0;
  for (size_t i = std::min<size_t>(width, 4); i-- > 0;)
    result = (result << 8) | static_cast<uint8_t>(frame[offset + i]);
  value = result;
  return true;
}

TTalkRecordHeader TTalkPattern::Header(uint32_t userValue) const {
  if (GetPatternId() == 0) throw EError(StrFormat("%s.AddRequest: pattern class is not registered", ClassName()));
  TTalkRecordHeader header;
  header.PatternId = GetPatternId();
  header.Command = command_;
  header.Status = 0;
  header.UserValue = userValue;
  header.Service = &service_;
  return header;
}

void TTalkPattern::CheckHeader(const TTalkRecordHeader& header) const {
  if (header.PatternId != GetPatternId() || header.Command != command_ || header.Service != &service_)
    throw EError(StrFormat("%s.Get: error in record header", ClassName()));
}

}  // namespace tolvek
