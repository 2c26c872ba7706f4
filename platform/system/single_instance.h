#pragma once
// One running copy of the program per user: an advisory lock on a file in the runtime folder,
// and a local socket through which a second start asks the running one to come to the front.
#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace plat {

class SingleInstance {
public:
  // name becomes "<runtime>/<name>.lock" and "<runtime>/<name>.sock"; folder overrides the
  // runtime folder (tests).
  explicit SingleInstance(std::string name, std::string folder = {});
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this process now owns the name. onActivate runs on a listener thread of this
  // object whenever another start asks us to show ourselves; it must only post work onwards.
  // The folder is made when it is missing. False with HeldElsewhere() false: the lock could not
  // be made at all (an unusable folder), which says nothing of another copy.
  bool Acquire(std::function<void()> onActivate);
  // The last Acquire found another process owning the name.
  bool HeldElsewhere() const { return heldElsewhere_; }
  // Asks the owner to show itself; true when the request was delivered.
  bool ActivateRunning();
  void Release();
  bool Owned() const { return lockFd_ >= 0; }

private:
  void Listen();
  std::string lockPath_, sockPath_;
  int lockFd_ = -1;
  bool heldElsewhere_ = false;
  int listenFd_ = -1;
  int wakeFd_[2] = {-1, -1};
  std::thread listener_;
  std::function<void()> onActivate_;
};

}  // namespace plat
