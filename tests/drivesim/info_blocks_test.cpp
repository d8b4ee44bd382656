// The information blocks, walked the way the PC walks them (find, read in frame-sized chunks,
// go on one address step further), and the drive description that fills them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "sim_client.h"

namespace tolvek::test {
namespace {

struct TNode {
  uint32_t address = 0;
  unsigned type = 0;
  std::string moduleName;  // as the PC composes it; for the firmware block its name
  uint32_t startAddress = 0;
};

std::string Text(const TBytes& record, size_t at) {
  std::string text;
  for (size_t i = at; i < at + 16 && record[i]; ++i) text += static_cast<char>(record[i]);
  return text;
}

unsigned Le16(const TBytes& record, size_t at) { return record[at] | record[at + 1] << 8; }

// Walks from address 0 with 3-byte addresses, data width 2 and address step 2.
std::vector<TNode> Walk(TLineClient& line, size_t maxFrame) {
  std::vector<TNode> nodes;
  uint32_t address = 0;
  const size_t chunk = (maxFrame - 2) / 2 * 2;
  for (int guard = 0; guard < 100; ++guard) {
    const TBytes found = line.Talk({0x25, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                                    static_cast<uint8_t>(address >> 16), 0x00});
    EXPECT_GE(found.size(), 2u);
    if (found.size() < 2 || found[1] != 0x00) break;
    EXPECT_EQ(found.size(), 2u + 3 + 1 + 2);
    const uint32_t at = found[2] | found[3] << 8 | found[4] << 16;
    const unsigned size = Le16(found, 6);
    TBytes record;
    for (uint32_t offset = 0; offset < size; offset += static_cast<uint32_t>(chunk)) {
      const uint32_t a = at + offset;
      const uint8_t count = static_cast<uint8_t>(std::min<size_t>(chunk, size - offset));
      const TBytes part = line.Talk({0x30, static_cast<uint8_t>(a), static_cast<uint8_t>(a >> 8),
                                     static_cast<uint8_t>(a >> 16), count});
      EXPECT_EQ(part.size(), 2u + count);
      if (part.size() < 2) return nodes;
      record.insert(record.end(), part.begin() + 2, part.end());
    }
    EXPECT_GE(record.size(), 34u);
    TNode node{at, Le16(record, 4), Text(record, 12), 0};
    EXPECT_EQ(node.type, found[5]);
    if (node.type == 2) {
      node.startAddress = record[28] | record[29] << 8 | record[30] << 16 | uint32_t{record[31]} << 24;
    } else {
      node.moduleName += "_" + Text(record, 28) + "_V" + std::to_string(Le16(record, 44)) + "S" +
                         std::to_string(Le16(record, 46));
      if (!Text(record, 48).empty()) node.moduleName += "_" + Text(record, 48);
    }
    nodes.push_back(node);
    address = at + 2;
  }
  return nodes;
}

TEST(InfoBlocks, DemoDriveWalksToFirmwareAndModules) {
  for (size_t maxFrame : {255u, 20u}) {
    TSimProcess sim({"--max-frame", std::to_string(maxFrame), "--busy-delay", "0"});
    TLineClient line(sim.Device());
    const std::vector<TNode> nodes = Walk(line, maxFrame);
    ASSERT_EQ(nodes.size(), 4u) << "frame " << maxFrame;
    EXPECT_EQ(nodes[0].type, 2u);
    EXPECT_EQ(nodes[0].moduleName, "QVFIRMWARE");
    EXPECT_EQ(nodes[0].startAddress, 0x801000u);
    EXPECT_EQ(nodes[1].moduleName, "QVDRIVE_CONTROL_V3S1");
    EXPECT_EQ(nodes[2].moduleName, "QVMOTION_CURVES_V2S0");
    EXPECT_EQ(nodes[3].moduleName, "QVSCOPE_RECORDER_V1S4_DEMO");
    // The firmware block's start address is where the program starts.
    const uint32_t s = nodes[0].startAddress;
    EXPECT_EQ(line.Talk({0x20, static_cast<uint8_t>(s), static_cast<uint8_t>(s >> 8), static_cast<uint8_t>(s >> 16)}),
              (TBytes{0x20, 0x00}));
  }
}

TEST(InfoBlocks, FindHonoursSelectorAndFlashContents) {
  TSimProcess sim({"--busy-delay", "0"});
  TLineClient line(sim.Device());
  // Selector 5 skips the firmware block; the block after the last one does not exist.
  EXPECT_EQ(line.Talk({0x25, 0x00, 0x00, 0x00, 0x05}), (TBytes{0x25, 0x00, 0x40, 0x00, 0x80, 0x05, 0x40, 0x00}));
  EXPECT_EQ(line.Talk({0x25, 0xC2, 0x00, 0x80, 0x00}), (TBytes{0x25, 0x13}));
  // The blocks live in flash: erasing their sector removes them.
  EXPECT_EQ(line.Talk({0x23, 0x00, 0x00, 0x80}), (TBytes{0x23, 0x00}));
  EXPECT_EQ(line.Talk({0x25, 0x00, 0x00, 0x00, 0x00}), (TBytes{0x25, 0x13}));
}

class TTempFile {
public:
  explicit TTempFile(const std::string& text) {
    char name[] = "/tmp/drivesim-desc-XXXXXX";
    const int fd = ::mkstemp(name);
    ::close(fd);
    path_ = name;
    std::ofstream(path_) << text;
  }
  ~TTempFile() { ::unlink(path_.c_str()); }
  const std::string& Path() const { return path_; }

private:
  std::string path_;
};

TEST(InfoBlocks, DescriptionFileChoosesNameTypeAndModules) {
  const TTempFile file(
      "% a drive without executable firmware\r\n"
      "[D /deviceType $0411 /Name 'MY@20DRIVE' /Modules [A\n"
      "  [D /Name 'AXO' /SubName 'MAIN' /Version 1 /SubVersion 2 /Extra 'X' ] ] ]\n");
  TSimProcess sim({"--drive", file.Path()});
  TLineClient line(sim.Device());
  const TBytes login = line.Talk({0x01});
  ASSERT_EQ(login.size(), 34u);
  EXPECT_EQ(login[9], 0x11);
  EXPECT_EQ(login[10], 0x04);
  EXPECT_EQ(std::string(login.begin() + 18, login.begin() + 26), "MY DRIVE");
  const std::vector<TNode> nodes = Walk(line, 255);
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].moduleName, "AXO_MAIN_V1S2_X");
  EXPECT_EQ(line.Talk({0x20, 0x00, 0x10, 0x80}), (TBytes{0x20, 0x16}));
}

