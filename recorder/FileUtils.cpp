#include "recorder/FileUtils.h"

#include <cerrno>
#include <vector>

#include "engine/MMWave.h"
#include "platform/system/clock.h"
#include "platform/system/files.h"

const char FileOpSeparator = '\x1F';

std::string TempFolder() { return plat::TempPath(); }
std::string AppFolder() { return plat::ProgramFolder(); }

bool DiskFreeBytes(const std::string& path, int64_t& freeBytes) { return QueryDiskFree(path, freeBytes); }

namespace {
LockRetryTiming DefaultTiming() {
  LockRetryTiming t;
  t.tickCount = [] { return plat::TickCount(); };
  t.sleep = [](int ms) { plat::SleepMs(ms); };
  return t;
}
}  // namespace

LockRetryTiming& LockTiming() {
  static LockRetryTiming t = DefaultTiming();
  return t;
}

void ResetLockTiming() { LockTiming() = DefaultTiming(); }

bool LockFileRetry(int fd, int64_t offset, int64_t length) {
  LockRetryTiming& t = LockTiming();
  uint32_t started = t.tickCount();
  // A file open for reading only can take a shared lock only.
  const bool exclusive = plat::DescriptorWritable(fd);
  for (;;) {
    if (plat::LockRange(fd, offset, length, exclusive)) return true;
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) return false;
    if (uint32_t(t.tickCount() - started) > uint32_t(t.timeoutMs)) return false;
    t.sleep(t.intervalMs);
  }
}

bool UnlockFileRange(int fd, int64_t offset, int64_t length) { return plat::UnlockRange(fd, offset, length); }

std::string FileVersionText(const std::string& path) {
  if (plat::SameFile(path, "/proc/self/exe")) {
    std::string v = plat::VersionText();
    // Four numbers, as version resources give them.
    int dots = 0;
    for (char c : v) dots += c == '.';
    for (; dots < 3; ++dots) v += ".0";
    return v;
  }
  return {};
}

void AddBackSlash(std::string& path) {
  while (!path.empty() && path.back() == ' ') path.pop_back();
  if (path.empty() || path.back() != '/') path += '/';
}

void RemoveBackSlash(std::string& path) {
  while (!path.empty() && path.back() == ' ') path.pop_back();
  if (!path.empty() && path.back() == '/') path.pop_back();
}

namespace {

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : list) {
    if (c == FileOpSeparator) {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

// A source entry with a mask in its file name stands for every matching file.
std::vector<std::string> ExpandSource(const std::string& entry) {
  std::string name = plat::ExtractFileName(entry);
  if (name.find_first_of("*?") == std::string::npos) return {entry};
  std::string dir = plat::ExtractFilePath(entry);
  std::vector<std::string> out;
  for (auto& f : plat::ListFiles(dir.empty() ? "." : dir, name)) out.push_back(dir + f);
  return out;
}

std::string TargetFor(const std::string& target, const std::string& source) {
  if (plat::DirectoryExists(target) || (!target.empty() && target.back() == '/'))
    return plat::IncludeTrailingPathDelimiter(target) + plat::ExtractFileName(source);
  return target;
}

}  // namespace

bool ShellFileOp(const std::string& source, const std::string& target, int mode, int flags) {
  if (mode < 1 || mode > 4) return false;
  std::vector<std::string> sources, targets = SplitList(target);
  for (auto& s : SplitList(source))
    for (auto& f : ExpandSource(s)) sources.push_back(f);
  bool ok = true;
  for (size_t i = 0; i < sources.size(); ++i) {
    const std::string& src = sources[i];
    std::string dst;
    if (mode != 3) {
      if (targets.empty()) return false;
      dst = TargetFor(targets.size() == sources.size() ? targets[i] : targets[0], src);
    }
    switch (mode) {
      case 1:
      case 4: ok = plat::RenameFile(src, dst) && ok; break;
      case 2: ok = plat::CopyFile(src, dst, false) && ok; break;
      case 3: ok = plat::DeleteFile(src) && ok; break;
    }
  }
  return ok;
}

bool StringToFile(const std::string& text, const std::string& path) { return plat::WriteWholeFile(path, text); }

bool FileToString(const std::string& path, std::string& text) {
  return plat::ReadWholeFileLocked(path, text, [](int fd, int64_t length) { return LockFileRetry(fd, 0, length); });
}
