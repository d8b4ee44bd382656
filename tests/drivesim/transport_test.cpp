// The simulator as a program: its life time, the symbolic link, the transcript, the counters,
// option errors and the pacing of its output to a baud rate.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim_client.h"

namespace tolvek::test {
namespace {

using TClock = std::chrono::steady_clock;

// Whether some line of the text is "<seconds>.<6 digits> " followed by the entry.
bool HasStampedLine(const std::string& text, const std::string& entry) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t dot = line.find('.');
    if (dot == 0 || dot == std::string::npos || line.compare(dot + 7, std::string::npos, " " + entry) != 0)
      continue;
    const std::string digits = line.substr(0, dot) + line.substr(dot + 1, 6);
    if (digits.find_first_not_of("0123456789") == std::string::npos) return true;
  }
  return false;
}

std::string TempName(const char* stem) {
  return (std::filesystem::temp_directory_path() / (stem + std::to_string(::getpid()))).string();
}

TEST(Transport, EndsOnSigtermOrClosedStdinAndReportsCounters) {
  {
    TSimProcess sim({});
    TLineClient line(sim.Device());
    EXPECT_EQ(line.Talk({0x02}), (TBytes{0x02, 0x00}));
    EXPECT_EQ(sim.Stop(), 0);
    const std::string counters = sim.Stderr();
    for (const char* expected : {"requests: 1\n", "answers: 1\n", "bytes in: 4\n", "bytes out: 5\n"})
      EXPECT_NE(counters.find(expected), std::string::npos) << counters;
  }
  {
    TSimProcess sim({"--stdin-lifetime"});
    sim.CloseStdin();
    EXPECT_EQ(sim.WaitExit(Eventually), 0);
  }
}

TEST(Transport, LinkFilePointsAtTheDeviceWhileServing) {
  const std::string link = TempName("drivesim-link-");
  {
    TSimProcess sim({"--link-file", link});
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.Device());
    TLineClient line(link);
    EXPECT_EQ(line.Talk({0x02}), (TBytes{0x02, 0x00}));
    sim.Stop();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
  }
  // A regular file at the path is not replaced.
  std::ofstream(link) << "keep";
  const auto [status, output] = RunSimToEnd({"--link-file", link});
  EXPECT_EQ(status, 2);
  EXPECT_NE(output.find("is not a symbolic link"), std::string::npos) << output;
  std::ifstream kept(link);
  std::string text;
  kept >> text;
  EXPECT_EQ(text, "keep");
  std::filesystem::remove(link);
}

TEST(Transport, TranscriptHasTimestampedHexLines) {
  const std::string log = TempName("drivesim-log-");
  {
    TSimProcess sim({"--log", log});
    TLineClient line(sim.Device());
    line.SendFrame({0x10, 0x45, 0x23, 0x01});
    ASSERT_TRUE(line.ReadFrame());
    sim.Stop();
  }
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_TRUE(HasStampedLine(text.str(), "RX A5 04 79 10 45 23 01")) << text.str();
  EXPECT_TRUE(HasStampedLine(text.str(), "TX A5 04 10 10 00 00 00")) << text.str();
  std::filesystem::remove(log);
}

TEST(Transport, BadOptionsAreRefused) {
  struct TCase {
    std::vector<std::string> args;
    const char* message;
  };
  const TCase cases[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--link", "can"}, "neither rs nor tp1"},
      {{"--baud"}, "--baud needs a value"},
      {{"--baud", "fast"}, "--baud: 'fast' is not a number"},
      {{"--address-width", "5"}, "--address-width: '5' is not a number from 2 to 4"},
      {{"--data-width", "3"}, "data width 3"},
      {{"--address-step", "4"}, "address step 4 does not divide the data width 2"},
      {{"--address-width", "2"}, "flash base $800000"},
      {{"--link", "tp1", "--data-width", "4", "--address-step", "4"}, "TP1 telegrams"},
      {{"--unsolicited-frame", "8"}, "not 1 to 255 bytes in hex"},
      {{"--link", "tp1", "--unsolicited", "100"}, "TP1 has no frames of the drive's own"},
      {{"--link", "tp1", "--garbage", "3"}, "TP1 has no frames of the drive's own"},
      {{"--name", "ABCDEFGHIJKLMNOPQ"}, "at most 16 characters"},
  };
  for (const TCase& c : cases) {
    const auto [status, output] = RunSimToEnd(c.args);
    EXPECT_EQ(status, 2) << testing::PrintToString(c.args);
    EXPECT_NE(output.find(c.message), std::string::npos) << output;
  }
  const auto [status, output] = RunSimToEnd({"--help"});
  EXPECT_EQ(status, 0);
  EXPECT_NE(output.find("--corrupt-every N"), std::string::npos);
}

TEST(Transport, BaudRatePacesTheOutput) {
  // 252 data bytes make a 257-byte link frame: 268 ms on a 9600-baud wire. The answer cannot
  // be complete sooner than that.
  TSimProcess sim({"--baud", "9600"});
  TLineClient line(sim.Device());
  const auto sent = TClock::now();
  line.SendFrame({0x30, 0x00, 0x00, 0x00, 252});
  const std::optional<TRsFrame> frame = line.ReadFrame();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->payload.size(), 254u);
  EXPECT_GE(TClock::now() - sent, 255ms);
}

}  // namespace
}  // namespace tolvek::test
