// The debug log: filter verdicts, the line format, channels and subscribers, and lines from
// other threads reaching the target only on the main thread.
#include "app/debug_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/debug_file_target.h"
#include "kernel/scheduler.h"
#include "platform/error.h"

namespace tolvek {
namespace {

using Action = TDebugFilterAction;

class TMemo : public TDebugOutputTarget {
public:
  bool AppendLine(const std::string& line) override {
    EXPECT_EQ(std::this_thread::get_id(), mainThread);
    if (lines.size() >= capacity) return false;
    lines.push_back(line);
    return true;
  }
  void Clear() override { lines.clear(); }

  std::vector<std::string> lines;
  size_t capacity = 1000;
  std::thread::id mainThread = std::this_thread::get_id();
};

TEST(DebugFilterList, VerdictTable) {
  const TDebugFilter allowStatusRequest{0x0103, 0xFFFF, Action::Allow, "allow status request"};
  const TDebugFilterList defaults = TDebugFilterList::Defaults();
  auto below = defaults;
  below.Add(allowStatusRequest);
  auto above = defaults;
  above.Insert(1, allowStatusRequest);
  TDebugFilterList empty;
  TDebugFilterList txOnly;  // a mask selecting one direction of the traffic log
  txOnly.Add({0x0100, 0xFF00, Action::Allow, "transmitted"});
  txOnly.Add({0x0000, 0x0000, Action::None, "no opinion"});

  struct Case {
    const char* what;
    const TDebugFilterList& list;
    uint16_t code;
    bool allowed;
  } cases[] = {
      {"defaults hide status requests", defaults, 0x0103, false},
      {"defaults hide status responses", defaults, 0x0203, false},
      {"defaults show other traffic", defaults, 0x0104, true},
      {"defaults show errors", defaults, 0x0002, true},
      {"allow below the denies overrides them", below, 0x0103, true},
      {"allow above the denies is overridden", above, 0x0103, false},
      {"empty list hides everything", empty, 0x0000, false},
      {"mask picks a direction", txOnly, 0x01FE, true},
      {"mask leaves the other direction out", txOnly, 0x0201, false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.list.Allows(c.code), c.allowed) << c.what;
  EXPECT_EQ(defaults.Item(0).description, "allow all debug messages");
  EXPECT_EQ(defaults.Item(2).description, "deny status response");
}

TEST(DebugManager, FormatsSeverityLinesAndFiltersThem) {
  TDebugManager manager;
  TMemo memo;
  manager.Info("before any target");
  manager.SetOutputTarget(&memo);
  manager.Info("info");
  manager.Warning("warning");
  manager.Error("error");
  manager.Output(1, 0x0103, "Tx: 03 ");
  manager.Output(1, 0x01AB, "Tx: AB ");
  EXPECT_EQ(memo.lines, (std::vector<std::string>{"[0000] ***INFO: info",
                                                 "[0001] ***WARNING: warning",
                                                 "[0002] ***ERROR: error", "[01AB] Tx: AB "}));
}

TEST(DebugManager, FullTargetIsClearedInsteadOfAppended) {
  TDebugManager manager;
  TMemo memo;
  memo.capacity = 2;
  manager.SetOutputTarget(&memo);
  for (const char* text : {"a", "b", "c", "d"}) manager.Output(2, 0x10, text);
  EXPECT_EQ(memo.lines, (std::vector<std::string>{"[0010] d"}));
}

TEST(DebugManager, ChannelsHandTheirWriterToSubscribers) {
  TDebugManager manager;
  TMemo memo;
  manager.SetOutputTarget(&memo);
  std::vector<std::string> order;
  TDebugWriter kept;
  int a = 0, b = 0, c = 0;
  manager.Subscribe(1, [&](const TDebugWriter& w) { order.push_back("a"), kept = w; }, &a);
  manager.Subscribe(1, [&](const TDebugWriter&) { order.push_back("b"); }, &b);
  manager.Subscribe(9, [&](const TDebugWriter&) { order.push_back("nine"); }, &c);
  manager.Subscribe(0, [&](const TDebugWriter&) { order.push_back("zero"); }, &c);
  EXPECT_TRUE(order.empty());
  manager.EnableChannel(1);
  manager.EnableChannel(9);
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b"}));
  manager.Subscribe(1, [&](const TDebugWriter&) { order.push_back("late"); }, &c);
  EXPECT_EQ(order.back(), "late");
  kept(0x0201, "Rx: 01 ");
  EXPECT_EQ(memo.lines, (std::vector<std::string>{"[0201] Rx: 01 "}));

  // A subscriber that went away is not called when the channel is enabled again.
  manager.Unsubscribe(&a);
  order.clear();
  manager.EnableChannel(1);
  EXPECT_EQ(order, (std::vector<std::string>{"b", "late"}));
  EXPECT_FALSE(manager.ChannelEnabled(9));
}

TEST(DebugManager, LinesFromOtherThreadsReachTheTargetOnlyOnTheMainThread) {
  TDebugManager manager;
  TMemo memo;
  manager.SetOutputTarget(&memo);
  std::atomic<int> wakes{0};
  manager.SetMainThreadWaker([&] { ++wakes; });
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) manager.Output(1, static_cast<uint16_t>(0x0200 + i), "Rx");
    DebugWarning("from the worker");
  });
  worker.join();
  EXPECT_TRUE(memo.lines.empty());
  EXPECT_EQ(wakes.load(), 1);
  manager.Info("main");  // a main-thread line comes after what waited
  ASSERT_EQ(memo.lines.size(), 101u);  // 0x0203 is filtered, one warning, one info
  EXPECT_EQ(memo.lines[0], "[0200] Rx");
  EXPECT_EQ(memo.lines[98], "[0263] Rx");
  EXPECT_EQ(memo.lines[99], "[0001] ***WARNING: from the worker");
  EXPECT_EQ(memo.lines[100], "[0000] ***INFO: main");
  manager.DeliverPending();
  EXPECT_EQ(memo.lines.size(), 101u);
}

