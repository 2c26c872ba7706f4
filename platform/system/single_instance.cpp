#include "platform/system/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/system/files.h"

namespace plat {

namespace {
constexpr char kRequest[] = "activate\n";
// How long a later start keeps trying to reach a copy that is still starting or just ending.
constexpr int kAttempts = 300;
constexpr auto kAttemptPause = std::chrono::milliseconds(10);

// A short, fixed-length name for any runtime folder and key, however long their paths.
uint64_t Fnv1a(const std::string& text) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

// An abstract address: a leading zero byte, then the name, which has no file behind it.
socklen_t FillAddress(const std::string& name, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  const size_t n = std::min(name.size(), sizeof addr.sun_path - 1);
  std::memcpy(addr.sun_path + 1, name.data(), n);
  return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + n);
}

// The account of the process at the other end of a connected socket.
bool PeerIsUs(int s) {
  ucred cred{};
  socklen_t len = sizeof cred;
  return ::getsockopt(s, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::geteuid();
}

enum class Asked { Delivered, NotOurs, NoAnswer };

Asked AskToComeForward(const std::string& address) {
  sockaddr_un addr;
  const socklen_t len = FillAddress(address, addr);
  const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return Asked::NoAnswer;
  Asked asked = Asked::NoAnswer;
  if (::connect(s, reinterpret_cast<sockaddr*>(&addr), len) == 0) {
    if (!PeerIsUs(s)) {
      asked = Asked::NotOurs;
    } else if (::write(s, kRequest, sizeof kRequest - 1) == ssize_t(sizeof kRequest - 1)) {
      char buf[8] = {};
      pollfd p{s, POLLIN, 0};
      if (::poll(&p, 1, 2000) > 0 && ::read(s, buf, sizeof buf) > 0) asked = Asked::Delivered;
    }
  }
  ::close(s);
  return asked;
}
}  // namespace

SingleInstance::SingleInstance(std::string name, std::string key, std::string runtimeFolder) {
  const std::string runtime = runtimeFolder.empty() ? RuntimePath() : IncludeTrailingPathDelimiter(runtimeFolder);
  char hash[24];
  std::snprintf(hash, sizeof hash, "-%016llx", (unsigned long long)Fnv1a(runtime + '\n' + key));
  address_ = name + hash;
}

SingleInstance::~SingleInstance() { Release(); }

SingleInstance::Outcome SingleInstance::Acquire(std::function<void()> onActivate) {
  if (listenFd_ >= 0) return Outcome::First;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    sockaddr_un addr;
    const socklen_t len = FillAddress(address_, addr);
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return Outcome::Alone;
    // Binding is the one step two starts cannot both win.
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), len) == 0) {
      if (::listen(s, 16) != 0 || ::pipe2(wakeFd_, O_CLOEXEC) != 0) {
        ::close(s);
        return Outcome::Alone;
      }
      listenFd_ = s;
      onActivate_ = std::move(onActivate);
      listener_ = std::thread([this] { Listen(); });
      return Outcome::First;
    }
    const bool taken = errno == EADDRINUSE;
    ::close(s);
    if (!taken) return Outcome::Alone;
    // A copy that has bound but not yet listens, or one that is ending, answers on a later try.
    switch (AskToComeForward(address_)) {
      case Asked::Delivered: return Outcome::Running;
      case Asked::NotOurs: return Outcome::Alone;
      case Asked::NoAnswer: std::this_thread::sleep_for(kAttemptPause); break;
    }
  }
  return Outcome::Alone;
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
    // Anyone may connect to a name without a file; only our own account is heard.
    if (PeerIsUs(c) && ::poll(&pc, 1, 1000) > 0 && ::read(c, buf, sizeof buf - 1) > 0 &&
        std::strncmp(buf, kRequest, sizeof kRequest - 1) == 0 && onActivate_) {
      onActivate_();
      (void)!::write(c, "ok\n", 3);
    }
    ::close(c);
  }
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
}

}  // namespace plat
