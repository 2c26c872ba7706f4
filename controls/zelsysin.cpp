#include "controls/zelsysin.h"

#include <climits>
#include <ctime>
#include <cstdlib>
#include <sstream>

#include "controls/zelclass.h"
#include "platform/system/files.h"
#include "platform/system/system_info.h"
#include "solvane_version.h"

namespace {

std::string ReadSmallFile(const std::string& path) {
  std::string text;
  if (!plat::ReadWholeFile(path, text)) return {};
  return text;
}

std::string TrimBlanks(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

// The value after "key:" on the first line that starts with key.
std::string FieldOf(const std::string& text, const std::string& key) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    if (TrimBlanks(line.substr(0, colon)) == key) return TrimBlanks(line.substr(colon + 1));
  }
  return {};
}

bool LedOn(const char* suffix) {
  const std::string tail = suffix;
  for (const plat::FolderEntry& e : plat::ListEntries("/sys/class/leds")) {
    const std::string& name = e.name;
    if (name.size() < tail.size() || name.compare(name.size() - tail.size(), tail.size(), tail) != 0) continue;
    std::string v = TrimBlanks(ReadSmallFile("/sys/class/leds/" + name + "/brightness"));
    if (!v.empty() && v != "0") return true;
  }
  return false;
}

}  // namespace

bool ParseMemInfo(const std::string& text, TZelMemoryStatus& st) {
  auto kb = [&](const char* key, bool& found) -> uint64_t {
    std::string v = FieldOf(text, key);
    found = !v.empty();
    return found ? std::strtoull(v.c_str(), nullptr, 10) * 1024 : 0;
  };
  bool has = false, hasAvail = false, dummy = false;
  st = {};
  st.TotalPhys = kb("MemTotal", has);
  if (!has || st.TotalPhys == 0) return false;
  st.AvailPhys = kb("MemAvailable", hasAvail);
  if (!hasAvail) st.AvailPhys = kb("MemFree", dummy) + kb("Buffers", dummy) + kb("Cached", dummy);
  if (st.AvailPhys > st.TotalPhys) st.AvailPhys = st.TotalPhys;
  st.TotalPageFile = kb("SwapTotal", dummy);
  st.AvailPageFile = kb("SwapFree", dummy);
  st.TotalVirtual = kb("CommitLimit", dummy);
  uint64_t committed = kb("Committed_AS", dummy);
  st.AvailVirtual = committed < st.TotalVirtual ? st.TotalVirtual - committed : 0;
  st.Load = uint32_t((st.TotalPhys - st.AvailPhys) * 100 / st.TotalPhys);
  return true;
}

TZelMemoryStatus ZelMemoryStatus() {
  TZelMemoryStatus st;
  ParseMemInfo(ReadSmallFile("/proc/meminfo"), st);
  return st;
}

TZelVersionInfo ParseKernelRelease(const std::string& release) {
  TZelVersionInfo v;
  int* parts[3] = {&v.Major, &v.Minor, &v.Build};
  size_t i = 0;
  for (int k = 0; k < 3; ++k) {
    if (i >= release.size() || release[i] < '0' || release[i] > '9') break;
    long n = 0;
    while (i < release.size() && release[i] >= '0' && release[i] <= '9' && n < INT_MAX / 10)
      n = n * 10 + (release[i++] - '0');
    *parts[k] = int(n);
    if (i < release.size() && release[i] == '.') ++i;
    else break;
  }
  v.Text = std::to_string(v.Major) + "." + std::to_string(v.Minor);
  return v;
}

TZelVersionInfo ZelVersion() { return ParseKernelRelease(plat::KernelName().release); }

std::string PlatformName() {
  const std::string system = plat::KernelName().system;
  return system.empty() ? "(Unknown)" : system;
}

int PlatformId() { return 2; }

int ProcessorCount() { return plat::OnlineProcessors(); }

std::string ParseProcessorName(const std::string& cpuinfo) {
  for (const char* key : {"model name", "Model", "Hardware", "cpu model", "Processor", "cpu"}) {
    std::string v = FieldOf(cpuinfo, key);
    if (!v.empty()) return v;
  }
  return {};
}

std::string ProcessorName() {
  std::string name = ParseProcessorName(ReadSmallFile("/proc/cpuinfo"));
  if (!name.empty()) return name;
  const std::string machine = plat::KernelName().machine;
  return machine.empty() ? "(Unknown)" : machine;
}

