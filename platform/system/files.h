#pragma once
// Files, folders and paths. Paths use "/"; a folder path returned with a trailing separator says so.
// A path directly inside a held folder (held_folder.h) is reached through that folder's descriptor,
// never through a link.
#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/system/names.h"  // RenameNoReplace: taking a name without replacing

namespace plat {

bool FileExists(const std::string& path);  // a regular file (or anything that is not a folder)
bool DirectoryExists(const std::string& path);
bool PathTaken(const std::string& path);  // anything stands at the name, a link included
bool RegularFileExists(const std::string& path);
// Whether what an account owns may be trusted: this account's and root's, which nobody else can
// change. A link or a folder of any other account leads, or may be made to lead, wherever its owner
// likes.
bool TrustedOwner(uint32_t uid);
// A link at a name is followed only when its owner is trusted: one another account put in a folder
// it shares with us would lead us wherever its owner likes. This is where that is judged for a name.
enum class LinkAt { None, Trusted, Untrusted };
LinkAt LinkStandingAt(const std::string& path);
bool CreateDir(const std::string& path);         // one level
bool ForceDirectories(const std::string& path);  // every missing level
bool DeleteFile(const std::string& path);
bool RemoveDir(const std::string& path);  // an empty folder
// Removes a link standing at path (only a link: what it points at stays as it is).
bool RemoveLink(const std::string& path);
// Names relative to a folder's descriptor (AT_FDCWD: the working folder; AtPath in held_folder.h
// gives one for a path): a rename that replaces what holds the name, whether a folder stands at a
// name (not through a link), and the removal of a name.
bool RenameAt(int fromDir, const std::string& from, int toDir, const std::string& to);
bool FolderAt(int dir, const std::string& name);
bool RemoveAt(int dir, const std::string& name);
void CloseDescriptor(int fd);
// Whether the descriptor was opened for writing.
bool DescriptorWritable(int fd);
// Moves a file; across file systems it copies and then removes the source.
bool RenameFile(const std::string& from, const std::string& to);
// Copies a regular file's bytes (and its mode) without waiting on what stands at either name.
// With failIfExists an existing target is left alone; else it is taken as OpenFileForWriting
// takes it.
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists = false);
// Copies what is left to read of descriptor in into out, block bytes at a time; onBlock, asked with
// the bytes copied so far before each block, stops the copy by returning false. True once in is
// read to its end and all of it is written.
bool CopyBytes(int in, int out, const std::function<bool(int64_t done)>& onBlock = {}, size_t block = 1 << 20);
// A new file of our own (mode 0600) in folder, named prefix and six random characters, holding
// data; its path, or empty when none could be made and written whole.
std::string CreateUniqueFile(const std::string& folder, const std::string& prefix, const std::string& data = {});
// The same, empty and open for reading and writing, made with mode (less the umask): its
// descriptor (path set), or -1.
int CreateUniqueFd(const std::string& folder, const std::string& prefix, std::string& path, unsigned mode = 0600);
int64_t FileSize(const std::string& path);  // -1 when there is no such file
// Read-only means no write bit in the mode, so it holds for root too.
bool IsReadOnly(const std::string& path);
bool SetReadOnly(const std::string& path, bool readOnly);
// The permission bits of the file at path (not followed through a link in a held folder), -1 when
// there is none; SetFileMode changes them, false when it could not.
int FileMode(const std::string& path);
bool SetFileMode(const std::string& path, unsigned mode);
// The process's umask as the system reports it, without changing it (022 where it does not say).
unsigned ProcessUmask();
// Last modification time (seconds since the epoch), -1 when there is no such file.
int64_t FileAge(const std::string& path);
bool SetFileAge(const std::string& path, int64_t unixSeconds);
bool SameFile(const std::string& a, const std::string& b);  // the same inode
// What stat(2) says of what stands at path, reached as every routine here reaches a path; false
// when nothing is there or it cannot be reached.
struct FileFacts {
  bool regular = false;
  uint64_t device = 0, inode = 0;
  int64_t size = 0;
};
bool StatFile(const std::string& path, FileFacts& facts);

