// How close tolvek-drivesim's paced output comes to the wire: 64 KiB of read-block answers at
// 115200 baud, timed against the wire time of the answer bytes (10 bits per byte); the counter
// "ratio" is measured / wire. "Queued" sends all requests at once, so the line never waits for
// this client and the figure is the simulator's own; "OneByOne" asks like the PC's Talk server,
// one request per answer, and adds this client's turnaround.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int Baud = 115200;
constexpr size_t AnswerBytesWanted = 64 * 1024;
constexpr uint8_t BlockCount = 252;  // the largest read block of a 255-byte frame

// The simulator beside this build's executables: <build>/bench/x -> <build>/bin/tolvek-drivesim.
std::string SimPath() {
  const auto self = std::filesystem::read_symlink("/proc/self/exe");
  return (self.parent_path().parent_path() / "bin" / "tolvek-drivesim").string();
}

class TPacedSim {
public:
  TPacedSim() {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      const int quiet = ::open("/dev/null", O_WRONLY);  // its counters would clutter the report
      ::dup2(quiet, 2);
      const std::string path = SimPath();
      const std::string baud = std::to_string(Baud);
      ::execl(path.c_str(), path.c_str(), "--baud", baud.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    std::string device;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') device += c;
    ::close(out[0]);
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd_ < 0) throw std::runtime_error("no simulator device (is tolvek-drivesim built?)");
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_, TCSANOW, &tio);
  }
  ~TPacedSim() {
    ::close(fd_);
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }

  static constexpr size_t AnswerFrameBytes = 3 + 2 + BlockCount;

  // Sends one read-block request.
  void Request(uint32_t address) {
    const uint8_t payload[] = {0x30, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                               static_cast<uint8_t>(address >> 16), BlockCount};
    uint8_t frame[3 + sizeof payload] = {0xA5, sizeof payload, 0};
    for (size_t i = 0; i < sizeof payload; ++i) {
      frame[2] = static_cast<uint8_t>(frame[2] + payload[i]);
      frame[3 + i] = payload[i];
    }
    if (::write(fd_, frame, sizeof frame) != static_cast<ssize_t>(sizeof frame)) throw std::runtime_error("write");
  }

  // Reads `expected` bytes of answers.
  void Receive(size_t expected) {
    size_t got = 0;
    uint8_t buffer[512];
    while (got < expected) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) throw std::runtime_error("the simulator stopped answering");
      const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, expected - got));
      if (n <= 0) throw std::runtime_error("read");
      got += static_cast<size_t>(n);
    }
  }

private:
  pid_t pid_ = -1;
  int fd_ = -1;
};

void Measure(benchmark::State& state, bool queued) {
  TPacedSim sim;
  const size_t frames = (AnswerBytesWanted + TPacedSim::AnswerFrameBytes - 1) / TPacedSim::AnswerFrameBytes;
  const size_t bytes = frames * TPacedSim::AnswerFrameBytes;
  double measuredSeconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (queued) {
      for (size_t i = 0; i < frames; ++i) sim.Request(static_cast<uint32_t>(i * BlockCount));
      sim.Receive(bytes);
    } else {
      for (size_t i = 0; i < frames; ++i) {
        sim.Request(static_cast<uint32_t>(i * BlockCount));
        sim.Receive(TPacedSim::AnswerFrameBytes);
      }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    measuredSeconds += took.count();
  }
  const double wireSeconds = static_cast<double>(bytes) * 10.0 / Baud;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["wire_s"] = wireSeconds;
  state.counters["ratio"] = measuredSeconds / static_cast<double>(state.iterations()) / wireSeconds;
}

void BM_DrivesimPacedAnswersQueued(benchmark::State& state) { Measure(state, true); }
void BM_DrivesimPacedAnswersOneByOne(benchmark::State& state) { Measure(state, false); }
BENCHMARK(BM_DrivesimPacedAnswersQueued)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrivesimPacedAnswersOneByOne)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
