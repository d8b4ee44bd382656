// A serial line on a tty device: exclusive open, raw 8N1 without flow control at any baud
// rate, non-blocking reads and writes, purge and break. Also the mapping from the port names
// the drives' documentation uses ("COM1") to device paths.
//
// The descriptor is non-blocking: reads take what is there and return at once, writes hand
// their bytes to the driver without waiting for them to leave the wire. Whoever reads waits
// for input with poll() on Handle().
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

struct termios;

namespace tolvek {

// Case-insensitive name order, as the configuration's dictionaries compare their keys.
struct TPortNameLess {
  bool operator()(const std::string& a, const std::string& b) const;
};
using TPortMap = std::map<std::string, std::string, TPortNameLess>;

// The device path of a port name: the environment variable TOLVEK_PORT_<NAME> (name upper-cased,
// characters other than letters and digits as "_"), else the entry of `portMap`, else
// "COMn" -> "/dev/ttyS<n-1>"; a name that already is a path ("/dev/ttyUSB0") is taken as it is,
// any other name is looked for in "/dev/".
std::string ResolveSerialDevicePath(const std::string& portName, const TPortMap& portMap);

// The process's port map (the configuration's "PortMap"), set once the configuration is read.
void SetSerialPortMap(const TPortMap& portMap);
// ResolveSerialDevicePath with the process's port map.
std::string SerialDevicePath(const std::string& portName);

// Outcome of a read: bytes taken (possibly 0 when nothing is waiting), or the line is gone
// (hang-up, device removed, read error): the caller should stop reading from it.
struct TSerialRead {
  size_t count = 0;
  bool lost = false;
};

class TSerialDevice {
public:
  TSerialDevice();
  ~TSerialDevice();
  TSerialDevice(const TSerialDevice&) = delete;
  TSerialDevice& operator=(const TSerialDevice&) = delete;

  // Opens `path` for `portName` exclusively and sets the line to raw 8N1, no flow control,
  // DTR and RTS off, input and output purged. Fails with EError; the texts name the port and
  // the device path, and a missing permission says the user must be in the "dialout" group.
  // On failure nothing stays open.
  void Open(const std::string& portName, const std::string& path, uint32_t baudRate);
  // Restores the line settings found at open, purges and closes. No effect when closed.
  void Close();

  bool IsOpen() const { return fd_ >= 0; }
  int Handle() const { return fd_; }
  const std::string& Path() const { return path_; }

  // Sets the speed of an open line; rates without a standard constant use the kernel's
  // arbitrary-rate interface. Fails with EError.
  void SetBaudRate(uint32_t baudRate);
  // The speed the driver reports for the open line (0 when it cannot tell).
  uint32_t BaudRate() const;

  // Bytes waiting in the driver's input queue; -1 when the line cannot tell (it is gone).
  int BytesWaiting() const;
  // Takes at most `size` waiting bytes without blocking.
  TSerialRead Read(uint8_t* data, size_t size);
  // Hands all bytes to the driver. When the driver's output queue is full it waits for room,
  // but never longer than `timeoutMs` in all; false when the bytes could not all be handed
  // over (the line is gone or stays full).
  bool Write(const uint8_t* data, size_t size, int timeoutMs = 2000);
  // Discards what waits in both directions.
  void Purge();
  // Sets or clears the break state of the line.
  void SetBreak(bool on);

private:
  int fd_ = -1;
  std::string path_;
  std::unique_ptr<::termios> saved_;  // the line settings found at open
};

}  // namespace tolvek
