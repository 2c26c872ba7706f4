#include "recorder/DeckTemp.h"

#include <cerrno>

#include "platform/audio/riff_io.h"
#include "platform/system/files.h"
#include "recorder/CartTail.h"

using plat::FolderFault;

std::string DeckTempFolder() { return plat::LastingTempPath(DeckTempAccountPrefix) + "Solvane/"; }

namespace {

// How a refusal names the folder and what the operator can set to have another.
struct FolderWords {
  const char* noun;
  const char* variable;
  bool temporary;  // the deck's temporary folder, whose own messages these are
};
constexpr FolderWords kTempWords{"The temporary folder", "TMPDIR", true};
constexpr FolderWords kPrivateWords{"Solvane's own folder", "XDG_STATE_HOME", false};

std::string InUseText(const std::string& folder, const plat::FolderVerdict& v, const FolderWords& w) {
  if (v.ended)
    return std::string("A Solvane that was ended still holds the ") + (w.temporary ? "temporary folder " : "folder ") +
           folder +
           ": the system keeps it until a disk that does not answer (a network share, a USB disk) has taken "
           "its last read or write, and lets the folder go as soon as that disk answers or is removed. There is "
           "no window to close.\r\n\r\nStart Solvane again once that disk is back, or start this one with "
           "another temporary folder (TMPDIR); what the ended Solvane recorded stays in " +
           folder + " for a later start.";
  return std::string("Solvane is already running with the ") + (w.temporary ? "temporary folder " : "folder ") +
         folder +
         " in another session.\r\n\r\nOnly one Solvane at a time can use that folder. Close the other one "
         "first, or start this one with another temporary folder (TMPDIR).";
}

// Another account's folder: the operator can neither change nor (in a sticky /var/tmp) remove it.
std::string TheirsReason(const std::string& folder, const plat::FolderVerdict& v, const FolderWords& w) {
  const std::string where = v.culprit == folder ? w.noun + (" " + folder)
                                                : w.noun + (" " + folder) + " lies in " + v.culprit + ", which";
  return where + " belongs to another account (" + v.owner + ")" +
         (v.live ? " and is in use by that account's running Solvane" : "") +
         ", so Solvane cannot keep its recordings there.";
}

// Removing it is what an administrator can do, unless a deck of its owner uses it; a home or state
// folder of another's is never one to remove.
bool Removable(const plat::FolderVerdict& v, const FolderWords& w) { return w.temporary && !v.live; }

std::string TheirsText(const std::string& folder, const plat::FolderVerdict& v, const FolderWords& w) {
  return TheirsReason(folder, v, w) + "\r\n\r\nSet " + w.variable + " to a folder of your own" +
         (Removable(v, w) ? ", or ask an administrator to remove " + v.culprit : "") + ", and start Solvane again.";
}

std::string Refusal(const plat::FolderVerdict& v, const std::string& folder, const FolderWords& w) {
  const std::string noun = w.noun, variable = w.variable;
  switch (v.fault) {
    case FolderFault::None: return {};
    case FolderFault::CannotMake:
      return (w.temporary ? "Error Creating Temp Directory" : "Solvane could not make its own folder") +
             ("\r\n\r\n" + v.culprit) + (v.reason.empty() ? "" : "\r\n" + v.reason);
    case FolderFault::Link:
      return noun + " " + folder +
             " is a link. Solvane keeps its recordings only in a folder of your own.\r\n\r\nRemove the link "
             "(what it points at stays as it is), or set " +
             variable + " to a folder of yours, and start Solvane again.";
    case FolderFault::Theirs: return TheirsText(folder, v, w);
    case FolderFault::OpenToOthers:
      return noun + " " + folder +
             " is yours, but other accounts may write to it, so Solvane cannot keep its recordings "
             "there.\r\n\r\nIt may hold a recording: do not remove it. Make it yours alone with\r\n\r\nchmod 700 " +
             folder + "\r\n\r\nand start Solvane again.";
    case FolderFault::Movable:
      return noun + " " + folder + " lies in " + v.culprit +
             ", which other accounts may write to: they could move the folder away or put another in its "
             "place while Solvane runs.\r\n\r\nSet " +
             variable +
             " to a folder of your own that only you can write to "
             "(or, if " +
             v.culprit + " is yours, take their right to write away with chmod go-w " + v.culprit +
             "), and start Solvane again.";
    case FolderFault::InUse: return InUseText(folder, v, w);
  }
  return {};
}

}  // namespace

