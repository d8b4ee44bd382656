// A pseudo-terminal pair on which a test plays the drive: the code under test opens the slave
// side by its path, the test reads and writes the master side byte by byte.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace tolvek::test {

class TPtyPair {
public:
  TPtyPair() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) == 0) {
      path_ = name;
      // Only the code under test holds the slave side, as it would hold a real line.
      ::close(slave);
    }
  }
  ~TPtyPair() { CloseMaster(); }

  bool Ok() const { return master_ >= 0; }
  const std::string& SlavePath() const { return path_; }
  int Master() const { return master_; }

  // Plays the drive unplugging its cable.
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  void Write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

  // Reads until `count` bytes arrived or `timeoutMs` passed; answers what arrived.
  std::string Read(size_t count, int timeoutMs = 5000) {
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buffer[512];
      size_t want = count - got.size() < sizeof buffer ? count - got.size() : sizeof buffer;
      ssize_t n = ::read(master_, buffer, want);
      if (n <= 0) break;
      got.append(buffer, static_cast<size_t>(n));
    }
    return got;
  }

private:
  int master_ = -1;
  std::string path_;
};

// The bytes of a list of byte values, for readable expectations.
inline std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

}  // namespace tolvek::test
