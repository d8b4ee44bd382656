// Where the kernel reports failures that have no caller to go to: an exception that escaped a
// task's slice, a timer callback or a kernel thread.
#pragma once

#include <functional>
#include <string>

namespace tolvek {

// Receives a caption ("Unhandled Exception in Task", a thread's name) and the failure's message.
// The application routes it to a message box and the debug log; until then it goes to stderr.
using TMxErrorHandler = std::function<void(const std::string& caption, const std::string& message)>;

// Replaces the handler (an empty one restores the stderr default); answers the previous one.
TMxErrorHandler MxSetErrorHandler(TMxErrorHandler handler);

// Reports a failure through the current handler; safe from any thread. A handler that throws is
// ignored, so reporting never fails.
void MxReportError(const std::string& caption, const std::string& message);

}  // namespace tolvek
