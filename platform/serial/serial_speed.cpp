#include "platform/serial/serial_speed.h"

#include <sys/ioctl.h>

#if __has_include(<asm/termbits.h>)
#include <asm/termbits.h>
#endif

namespace plat::serial_detail {

#if defined(TCGETS2) && defined(BOTHER)

bool GetKernelSpeed(int fd, uint32_t& baud) {
  struct termios2 t {};
  if (::ioctl(fd, TCGETS2, &t) != 0) return false;
  baud = t.c_ospeed;
  return true;
}

bool SetKernelSpeed(int fd, uint32_t baud) {
  struct termios2 t {};
  if (::ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ospeed = baud;
  t.c_ispeed = baud;
  if (::ioctl(fd, TCSETS2, &t) != 0) return false;
  struct termios2 back {};
  return ::ioctl(fd, TCGETS2, &back) == 0 && back.c_ospeed == baud;
}

#else

bool GetKernelSpeed(int, uint32_t&) { return false; }
bool SetKernelSpeed(int, uint32_t) { return false; }

#endif

}  // namespace plat::serial_detail
