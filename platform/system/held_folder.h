#pragma once
// A folder the program keeps for itself for a whole run, held by a descriptor rather than by its
// name: opened once without following a link, judged by what the descriptor shows (the folder and
// every folder above it), and locked for the run (a BSD lock on the folder itself, which also keeps
// an age clean-up such as tmpfiles' away from it). While it is held, every file routine of the
// platform (files.h, audio/riff_io.h) reaches a path directly inside it through the descriptor: a
// folder moved away or a link put at its name never leads a read, a write or a removal to another
// folder, nothing in it is opened through a link, and a file in it with more than one link is never
// opened for writing.
#include <cstdint>
#include <memory>
#include <string>

namespace plat {

// Why a folder could not be held.
enum class FolderFault {
  None,
  CannotMake,    // not there and could not be made, or something other than a folder
  Link,          // a link stands at the folder's name
  Theirs,        // the folder (or what stands at its name), a folder above it or a link on the way to it
                 // belongs to another account
  OpenToOthers,  // the folder is the account's own, but another account may write to it
  Movable,       // a folder above it that another account may write to and that is not sticky
  InUse,         // another process holds it
};

struct FolderVerdict {
  FolderFault fault = FolderFault::None;
  std::string culprit;  // the folder at fault, with a trailing "/"
  std::string owner;    // for Theirs: the account it belongs to (its name, else "user ID n")
  bool live = false;    // for Theirs: a running program holds that folder (another account's deck)
  bool ended = false;   // for InUse: the process holding it has ended but for a read or write that a
                        // disk which does not answer holds, and lets the folder go once that ends
  std::string reason;   // for CannotMake: what the system said
  bool Held() const { return fault == FolderFault::None; }
};

class HeldFolder {
public:
  HeldFolder() = default;
  ~HeldFolder();
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;

  // Makes the folder at path when it is missing (each level it makes with mode 0700, whatever the
  // umask; a folder above that is there is judged before anything is made in it) and holds it when:
  // it is a folder of this account's that no other account may write to (one others may only read
  // is made this account's alone); every folder above it belongs to this account or root, and
  // another account may write to one only when it is sticky (so no one else can move it away); every
  // link on the way to it is this account's or root's (another account's could lead it to any folder
  // of ours); and no other process holds it.
  FolderVerdict Hold(const std::string& path);
  // Holds it as Hold does, beside other processes that hold it so too (several decks of one account
  // keeping their takes in one folder); one that holds it alone keeps it from them (InUse), and
  // they keep it from one that would hold it alone.
  FolderVerdict HoldShared(const std::string& path);
  // From now on the folder held alone is held as HoldShared holds it.
  void Share();
  // Makes a folder in parent under prefix and six random characters, a name nothing held before
  // (mkdtemp), and holds it as Hold does: it is 0700 whatever the umask, and parent is judged
  // before anything is made in it (a link of another account's on the way, a parent that other
  // accounts may write to and that is not sticky), so that nothing is made where it is refused.
  FolderVerdict HoldNew(const std::string& parent, const std::string& prefix);
  // The held folder has been removed: nothing can be made in it any more.
  bool Gone() const;
  // Once the held folder is gone, holds the folder at the same path again, made anew and judged as
  // Hold does. Nothing to do while it is there. One that cannot be held leaves the folder gone held,
  // so that nothing in it is reached by its path meanwhile.
  FolderVerdict Rehold();
  void Release();
  bool IsHeld() const { return fd_ != nullptr; }
  // The path it was asked for, with a trailing "/".
  const std::string& Path() const { return path_; }

  struct Descriptor;

private:
  // Hold without letting go first: what was held stays held unless path can be.
  FolderVerdict Take(const std::string& path);
  std::string path_, key_;
  std::shared_ptr<Descriptor> fd_;
  bool shared_ = false;
};

// A path as the *at routines of files.h take it: directly inside a held folder, that folder's
// descriptor and the name in it ("." for the folder itself); any other path, AT_FDCWD and the path.
class AtPath {
public:
  explicit AtPath(const std::string& path);
  int Dir() const;
  const char* Name() const { return name_.c_str(); }
  bool Held() const { return held_ != nullptr; }
  // Inside a held folder no link is followed: what open and stat flags add for that.
  int OpenNoFollow() const;
  int StatNoFollow() const;

private:
  std::shared_ptr<HeldFolder::Descriptor> held_;
  std::string name_;
};

// A file kept open for as long as it is held, so that what it holds outlives the removal of its
// name (a clean-up that empties a folder under a take, running or stopped).
class HeldFile {
public:
  HeldFile() = default;
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  // Opens the file at path for reading; false when there is none.
  bool Hold(const std::string& path);
  // The file has no name left.
  bool Removed() const;
  // What stands at path, reached as the file routines reach it (no link followed in a held
  // folder), is the held file itself.
  bool At(const std::string& path) const;
  // The names the held file has; 0 when none is held.
  int64_t Links() const;
  // Writes everything the file holds into a new file at path (never over one that is there),
  // readable and writable by its owner alone, on the disk before this returns, and holds that file
  // from then on; false, with nothing left at path and the old file still held, when it could not
  // be written whole (errno EEXIST: something stands at path).
  bool WriteOut(const std::string& path);
  void Release();
  bool IsHeld() const { return fd_ >= 0; }

private:
  int fd_ = -1;
};

}  // namespace plat
