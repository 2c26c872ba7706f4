#pragma once
// Taking a name for a file without replacing what holds it, replacing only the file someone agreed
// to, and the hidden files of work in progress. Every name the program takes without replacing is
// taken here, so a folder shared with other workstations, or on a file system that
// cannot refuse in a rename or a link, behaves the same everywhere.
#include <cstdint>
#include <functional>
#include <string>

namespace plat {

// Gives the file at from the name to, in the same file system, when nothing holds that name:
// whatever is there, or takes the name meanwhile, stays (false, errno EEXIST). It is one step where
// the file system can refuse in a rename (a no-replace rename) or in a link (a second link, then
// the first removed). Where it can do neither (FAT, some FUSE and network file systems) the name is
// made by an exclusive create and from renamed over that empty file, so the name never holds a part
// of from; where even that rename is refused, from's bytes are copied into it with from's mode and
// group (without the group's bits where that group cannot be given) and from is removed, and a copy
// that fails removes what it made.
bool RenameNoReplace(const std::string& from, const std::string& to);
// The same with each name relative to a folder's descriptor (AT_FDCWD: the working folder).
bool RenameNoReplaceAt(int fromDir, const std::string& from, int toDir, const std::string& to);

// What a refusal to give a file of ours a name in the folder dir, which took that file, says of the
// name (error: the errno of the attempt). Some file systems (FUSE FAT drivers, some shares) say no
// more than EPERM or EACCES for a name they cannot hold.
enum class NameRefusal {
  NotTheName,  // another error, or a file stands at the name: error tells it
  TooLong,     // the name is longer than the folder's names may be
  Unsaid,      // EPERM or EACCES with nothing at a name that is not too long: the name may hold a
               // character the folder does not accept, or the folder refused for a reason of its own
};
NameRefusal JudgeNameRefusal(int dir, const std::string& name, int error);

// Which file stands at a name: the device, the inode, and its size and last write, so that a file
// written again in place is another. A link is the link itself. Only a regular file or a link
// (which goes as a name, whatever it leads to) is replaceable: never a FIFO, a device or a socket.
struct FileIdentity {
  bool exists = false;
  bool replaceable = false;
  uint64_t device = 0, inode = 0;
  int64_t size = 0, modifiedNs = 0;
  bool operator==(const FileIdentity&) const = default;
};
FileIdentity IdentifyFile(const std::string& path);
FileIdentity IdentifyFileAt(int dir, const std::string& name);

// Moves from onto to, replacing the file there only when it is agreed, the file someone chose to
// replace, at the moment it goes: it is swapped out in one step and judged where it went, and a
// file that took the name after the agreement is put back (false, errno EEXIST). Where the file
// system cannot swap, the file at to is renamed aside, judged, and only then replaced. With
// nothing agreed, the agreed file gone, or one that is not replaceable agreed, nothing is
// replaced (RenameNoReplaceAt).
bool RenameReplacingAt(int fromDir, const std::string& from, int toDir, const std::string& to,
                       const FileIdentity& agreed);

// A folder held open: its descriptor, for names relative to it, and the path it has now, also
// after it was moved or renamed. The held folder (held_folder.h) is the one it holds, never what a
// link put at its name leads to.
class FolderHandle {
public:
  explicit FolderHandle(const std::string& path);
  ~FolderHandle();
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;
  bool Ok() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  // Why it could not be opened (errno), else 0.
  int Error() const { return error_; }
  // With a trailing "/"; the path it was opened with when the system cannot tell.
  std::string Path() const;

private:
  int fd_ = -1;
  int error_ = 0;
  std::string opened_;
};

// A file of work in progress: made new (mode 0600) in the folder dir, named prefix and six random
// characters, open for writing and locked for as long as it stays open, so that
// RemoveAbandonedFiles, in this or another process or workstation, leaves it alone. Its
// descriptor (name set), or -1.
int CreateLockedFileAt(int dir, const std::string& prefix, std::string& name);
// Removes the regular files in dir named prefix... whose writer is gone: nobody holds their lock
// and nothing wrote to them for AbandonedAfterSeconds (a writer locks its file the moment it makes
// it; the pause covers that moment). The number removed.
constexpr int64_t AbandonedAfterSeconds = 10;
int RemoveAbandonedFiles(int dir, const std::string& prefix);

// Copies the regular file at source, with its mode (and always its owner's to write), into a new work file in dir (as
// CreateLockedFileAt makes it), block bytes at a time, and puts it on the disk. onSize hears the
// source's size; onBlock, asked with the bytes copied so far before each block, stops the copy by
// returning false (Stopped). name and fd are set once the work file is made, whatever comes after:
// the caller gives it its name or removes it, and then closes fd. On Failed errno says why.
enum class CopyEnd { Done, Failed, Stopped };
CopyEnd CopyToWorkFile(const std::string& source, int dir, const std::string& prefix, size_t block,
                       const std::function<void(int64_t total)>& onSize,
                       const std::function<bool(int64_t done)>& onBlock, std::string& name, int& fd);

}  // namespace plat
