#pragma once
// A file the user may not read. Tests run as root, whom no mode keeps out: the calling thread
// drops its capabilities to override file permissions while fn runs, and takes them back after.
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

template <class F>
void WithFileUnreadable(const std::string& path, F fn) {
  ::chmod(path.c_str(), 0);
  __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct caps[2]{}, saved[2]{};
  const bool dropped = ::syscall(SYS_capget, &head, saved) == 0;
  if (dropped) {
    caps[0] = saved[0];
    caps[1] = saved[1];
    caps[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    ::syscall(SYS_capset, &head, caps);
  }
  fn();
  if (dropped) ::syscall(SYS_capset, &head, saved);
  ::chmod(path.c_str(), 0644);
}
