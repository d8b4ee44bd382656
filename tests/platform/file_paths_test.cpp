#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/file_paths.h"
#include "platform/user_interface.h"

namespace tolvek {
namespace {

namespace fs = std::filesystem;

class FilePathsTest : public ::testing::Test {
protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("tolvek_paths_" + std::to_string(::getpid()));
    fs::create_directories(root_ / "Archives" / "Config");
    std::ofstream(root_ / "Archives" / "Config" / "Halvic.ini") << "[D ]";
  }
  void TearDown() override { fs::remove_all(root_); }
  std::string Root() const { return root_.string() + "/"; }

  fs::path root_;
};

TEST_F(FilePathsTest, StorageNamesResolveWithBackslashesAndAnyCase) {
  const std::string expected = Root() + "Archives/Config/Halvic.ini";
  for (const char* name : {"Archives\\Config\\Halvic.ini", "archives\\CONFIG\\halvic.INI",
                           "Archives/config/Halvic.ini"}) {
    EXPECT_EQ(NativePath(Root() + name), expected) << name;
    EXPECT_TRUE(FileExists(Root() + name)) << name;
  }
  EXPECT_TRUE(DirectoryExists(Root() + "ARCHIVES\\config"));
  // A name that matches nothing keeps its written form (with "/" separators).
  EXPECT_EQ(NativePath(Root() + "Archives\\Missing\\x.ini"), Root() + "Archives/Missing/x.ini");
  EXPECT_FALSE(FileExists(Root() + "Archives\\Config"));
}

TEST(FileNameParts, SplitAtEitherSeparator) {
  EXPECT_EQ(FileNamePart("Archives\\Config\\Halvic.ini"), "Halvic.ini");
  EXPECT_EQ(DirectoryPart("Archives\\Config\\Halvic.ini"), "Archives\\Config\\");
  EXPECT_EQ(ExtensionPart("/a.b/c"), "");
  EXPECT_EQ(ExtensionPart("dir/Config.sla"), ".sla");
  EXPECT_EQ(ChangeExtension("/x/Archives.sla", ".bak"), "/x/Archives.bak");
  EXPECT_EQ(ChangeExtension("/x/tolvek", ".sct"), "/x/tolvek.sct");
  EXPECT_TRUE(IsAbsoluteName("\\Archives"));
  EXPECT_FALSE(IsAbsoluteName("Archives"));
}

TEST(HeadlessUserInterface, AnswersDefaultAndKeepsClipboard) {
  THeadlessUserInterface ui;
  ui.SetQuiet(true);
  std::string logged;
  ui.SetLogSink([&](const std::string& text) { logged = text; });
  EXPECT_EQ(ui.MessageBox("Save?", TMsgDlgType::mtConfirmation, mbYes | mbNo, mbNo), mbNo);
  EXPECT_EQ(logged, "Confirmation: Save?");
  // A default that is not offered falls back to the first offered button.
  EXPECT_EQ(ui.MessageBox("x", TMsgDlgType::mtError, mbRetry | mbCancel, mbOK), mbCancel);
  EXPECT_FALSE(ui.SaveFileDialog("Save configuration", {}, "a.qvc").has_value());

  EXPECT_FALSE(ui.GetClipboardText("ZuvivavOvo ESD").has_value());
  ui.SetClipboardText("ZuvivavOvo ESD", "[A 1 ]");
  EXPECT_EQ(ui.GetClipboardText("ZuvivavOvo ESD").value(), "[A 1 ]");
  ui.SetClipboardText("text/plain", "x");
  EXPECT_FALSE(ui.GetClipboardText("ZuvivavOvo ESD").has_value());
}

}  // namespace
}  // namespace tolvek
