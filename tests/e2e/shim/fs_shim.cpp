// Preloaded into the program by whole-program tests (LD_PRELOAD) to give it a file system as a
// studio may have one, which no test machine mounts without root:
//   SOLVANE_FS_REFUSE_LINKS=1  renames with a flag (no-replace, exchange) fail with EINVAL and
//                              hard links with EPERM, as on FAT, many FUSE file systems and some
//                              network shares; and, as a FUSE FAT driver does, a file is neither
//                              created nor renamed under a name with a character FAT cannot hold
//                              or longer than 255 bytes (EPERM);
//   SOLVANE_FS_HOLD=<name>, SOLVANE_FS_HOLD_GATE=<fifo>
//                              the first rename or link to a file called <name> waits, after
//                              making <fifo>.held, until a byte is written into <fifo>: the test
//                              acts at that exact moment of a save (another deck saves, a file is
//                              written at the name, the program is killed).
//   SOLVANE_FS_STALL=<name>, SOLVANE_FS_STALL_FLAG=<path>
//                              while a file stands at <path>, every read (pread) of a file called
//                              <name> waits, after making <path>.held, as on a disk that answers
//                              nothing: a share or a USB disk that hangs.
// Every other call goes to the C library as it is.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

template <typename F>
F Real(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

bool Refusing() {
  const char* v = ::getenv("SOLVANE_FS_REFUSE_LINKS");
  return v && v[0] == '1';
}

int Refuse() {
  errno = EPERM;
  return -1;
}

// Whether from and the folder of to lie on two file systems: the kernel says so (EXDEV) before it
// asks a file system anything, so such a call goes to it as it is.
bool CrossDevice(int fromDir, const char* from, int toDir, const char* to) {
  const auto device = [](int dir, const char* path) {
    std::string folder = path;
    const size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    struct stat st;
    return ::fstatat(dir, folder.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? st.st_dev : dev_t(-1);
  };
  return device(fromDir, from) != device(toDir, to);
}

// A name a FUSE FAT driver refuses with EPERM, where refusing.
bool RefusedName(const char* path) {
  if (!Refusing() || !path) return false;
  const char* base = ::strrchr(path, '/');
  base = base ? base + 1 : path;
  if (::strlen(base) > 255) return true;
  for (const char* c = base; *c; ++c)
    if (static_cast<unsigned char>(*c) < 0x20 || ::strchr("\"*:<>?\\|", *c)) return true;
  return false;
}

void HoldBefore(const char* to) {
  static bool held = false;
  const char* name = ::getenv("SOLVANE_FS_HOLD");
  const char* gate = ::getenv("SOLVANE_FS_HOLD_GATE");
  if (held || !name || !gate || !to) return;
  const char* base = ::strrchr(to, '/');
  base = base ? base + 1 : to;
  if (::strcmp(base, name) != 0) return;
  held = true;
  const int e = errno;
  char told[4096];
  ::snprintf(told, sizeof told, "%s.held", gate);
  int fd = ::open(told, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd >= 0) ::close(fd);
  fd = ::open(gate, O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char c;
    while (::read(fd, &c, 1) < 0 && errno == EINTR) {
    }
    ::close(fd);
  }
  errno = e;
}

// Whether the file open at fd is called name (its last path component).
bool Called(int fd, const char* name) {
  char link[64], path[4096];
  ::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = ::readlink(link, path, sizeof path - 1);
  if (n <= 0) return false;
  path[n] = '\0';
  const char* base = ::strrchr(path, '/');
  return ::strcmp(base ? base + 1 : path, name) == 0;
}

void StallRead(int fd) {
  const char* name = ::getenv("SOLVANE_FS_STALL");
  const char* flag = ::getenv("SOLVANE_FS_STALL_FLAG");
  if (!name || !flag || ::access(flag, F_OK) != 0 || !Called(fd, name)) return;
  const int e = errno;
  char told[4096];
  ::snprintf(told, sizeof told, "%s.held", flag);
  const int t = ::open(told, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (t >= 0) ::close(t);
  while (::access(flag, F_OK) == 0) ::usleep(10000);
  errno = e;
}

}  // namespace

// The mode an open call carries after its flags, only when it creates (O_TMPFILE holds
// O_DIRECTORY's bit: only all of its bits say so).
#define MODE_ARGUMENT(flags, mode)                                 \
  mode_t mode = 0;                                                 \
  if (((flags) & O_CREAT) || ((flags) & O_TMPFILE) == O_TMPFILE) { \
    va_list args;                                                  \
    va_start(args, flags);                                         \
    mode = mode_t(va_arg(args, unsigned int));                     \
    va_end(args);                                                  \
  }

extern "C" {

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags) {
  static const auto real = Real<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
  HoldBefore(to);
  if (Refusing() && CrossDevice(fromDir, from, toDir, to)) return real(fromDir, from, toDir, to, flags);
  if (flags != 0 && Refusing()) {
    errno = EINVAL;
    return -1;
  }
  if (RefusedName(to)) return Refuse();
  return real(fromDir, from, toDir, to, flags);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  static const auto real = Real<int (*)(int, const char*, int, const char*)>("renameat");
  HoldBefore(to);
  if (RefusedName(to)) return Refuse();
  return real(fromDir, from, toDir, to);
}

int rename(const char* from, const char* to) {
  static const auto real = Real<int (*)(const char*, const char*)>("rename");
  HoldBefore(to);
  if (RefusedName(to)) return Refuse();
  return real(from, to);
}

int openat(int dir, const char* path, int flags, ...) {
  static const auto real = Real<int (*)(int, const char*, int, ...)>("openat");
  MODE_ARGUMENT(flags, mode);
  if ((flags & O_CREAT) && RefusedName(path) && ::faccessat(dir, path, F_OK, AT_SYMLINK_NOFOLLOW) != 0)
    return Refuse();
  return real(dir, path, flags, mode);
}

int open(const char* path, int flags, ...) {
  MODE_ARGUMENT(flags, mode);
  return openat(AT_FDCWD, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  MODE_ARGUMENT(flags, mode);
  return openat(dir, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  MODE_ARGUMENT(flags, mode);
  return openat(AT_FDCWD, path, flags, mode);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
  static const auto real = Real<int (*)(int, const char*, int, const char*, int)>("linkat");
  HoldBefore(to);
  if (Refusing() && !CrossDevice(fromDir, from, toDir, to)) return Refuse();
  return real(fromDir, from, toDir, to, flags);
}

int link(const char* from, const char* to) {
  static const auto real = Real<int (*)(const char*, const char*)>("link");
  HoldBefore(to);
  if (Refusing() && !CrossDevice(AT_FDCWD, from, AT_FDCWD, to)) return Refuse();
  return real(from, to);
}

ssize_t pread(int fd, void* buf, size_t n, off_t offset) {
  static const auto real = Real<ssize_t (*)(int, void*, size_t, off_t)>("pread");
  StallRead(fd);
  return real(fd, buf, n, offset);
}

ssize_t pread64(int fd, void* buf, size_t n, off_t offset) {
  static const auto real = Real<ssize_t (*)(int, void*, size_t, off_t)>("pread64");
  StallRead(fd);
  return real(fd, buf, n, offset);
}
}
