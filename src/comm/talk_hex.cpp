#include "comm/talk_hex.h"

#include <charconv>

#include "platform/text_format.h"

namespace tolvek {

std::string TalkHex(uint32_t value) { return StrFormat("%X", value); }

std::optional<uint32_t> ParseTalkHex(std::string_view text) {
  if (!text.empty() && text[0] == '$') text.remove_prefix(1);
  else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  if (text.empty()) return std::nullopt;
  uint32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace tolvek
