// Kernel threads report an exception that ends them.
#include "kernel/our_thread.h"

#include "kernel/error_report.h"

namespace tolvek {

void TOurThread::HandleFatalException(const std::string& message) {
  TThread::HandleFatalException(message);
  MxReportError(Name(), message);
}

}  // namespace tolvek
