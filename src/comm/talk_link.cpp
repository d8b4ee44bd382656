// Reading the link parameters from a login answer or from the "LoginData" text.
#include "comm/talk_link.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "comm/talk_hex.h"

namespace tolvek {

namespace {

uint32_t LittleEndian(std::string_view bytes) {
  uint32_t value = 0;
  const size_t count = std::min<size_t>(bytes.size(), 4);
  for (size_t i = count; i-- > 0;) value = (value << 8) | static_cast<uint8_t>(bytes[i]);
  return value;
}

}  // namespace

bool ParseLoginAnswer(std::string_view frame, TTalkLinkParameters& link) {
  constexpr size_t kFixed = 15;
  if (frame.size() < kFixed) return false;
  const uint8_t addressWidth = static_cast<uint8_t>(frame[3]);
  if (frame.size() < kFixed + addressWidth) return false;
  TTalkLinkParameters parsed;
  parsed.Protocol = static_cast<uint8_t>(frame[2]);
  parsed.AddressWidth = addressWidth;
  parsed.DataWidth = static_cast<uint8_t>(frame[4]);
  parsed.AddressStep = static_cast<uint8_t>(frame[5]);
  parsed.MaxFrameLength = static_cast<uint8_t>(frame[6]);
  for (int i = 0; i < 4; ++i) parsed.Words[i] = static_cast<uint16_t>(LittleEndian(frame.substr(7 + 2 * i, 2)));
  parsed.FlashBase = LittleEndian(frame.substr(kFixed, addressWidth));
  std::string_view name = frame.substr(kFixed + addressWidth, 16);
  name = name.substr(0, std::min(name.find('\0'), name.size()));
  std::memcpy(parsed.Name, name.data(), name.size());
  link = parsed;
  return true;
}

bool ParseLoginData(std::string_view text, TTalkLinkParameters& link) {
  if (text.size() != 8) return false;
  uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) {
    const std::string_view pair = text.substr(2 * i, 2);
    if (!std::all_of(pair.begin(), pair.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
      return false;
    bytes[i] = static_cast<uint8_t>(*ParseTalkHex(pair));
  }
  TTalkLinkParameters parsed;
  parsed.Protocol = 32;
  parsed.AddressWidth = bytes[0];
  parsed.DataWidth = bytes[1];
  parsed.AddressStep = bytes[2];
  parsed.MaxFrameLength = bytes[3];
  link = parsed;
  return true;
}

}  // namespace tolvek
