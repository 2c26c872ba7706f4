#pragma once
// The kernel's arbitrary-speed call lives in its own unit: its termios2 structure clashes with
// the C library's termios.
#include <cstdint>

namespace plat::serial_detail {

// The output speed in baud as the kernel holds it; false without the arbitrary-speed call.
bool GetKernelSpeed(int fd, uint32_t& baud);
// Sets input and output to baud through the arbitrary-speed call; false when it is missing or
// refused.
bool SetKernelSpeed(int fd, uint32_t baud);

}  // namespace plat::serial_detail
