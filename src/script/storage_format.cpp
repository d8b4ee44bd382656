// Storage format names and detection.
#include "script/storage_format.h"

#include "platform/error.h"
#include "platform/text_format.h"
#include "script/char_stream.h"
#include "script/name_compare.h"

namespace tolvek {

TSLStorageFormat StorageFormatFromName(std::string_view name) {
  if (SameName(name, "ASCII")) return sfASCII;
  if (SameName(name, "EASCII")) return sfEASCII;
  if (SameName(name, "UNKNOWN")) return sfUnknown;
  throw EError(StrFormat("unknown storage object format '%s'", name));
}

const char* StorageFormatName(TSLStorageFormat format) {
  switch (format) {
    case sfASCII: return "ASCII";
    case sfEASCII: return "EASCII";
    default: return "UNKNOWN";
  }
}

TSLStorageFormat DetectStorageFormat(TSLCharStream& stream) {
  static constexpr char kMagic[] = "%SLE";
  const int64_t start = stream.GetPosition();
  int matched = 0;
  while (matched < 4 && !stream.Eof() && stream.ReadChar() == static_cast<uint8_t>(kMagic[matched]))
    ++matched;
  stream.Seek(start);
  return matched == 4 ? sfEASCII : sfASCII;
}

}  // namespace tolvek
