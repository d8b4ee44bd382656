#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/installation.h"
#include "app/program_registry.h"
#include "platform/error.h"
#include "platform/file_paths.h"
#include "script/sl_scalar.h"
#include "script/storage_manager.h"

namespace tolvek {
namespace {

class ProgramRegistryTest : public ::testing::Test {
protected:
  void SetUp() override {
    file_ = std::filesystem::temp_directory_path() /
            ("tolvek_registry_" + std::to_string(::getpid()) + ".ini");
    storage_ = std::make_unique<TStorageManager>();
    InstallStorage(*storage_, InstallDir());
  }
  void TearDown() override {
    storage_.reset();
    TRefObjManager::Instance().ReleasePool();
    std::filesystem::remove(file_);
  }
  void Load(const std::string& text) {
    std::ofstream(file_) << text;
    registry_.LoadFromStorage(*storage_, "file://" + file_.string());
  }
  template <class F>
  static std::string FailureOf(F&& action) {
    try {
      action();
    } catch (const EError& e) {
      return e.Message();
    }
    return "";
  }

  std::filesystem::path file_;
  std::unique_ptr<TStorageManager> storage_;
  TProgramRegistry registry_;
};

TEST_F(ProgramRegistryTest, PathsWalkDictionariesWithoutRegardToCase) {
  Load("[D /ViewConfig [D /Language 'English' /UnitSystem 'Metric' ] /Flat 3 ]");
  EXPECT_EQ(CastObj<TSLString>(registry_.GetKey("viewconfig\\LANGUAGE"))->GetText(), "English");
  registry_.SetStringKey("ViewConfig\\UnitSystem", "SI");
  EXPECT_EQ(CastObj<TSLString>(registry_.GetKey("ViewConfig\\UnitSystem"))->GetText(), "SI");
  registry_.SetKey("New\\Deeper\\Key", MakeAuto<TSLLongint>(5));
  EXPECT_EQ(CastObj<TSLLongint>(registry_.GetKey("new\\deeper\\key"))->GetInt64(), 5);

  const std::pair<std::function<void()>, std::string> failures[] = {
      {[&] { registry_.GetKey("Missing\\Key"); }, "TProgramRegistry: key Missing\\Key not found"},
      {[&] { registry_.GetKey("Flat\\Key"); }, "TProgramRegistry: key Flat\\Key not found"},
      {[&] { registry_.GetKey("ViewConfig\\Missing"); }, "TSLDictionary error: no object named Missing"},
      {[&] { registry_.GetDirKey("Flat"); }, "TProgramRegistry.GetDirKey: key Flat not found"},
      {[&] { registry_.SetKey("ViewConfig\\Language", nullptr); },
       "TSLDictionary.AddObject: object with name 'Language' already exists"},
      {[&] { registry_.SetStringKey("Flat", "x"); }, "Invalid class typecast"},
  };
  for (const auto& [action, message] : failures) EXPECT_EQ(FailureOf(action), message);
}

TEST_F(ProgramRegistryTest, ARootThatIsNoDictionaryLeavesTheRegistryEmpty) {
  Load("[D /ViewInfo [D ] ]");
  Load("[A /ViewInfo [D ] ]");
  EXPECT_EQ(registry_.GetRoot().GetCount(), 0);
  EXPECT_EQ(FailureOf([&] { registry_.GetDirKey("ViewInfo"); }),
            "TSLDictionary error: no object named ViewInfo");
}

TEST_F(ProgramRegistryTest, SavesWhatItHolds) {
  Load("[D /ViewConfig [D /Language 'English' ] ]");
  registry_.SetStringKey("ViewConfig\\Language", "Deutsch");
  registry_.SaveToStorage(*storage_, "file://" + file_.string());
  TProgramRegistry reread;
  reread.LoadFromStorage(*storage_, "file://" + file_.string());
  EXPECT_EQ(CastObj<TSLString>(reread.GetKey("ViewConfig\\Language"))->GetText(), "Deutsch");
}

}  // namespace
}  // namespace tolvek
