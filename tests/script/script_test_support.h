// Shared helpers of the script tests: a fixture that proves no test leaks a value, and a check
// of a failure's exact message.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/error.h"
#include "script/ref_obj.h"

namespace tolvek {

// Drains the pool after each test and checks that every value made during it is gone.
class ScriptTest : public ::testing::Test {
protected:
  void SetUp() override {
    TRefObjManager::Instance().ReleasePool();
    objectsBefore_ = TRefObjManager::Instance().ObjectCount();
    refsBefore_ = TRefObjManager::Instance().RefCount();
  }
  void TearDown() override {
    TRefObjManager::Instance().ReleasePool();
    EXPECT_EQ(TRefObjManager::Instance().ObjectCount(), objectsBefore_) << "values leaked";
    EXPECT_EQ(TRefObjManager::Instance().RefCount(), refsBefore_) << "counts leaked";
  }

private:
  int64_t objectsBefore_ = 0;
  int64_t refsBefore_ = 0;
};

// The message of the EError `action` raises ("<no failure>" when it does not raise).
inline std::string FailureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EError& e) {
    return e.Message();
  }
  return "<no failure>";
}

}  // namespace tolvek
