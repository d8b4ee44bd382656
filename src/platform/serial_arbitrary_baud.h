// Baud rates through the kernel's termios2 interface, which takes any rate as a number. Kept
// apart from serial_device.cpp because its kernel header clashes with the C library's
// <termios.h>.
#pragma once

#include <cstdint>

namespace tolvek {

// Sets input and output speed of the tty `fd` to `baudRate`; false with errno set on failure.
bool SetArbitraryBaudRate(int fd, uint32_t baudRate);
// The output speed of the tty `fd`, or 0 when it cannot be read.
uint32_t GetArbitraryBaudRate(int fd);

}  // namespace tolvek
