// The kernel's failure report hook.
#include "kernel/error_report.h"

#include <cstdio>
#include <mutex>

namespace tolvek {

namespace {

std::mutex& HandlerMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

TMxErrorHandler& Handler() {
  static TMxErrorHandler* handler = new TMxErrorHandler;
  return *handler;
}

}  // namespace

TMxErrorHandler MxSetErrorHandler(TMxErrorHandler handler) {
  std::lock_guard lock(HandlerMutex());
  TMxErrorHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

void MxReportError(const std::string& caption, const std::string& message) {
  TMxErrorHandler handler;
  {
    std::lock_guard lock(HandlerMutex());
    handler = Handler();
  }
  if (!handler) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), message.c_str());
    return;
  }
  try {
    handler(caption, message);
  } catch (...) {
  }
}

}  // namespace tolvek
