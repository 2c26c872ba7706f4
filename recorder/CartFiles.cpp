#include "recorder/CartFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/system/files.h"
#include "platform/system/held_folder.h"
#include "recorder/StrUtils.h"

namespace {

bool Cancelled(const TCopyProgress& p) { return p.Cancelled && p.Cancelled(); }

// What a copy or a move may do to a file that holds the name it takes.
struct TNameRule {
  bool replaceAny = false;    // whatever is there (the deck's own temporary folder)
  plat::FileIdentity agreed;  // else only this file, while it is still that file
};

// Gives the file from (relative to fromDir) the name in folder under rule. A folder at the name
// is no file that holds it but a name that cannot be written (errno EISDIR).
bool TakeName(int fromDir, const std::string& from, int folder, const std::string& name, const TNameRule& rule) {
  if (rule.replaceAny) return plat::RenameAt(fromDir, from, folder, name);
  if (plat::RenameReplacingAt(fromDir, from, folder, name, rule.agreed)) return true;
  if (errno == EEXIST && plat::FolderAt(folder, name)) errno = EISDIR;
  return false;
}

// Copies source to name in folder through a hidden copy there, locked while it is written, that
// takes the name once it is whole and on the disk; error is set on a failure.
TCopyOutcome CopyInto(int folder, const std::string& source, const std::string& name, const TNameRule& rule,
                      const TCopyProgress& progress, int& error) {
  error = 0;
  const auto failed = [&error] {
    error = errno;
    return TCopyOutcome::Failed;
  };
  std::string tmp;
  int out = -1;
  const auto onBlock = [&progress](int64_t done) {
    if (progress.OnBlock) progress.OnBlock(done);
    return !Cancelled(progress);
  };
  TCopyOutcome outcome = TCopyOutcome::Done;
  switch (plat::CopyToWorkFile(source, folder, SaveCopyPrefix, size_t(CartCopyBlock), progress.OnSize, onBlock, tmp,
                               out)) {
    case plat::CopyEnd::Done: break;
    case plat::CopyEnd::Stopped: outcome = TCopyOutcome::Cancelled; break;
    case plat::CopyEnd::Failed: outcome = failed(); break;
  }
  if (outcome == TCopyOutcome::Done && Cancelled(progress)) outcome = TCopyOutcome::Cancelled;
  // The lock is held until the copy has its name or is gone. The folder took the copy, so a
  // refusal to name it may be of the name itself, which the operator then hears.
  if (outcome == TCopyOutcome::Done && !TakeName(folder, tmp, folder, name, rule)) {
    if (errno == EEXIST && !rule.replaceAny) {
      outcome = TCopyOutcome::Exists;
    } else {
      outcome = failed();
      switch (plat::JudgeNameRefusal(folder, name, error)) {
        case plat::NameRefusal::TooLong: error = ENAMETOOLONG; break;
        case plat::NameRefusal::Unsaid: error = SaveNameRefused; break;
        case plat::NameRefusal::NotTheName: break;
      }
    }
  }
  if (outcome != TCopyOutcome::Done && out >= 0) plat::RemoveAt(folder, tmp);
  plat::CloseDescriptor(out);
  return outcome;
}

// Moves source to name in folder; across file systems it is copied and then removed. A source in
// the held temporary folder is taken through its descriptor.
TCopyOutcome MoveInto(int folder, const std::string& source, const std::string& name, const TNameRule& rule,
                      const TCopyProgress& progress, int& error) {
  error = 0;
  errno = 0;
  if (!plat::RegularFileExists(source)) {
    error = errno ? errno : EINVAL;
    return TCopyOutcome::Failed;
  }
  const plat::AtPath from(source);
  if (TakeName(from.Dir(), from.Name(), folder, name, rule)) return TCopyOutcome::Done;
  if (errno == EEXIST && !rule.replaceAny) return TCopyOutcome::Exists;
  if (errno != EXDEV) {
    error = errno;
    return TCopyOutcome::Failed;
  }
  const TCopyOutcome outcome = CopyInto(folder, source, name, rule, progress, error);
  if (outcome == TCopyOutcome::Done) plat::DeleteFile(source);
  return outcome;
}

}  // namespace

std::string CartCopyTarget(const std::string& source, const std::string& target) {
  std::string full = plat::ExpandFileName(target);
  if (plat::DirectoryExists(full)) full = plat::IncludeTrailingPathDelimiter(full) + plat::ExtractFileName(source);
  return full;
}

