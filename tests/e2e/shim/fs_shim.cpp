// Preloaded into the program by whole-program tests (LD_PRELOAD) to give it a file system as a
// studio may have one, which no test machine mounts without root:
//   SOLVANE_FS_REFUSE_LINKS=1  renames with a flag (no-replace, exchange) fail with EINVAL and
//                              hard links with EPERM, as on FAT, many FUSE file systems and some
//                              network shares;
//   SOLVANE_FS_HOLD=<name>, SOLVANE_FS_HOLD_GATE=<fifo>
//                              the first rename or link to a file called <name> waits, after
//                              making <fifo>.held, until a byte is written into <fifo>: the test
//                              acts at that exact moment of a save (another deck saves, a file is
//                              written at the name, the program is killed).
// Every other call goes to the C library as it is.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

template <typename F>
F Real(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

bool Refusing() {
  const char* v = ::getenv("SOLVANE_FS_REFUSE_LINKS");
  return v && v[0] == '1';
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

}  // namespace

extern "C" {

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags) {
  static const auto real = Real<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
  HoldBefore(to);
  if (flags != 0 && Refusing()) {
    errno = EINVAL;
    return -1;
  }
  return real(fromDir, from, toDir, to, flags);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  static const auto real = Real<int (*)(int, const char*, int, const char*)>("renameat");
  HoldBefore(to);
  return real(fromDir, from, toDir, to);
}

int rename(const char* from, const char* to) {
  static const auto real = Real<int (*)(const char*, const char*)>("rename");
  HoldBefore(to);
  return real(from, to);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
  static const auto real = Real<int (*)(int, const char*, int, const char*, int)>("linkat");
  HoldBefore(to);
  if (Refusing()) {
    errno = EPERM;
    return -1;
  }
  return real(fromDir, from, toDir, to, flags);
}

int link(const char* from, const char* to) {
  static const auto real = Real<int (*)(const char*, const char*)>("link");
  HoldBefore(to);
  if (Refusing()) {
    errno = EPERM;
    return -1;
  }
  return real(from, to);
}
}
