// Test helpers: the simulator as a child process, and a minimal byte-level client on its
// pseudo-terminal that knows the RS link frame and nothing else of the PC's side.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvek::test {

using TBytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// Long enough for anything that merely has to happen on a loaded machine under sanitizers.
constexpr std::chrono::milliseconds Eventually = 10s;

std::string SimPath();
std::string DemoDescription();

// The simulator started with the given options; stopped (and reaped) at destruction.
class TSimProcess {
public:
  explicit TSimProcess(const std::vector<std::string>& args);
  ~TSimProcess();
  TSimProcess(const TSimProcess&) = delete;
  TSimProcess& operator=(const TSimProcess&) = delete;

  const std::string& Device() const { return device_; }
  pid_t Pid() const { return pid_; }
  void CloseStdin();
  // Sends SIGTERM (unless it has ended already) and waits; the exit status, or -1 after a kill.
  int Stop();
  // Waits for the process to end by itself; the exit status, or nothing after the time-out.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout);
  // Standard error, complete once the process has ended.
  std::string Stderr() const;

private:
  pid_t pid_ = -1;
  int stdinFd_ = -1;
  std::string stderrFile_;
  std::string device_;
  std::optional<int> status_;
};

// Runs the simulator to completion (for option errors); returns exit status and standard error.
std::pair<int, std::string> RunSimToEnd(const std::vector<std::string>& args);

struct TRsFrame {
  TBytes payload;
  bool sumOk = false;
};

class TLineClient {
public:
  explicit TLineClient(const std::string& device);
  ~TLineClient();
  TLineClient(const TLineClient&) = delete;
  TLineClient& operator=(const TLineClient&) = delete;

  void Write(const TBytes& bytes);
  // Up to `count` bytes; fewer only when the time-out passes.
  TBytes Read(size_t count, std::chrono::milliseconds timeout = Eventually);
  // Whatever arrives within the time.
  TBytes Drain(std::chrono::milliseconds time);

  static TBytes Frame(const TBytes& payload);
  void SendFrame(const TBytes& payload) { Write(Frame(payload)); }
  // The next link frame; bytes before the start byte are returned in `skipped`.
  std::optional<TRsFrame> ReadFrame(std::chrono::milliseconds timeout = Eventually,
                                    TBytes* skipped = nullptr);
  // Sends a Talk frame and returns the final answer's payload (an in-progress answer before it
  // is checked and skipped); an empty result when none came.
  TBytes Talk(const TBytes& request);

private:
  int fd_ = -1;
};

}  // namespace tolvek::test
