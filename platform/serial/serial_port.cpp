#include "platform/serial/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "platform/serial/serial_speed.h"
#include "platform/system/clock.h"

namespace plat {

namespace {

struct SpeedCode {
  uint32_t baud;
  speed_t code;
};

constexpr SpeedCode kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},        {200, B200},
    {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},     {2400, B2400},      {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},  {230400, B230400},
    {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600}, {1000000, B1000000}};

bool StandardSpeed(uint32_t baud, speed_t& code) {
  for (const auto& s : kSpeeds)
    if (s.baud == baud) {
      code = s.code;
      return true;
    }
  return false;
}

bool SpeedBaud(speed_t code, uint32_t& baud) {
  for (const auto& s : kSpeeds)
    if (s.code == code) {
      baud = s.baud;
      return true;
    }
  return false;
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool ParseUnsigned(const std::string& s, uint32_t max, uint32_t& v) {
  if (s.empty() || s.size() > 10) return false;
  uint64_t n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + uint64_t(c - '0');
  }
  if (n > max) return false;
  v = uint32_t(n);
  return true;
}

#ifdef CMSPAR
constexpr tcflag_t kMarkSpace = CMSPAR;
#else
constexpr tcflag_t kMarkSpace = 0;
#endif

// The C library fails tcsetattr with EINVAL when the driver quietly kept its own parity or
// character size (a pseudo-terminal always does), although the kernel took the request. It
// counts as taken when everything else reads back as asked.
bool AppliedDespiteFraming(int fd, const termios& want) {
  if (errno != EINVAL) return false;
  termios got{};
  if (::tcgetattr(fd, &got) != 0) return false;
  const tcflag_t framing = CSIZE | PARENB | CIBAUD;
  return want.c_iflag == got.c_iflag && want.c_oflag == got.c_oflag && want.c_lflag == got.c_lflag &&
         (want.c_cflag & ~framing) == (got.c_cflag & ~framing) && ::cfgetospeed(&want) == ::cfgetospeed(&got) &&
         want.c_cc[VMIN] == got.c_cc[VMIN] && want.c_cc[VTIME] == got.c_cc[VTIME];
}

}  // namespace

bool ParseSerialMode(const std::string& text, SerialMode& mode) {
  std::string rest = text;
  size_t colon = rest.find(':');
  if (colon != std::string::npos && rest.find('=') > colon) {
    rest.erase(0, colon + 1);
  } else {
    // A port name without its ":" is the first word when that holds no "=".
    size_t start = rest.find_first_not_of(" ,\t");
    size_t end = start == std::string::npos ? start : rest.find_first_of(" ,\t", start);
    if (start != std::string::npos && rest.substr(start, end - start).find('=') == std::string::npos)
      rest.erase(0, end);
  }

  SerialMode m = mode;
  size_t i = 0;
  while (i < rest.size()) {
    if (rest[i] == ' ' || rest[i] == ',' || rest[i] == '\t') {
      ++i;
      continue;
    }
    size_t end = rest.find_first_of(" ,\t", i);
    if (end == std::string::npos) end = rest.size();
    std::string token = Upper(rest.substr(i, end - i));
    i = end;
    size_t eq = token.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    std::string key = token.substr(0, eq), value = token.substr(eq + 1);
    uint32_t n = 0;
    if (key == "BAUD") {
      if (!ParseUnsigned(value, 4000000, n) || n == 0) return false;
      m.baud = n;
    } else if (key == "PARITY") {
      if (value.size() != 1 || std::string("NEOMS").find(value[0]) == std::string::npos) return false;
      m.parity = value[0];
    } else if (key == "DATA") {
      if (!ParseUnsigned(value, 8, n) || n < 4) return false;
      m.dataBits = int(n);
    } else if (key == "STOP") {
      if (value == "1") m.stopBits = 10;
      else if (value == "1.5") m.stopBits = 15;
      else if (value == "2") m.stopBits = 20;
      else return false;
    } else {
      return false;
    }
  }
  mode = m;
  return true;
}

std::string SerialDevicePath(const std::string& portName) {
  std::string up = Upper(portName);
  uint32_t n = 0;
  if (up.size() > 3 && up.compare(0, 3, "COM") == 0 && ParseUnsigned(up.substr(3), 255, n) && n >= 1) {
    std::string var = "SOLVANE_COM" + std::to_string(n);
    if (const char* dev = std::getenv(var.c_str()); dev && *dev) return dev;
    return "/dev/ttyS" + std::to_string(n - 1);
  }
  return portName;
}

SerialPort::~SerialPort() { Close(); }

bool SerialPort::Open(const std::string& devicePath) {
  Close();
  if (devicePath.empty()) return false;
  int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  // TIOCEXCL does not stop root; the advisory lock does, between our own processes too.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  if (::isatty(fd)) ::ioctl(fd, TIOCEXCL);
  fd_ = fd;
  return true;
}

bool SerialPort::IsCharDevice() const {
  struct stat st {};
  return fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISCHR(st.st_mode);
}

bool SerialPort::GetMode(SerialMode& mode) const {
  termios t{};
  if (fd_ < 0 || ::tcgetattr(fd_, &t) != 0) return false;
  SerialMode m;
  uint32_t baud = 0;
  if (serial_detail::GetKernelSpeed(fd_, baud) || SpeedBaud(cfgetospeed(&t), baud)) m.baud = baud;
  switch (t.c_cflag & CSIZE) {
    case CS5: m.dataBits = 5; break;
    case CS6: m.dataBits = 6; break;
    case CS7: m.dataBits = 7; break;
    default: m.dataBits = 8; break;
  }
  if (!(t.c_cflag & PARENB)) m.parity = 'N';
  else if (t.c_cflag & kMarkSpace) m.parity = (t.c_cflag & PARODD) ? 'M' : 'S';
  else m.parity = (t.c_cflag & PARODD) ? 'O' : 'E';
  m.stopBits = (t.c_cflag & CSTOPB) ? 20 : 10;
  mode = m;
  return true;
}

