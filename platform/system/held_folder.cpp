#include "platform/system/held_folder.h"

#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/system/files.h"
#include "platform/system/held_paths.h"

namespace plat {

HeldFolder::Descriptor::~Descriptor() {
  if (fd >= 0) ::close(fd);
}

namespace {

// The held folders of the process by their absolute path (with a trailing "/").
std::mutex heldLock;
std::map<std::string, std::shared_ptr<HeldFolder::Descriptor>> held;
std::atomic<int> heldCount{0};

std::string KeyOf(const std::string& folder) { return IncludeTrailingPathDelimiter(ExpandFileName(folder)); }

// A descriptor closed when it goes out of scope.
class Fd {
public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }
  int Take() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

private:
  int fd_;
};

// Where a descriptor's folder really is (what the kernel says), with a trailing "/".
std::string RealPathOf(int fd, const std::string& fallback) {
  char buf[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
  if (n <= 0) return fallback;
  return IncludeTrailingPathDelimiter(std::string(buf, size_t(n)));
}

std::string OwnerName(uid_t uid) {
  passwd pw{}, *found = nullptr;
  std::vector<char> buf(16384);
  if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_name)
    return found->pw_name;
  return "user ID " + std::to_string(uid);
}

FolderVerdict Fault(FolderFault fault, const std::string& culprit, std::string reason = {}) {
  FolderVerdict v;
  v.fault = fault;
  v.culprit = IncludeTrailingPathDelimiter(culprit);
  v.reason = std::move(reason);
  return v;
}

// The process that holds the BSD lock of what st describes, as the kernel lists the locks of every
// process (device and inode), so that another account's lock is seen without taking it: its process
// ID, 0 for one in another PID namespace, -1 when none holds it.
long LockHolder(const struct stat& st) {
  std::string locks;
  if (!ReadWholeFile("/proc/locks", locks)) return -1;
  std::istringstream lines(locks);
  for (std::string line; std::getline(lines, line);) {
    if (line.find(" FLOCK ") == std::string::npos) continue;
    std::istringstream fields(line);
    std::string before;
    for (std::string field; fields >> field; before = field) {
      unsigned devMajor = 0, devMinor = 0;
      uintmax_t inode = 0;
      char end = 0;
      if (std::count(field.begin(), field.end(), ':') == 2 &&
          std::sscanf(field.c_str(), "%x:%x:%ju%c", &devMajor, &devMinor, &inode, &end) == 3 &&
          devMajor == major(st.st_dev) && devMinor == minor(st.st_dev) && inode == uintmax_t(st.st_ino))
        return std::max(0L, std::strtol(before.c_str(), nullptr, 10));
    }
  }
  return -1;
}

bool Locked(const struct stat& st) { return LockHolder(st) >= 0; }

// Whether the process has ended but for a thread the system still holds (in a read or write a disk
// does not answer): its main thread is gone, another is not, and what it has open stays open.
bool EndedButHeld(long pid) {
  if (pid <= 0) return false;
  std::string stat;
  if (!ReadWholeFile("/proc/" + std::to_string(pid) + "/stat", stat)) return false;
  const size_t paren = stat.rfind(')');
  if (paren == std::string::npos || paren + 2 >= stat.size() || stat[paren + 2] != 'Z') return false;
  std::string threads;
  return ReadWholeFile("/proc/" + std::to_string(pid) + "/status", threads) &&
         threads.find("\nThreads:\t1\n") == std::string::npos;
}

FolderVerdict TheirsFault(const std::string& culprit, const struct stat& st) {
  FolderVerdict v = Fault(FolderFault::Theirs, culprit);
  v.owner = OwnerName(st.st_uid);
  v.live = S_ISDIR(st.st_mode) && Locked(st);
  return v;
}

// Whether another account could move a folder inside the one st describes: it belongs to another
// account (its owner can always give itself the right), or another account may write to it (the
// group or an ACL shows in the group bits) and it is not sticky.
FolderVerdict JudgeAbove(const struct stat& st, int fd) {
  if (!TrustedOwner(st.st_uid)) return TheirsFault(RealPathOf(fd, "?"), st);
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0)
    return Fault(FolderFault::Movable, RealPathOf(fd, "?"));
  return {};
}

