#pragma once
// One running copy of the program per folder it keeps for itself: an advisory lock on a file inside
// that folder, held for the run, whichever session starts it; and a local socket in the session's
// runtime folder through which a second start of the same session asks the running one to come to
// the front.
#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace plat {

class SingleInstance {
public:
  // lockFile is the file inside the guarded folder (which must exist). The socket is
  // "<runtime>/<name>-<the lock file's device and inode>.sock", so that two copies guarding two
  // folders in one session never meet; runtimeFolder overrides RuntimePath() (tests).
  SingleInstance(std::string name, std::string lockFile, std::string runtimeFolder = {});
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this process now owns the name. onActivate runs on a listener thread of this
  // object whenever another start asks us to show ourselves; it must only post work onwards.
  // False with HeldElsewhere() false: the lock could not be made at all (an unusable folder),
  // which says nothing of another copy.
  bool Acquire(std::function<void()> onActivate);
  // The last Acquire found another process owning the name.
  bool HeldElsewhere() const { return heldElsewhere_; }
  // Asks the owner to show itself; true when the request was delivered, which only an owner of
  // the same session can take.
  bool ActivateRunning();
  void Release();
  bool Owned() const { return lockFd_ >= 0; }

private:
  void Listen();
  std::string name_, lockPath_, runtime_, sockPath_;
  int lockFd_ = -1;
  bool heldElsewhere_ = false;
  int listenFd_ = -1;
  int wakeFd_[2] = {-1, -1};
  std::thread listener_;
  std::function<void()> onActivate_;
};

}  // namespace plat