SerialPort::SetResult SerialPort::SetMode(const SerialMode& mode) {
  if (fd_ < 0) return SetResult::Failed;
  tcflag_t size = 0;
  switch (mode.dataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return SetResult::Unsupported;
  }
  if (mode.stopBits != 10 && mode.stopBits != 20) return SetResult::Unsupported;
  tcflag_t parity = 0;
  switch (mode.parity) {
    case 'N': break;
    case 'E': parity = PARENB; break;
    case 'O': parity = PARENB | PARODD; break;
    case 'M': parity = PARENB | PARODD | kMarkSpace; break;
    case 'S': parity = PARENB | kMarkSpace; break;
    default: return SetResult::Unsupported;
  }
  const bool markSpace = mode.parity == 'M' || mode.parity == 'S';
  if (markSpace && kMarkSpace == 0) return SetResult::Unsupported;
  speed_t code = B0;
  const bool custom = !StandardSpeed(mode.baud, code);
  uint32_t current = 0;
  if (custom && !serial_detail::GetKernelSpeed(fd_, current)) return SetResult::Unsupported;

  termios t{};
  if (::tcgetattr(fd_, &t) != 0) return SetResult::Failed;
  ::cfmakeraw(&t);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | kMarkSpace);
  t.c_cflag |= CLOCAL | CREAD | size | parity | (mode.stopBits == 20 ? CSTOPB : 0);
  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (!custom) {
    ::cfsetispeed(&t, code);
    ::cfsetospeed(&t, code);
  }
  if (::tcsetattr(fd_, TCSANOW, &t) != 0 && !AppliedDespiteFraming(fd_, t)) return SetResult::Failed;
  if (custom && !serial_detail::SetKernelSpeed(fd_, mode.baud)) return SetResult::Failed;

  // tcsetattr succeeds when any part took; check the parts that are extensions.
  termios back{};
  if (::tcgetattr(fd_, &back) != 0) return SetResult::Failed;
  if (markSpace && !(back.c_cflag & kMarkSpace)) return SetResult::Unsupported;
  if (!custom && ::cfgetospeed(&back) != code) return SetResult::Failed;

  baud_ = mode.baud;
  bitsPerChar_ = 1 + mode.dataBits + (parity ? 1 : 0) + mode.stopBits / 10;
  return SetResult::Ok;
}

bool SerialPort::SetReadsReturnAtOnce() {
  termios t{};
  if (fd_ < 0 || ::tcgetattr(fd_, &t) != 0) return false;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return ::tcsetattr(fd_, TCSANOW, &t) == 0;
}

bool SerialPort::Purge(bool output, bool input) {
  if (fd_ < 0) return false;
  bool ok = true;
  if (output) ok = ::tcflush(fd_, TCOFLUSH) == 0 && ok;
  if (input) ok = ::tcflush(fd_, TCIFLUSH) == 0 && ok;
  return ok;
}

long SerialPort::WriteSome(const void* data, size_t size) {
  if (fd_ < 0) return -1;
  if (size == 0) return 0;
  for (;;) {
    ssize_t w = ::write(fd_, data, size);
    if (w >= 0) return long(w);
    if (errno == EINTR) continue;
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
  }
}

bool SerialPort::WaitWritable(int ms) {
  if (fd_ < 0) return false;
  const int64_t deadline = MicroSeconds() + int64_t(std::max(ms, 0)) * 1000;
  for (;;) {
    pollfd p{fd_, POLLOUT, 0};
    int left = int(std::max<int64_t>(0, (deadline - MicroSeconds() + 999) / 1000));
    int r = ::poll(&p, 1, left);
    if (r > 0) return (p.revents & POLLOUT) && !(p.revents & (POLLERR | POLLNVAL));
    if (r == 0) return false;
    if (errno != EINTR) return false;
  }
}

bool SerialPort::Drain(int timeoutMs) {
  if (fd_ < 0) return false;
  int queued = 0;
  if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) return false;
  if (timeoutMs < 0)
    timeoutMs = int(int64_t(std::max(queued, 0)) * bitsPerChar_ * 1000 / std::max<uint32_t>(baud_, 1)) + 100;
  const int64_t deadline = MicroSeconds() + int64_t(timeoutMs) * 1000;
  for (;;) {
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) return false;
    bool empty = queued <= 0;
#if defined(TIOCSERGETLSR) && defined(TIOCSER_TEMT)
    // The kernel's queue may be empty while the UART still shifts out its last bytes.
    if (empty) {
      unsigned int lsr = 0;
      if (::ioctl(fd_, TIOCSERGETLSR, &lsr) == 0) empty = (lsr & TIOCSER_TEMT) != 0;
    }
#endif
    if (empty) return true;
    if (MicroSeconds() >= deadline) return false;
    SleepMs(2);
  }
}

bool SerialPort::Close() {
  if (fd_ < 0) return false;
  if (::isatty(fd_)) ::ioctl(fd_, TIOCNXCL);
  ::flock(fd_, LOCK_UN);
  int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0;
}

}  // namespace plat
