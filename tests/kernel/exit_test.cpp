// A program that ends with kernel threads still running stops and joins them and exits; it
// never hangs there. The program is this test binary, started again in a child mode.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "kernel/scheduler.h"
#include "kernel/task_control.h"
#include "kernel/thread_manager.h"
#include "kernel_test_support.h"

extern char** environ;

namespace tolvek {
namespace {

constexpr const char* kChildVariable = "TOLVEK_KERNEL_EXIT_CHILD";

// Objects the program never destroys, like the Talk server's scheduler and thread manager.
struct TNeverDestroyed {
  TMxScheduler talkScheduler{"TalkScheduler"};
  TThreadManager portManager;
  TMxTask sleeper{talkScheduler};
  TMxSignal never;
  TMxTask waiter{talkScheduler};
};
TNeverDestroyed* gNeverDestroyed = nullptr;

TEST(ProgramExit, ChildWithRunningThreads) {
  if (!std::getenv(kChildVariable)) GTEST_SKIP() << "runs only as the child of ProgramExit.StopsEveryThread";
  gNeverDestroyed = new TNeverDestroyed;
  TEvent settled(false);
  std::atomic<int> waiting{0};
  gNeverDestroyed->sleeper.OnExecute = [](TMxTask& t) { t.Sleep(1000000); };
  gNeverDestroyed->waiter.OnExecute = [](TMxTask& t) { t.WaitFor(gNeverDestroyed->never, 1000000); };
  for (TMxTask* t : {&gNeverDestroyed->sleeper, &gNeverDestroyed->waiter}) {
    t->OnSuspend = [&](TMxTask&) {
      if (++waiting == 2) settled.SetEvent();
    };
    t->Start();
  }
  gNeverDestroyed->portManager.NewThreadClient();
  if (!settled.WaitFor(testing::kEventually)) std::_Exit(3);
  std::exit(0);
}

TEST(ProgramExit, StopsEveryThread) {
  if (std::getenv(kChildVariable)) GTEST_SKIP();
  int errPipe[2];
  ASSERT_EQ(pipe(errPipe), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  std::string filter = "--gtest_filter=ProgramExit.ChildWithRunningThreads";
  std::string self = "/proc/self/exe";
  char* argv[] = {self.data(), filter.data(), nullptr};
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.push_back(std::string(kChildVariable) + "=1");
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t child;
  ASSERT_EQ(posix_spawn(&child, self.c_str(), &actions, nullptr, argv, envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(errPipe[1]);

  std::string errors;
  int status = 0;
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    pollfd readable{errPipe[0], POLLIN, 0};
    if (poll(&readable, 1, 50) > 0) {
      char buffer[512];
      const ssize_t n = read(errPipe[0], buffer, sizeof buffer);
      if (n > 0) errors.append(buffer, static_cast<size_t>(n));
    }
    if (waitpid(child, &status, WNOHANG) == child) break;
    if (testing::MillisecondsSince(start) > 60000) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      FAIL() << "the program hung at exit; stderr: " << errors;
    }
  }
  close(errPipe[0]);
  ASSERT_TRUE(WIFEXITED(status)) << errors;
  EXPECT_EQ(WEXITSTATUS(status), 0) << errors;
  EXPECT_EQ(errors.find("did not stop"), std::string::npos) << errors;
}

}  // namespace
}  // namespace tolvek
