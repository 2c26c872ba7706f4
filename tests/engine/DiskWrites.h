#pragma once
// What the code under test changed in one file, write by write, as the system calls made it: the
// engine tests are linked with pwrite and ftruncate wrapped (tests/CMakeLists.txt), and a journal
// records those of the file it watches while it lives. Replaying a prefix reproduces on disk the
// state a process killed at that moment leaves behind.
#include <cstdint>
#include <string>
#include <vector>

class DiskWrites {
public:
  struct Change {
    int64_t at = 0;     // offset written at, or the new length of a truncation
    std::string bytes;  // empty for a truncation
    bool truncate = false;
  };

  explicit DiskWrites(const std::string& path);  // one journal at a time
  ~DiskWrites();
  DiskWrites(const DiskWrites&) = delete;
  DiskWrites& operator=(const DiskWrites&) = delete;

  const std::vector<Change>& Changes() const { return changes_; }

  // Every state a kill can leave, from the file as it was: after each whole change, and inside a
  // write at each page boundary it crosses (a kill cuts a write only between pages).
  std::vector<std::string> States(const std::string& before) const;

  // Called from the wrapped system calls.
  void Written(int fd, int64_t at, const void* bytes, size_t n);
  void Truncated(int fd, int64_t length);

private:
  bool Watched(int fd) const;
  uint64_t dev_ = 0, ino_ = 0;
  std::vector<Change> changes_;
};
