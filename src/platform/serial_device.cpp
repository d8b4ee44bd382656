#include "platform/serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/error.h"
#include "platform/serial_arbitrary_baud.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsAlnumAscii(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// "COMn" with n a decimal number from 1 up: n, else 0.
int ComPortNumber(const std::string& name) {
  if (name.size() < 4 || UpperAscii(name[0]) != 'C' || UpperAscii(name[1]) != 'O' ||
      UpperAscii(name[2]) != 'M')
    return 0;
  int number = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || number > 100000) return 0;
    number = number * 10 + (name[i] - '0');
  }
  return number;
}

std::mutex portMapLock;
TPortMap& ProcessPortMap() {
  static TPortMap map;
  return map;
}

// English text of an error number, whatever the locale.
std::string ErrorText(int error) {
  const char* text = strerrordesc_np(error);
  return text ? text : StrFormat("error %d", error);
}

// Why a device could not be opened, with its path and what the user can do about it.
std::string OpenFailureReason(const std::string& path, int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return path + ": permission denied; the user must be in the 'dialout' group";
    case EBUSY:
    case EWOULDBLOCK:
      return path + ": the port is in use by another program";
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return path + ": no such device";
    default:
      return path + ": " + ErrorText(error);
  }
}

speed_t StandardSpeed(uint32_t baudRate) {
  switch (baudRate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    default: return B0;
  }
}

}  // namespace

bool TPortNameLess::operator()(const std::string& a, const std::string& b) const {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    char x = UpperAscii(a[i]), y = UpperAscii(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  return a.size() < b.size();
}

std::string ResolveSerialDevicePath(const std::string& portName, const TPortMap& portMap) {
  std::string variable = "TOLVEK_PORT_";
  for (char c : portName) variable += IsAlnumAscii(c) ? UpperAscii(c) : '_';
  if (const char* value = std::getenv(variable.c_str()); value && *value) return value;
  if (auto it = portMap.find(portName); it != portMap.end() && !it->second.empty())
    return it->second;
  if (int number = ComPortNumber(portName); number > 0)
    return StrFormat("/dev/ttyS%d", number - 1);
  if (!portName.empty() && portName[0] == '/') return portName;
  return "/dev/" + portName;
}

void SetSerialPortMap(const TPortMap& portMap) {
  std::lock_guard<std::mutex> guard(portMapLock);
  ProcessPortMap() = portMap;
}

std::string SerialDevicePath(const std::string& portName) {
  std::lock_guard<std::mutex> guard(portMapLock);
  return ResolveSerialDevicePath(portName, ProcessPortMap());
}

TSerialDevice::TSerialDevice() = default;

TSerialDevice::~TSerialDevice() { Close(); }

void TSerialDevice::Open(const std::string& portName, const std::string& path,
                         uint32_t baudRate) {
  Close();
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    throw EError(StrFormat("Port %s could not be opened!", portName) + " (" +
                 OpenFailureReason(path, errno) + ")");
  bool exclusive = false;
  auto fail = [&](std::string text) {
    if (exclusive) ioctl(fd, TIOCNXCL);
    ::close(fd);
    throw EError(std::move(text));
  };
  if (!isatty(fd)) fail("TRsPort.OpenPort: port type error (" + path + " is not a serial line)");
  // TIOCEXCL keeps other programs out, but not a privileged one, and not a second open in this
  // process (two port names can map to one line): the advisory lock covers both.
  // A line this process has just closed can still be held for a moment while its reception
  // thread lets go of it: wait up to a second for the lock before calling the line busy.
  bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
  for (int attempt = 0; !locked && errno == EWOULDBLOCK && attempt < 20; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
  }
  if (!locked || !(exclusive = ioctl(fd, TIOCEXCL) == 0))
    fail(StrFormat("Port %s could not be opened!", portName) + " (" +
         OpenFailureReason(path, errno) + ")");

  auto saved = std::make_unique<::termios>();
  if (tcgetattr(fd, saved.get()) != 0)
    fail("TRsPort.OpenPort: problem with port settings (" + path + ": " + ErrorText(errno) + ")");
  ::termios line = *saved;
  cfmakeraw(&line);
  line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  line.c_cflag |= CS8 | CREAD | CLOCAL;
  line.c_cc[VMIN] = 0;
  line.c_cc[VTIME] = 0;
  speed_t speed = StandardSpeed(baudRate);
  if (speed != B0) cfsetspeed(&line, speed);
  if (baudRate == 0 || tcsetattr(fd, TCSANOW, &line) != 0 ||
      (speed == B0 && !SetArbitraryBaudRate(fd, baudRate)))
    fail("TRsPort.OpenPort: problem with port settings (" + path + ")");
  // The lines DTR and RTS are off while the port is ours, as no flow control uses them; lines
  // without modem control (pseudo-terminals) refuse, which is of no concern.
  int modemLines = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd, TIOCMBIC, &modemLines);
  tcflush(fd, TCIOFLUSH);

  fd_ = fd;
  path_ = path;
  saved_ = std::move(saved);
}

