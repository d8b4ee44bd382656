// Runs the script tables of data/: each case is script text followed by the expected operand
// stack ("=> ...", the values as the runner prints them, separated by one blank) or the
// expected error text ("!> ..."). The cases run through the same runner as tolvek-sl.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/user_interface.h"
#include "script/interp/script_runner.h"
#include "../script/script_test_support.h"

namespace tolvek {
namespace {

struct TCase {
  std::string File;
  int Line = 0;
  std::string Script;
  bool ExpectError = false;
  std::string Expected;
};

std::vector<TCase> ReadCases(const std::filesystem::path& file) {
  std::vector<TCase> cases;
  std::ifstream in(file);
  std::string line;
  TCase current;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (current.Script.empty()) current.Line = lineNumber;
    if (line.rfind("=> ", 0) == 0 || line == "=>" || line.rfind("!> ", 0) == 0) {
      current.File = file.filename().string();
      current.ExpectError = line[0] == '!';
      current.Expected = line.size() > 3 ? line.substr(3) : std::string();
      cases.push_back(current);
      current = TCase();
      continue;
    }
    if (current.Script.empty() && (line.empty() || line.rfind("%%", 0) == 0)) continue;
    current.Script += line + "\n";
  }
  return cases;
}

std::string Joined(const std::vector<std::string>& values) {
  std::string text;
  for (const auto& value : values) text += (text.empty() ? "" : " ") + value;
  return text;
}

class ScriptTableTest : public ScriptTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ScriptTableTest, CasesGiveTheirResults) {
  THeadlessUserInterface ui;
  ui.SetQuiet(true);
  SetUserInterface(&ui);
  const auto cases = ReadCases(std::filesystem::path(TOLVEK_TEST_DATA_DIR) / GetParam());
  ASSERT_FALSE(cases.empty());
  for (const TCase& c : cases) {
    TSLScriptRunner runner;
    const TSLRunResult result = runner.RunText(c.Script);
    const std::string where = c.File + ":" + std::to_string(c.Line) + "\n" + c.Script;
    if (c.ExpectError) {
      EXPECT_FALSE(result.Ok) << where << "stack: " << Joined(result.Stack);
      EXPECT_EQ(result.Error, c.Expected) << where;
    } else {
      EXPECT_TRUE(result.Ok) << where << "error: " << result.Error;
      EXPECT_EQ(Joined(result.Stack), c.Expected) << where;
    }
  }
  SetUserInterface(nullptr);
}

std::vector<std::string> TableFiles() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(TOLVEK_TEST_DATA_DIR))
    if (entry.path().extension() == ".sct") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Tables, ScriptTableTest, ::testing::ValuesIn(TableFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param.substr(0, info.param.find('.'));
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
}  // namespace tolvek