TEST(DebugManager, MainSchedulerTaskDeliversLinesOfOtherThreads) {
  TMxScheduler mainScheduler;
  TDebugManager manager;
  TMemo memo;
  manager.SetOutputTarget(&memo);
  manager.DeliverOn(mainScheduler);
  for (int round = 0; round < 3; ++round) {
    std::thread worker([&] { manager.Error("round " + std::to_string(round)); });
    worker.join();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (memo.lines.size() < static_cast<size_t>(round + 1) &&
           std::chrono::steady_clock::now() < deadline)
      mainScheduler.Step();
    ASSERT_EQ(memo.lines.size(), static_cast<size_t>(round + 1));
    EXPECT_EQ(memo.lines.back(), "[0002] ***ERROR: round " + std::to_string(round));
  }
  // Nothing waits: the task sleeps on its signal.
  mainScheduler.Step();
  EXPECT_EQ(mainScheduler.ReadyCount(), 0u);
}

TEST(DebugManager, FreeStandingLinesNeedAManager) {
  DebugError("nobody listens");  // no manager yet: nothing happens
  TMemo memo;
  {
    TDebugManager manager;
    manager.SetOutputTarget(&memo);
    DebugError("heard");
  }
  DebugInfo("after the manager");
  EXPECT_EQ(memo.lines, (std::vector<std::string>{"[0002] ***ERROR: heard"}));
}

TEST(DebugManager, HeadlessRunWritesTheLogToTheNamedFile) {
  auto path = std::filesystem::temp_directory_path() /
              ("tolvek-debug-" + std::to_string(::getpid()) + ".txt");
  std::filesystem::remove(path);
  ::setenv("TOLVEK_DEBUG_LOG", path.c_str(), 1);
  {
    TDebugManager manager;
    auto target = HeadlessDebugTarget("");
    ASSERT_NE(target, nullptr);
    manager.SetOutputTarget(target.get());
    manager.Error("port lost");
    manager.Output(1, 0x0103, "Tx: 03 ");
    manager.SetOutputTarget(nullptr);
  }
  ::unsetenv("TOLVEK_DEBUG_LOG");
  EXPECT_EQ(HeadlessDebugTarget(""), nullptr);
  std::ifstream in(path);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "[0002] ***ERROR: port lost\n");
  std::filesystem::remove(path);
  EXPECT_THROW(HeadlessDebugTarget("/nonexistent-dir/x.txt"), EError);
}

}  // namespace
}  // namespace tolvek
