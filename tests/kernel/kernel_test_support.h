// Shared fixtures of the kernel tests: a headless main loop with its main scheduler, and a
// collector for the failures the kernel reports.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "kernel/error_report.h"
#include "platform/error.h"
#include "kernel/scheduler.h"
#include "platform/main_loop.h"

namespace tolvek::testing {

// "Eventually" in these tests: generous, because they run on a loaded machine under sanitizers.
constexpr int64_t kEventually = 20000;

// Collects what the kernel reports while it lives.
class TReportedErrors {
public:
  TReportedErrors() {
    previous_ = MxSetErrorHandler([this](const std::string& caption, const std::string& message) {
      std::lock_guard lock(mutex_);
      reports_.push_back(caption + ": " + message);
    });
  }
  ~TReportedErrors() { MxSetErrorHandler(previous_); }

  std::vector<std::string> Reports() const {
    std::lock_guard lock(mutex_);
    return reports_;
  }

private:
  mutable std::mutex mutex_;
  std::vector<std::string> reports_;
  TMxErrorHandler previous_;
};

// A main scheduler on a headless loop, as a program without windows has it.
class TMainSchedulerFixture : public ::testing::Test {
protected:
  // Serves the main scheduler until `condition` holds; false after kEventually.
  bool RunUntil(const std::function<bool()>& condition, int64_t timeoutMs = kEventually) {
    return loop.RunUntil(condition, timeoutMs);
  }
  // Runs the main scheduler's ready slices until none is ready.
  void RunReady() { loop.ProcessPending(); }

  THeadlessMainLoop loop;
  TMxScheduler scheduler{&loop};
  TReportedErrors errors;
};

// Polls `condition` from the test thread until it holds; false after kEventually.
inline bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEventually);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Whether a thread of this process carries `name`.
inline bool ThreadNamed(const std::string& name) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(entry.path() / "comm");
    std::string seen;
    std::getline(comm, seen);
    if (seen == name) return true;
  }
  return false;
}

inline int64_t MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
      .count();
}

// Expects `action` to raise EError with exactly `message`.
template <typename F>
void ExpectError(F&& action, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no exception, expected: " << message;
  } catch (const EError& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

}  // namespace tolvek::testing