void TSerialDevice::Close() {
  if (fd_ < 0) return;
  // The line may be gone already (adapter unplugged): then these fail and it does not matter.
  if (saved_) tcsetattr(fd_, TCSANOW, saved_.get());
  tcflush(fd_, TCIOFLUSH);
  // The exclusive mode belongs to the line, not to this descriptor: a line that outlives the
  // close (the slave of a pseudo-terminal) would otherwise stay locked for everybody.
  ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
  saved_.reset();
}

void TSerialDevice::SetBaudRate(uint32_t baudRate) {
  ::termios line;
  speed_t speed = StandardSpeed(baudRate);
  bool done = fd_ >= 0 && baudRate != 0 && tcgetattr(fd_, &line) == 0;
  if (done && speed != B0) {
    cfsetspeed(&line, speed);
    done = tcsetattr(fd_, TCSANOW, &line) == 0;
  } else if (done) {
    done = SetArbitraryBaudRate(fd_, baudRate);
  }
  if (!done) throw EError("TRsPort.OpenPort: problem with port settings (" + path_ + ")");
}

uint32_t TSerialDevice::BaudRate() const { return fd_ >= 0 ? GetArbitraryBaudRate(fd_) : 0; }

int TSerialDevice::BytesWaiting() const {
  int count = 0;
  if (fd_ < 0 || ioctl(fd_, FIONREAD, &count) != 0) return -1;
  return count;
}

TSerialRead TSerialDevice::Read(uint8_t* data, size_t size) {
  TSerialRead result;
  if (fd_ < 0) {
    result.lost = true;
    return result;
  }
  for (;;) {
    ssize_t n = ::read(fd_, data, size);
    if (n > 0) {
      result.count = static_cast<size_t>(n);
    } else if (n == 0) {
      // An empty read is normal on a raw line with nothing waiting; on a line that was hung up
      // (adapter unplugged, other side of a pseudo-terminal closed) the driver also refuses
      // to say how much is waiting.
      result.lost = BytesWaiting() < 0;
    } else if (errno == EINTR) {
      continue;
    } else if (errno != EAGAIN) {
      result.lost = true;
    }
    return result;
  }
}

bool TSerialDevice::Write(const uint8_t* data, size_t size, int timeoutMs) {
  if (fd_ < 0) return false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (size > 0) {
    ssize_t n = ::write(fd_, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) return false;
    pollfd waitFor{fd_, POLLOUT, 0};
    int ready = ::poll(&waitFor, 1, static_cast<int>(left));
    if (ready < 0 && errno != EINTR) return false;
    if (ready > 0 && (waitFor.revents & (POLLERR | POLLHUP | POLLNVAL))) return false;
  }
  return true;
}

void TSerialDevice::Purge() {
  if (fd_ >= 0) tcflush(fd_, TCIOFLUSH);
}

void TSerialDevice::SetBreak(bool on) {
  if (fd_ >= 0) ioctl(fd_, on ? TIOCSBRK : TIOCCBRK);
}

}  // namespace tolvek
