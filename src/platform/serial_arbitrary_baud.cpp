#include "platform/serial_arbitrary_baud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tolvek {

bool SetArbitraryBaudRate(int fd, uint32_t baudRate) {
  struct termios2 settings;
  if (ioctl(fd, TCGETS2, &settings) != 0) return false;
  settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  settings.c_ispeed = baudRate;
  settings.c_ospeed = baudRate;
  return ioctl(fd, TCSETS2, &settings) == 0;
}

uint32_t GetArbitraryBaudRate(int fd) {
  struct termios2 settings;
  if (ioctl(fd, TCGETS2, &settings) != 0) return 0;
  return settings.c_ospeed;
}

}  // namespace tolvek
