#include "platform/audio/riff_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system/files.h"
#include "platform/system/held_paths.h"

namespace plat {

std::string FourCCText(uint32_t code) {
  std::string s(4, '?');
  for (int i = 0; i < 4; ++i) {
    char c = char((code >> (8 * i)) & 0xFF);
    if (c >= 0x20 && c < 0x7F) s[size_t(i)] = c;
  }
  return s;
}

namespace {

// A file with a second name is never written into: the file under that name would change too (a
// backup made with hard links, or a name another account gave one of ours in a shared folder).
int OpenToWrite(const std::string& path, SmallRead& verdict) {
  const int fd = OpenRegularFile(path, O_RDWR, verdict);
  struct stat st {};
  if (fd < 0 || (::fstat(fd, &st) == 0 && st.st_nlink <= 1)) return fd;
  ::close(fd);
  verdict = SmallRead::Failed;
  errno = EMLINK;
  return -1;
}

}  // namespace

std::unique_ptr<RiffFile> RiffFile::Open(const std::string& path, RiffMode mode, SmallRead* refusal) {
  SmallRead verdict = SmallRead::Read;
  if (refusal) *refusal = verdict;
  if (path.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  int fd = -1;
  bool writable = true, createdNew = false;
  switch (mode) {
    case RiffMode::Read:
      fd = OpenRegularFile(path, O_RDONLY, verdict);
      writable = false;
      break;
    case RiffMode::ReadWrite: fd = OpenToWrite(path, verdict); break;
    case RiffMode::ReadWriteOrRead:
      // Read-only means no write bit, whoever we run as.
      if (!IsReadOnly(path)) fd = OpenToWrite(path, verdict);
      if (fd < 0 && verdict != SmallRead::NotAFile && verdict != SmallRead::OthersLink) {
        fd = OpenRegularFile(path, O_RDONLY, verdict);
        writable = false;
      }
      break;
    case RiffMode::Create:
      fd = OpenPath(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
      if (fd >= 0) createdNew = true;
      // Whatever holds the name now was put there since it was found free: only a regular file of
      // this account's own with no other name is emptied, never one reached through a link.
      else if (errno == EEXIST) fd = OpenOwnFile(path, O_RDWR | O_TRUNC);
      break;
    case RiffMode::CreateNew:
      fd = OpenPath(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
      createdNew = fd >= 0;
      break;
    case RiffMode::ReadPlain:
      // Not blocking on a FIFO that stands in its place.
      fd = OpenPath(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
      writable = false;
      break;
    case RiffMode::ReadWriteTrusted: {
      const bool readOnly = IsReadOnly(path);
      if (!readOnly) fd = OpenRegularFile(path, O_RDWR, verdict);
      if (fd < 0 && (readOnly || errno == EACCES || errno == EPERM || errno == EROFS)) {
        fd = OpenRegularFile(path, O_RDONLY, verdict);
        writable = false;
      }
      break;
    }
  }
  if (fd < 0) {
    if (refusal) *refusal = verdict;
    return nullptr;
  }
  struct stat st {};
  const bool statted = ::fstat(fd, &st) == 0;
  const bool refused = S_ISDIR(st.st_mode) || (mode == RiffMode::ReadPlain && !S_ISREG(st.st_mode));
  if (!statted || refused) {
    int e = !statted ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = e;
    return nullptr;
  }
  std::unique_ptr<RiffFile> f(new RiffFile());
  f->fd_ = fd;
  f->writable_ = writable;
  f->createdNew_ = createdNew;
  f->size_ = int64_t(st.st_size);
  f->cap_ = size_t(kDefaultBuffer);
  f->buf_.resize(f->cap_);
  return f;
}

std::unique_ptr<RiffFile> RiffFile::OpenMemory(const void* data, size_t size) {
  std::unique_ptr<RiffFile> f(new RiffFile());
  f->mem_ = static_cast<const uint8_t*>(data);
  f->memFile_ = true;
  f->size_ = data ? int64_t(size) : 0;
  return f;
}

RiffFile::~RiffFile() { Close(); }

bool RiffFile::Identity(uint64_t& device, uint64_t& inode) const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return false;
  device = uint64_t(st.st_dev);
  inode = uint64_t(st.st_ino);
  return true;
}

int64_t RiffFile::Links() const {
  struct stat st {};
  return fd_ >= 0 && ::fstat(fd_, &st) == 0 ? int64_t(st.st_nlink) : 0;
}

bool RiffFile::Close() {
  bool ok = true;
  if (fd_ >= 0) {
    ok = FlushBuffer();
    if (::close(fd_) != 0) ok = false;
    fd_ = -1;
  }
  mem_ = nullptr;
  memFile_ = false;
  return ok && !failed_;
}

bool RiffFile::RawRead(int64_t offset, void* dst, size_t n, size_t& got) {
  got = 0;
  if (memFile_) {
    if (offset >= size_) return true;
    got = size_t(std::min<int64_t>(int64_t(n), size_ - offset));
    if (got) std::memcpy(dst, mem_ + offset, got);
    return true;
  }
  auto* p = static_cast<uint8_t*>(dst);
  while (got < n) {
    ssize_t r = ::pread(fd_, p + got, n - got, off_t(offset + int64_t(got)));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) break;
    got += size_t(r);
  }
  return true;
}

bool RiffFile::RawWrite(int64_t offset, const void* src, size_t n) {
  if (memFile_ || !writable_) return false;
  auto* p = static_cast<const uint8_t*>(src);
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pwrite(fd_, p + done, n - done, off_t(offset + int64_t(done)));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) {
      errno = ENOSPC;
      return false;
    }
    done += size_t(r);
  }
  return true;
}

bool RiffFile::FlushBuffer() {
  if (dirtyHi_ <= dirtyLo_) return true;
  bool ok = RawWrite(bufStart_ + int64_t(dirtyLo_), buf_.data() + dirtyLo_, dirtyHi_ - dirtyLo_);
  dirtyLo_ = dirtyHi_ = 0;
  if (!ok) {
    // What the buffer held is lost: it must not be served to a reader as if it were on disk.
    failed_ = true;
    bufLen_ = 0;
  }
  return ok;
}

void RiffFile::DropBuffer() {
  bufLen_ = 0;
  dirtyLo_ = dirtyHi_ = 0;
}

bool RiffFile::Flush() { return FlushBuffer() && !failed_; }

bool RiffFile::Sync() {
  if (!Flush()) return false;
  if (fd_ < 0 || !writable_) return true;
  int r;
  do {
    r = ::fdatasync(fd_);
  } while (r != 0 && errno == EINTR);
  // A file system that cannot sync (EINVAL) keeps what it keeps; anything else lost data.
  return r == 0 || errno == EINVAL;
}

bool RiffFile::SetBuffer(int64_t size) {
  if (size < 0) return false;
  if (memFile_) return true;
  bool ok = FlushBuffer();
  DropBuffer();
  cap_ = size_t(size);
  buf_.assign(cap_, 0);
  buf_.shrink_to_fit();
  return ok;
}

int64_t RiffFile::Seek(int64_t offset, int whence) {
  int64_t base = whence == SEEK_CUR ? pos_ : whence == SEEK_END ? size_ : 0;
  if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
  int64_t target;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) return -1;
  pos_ = target;
  return pos_;
}