int GetCpuSpeedMHz() {
  for (const char* f :
       {"/sys/devices/system/cpu/cpu0/cpufreq/base_frequency", "/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq",
        "/sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq"}) {
    std::string v = TrimBlanks(ReadSmallFile(f));
    long khz = v.empty() ? 0 : std::strtol(v.c_str(), nullptr, 10);
    if (khz > 0) return int(khz / 1000);
  }
  std::string mhz = FieldOf(ReadSmallFile("/proc/cpuinfo"), "cpu MHz");
  if (!mhz.empty()) return int(std::strtod(mhz.c_str(), nullptr) + 0.5);
  return 0;
}

TZelDiskInfo DiskInfo(const std::string& path) {
  TZelDiskInfo info;
  const plat::VolumeInfo v = plat::Volume(path);
  switch (v.kind) {
    case plat::VolumeKind::None: info.DriveType = dtNoRootDir; return info;
    case plat::VolumeKind::Remote: info.DriveType = dtRemote; break;
    case plat::VolumeKind::CdRom: info.DriveType = dtCDRom; break;
    case plat::VolumeKind::RamDisk: info.DriveType = dtRamDisk; break;
    case plat::VolumeKind::Fixed: info.DriveType = dtFixed; break;
  }
  info.Free = v.freeBytes;
  info.Size = v.totalBytes;
  return info;
}

std::string TempPath() { return plat::TempPath(); }

std::string ComputerName() {
  const std::string name = plat::HostName();
  return name.empty() ? "(Unknown)" : name;
}

std::string CurrentDirectory() { return plat::CurrentDirectory(); }

std::string RegisteredOwner() {
  const std::string owner = plat::AccountFullName();
  return owner.empty() ? "(Unknown)" : owner;
}

std::string RegisteredOrganization() { return "(Unknown)"; }

bool NumLockOn() { return LedOn("::numlock"); }
bool CapsLockOn() { return LedOn("::capslock"); }
bool ScrollLockOn() { return LedOn("::scrolllock"); }

int ScreenSaverDelay() { return 0; }

int FreeSystemResources(int) {
  TZelMemoryStatus st = ZelMemoryStatus();
  return st.TotalPhys ? int(st.AvailPhys * 100 / st.TotalPhys) : 0;
}

std::string ProgramVersionString(int index) {
  switch (index) {
    case 1: return "Solvane";
    case 2: return SOLVANE_VERSION_TEXT;
    default: return {};
  }
}

std::string InfoCaption(TZelInfoType kind) {
  static const char* const captions[] = {"Username",
                                         "Windows directory",
                                         "Current directory",
                                         "Free space on current disk",
                                         "Disk size of current Disk",
                                         "System directory",
                                         "Registered owner",
                                         "Registered company",
                                         "Version",
                                         "Colordepth (in bits)",
                                         "Screensaver delay",
                                         "Memory size",
                                         "Free system resources",
                                         "Free GDI resources",
                                         "Free user resources",
                                         "Computername",
                                         "Major version",
                                         "Build",
                                         "Memory loaded",
                                         "Memory free",
                                         "Free memory pages",
                                         "Total memory pages",
                                         "Free virtual memory",
                                         "Total virtual memory",
                                         "Platform ID",
                                         "Platform",
                                         "Number of processors",
                                         "Processor",
                                         "Temp path",
                                         "DOS version",
                                         "NumLock",
                                         "CapsLock",
                                         "ScrollLock",
                                         "Date and time",
                                         "CompanyName",
                                         "ProductName",
                                         "ProductVersion",
                                         "LegalCopyright",
                                         "LegalTrademark",
                                         "FileDescription",
                                         "Comments",
                                         "CPU Speed"};
  int i = int(kind);
  if (i < 0 || i >= int(sizeof captions / sizeof captions[0])) return {};
  return captions[i];
}

bool InfoIsNumeric(TZelInfoType kind) {
  switch (kind) {
    case itCurrentDiskFree32:
    case itCurrentDiskSize32:
    case itVersion:
    case itColorDepth:
    case itScreenSaverDelay:
    case itMemSize:
    case itFreeSysRes:
    case itFreeGDIRes:
    case itFreeUserRes:
    case itMajorVerNr32:
    case itBuildNr32:
    case itMemLoaded32:
    case itMemFree32:
    case itMemPageFree32:
    case itMemPageTotal32:
    case itMemVirtFree32:
    case itMemVirtTotal32:
    case itPlatformID32:
    case itProcessorCont32:
    case itDOSVersion:
    case itCPUSpeed: return true;
    default: return false;
  }
}

