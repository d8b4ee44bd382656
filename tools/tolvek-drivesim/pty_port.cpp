// Opening the pseudo-terminal and its optional symbolic link.
#include "pty_port.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {

[[noreturn]] void Fail(const char* what) {
  throw EError(StrFormat("pseudo-terminal: %s failed: %s", what, std::strerror(errno)));
}

}  // namespace

TPtyPort::TPtyPort() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) Fail("posix_openpt");
  if (::grantpt(master_) != 0) Fail("grantpt");
  if (::unlockpt(master_) != 0) Fail("unlockpt");
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0) Fail("ptsname");
  devicePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) Fail("opening the device");
  // Raw bytes both ways: no echo, no line editing, no CR/LF translation.
  termios tio{};
  if (::tcgetattr(slave_, &tio) != 0) Fail("tcgetattr");
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  if (::tcsetattr(slave_, TCSANOW, &tio) != 0) Fail("tcsetattr");
}

TPtyPort::~TPtyPort() {
  if (!linkPath_.empty()) {
    char target[256];
    const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n > 0 && devicePath_ == std::string(target, static_cast<size_t>(n))) ::unlink(linkPath_.c_str());
  }
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
}

void TPtyPort::CreateLink(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode))
      throw EError(StrFormat("link file '%s' exists and is not a symbolic link", path));
    ::unlink(path.c_str());
  }
  if (::symlink(devicePath_.c_str(), path.c_str()) != 0)
    throw EError(StrFormat("link file '%s' couldn't be created: %s", path, std::strerror(errno)));
  linkPath_ = path;
}

}  // namespace tolvek
