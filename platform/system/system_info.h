#pragma once
// What the system says of itself, the machine and the account the program runs as.
#include <cstdint>
#include <string>

namespace plat {

// The kernel's name of itself, its release and the machine's hardware name; empty when unknown.
struct SystemName {
  std::string system, release, machine;
};
SystemName KernelName();
int OnlineProcessors();  // at least 1
std::string HostName();  // empty when unknown
std::string CurrentDirectory();
// The account's full name (the first field of its comment), else its name; empty when unknown.
std::string AccountFullName();

// What kind of file system holds path.
enum class VolumeKind { None, Fixed, Remote, CdRom, RamDisk };
struct VolumeInfo {
  VolumeKind kind = VolumeKind::None;  // None: there is no such path
  int64_t freeBytes = 0, totalBytes = 0;
};
VolumeInfo Volume(const std::string& path);

// The current time of day: seconds since the epoch and the milliseconds within the second.
void WallClock(int64_t& seconds, int& milliseconds);

}  // namespace plat