// Free and total bytes of the file system that holds path (or its nearest existing parent).
// On failure free is 0, total is 1 and the result is false.
bool GetDiskFree(const std::string& path, int64_t& freeBytes, int64_t& totalBytes);

// What stands in a folder under one name, as it is (a link is a link).
struct FolderEntry {
  enum Kind { File, Folder, Link, Other };
  std::string name;
  Kind kind = Other;
  int64_t links = 0;  // names the file has in all
};
// Everything in folder (not recursive), in name order.
std::vector<FolderEntry> ListEntries(const std::string& folder);

// Names in folder (not recursive) whose name matches mask ("*" and "?"), compared without
// regard to case; "*.*" matches every name. Only files unless withFolders.
std::vector<std::string> ListFiles(const std::string& folder, const std::string& mask, bool withFolders = false);
bool MatchesMask(const std::string& name, const std::string& mask);  // case-insensitive

std::string ExtractFilePath(const std::string& path);  // folder with trailing "/"
std::string ExtractFileDir(const std::string& path);   // folder without trailing "/"
std::string ExtractFileName(const std::string& path);
std::string ExtractFileExt(const std::string& path);  // ".wav", or empty
std::string ChangeFileExt(const std::string& path, const std::string& ext);
std::string IncludeTrailingPathDelimiter(const std::string& path);
std::string ExcludeTrailingPathDelimiter(const std::string& path);
std::string ExpandFileName(const std::string& path);  // absolute, without "." and ".."

bool ReadWholeFile(const std::string& path, std::string& data);
// Reads a whole file while it holds the lock lock takes on all of it (given the descriptor, opened
// for writing where the file may be written, and the file's length), and lets it go after; false
// when it could not be opened, locked or read.
bool ReadWholeFileLocked(const std::string& path, std::string& data,
                         const std::function<bool(int fd, int64_t length)>& lock);

// ---- small files the program reads whole: settings, users, the library, the address book, the
// destination list. They are read on the UI thread, so nothing at their names may block it or
// fill memory: a FIFO, a device or a link to one, or a file grown past any such list, is refused,
// and so is a folder, which holds no list either.
// The largest the program writes itself, a library of 250 programs with long save folders, is
// about 100 KB; a few MB leave room for lists kept by hand and still read at once.
constexpr int64_t SmallFileLimit = int64_t(4) << 20;
enum class SmallRead {
  Read,       // data holds the whole file
  Missing,    // nothing at the name
  Folder,     // a folder at the name
  NotAFile,   // a FIFO, a device or a socket
  TooLarge,   // larger than the limit
  OthersLink, // a link another account made: followed by nobody but its owner
  Failed,     // could not be opened or read; error holds errno
};
struct SmallFile {
  SmallRead result = SmallRead::Missing;
  int error = 0;
  int64_t limit = SmallFileLimit;  // the limit it was read within
  std::string data;
  bool Ok() const { return result == SmallRead::Read; }
  // Neither read nor missing: the file is there and must not be taken as empty.
  bool Refused() const { return result != SmallRead::Read && result != SmallRead::Missing; }
};
// Opens without blocking (a FIFO with no writer, a device), checks by the descriptor that it is a
// regular file within limit, then reads it. A link is followed only when it is this account's or
// root's, as the INI writer follows one.
SmallFile ReadSmallFile(const std::string& path, int64_t limit = SmallFileLimit);
// "Unable to read <path>: <why>." for a refused read; empty for one that read or found nothing.
std::string SmallFileRefusal(const std::string& path, const SmallFile& file);
// Every file the operator chooses or a list names (a cart, a picture, a warning sound, a user file
// to copy) is opened as the small files are: without waiting on what stands at its name, a regular
// file only, and through a link only where LinkStandingAt trusts it. access is O_RDONLY or O_RDWR.
// The descriptor (blocking from here on, close-on-exec), or -1 with result saying why (Missing;
// Folder, errno EISDIR; NotAFile, errno ENXIO; OthersLink, errno ELOOP; Failed) and errno set.
int OpenRegularFile(const std::string& path, int access, SmallRead& result);
// Why such a file was refused, as SmallFileRefusal says it ("Unable to read <path>: <why>.").
std::string RefusalText(const std::string& path, SmallRead result, int error, int64_t limit = SmallFileLimit);
// The <why> alone ("it is a folder"); for Missing, that there is no such file.
std::string RefusalReason(SmallRead result, int error, int64_t limit = SmallFileLimit);

