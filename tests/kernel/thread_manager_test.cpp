// The thread manager: client limit, events and descriptors served on its thread, releases.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "kernel/thread_manager.h"
#include "kernel_test_support.h"

namespace tolvek {
namespace {

using testing::ExpectError;
using testing::kEventually;

using testing::Eventually;

TEST(ThreadManager, RefusesTheSeventeenthClientUntilOneIsReleased) {
  TThreadManager manager;
  manager.SetName("CommPortManager");
  EXPECT_TRUE(Eventually([] { return testing::ThreadNamed("CommPortManager"); }));
  std::vector<TThreadClient*> clients;
  for (size_t i = 0; i < TThreadManager::kMaxClients; ++i) clients.push_back(manager.NewThreadClient());
  ExpectError([&] { manager.NewThreadClient(); }, "TThreadManager.NewThreadClient: maximum of clients reached");
  clients[3]->ReleaseClient();
  ASSERT_TRUE(Eventually([&] { return manager.ClientCount() == TThreadManager::kMaxClients - 1; }));
  EXPECT_NE(manager.NewThreadClient(), nullptr);
}

TEST(ThreadManager, CallsEachClientOnItsThreadOncePerEvent) {
  TThreadManager manager;
  manager.SetName("TalkServer");
  std::atomic<int> firstCalls{0}, secondCalls{0};
  std::atomic<bool> onManagerThread{true};
  const auto testThread = std::this_thread::get_id();
  TThreadClient* first = manager.NewThreadClient();
  TThreadClient* second = manager.NewThreadClient();
  first->OnSignal = [&](TThreadClient& c) {
    EXPECT_EQ(&c, first);
    onManagerThread = onManagerThread && std::this_thread::get_id() != testThread;
    ++firstCalls;
  };
  second->OnSignal = [&](TThreadClient&) { ++secondCalls; };
  for (int i = 1; i <= 5; ++i) {
    first->SetEvent();
    ASSERT_TRUE(Eventually([&] { return firstCalls.load() == i; }));
  }
  second->SetEvent();
  ASSERT_TRUE(Eventually([&] { return secondCalls.load() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(firstCalls.load(), 5);  // the auto-reset event fired once per set
  EXPECT_TRUE(onManagerThread.load());
}

TEST(ThreadManager, WaitsOnAClientsOwnDescriptor) {
  TThreadManager manager;
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  std::atomic<int> bytes{0};
  TThreadClient* client = manager.NewThreadClient();
  client->OnSignal = [&](TThreadClient&) {
    char buffer[16];
    const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n > 0) bytes += static_cast<int>(n);
  };
  client->SetWaitHandle(pipeFds[0]);
  ASSERT_EQ(write(pipeFds[1], "abc", 3), 3);
  ASSERT_TRUE(Eventually([&] { return bytes.load() == 3; }));
  client->ReleaseClient();
  ASSERT_TRUE(Eventually([&] { return manager.ClientCount() == 0; }));
  close(pipeFds[0]);
  close(pipeFds[1]);
}

TEST(ThreadManager, NoCallbackAfterReleaseReturns) {
  TThreadManager manager;
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  std::atomic<bool> released{false}, calledAfterRelease{false};
  std::atomic<int> calls{0};
  TThreadClient* client = manager.NewThreadClient();
  client->OnSignal = [&](TThreadClient&) {
    if (released.load()) calledAfterRelease = true;
    char buffer[64];
    (void)!read(pipeFds[0], buffer, sizeof buffer);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    ++calls;
  };
  client->SetWaitHandle(pipeFds[0]);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    while (!stop.load()) {
      (void)!write(pipeFds[1], "x", 1);
      std::this_thread::yield();
    }
  });
  ASSERT_TRUE(Eventually([&] { return calls.load() > 3; }));
  client->ReleaseClient();
  released = true;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  stop = true;
  writer.join();
  EXPECT_FALSE(calledAfterRelease.load());
  close(pipeFds[0]);
  close(pipeFds[1]);
}

}  // namespace
}  // namespace tolvek
