// The abstract source position refuses every operation.
#include "script/dbg_info.h"

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

void TDbgInfo::NotImplemented(const char* operation) const {
  throw EError(StrFormat("%s.%s: method not implemented", ClassName(), operation));
}

int32_t TDbgInfo::GetTokPos() const { NotImplemented("GetTokPos"); }
void TDbgInfo::SetTokPos(int32_t) { NotImplemented("SetTokPos"); }
int32_t TDbgInfo::GetTokLength() const { NotImplemented("GetTokLength"); }
void TDbgInfo::SetTokLength(int32_t) { NotImplemented("SetTokLength"); }
int32_t TDbgInfo::GetTokLine() const { NotImplemented("GetTokLine"); }
void TDbgInfo::SetTokLine(int32_t) { NotImplemented("SetTokLine"); }
bool TDbgInfo::GetBreakpoint() const { NotImplemented("GetBreakpoint"); }
void TDbgInfo::SetBreakpoint(bool) { NotImplemented("SetBreakpoint"); }
uint16_t TDbgInfo::GetStorageID() const { NotImplemented("GetStorageID"); }
void TDbgInfo::SetStorageID(uint16_t) { NotImplemented("SetStorageID"); }

}  // namespace tolvek
