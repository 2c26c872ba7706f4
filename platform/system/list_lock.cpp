#include "platform/system/list_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system/clock.h"
#include "platform/system/files.h"

namespace plat {

namespace {

// Whether the name still leads to the file open at fd.
bool StillAtName(int fd, const std::string& path) {
  struct stat open, named;
  return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

}  // namespace

ListLock::ListLock(const std::string& listPath, int64_t patienceMs) {
  const int64_t deadline = MicroSeconds() + patienceMs * 1000;
  for (;;) {
    // Opened for writing, as a write lock needs (also where NFS stands in for it), as every list
    // file is opened: nothing at the name waited on, no link the INI writer would not follow.
    SmallRead refused;
    fd_ = OpenRegularFile(listPath, O_RDWR, refused);
    if (fd_ < 0) return;
    bool locked;
    while (!(locked = LockRange(fd_, 0, 0, true))) {
      const int e = errno;
      if (e != EAGAIN && e != EACCES && e != EINTR) break;  // the file system takes no locks
      if (MicroSeconds() >= deadline) {
        state_ = Busy;
        break;
      }
      if (e != EINTR) SleepMs(5);
    }
    if (locked && StillAtName(fd_, listPath)) {
      state_ = Held;
      return;
    }
    ::close(fd_);
    fd_ = -1;
    if (!locked) return;
    // The save that held the lock put another file at the name: that one is locked now.
    if (MicroSeconds() >= deadline) {
      state_ = Busy;
      return;
    }
  }
}

ListLock::~ListLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace plat
