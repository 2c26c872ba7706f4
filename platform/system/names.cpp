#include "platform/system/names.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

#include "platform/system/files.h"
#include "platform/system/held_paths.h"

namespace plat {

namespace {

// A file system that cannot refuse in a rename says so with these (FUSE, NFS, some shares).
bool RenameFlagRefused(int e) { return e == EINVAL || e == ENOSYS || e == EOPNOTSUPP || e == ENOTSUP; }
// One without hard links: FAT says EPERM, FUSE and shares ENOSYS or EOPNOTSUPP.
bool LinkRefused(int e) { return e == EPERM || e == ENOSYS || e == EOPNOTSUPP || e == ENOTSUP || e == EINVAL; }

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= size_t(w);
  }
  return true;
}

// The name taken by an exclusive create, which makes it ours. Where a plain rename may replace a
// file, from itself then takes the place of the empty file made, so the name never holds a part of
// from (a save killed while copying would leave one there). Else from's bytes are written into it
// and from is removed: the file made is ours until it is complete, and a failed copy removes it,
// unless another file stands there by then.
bool TakeByExclusiveCreate(int fromDir, const std::string& from, int toDir, const std::string& to) {
  const int in = ::openat(fromDir, from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    errno = EINVAL;
    return false;
  }
  const mode_t mode = st.st_mode & 07777;
  // Made for its owner alone until it has from's group: a rename keeps a file's group as well as
  // its mode, and the group's bits must never reach another group (the creator's, in a folder
  // that is group-writable but not setgid).
  const int out = ::openat(toDir, to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & S_IRWXU);
  if (out < 0) {
    const int e = errno;
    ::close(in);
    errno = e;
    return false;
  }
  const auto ours = [&] {
    struct stat made, there;
    return ::fstat(out, &made) == 0 && ::fstatat(toDir, to.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
           made.st_dev == there.st_dev && made.st_ino == there.st_ino;
  };
  if (ours() && ::renameat(fromDir, from.c_str(), toDir, to.c_str()) == 0) {
    ::close(in);
    ::close(out);
    return true;
  }
  struct stat made;
  const bool grouped = ::fstat(out, &made) == 0 && (made.st_gid == st.st_gid || ::fchown(out, uid_t(-1), st.st_gid) == 0);
  // The umask took bits the file had; a file system without modes refuses.
  ::fchmod(out, grouped ? mode : mode & ~mode_t(S_IRWXG));
  bool ok = true;
  std::vector<char> buf(size_t(1) << 16);
  for (;;) {
    const ssize_t r = ::read(in, buf.data(), buf.size());
    if (r < 0 && errno == EINTR) continue;
    if (r == 0) break;
    if (r < 0 || !WriteAll(out, buf.data(), size_t(r))) {
      ok = false;
      break;
    }
  }
  int e = errno;
  ::close(in);
  if (ok && ::fsync(out) != 0) ok = false, e = errno;
  const bool stillOurs = ours();
  if (::close(out) != 0 && ok) ok = false, e = errno;
  if (!ok) {
    if (stillOurs) ::unlinkat(toDir, to.c_str(), 0);
    errno = e;
    return false;
  }
  ::unlinkat(fromDir, from.c_str(), 0);
  return true;
}

}  // namespace

