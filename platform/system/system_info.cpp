#include "platform/system/system_info.h"

#include <linux/magic.h>
#include <pwd.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <vector>

namespace plat {

SystemName KernelName() {
  utsname u{};
  if (::uname(&u) != 0) return {};
  return {u.sysname, u.release, u.machine};
}

int OnlineProcessors() {
  const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? int(n) : 1;
}

std::string HostName() {
  char buf[256] = {};
  if (::gethostname(buf, sizeof buf - 1) != 0) return {};
  return buf;
}

std::string CurrentDirectory() {
  char buf[PATH_MAX];
  if (!::getcwd(buf, sizeof buf)) return {};
  return buf;
}

std::string AccountFullName() {
  passwd pw{}, *found = nullptr;
  std::vector<char> buf(16384);
  if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) != 0 || !found) return {};
  std::string gecos = found->pw_gecos ? found->pw_gecos : "";
  gecos = gecos.substr(0, gecos.find(','));
  if (!gecos.empty()) return gecos;
  return found->pw_name ? found->pw_name : "";
}

VolumeInfo Volume(const std::string& path) {
  VolumeInfo info;
  struct statfs fs {};
  if (::statfs(path.c_str(), &fs) != 0) return info;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case 0xFF534D42UL:  // cifs
    case 0xFE534D42UL:  // smb2
    case CODA_SUPER_MAGIC:
    case 0x65735546UL:  // fuse
      info.kind = VolumeKind::Remote;
      break;
    case ISOFS_SUPER_MAGIC:
    case 0x15013346UL:  // udf
      info.kind = VolumeKind::CdRom;
      break;
    case TMPFS_MAGIC:
    case RAMFS_MAGIC: info.kind = VolumeKind::RamDisk; break;
    default: info.kind = VolumeKind::Fixed;
  }
  struct statvfs vfs {};
  if (::statvfs(path.c_str(), &vfs) == 0) {
    info.freeBytes = int64_t(vfs.f_bavail) * int64_t(vfs.f_frsize);
    info.totalBytes = int64_t(vfs.f_blocks) * int64_t(vfs.f_frsize);
  }
  return info;
}

void WallClock(int64_t& seconds, int& milliseconds) {
  timeval tv{};
  ::gettimeofday(&tv, nullptr);
  seconds = int64_t(tv.tv_sec);
  milliseconds = int(tv.tv_usec / 1000);
}

}  // namespace plat
