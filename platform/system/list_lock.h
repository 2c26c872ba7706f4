#pragma once
// The lock that decks sharing a folder (other workstations, other accounts) take around a
// read-change-write of a list file in it, so that two saves never interleave: each reads the file
// as the other left it. It is an open-file-description write lock on the list file itself, so no
// file of its own is left in the folder, and every account that may write the list may take it.
// A save replaces the file by a rename while it holds the lock on the one it replaces; a deck that
// then gets that lock finds another file at the name and locks that one instead. Over NFS and SMB
// the lock is the server's where the mount passes locks on (not "nolock", "local_lock" or
// "nobrl"); a file system that takes no locks at all gives Unlocked, and the caller goes on
// without one.
#include <cstdint>
#include <string>

namespace plat {

class ListLock {
public:
  enum State {
    Held,      // this deck holds the lock until the object goes
    Busy,      // another holder kept it for all of the patience
    Unlocked,  // no lock: nothing (or no regular file) at the name, it may not be written, or
               // the file system takes no locks
  };
  // Takes the lock that guards the list at listPath, trying again for up to patienceMs while
  // another holds it. The wait is short: a save holds it for a few milliseconds.
  explicit ListLock(const std::string& listPath, int64_t patienceMs = 1000);
  ~ListLock();
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
  State Result() const { return state_; }

private:
  int fd_ = -1;
  State state_ = Unlocked;
};

}  // namespace plat