TEST(InfoBlocks, BrokenDescriptionsAreRefusedWithTheReason) {
  struct TCase {
    std::string text, message;
  };
  const TCase cases[] = {
      {"[D /Modules [A ] ]", "has no /Name"},
      {"[D /Name 'X' /Modules [A [D /Name 'M' /Version 1 /SubVersion 0 ] ] ]", "module 1 has no /SubName"},
      {"[D /Name 'X' /Modules [A ]", "illegal nesting"},
      {"[D /Name 'ABCDEFGHIJKLMNOPQ' ]", "longer than 16"},
      {"[D /Name 'X' /DeviceType 'big' ]", "/DeviceType has the wrong type"},
      {"[D /Name 'unterminated ]", "missing string termination"},
  };
  for (const TCase& c : cases) {
    const TTempFile file(c.text);
    const auto [status, output] = RunSimToEnd({"--drive", file.Path()});
    EXPECT_EQ(status, 2) << c.text;
    EXPECT_NE(output.find(c.message), std::string::npos) << c.text << " -> " << output;
  }
  const auto [status, output] = RunSimToEnd({"--drive", "/nonexistent/drive.stx"});
  EXPECT_EQ(status, 2);
  EXPECT_NE(output.find("couldn't be opened"), std::string::npos) << output;
}

}  // namespace
}  // namespace tolvek::test
