#include "recorder/CartFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/system/files.h"
#include "recorder/StrUtils.h"

namespace {

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= size_t(w);
  }
  return true;
}

// A new empty file of our own in folder, named so that no cart is mistaken for it.
int MakeTempIn(const std::string& folder, std::string& path) {
  std::string tmpl = plat::IncludeTrailingPathDelimiter(folder) + ".solvane-save-XXXXXX";
  int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd >= 0) path = tmpl;
  return fd;
}

bool Cancelled(const TCopyProgress& p) { return p.Cancelled && p.Cancelled(); }

}  // namespace

std::string CartCopyTarget(const std::string& source, const std::string& target) {
  std::string full = plat::ExpandFileName(target);
  if (plat::DirectoryExists(full)) full = plat::IncludeTrailingPathDelimiter(full) + plat::ExtractFileName(source);
  return full;
}

TCopyOutcome CopyCartFile(const std::string& source, const std::string& target, const TCopyProgress& progress,
                          bool replace) {
  const std::string dest = plat::ExpandFileName(target);
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return TCopyOutcome::Failed;
  struct stat st;
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return TCopyOutcome::Failed;
  }
  std::string tmp;
  int out = MakeTempIn(plat::ExtractFilePath(dest), tmp);
  if (out < 0) {
    ::close(in);
    return TCopyOutcome::Failed;
  }
  ::fchmod(out, st.st_mode & 07777);
  if (progress.OnSize) progress.OnSize(int64_t(st.st_size));

  TCopyOutcome outcome = TCopyOutcome::Done;
  std::vector<char> buf(static_cast<size_t>(CartCopyBlock));
  int64_t done = 0;
  for (;;) {
    if (progress.OnBlock) progress.OnBlock(done);
    if (Cancelled(progress)) {
      outcome = TCopyOutcome::Cancelled;
      break;
    }
    ssize_t r = ::read(in, buf.data(), buf.size());
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || !WriteAll(out, buf.data(), size_t(r))) {
      outcome = TCopyOutcome::Failed;
      break;
    }
    done += r;
    if (r == 0) break;
  }
  ::close(in);
  if (outcome == TCopyOutcome::Done && Cancelled(progress)) outcome = TCopyOutcome::Cancelled;
  // The copy must be on the disk before it takes the target's place.
  if (outcome == TCopyOutcome::Done && ::fsync(out) != 0) outcome = TCopyOutcome::Failed;
  if (::close(out) != 0 && outcome == TCopyOutcome::Done) outcome = TCopyOutcome::Failed;
  if (outcome == TCopyOutcome::Done) {
    if (replace ? ::rename(tmp.c_str(), dest.c_str()) != 0 : !plat::RenameNoReplace(tmp, dest))
      outcome = errno == EEXIST && !replace ? TCopyOutcome::Exists : TCopyOutcome::Failed;
  }
  if (outcome != TCopyOutcome::Done) ::unlink(tmp.c_str());
  return outcome;
}

TCopyOutcome MoveCartFile(const std::string& source, const std::string& target, const TCopyProgress& progress) {
  const std::string dest = plat::ExpandFileName(target);
  struct stat st;
  if (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return TCopyOutcome::Failed;
  if (::rename(source.c_str(), dest.c_str()) == 0) return TCopyOutcome::Done;
  if (errno != EXDEV) return TCopyOutcome::Failed;
  TCopyOutcome outcome = CopyCartFile(source, dest, progress);
  if (outcome == TCopyOutcome::Done) ::unlink(source.c_str());
  return outcome;
}

std::string FreeCopyName(const std::string& folder, const std::string& name, int& n) {
  const std::vector<std::string> present = plat::ListFiles(folder, "*.*", true);
  for (;;) {
    const std::string candidate = "Copy (" + std::to_string(++n) + ") of " + name;
    struct stat st;
    if (::lstat((plat::IncludeTrailingPathDelimiter(folder) + candidate).c_str(), &st) == 0) continue;
    if (std::none_of(present.begin(), present.end(), [&](const std::string& f) { return SameText(f, candidate); }))
      return candidate;
  }
}

bool SameCartFile(const std::string& a, const std::string& b) {
  return plat::SameFile(a, b) || plat::ExpandFileName(a) == plat::ExpandFileName(b);
}

std::string FileNameIgnoringCase(const std::string& folder, const std::string& name) {
  std::string found;
  for (const std::string& file : plat::ListFiles(folder, "*.*")) {
    if (!SameText(file, name)) continue;
    if (!found.empty()) return {};
    found = file;
  }
  return found;
}
