// tolvek-sl running scripts as script tasks: editing an archive through the storage script
// classes and reading it back, modules found through -I, and the console debugger.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

struct TOutcome {
  int Status = -1;
  std::string Out;
  std::string Err;
};

class TolvekSlTest : public ::testing::Test {
protected:
  void SetUp() override {
    static int counter = 0;
    dir_ = std::filesystem::temp_directory_path() /
           ("tolvek_sl_tasks_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void WriteFile(const std::string& relative, const std::string& text) {
    std::filesystem::path path = dir_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  // Runs tolvek-sl in the scratch directory, which is also its installation directory.
  TOutcome Run(const std::string& args, const std::string& input = "") {
    const std::string base = (dir_ / "run").string();
    std::ofstream(base + ".in") << input;
    const std::string command = "cd '" + dir_.string() + "' && TOLVEK_HOME='" + dir_.string() +
                                "' " + TOLVEK_BIN_DIR + "/tolvek-sl " + args + " <" + base +
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
    return outcome;
  }

  std::filesystem::path dir_;
};

TEST_F(TolvekSlTest, EditsAnArchiveAndReadsItBack) {
  WriteFile("edit.sct",
            "[B\n"
            "  Create:ArchiveManager /am exch def\n"
            "  'Pack.sla' 'RW' am.GetArchive /a exch def\n"
            "  a 'one.stx' 'ascii' [D /v 41 ] am.AddEntry pop\n"
            "  a 'two.stx' 'eascii' [A 2 3 ] am.AddEntry pop\n"
            "  a 'gone.stx' 'ascii' 0 am.AddEntry pop\n"
            "  a 'gone.stx' am.RemoveEntryWithName\n"
            "  a am.Write\n"
            "  Create:StorageObjectManager /sm exch def\n"
            "  'Pack\\one.stx' 'R' sm.GetObject /o exch def\n"
            "  o sm.GetData /v get 1 add\n"
            "  'archive://Pack\\two.stx' sm.ObjectExists\n"
            "  'Pack\\gone.stx' sm.ObjectExists\n"
            "]\n");
  TOutcome outcome = Run("edit.sct");
  EXPECT_EQ(outcome.Err, "");
  EXPECT_EQ(outcome.Status, 0);
  EXPECT_EQ(outcome.Out, "42\n#1\n#0\n");

  // A second run finds the written archive as it was left.
  outcome = Run("-e \"Create:ArchiveManager /am exch def 'Pack.sla' 'R' am.GetArchive /a exch def "
                "a am.GetCount a 1 am.GetNameAtIndex a 1 am.GetFormatAtIndex a 1 am.GetDataAtIndex\"");
  EXPECT_EQ(outcome.Err, "");
  EXPECT_EQ(outcome.Out, "2\n'two.stx'\n'eascii'\n[A 2 3 ]\n");
}

TEST_F(TolvekSlTest, ImportsModulesFromSearchDirectories) {
  WriteFile("lib/Mathx.stx", "[D /sq [P [A /x ] x x mul /r exch def [A /r ] ] ]");
  TOutcome outcome = Run("-I lib -e \"'Mathx' import 7 Mathx:sq 1 wait\"");
  EXPECT_EQ(outcome.Err, "");
  EXPECT_EQ(outcome.Out, "49\n");
  outcome = Run("-e \"'Mathx' import\"");
  EXPECT_EQ(outcome.Status, 1);
  EXPECT_EQ(outcome.Err,
            "Runtime error: TStorageManager.ImportIntoContext: No storage object with name:Mathx "
            "found\n");
}

TEST_F(TolvekSlTest, ConsoleDebuggerBreaksStepsAndPrints) {
  WriteFile("Dbg.sct",
            "[B\n"
            "  /p [P [A ] 1 2 add /r exch def [A /r ] ] def\n"
            "  p\n"
            "  10\n"
            "  20 add\n"
            "]\n");
  const TOutcome outcome = Run("--debug Dbg.sct", "b 3\nb 5\nc\nn\nc\np\nx\nc\n");
  EXPECT_EQ(outcome.Err, "");
  EXPECT_EQ(outcome.Status, 0);
  const std::string& out = outcome.Out;
  auto after = [&](const std::string& text, size_t from) {
    const size_t at = out.find(text, from);
    EXPECT_NE(at, std::string::npos) << "missing: " << text << "\nin:\n" << out;
    return at == std::string::npos ? from : at + text.size();
  };
  size_t at = after("at [Dbg.sct, 2] /p [P", 0);
  at = after("breakpoint set at [Dbg.sct, 3]", at);
  at = after("breakpoint set at [Dbg.sct, 5]", at);
  at = after("at [Dbg.sct, 3] p", at);
  // Stepping over the procedure call lands on the next line with its result.
  at = after("at [Dbg.sct, 4] 10", at);
  at = after("at [Dbg.sct, 5] 20 add", at);
  at = after("operands (bottom to top): 3 10 20", at);
  at = after("dictionaries (top first): Global", at);
  at = after("unknown command 'x'", at);
  at = after("Script Finished!", at);
  EXPECT_EQ(out.substr(at), "\n3\n30\n");
}

}  // namespace