// Judges the folders above fd (and fd's own folder with self), up to the root, by their
// descriptors, not by a path's spelling.
FolderVerdict JudgeChain(int fd, bool self) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return Fault(FolderFault::CannotMake, RealPathOf(fd, "?"), std::strerror(errno));
  if (self)
    if (FolderVerdict v = JudgeAbove(st, fd); !v.Held()) return v;
  Fd cur;
  int at = fd;
  for (int guard = 0; guard < 4096; ++guard) {
    Fd up(::openat(at, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat ust {};
    if (up.Get() < 0 || ::fstat(up.Get(), &ust) != 0)
      return Fault(FolderFault::CannotMake, RealPathOf(at, "?"), std::strerror(errno));
    if (ust.st_dev == st.st_dev && ust.st_ino == st.st_ino) return {};  // the root
    if (FolderVerdict v = JudgeAbove(ust, up.Get()); !v.Held()) return v;
    st = ust;
    cur.Reset(up.Take());
    at = cur.Get();
  }
  return Fault(FolderFault::CannotMake, RealPathOf(fd, "?"), std::strerror(ELOOP));
}

// A level we made gets mode 0700 whatever the umask took away. Through the descriptor's own entry
// in /proc, so that nothing put at its name meanwhile is changed instead.
void MakeOwnerOnly(int pathFd) {
  struct stat st {};
  if (::fstat(pathFd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & 07777) == 0700) return;
  const std::string self = "/proc/self/fd/" + std::to_string(pathFd);
  ::chmod(self.c_str(), 0700);
}

// Whether a link on the way to dir belongs to another account (neither this one nor root): whoever
// owns it chooses where the path leads, and so which folder of ours would be taken, emptied at
// every Eject, for the temporary folder. Each level is looked at as the system reaches it, up to the
// first that is not there (the rest is made without following a link); the folder's own name is
// judged when it is opened.
FolderVerdict JudgeLinks(const std::string& dir) {
  for (size_t end = dir.find('/', 1); end != std::string::npos && end < dir.size(); end = dir.find('/', end + 1)) {
    if (dir[end - 1] == '/') continue;
    const std::string level = dir.substr(0, end);
    struct stat st {};
    if (::lstat(level.c_str(), &st) != 0) return {};
    if (S_ISLNK(st.st_mode) && !TrustedOwner(st.st_uid)) return TheirsFault(level, st);
  }
  return {};
}

// The path still leads to the folder opened: nothing was put on the way, or taken away, meanwhile.
bool LeadsTo(const std::string& dir, int fd) {
  struct stat a {}, b {};
  return ::stat(dir.c_str(), &a) == 0 && ::fstat(fd, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Makes the missing levels of dir, each 0700, below the nearest one that can be opened. That one and
// every folder above it is judged first, and each level below it before anything is made in it; a
// level that may not be entered is told by its owner.
FolderVerdict MakeLevels(const std::string& dir) {
  std::vector<std::string> below;
  std::string top = dir;
  Fd base;
  for (int guard = 0; guard < 4096 && base.Get() < 0; ++guard) {
    base.Reset(::open(top.empty() ? "." : top.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (base.Get() >= 0) break;
    // ENOTDIR: something other than a folder on the way, judged by its owner where it stands.
    if ((errno != ENOENT && errno != EACCES && errno != ENOTDIR) || top.empty() || top == "/")
      return Fault(FolderFault::CannotMake, top, std::strerror(errno));
    below.push_back(ExtractFileName(top));
    top = ExtractFileDir(top);
  }
  if (base.Get() < 0) return Fault(FolderFault::CannotMake, dir, std::strerror(ELOOP));
  if (FolderVerdict v = JudgeChain(base.Get(), true); !v.Held()) return v;
  for (auto name = below.rbegin(); name != below.rend(); ++name) {
    const std::string shown = RealPathOf(base.Get(), top + "/") + *name;
    const bool made = ::mkdirat(base.Get(), name->c_str(), 0700) == 0;
    if (!made && errno != EEXIST) return Fault(FolderFault::CannotMake, shown, std::strerror(errno));
    Fd next(::openat(base.Get(), name->c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (next.Get() < 0) {
      const int err = errno;
      if (::fstatat(base.Get(), name->c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !TrustedOwner(st.st_uid))
        return TheirsFault(shown, st);
      return Fault(FolderFault::CannotMake, shown, std::strerror(err));
    }
    if (made) MakeOwnerOnly(next.Get());
    if (::fstat(next.Get(), &st) != 0) return Fault(FolderFault::CannotMake, shown, std::strerror(errno));
    if (FolderVerdict v = JudgeAbove(st, next.Get()); !v.Held() && std::next(name) != below.rend()) return v;
    base.Reset(next.Take());
  }
  return {};
}

// Opens the folder at dir without following a link at its name, making it (and the levels above
// it) when missing. One that cannot be opened is told by what is wrong with it or above it.
FolderVerdict OpenFolder(const std::string& dir, const std::string& shown, Fd& fd) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    fd.Reset(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.Get() >= 0) return {};
    const int err = errno;
    struct stat st {};
    const bool there = ::lstat(dir.c_str(), &st) == 0;
    // What another account put at the name (a link, a file, a folder) is theirs to remove, not ours.
    if (there && S_ISLNK(st.st_mode)) return TrustedOwner(st.st_uid) ? Fault(FolderFault::Link, shown) : TheirsFault(shown, st);
    if (there && st.st_uid != ::geteuid()) return TheirsFault(shown, st);
    if (there && !S_ISDIR(st.st_mode)) return Fault(FolderFault::CannotMake, shown, std::strerror(ENOTDIR));
    if (FolderVerdict v = MakeLevels(dir); !v.Held()) return v;
    if (err != ENOENT) return Fault(FolderFault::CannotMake, shown, std::strerror(err));
  }
  return Fault(FolderFault::CannotMake, shown, std::strerror(ENOENT));
}

// The folder itself: this account's, and no one else's to write to; one others may read (an older
// run's, made with the umask's modes) is made ours alone, through the descriptor.
FolderVerdict JudgeOwn(int fd, const std::string& shown) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return Fault(FolderFault::CannotMake, shown, std::strerror(errno));
  if (st.st_uid != ::geteuid()) return TheirsFault(shown, st);
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return Fault(FolderFault::OpenToOthers, shown);
  if ((st.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) return Fault(FolderFault::OpenToOthers, shown);
  return {};
}

}  // namespace

AtPath::AtPath(const std::string& path) : name_(path) {
  if (heldCount.load() == 0 || path.empty()) return;
  const std::string full = ExcludeTrailingPathDelimiter(ExpandFileName(path));
  std::lock_guard<std::mutex> g(heldLock);
  if (auto self = held.find(IncludeTrailingPathDelimiter(full)); self != held.end()) {
    held_ = self->second;
    name_ = ".";
  } else if (auto in = held.find(ExtractFilePath(full)); in != held.end()) {
    held_ = in->second;
    name_ = ExtractFileName(full);
  }
}

int AtPath::Dir() const { return held_ ? held_->fd : AT_FDCWD; }
int AtPath::OpenNoFollow() const { return held_ ? O_NOFOLLOW : 0; }
int AtPath::StatNoFollow() const { return held_ ? AT_SYMLINK_NOFOLLOW : 0; }

int OpenAt(const AtPath& at, int flags, unsigned mode) {
  flags |= O_CLOEXEC | at.OpenNoFollow();
  if (!at.Held() || (flags & O_PATH)) return ::openat(at.Dir(), at.Name(), flags, mode_t(mode));
  // Without blocking, so that a FIFO or a device put at a name is never waited on: only a file or
  // a folder is opened there, and nothing is read from or written into anything else.
  const int fd = ::openat(at.Dir(), at.Name(), (flags & ~O_TRUNC) | O_NONBLOCK, mode_t(mode));
  if (fd < 0) return fd;
  const bool writing = (flags & O_ACCMODE) != O_RDONLY;
  struct stat st {};
  int err = 0;
  if (::fstat(fd, &st) != 0) err = errno;
  else if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) err = ENXIO;
  else if (writing && S_ISREG(st.st_mode) && st.st_nlink > 1) err = EMLINK;
  else if (writing && (flags & O_TRUNC) && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) err = errno;
  // A file made here, or made anew, is the account's alone to read and write whatever the umask
  // gave it (0644 under 022, 0400 under 0277, which would keep a take cut short from being finished).
  else if (writing && (flags & (O_CREAT | O_TRUNC)) && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)
    err = errno;
  else if (!(flags & O_NONBLOCK) && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) err = errno;
  if (err == 0) return fd;
  ::close(fd);
  errno = err;
  return -1;
}

bool IsHeldFolder(int dir) {
  struct stat st {}, h {};
  if (heldCount.load() == 0 || ::fstat(dir, &st) != 0) return false;
  std::lock_guard<std::mutex> g(heldLock);
  for (const auto& [key, d] : held)
    if (::fstat(d->fd, &h) == 0 && h.st_dev == st.st_dev && h.st_ino == st.st_ino) return true;
  return false;
}

HeldFolder::~HeldFolder() { Release(); }

FolderVerdict HeldFolder::Hold(const std::string& path) {
  Release();
  shared_ = false;
  return Take(path);
}

FolderVerdict HeldFolder::HoldShared(const std::string& path) {
  Release();
  shared_ = true;
  return Take(path);
}

FolderVerdict HeldFolder::HoldNew(const std::string& parent, const std::string& prefix) {
  Release();
  shared_ = false;
  const std::string dir = IncludeTrailingPathDelimiter(parent);
  // Every level on the way, parent's own name included, before it is opened.
  if (FolderVerdict v = JudgeLinks(dir + prefix); !v.Held()) return v;
  Fd at(::open(ExcludeTrailingPathDelimiter(dir).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (at.Get() < 0) return Fault(FolderFault::CannotMake, dir, std::strerror(errno));
  if (FolderVerdict v = JudgeChain(at.Get(), true); !v.Held()) return v;
  // Made in the folder that was judged, whatever its name leads to meanwhile.
  std::string made = "/proc/self/fd/" + std::to_string(at.Get()) + "/" + prefix + "XXXXXX";
  if (!::mkdtemp(made.data())) return Fault(FolderFault::CannotMake, dir, std::strerror(errno));
  const std::string name = ExtractFileName(made);
  ::fchmodat(at.Get(), name.c_str(), 0700, 0);  // the umask may have taken the owner's rights
  FolderVerdict v = Take(dir + name);
  if (!v.Held()) ::unlinkat(at.Get(), name.c_str(), AT_REMOVEDIR);
  return v;
}

void HeldFolder::Share() {
  if (fd_ && !shared_ && ::flock(fd_->fd, LOCK_SH | LOCK_NB) == 0) shared_ = true;
}

FolderVerdict HeldFolder::Take(const std::string& path) {
  path_ = IncludeTrailingPathDelimiter(path);
  const std::string dir = ExcludeTrailingPathDelimiter(path);
  if (dir.empty() || dir == "/") return Fault(FolderFault::CannotMake, path_, std::strerror(EINVAL));
  if (FolderVerdict v = JudgeLinks(dir); !v.Held()) return v;
  Fd fd;
  if (FolderVerdict v = OpenFolder(dir, path_, fd); !v.Held()) return v;
  // Judged again once open: a link put on the way while it was opened, and taken away since.
  if (FolderVerdict v = JudgeLinks(dir); !v.Held()) return v;
  if (!LeadsTo(dir, fd.Get())) return Fault(FolderFault::CannotMake, path_, "It was moved while it was being opened.");
  if (FolderVerdict v = JudgeOwn(fd.Get(), path_); !v.Held()) return v;
  if (FolderVerdict v = JudgeChain(fd.Get(), false); !v.Held()) return v;
  if (::flock(fd.Get(), (shared_ ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) return Fault(FolderFault::CannotMake, path_, std::strerror(errno));
    FolderVerdict v = Fault(FolderFault::InUse, path_);
    struct stat st {};
    v.ended = ::fstat(fd.Get(), &st) == 0 && EndedButHeld(LockHolder(st));
    return v;
  }
  Release();
  fd_ = std::make_shared<Descriptor>(fd.Take());
  key_ = KeyOf(path_);
  std::lock_guard<std::mutex> g(heldLock);
  held[key_] = fd_;
  heldCount = int(held.size());
  return {};
}

bool HeldFolder::Gone() const {
  struct stat st {};
  return fd_ && ::fstat(fd_->fd, &st) == 0 && st.st_nlink == 0;
}

FolderVerdict HeldFolder::Rehold() {
  if (IsHeld() && !Gone()) return {};
  // The folder gone stays held until another is: what is asked of a path in it meanwhile fails there,
  // and never goes by the path to wherever it leads now.
  return Take(path_);
}

HeldFile::~HeldFile() { Release(); }

bool HeldFile::Hold(const std::string& path) {
  Release();
  fd_ = OpenPath(path, O_RDONLY | O_NONBLOCK);
  return fd_ >= 0;
}

bool HeldFile::Removed() const {
  struct stat st {};
  return fd_ >= 0 && ::fstat(fd_, &st) == 0 && st.st_nlink == 0;
}

bool HeldFile::At(const std::string& path) const {
  const AtPath at(path);
  struct stat mine {}, there {};
  return fd_ >= 0 && ::fstat(fd_, &mine) == 0 && ::fstatat(at.Dir(), at.Name(), &there, at.StatNoFollow()) == 0 &&
         mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
}

int64_t HeldFile::Links() const {
  struct stat st {};
  return fd_ >= 0 && ::fstat(fd_, &st) == 0 ? int64_t(st.st_nlink) : 0;
}

bool HeldFile::WriteOut(const std::string& path) {
  if (fd_ < 0 || ::lseek(fd_, 0, SEEK_SET) != 0) return false;
  const int out = OpenPath(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  if (out < 0) return false;
  // Whatever the umask, the take is its owner's alone to read and write.
  if (CopyBytes(fd_, out) && ::fchmod(out, 0600) == 0 && ::fsync(out) == 0) {
    ::close(fd_);
    fd_ = out;
    return true;
  }
  const int err = errno;
  ::close(out);
  DeleteFile(path);
  errno = err;
  return false;
}

void HeldFile::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void HeldFolder::Release() {
  if (!fd_) return;
  {
    std::lock_guard<std::mutex> g(heldLock);
    if (auto it = held.find(key_); it != held.end() && it->second == fd_) held.erase(it);
    heldCount = int(held.size());
  }
  fd_.reset();
}

}  // namespace plat
