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
#include "../support/scratch_installation.h"

namespace tolvek {

class StorageFixture : public ::testing::Test, protected testing::TScratchInstallation {
protected:
  StorageFixture() : TScratchInstallation("tolvek_storage", true) {}

  void SetUp() override {
    storage_ = std::make_unique<TStorageManager>();
    InstallStorage(*storage_, Root());
  }

  void TearDown() override {
    storage_.reset();
    TRefObjManager::Instance().ReleasePool();
  }

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
};

}  // namespace tolvek
