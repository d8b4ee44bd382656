// The simulator's single-threaded poll loop.
#include "sim_server.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {

class TSignalFd {
public:
  TSignalFd() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    fd_ = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd_ < 0) throw EError(StrFormat("signalfd failed: %s", std::strerror(errno)));
  }
  ~TSignalFd() { ::close(fd_); }
  int Fd() const { return fd_; }

private:
  int fd_;
};

timespec Timeout(TSimClock::duration wait) {
  if (wait < TSimClock::duration::zero()) wait = TSimClock::duration::zero();
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
  return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

}  // namespace

void ServeDrive(TPtyPort& port, TDriveLink& link, TLineOutput& output, TTranscript* transcript,
                TSimCounters& counters, const TServeOptions& options) {
  TSignalFd signals;
  const bool unsolicited = options.unsolicitedMs > 0 && link.CarriesUnsolicited();
  const auto period = std::chrono::milliseconds(options.unsolicitedMs);
  auto nextUnsolicited = TSimClock::now() + period;
  // A PC that stopped reading must not make unsolicited frames pile up without bound.
  constexpr size_t MaxBacklog = 64;
  bool stdinOpen = options.stdinLifetime;
  uint8_t buffer[4096];

  for (;;) {
    auto now = TSimClock::now();
    output.Pump(now);

    std::optional<TSimClock::time_point> wake = output.NextDue(now);
    if (unsolicited && (!wake || nextUnsolicited < *wake)) wake = nextUnsolicited;
    pollfd fds[3] = {{port.MasterFd(), static_cast<short>(POLLIN | (output.WaitsForWritable() ? POLLOUT : 0)), 0},
                     {signals.Fd(), POLLIN, 0},
                     {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
    timespec timeout{};
    if (wake) timeout = Timeout(*wake - now);
    const int ready = ::ppoll(fds, 3, wake ? &timeout : nullptr, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw EError(StrFormat("poll failed: %s", std::strerror(errno)));
    }
    if (fds[1].revents & POLLIN) return;
    if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return;
    }
    now = TSimClock::now();
    if (fds[0].revents & POLLIN) {
      const ssize_t n = ::read(port.MasterFd(), buffer, sizeof buffer);
      if (n > 0) {
        counters.bytesIn += static_cast<uint64_t>(n);
        if (transcript) transcript->Bytes("RX", buffer, static_cast<size_t>(n));
        link.Receive(buffer, static_cast<size_t>(n), now);
      }
    }
    if (unsolicited && now >= nextUnsolicited) {
      if (output.QueuedChunks() < MaxBacklog) link.SendUnsolicited(options.unsolicitedFrame, now);
      while (nextUnsolicited <= now) nextUnsolicited += period;
    }
  }
}

}  // namespace tolvek
