#pragma once
// A pseudo-terminal standing in for a serial line: the code under test opens SlavePath() as its
// port, and the test reads what arrives at the master side.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <string>

class PtyPair {
public:
  PtyPair() {
    char name[128] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
      path_ = name;
      ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
  }
  ~PtyPair() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Ok() const { return master_ >= 0; }
  const std::string& SlavePath() const { return path_; }
  int Master() const { return master_; }

  // Everything that has arrived so far, without waiting for more.
  std::string Arrived() {
    std::string out;
    char buf[4096];
    for (;;) {
      ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, size_t(n));
    }
    return out;
  }
  // Reads until want bytes have arrived or nothing more comes within idleMs.
  std::string ReadBytes(size_t want, int idleMs = 2000) {
    std::string out;
    while (out.size() < want) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, idleMs) <= 0) break;
      std::string more = Arrived();
      if (more.empty()) break;
      out += more;
    }
    return out;
  }

private:
  int master_ = -1, slave_ = -1;
  std::string path_;
};
