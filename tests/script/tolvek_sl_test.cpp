// The tolvek-sl tool's decode mode, run as a program: output, exit codes and error text.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "script/object_text.h"

namespace tolvek {
namespace {

namespace fs = std::filesystem;

struct TRun {
  int exitCode;
  std::string out;
  std::string err;
};

class TolvekSl : public ::testing::Test {
protected:
  void SetUp() override {
    tool_ = std::string(TOLVEK_BIN_DIR) + "/tolvek-sl";
    if (!fs::exists(tool_)) GTEST_SKIP() << "tolvek-sl is not built";
    dir_ = fs::temp_directory_path() / ("tolvek_sl_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  static std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  TRun Run(const std::string& args) {
    const fs::path out = dir_ / "out.txt", err = dir_ / "err.txt";
    const std::string command =
        tool_ + " " + args + " >" + out.string() + " 2>" + err.string();
    const int status = std::system(command.c_str());
    return TRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(out), ReadAll(err)};
  }

  std::string tool_;
  fs::path dir_;
};

TEST_F(TolvekSl, DecodePrintsTheValueOnOneLine) {
  const std::string plain = Write("Halvic.ini",
                                  "% main configuration\r\n[D /Login [D /DevicePort 'COM1' ]\r\n"
                                  "  /Version 2 % trailing comment\n]\n");
  TRun run = Run("--decode " + plain);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "[D /Login [D /DevicePort 'COM1' ] /Version 2 ]\n");

  const std::string secret = (dir_ / "secret.stx").string();
  TSLObjectText codec;
  codec.EncodeFile(secret, codec.StrToObj("[A 'hidden' 1.5 ]").Get(), sfEASCII);
  run = Run("--decode " + secret);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "[A 'hidden' 1.5 ]\n");
}

TEST_F(TolvekSl, FailuresAndUsage) {
  const std::string bad = Write("bad.stx", "[A\n 1\n #9 ]");
  TRun run = Run("--decode " + bad);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "[bad.stx, 3] Syntax error: invalid boolean '#9'\n");

  run = Run("--decode " + (dir_ / "missing.stx").string());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("couldn't be opened"), std::string::npos);

  for (const char* args : {"", "--decode", "--frobnicate x", "--decode a b"}) {
    run = Run(args);
    EXPECT_EQ(run.exitCode, 2) << args;
    EXPECT_NE(run.err.find("usage: tolvek-sl"), std::string::npos) << args;
  }
}

}  // namespace
}  // namespace tolvek
