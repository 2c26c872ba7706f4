#include "platform/system/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
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
constexpr char kAnswer[] = "ok\n";
constexpr size_t kAnswerSize = sizeof kAnswer - 1;
constexpr auto kAttemptPause = std::chrono::milliseconds(10);
// How long the listener gives a connection to say what it wants, and how many it waits on at once.
constexpr auto kRequestWithin = std::chrono::seconds(1);
constexpr size_t kMaxWaiting = 32;
// How long a start waits for another start that is making the private socket, and for the copy
// listening there to answer.
constexpr auto kPrivatePatience = std::chrono::seconds(1);

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

// A socket file's address; false when the path does not fit.
bool FillPathAddress(const std::string& path, sockaddr_un& addr, socklen_t& len) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  len = socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  return true;
}

// The runtime folder when it is this account's own and no other account may write to it (no link
// at its name): only this account can then make, take or remove a socket in it.
bool PrivateFolder(const std::string& folder) {
  struct stat st;
  return !folder.empty() && ::lstat(ExcludeTrailingPathDelimiter(folder).c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The account of the process at the other end of a connected socket.
bool PeerIsUs(int s) {
  ucred cred{};
  socklen_t len = sizeof cred;
  return ::getsockopt(s, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::geteuid();
}

enum class Asked { Delivered, NotOurs, NoAnswer };

Asked AskToComeForward(const sockaddr_un& addr, socklen_t len, Clock::time_point deadline) {
  const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return Asked::NoAnswer;
  // A listener whose backlog is full keeps connect() waiting for room: for no longer than the
  // deadline (EAGAIN then).
  const int ms = std::max(MsUntil(deadline), 1);
  const timeval limit{ms / 1000, (ms % 1000) * 1000};
  Asked asked = Asked::NoAnswer;
  if (::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0 &&
      ::connect(s, reinterpret_cast<const sockaddr*>(&addr), len) == 0) {
    if (!PeerIsUs(s)) {
      asked = Asked::NotOurs;
    } else if (::send(s, kRequest, kRequestSize, MSG_NOSIGNAL) == ssize_t(kRequestSize)) {
      // Only the deck's own answer says that it came forward: anything else there is no deck.
      std::string heard;
      while (heard.size() < kAnswerSize) {
        char buf[8];
        pollfd p{s, POLLIN, 0};
        if (::poll(&p, 1, MsUntil(deadline)) <= 0) break;
        const ssize_t n = ::recv(s, buf, sizeof buf, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) break;
        heard.append(buf, size_t(n));
      }
      if (heard.compare(0, kAnswerSize, kAnswer) == 0) asked = Asked::Delivered;
    }
  }
  ::close(s);
  return asked;
}

Asked AskToComeForward(const std::string& address, Clock::time_point deadline) {
  sockaddr_un addr;
  const socklen_t len = FillAddress(address, addr);
  return AskToComeForward(addr, len, deadline);
}
}  // namespace

SingleInstance::SingleInstance(std::string name, std::string key, std::string runtimeFolder) {
  runtime_ = runtimeFolder.empty() ? RuntimePath() : IncludeTrailingPathDelimiter(runtimeFolder);
  char hash[24];
  std::snprintf(hash, sizeof hash, "-%016llx", (unsigned long long)Fnv1a(runtime_ + '\n' + key));
  address_ = name + hash;
}

SingleInstance::~SingleInstance() { Release(); }

SingleInstance::Outcome SingleInstance::Acquire(std::function<void()> onActivate, std::chrono::milliseconds patience) {
  if (listenFd_ >= 0) return Outcome::First;
  // A later start keeps trying to reach a copy that is still starting or just ending for so long,
  // and no longer: whatever holds the name and has not answered by then (another account's socket
  // with a full backlog, a copy that hangs) is not asked again, and this start listens in the
  // private runtime folder instead, or runs alone.
  const Clock::time_point deadline = Clock::now() + patience;
  sockaddr_un own;
  socklen_t ownLen = 0;
  const bool privateRuntime = PrivateFolder(runtime_) && FillPathAddress(runtime_ + address_, own, ownLen);
  // A copy that found the name held by another account listens there.
  if (privateRuntime && AskToComeForward(own, ownLen, deadline) == Asked::Delivered) return Outcome::Running;
  for (;;) {
    sockaddr_un addr;
    const socklen_t len = FillAddress(address_, addr);
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) return Outcome::Alone;
    // Binding is the one step two starts cannot both win.
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), len) == 0) return Listening(s, std::move(onActivate));
    const bool taken = errno == EADDRINUSE;
    ::close(s);
    if (!taken) return Outcome::Alone;
    // A copy that has bound but not yet listens, or one that is ending, answers on a later try.
    switch (AskToComeForward(address_, deadline)) {
      case Asked::Delivered: return Outcome::Running;
      case Asked::NotOurs: return privateRuntime ? ListenPrivately(std::move(onActivate)) : Outcome::Alone;
      case Asked::NoAnswer:
        if (Clock::now() >= deadline) return privateRuntime ? ListenPrivately(std::move(onActivate)) : Outcome::Alone;
        std::this_thread::sleep_for(kAttemptPause);
        break;
    }
  }
}

SingleInstance::Outcome SingleInstance::Listening(int s, std::function<void()> onActivate) {
  if (::listen(s, 16) != 0 || ::pipe2(wakeFd_, O_CLOEXEC) != 0) {
    ::close(s);
    return Outcome::Alone;
  }
  listenFd_ = s;
  onActivate_ = std::move(onActivate);
  listener_ = std::thread([this] { Listen(); });
  return Outcome::First;
}

SingleInstance::Outcome SingleInstance::ListenPrivately(std::function<void()> onActivate) {
  const std::string path = runtime_ + address_;
  sockaddr_un addr;
  socklen_t len = 0;
  if (!FillPathAddress(path, addr, len)) return Outcome::Alone;
  // Starts that all found the name taken make one socket between them: each in turn asks the
  // socket there, and only one that has no answer puts its own in its place.
  const int lock = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (lock < 0) return Outcome::Alone;
  const Clock::time_point until = Clock::now() + kPrivatePatience;
  bool locked;
  while (!(locked = ::flock(lock, LOCK_EX | LOCK_NB) == 0) && (errno == EWOULDBLOCK || errno == EINTR) &&
         Clock::now() < until)
    std::this_thread::sleep_for(kAttemptPause);
  Outcome outcome = Outcome::Alone;
  if (locked) {
    struct stat st;
    if (AskToComeForward(addr, len, Clock::now() + kPrivatePatience) == Asked::Delivered) {
      outcome = Outcome::Running;
    } else if (::lstat(path.c_str(), &st) != 0 || S_ISSOCK(st.st_mode)) {
      ::unlink(path.c_str());  // a copy's that was killed, or one that does not answer
      const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&addr), len) == 0 && ::lstat(path.c_str(), &st) == 0) {
        outcome = Listening(s, std::move(onActivate));
        if (outcome == Outcome::First) {
          socketPath_ = path;
          socketId_ = {uint64_t(st.st_dev), uint64_t(st.st_ino)};
        }
      } else if (s >= 0) {
        ::close(s);
      }
    }
  }
  ::close(lock);
  return outcome;
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
  // The private socket goes with its copy, unless a later start has put its own there.
  struct stat st;
  if (!socketPath_.empty() && ::lstat(socketPath_.c_str(), &st) == 0 &&
      socketId_ == std::pair<uint64_t, uint64_t>{uint64_t(st.st_dev), uint64_t(st.st_ino)})
    ::unlink(socketPath_.c_str());
  socketPath_.clear();
}

}  // namespace plat
