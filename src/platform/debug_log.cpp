#include "platform/debug_log.h"

#include <atomic>

namespace tolvek {

namespace {
std::atomic<TDebugLog*> installed{nullptr};
}  // namespace

TDebugLog* DebugLog() { return installed.load(std::memory_order_acquire); }

void SetDebugLog(TDebugLog* log) { installed.store(log, std::memory_order_release); }

void DebugInfo(const std::string& text) {
  if (TDebugLog* log = DebugLog()) log->Info(text);
}

void DebugWarning(const std::string& text) {
  if (TDebugLog* log = DebugLog()) log->Warning(text);
}

void DebugError(const std::string& text) {
  if (TDebugLog* log = DebugLog()) log->Error(text);
}

std::string DebugHexDump(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (char c : bytes) {
    auto b = static_cast<uint8_t>(c);
    out += digits[b >> 4];
    out += digits[b & 15];
    out += ' ';
  }
  return out;
}

}  // namespace tolvek
