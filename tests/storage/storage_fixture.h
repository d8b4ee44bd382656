// A scratch installation directory with a storage manager set up as the program sets it up.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/installation.h"
#include "platform/error.h"
#include "script/ref_obj.h"
#include "script/storage_manager.h"

namespace tolvek {

class StorageFixture : public ::testing::Test {
protected:
  void SetUp() override {
    static int counter = 0;
    root_ = std::filesystem::temp_directory_path() /
            ("tolvek_storage_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(root_);
    const char* old = std::getenv("TOLVEK_HOME");
    oldHome_ = old ? old : "";
    hadHome_ = old != nullptr;
    ::setenv("TOLVEK_HOME", root_.c_str(), 1);
    oldCwd_ = std::filesystem::current_path();
    std::filesystem::current_path(root_);
    storage_ = std::make_unique<TStorageManager>();
    InstallStorage(*storage_, Root());
  }

  void TearDown() override {
    storage_.reset();
    TRefObjManager::Instance().ReleasePool();
    std::filesystem::current_path(oldCwd_);
    if (hadHome_) ::setenv("TOLVEK_HOME", oldHome_.c_str(), 1);
    else ::unsetenv("TOLVEK_HOME");
    std::filesystem::remove_all(root_);
  }

  std::string Root() const { return root_.string() + "/"; }

  void WriteFile(const std::string& relative, const std::string& text) {
    std::filesystem::path path = root_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  std::string ReadFile(const std::string& relative) const {
    std::ifstream in(root_ / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  bool Exists(const std::string& relative) const { return std::filesystem::exists(root_ / relative); }

  // The message of the failure `action` raises, or "" when it raises none.
  template <class F>
  static std::string FailureOf(F&& action) {
    try {
      action();
    } catch (const EError& e) {
      return e.Message();
    }
    return "";
  }

  std::unique_ptr<TStorageManager> storage_;
  std::filesystem::path root_;
  std::filesystem::path oldCwd_;
  std::string oldHome_;
  bool hadHome_ = false;
};

}  // namespace tolvek