// A file that holds passwords, in folder, made the way the folder is used: in a folder other
// accounts share (group-writable, or setgid), read and write for the folder's group as well,
// with that group (mode 0660); elsewhere the owner's alone (0600). False when the mode or the
// group could not be given.
bool ProtectSecretFile(int fd, const std::string& folder);
// Opens the file at path for writing and empties it; made with mode (less the umask) when create
// is set and nothing is there. Nothing at the name holds it up (a FIFO without a reader) and
// nothing but a regular file is written: a FIFO, a device, a socket or a folder there is refused
// (errno EINVAL, a folder EISDIR) before anything in it is touched, and a link is followed only
// where LinkStandingAt trusts it (else ELOOP). Its descriptor (close-on-exec), or -1.
int OpenFileForWriting(const std::string& path, bool create, unsigned mode = 0666);
// A file it creates gets mode (less the umask); what stands at the name is taken as
// OpenFileForWriting takes it.
bool WriteWholeFile(const std::string& path, const std::string& data, unsigned mode = 0666);
// The same for a file that holds passwords: it has ProtectSecretFile's mode and group, whatever the
// umask, before anything is written into it.
bool WriteSecretFile(const std::string& path, const std::string& data);
// Writes data into a file made new at path: whatever stood there (a file, or a link, which is
// removed and never followed) is replaced; a folder is not. False when it could not be written whole.
bool WriteNewFile(const std::string& path, const std::string& data, unsigned mode = 0666);
// Puts a new file holding data at path, as the settings and user files are saved: made whole beside
// the name (mode, less the umask) and renamed over it, so nothing is ever written into what stood
// there, however many names it has and whoever owns it. A link at the name is followed only where
// LinkStandingAt trusts it (else errno ELOOP), and what it leads to is replaced; a FIFO, a device, a
// socket (errno EINVAL) or a folder (EISDIR) is never replaced. False when it could not be written
// whole, with nothing left beside the name.
bool ReplaceWholeFile(const std::string& path, const std::string& data, unsigned mode = 0666);

// ---- the channels of the whole-program tests, named by the environment: the FIFOs of keys and of
// the sound device's clock, the dialog script, the logs and the capture. Only what this account
// owns is opened there, never through a link and never waiting on it: where the environment points
// into a folder shared with others, another account's FIFO would hand us its keys and its links
// would have us append to any file of ours.
// Opens the file at path with flags when it is this account's own: a FIFO with fifo set, else a
// regular file, and one with a second name only to read. O_CREAT makes it (mode 0600) when
// nothing is there; O_TRUNC empties it once it is judged. Its descriptor (blocking, close-on-exec),
// or -1 with errno: ELOOP for a link, EPERM for another account's, ENXIO for another kind, EMLINK
// for a second name. A recording that makes its file anew over one at its name opens it so too.
int OpenOwnFile(const std::string& path, int flags, bool fifo = false);
// Appends text to the regular file of this account's own at path, made when missing.
bool AppendToOwnFile(const std::string& path, const std::string& text);
// Reads the whole regular file of this account's own at path; false, with data empty, when it is
// not there or not one (errno as OpenOwnFile says).
bool ReadOwnFile(const std::string& path, std::string& data);
// Reads the lines written into the FIFO of this account's own at path (made when missing) and
// hands each, without its line feed, to onLine until onLine returns false. The FIFO is opened
// read-write, so that it never reports an end when a writer goes away. False when it cannot be
// opened, or is not a FIFO of this account's.
bool ReadFifoLines(const std::string& path, const std::function<bool(const std::string&)>& onLine);

