// Block reader and writer: chunking and address arithmetic, reading across records, the first
// failed record as the result, and the preparation errors.
#include <gtest/gtest.h>

#include <map>

#include "comm/block_reader.h"
#include "comm/block_writer.h"
#include "comm/talk_patterns.h"
#include "comm/talk_status.h"
#include "talk_test_support.h"

namespace tolvek::testing {
namespace {

class BlockTransferTest : public TTalkFixture {
protected:
  // Answers a read batch with the bytes at each address (byte i of the range = its offset),
  // except that the records in `failures` get the status given there.
  void AnswerReads(uint32_t start, const std::map<size_t, uint8_t>& failures = {}) {
    TMxMessage* request = TakeRequest();
    const auto sent = ReadBatch(request, false);
    std::vector<TBatchCommand> answers;
    for (size_t i = 0; i < sent.size(); ++i) {
      const TBytes& frame = sent[i].Frame;
      const uint32_t address = frame[1] | frame[2] << 8 | frame[3] << 16;
      TBatchCommand answer{sent[i].Id, 0, {0x30, 0x00}};
      for (uint32_t b = 0; b < frame[4]; ++b) answer.Frame.push_back(static_cast<uint8_t>(address - start + b));
      if (auto failure = failures.find(i); failure != failures.end()) answer.Number = failure->second;
      answers.push_back(answer);
    }
    Answer(request, answers);
  }
};

TEST_F(BlockTransferTest, ReadsInFrameSizedChunksAndHandsOutBytesAcrossRecords) {
  TBlockReader reader(client);
  int done = 0;
  reader.OnDone = [&](TBlockReader&) { ++done; };
  reader.Put(link, 0x1000, 600);
  TTalkActor& actor = reader.Actor();
  ASSERT_EQ(actor.GetCount(), 3u);
  const uint32_t addresses[] = {0x1000, 0x10FC, 0x11F8};
  const size_t sizes[] = {252, 252, 96};
  actor.Reset();
  for (int i = 0; i < 3; ++i, actor.Next()) {
    TGetBlockRecord record;
    actor.GetData(sizeof(record), &record);
    EXPECT_EQ(record.Address, addresses[i]);
    EXPECT_EQ(record.Count, sizes[i]);
  }
  reader.Execute();
  AnswerReads(0x1000);
  ASSERT_TRUE(RunUntil([&] { return done == 1; }));
  EXPECT_EQ(reader.Result(), 0);
  const std::string first = reader.ReadBytes(300);
  for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(static_cast<uint8_t>(first[i]), static_cast<uint8_t>(i)) << i;
  const std::string rest = reader.ReadBytes(300);
  EXPECT_EQ(static_cast<uint8_t>(rest[0]), static_cast<uint8_t>(300));
  EXPECT_EQ(static_cast<uint8_t>(rest[299]), static_cast<uint8_t>(599));
  ExpectError([&] { reader.ReadBytes(1); }, "TBlockReader.ReadBytes: 1 bytes asked for, 0 left");
  reader.Reset();
  EXPECT_EQ(reader.ReadBytes(600), first + rest);
}

TEST_F(BlockTransferTest, TheFirstFailedRecordIsTheResultAndEndsTheBytes) {
  TBlockReader reader(client);
  reader.Put(link, 0x1000, 600);
  reader.Execute();
  AnswerReads(0x1000, {{1, kTalkTimeout}});
  ASSERT_TRUE(RunUntil([&] { return !reader.IsBusy(); }));
  // The third record succeeded, the result is still the second's.
  EXPECT_EQ(reader.Result(), kTalkTimeout);
  EXPECT_EQ(reader.ReadBytes(252).size(), 252u);
  ExpectError([&] { reader.ReadBytes(2); }, "TBlockReader.ReadBytes: 2 bytes asked for, 0 left");
}

TEST_F(BlockTransferTest, ReaderPreparationErrors) {
  TBlockReader reader(client);
  ExpectError([&] { reader.Execute(); }, "TBlockReader.Execute: not initialized");
  ExpectError([&] { reader.Put(link, 0x1000, 5); }, "TBlockReader.Put: data word size error");
  link.Online = false;
  ExpectError([&] { reader.Put(link, 0x1000, 4); }, "TBlockReader.Put: device is not online");
  SetLink(3, 2, 2, 255);
  reader.Put(link, 0x1000, 4);
  reader.Execute();
  ExpectError([&] { reader.Put(link, 0x1000, 4); }, "TBlockReader.Put: actor is busy");
  ExpectError([&] { reader.Clear(); }, "TBlockReader.Clear: actor is busy");
  ExpectError([&] { reader.Execute(); }, "TBlockReader.Execute: actor is busy");
  ExpectError([&] { reader.Reset(); }, "TBlockReader.Reset: actor is busy");
  AnswerReads(0x1000);
  ASSERT_TRUE(RunUntil([&] { return !reader.IsBusy(); }));
  EXPECT_EQ(reader.ReadBytes(4), ByteString({0, 1, 2, 3}));
}

TEST_F(BlockTransferTest, WriterChunksWithTheAddressStep) {
  // Data width 4, address step 2: each word advances the address by 2.
  SetLink(3, 4, 2, 64);
  TBlockWriter writer(client);
  int done = 0;
  writer.OnDone = [&](TBlockWriter&) { ++done; };
  writer.Put(link, 0x800000, 1);
  EXPECT_EQ(writer.WriteCommand(), 0x32);
  std::string data(132, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i);
  writer.PutData(data.substr(0, 7));
  writer.PutData(data.substr(7));
  writer.PutData("");
  EXPECT_EQ(writer.Total(), 132u);
  writer.Execute();
  TMxMessage* request = TakeRequest();
  const auto sent = ReadBatch(request, false);
  // Maximum chunk: (64 - 3 - 1) div 4 * 4 = 60 bytes.
  ASSERT_EQ(sent.size(), 3u);
  const uint32_t addresses[] = {0x800000, 0x80001E, 0x80003C};
  const size_t sizes[] = {60, 60, 12};
  std::string received;
  for (int i = 0; i < 3; ++i) {
    const TBytes& frame = sent[i].Frame;
    EXPECT_EQ(frame[0], 0x32);
    EXPECT_EQ(static_cast<uint32_t>(frame[1] | frame[2] << 8 | frame[3] << 16), addresses[i]);
    EXPECT_EQ(frame.size() - 4, sizes[i]);
    received.append(frame.begin() + 4, frame.end());
  }
  EXPECT_EQ(received, data);
  Answer(request, {{sent[0].Id, 0, {0x32, 0}}, {sent[1].Id, 0x14, {}}, {sent[2].Id, 0, {0x32, 0}}});
  ASSERT_TRUE(RunUntil([&] { return done == 1; }));
  EXPECT_EQ(writer.Result(), 0x14);

  writer.Put(link, 0x1000, 0);
  EXPECT_EQ(writer.WriteCommand(), 0x31);
  writer.PutEncoded(link, 0x800000);
  EXPECT_EQ(writer.WriteCommand(), 0x37);
}

TEST_F(BlockTransferTest, WriterPreparationErrors) {
  TBlockWriter writer(client);
  ExpectError([&] { writer.PutData("ab"); }, "TBlockWriter.PutData: not initialized");
  ExpectError([&] { writer.Execute(); }, "TBlockWriter.Execute: not initialized");
  link.Online = false;
  ExpectError([&] { writer.Put(link, 0, 0); }, "TBlockWriter.Put: device is not online");
  SetLink(3, 2, 2, 255);
  writer.Put(link, 0x1000, 0);
  writer.PutData("12345");
  ExpectError([&] { writer.Execute(); }, "TBlockWriter.PutSendBuffer: data word size error");
}

}  // namespace
}  // namespace tolvek::testing
