#include "RefusedLinks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {
std::atomic<bool> gRefuse{false};
std::atomic<int> gRefused{0};
std::atomic<bool> gRenamesOverFiles{true};

bool Refuse(int e) {
  if (!gRefuse.load()) return false;
  ++gRefused;
  errno = e;
  return true;
}
}  // namespace

extern "C" {
int __real_renameat2(int, const char*, int, const char*, unsigned);
int __real_renameat(int, const char*, int, const char*);
int __real_link(const char*, const char*);
int __real_linkat(int, const char*, int, const char*, int);

int __wrap_renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
  if (flags != 0 && Refuse(EINVAL)) return -1;
  return __real_renameat2(fromDir, from, toDir, to, flags);
}
// FUSE FAT drivers stamp a file renamed over another with the time of the rename (in FAT's steps
// of two seconds): the moved file's last write moves on.
int __wrap_renameat(int fromDir, const char* from, int toDir, const char* to) {
  struct stat over;
  const bool replacing = gRefuse.load() && ::fstatat(toDir, to, &over, AT_SYMLINK_NOFOLLOW) == 0;
  if (replacing && !gRenamesOverFiles.load() && Refuse(EPERM)) return -1;
  const int r = __real_renameat(fromDir, from, toDir, to);
  struct stat moved;
  if (r == 0 && replacing && ::fstatat(toDir, to, &moved, AT_SYMLINK_NOFOLLOW) == 0) {
    const timespec times[2] = {{0, UTIME_OMIT}, {moved.st_mtim.tv_sec + 2, 0}};
    ::utimensat(toDir, to, times, AT_SYMLINK_NOFOLLOW);
  }
  return r;
}
int __wrap_link(const char* from, const char* to) { return Refuse(EPERM) ? -1 : __real_link(from, to); }
int __wrap_linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
  return Refuse(EPERM) ? -1 : __real_linkat(fromDir, from, toDir, to, flags);
}
}

RefusedLinks::RefusedLinks(bool renamesOverFiles) {
  gRenamesOverFiles = renamesOverFiles;
  gRefused = 0;
  gRefuse = true;
}
RefusedLinks::~RefusedLinks() { gRefuse = false; }
int RefusedLinks::Refused() const { return gRefused.load(); }
