// The storage formats of texts in the syntax: plain ("ASCII") or enciphered ("EASCII").
#pragma once

#include <cstdint>
#include <string_view>

namespace tolvek {

class TSLCharStream;

// How a text is stored.
enum TSLStorageFormat : int32_t { sfUnknown = 0, sfASCII = 1, sfEASCII = 2 };

// The format named "ASCII", "EASCII" or "UNKNOWN" (any case); fails
// "unknown storage object format '%s'" for any other name.
TSLStorageFormat StorageFormatFromName(std::string_view name);

// The upper-case name of a format.
const char* StorageFormatName(TSLStorageFormat format);

// Reads up to four bytes at the stream's position: sfEASCII when they are "%SLE", else
// sfASCII. The position is restored.
TSLStorageFormat DetectStorageFormat(TSLCharStream& stream);

}  // namespace tolvek
