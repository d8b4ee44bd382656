// Numbers in the Talk server's message bodies: hexadecimal, written upper-case without prefix
// or leading zeros, read in any hexadecimal form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvek {

std::string TalkHex(uint32_t value);

// The value of a hexadecimal text ("1F", "001f", "0x1F", "$1F"); nothing for an empty or
// malformed text or one beyond 32 bits.
std::optional<uint32_t> ParseTalkHex(std::string_view text);

}  // namespace tolvek