int64_t RiffFile::Read(void* dst, int64_t n) {
  if (n < 0 || (fd_ < 0 && !memFile_)) return -1;
  auto* out = static_cast<uint8_t*>(dst);
  int64_t total = 0;
  while (n > 0) {
    if (bufLen_ > 0 && pos_ >= bufStart_ && pos_ < bufStart_ + int64_t(bufLen_)) {
      size_t off = size_t(pos_ - bufStart_);
      size_t k = size_t(std::min<int64_t>(n, int64_t(bufLen_ - off)));
      std::memcpy(out, buf_.data() + off, k);
      out += k;
      pos_ += int64_t(k);
      total += int64_t(k);
      n -= int64_t(k);
      continue;
    }
    if (pos_ >= size_) break;
    if (!FlushBuffer()) return -1;
    size_t got = 0;
    if (memFile_ || cap_ == 0 || n >= int64_t(cap_)) {
      // Large reads go straight to the caller; what the buffer held is on disk now.
      if (!RawRead(pos_, out, size_t(n), got)) return -1;
      pos_ += int64_t(got);
      total += int64_t(got);
      break;
    }
    bufStart_ = pos_;
    if (!RawRead(pos_, buf_.data(), cap_, got)) {
      bufLen_ = 0;
      return -1;
    }
    bufLen_ = got;
    if (got == 0) break;
  }
  return total;
}

int64_t RiffFile::Write(const void* src, int64_t n) {
  if (n < 0 || fd_ < 0 || !writable_) return -1;
  auto* in = static_cast<const uint8_t*>(src);
  int64_t total = 0;
  while (n > 0) {
    if (cap_ > 0 && n < int64_t(cap_)) {
      bool fits = bufLen_ > 0
                      ? (pos_ >= bufStart_ && pos_ <= bufStart_ + int64_t(bufLen_) && pos_ < bufStart_ + int64_t(cap_))
                      : false;
      if (!fits) {
        if (!FlushBuffer()) return -1;
        bufStart_ = pos_;
        bufLen_ = 0;
      }
      size_t off = size_t(pos_ - bufStart_);
      size_t k = size_t(std::min<int64_t>(n, int64_t(cap_ - off)));
      std::memcpy(buf_.data() + off, in, k);
      if (dirtyHi_ <= dirtyLo_) {
        dirtyLo_ = off;
        dirtyHi_ = off + k;
      } else {
        dirtyLo_ = std::min(dirtyLo_, off);
        dirtyHi_ = std::max(dirtyHi_, off + k);
      }
      bufLen_ = std::max(bufLen_, off + k);
      in += k;
      pos_ += int64_t(k);
      total += int64_t(k);
      n -= int64_t(k);
      if (off + k == cap_ && !FlushBuffer()) return -1;
    } else {
      if (!FlushBuffer()) return -1;
      // The buffer may mirror bytes this write replaces.
      if (bufLen_ > 0 && pos_ < bufStart_ + int64_t(bufLen_) && pos_ + n > bufStart_) bufLen_ = 0;
      if (!RawWrite(pos_, in, size_t(n))) {
        failed_ = true;
        return -1;
      }
      pos_ += n;
      total += n;
      n = 0;
    }
    size_ = std::max(size_, pos_);
  }
  return total;
}

