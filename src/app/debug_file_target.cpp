#include "app/debug_file_target.h"

#include <cstdlib>

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TDebugFileTarget::TDebugFileTarget(const std::string& path) {
  if (path == "stderr" || path == "-") {
    file_ = stderr;
    return;
  }
  file_ = std::fopen(path.c_str(), "a");
  if (!file_) throw EError(StrFormat("Debug log %s could not be opened!", path));
  owned_ = true;
}

TDebugFileTarget::~TDebugFileTarget() {
  if (owned_) std::fclose(file_);
}

bool TDebugFileTarget::AppendLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
  return true;
}

std::unique_ptr<TDebugOutputTarget> HeadlessDebugTarget(const std::string& switchValue) {
  std::string where = switchValue;
  if (where.empty())
    if (const char* value = std::getenv("TOLVEK_DEBUG_LOG")) where = value;
  if (where.empty()) return nullptr;
  return std::make_unique<TDebugFileTarget>(where);
}

}  // namespace tolvek
