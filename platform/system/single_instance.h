#pragma once
// One running copy of the program per session and per thing it guards (its folder's path): the
// first start binds a local socket with no name in the file system (so no removal or clean-up can
// take it away), named after the program, the session's runtime folder and the key; a later start of
// the same session finds it bound and asks the copy that holds it to come to the front. Starts of
// other sessions never meet it; what keeps them apart is the lock on the guarded folder itself
// (held_folder.h). Anyone can work the name out and take it first: a start that finds it held by
// another account listens instead on a socket file in the runtime folder, where that folder is
// the account's own and closed to others, and later starts ask there first.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>

namespace plat {

class SingleInstance {
public:
  // runtimeFolder overrides RuntimePath() (tests).
  SingleInstance(std::string name, std::string key, std::string runtimeFolder = {});
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  enum class Outcome {
    First,    // this process is the session's copy: onActivate runs on a listener thread of this
              // object whenever a later start asks it to come forward (it must only post work on)
    Running,  // another copy of this session runs, and has taken the request to come forward
    Alone,    // the name is held by a process of another account, or by one that gave no answer
              // within a few seconds (a full backlog, a copy that hangs), and the runtime folder is
              // not the account's own: this one runs without it
  };
  // Two starts at the same instant: exactly one is First, the other is Running. Never waits more
  // than a few seconds, whatever holds the name.
  // patience: how long it may try to reach what holds the name (tests shorten it).
  Outcome Acquire(std::function<void()> onActivate,
                  std::chrono::milliseconds patience = std::chrono::milliseconds(3000));
  void Release();
  bool Owned() const { return listenFd_ >= 0; }
  // The socket's abstract name, without its leading zero byte. Anyone can work it out.
  const std::string& Address() const { return address_; }

private:
  void Listen();
  Outcome Listening(int socket, std::function<void()> onActivate);
  Outcome ListenPrivately(std::function<void()> onActivate);
  std::string runtime_, address_;
  std::string socketPath_;  // the socket file of ours in the runtime folder, when we listen there
  std::pair<uint64_t, uint64_t> socketId_;
  int listenFd_ = -1;
  int wakeFd_[2] = {-1, -1};
  std::thread listener_;
  std::function<void()> onActivate_;
};

}  // namespace plat