bool RiffFile::Truncate(int64_t length) {
  if (length < 0 || fd_ < 0 || !writable_) return false;
  if (!FlushBuffer()) return false;
  if (bufLen_ > 0 && bufStart_ + int64_t(bufLen_) > length)
    bufLen_ = length > bufStart_ ? size_t(length - bufStart_) : 0;
  if (::ftruncate(fd_, off_t(length)) != 0) return false;
  size_ = length;
  return true;
}

RiffResult RiffFile::Descend(RiffChunk& ck, uint32_t flags) {
  const uint32_t wantId = ck.id, wantType = ck.type;
  for (;;) {
    uint8_t h[8];
    int64_t start = pos_;
    if (Read(h, 8) != 8) return RiffResult::ChunkNotFound;
    RiffChunk c;
    c.id = GetLE32(h);
    c.size = GetLE32(h + 4);
    c.dataOffset = start + 8;
    if (c.id == kRiffId || c.id == kListId) {
      uint8_t t[4];
      if (Read(t, 4) != 4) return RiffResult::ChunkNotFound;
      c.type = GetLE32(t);
    }
    bool match = true;
    if (flags & kRiffFindChunk) match = c.id == wantId;
    if (flags & kRiffFindRiff) match = c.id == kRiffId && c.type == wantType;
    if (flags & kRiffFindList) match = c.id == kListId && c.type == wantType;
    if (match) {
      ck = c;
      return RiffResult::Ok;
    }
    // RIFF and LIST payloads are skipped whole when searching at this level.
    if (Seek(c.dataOffset + int64_t(c.size) + (c.size & 1), SEEK_SET) < 0) return RiffResult::CannotSeek;
  }
}

RiffResult RiffFile::Ascend(RiffChunk& ck) {
  if (ck.flags & kRiffDirty) {
    int64_t end = pos_;
    if (end < ck.dataOffset) return RiffResult::CannotSeek;
    int64_t size = end - ck.dataOffset;
    if (size > int64_t(UINT32_MAX)) return RiffResult::SizeOverflow;
    if (uint32_t(size) != ck.size) {
      uint8_t s[4];
      PutLE32(s, uint32_t(size));
      if (Seek(ck.dataOffset - 4, SEEK_SET) < 0) return RiffResult::CannotSeek;
      if (Write(s, 4) != 4) return RiffResult::CannotWrite;
      if (Seek(end, SEEK_SET) < 0) return RiffResult::CannotSeek;
      ck.size = uint32_t(size);
    }
    if (size & 1) {
      uint8_t pad = 0;
      if (Write(&pad, 1) != 1) return RiffResult::CannotWrite;
    }
    ck.flags &= ~kRiffDirty;
    return RiffResult::Ok;
  }
  if (Seek(ck.dataOffset + int64_t(ck.size) + (ck.size & 1), SEEK_SET) < 0) return RiffResult::CannotSeek;
  return RiffResult::Ok;
}

RiffResult RiffFile::CreateChunk(RiffChunk& ck, uint32_t flags) {
  uint8_t h[12];
  size_t n = 8;
  if (flags & kRiffCreateRiff) ck.id = kRiffId;
  if (flags & kRiffCreateList) ck.id = kListId;
  PutLE32(h, ck.id);
  PutLE32(h + 4, ck.size);
  if (ck.id == kRiffId || ck.id == kListId) {
    PutLE32(h + 8, ck.type);
    n = 12;
  }
  int64_t start = pos_;
  if (Write(h, int64_t(n)) != int64_t(n)) return RiffResult::CannotWrite;
  ck.dataOffset = start + 8;
  ck.flags = kRiffDirty;
  return RiffResult::Ok;
}

bool RiffRename(const std::string& from, const std::string& to) { return RenameFile(from, to); }
bool RiffRemove(const std::string& path) { return DeleteFile(path); }
int64_t RiffFileSize(const std::string& path) { return FileSize(path); }

bool RiffSyncFolder(const std::string& folder) {
  const int fd = OpenPath(folder, O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace plat
