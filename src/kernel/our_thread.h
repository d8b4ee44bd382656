// The base of every thread the kernel starts.
#pragma once

#include <string>

#include "platform/thread.h"

namespace tolvek {

// A named platform thread whose escaping failures are reported instead of lost. Its running
// thread carries `Name` (cut to 15 characters) for debuggers; nothing depends on it.
class TOurThread : public TThread {
public:
  explicit TOurThread(std::string name) : TThread(std::move(name)) {}

protected:
  void HandleFatalException(const std::string& message) override;
};

}  // namespace tolvek
