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
#include <string>
#include <vector>

#include "platform/system/files.h"

namespace plat {

namespace {
constexpr char kRequest[] = "activate\n";
constexpr size_t kRequestSize = sizeof kRequest - 1;
constexpr auto kAttemptPause = std::chrono::milliseconds(10);
// How long the listener gives a connection to say what it wants, and how many it waits on at once.
constexpr auto kRequestWithin = std::chrono::seconds(1);
constexpr size_t kMaxWaiting = 32;

using Clock = std::chrono::steady_clock;

int MsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? int(std::min<long long>(left, 60000)) : 0;
}

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

Asked AskToComeForward(const std::string& address, Clock::time_point deadline) {
  sockaddr_un addr;
  const socklen_t len = FillAddress(address, addr);
  const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return Asked::NoAnswer;
  // A listener whose backlog is full keeps connect() waiting for room: for no longer than the
  // deadline (EAGAIN then).
  const int ms = std::max(MsUntil(deadline), 1);
  const timeval limit{ms / 1000, (ms % 1000) * 1000};
  Asked asked = Asked::NoAnswer;
  if (::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0 &&
      ::connect(s, reinterpret_cast<sockaddr*>(&addr), len) == 0) {
    if (!PeerIsUs(s)) {
      asked = Asked::NotOurs;
    } else if (::send(s, kRequest, kRequestSize, MSG_NOSIGNAL) == ssize_t(kRequestSize)) {
      char buf[8] = {};
      pollfd p{s, POLLIN, 0};
      if (::poll(&p, 1, MsUntil(deadline)) > 0 && ::recv(s, buf, sizeof buf, MSG_DONTWAIT) > 0)
        asked = Asked::Delivered;
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

SingleInstance::Outcome SingleInstance::Acquire(std::function<void()> onActivate, std::chrono::milliseconds patience) {
  if (listenFd_ >= 0) return Outcome::First;
  // A later start keeps trying to reach a copy that is still starting or just ending for so long,
  // and no longer: whatever holds the name and has not answered by then (another account's socket
  // with a full backlog, a copy that hangs) is not asked again, and this start runs alone.
  const Clock::time_point deadline = Clock::now() + patience;
  for (;;) {
    sockaddr_un addr;
    const socklen_t len = FillAddress(address_, addr);
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
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
    switch (AskToComeForward(address_, deadline)) {
      case Asked::Delivered: return Outcome::Running;
      case Asked::NotOurs: return Outcome::Alone;
      case Asked::NoAnswer:
        if (Clock::now() >= deadline) return Outcome::Alone;
        std::this_thread::sleep_for(kAttemptPause);
        break;
    }
  }
}

void SingleInstance::Listen() {
  // Connections of this account that have not yet said what they want, each waited on for a
  // while, all at once: one that says nothing holds up no other.
  struct Waiting {
    int fd;
    Clock::time_point until;
    std::string said;
  };
  std::vector<Waiting> waiting;
  const auto drop = [&waiting](size_t i) {
    ::close(waiting[i].fd);
    waiting.erase(waiting.begin() + std::ptrdiff_t(i));
  };
  for (;;) {
    std::vector<pollfd> fds = {{listenFd_, POLLIN, 0}, {wakeFd_[0], POLLIN, 0}};
    Clock::time_point next = Clock::time_point::max();
    for (const Waiting& w : waiting) {
      fds.push_back({w.fd, POLLIN, 0});
      next = std::min(next, w.until);
    }
    const int rc = ::poll(fds.data(), nfds_t(fds.size()), waiting.empty() ? -1 : MsUntil(next));
    if (rc < 0 && errno != EINTR) break;
    if (rc < 0) continue;
    if (fds[1].revents) break;
    // Whoever has spoken (or gone) is answered first; then those out of time go.
    for (size_t i = waiting.size(); i-- > 0;) {
      if (fds[2 + i].revents) {
        char buf[32];
        const ssize_t n = ::recv(waiting[i].fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n > 0) waiting[i].said.append(buf, size_t(n));
        if (waiting[i].said.size() < kRequestSize && n > 0) continue;
        if (waiting[i].said.compare(0, kRequestSize, kRequest) == 0 && onActivate_) {
          onActivate_();
          (void)!::send(waiting[i].fd, "ok\n", 3, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        drop(i);
      } else if (Clock::now() >= waiting[i].until) {
        drop(i);
      }
    }
    if (!(fds[0].revents & POLLIN)) continue;
    const int c = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (c < 0) continue;
    // Anyone may connect to a name without a file; only our own account is heard.
    if (!PeerIsUs(c)) {
      ::close(c);
      continue;
    }
    if (waiting.size() >= kMaxWaiting) drop(0);
    waiting.push_back({c, Clock::now() + kRequestWithin, {}});
  }
  for (const Waiting& w : waiting) ::close(w.fd);
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
