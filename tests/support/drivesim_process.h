// The simulated drive as a child process of a test: started with its options, its device path
// read from its first output line, stopped (and reaped) when the object goes. It also ends by
// itself when the test process dies, because its standard input closes then. Its standard
// error and, on request, its transcript of the line are kept in files for the test to read.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tolvek::testing {

class TSimProcess {
public:
  // Starts "tolvek-drivesim" with `args`; with `transcript` it also writes the line's bytes to
  // a file that Line() reads.
  explicit TSimProcess(std::vector<std::string> args, bool transcript = false) {
    char name[] = "/tmp/tolvek-drivesim-XXXXXX";
    const int errFd = ::mkstemp(name);
    if (errFd < 0) throw std::runtime_error("mkstemp failed");
    stderrFile_ = name;
    if (transcript) {
      char logName[] = "/tmp/tolvek-drivesim-log-XXXXXX";
      const int logFd = ::mkstemp(logName);
      if (logFd < 0) throw std::runtime_error("mkstemp failed");
      ::close(logFd);
      logFile_ = logName;
      args.insert(args.begin(), {"--log", logFile_});
    }
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    args.insert(args.begin(), {TOLVEK_BIN_DIR "/tolvek-drivesim", "--stdin-lifetime"});
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::dup2(errFd, 2);
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(errFd);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    device_ = ReadLine(out[0]);
    ::close(out[0]);
    if (device_.empty()) {
      Stop();
      throw std::runtime_error("the simulator printed no device: " + Stderr());
    }
  }
  ~TSimProcess() {
    Stop();
    ::unlink(stderrFile_.c_str());
    if (!logFile_.empty()) ::unlink(logFile_.c_str());
  }
  TSimProcess(const TSimProcess&) = delete;
  TSimProcess& operator=(const TSimProcess&) = delete;

  const std::string& Device() const { return device_; }

  // Ends the simulator (SIGTERM, then SIGKILL if it does not go) and reaps it.
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) != pid_) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
  }

  // Its standard error: the counters it prints on the way out, once stopped.
  std::string Stderr() const {
    std::ifstream in(stderrFile_);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The bytes the drive received ("RX") or sent ("TX") so far, as one line of hex pairs (needs
  // the transcript).
  std::string Line(const std::string& direction) const {
    std::ifstream in(logFile_);
    std::string text, line;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      std::string stamp, dir, byte;
      words >> stamp >> dir;
      if (dir != direction) continue;
      while (words >> byte) text += (text.empty() ? "" : " ") + byte;
    }
    return text;
  }

private:
  static std::string ReadLine(int fd) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char c;
      if (::read(fd, &c, 1) != 1) break;
      if (c == '\n') return line;
      line.push_back(c);
    }
    return "";
  }

  pid_t pid_ = -1;
  int stdin_ = -1;
  std::string device_;
  std::string stderrFile_;
  std::string logFile_;
};

}  // namespace tolvek::testing
