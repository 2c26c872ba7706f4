#pragma once
// File and folder routines of the deck: program and temporary folders, free space, a retried
// byte-range lock, whole-file text, and the batch file operation.
#include <cstdint>
#include <functional>
#include <string>

// The system folder is the one the control kit names (controls/zelprocs.h): one routine for both.
std::string SystemFolder();
std::string TempFolder();  // the system's temporary path, with a trailing "/"
std::string AppFolder();   // the program folder, with a trailing "/"

// Free bytes of the file system that holds path, asked as the wave files ask it.
bool DiskFreeBytes(const std::string& path, int64_t& freeBytes);

// How LockFileRetry waits; tests replace it so that nothing waits on the wall clock.
struct LockRetryTiming {
  std::function<uint32_t()> tickCount;  // milliseconds
  std::function<void(int ms)> sleep;
  int intervalMs = 110;
  int timeoutMs = 15000;
};
LockRetryTiming& LockTiming();  // the one in force
void ResetLockTiming();

// Locks a byte range of an open file (fd), retrying every 110 ms for up to 15000 ms. The lock
// belongs to the open file, so two opens of one file conflict even inside one process.
bool LockFileRetry(int fd, int64_t offset, int64_t length);
bool UnlockFileRange(int fd, int64_t offset, int64_t length);

// The file's version as "major.minor.release.build"; only the program itself carries one here.
std::string FileVersionText(const std::string& path);

// Trims trailing blanks and adds a trailing "/" unless present.
void AddBackSlash(std::string& path);
// Trims trailing blanks and removes one trailing "/".
void RemoveBackSlash(std::string& path);

// The batch file operation: mode 1 move, 2 copy, 3 delete, 4 rename; other modes do nothing.
// Source and target may each name several paths separated by FileOpSeparator; a source's
// file name may be a mask ("*", "?"). Returns true when every file was handled.
extern const char FileOpSeparator;
constexpr int FOF_NOCONFIRMATION = 16;
bool ShellFileOp(const std::string& source, const std::string& target, int mode, int flags);

// Writes a whole string to a new file.
bool StringToFile(const std::string& text, const std::string& path);
// Reads a whole file while holding a lock on all of it; empty when it cannot be locked.
bool FileToString(const std::string& path, std::string& text);
