// The simulator process and the byte-level test client.
#include "sim_client.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tolvek::test {

namespace {

using TClock = std::chrono::steady_clock;

int RemainingMs(TClock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - TClock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

std::string ReadLine(int fd, std::chrono::milliseconds timeout) {
  const auto end = TClock::now() + timeout;
  std::string line;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, RemainingMs(end)) <= 0) return line;
    char c;
    if (::read(fd, &c, 1) != 1 || c == '\n') return line;
    line += c;
  }
}

}  // namespace

std::string SimPath() { return TOLVEK_BIN_DIR "/tolvek-drivesim"; }
std::string DemoDescription() { return TOLVEK_BIN_DIR "/demo-drive.stx"; }

TSimProcess::TSimProcess(const std::vector<std::string>& args) {
  char name[] = "/tmp/drivesim-stderr-XXXXXX";
  const int errFd = ::mkstemp(name);
  if (errFd < 0) throw std::runtime_error("mkstemp failed");
  stderrFile_ = name;
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> argv{SimPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(errFd, 2);
    std::vector<char*> cargs;
    for (std::string& a : argv) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    ::execv(cargs[0], cargs.data());
    ::_exit(127);
  }
  ::close(errFd);
  ::close(in[0]);
  ::close(out[1]);
  stdinFd_ = in[1];
  device_ = ReadLine(out[0], Eventually);
  ::close(out[0]);
  if (device_.empty()) {
    Stop();
    throw std::runtime_error("the simulator printed no device: " + Stderr());
  }
}

TSimProcess::~TSimProcess() {
  Stop();
  CloseStdin();
  ::unlink(stderrFile_.c_str());
}

void TSimProcess::CloseStdin() {
  if (stdinFd_ >= 0) ::close(stdinFd_);
  stdinFd_ = -1;
}

std::optional<int> TSimProcess::WaitExit(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  const auto end = TClock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return status_;
    }
    if (TClock::now() >= end) return std::nullopt;
    std::this_thread::sleep_for(10ms);
  }
}

int TSimProcess::Stop() {
  if (pid_ <= 0) return -1;
  if (!status_) {
    ::kill(pid_, SIGTERM);
    if (!WaitExit(Eventually)) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      ::waitpid(pid_, &status, 0);
      status_ = -1;
    }
  }
  return *status_;
}

std::string TSimProcess::Stderr() const {
  std::ifstream in(stderrFile_);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::pair<int, std::string> RunSimToEnd(const std::vector<std::string>& args) {
  std::string command = SimPath();
  for (const std::string& a : args) command += " '" + a + "'";
  command += " 2>&1 </dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TLineClient::TLineClient(const std::string& device) {
  fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) throw std::runtime_error("cannot open " + device);
  termios tio{};
  ::tcgetattr(fd_, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd_, TCSANOW, &tio);
}

TLineClient::~TLineClient() { ::close(fd_); }

void TLineClient::Write(const TBytes& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) throw std::runtime_error("write to the simulator failed");
    done += static_cast<size_t>(n);
  }
}

TBytes TLineClient::Read(size_t count, std::chrono::milliseconds timeout) {
  const auto end = TClock::now() + timeout;
  TBytes out;
  while (out.size() < count) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, RemainingMs(end)) <= 0) break;
    uint8_t buffer[512];
    const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - out.size()));
    if (n <= 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  return out;
}

TBytes TLineClient::Drain(std::chrono::milliseconds time) { return Read(SIZE_MAX, time); }

TBytes TLineClient::Frame(const TBytes& payload) {
  uint8_t sum = 0;
  for (uint8_t b : payload) sum = static_cast<uint8_t>(sum + b);
  TBytes frame{0xA5, static_cast<uint8_t>(payload.size()), sum};
  frame.insert(frame.end(), payload.begin(), payload.end());
  return frame;
}

std::optional<TRsFrame> TLineClient::ReadFrame(std::chrono::milliseconds timeout, TBytes* skipped) {
  const auto end = TClock::now() + timeout;
  for (;;) {
    const TBytes start = Read(1, std::chrono::milliseconds(RemainingMs(end)));
    if (start.empty()) return std::nullopt;
    if (start[0] == 0xA5) break;
    if (skipped) skipped->push_back(start[0]);
  }
  const TBytes header = Read(2, std::chrono::milliseconds(RemainingMs(end)));
  if (header.size() != 2) return std::nullopt;
  TRsFrame frame;
  frame.payload = Read(header[0], std::chrono::milliseconds(RemainingMs(end)));
  if (frame.payload.size() != header[0]) return std::nullopt;
  uint8_t sum = 0;
  for (uint8_t b : frame.payload) sum = static_cast<uint8_t>(sum + b);
  frame.sumOk = sum == header[1];
  return frame;
}

TBytes TLineClient::Talk(const TBytes& request) {
  SendFrame(request);
  for (;;) {
    const std::optional<TRsFrame> frame = ReadFrame();
    if (!frame || !frame->sumOk) return {};
    if (frame->payload.size() == 2 && frame->payload[1] == 0x01) continue;
    return frame->payload;
  }
}

}  // namespace tolvek::test
