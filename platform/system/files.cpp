#include "platform/system/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/system/held_paths.h"
#include "solvane_version.h"

extern char** environ;

namespace plat {

namespace {

bool StatPath(const std::string& path, struct stat& st) {
  if (path.empty()) return false;
  const AtPath at(path);
  return ::fstatat(at.Dir(), at.Name(), &st, at.StatNoFollow()) == 0;
}

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= size_t(w);
  }
  return true;
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return (v && *v) ? std::string(v) : fallback;
}

// Closes the descriptor and keeps errno as it was.
void CloseKeepingErrno(int fd) {
  const int e = errno;
  ::close(fd);
  errno = e;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st;
  return StatPath(path, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return StatPath(path, st) && S_ISDIR(st.st_mode);
}

bool PathTaken(const std::string& path) {
  struct stat st;
  const AtPath at(path);
  return !path.empty() && ::fstatat(at.Dir(), at.Name(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool RegularFileExists(const std::string& path) {
  struct stat st;
  return StatPath(path, st) && S_ISREG(st.st_mode);
}

bool TrustedOwner(uint32_t uid) { return uid == ::geteuid() || uid == 0; }

LinkAt LinkStandingAt(const std::string& path) {
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return LinkAt::None;
  return TrustedOwner(st.st_uid) ? LinkAt::Trusted : LinkAt::Untrusted;
}

bool RenameAt(int fromDir, const std::string& from, int toDir, const std::string& to) {
  return ::renameat(fromDir, from.c_str(), toDir, to.c_str()) == 0;
}

bool FolderAt(int dir, const std::string& name) {
  struct stat st;
  return ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveAt(int dir, const std::string& name) { return ::unlinkat(dir, name.c_str(), 0) == 0; }

void CloseDescriptor(int fd) {
  if (fd >= 0) ::close(fd);
}

bool DescriptorWritable(int fd) {
  const int fl = ::fcntl(fd, F_GETFL);
  return fl >= 0 && (fl & O_ACCMODE) != O_RDONLY;
}

int OpenLockFile(const std::string& path) { return OpenPath(path, O_RDWR | O_CREAT | O_NOFOLLOW, 0600); }

bool CreateDir(const std::string& path) {
  const AtPath at(ExcludeTrailingPathDelimiter(path));
  return ::mkdirat(at.Dir(), at.Name(), 0777) == 0;
}

bool ForceDirectories(const std::string& path) {
  std::string p = ExcludeTrailingPathDelimiter(path);
  if (p.empty()) return false;
  if (DirectoryExists(p)) return true;
  std::string parent = ExtractFileDir(p);
  if (!parent.empty() && parent != p && !ForceDirectories(parent)) return false;
  return CreateDir(p) || DirectoryExists(p);
}

bool DeleteFile(const std::string& path) {
  const AtPath at(path);
  return !path.empty() && ::unlinkat(at.Dir(), at.Name(), 0) == 0;
}

bool RemoveDir(const std::string& path) {
  const AtPath at(ExcludeTrailingPathDelimiter(path));
  return ::unlinkat(at.Dir(), at.Name(), AT_REMOVEDIR) == 0;
}

bool RemoveLink(const std::string& path) {
  struct stat st;
  const AtPath at(path);
  return !path.empty() && ::fstatat(at.Dir(), at.Name(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode) &&
         ::unlinkat(at.Dir(), at.Name(), 0) == 0;
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  SmallRead why;
  int in = OpenRegularFile(from, O_RDONLY, why);
  if (in < 0) return false;
  struct stat st;
  if (::fstat(in, &st) != 0) {
    ::close(in);
    return false;
  }
  const unsigned mode = st.st_mode & 07777;
  int out = failIfExists ? OpenPath(to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode)
                         : OpenFileForWriting(to, true, mode);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = CopyBytes(in, out);
  ::close(in);
  if (::close(out) != 0) ok = false;
  return ok;
}

bool CopyBytes(int in, int out, const std::function<bool(int64_t done)>& onBlock, size_t block) {
  std::vector<char> buf(block);
  int64_t done = 0;
  for (;;) {
    if (onBlock && !onBlock(done)) return false;
    ssize_t r = ::read(in, buf.data(), buf.size());
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || !WriteAll(out, buf.data(), size_t(r))) return false;
    if (r == 0) return true;
    done += r;
  }
}

bool RenameFile(const std::string& from, const std::string& to) {
  {
    const AtPath a(from), b(to);
    if (::renameat(a.Dir(), a.Name(), b.Dir(), b.Name()) == 0) return true;
  }
  if (errno != EXDEV) return false;
  // Another file system: copy beside the target, then move it into place, then drop the source.
  std::string tmp = to + ".part";
  if (!CopyFile(from, tmp, false)) {
    DeleteFile(tmp);
    return false;
  }
  const AtPath t(tmp), b(to);
  if (::renameat(t.Dir(), t.Name(), b.Dir(), b.Name()) != 0) {
    DeleteFile(tmp);
    return false;
  }
  DeleteFile(from);
  return true;
}

std::string CreateUniqueFile(const std::string& folder, const std::string& prefix, const std::string& data) {
  std::string path;
  const int fd = CreateUniqueFd(folder, prefix, path);
  if (fd < 0) return {};
  const bool written = WriteAll(fd, data.data(), data.size());
  if (::close(fd) == 0 && written) return path;
  DeleteFile(path);
  return {};
}

int64_t FileSize(const std::string& path) {
  struct stat st;
  if (!StatPath(path, st) || S_ISDIR(st.st_mode)) return -1;
  return int64_t(st.st_size);
}

bool IsReadOnly(const std::string& path) {
  struct stat st;
  return StatPath(path, st) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool SetReadOnly(const std::string& path, bool readOnly) {
  const int fd = OpenPath(path, O_RDONLY | O_NONBLOCK);
  struct stat st;
  if (fd < 0) return false;
  bool ok = ::fstat(fd, &st) == 0;
  if (ok) {
    mode_t m = st.st_mode & 07777;
    m = readOnly ? (m & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)) : (m | S_IWUSR);
    ok = ::fchmod(fd, m) == 0;
  }
  CloseKeepingErrno(fd);
  return ok;
}

int FileMode(const std::string& path) {
  struct stat st;
  return StatPath(path, st) ? int(st.st_mode & 07777) : -1;
}

bool SetFileMode(const std::string& path, unsigned mode) {
  const int fd = OpenPath(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return false;
  const bool ok = ::fchmod(fd, mode_t(mode & 07777)) == 0;
  CloseKeepingErrno(fd);
  return ok;
}

unsigned ProcessUmask() {
  // Reading it with umask(2) would set it meanwhile for every thread of the process.
  std::string status;
  if (!ReadWholeFile("/proc/self/status", status)) return 022;
  const size_t at = status.find("\nUmask:");
  return at == std::string::npos ? 022 : unsigned(std::strtoul(status.c_str() + at + 7, nullptr, 8)) & 0777;
}

int64_t FileAge(const std::string& path) {
  struct stat st;
  if (!StatPath(path, st)) return -1;
  return int64_t(st.st_mtim.tv_sec);
}

bool SetFileAge(const std::string& path, int64_t unixSeconds) {
  const timespec ts[2] = {{time_t(unixSeconds), 0}, {time_t(unixSeconds), 0}};
  const AtPath at(path);
  return ::utimensat(at.Dir(), at.Name(), ts, at.StatNoFollow()) == 0;
}

bool StatFile(const std::string& path, FileFacts& facts) {
  struct stat st;
  if (!StatPath(path, st)) return false;
  facts = {S_ISREG(st.st_mode), uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size)};
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return StatPath(a, sa) && StatPath(b, sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool GetDiskFree(const std::string& path, int64_t& freeBytes, int64_t& totalBytes) {
  freeBytes = 0;
  totalBytes = 1;
  if (path.empty()) return false;
  std::string p = ExcludeTrailingPathDelimiter(ExpandFileName(path));
  // The path itself may not exist yet (a file about to be made): ask its nearest existing parent.
  for (int guard = 0; guard < 4096; ++guard) {
    struct stat st;
    if (StatPath(p, st)) break;
    std::string parent = ExtractFileDir(p);
    if (parent.empty() || parent == p) return false;
    p = parent;
  }
  const int fd = OpenPath(p, O_PATH);
  struct statvfs vfs;
  const bool ok = fd >= 0 && ::fstatvfs(fd, &vfs) == 0;
  if (fd >= 0) ::close(fd);
  if (!ok) return false;
  freeBytes = int64_t(vfs.f_bavail) * int64_t(vfs.f_frsize);
  totalBytes = int64_t(vfs.f_blocks) * int64_t(vfs.f_frsize);
  if (totalBytes <= 0) totalBytes = 1;
  return true;
}

bool MatchesMask(const std::string& name, const std::string& mask) {
  // "*.*" is every file, with or without a dot in its name: the program's masks say "everything" so.
  return mask == "*.*" || ::fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD | FNM_PERIOD) == 0;
}

std::vector<FolderEntry> ListEntries(const std::string& folder) {
  std::vector<FolderEntry> out;
  std::string dir = ExcludeTrailingPathDelimiter(folder);
  if (dir.empty()) dir = ".";
  const int fd = OpenPath(dir, O_RDONLY | O_DIRECTORY);
  if (fd < 0) return out;
  DIR* d = ::fdopendir(fd);
  if (!d) {
    ::close(fd);
    return out;
  }
  while (dirent* e = ::readdir(d)) {
    FolderEntry entry;
    entry.name = e->d_name;
    if (entry.name == "." || entry.name == "..") continue;
    struct stat st;
    if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    entry.kind = S_ISREG(st.st_mode)   ? FolderEntry::File
                 : S_ISDIR(st.st_mode) ? FolderEntry::Folder
                 : S_ISLNK(st.st_mode) ? FolderEntry::Link
                                       : FolderEntry::Other;
    entry.links = int64_t(st.st_nlink);
    out.push_back(std::move(entry));
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return out;
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& mask, bool withFolders) {
  std::vector<std::string> out;
  const std::string dir = IncludeTrailingPathDelimiter(folder.empty() ? "." : folder);
  for (const FolderEntry& e : ListEntries(folder)) {
    // A link counts as what it points at, where links are followed at all.
    const bool isDir = e.kind == FolderEntry::Folder || (e.kind == FolderEntry::Link && DirectoryExists(dir + e.name));
    if (isDir && !withFolders) continue;
    if (MatchesMask(e.name, mask)) out.push_back(e.name);
  }
  return out;
}

std::string ExtractFilePath(const std::string& path) {
  size_t p = path.rfind('/');
  return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string ExtractFileDir(const std::string& path) {
  size_t p = path.rfind('/');
  if (p == std::string::npos) return {};
  if (p == 0) return "/";
  return path.substr(0, p);
}

std::string ExtractFileName(const std::string& path) {
  size_t p = path.rfind('/');
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFileExt(const std::string& path) {
  std::string name = ExtractFileName(path);
  size_t p = name.rfind('.');
  return p == std::string::npos ? std::string() : name.substr(p);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  std::string name = ExtractFileName(path);
  size_t p = name.rfind('.');
  std::string base = path.substr(0, path.size() - name.size()) + (p == std::string::npos ? name : name.substr(0, p));
  return base + ext;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path;
  return path + "/";
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
  if (path.size() > 1 && path.back() == '/') return path.substr(0, path.size() - 1);
  return path;
}

std::string ExpandFileName(const std::string& path) {
  std::string abs = path;
  if (abs.empty() || abs[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd)) abs = std::string(cwd) + "/" + abs;
  }
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= abs.size()) {
    size_t j = abs.find('/', i);
    if (j == std::string::npos) j = abs.size();
    std::string part = abs.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (auto& p : parts) out += "/" + p;
  if (out.empty()) out = "/";
  if (path.size() > 1 && path.back() == '/' && out != "/") out += "/";
  return out;
}

bool ReadWholeFile(const std::string& path, std::string& data) {
  data.clear();
  SmallRead why;
  int fd = OpenRegularFile(path, O_RDONLY, why);
  if (fd < 0) return false;
  char buf[65536];
  for (;;) {
    ssize_t r = ::read(fd, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      ::close(fd);
      data.clear();
      return false;
    }
    if (r == 0) break;
    data.append(buf, size_t(r));
  }
  ::close(fd);
  return true;
}

int OpenRegularFile(const std::string& path, int access, SmallRead& result) {
  const auto refuse = [&](SmallRead why, int error) {
    result = why;
    errno = error;
    return -1;
  };
  if (path.empty()) return refuse(SmallRead::Missing, ENOENT);
  // Non-blocking: a FIFO opens at once instead of waiting for a writer; no device becomes our
  // terminal.
  const int flags = (access & O_ACCMODE) | O_NONBLOCK | O_NOCTTY;
  int fd = OpenPath(path, flags | O_NOFOLLOW);
  if (fd < 0 && errno == ELOOP) {
    switch (LinkStandingAt(path)) {
      case LinkAt::Untrusted: return refuse(SmallRead::OthersLink, ELOOP);
      case LinkAt::Trusted: fd = OpenPath(path, flags); break;
      case LinkAt::None: errno = ELOOP; break;
    }
  }
  if (fd < 0) {
    // ENXIO: a socket, or a device with nothing behind it (/dev/tty with no terminal): no file.
    const int e = errno;
    return refuse(e == ENOENT || e == ENOTDIR ? SmallRead::Missing
                  : e == EISDIR               ? SmallRead::Folder
                  : e == ENXIO                ? SmallRead::NotAFile
                                              : SmallRead::Failed,
                  e);
  }
  struct stat st;
  SmallRead verdict = SmallRead::Read;
  int error = 0;
  if (::fstat(fd, &st) != 0) verdict = SmallRead::Failed, error = errno;
  else if (S_ISDIR(st.st_mode)) verdict = SmallRead::Folder, error = EISDIR;
  else if (!S_ISREG(st.st_mode)) verdict = SmallRead::NotAFile, error = ENXIO;
  else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) verdict = SmallRead::Failed, error = errno;
  if (verdict == SmallRead::Read) {
    result = verdict;
    return fd;
  }
  ::close(fd);
  return refuse(verdict, error);
}

SmallFile ReadSmallFile(const std::string& path, int64_t limit) {
  SmallFile f;
  f.limit = limit;
  const auto failed = [&](SmallRead why, int error = 0) {
    f.result = why;
    f.error = error;
    f.data.clear();
    return f;
  };
  const int fd = OpenRegularFile(path, O_RDONLY, f.result);
  if (fd < 0) return failed(f.result, f.result == SmallRead::Failed ? errno : 0);
  struct stat st;
  SmallRead verdict = SmallRead::Read;
  if (::fstat(fd, &st) != 0) verdict = SmallRead::Failed;
  else if (int64_t(st.st_size) > limit) verdict = SmallRead::TooLarge;
  if (verdict != SmallRead::Read) {
    const int e = errno;
    ::close(fd);
    return failed(verdict, verdict == SmallRead::Failed ? e : 0);
  }
  f.data.reserve(size_t(st.st_size));
  // One byte past the limit tells a file that grew since fstat.
  char buf[65536];
  for (;;) {
    ssize_t r = ::read(fd, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      const int e = errno;
      ::close(fd);
      return failed(SmallRead::Failed, e);
    }
    if (r == 0) break;
    f.data.append(buf, size_t(r));
    if (int64_t(f.data.size()) > limit) {
      ::close(fd);
      return failed(SmallRead::TooLarge);
    }
  }
  ::close(fd);
  f.result = SmallRead::Read;
  return f;
}

std::string RefusalReason(SmallRead result, int error, int64_t limit) {
  switch (result) {
    case SmallRead::Read: break;
    case SmallRead::Missing: return std::strerror(ENOENT);
    case SmallRead::Folder: return "it is a folder";
    case SmallRead::NotAFile: return "it is not a regular file";
    case SmallRead::TooLarge: return "it is larger than " + std::to_string(limit >> 20) + " MB";
    case SmallRead::OthersLink: return "it is a link another account made";
    case SmallRead::Failed: return std::strerror(error);
  }
  return {};
}

std::string RefusalText(const std::string& path, SmallRead result, int error, int64_t limit) {
  if (result == SmallRead::Read || result == SmallRead::Missing) return {};
  return "Unable to read " + path + ": " + RefusalReason(result, error, limit) + ".";
}

std::string SmallFileRefusal(const std::string& path, const SmallFile& file) {
  return RefusalText(path, file.result, file.error, file.limit);
}

bool ProtectSecretFile(int fd, const std::string& folder) {
  struct stat dir;
  const std::string d = folder.empty() ? std::string(".") : ExcludeTrailingPathDelimiter(folder);
  const bool shared = ::stat(d.c_str(), &dir) == 0 && (dir.st_mode & (S_IWGRP | S_ISGID)) != 0;
  if (!shared) return ::fchmod(fd, 0600) == 0;
  // The group first: a mode that lets the group in must not reach a group it was not meant for.
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0;
  if (ok && st.st_gid != dir.st_gid) ok = ::fchown(fd, uid_t(-1), dir.st_gid) == 0;
  return ::fchmod(fd, ok ? 0660 : 0600) == 0 && ok;
}

bool ReadWholeFileLocked(const std::string& path, std::string& data,
                         const std::function<bool(int fd, int64_t length)>& lock) {
  data.clear();
  SmallRead why;
  int fd = OpenRegularFile(path, O_RDWR, why);
  if (fd < 0 && why == SmallRead::Failed) fd = OpenRegularFile(path, O_RDONLY, why);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !lock(fd, int64_t(st.st_size))) {
    CloseKeepingErrno(fd);
    return false;
  }
  std::string bytes(size_t(st.st_size), '\0');
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t r = ::pread(fd, bytes.data() + got, bytes.size() - got, off_t(got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += size_t(r);
  }
  bytes.resize(got);
  UnlockRange(fd, 0, int64_t(st.st_size));
  ::close(fd);
  data = std::move(bytes);
  return true;
}

int OpenFileForWriting(const std::string& path, bool create, unsigned mode) {
  // Non-blocking: a FIFO without a reader fails at once instead of waiting for one; with a reader
  // it opens, and is refused below like a device. Emptied only once it is known to be a file.
  const int flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | (create ? O_CREAT : 0);
  int fd = OpenPath(path, flags | O_NOFOLLOW, mode);
  if (fd < 0 && errno == ELOOP && LinkStandingAt(path) == LinkAt::Trusted) fd = OpenPath(path, flags, mode);
  if (fd < 0) return -1;
  struct stat st;
  int err = 0;
  if (::fstat(fd, &st) != 0) err = errno;
  else if (!S_ISREG(st.st_mode)) err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  else if (::ftruncate(fd, 0) != 0) err = errno;
  if (err == 0) return fd;
  ::close(fd);
  errno = err;
  return -1;
}

namespace {
bool WriteAndClose(int fd, const std::string& data) {
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data.data(), data.size());
  if (::close(fd) != 0) ok = false;
  return ok;
}
}  // namespace

bool WriteWholeFile(const std::string& path, const std::string& data, unsigned mode) {
  return WriteAndClose(OpenFileForWriting(path, true, mode), data);
}

bool WriteSecretFile(const std::string& path, const std::string& data) {
  const int fd = OpenFileForWriting(path, true, 0600);
  // The group is best effort, as at every rewrite; the owner's own rights are given whatever the
  // umask took, so that the file stays the program's to rewrite.
  if (fd >= 0) ProtectSecretFile(fd, ExtractFilePath(path));
  return WriteAndClose(fd, data);
}

bool WriteNewFile(const std::string& path, const std::string& data, unsigned mode) {
  if (path.empty()) return false;
  // A link goes as a name; a folder stays, and then the exclusive create fails.
  DeleteFile(path);
  int fd = OpenPath(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data.data(), data.size());
  if (::close(fd) != 0) ok = false;
  return ok;
}

bool ReplaceWholeFile(const std::string& path, const std::string& data, unsigned mode) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  std::string target = path;
  switch (LinkStandingAt(path)) {
    case LinkAt::Untrusted: errno = ELOOP; return false;
    case LinkAt::Trusted: {
      // Only the link judged here is resolved; one that leads nowhere goes as a name.
      char resolved[PATH_MAX];
      if (::realpath(path.c_str(), resolved)) target = resolved;
      break;
    }
    case LinkAt::None: break;
  }
  struct stat st;
  if (PathTaken(target) && StatPath(target, st) && !S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  const std::string folder = ExtractFilePath(target);
  std::string part;
  const int fd = CreateUniqueFd(folder.empty() ? "." : folder, "." + ExtractFileName(target) + ".new-", part, mode);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data.data(), data.size());
  if (::close(fd) != 0) ok = false;
  if (ok) {
    const AtPath from(part), to(target);
    ok = ::renameat(from.Dir(), from.Name(), to.Dir(), to.Name()) == 0;
  }
  if (ok) return true;
  const int e = errno;
  DeleteFile(part);
  errno = e;
  return false;
}

int OpenOwnFile(const std::string& path, int flags, bool fifo) {
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  const int fd = OpenPath(path, (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
  if (fd < 0) return -1;
  const bool writing = (flags & O_ACCMODE) != O_RDONLY;
  struct stat st;
  int err = 0;
  if (::fstat(fd, &st) != 0) err = errno;
  else if (st.st_uid != ::geteuid()) err = EPERM;
  else if (fifo ? !S_ISFIFO(st.st_mode) : !S_ISREG(st.st_mode)) err = ENXIO;
  else if (!fifo && writing && st.st_nlink > 1) err = EMLINK;
  else if (!fifo && (flags & O_TRUNC) && ::ftruncate(fd, 0) != 0) err = errno;
  else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) err = errno;
  if (err == 0) return fd;
  ::close(fd);
  errno = err;
  return -1;
}

bool AppendToOwnFile(const std::string& path, const std::string& text) {
  const int fd = OpenOwnFile(path, O_WRONLY | O_APPEND | O_CREAT);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, text.data(), text.size());
  if (::close(fd) != 0) ok = false;
  return ok;
}

bool ReadOwnFile(const std::string& path, std::string& data) {
  data.clear();
  const int fd = OpenOwnFile(path, O_RDONLY);
  if (fd < 0) return false;
  char buf[65536];
  for (;;) {
    const ssize_t r = ::read(fd, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      CloseKeepingErrno(fd);
      if (r < 0) data.clear();
      return r == 0;
    }
    data.append(buf, size_t(r));
  }
}

bool ReadFifoLines(const std::string& path, const std::function<bool(const std::string&)>& onLine) {
  if (path.empty()) return false;
  ::mkfifo(path.c_str(), 0600);  // fails when something stands there: judged below
  const int fd = OpenOwnFile(path, O_RDWR, true);
  if (fd < 0) return false;
  std::string line;
  char c;
  while (::read(fd, &c, 1) == 1) {
    if (c != '\n') {
      line += c;
      continue;
    }
    if (!onLine(line)) break;
    line.clear();
  }
  ::close(fd);
  return true;
}

std::string TempPath() { return IncludeTrailingPathDelimiter(EnvOr("TMPDIR", "/tmp")); }

std::string LastingTempPath(const std::string& prefix) {
  const std::string tmp = EnvOr("TMPDIR", "");
  if (!tmp.empty()) return IncludeTrailingPathDelimiter(tmp);
  // /var/tmp is every account's: each keeps a folder of its own there.
  return "/var/tmp/" + prefix + "-" + std::to_string(::geteuid()) + "/";
}

std::string AccountStatePath() {
  const std::string state = EnvOr("XDG_STATE_HOME", "");
  if (!state.empty() && state.front() == '/') return IncludeTrailingPathDelimiter(state);
  std::string home = EnvOr("HOME", "");
  if (home.empty() || home.front() != '/') {
    passwd pw{}, *found = nullptr;
    std::vector<char> buf(16384);
    home = ::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir
               ? found->pw_dir
               : "";
  }
  if (home.empty() || home.front() != '/') return {};
  return IncludeTrailingPathDelimiter(home) + ".local/state/";
}

std::string ExecutablePath() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

std::string ExecutableFolder() {
  const std::string exe = ExecutablePath();
  return exe.empty() ? "./" : ExtractFilePath(exe);
}

std::string ProgramFolder() {
  std::string home = EnvOr("SOLVANE_HOME", "");
  if (!home.empty()) {
    ForceDirectories(home);
    return IncludeTrailingPathDelimiter(home);
  }
  std::string exe = ExecutableFolder();
  if (::access(exe.c_str(), W_OK) == 0 || FileExists(exe + "Solvane.ini")) return exe;
  std::string data = EnvOr("XDG_DATA_HOME", EnvOr("HOME", "/tmp") + "/.local/share");
  std::string folder = IncludeTrailingPathDelimiter(data) + "Solvane/";
  ForceDirectories(folder);
  return folder;
}

std::string RuntimePath() {
  std::string rt = EnvOr("XDG_RUNTIME_DIR", "");
  if (!rt.empty() && DirectoryExists(rt)) return IncludeTrailingPathDelimiter(rt);
  return TempPath();
}

std::string UserName() {
  if (passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return pw->pw_name;
  return EnvOr("USER", "user");
}

std::string VersionText() { return SOLVANE_VERSION_TEXT; }

std::string FindProgram(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
  std::string path = EnvOr("PATH", "/usr/local/bin:/usr/bin:/bin");
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find(':', i);
    if (j == std::string::npos) j = path.size();
    std::string dir = path.substr(i, j - i);
    if (dir.empty()) dir = ".";
    std::string cand = dir + "/" + name;
    if (FileExists(cand) && ::access(cand.c_str(), X_OK) == 0) return cand;
    i = j + 1;
  }
  return {};
}

namespace {

// Every descriptor above the standard three closes at the exec, whatever flag it was opened
// with: a started program must not hold the temporary folder's lock, a half-written file or a
// pipe of ours after the deck has let them go.
void CloseOursAtExec() {
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  rlimit lim{};
  const rlim_t top = ::getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY ? lim.rlim_cur : 65536;
  for (rlim_t fd = 3; fd < top && fd < 65536; ++fd) ::fcntl(int(fd), F_SETFD, FD_CLOEXEC);
}

// In a forked child, before exec: only async-signal-safe calls. Input and output become
// /dev/null, handOver (when there is one) descriptor 3 and nothing else of ours survives the exec,
// the working folder workDir; false with errno set when one step failed. *report, the pipe that
// tells the exec's failure, is moved off descriptor 3 when it stands there.
bool PrepareChild(const char* workDir, int handOver, int* report) {
  ::setsid();
  CloseOursAtExec();
  // Before /dev/null is opened, which could otherwise take descriptor 3, or be put over handOver
  // when that stands below it (the deck started without an input).
  constexpr int kHanded = 3;
  if (handOver == kHanded && ::fcntl(kHanded, F_SETFD, 0) != 0) return false;
  if (handOver >= 0 && handOver != kHanded) {
    if (*report == kHanded) {
      const int moved = ::fcntl(kHanded, F_DUPFD_CLOEXEC, kHanded + 1);
      if (moved < 0) return false;
      *report = moved;
    }
    if (::dup2(handOver, kHanded) < 0) return false;
  }
  const int null = ::open("/dev/null", O_RDWR);
  if (null < 0) return false;
  for (int fd = 0; fd <= 2; ++fd)
    if (fd != null && ::dup2(null, fd) < 0) return false;
  if (null > 2) ::close(null);
  return !*workDir || ::chdir(workDir) == 0;
}

// Waits for the program to end without reaping it, says so, then reaps it: once the process is
// gone, whoever asks already hears that it ended.
void WatchUntilEnded(pid_t pid, std::shared_ptr<std::atomic<bool>> running, TEnded ended) {
  std::thread([pid, running, ended = std::move(ended)] {
    siginfo_t info{};
    while (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {}
    running->store(false);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (!ended) return;
    ProcessEnd end;
    if (WIFEXITED(status)) end.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) {
      end.signal = WTERMSIG(status);
      end.signalName = ::strsignal(end.signal);
    }
    ended(end);
  }).detach();
}

}  // namespace

bool StartProcess(const std::string& program, const std::vector<std::string>& args, const std::string& workDir,
                  TRunning* running, int handOver, TEnded ended) {
  // A path is left to the exec, which says best why it cannot run what is there.
  std::string exe = program.find('/') == std::string::npos ? FindProgram(program) : program;
  if (exe.empty()) {
    errno = ENOENT;
    return false;
  }
  // Only async-signal-safe calls may follow the fork in a threaded process, so the argument
  // vector is built before it.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(exe.c_str()));
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // Tells the exec's failure; closed by the exec itself when it succeeds.
  int pipefd[2];
  if (::pipe2(pipefd, O_CLOEXEC) != 0) return false;
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(pipefd[0]);
    ::close(pipefd[1]);
    return false;
  }
  if (pid == 0) {
    // A program nobody watches is not our child (a second fork) so that nobody has to reap it.
    if (!running) {
      pid_t grand = ::fork();
      if (grand != 0) _exit(grand > 0 ? 0 : 1);
    }
    if (PrepareChild(workDir.c_str(), handOver, &pipefd[1])) ::execve(exe.c_str(), argv.data(), environ);
    int e = errno;
    (void)!::write(pipefd[1], &e, sizeof e);
    _exit(127);
  }
  ::close(pipefd[1]);
  int err = 0;
  ssize_t r;
  while ((r = ::read(pipefd[0], &err, sizeof err)) < 0 && errno == EINTR) {}
  ::close(pipefd[0]);
  const bool started = r == 0;
  if (running && started) {
    auto state = std::make_shared<std::atomic<bool>>(true);
    *running = state;
    WatchUntilEnded(pid, state, std::move(ended));
    return true;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
  if (started && WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  errno = started ? EAGAIN : err;  // started: the fork that sets it apart failed
  return false;
}

namespace {
void OnBrokenPipe(int) {}
}  // namespace

void KeepOutputFromBlocking() {
  // Caught rather than ignored, so that the programs we start get the default back.
  struct sigaction sa {};
  sa.sa_handler = OnBrokenPipe;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGPIPE, &sa, nullptr);
  for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat st;
    if (::fstat(fd, &st) != 0) continue;
    if (S_ISSOCK(st.st_mode)) {
      // A service manager's journal: a socket cannot be opened anew, so the one description is
      // made non-blocking. It is the output the manager opened for this program alone, and the
      // programs we start get /dev/null.
      const int fl = ::fcntl(fd, F_GETFL);
      if (fl >= 0) ::fcntl(fd, F_SETFL, fl | O_NONBLOCK);
      continue;
    }
    if (!S_ISFIFO(st.st_mode)) continue;
    // A description of the pipe of our own: non-blocking for us alone, not for whoever else
    // writes through the one we were given (the shell, the programs we start).
    const int own = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (own < 0) continue;
    ::dup2(own, fd);
    ::close(own);
  }
}

namespace {

// The regular file at path, opened for reading without waiting on anything else at the name; -1.
int OpenRegularToRead(const std::string& path) {
  const int fd = OpenPath(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW);
  struct stat st;
  if (fd < 0 || (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))) return fd;
  ::close(fd);
  errno = EINVAL;
  return -1;
}

}  // namespace

int OpenSharedLock(const std::string& path) {
  const int fd = OpenRegularToRead(path);
  if (fd >= 0 && !LockRange(fd, 0, 0, false)) {
    CloseKeepingErrno(fd);
    return -1;
  }
  return fd;
}

bool FileLocked(const std::string& path) {
  const int fd = OpenRegularToRead(path);
  if (fd < 0) return false;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  const bool locked = ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
  ::close(fd);
  return locked;
}

bool LockRange(int fd, int64_t offset, int64_t length, bool exclusive) {
  struct flock fl {};
  fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = off_t(offset);
  fl.l_len = off_t(length);
  return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool UnlockRange(int fd, int64_t offset, int64_t length) {
  struct flock fl {};
  fl.l_type = F_UNLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = off_t(offset);
  fl.l_len = off_t(length);
  return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

std::string LastErrorText() { return std::strerror(errno); }

}  // namespace plat