// The system's temporary path with a trailing "/": $TMPDIR, else /tmp.
std::string TempPath();
// A temporary path whose files survive a reboot, with a trailing "/": $TMPDIR, else a folder of the
// account's own on /var/tmp, "<prefix>-<uid>" (not made here).
std::string LastingTempPath(const std::string& prefix);
// The account's own folder for state that must outlive a run and a reboot, with a trailing "/":
// $XDG_STATE_HOME when it is an absolute path, else ~/.local/state ($HOME, else the account's home
// folder as the system knows it). Not made here; empty when no home folder is known.
std::string AccountStatePath();
// The running executable's path.
std::string ExecutablePath();
// The folder of the running executable, with a trailing "/".
std::string ExecutableFolder();
// Where the program keeps its settings and user files, with a trailing "/": $SOLVANE_HOME; else
// the executable's folder when it is writable or already holds Solvane.ini; else
// $XDG_DATA_HOME/Solvane (default ~/.local/share/Solvane), created on demand.
std::string ProgramFolder();
// $XDG_RUNTIME_DIR with a trailing "/", else TempPath().
std::string RuntimePath();

std::string UserName();
std::string VersionText();

// Whether a started program still runs: true until it has ended (and been reaped).
using TRunning = std::shared_ptr<const std::atomic<bool>>;

// How a watched program ended.
struct ProcessEnd {
  int exitCode = 0;        // when it exited
  int signal = 0;          // when a signal ended it
  std::string signalName;  // that signal's description ("Killed")
  bool Ok() const { return exitCode == 0 && signal == 0; }
};
// Called once a watched program has ended and been reaped, on a thread of its own.
using TEnded = std::function<void(const ProcessEnd& end)>;

// Starts a program in a session of its own that outlives us, with /dev/null as its input and
// output: nothing it prints can fill a pipe it would share with us. The program is looked up on
// PATH when it has no "/". False when it could not be started, errno then saying why (ENOENT for a
// name PATH does not hold). Without running nobody waits for it; with running, *running tells from
// then on whether it still runs, and ended hears how it ended. With handOver (a descriptor of
// OpenSharedLock) the program also gets that one, as its descriptor 3.
bool StartProcess(const std::string& program, const std::vector<std::string>& args, const std::string& workDir = {},
                  TRunning* running = nullptr, int handOver = -1, TEnded ended = {});
// A file a started program is to keep for as long as it, or a program it starts, runs (an order
// it reads): the regular file at path opened for reading with a shared lock on all of it, which
// lives as long as any copy of the descriptor; -1 when it cannot be opened or locked.
int OpenSharedLock(const std::string& path);
// Whether anyone holds a lock on the regular file at path (as OpenSharedLock's holder does), in
// this process or another.
bool FileLocked(const std::string& path);
// Makes this process's writes to a pipe, a FIFO or a socket (a journal) on its standard output or
// error give up rather than wait when nobody reads it (what does not fit is lost), and a reader
// that went away costs the write, not the process: a message must never stop the program.
void KeepOutputFromBlocking();
// Looks a program up on PATH; empty when not found.
std::string FindProgram(const std::string& name);

// A file to lock (made 0600 when missing; never through a link at its name), open for reading and
// writing: its descriptor, or -1. CloseDescriptor lets it and its locks go.
int OpenLockFile(const std::string& path);
// Open-file-description locks: two handles on one file conflict even inside one process.
bool LockRange(int fd, int64_t offset, int64_t length, bool exclusive = true);
bool UnlockRange(int fd, int64_t offset, int64_t length);

std::string LastErrorText();  // strerror of errno

}  // namespace plat