bool RenameNoReplaceAt(int fromDir, const std::string& from, int toDir, const std::string& to) {
  if (::renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (!RenameFlagRefused(errno)) return false;
  if (::linkat(fromDir, from.c_str(), toDir, to.c_str(), 0) == 0) {
    ::unlinkat(fromDir, from.c_str(), 0);
    return true;
  }
  if (!LinkRefused(errno)) return false;
  return TakeByExclusiveCreate(fromDir, from, toDir, to);
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  const AtPath a(from), b(to);
  return RenameNoReplaceAt(a.Dir(), a.Name(), b.Dir(), b.Name());
}

NameRefusal JudgeNameRefusal(int dir, const std::string& name, int error) {
  if (error != EPERM && error != EACCES) return NameRefusal::NotTheName;
  // No file can stand at a name longer than the folder's names may be.
  const long longest = ::fpathconf(dir, _PC_NAME_MAX);
  if (longest > 0 && name.size() > size_t(longest)) return NameRefusal::TooLong;
  struct stat st;
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return NameRefusal::NotTheName;
  if (errno == ENAMETOOLONG) return NameRefusal::TooLong;
  return errno == ENOENT ? NameRefusal::Unsaid : NameRefusal::NotTheName;
}

namespace {

FileIdentity IdentityOf(const struct stat& st) {
  FileIdentity id;
  id.exists = true;
  id.replaceable = S_ISREG(st.st_mode) || S_ISLNK(st.st_mode);
  id.device = uint64_t(st.st_dev);
  id.inode = uint64_t(st.st_ino);
  id.size = int64_t(st.st_size);
  id.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + int64_t(st.st_mtim.tv_nsec);
  return id;
}

// A new file named prefix and six random characters in dir (prefix may hold folders), open for
// writing with mode; its descriptor (name set), or -1.
int CreateUniqueAt(int dir, const std::string& prefix, std::string& name, mode_t mode) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = prefix;
    for (int i = 0; i < 6; ++i) candidate += kChars[random() % (sizeof kChars - 1)];
    const int fd = ::openat(dir, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) {
      name = candidate;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Swaps the names from and to, where the file system can.
bool Exchange(int fromDir, const std::string& from, int toDir, const std::string& to) {
  return ::renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_EXCHANGE) == 0;
}

// Without a swap: the file at to is judged, goes aside to a name of our own, and only the agreed
// file makes room; any other goes back. Where it went it is judged again as the same file (its
// device, inode and size): some file systems (FUSE FAT drivers) stamp a file renamed over another
// with the time of the rename. Should the name be taken again meanwhile, what was put aside stays
// there, hidden but whole.
bool ReplaceByMovingAside(int fromDir, const std::string& from, int toDir, const std::string& to,
                          const FileIdentity& agreed) {
  const FileIdentity there = IdentifyFileAt(toDir, to);
  if (!there.exists) return RenameNoReplaceAt(fromDir, from, toDir, to);
  if (there != agreed) {
    errno = EEXIST;
    return false;
  }
  std::string aside;
  const int fd = CreateUniqueAt(toDir, ExtractFilePath(to) + "." + ExtractFileName(to) + ".replaced-", aside, 0600);
  if (fd < 0) return false;
  ::close(fd);
  if (::renameat(toDir, to.c_str(), toDir, aside.c_str()) != 0) {
    const int e = errno;
    ::unlinkat(toDir, aside.c_str(), 0);
    if (e == ENOENT) return RenameNoReplaceAt(fromDir, from, toDir, to);
    errno = e;
    return false;
  }
  const FileIdentity moved = IdentifyFileAt(toDir, aside);
  if (moved.device != agreed.device || moved.inode != agreed.inode || moved.size != agreed.size) {
    RenameNoReplaceAt(toDir, aside, toDir, to);
    errno = EEXIST;
    return false;
  }
  if (!RenameNoReplaceAt(fromDir, from, toDir, to)) {
    const int e = errno;
    RenameNoReplaceAt(toDir, aside, toDir, to);
    errno = e;
    return false;
  }
  ::unlinkat(toDir, aside.c_str(), 0);
  return true;
}

}  // namespace

FileIdentity IdentifyFileAt(int dir, const std::string& name) {
  struct stat st;
  if (name.empty() || ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return {};
  return IdentityOf(st);
}

FileIdentity IdentifyFile(const std::string& path) {
  const AtPath at(path);
  return IdentifyFileAt(at.Dir(), at.Name());
}

bool RenameReplacingAt(int fromDir, const std::string& from, int toDir, const std::string& to,
                       const FileIdentity& agreed) {
  // A device node or a FIFO someone agreed to replace (as root, one in /dev) stays where it is.
  if (!agreed.exists || !agreed.replaceable) return RenameNoReplaceAt(fromDir, from, toDir, to);
  if (Exchange(fromDir, from, toDir, to)) {
    // from now names what stood at to.
    if (IdentifyFileAt(fromDir, from) == agreed) {
      ::unlinkat(fromDir, from.c_str(), 0);
      return true;
    }
    // Another file took the name after the agreement: it gets it back.
    if (!Exchange(fromDir, from, toDir, to)) return false;
    errno = EEXIST;
    return false;
  }
  // Nothing at to: the agreed file went, and nothing else is replaced.
  if (errno == ENOENT && !IdentifyFileAt(toDir, to).exists) return RenameNoReplaceAt(fromDir, from, toDir, to);
  if (!RenameFlagRefused(errno)) return false;
  return ReplaceByMovingAside(fromDir, from, toDir, to, agreed);
}

FolderHandle::FolderHandle(const std::string& path) : opened_(IncludeTrailingPathDelimiter(path)) {
  // A held folder is opened through its own descriptor, wherever its name leads now. A folder
  // the account may write into and pass through but not list (a drop folder) is held for its
  // names all the same.
  fd_ = OpenPath(opened_, O_RDONLY | O_DIRECTORY);
  if (fd_ < 0 && errno == EACCES) fd_ = OpenPath(opened_, O_PATH | O_DIRECTORY);
  error_ = fd_ < 0 ? errno : 0;
}

FolderHandle::~FolderHandle() {
  if (fd_ >= 0) ::close(fd_);
}

std::string FolderHandle::Path() const {
  if (fd_ < 0) return opened_;
  char buf[PATH_MAX];
  const std::string link = "/proc/self/fd/" + std::to_string(fd_);
  const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
  if (n <= 0 || buf[0] != '/') return opened_;
  return IncludeTrailingPathDelimiter(std::string(buf, size_t(n)));
}

int CreateUniqueFd(const std::string& folder, const std::string& prefix, std::string& path, unsigned mode) {
  const AtPath at(IncludeTrailingPathDelimiter(folder) + prefix);
  std::string name;
  const int fd = CreateUniqueAt(at.Dir(), at.Name(), name, mode_t(mode));
  if (fd >= 0) path = at.Held() ? IncludeTrailingPathDelimiter(folder) + name : name;
  return fd;
}

int CreateLockedFileAt(int dir, const std::string& prefix, std::string& name) {
  const int fd = CreateUniqueAt(dir, prefix, name, 0600);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::unlinkat(dir, name.c_str(), 0);
    ::close(fd);
    return -1;
  }
  return fd;
}

CopyEnd CopyToWorkFile(const std::string& source, int dir, const std::string& prefix, size_t block,
                       const std::function<void(int64_t total)>& onSize,
                       const std::function<bool(int64_t done)>& onBlock, std::string& name, int& fd) {
  fd = -1;
  SmallRead why;
  const int in = OpenRegularFile(source, O_RDONLY, why);
  if (in < 0) return CopyEnd::Failed;
  struct stat st;
  if (::fstat(in, &st) != 0) {
    const int e = errno;
    ::close(in);
    errno = e;
    return CopyEnd::Failed;
  }
  fd = CreateLockedFileAt(dir, prefix, name);
  if (fd < 0) {
    const int e = errno;
    ::close(in);
    errno = e;
    return CopyEnd::Failed;
  }
  // The source's mode, but the copy is always its owner's to write: a cart copied from a read-only
  // file to be edited must still take a recording. In a held folder it is its owner's alone.
  ::fchmod(fd, IsHeldFolder(dir) ? 0600 : (st.st_mode & 07777) | S_IRUSR | S_IWUSR);
  if (onSize) onSize(int64_t(st.st_size));
  bool stopped = false;
  const bool copied = CopyBytes(in, fd, [&](int64_t done) { return !(stopped = onBlock && !onBlock(done)); }, block);
  const int e = errno;
  ::close(in);
  if (stopped) return CopyEnd::Stopped;
  errno = e;
  // The copy must be on the disk before it takes a name.
  return copied && ::fsync(fd) == 0 ? CopyEnd::Done : CopyEnd::Failed;
}

int RemoveAbandonedFiles(int dir, const std::string& prefix) {
  const int listFd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return 0;
  DIR* d = ::fdopendir(listFd);
  if (!d) {
    ::close(listFd);
    return 0;
  }
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d))
    if (std::string n = e->d_name; n.size() > prefix.size() && n.compare(0, prefix.size(), prefix) == 0)
      names.push_back(n);
  ::closedir(d);
  int removed = 0;
  const int64_t now = int64_t(::time(nullptr));
  for (const std::string& n : names) {
    // Opening never blocks (a FIFO planted at the name) and never follows a link.
    const int fd = ::openat(dir, n.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    const bool abandoned = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                           now - int64_t(st.st_mtim.tv_sec) >= AbandonedAfterSeconds &&
                           ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    // Still the same file at the name, so only the one judged goes.
    if (abandoned && IdentifyFileAt(dir, n) == IdentityOf(st) && ::unlinkat(dir, n.c_str(), 0) == 0) ++removed;
    ::close(fd);
  }
  return removed;
}

}  // namespace plat
