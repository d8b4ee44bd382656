#include "platform/error.h"
#include "platform/text_format.h"
#include "script/name_compare.h"
#include "script/storage_object.h"

namespace tolvek {

TStorageAccess StrToStorageAccess(std::string_view text) {
  if (SameName(text, "R")) return saRead;
  if (SameName(text, "W")) return saWrite;
  if (SameName(text, "RW")) return saReadWrite;
  throw EError(StrFormat("illegal access attribute '%s'", text));
}

}  // namespace tolvek