TCopyOutcome CopyCartFile(const std::string& source, const std::string& target, const TCopyProgress& progress,
                          bool replace) {
  const std::string dest = plat::ExpandFileName(target);
  const plat::FolderHandle folder(plat::ExtractFilePath(dest));
  if (!folder.Ok()) return TCopyOutcome::Failed;
  int error = 0;
  return CopyInto(folder.Fd(), source, plat::ExtractFileName(dest), TNameRule{replace, {}}, progress, error);
}

namespace {

TSaveResult SaveTakeAsItIs(const TSaveRequest& request, const TCopyProgress& progress,
                           const std::function<bool(int attempt)>& tryAgain) {
  TSaveResult result;
  const std::string chosenFolder = plat::ExtractFilePath(request.target);
  const std::string firstName = plat::ExtractFileName(request.target);
  std::string path = request.target;
  TNameRule rule{false, request.agreed};
  int n = 0;  // the last "Copy (n) of" tried
  for (;;) {
    // A folder at the name takes the take under its own name inside.
    const std::string file = CartCopyTarget(request.source, path);
    if (file != path) rule.agreed = {};  // the question was about the folder's name, not this file
    result.folder = std::make_shared<plat::FolderHandle>(plat::ExtractFilePath(file));
    const int folder = result.folder->Fd();
    int error = result.folder->Error();
    TCopyOutcome got = TCopyOutcome::Failed;
    const std::string name = plat::ExtractFileName(file);
    if (result.folder->Ok()) {
      plat::RemoveAbandonedFiles(folder, SaveCopyPrefix);
      got = request.move ? MoveInto(folder, request.source, name, rule, progress, error)
                         : CopyInto(folder, request.source, name, rule, progress, error);
    }
    if (got == TCopyOutcome::Done) {
      result.end = TSaveEnd::Saved;
      result.savedAs = file;
      return result;
    }
    if (got == TCopyOutcome::Exists) {
      result.nameTaken = true;
      // Agreed to or not, a FIFO, a socket or a device at the chosen name is never replaced.
      if (n == 0) {
        const plat::FileIdentity there = plat::IdentifyFileAt(folder, name);
        result.nameNotAFile = there.exists && !there.replaceable;
      }
    } else if (request.move) {
      result.end = TSaveEnd::MoveFailed;
      result.error = error;
      result.failedPath = plat::FileExists(request.source) ? file : request.source;
      return result;
    } else {
      ++result.failedCopies;
      if (!tryAgain(result.failedCopies)) return result;
      if (result.failedCopies >= SaveAttempts) {
        result.end = TSaveEnd::GaveUp;
        return result;
      }
    }
    // Only the chosen name's file was agreed to; a "Copy (n) of" name only ever takes a free name.
    rule.agreed = {};
    path = chosenFolder + FreeCopyName(chosenFolder, firstName, n);
  }
}

}  // namespace

unsigned SavedTakeMode(const std::string& cart) {
  const int own = cart.empty() ? -1 : plat::FileMode(cart);
  return (own >= 0 ? unsigned(own) & 0777 : 0666 & ~plat::ProcessUmask()) | 0600;
}

TSaveResult SaveTake(const TSaveRequest& request, const TCopyProgress& progress,
                     const std::function<bool(int attempt)>& tryAgain) {
  // A move takes the mode with it and a copy takes it from the take; where the take stays, it is
  // its owner's alone again.
  const int was = request.mode >= 0 ? plat::FileMode(request.source) : -1;
  const bool changed = was >= 0 && plat::SetFileMode(request.source, unsigned(request.mode));
  TSaveResult result = SaveTakeAsItIs(request, progress, tryAgain);
  if (changed && plat::RegularFileExists(request.source)) plat::SetFileMode(request.source, unsigned(was));
  return result;
}

std::string SaveErrorReason(int error) {
  switch (error) {
    case SaveNameRefused: return "That folder refused the name: it may hold a character the folder does not accept.";
    case ENAMETOOLONG: return "The name is too long for that folder.";
    case EINVAL:
    case EILSEQ: return "That folder does not accept a character of the name.";
    case ENOSPC:
    case EDQUOT: return "The disk is full.";
    case EROFS: return "That folder is read-only.";
    case EACCES:
    case EPERM: return "Writing into that folder is not allowed.";
    case ENOENT:
    case ENOTDIR: return "That file or folder does not exist.";
    case EISDIR: return "A folder has that name.";
    default: return std::strerror(error);
  }
}


std::string FreeCopyName(const std::string& folder, const std::string& name, int& n) {
  const std::vector<std::string> present = plat::ListFiles(folder, "*.*", true);
  for (;;) {
    const std::string candidate = "Copy (" + std::to_string(++n) + ") of " + name;
    if (plat::PathTaken(plat::IncludeTrailingPathDelimiter(folder) + candidate)) continue;
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
