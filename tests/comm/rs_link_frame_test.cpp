// The RS link frame on its own: the header written, and the receiver fed by every possible
// chunking of the same bytes.
#include "comm/rs_link_frame.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "pty_pair.h"

namespace tolvek {
namespace {

using test::Bytes;

struct TFed {
  std::vector<std::string> frames;
  int checksumErrors = 0;
};

TFed FeedInChunks(const std::string& stream, const std::vector<size_t>& chunkSizes) {
  TFed fed;
  TRsReceiver receiver;
  receiver.OnFrame = [&](const std::string& frame) { fed.frames.push_back(frame); };
  receiver.OnChecksumError = [&] { ++fed.checksumErrors; };
  size_t at = 0, k = 0;
  while (at < stream.size()) {
    size_t n = chunkSizes.empty() ? stream.size() : chunkSizes[k++ % chunkSizes.size()];
    if (n > stream.size() - at) n = stream.size() - at;
    receiver.Feed(std::string_view(stream).substr(at, n));
    at += n;
  }
  return fed;
}

TEST(RsLinkFrame, HeaderIsStartLengthAndChecksum) {
  EXPECT_EQ(RsFrameHeader(Bytes({1, 2, 3})), Bytes({0xA5, 3, 6}));
  EXPECT_EQ(RsFrameHeader(""), Bytes({0xA5, 0, 0}));
  EXPECT_EQ(RsFrameHeader(std::string(2, '\xFF')), Bytes({0xA5, 2, 0xFE}));
  EXPECT_EQ(RsFrameHeader(std::string(300, '\x01')), Bytes({0xA5, 255, 255}));
}

TEST(RsLinkFrame, ReceiverDeliversTheSameFramesHoweverTheBytesArrive) {
  struct Case {
    const char* what;
    std::string stream;
    std::vector<std::string> frames;
    int checksumErrors;
  } cases[] = {
      {"noise before a frame", Bytes({0x00, 0xA5, 2, 5, 4, 1}), {Bytes({4, 1})}, 0},
      {"wrong checksum dropped", Bytes({0x00, 0xA5, 2, 6, 4, 1}), {}, 1},
      {"two frames back to back", Bytes({0xA5, 1, 7, 7, 0xA5, 2, 3, 1, 2}),
       {Bytes({7}), Bytes({1, 2})}, 0},
      {"start byte inside a payload is data", Bytes({0xA5, 2, 0x4A, 0xA5, 0xA5, 0xA5, 1, 1, 1}),
       {Bytes({0xA5, 0xA5}), Bytes({1})}, 0},
      {"empty frame does not swallow the next start byte", Bytes({0xA5, 0, 0, 0xA5, 1, 9, 9}),
       {"", Bytes({9})}, 0},
      {"bad frame then good frame", Bytes({0xA5, 1, 0, 5, 0xA5, 1, 5, 5}), {Bytes({5})}, 1},
      {"unfinished frame delivers nothing", Bytes({0xA5, 3, 6, 1, 2}), {}, 0},
  };
  std::string longPayload;
  for (int i = 0; i < 255; ++i) longPayload += static_cast<char>(i * 7);
  std::string longStream = RsFrameHeader(longPayload) + longPayload;

  std::mt19937 random(7);
  for (const Case& c : cases) {
    std::vector<std::vector<size_t>> chunkings = {{}, {1}, {2}, {3}, {5, 1}};
    for (int r = 0; r < 20; ++r) chunkings.push_back({1 + random() % 4, 1 + random() % 9});
    for (const auto& chunking : chunkings) {
      TFed fed = FeedInChunks(c.stream, chunking);
      EXPECT_EQ(fed.frames, c.frames) << c.what;
      EXPECT_EQ(fed.checksumErrors, c.checksumErrors) << c.what;
    }
  }
  for (size_t chunk : {1u, 17u, 258u}) {
    TFed fed = FeedInChunks(longStream + longStream, {chunk});
    EXPECT_EQ(fed.frames, (std::vector<std::string>{longPayload, longPayload}));
  }
}

TEST(RsLinkFrame, WantedSizeIsTheMissingPayload) {
  TRsReceiver receiver;
  EXPECT_EQ(receiver.WantedSize(), 1u);
  receiver.Feed(Bytes({0xA5, 3, 6}));
  EXPECT_EQ(receiver.State(), TRsReceiver::rsData);
  EXPECT_EQ(receiver.WantedSize(), 3u);
  receiver.Feed(Bytes({1}));
  EXPECT_EQ(receiver.WantedSize(), 2u);
  receiver.Reset();
  EXPECT_EQ(receiver.State(), TRsReceiver::rsHunt);
  EXPECT_EQ(receiver.WantedSize(), 1u);
}

}  // namespace
}  // namespace tolvek
