// The serial line wrapper on pseudo-terminals: exclusive open, raw bytes both ways, any baud
// rate, the texts of open failures and a line that disappears.
#include "platform/serial_device.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/error.h"
#include "pty_pair.h"

namespace tolvek {
namespace {

using test::Bytes;
using test::TPtyPair;

std::string OpenFailure(TSerialDevice& device, const std::string& path, uint32_t baud = 9600) {
  try {
    device.Open("COM7", path, baud);
  } catch (const EError& e) {
    EXPECT_FALSE(device.IsOpen());
    return e.Message();
  }
  return "";
}

TEST(SerialDevice, CarriesEveryByteValueUnchangedBothWays) {
  TPtyPair pty;
  ASSERT_TRUE(pty.Ok());
  TSerialDevice device;
  device.Open("COM1", pty.SlavePath(), 38400);
  // Bytes a cooked line would translate or swallow: CR, LF, XON/XOFF, Ctrl-C, DEL, 0xFF.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  ASSERT_TRUE(device.Write(reinterpret_cast<const uint8_t*>(all.data()), all.size()));
  EXPECT_EQ(pty.Read(all.size()), all);

  pty.Write(all);
  std::string got;
  for (int tries = 0; tries < 500 && got.size() < all.size(); ++tries) {
    pollfd p{device.Handle(), POLLIN, 0};
    ::poll(&p, 1, 10);
    uint8_t buffer[300];
    TSerialRead read = device.Read(buffer, sizeof buffer);
    ASSERT_FALSE(read.lost);
    got.append(reinterpret_cast<char*>(buffer), read.count);
  }
  EXPECT_EQ(got, all);
}

TEST(SerialDevice, ReadOfAnEmptyLineReturnsAtOnceWithNothing) {
  TPtyPair pty;
  TSerialDevice device;
  device.Open("COM1", pty.SlavePath(), 9600);
  uint8_t buffer[8];
  TSerialRead read = device.Read(buffer, sizeof buffer);
  EXPECT_EQ(read.count, 0u);
  EXPECT_FALSE(read.lost);
  EXPECT_EQ(device.BytesWaiting(), 0);
}

TEST(SerialDevice, SetsStandardAndArbitraryBaudRates) {
  TPtyPair pty;
  TSerialDevice device;
  for (uint32_t baud : {9600u, 38400u, 115200u, 250000u, 31250u}) {
    device.Open("COM1", pty.SlavePath(), baud);
    EXPECT_EQ(device.BaudRate(), baud);
    device.Close();
  }
  device.Open("COM1", pty.SlavePath(), 9600);
  device.SetBaudRate(1000000 / 3);
  EXPECT_EQ(device.BaudRate(), 333333u);
}

TEST(SerialDevice, SecondOpenOfTheSameLineIsRefused) {
  TPtyPair pty;
  TSerialDevice first, second;
  first.Open("COM1", pty.SlavePath(), 9600);
  EXPECT_EQ(OpenFailure(second, pty.SlavePath()),
            "Port COM7 could not be opened! (" + pty.SlavePath() +
                ": the port is in use by another program)");
  first.Close();
  second.Open("COM1", pty.SlavePath(), 9600);
  EXPECT_TRUE(second.IsOpen());
}

TEST(SerialDevice, OpenFailuresNameThePortAndTheDevicePath) {
  TSerialDevice device;
  EXPECT_EQ(OpenFailure(device, "/dev/tolvek-no-such-tty"),
            "Port COM7 could not be opened! (/dev/tolvek-no-such-tty: no such device)");
  EXPECT_EQ(OpenFailure(device, "/dev/null"),
            "TRsPort.OpenPort: port type error (/dev/null is not a serial line)");
  TPtyPair pty;
  EXPECT_EQ(OpenFailure(device, pty.SlavePath(), 0),
            "TRsPort.OpenPort: problem with port settings (" + pty.SlavePath() + ")");
}

TEST(SerialDevice, MissingPermissionPointsToTheDialoutGroup) {
  if (geteuid() == 0) GTEST_SKIP() << "root opens any device";
  TPtyPair pty;
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0), 0);
  TSerialDevice device;
  EXPECT_EQ(OpenFailure(device, pty.SlavePath()),
            "Port COM7 could not be opened! (" + pty.SlavePath() +
                ": permission denied; the user must be in the 'dialout' group)");
}

TEST(SerialDevice, LineThatDisappearsIsReportedLostAndStopsPolling) {
  TPtyPair pty;
  TSerialDevice device;
  device.Open("COM1", pty.SlavePath(), 9600);
  pty.CloseMaster();
  pollfd p{device.Handle(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  EXPECT_NE(p.revents & (POLLHUP | POLLERR), 0);
  uint8_t buffer[8];
  EXPECT_TRUE(device.Read(buffer, sizeof buffer).lost);
  uint8_t byte = 1;
  EXPECT_FALSE(device.Write(&byte, 1, 200));
  device.Close();  // restoring the settings of a vanished line must not fail
}

TEST(SerialPortNames, MapToDevicePaths) {
  TPortMap map{{"com2", "/dev/ttyUSB0"}, {"Drive", "/dev/ttyACM3"}};
  struct Case {
    const char* name;
    const char* path;
  } cases[] = {
      {"COM1", "/dev/ttyS0"},       {"COM8", "/dev/ttyS7"},
      {"COM2", "/dev/ttyUSB0"},     {"drive", "/dev/ttyACM3"},
      {"/dev/ttyUSB5", "/dev/ttyUSB5"}, {"ttyAMA0", "/dev/ttyAMA0"},
      {"COM", "/dev/COM"},          {"COM0", "/dev/COM0"},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolveSerialDevicePath(c.name, map), c.path) << c.name;
}

TEST(SerialPortNames, EnvironmentWinsOverThePortMap) {
  ::setenv("TOLVEK_PORT_COM2", "/dev/pts/77", 1);
  ::setenv("TOLVEK_PORT_MY_PORT", "/dev/pts/78", 1);
  TPortMap map{{"COM2", "/dev/ttyUSB0"}};
  EXPECT_EQ(ResolveSerialDevicePath("COM2", map), "/dev/pts/77");
  EXPECT_EQ(ResolveSerialDevicePath("com2", map), "/dev/pts/77");
  EXPECT_EQ(ResolveSerialDevicePath("my-port", map), "/dev/pts/78");
  ::unsetenv("TOLVEK_PORT_COM2");
  ::unsetenv("TOLVEK_PORT_MY_PORT");
  SetSerialPortMap(map);
  EXPECT_EQ(SerialDevicePath("COM2"), "/dev/ttyUSB0");
  SetSerialPortMap({});
  EXPECT_EQ(SerialDevicePath("COM2"), "/dev/ttyS1");
}

}  // namespace
}  // namespace tolvek
