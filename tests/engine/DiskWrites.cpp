#include "DiskWrites.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cassert>

namespace {

std::atomic<DiskWrites*> gJournal{nullptr};

constexpr int64_t kPage = 4096;

void Apply(std::string& file, const DiskWrites::Change& c, size_t n) {
  if (c.truncate) {
    file.resize(size_t(c.at));
    return;
  }
  const size_t at = size_t(c.at);
  if (file.size() < at + n) file.resize(at + n);
  file.replace(at, n, c.bytes, 0, n);
}

}  // namespace

extern "C" {
ssize_t __real_pwrite(int fd, const void* buf, size_t n, off_t offset);
int __real_ftruncate(int fd, off_t length);

ssize_t __wrap_pwrite(int fd, const void* buf, size_t n, off_t offset) {
  const ssize_t r = __real_pwrite(fd, buf, n, offset);
  if (DiskWrites* j = gJournal.load(); j && r > 0) j->Written(fd, int64_t(offset), buf, size_t(r));
  return r;
}

int __wrap_ftruncate(int fd, off_t length) {
  const int r = __real_ftruncate(fd, length);
  if (DiskWrites* j = gJournal.load(); j && r == 0) j->Truncated(fd, int64_t(length));
  return r;
}
}

DiskWrites::DiskWrites(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    dev_ = uint64_t(st.st_dev);
    ino_ = uint64_t(st.st_ino);
  }
  DiskWrites* none = nullptr;
  [[maybe_unused]] const bool first = gJournal.compare_exchange_strong(none, this);
  assert(first);
}

DiskWrites::~DiskWrites() { gJournal.store(nullptr); }

bool DiskWrites::Watched(int fd) const {
  struct stat st {};
  return ino_ != 0 && ::fstat(fd, &st) == 0 && uint64_t(st.st_dev) == dev_ && uint64_t(st.st_ino) == ino_;
}

void DiskWrites::Written(int fd, int64_t at, const void* bytes, size_t n) {
  if (Watched(fd)) changes_.push_back({at, std::string(static_cast<const char*>(bytes), n), false});
}

void DiskWrites::Truncated(int fd, int64_t length) {
  if (Watched(fd)) changes_.push_back({length, {}, true});
}

std::vector<std::string> DiskWrites::States(const std::string& before) const {
  std::vector<std::string> states{before};
  std::string file = before;
  for (const Change& c : changes_) {
    if (!c.truncate)
      for (int64_t page = (c.at / kPage + 1) * kPage; page < c.at + int64_t(c.bytes.size()); page += kPage) {
        std::string cut = file;
        Apply(cut, c, size_t(page - c.at));
        states.push_back(std::move(cut));
      }
    Apply(file, c, c.bytes.size());
    states.push_back(file);
  }
  return states;
}
