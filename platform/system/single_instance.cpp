#include "platform/system/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/system/files.h"

namespace plat {

namespace {
constexpr char kRequest[] = "activate\n";

bool FillAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return true;
}
}  // namespace

SingleInstance::SingleInstance(std::string name, std::string lockFile, std::string runtimeFolder)
    : name_(std::move(name)),
      lockPath_(std::move(lockFile)),
      runtime_(runtimeFolder.empty() ? RuntimePath() : IncludeTrailingPathDelimiter(runtimeFolder)) {}

SingleInstance::~SingleInstance() { Release(); }

bool SingleInstance::Acquire(std::function<void()> onActivate) {
  if (lockFd_ >= 0) return true;
  heldElsewhere_ = false;
  int fd = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  char id[40];
  std::snprintf(id, sizeof id, "-%llx-%llx.sock", (unsigned long long)st.st_dev, (unsigned long long)st.st_ino);
  sockPath_ = runtime_ + name_ + id;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    heldElsewhere_ = errno == EWOULDBLOCK;
    ::close(fd);
    return false;
  }
  lockFd_ = fd;
  onActivate_ = std::move(onActivate);
  // The lock is ours, so any socket file left there belongs to a copy that died.
  ::unlink(sockPath_.c_str());
  sockaddr_un addr;
  int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s >= 0 && FillAddress(sockPath_, addr) && ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::listen(s, 4) == 0 && ::pipe2(wakeFd_, O_CLOEXEC) == 0) {
    listenFd_ = s;
    listener_ = std::thread([this] { Listen(); });
  } else if (s >= 0) {
    ::close(s);
  }
  return true;
}

void SingleInstance::Listen() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    int c = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) continue;
    char buf[32] = {};
    pollfd pc{c, POLLIN, 0};
    if (::poll(&pc, 1, 1000) > 0 && ::read(c, buf, sizeof buf - 1) > 0 &&
        std::strncmp(buf, kRequest, sizeof kRequest - 1) == 0 && onActivate_) {
      onActivate_();
      (void)!::write(c, "ok\n", 3);
    }
    ::close(c);
  }
}

bool SingleInstance::ActivateRunning() {
  sockaddr_un addr;
  if (sockPath_.empty() || !FillAddress(sockPath_, addr)) return false;
  int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  bool ok = false;
  if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::write(s, kRequest, sizeof kRequest - 1) == ssize_t(sizeof kRequest - 1)) {
    char buf[8] = {};
    pollfd p{s, POLLIN, 0};
    ok = ::poll(&p, 1, 2000) > 0 && ::read(s, buf, sizeof buf) > 0;
  }
  ::close(s);
  return ok;
}

void SingleInstance::Release() {
  if (listener_.joinable()) {
    (void)!::write(wakeFd_[1], "x", 1);
    listener_.join();
  }
  for (int* fd : {&listenFd_, &wakeFd_[0], &wakeFd_[1]}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  if (lockFd_ >= 0) {
    ::unlink(sockPath_.c_str());
    ::close(lockFd_);
    lockFd_ = -1;
  }
}

}  // namespace plat
