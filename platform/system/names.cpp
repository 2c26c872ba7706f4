#include "platform/system/names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

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

// The name made by an exclusive create and written whole, then from removed. The file made is
// ours until it is complete: a failed copy removes it, unless another file stands there by then.
bool TakeByExclusiveCreate(int fromDir, const std::string& from, int toDir, const std::string& to) {
  const int in = ::openat(fromDir, from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    errno = EINVAL;
    return false;
  }
  const mode_t mode = st.st_mode & 07777;
  const int out = ::openat(toDir, to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (out < 0) {
    const int e = errno;
    ::close(in);
    errno = e;
    return false;
  }
  ::fchmod(out, mode);  // the umask took bits the file had; a file system without modes refuses
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
  struct stat made, there;
  const bool ours = ::fstat(out, &made) == 0 && ::fstatat(toDir, to.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
                    made.st_dev == there.st_dev && made.st_ino == there.st_ino;
  if (::close(out) != 0 && ok) ok = false, e = errno;
  if (!ok) {
    if (ours) ::unlinkat(toDir, to.c_str(), 0);
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

}  // namespace plat
