// The information block walk against a stand-in Talk server: find, read in pieces, go on from
// the next address; blocks that cannot be read end or skip, and a misbehaving drive cannot keep
// the walk going for ever.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../talk/talk_test_support.h"
#include "devices/info_node_list.h"
#include "devices/module_service.h"
#include "services_fixture.h"

namespace tolvek::testing {
namespace {

class InfoNodes : public TTalkFixture {
protected:
  InfoNodes() { SetDebugLog(&log); }
  ~InfoNodes() override { SetDebugLog(nullptr); }

  // Answers the next request batch, each command with `status` and (for status 0) its frame.
  std::vector<TBatchCommand> Serve(const std::vector<TBytes>& frames, uint32_t status = 0) {
    TMxMessage* request = TakeRequest();
    std::vector<TBatchCommand> sent = ReadBatch(request, false);
    std::vector<TBatchCommand> answers;
    for (size_t i = 0; i < sent.size(); ++i) answers.push_back({sent[i].Id, status, i < frames.size() ? frames[i] : TBytes{}});
    Answer(request, answers);
    return sent;
  }

  static TBytes Found(uint32_t address, uint8_t type, uint16_t size) {
    return {0x25, 0, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address >> 16),
            type, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8)};
  }

  static TBytes Block(const TBytes& data) {
    TBytes frame{0x30, 0};
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
  }

  // A module block of 64 bytes.
  static TBytes ModuleBlock(const std::string& name, const std::string& subName, uint16_t version,
                            uint16_t subversion, const std::string& extra) {
    TBytes data(64, 0);
    data[4] = ntModule;
    std::copy(name.begin(), name.end(), data.begin() + 12);
    std::copy(subName.begin(), subName.end(), data.begin() + 28);
    data[44] = static_cast<uint8_t>(version);
    data[46] = static_cast<uint8_t>(subversion);
    std::copy(extra.begin(), extra.end(), data.begin() + 48);
    return data;
  }

  TRecordingLog log;
  TInfoNodeList list{client};
  int completions = 0;
};

TEST_F(InfoNodes, WalksFromBlockToBlockInFrameSizedPieces) {
  SetLink(3, 2, 2, 40);  // 38 bytes per read: a 64-byte block takes two pieces
  ExpectError([&] { link.Online = false; list.ReadInfoNodes(link, 0, nullptr); },
              "TInfoNodeList.ReadInfoNodes: not on-line");
  link.Online = true;
  list.ReadInfoNodes(link, 0, [&](TInfoNodeList&) { ++completions; });
  ExpectError([&] { list.ReadInfoNodes(link, 0, nullptr); }, "TInfoNodeList.ReadInfoNodes: not ready");

  EXPECT_EQ(Serve({Found(0x800000, 5, 64)})[0].Frame, (TBytes{0x25, 0, 0, 0, 0}));
  const TBytes data = ModuleBlock("QVSCOPE", "RECORDER", 1, 4, "DEMO");
  const auto reads = Serve({Block(TBytes(data.begin(), data.begin() + 38)), Block(TBytes(data.begin() + 38, data.end()))});
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].Frame, (TBytes{0x30, 0x00, 0x00, 0x80, 38}));
  EXPECT_EQ(reads[1].Frame, (TBytes{0x30, 0x26, 0x00, 0x80, 26}));
  EXPECT_EQ(Serve({Found(0x800040, 5, 64)})[0].Frame, (TBytes{0x25, 0x02, 0x00, 0x80, 0}));
  // A piece that fails drops the block; the walk goes on behind it.
  Serve({}, 0x91);
  EXPECT_EQ(Serve({}, 0x13)[0].Frame, (TBytes{0x25, 0x42, 0x00, 0x80, 0}));
  EXPECT_TRUE(log.Has("***ERROR: Error reading file info block"));
  ASSERT_TRUE(RunUntil([&] { return completions == 1; }));
  ASSERT_EQ(list.NodeCount(), 1);
  EXPECT_EQ(ModuleName(list.NodeAt(0)), "QVSCOPE_RECORDER_V1S4_DEMO");
  EXPECT_EQ(list.State(), TInfoNodeList::nsIdle);
}

TEST_F(InfoNodes, BlocksThatCannotBeRightEndOrSkip) {
  // A block shorter than a node is skipped.
  list.ReadInfoNodes(link, 0, [&](TInfoNodeList&) { ++completions; });
  Serve({Found(0x10, 5, 20)});
  Serve({Block(TBytes(20, 1))});
  // A drive that answers an address behind the search ends the walk.
  EXPECT_EQ(Serve({Found(0x04, 5, 64)})[0].Frame, (TBytes{0x25, 0x12, 0, 0, 0}));
  ASSERT_TRUE(RunUntil([&] { return completions == 1; }));
  EXPECT_TRUE(log.Has("***ERROR: TInfoNodeItem.Create: node data error"));
  EXPECT_EQ(list.NodeCount(), 0);

  // A size that is no whole number of data words ends the walk instead of stopping its task.
  list.ReadInfoNodes(link, 0, [&](TInfoNodeList&) { ++completions; });
  Serve({Found(0x20, 5, 33)});
  ASSERT_TRUE(RunUntil([&] { return completions == 2; }));
  EXPECT_TRUE(log.Has("***ERROR: TInfoNodeList.ReadCurrentNode: node size error"));
  EXPECT_TRUE(errors.Reports().empty());
}

TEST(InfoNodeItem, ReadsItsFieldsAndRefusesShortData) {
  std::string data(64, '\0');
  data[4] = 2;
  data.replace(12, 10, "QVFIRMWARE");
  data[28] = 0x00;
  data[29] = 0x10;
  data[30] = static_cast<char>(0x80);
  TInfoNodeItem node(data);
  EXPECT_EQ(node.NodeType(), ntExecutable);
  EXPECT_EQ(node.Name(), "QVFIRMWARE");
  EXPECT_EQ(node.StartAddress(), 0x801000u);
  EXPECT_EQ(TInfoNodeItem(data.substr(0, 40)).Extra(), "");
  EXPECT_EQ(TInfoNodeItem(data.substr(0, 40)).Version(), 0);
  ExpectError([&] { TInfoNodeItem(data.substr(0, 33)); }, "TInfoNodeItem.Create: node data error");
}

}  // namespace
}  // namespace tolvek::testing