std::string DeckTempRefusal(const plat::FolderVerdict& v, const std::string& folder) {
  return Refusal(v, folder, kTempWords);
}

std::string DeckTempFallbackText(const plat::FolderVerdict& refused, const std::string& folder,
                                 const std::string& fallback) {
  return TheirsReason(folder, refused, kTempWords) + "\r\n\r\nSolvane keeps them in your own folder " + fallback +
         " instead, where a recording cut short is found at the next start." +
         (Removable(refused, kTempWords)
              ? " To have them in " + folder + " again, ask an administrator to remove " + refused.culprit + "."
              : "");
}

std::string DeckPrivateFolder() {
  const std::string state = plat::AccountStatePath();
  return state.empty() ? state : state + "Solvane/";
}

plat::FolderVerdict HoldPrivateFolder(plat::HeldFolder& folder, const std::string& name, bool shared) {
  const std::string root = DeckPrivateFolder();
  if (root.empty()) {
    plat::FolderVerdict v;
    v.fault = FolderFault::CannotMake;
    v.culprit = "~/.local/state/Solvane/";
    v.reason = "Neither XDG_STATE_HOME nor a home folder is known for this account.";
    return v;
  }
  return shared ? folder.HoldShared(root + name + "/") : folder.Hold(root + name + "/");
}

std::string PrivateFolderRefusal(const plat::FolderVerdict& v, const std::string& folder) {
  return Refusal(v, folder, kPrivateWords);
}

std::string SaveIntoTempText(const std::string& folder) {
  return "Solvane's temporary folder " + folder +
         " is emptied at every Eject: a file saved there would be lost.\r\n\r\nPlease choose "
         "another folder.";
}

namespace {

// Why a take could not go into a folder, in a few words: the folder it was in (again), or the
// folder for rescued takes.
std::string NotBackReason(const plat::FolderVerdict& v, bool again) {
  const std::string now = again ? "now " : "";
  switch (v.fault) {
    case FolderFault::None: return "it could not be written there (the disk may be full)";
    case FolderFault::CannotMake:
      return "the folder could not be made" + std::string(again ? " again" : "") +
             (v.reason.empty() ? std::string() : " (" + v.reason + ")");
    case FolderFault::Link: return "a link " + now + "stands at the folder's name";
    case FolderFault::Theirs:
      return "what " + now + "stands at " + v.culprit + " belongs to another account (" + v.owner + ")";
    case FolderFault::OpenToOthers: return "other accounts may " + now + "write to the folder";
    case FolderFault::Movable:
      return "other accounts may " + now + "write to " + v.culprit + ", which holds the folder";
    case FolderFault::InUse: return "another Solvane " + now + "holds the folder";
  }
  return {};
}

}  // namespace

std::string TakeBackText(const TTakeBackNote& n) {
  const std::string what = "The file of this recording, " + n.path + ", was removed from " +
                           (n.wasRescued ? "the folder it had been rescued to " : "the temporary folder ") +
                           (n.recording ? "while it was being recorded" : "after it was recorded") +
                           (n.wasRescued ? "." : " (a clean-up of temporary files, perhaps).");
  const std::string notBack = "\r\n\r\nIt could not go back into " +
                              std::string(n.wasRescued ? "that folder" : "the temporary folder") + ": " +
                              NotBackReason(n.verdict, true);
  switch (n.back) {
    case TTakeBack::WrittenOut:
      return what + "\r\n\r\nSolvane has written the whole take out again under its name. Save it before "
                    "you eject it.";
    case TTakeBack::Rescued:
      return what + notBack + ". Solvane has written the whole take out to\r\n\r\n" + n.where +
             "\r\n\r\nin a folder of your own that no other account can reach. Save it from there before you "
             "eject it; should Solvane end first, the next start offers it again.";
    case TTakeBack::RescuedAlone:
      return what + notBack + "; nor into your own folder " + n.own + ": " + NotBackReason(n.ownVerdict, false) +
             ". Solvane has written the whole take out to\r\n\r\n" + n.where +
             "\r\n\r\nin a folder made for it alone, which no other account can reach. Save it from there "
             "before you eject it; should Solvane end first, open it from there yourself: the next start does "
             "not look for it there.";
    case TTakeBack::Lost: break;
  }
  return what + "\r\n\r\nSolvane could not write the take out again: it is lost.";
}

