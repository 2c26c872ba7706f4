#include "recorder/DeckTemp.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/system/files.h"
#include "recorder/CartTail.h"
#include "recorder/FileUtils.h"

std::string DeckTempFolder() { return TempFolder() + "Solvane/"; }

TDeckTempState PrepareDeckTemp(const std::string& folder, std::string& culprit) {
  switch (plat::MakePrivateFolder(folder, &culprit)) {
    case plat::FolderCheck::Private: return TDeckTempState::Ready;
    case plat::FolderCheck::NotPrivate: return TDeckTempState::NotPrivate;
    default: return TDeckTempState::CannotMake;
  }
}

std::string NotPrivateText(const std::string& culprit) {
  return "The temporary folder " + culprit +
         " is not yours alone: it belongs to another account, others may write to it, or it is "
         "a link.\r\n\r\nSolvane keeps its "
         "recordings only in a folder of your own. Remove that folder, or set TMPDIR to a "
         "folder of yours, and start Solvane again.";
}

std::string FolderInUseText(const std::string& folder) {
  return "Solvane is already running with the temporary folder " + folder +
         " in another session.\r\n\r\nOnly one Solvane at a time can use that folder. Close the "
         "other one first, or start this one with another temporary folder (TMPDIR).";
}

std::string SaveIntoTempText(const std::string& folder) {
  return "Solvane's temporary folder " + folder +
         " is emptied at every Eject: a file saved there would be lost.\r\n\r\nPlease choose "
         "another folder.";
}

namespace {

// Every name in the folder with what lstat says of it: links are seen as links.
template <typename Visit>
void EachEntry(const std::string& folder, Visit visit) {
  const std::string dir = plat::IncludeTrailingPathDelimiter(folder);
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (::lstat((dir + name).c_str(), &st) == 0) visit(name, st);
  }
  ::closedir(d);
}

}  // namespace

std::vector<std::string> LeftoverTakes(const std::string& folder) {
  std::vector<std::string> takes;
  EachEntry(folder, [&](const std::string& name, const struct stat& st) {
    if (S_ISREG(st.st_mode) && plat::MatchesMask(name, "*.wav")) takes.push_back(name);
  });
  std::sort(takes.begin(), takes.end());
  return takes;
}

bool EmptyDeckTemp(const std::string& folder) {
  const std::string dir = plat::IncludeTrailingPathDelimiter(folder);
  std::vector<std::string> names;
  EachEntry(folder, [&](const std::string& name, const struct stat& st) {
    const bool kept = name == kCartTailName && S_ISREG(st.st_mode);
    if (!S_ISDIR(st.st_mode) && name != DeckLockName && !kept) names.push_back(name);
  });
  bool ok = true;
  for (const std::string& name : names) ok = ::unlink((dir + name).c_str()) == 0 && ok;
  return ok;
}

void DropLink(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(path.c_str());
}

bool InDeckTemp(const std::string& folder, const std::string& path) {
  return plat::SameFile(plat::ExtractFilePath(plat::ExpandFileName(path)), folder);
}
