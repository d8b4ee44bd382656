// The simulated drive as a child process for the assembly tests: started with a transcript of
// its line, ended (and reaped) by the test, whose transcript then tells what went over the line.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tolvek::test {

class TDriveSim {
public:
  // Starts "tolvek-drivesim" with `args` and a transcript file of its own.
  explicit TDriveSim(const std::vector<std::string>& args) {
    char name[] = "/tmp/tolvek-assembly-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    ::close(fd);
    logFile_ = name;
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> argv{TOLVEK_BIN_DIR "/tolvek-drivesim", "--stdin-lifetime", "--log", logFile_};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      // Its counters on the way out are of no use here.
      const int quiet = ::open("/dev/null", O_WRONLY);
      if (quiet >= 0) ::dup2(quiet, 2);
      std::vector<char*> cargs;
      for (std::string& a : argv) cargs.push_back(a.data());
      cargs.push_back(nullptr);
      ::execv(cargs[0], cargs.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    device_ = ReadLine(out[0]);
    ::close(out[0]);
    if (device_.empty()) {
      Stop();
      throw std::runtime_error("the simulator printed no device");
    }
  }
  ~TDriveSim() {
    Stop();
    ::unlink(logFile_.c_str());
  }
  TDriveSim(const TDriveSim&) = delete;
  TDriveSim& operator=(const TDriveSim&) = delete;

  const std::string& Device() const { return device_; }

  // Ends the simulator: its standard input closes, and after a grace period it is killed.
  void Stop() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
    if (pid_ <= 0) return;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= end) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
  }

  // The bytes the drive received ("RX") or sent ("TX") so far, as one line of hex pairs.
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
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char c;
      if (::read(fd, &c, 1) != 1) break;
      if (c == '\n') return line;
      line += c;
    }
    return "";
  }

  pid_t pid_ = -1;
  int stdin_ = -1;
  std::string device_;
  std::string logFile_;
};

}  // namespace tolvek::test