std::string SecondNameText(const std::string& path, bool take) {
  return std::string("The file of this ") + (take ? "take" : "cart") + ", " + path +
         ", has another name as well (a second hard link, such as a backup made with cp -al leaves). Recording "
         "into it would change the file under that name too, so Solvane does not record into it.\r\n\r\nRemove "
         "the other name and record again" +
         (take ? ", or save the take as it is." : ".");
}

std::string RecordRefusalText(const std::string& path, bool take) {
  plat::SmallRead refusal = plat::SmallRead::Read;
  errno = 0;
  if (plat::RiffFile::Open(path, plat::RiffMode::ReadWrite, &refusal)) return {};
  const int error = errno;
  if (error == EMLINK) return SecondNameText(path, take);
  return "Solvane cannot record into " + path + ": " +
         plat::RefusalReason(refusal == plat::SmallRead::Read ? plat::SmallRead::Failed : refusal, error) + ".";
}

namespace {

std::vector<std::string> NamedAsTakes(const std::string& folder, bool linked) {
  std::vector<std::string> takes;
  for (const plat::FolderEntry& e : plat::ListEntries(folder))
    if (e.kind == plat::FolderEntry::File && (e.links > 1) == linked && plat::MatchesMask(e.name, "*.wav"))
      takes.push_back(e.name);
  return takes;
}

}  // namespace

std::vector<std::string> LeftoverTakes(const std::string& folder) { return NamedAsTakes(folder, false); }

std::vector<std::string> LinkedLeftovers(const std::string& folder) { return NamedAsTakes(folder, true); }

std::string LinkedLeftoverText(const std::string& path, const std::string& length) {
  return "A recording was left in the temporary folder: " + path + (length.empty() ? "" : " (" + length + ")") +
         ".\r\n\r\nIt has another name as well (a second hard link, such as a backup made with cp -al leaves), "
         "so Solvane does not take it back: recording into it would change the file under that name too. Its "
         "audio stays under that other name; Solvane lets this name go at the next new cart of that name, Eject "
         "or exit.";
}

bool HoldsLeftovers(const std::string& folder) {
  for (const plat::FolderEntry& e : plat::ListEntries(folder))
    if (e.kind == plat::FolderEntry::File && (e.name == kCartTailName || plat::MatchesMask(e.name, "*.wav")))
      return true;
  return false;
}

bool EmptyDeckTemp(const std::string& folder) {
  const std::string dir = plat::IncludeTrailingPathDelimiter(folder);
  bool ok = true;
  for (const plat::FolderEntry& e : plat::ListEntries(folder)) {
    const bool kept = e.name == kCartTailName && e.kind == plat::FolderEntry::File;
    if (e.kind != plat::FolderEntry::Folder && !kept) ok = plat::DeleteFile(dir + e.name) && ok;
  }
  return ok;
}

bool InDeckPrivateFolder(const std::string& path) {
  const std::string root = DeckPrivateFolder();
  const std::string in = plat::ExtractFilePath(plat::ExpandFileName(path));
  return !root.empty() && plat::SameFile(plat::ExtractFilePath(plat::ExcludeTrailingPathDelimiter(in)), root);
}

bool InDeckTemp(const std::string& folder, const std::string& path) {
  return plat::SameFile(plat::ExtractFilePath(plat::ExpandFileName(path)), folder);
}
