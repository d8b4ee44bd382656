// Buffers, the read cursor, the message pool, and the message writer and reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/buffer.h"
#include "kernel/message.h"
#include "kernel/message_text.h"
#include "kernel_test_support.h"

namespace tolvek {
namespace {

using testing::ExpectError;

int SegmentCount(const TMxBuffer& buffer) {
  int count = 0;
  for (TMxBufferSegment* s = buffer.First(); s; s = s->next) ++count;
  return count;
}

std::string Pattern(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>(i * 7 + 3);
  return text;
}

TEST(Buffer, GrowsIn128ByteSegmentsAndGivesThemBack) {
  const std::pair<size_t, int> cases[] = {{0, 0}, {1, 1}, {127, 1}, {128, 1}, {129, 2}, {256, 2}, {257, 3}};
  for (auto [size, segments] : cases) {
    TMxBuffer byBytes, byAppend;
    const std::string text = Pattern(size);
    for (char c : text) byBytes.AppendByte(static_cast<uint8_t>(c));
    byAppend.Append(text.substr(0, size / 3));
    byAppend.Append(text.substr(size / 3));
    for (TMxBuffer* buffer : {&byBytes, &byAppend}) {
      EXPECT_EQ(buffer->Size(), size);
      EXPECT_EQ(SegmentCount(*buffer), segments) << size;
      EXPECT_EQ(buffer->AsString(), text) << size;
    }
    const uint32_t freeBefore = MxBufferSegmentPool().FreeCount();
    byBytes.Clear();
    EXPECT_EQ(byBytes.Size(), 0u);
    EXPECT_EQ(byBytes.First(), nullptr);
    EXPECT_EQ(MxBufferSegmentPool().FreeCount(), freeBefore + segments);
  }
}

TEST(Buffer, SegmentsAreRecycledNotCreated) {
  TMxBuffer buffer;
  buffer.Assign(Pattern(1000));
  buffer.Clear();
  const uint32_t created = MxBufferSegmentPool().CreatedCount();
  for (int i = 0; i < 10; ++i) {
    buffer.Assign(Pattern(1000));
    buffer.Clear();
  }
  EXPECT_EQ(MxBufferSegmentPool().CreatedCount(), created);
}

TEST(Buffer, PoolIsCreatedOnce) {
  MxBufferSegmentPool();
  ExpectError([] { MxCreateBufferSegmentPool(); }, "MxCreateBufferSegmentPool: pool already exists");
}

TEST(BufferPointer, WalksAcrossSegmentBoundaries) {
  TMxBuffer buffer;
  const std::string text = Pattern(300);
  buffer.Assign(text);
  TMxBufferPointer cursor;
  cursor.Init(&buffer);
  std::string read;
  while (!cursor.EndOfBuffer()) {
    read += static_cast<char>(cursor.GetByte());
    cursor.Increment();
  }
  EXPECT_EQ(read, text);
  EXPECT_EQ(cursor.Position(), 300u);
  cursor.Increment();  // no effect at the end
  EXPECT_EQ(cursor.Position(), 300u);
  ExpectError([&] { cursor.GetByte(); }, "TMxBufferPointer.GetByte: Read at End of Buffer");
}

TEST(BufferPointer, WithoutBufferEveryOperationFails) {
  TMxBufferPointer cursor;
  cursor.Init(nullptr);
  ExpectError([&] { cursor.EndOfBuffer(); }, "TMxBufferPointer.EndOfBuffer: Invalid Buffer");
  ExpectError([&] { cursor.GetByte(); }, "TMxBufferPointer.GetByte: Invalid Buffer");
  ExpectError([&] { cursor.Increment(); }, "TMxBufferPointer.Increment: Invalid Buffer");
}

TEST(MessagePool, RecyclesAndRefusesAMessageInUse) {
  TMxMessagePool pool;
  TMxMessage* message = pool.GetMessage();
  message->SetString("body");
  message->SetReceiver(7, 0, 3);
  EXPECT_EQ(pool.CreatedCount(), 1u);
  pool.PutMessage(message);
  EXPECT_EQ(pool.FreeCount(), 1u);
  ExpectError([&] { pool.PutMessage(message); }, "TMxMessagePool.PutMessage: Message is in use");
  TMxMessage* again = pool.GetMessage();
  EXPECT_EQ(again, message);
  EXPECT_EQ(again->Size(), 0u) << "the body is cleared on the way back";
  EXPECT_EQ(pool.CreatedCount(), 1u);
  pool.PutMessage(nullptr);
  pool.PutMessage(again);
}

TEST(Message, ReplyGoesBackToTheSenderWithTheKind) {
  TMxMessage request, reply;
  request.SenderNode = 12;
  request.SenderDomain = 22;
  request.Kind = 0x41;
  SetReplyTo(reply, request);
  EXPECT_EQ(reply.ReceiverNode, 12);
  EXPECT_EQ(reply.ReceiverDomain, 22);
  EXPECT_EQ(reply.Kind, 0x41);
}

class MessageTextTest : public ::testing::Test {
protected:
  TMxMessage* Body(const std::string& text) {
    TMxMessage* message = NewMessage();
    message->SetString(text);
    reader.SetMessage(message);
    return message;
  }
  ~MessageTextTest() override { reader.ReleaseMessage(); }
  TMessageReader reader;
};

TEST_F(MessageTextTest, ReadsCommandsAndParametersInOrder) {
  Body("A\t1\rB");
  EXPECT_EQ(reader.GetCommand(), "A");
  EXPECT_EQ(reader.GetParameter(), "1");
  EXPECT_EQ(reader.GetParameter(), "");
  EXPECT_EQ(reader.GetParameter(), "");
  EXPECT_EQ(reader.GetCommand(), "B");
  EXPECT_EQ(reader.GetParameter(), "");
  EXPECT_EQ(reader.GetCommand(), "");
  EXPECT_EQ(reader.GetCommand(), "");
}

TEST_F(MessageTextTest, NextCommandSkipsUnreadParameters) {
  Body("OpenDevice\tCOM1\t5\rCloseDevice\t3");
  EXPECT_EQ(reader.GetCommand(), "OpenDevice");
  EXPECT_EQ(reader.GetCommand(), "CloseDevice");
  EXPECT_EQ(reader.GetParameter(), "3");
  EXPECT_EQ(reader.GetParameter(), "");
}

TEST_F(MessageTextTest, ParameterBeforeAnyCommandIsEmpty) {
  Body("A\t1");
  EXPECT_EQ(reader.GetParameter(), "");
  EXPECT_EQ(reader.GetCommand(), "A");
}

TEST_F(MessageTextTest, WriterAndReaderAgreeAcrossSegments) {
  TMessageWriter writer;
  TMxMessage* message = writer.NewMessage();
  const std::vector<std::vector<std::string>> commands = {
      {"Write", std::string(150, 'x'), "2"}, {"Read"}, {std::string(130, 'c'), std::string(127, 'p')}};
  for (const auto& command : commands) {
    writer.PutCommand(command[0]);
    for (size_t i = 1; i < command.size(); ++i) writer.PutParameter(command[i]);
  }
  EXPECT_EQ(message->AsString().substr(0, 7), "Write\tx");
  reader.SetMessage(message);
  for (const auto& command : commands) {
    EXPECT_EQ(reader.GetCommand(), command[0]);
    for (size_t i = 1; i < command.size(); ++i) EXPECT_EQ(reader.GetParameter(), command[i]);
    EXPECT_EQ(reader.GetParameter(), "");
  }
  EXPECT_EQ(reader.GetCommand(), "");
}

TEST(MessageWriter, RefusesEmptyDataAndParametersWithoutCommand) {
  TMessageWriter writer;
  TMxMessage* message = writer.NewMessage();
  ExpectError([&] { writer.PutParameter("x"); }, "TMessageWriter.PutParameter: need a PutCommand first");
  ExpectError([&] { writer.PutCommand(""); }, "PutCommand: Empty Data");
  writer.PutCommand("A");
  ExpectError([&] { writer.PutParameter(""); }, "TMessageWriter.PutParameter: Empty Data");
  EXPECT_EQ(message->AsString(), "A");
  FreeMessage(message);
  TMessageWriter withoutMessage;
  ExpectError([&] { withoutMessage.PutCommand("A"); }, "TMessageWriter.PutCommand: no message");
}

}  // namespace
}  // namespace tolvek
