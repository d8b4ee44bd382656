// tolvek-sl as other tools and tests call it: exit status, standard output and standard error.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct TOutcome {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// Runs tolvek-sl with `args` (already quoted for the shell) and `input` on standard input.
TOutcome RunTool(const std::string& args, const std::string& input = "") {
  const auto dir = std::filesystem::temp_directory_path();
  const std::string base = (dir / ("tolvek_sl_cli_" + std::to_string(getpid()))).string();
  std::ofstream(base + ".in") << input;
  const std::string command = std::string(TOLVEK_BIN_DIR) + "/tolvek-sl " + args + " <" + base +
                              ".in >" + base + ".out 2>" + base + ".err";
  const int raw = std::system(command.c_str());
  TOutcome outcome;
  outcome.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  auto slurp = [](const std::string& name) {
    std::ifstream in(name);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  outcome.Out = slurp(base + ".out");
  outcome.Err = slurp(base + ".err");
  for (const char* ext : {".in", ".out", ".err"}) std::filesystem::remove(base + ext);
  return outcome;
}

TEST(RunnerCliTest, PrintsTheStackBottomToTopOneValuePerLine) {
  const TOutcome outcome = RunTool("-e \"3 1.5 'abc' /name true [A 1 2 ]\"");
  EXPECT_EQ(outcome.Status, 0);
  EXPECT_EQ(outcome.Out, "3\n1.5\n'abc'\n/name\n#1\n[A 1 2 ]\n");
  EXPECT_EQ(outcome.Err, "");
}

TEST(RunnerCliTest, ReadsTheScriptFromStandardInput) {
  const TOutcome outcome = RunTool("-", "1 2 add\n% a comment on the last line");
  EXPECT_EQ(outcome.Status, 0);
  EXPECT_EQ(outcome.Out, "3\n");
}

TEST(RunnerCliTest, FailuresGoToStandardErrorWithStatusOne) {
  TOutcome outcome = RunTool("-e \"1 'a' add\"");
  EXPECT_EQ(outcome.Status, 1);
  EXPECT_EQ(outcome.Out, "");
  EXPECT_EQ(outcome.Err, "Runtime error: Invalid class typecast\n");
  outcome = RunTool("-e \"[A 1\"");
  EXPECT_EQ(outcome.Status, 1);
  EXPECT_EQ(outcome.Err,
            "[string, 1] Syntax error: illegal nesting (check number of opening and closing square "
            "brackets)\n");
  outcome = RunTool("-e \"1 ] 2\"");
  EXPECT_EQ(outcome.Status, 1);
  EXPECT_EQ(outcome.Err, "[string, 1] Syntax error: composite not opened\n");
}

TEST(RunnerCliTest, RunsAScriptFileAndNamesItInErrors) {
  const auto file = std::filesystem::temp_directory_path() /
                    ("tolvek_sl_cli_" + std::to_string(getpid()) + ".sct");
  std::ofstream(file) << "[B\n  1 2 add\n  3 nosuch\n]\n";
  const TOutcome outcome = RunTool(file.string());
  std::filesystem::remove(file);
  EXPECT_EQ(outcome.Status, 1);
  EXPECT_EQ(outcome.Err, "[" + file.filename().string() +
                             ", 3] Runtime error: object with name 'nosuch' not found\n");
}

}  // namespace
