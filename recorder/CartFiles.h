#pragma once
// Copying and moving a cart's file to where it is saved. A target is never deleted first and
// never left half written: a copy goes to a temporary file in the target's folder, which takes
// the target's place in one step only once it is complete, and is removed when the copy fails or
// is cancelled. So whatever happens, the target is either the old file or the whole new one.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/system/names.h"

// The copy's block size.
constexpr int64_t CartCopyBlock = 8192;

struct TCopyProgress {
  // The source's size, once it is open.
  std::function<void(int64_t total)> OnSize;
  // Before each block, with the bytes copied so far: the window handles its messages here.
  std::function<void(int64_t done)> OnBlock;
  // Asked before each block and once more at the end; true stops the copy (it then fails).
  std::function<bool()> Cancelled;
};

// Exists: the copy was to take a name of its own and a file held that name (it is left alone).
enum class TCopyOutcome { Done, Failed, Cancelled, Exists };

// The full path a copy to target writes: target made absolute; when that is an existing folder,
// the source's file name inside it.
std::string CartCopyTarget(const std::string& source, const std::string& target);

// Copies source to the file target in blocks of CartCopyBlock bytes (a folder is never replaced).
// Without replace the copy only ever creates target: a file that holds the name, or takes it
// meanwhile, stays as it is.
TCopyOutcome CopyCartFile(const std::string& source, const std::string& target, const TCopyProgress& progress = {},
                          bool replace = true);

// The hidden copies a save writes in the destination folder before they take their name. Each is
// locked while its writer lives, so a save removes those whose writer was killed or lost its
// folder (plat::RemoveAbandonedFiles), never another deck's copy in progress.
constexpr const char* SaveCopyPrefix = ".solvane-save-";

// How many copies a save tries (the first under the chosen name, then under "Copy (n) of" names)
// before it asks for another name.
constexpr int SaveAttempts = 3;

// A save: the take's file and where it goes.
struct TSaveRequest {
  std::string source;
  std::string target;  // the path chosen, made absolute (a folder there takes the take inside)
  bool move = false;   // made in the temporary folder: the file itself goes (copied across file systems)
  // The file at target the operator agreed to replace (the save dialog asked); none: the save
  // replaces nothing.
  plat::FileIdentity agreed;
  // The saved file's permission bits, for a take that is its owner's alone where it lies (the
  // temporary folder) and keeps them there; -1: the take's own.
  int mode = -1;
};

// The permission bits a take leaving the temporary folder is saved with: those of the cart it was
// copied from to be edited (cart), else those of a new file under the umask; always its owner's to
// read and write, as the take was.
unsigned SavedTakeMode(const std::string& cart);

enum class TSaveEnd {
  Saved,
  Cancelled,   // a copy failed and the operator did not try again
  GaveUp,      // SaveAttempts copies failed: another name is to be asked for
  MoveFailed,  // the take could not be moved (error says why)
};

struct TSaveResult {
  TSaveEnd end = TSaveEnd::Cancelled;
  std::string savedAs;     // the file the take became, as the folder was named when the save began
  int failedCopies = 0;    // copies that failed before the one that saved
  bool nameTaken = false;  // a file nobody agreed to replace held the chosen name: it stayed
  bool nameNotAFile = false;  // what held the chosen name was no regular file, which nothing replaces
  int error = 0;           // errno of a failed move
  std::string failedPath;  // the file it failed on: the take's, or the one it was to become
  // The destination folder, held open from the start of the save: where the take is now, should
  // the folder be moved or renamed.
  std::shared_ptr<plat::FolderHandle> folder;
};

// Saves the take. A move replaces at most the agreed file, and only while it is still that file;
// a copy the same, through a hidden copy in the folder that takes the name only once it is whole.
// A name held by any other file, or taken meanwhile, stays as it is, and the take goes to the next
// "Copy (n) of" name that nothing holds (nameTaken). A copy that fails asks tryAgain(attempt)
// (the attempt that failed, from 1): no ends the save, yes tries again under the next free
// "Copy (n) of" name, up to SaveAttempts copies in all. Before anything is written, the hidden
// copies in the folder whose writer is gone are removed.
TSaveResult SaveTake(const TSaveRequest& request, const TCopyProgress& progress,
                     const std::function<bool(int attempt)>& tryAgain);

// A failed save's error (no errno) where the folder took the hidden copy but refused to give it a
// name that is not too long, saying no more than "not permitted" (plat::NameRefusal::Unsaid).
constexpr int SaveNameRefused = -1;

// Why a file could not be given its name, in words for the operator (from errno, or
// SaveNameRefused).
std::string SaveErrorReason(int error);

// The name of a save's next retry: "Copy (n) of " + name with the first n above the last one
// tried that nothing in folder holds, in any letter case; n becomes that number.
std::string FreeCopyName(const std::string& folder, const std::string& name, int& n);

// Whether two paths name the same file: the same file on disk (links and case included, as the
// file system decides), or the same path once made absolute.
bool SameCartFile(const std::string& a, const std::string& b);

// The name of the one file in folder whose name is name in any letter case (a name stored or typed
// as "CART.WAV" still finds "cart.wav"); empty when there is none, or more than one.
std::string FileNameIgnoringCase(const std::string& folder, const std::string& name);