std::string ZelFormatDateTime(const std::string& format, int64_t unixSeconds, int ms) {
  std::time_t t = std::time_t(unixSeconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  static const char* const months[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};
  static const char* const days[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  std::string f = format.empty() ? "c" : format;
  std::string out;
  auto two = [](int v) { return (v < 10 ? "0" : "") + std::to_string(v); };
  bool afterHour = false;
  size_t i = 0;
  auto run = [&](char c) {
    size_t n = 0;
    while (i + n < f.size() && (f[i + n] | 0x20) == c) ++n;
    return n;
  };
  while (i < f.size()) {
    const char c = char(f[i] | 0x20);
    if (f[i] == '"' || f[i] == '\'') {
      size_t end = f.find(f[i], i + 1);
      if (end == std::string::npos) end = f.size();
      out += f.substr(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    if (c == 'c' && run('c') == 1) {
      out += ZelFormatDateTime("yyyy-mm-dd hh:nn:ss", unixSeconds, ms);
      ++i;
      continue;
    }
    if (f.compare(i, 5, "am/pm") == 0 || f.compare(i, 5, "AM/PM") == 0) {
      out += tm.tm_hour < 12 ? (f[i] == 'a' ? "am" : "AM") : (f[i] == 'a' ? "pm" : "PM");
      i += 5;
      continue;
    }
    size_t n = 0;
    switch (c) {
      case 'y':
        n = run('y');
        out += n <= 2 ? two((tm.tm_year + 1900) % 100) : std::to_string(tm.tm_year + 1900);
        break;
      case 'm':
        n = run('m');
        if (afterHour && n <= 2) {
          out += n == 1 ? std::to_string(tm.tm_min) : two(tm.tm_min);
        } else {
          out += n == 1   ? std::to_string(tm.tm_mon + 1)
                 : n == 2 ? two(tm.tm_mon + 1)
                 : n == 3 ? std::string(months[tm.tm_mon]).substr(0, 3)
                          : std::string(months[tm.tm_mon]);
        }
        break;
      case 'd':
        n = run('d');
        out += n == 1   ? std::to_string(tm.tm_mday)
               : n == 2 ? two(tm.tm_mday)
               : n == 3 ? std::string(days[tm.tm_wday]).substr(0, 3)
                        : std::string(days[tm.tm_wday]);
        break;
      case 'h':
        n = run('h');
        out += n == 1 ? std::to_string(tm.tm_hour) : two(tm.tm_hour);
        afterHour = true;
        i += n;
        continue;
      case 'n':
        n = run('n');
        out += n == 1 ? std::to_string(tm.tm_min) : two(tm.tm_min);
        break;
      case 's':
        n = run('s');
        out += n == 1 ? std::to_string(tm.tm_sec) : two(tm.tm_sec);
        break;
      case 'z': {
        n = run('z');
        std::string z = std::to_string(ms % 1000);
        out += n >= 3 ? std::string(3 - z.size(), '0') + z : z;
        break;
      }
      default:
        out += f[i];
        n = 1;
        if (f[i] != ':' && f[i] != ' ') afterHour = false;
        i += n;
        continue;
    }
    afterHour = false;
    i += n;
  }
  return out;
}

TZelSystemMetrics ZelSystemMetrics() { return {}; }

plat::TRect CaptionRect(plat::TSize window, uint32_t styles, const TZelSystemMetrics& m, uint32_t* flags) {
  uint32_t f = 0;
  int fx, fy;
  if (styles & cwSizeable) {
    fx = m.SizingFrameWidth;
    fy = m.SizingFrameHeight;
  } else if (styles & cwDialogFrame) {
    fx = m.FixedFrameWidth;
    fy = m.FixedFrameHeight;
  } else {
    fx = m.BorderWidth;
    fy = m.BorderHeight;
  }
  const bool tool = styles & cwToolWindow;
  const int height = tool ? m.SmallCaptionHeight : m.CaptionHeight;
  const int button = tool ? m.SmallButtonWidth : m.CaptionButtonWidth;
  plat::TRect r = plat::Rect(fx, fy, window.cx - fx, fy + height);
  if (styles & cwSystemMenu) {
    f |= cfClose;
    r.Right -= button + 2;
    if (!tool && (styles & (cwMinimizeBox | cwMaximizeBox))) {
      f |= cfMaximize | cfMinimize;
      r.Right -= 2 * button;
    } else if (!tool && (styles & cwHelp)) {
      f |= cfHelp;
      r.Right -= button + 2;
    }
    if (!tool && !(styles & cwDialogFrame)) {
      f |= cfIcon;
      r.Left += m.SmallIconWidth + 2;
    }
  }
  if (r.Right < r.Left) r.Right = r.Left;
  if (flags) *flags = f;
  return r;
}
