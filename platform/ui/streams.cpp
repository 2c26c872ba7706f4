#include "platform/ui/streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system/files.h"

namespace plat {

int64_t TStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t end = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return end;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream does not support size changes"); }

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count < 0 || Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count < 0 || Write(buffer, count) != count) throw EWriteError();
}

int64_t TStream::CopyFrom(TStream& src, int64_t count) {
  if (count == 0) {
    src.SetPosition(0);
    count = src.Size();
  }
  const int64_t total = count;
  std::vector<uint8_t> buf(size_t(std::min<int64_t>(count, 64 * 1024)) + 1);
  while (count > 0) {
    int64_t n = std::min<int64_t>(count, int64_t(buf.size()));
    src.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    count -= n;
  }
  return total;
}

uint8_t TStream::ReadU8() {
  uint8_t b;
  ReadBuffer(&b, 1);
  return b;
}

uint16_t TStream::ReadU16() {
  uint8_t b[2];
  ReadBuffer(b, 2);
  return uint16_t(b[0] | (b[1] << 8));
}

uint32_t TStream::ReadU32() {
  uint8_t b[4];
  ReadBuffer(b, 4);
  return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

void TStream::WriteU8(uint8_t v) { WriteBuffer(&v, 1); }

void TStream::WriteU16(uint16_t v) {
  uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
  WriteBuffer(b, 2);
}

void TStream::WriteU32(uint32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  WriteBuffer(b, 4);
}

// ---- handle and file streams ------------------------------------------------------------------

int64_t THandleStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  auto* p = static_cast<uint8_t*>(buffer);
  while (done < count) {
    ssize_t n = ::read(fd_, p + done, size_t(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t THandleStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  auto* p = static_cast<const uint8_t*>(buffer);
  while (done < count) {
    ssize_t n = ::write(fd_, p + done, size_t(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin) {
  int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(fd_, off_t(offset), whence);
  return r < 0 ? -1 : int64_t(r);
}

void THandleStream::SetSize(int64_t size) {
  int64_t pos = Position();
  if (::ftruncate(fd_, off_t(size)) != 0) throw EStreamError("Stream write error");
  if (pos > size) Seek(size, soBeginning);
}

static int OpenFlags(uint32_t mode) {
  switch (mode & 3) {
    case fmOpenWrite: return O_WRONLY;
    case fmOpenReadWrite: return O_RDWR;
    default: return O_RDONLY;
  }
}

TFileStream::TFileStream(const std::string& path, uint32_t mode) : THandleStream(-1), path_(path) {
  if ((mode & fmCreate) == fmCreate) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) throw EFCreateError("Cannot create file \"" + path + "\". " + LastErrorText());
  } else {
    // Read, a named file is opened as every file the operator names is: nothing at the name is
    // waited on, and only a regular file is read.
    SmallRead why = SmallRead::Read;
    const int flags = OpenFlags(mode);
    fd_ = flags == O_WRONLY ? ::open(path.c_str(), flags | O_CLOEXEC) : OpenRegularFile(path, flags, why);
    if (fd_ < 0 && (why == SmallRead::NotAFile || why == SmallRead::OthersLink))
      throw EFOpenError(RefusalText(path, why, 0));
    if (fd_ < 0) throw EFOpenError("Cannot open file \"" + path + "\". " + LastErrorText());
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

// ---- memory streams ---------------------------------------------------------------------------

int64_t TCustomMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || pos_ >= size_) return 0;
  int64_t n = std::min(count, size_ - pos_);
  std::memcpy(buffer, data_ + pos_, size_t(n));
  pos_ += n;
  return n;
}

int64_t TCustomMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? pos_ : size_;
  int64_t p = base + offset;
  if (p < 0) return -1;
  pos_ = p;
  return pos_;
}

void TCustomMemoryStream::SaveToStream(TStream& s) {
  if (size_ > 0) s.WriteBuffer(data_, size_);
}

void TCustomMemoryStream::SaveToFile(const std::string& path) {
  TFileStream f(path, fmCreate);
  SaveToStream(f);
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  int64_t end = pos_ + count;
  if (end > int64_t(buf_.size())) buf_.resize(size_t(end));
  std::memcpy(buf_.data() + pos_, buffer, size_t(count));
  pos_ = end;
  Sync();
  return count;
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) throw EStreamError("Stream write error");
  buf_.resize(size_t(size));
  Sync();
  if (pos_ > size) pos_ = size;
}

void TMemoryStream::Clear() {
  buf_.clear();
  buf_.shrink_to_fit();
  pos_ = 0;
  Sync();
}

void TMemoryStream::LoadFromStream(TStream& s) {
  s.SetPosition(0);
  int64_t n = s.Size();
  SetSize(n);
  if (n) s.ReadBuffer(buf_.data(), n);
  pos_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& path) {
  TFileStream f(path, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

// ---- resources --------------------------------------------------------------------------------

namespace {
struct ResourceTable {
  std::mutex m;
  std::map<std::string, std::pair<const uint8_t*, size_t>> items;
};
ResourceTable& Resources() {
  static ResourceTable* t = new ResourceTable;
  return *t;
}
std::string ResourceKey(const std::string& name, const std::string& type) {
  std::string k = type + "/" + name;
  for (char& c : k) c = char(toupper(static_cast<unsigned char>(c)));
  return k;
}
}  // namespace

void RegisterResource(const std::string& name, const std::string& type, const void* data, size_t size) {
  auto& t = Resources();
  std::lock_guard<std::mutex> l(t.m);
  t.items[ResourceKey(name, type)] = {static_cast<const uint8_t*>(data), size};
}

bool FindResource(const std::string& name, const std::string& type, const uint8_t*& data, size_t& size) {
  auto& t = Resources();
  std::lock_guard<std::mutex> l(t.m);
  auto it = t.items.find(ResourceKey(name, type));
  if (it == t.items.end()) return false;
  data = it->second.first;
  size = it->second.second;
  return true;
}

TResourceStream::TResourceStream(const std::string& name, const std::string& type) {
  const uint8_t* data;
  size_t size;
  if (!FindResource(name, type, data, size)) throw EResNotFound("Resource " + name + " not found");
  SetPointer(data, int64_t(size));
}

int64_t TResourceStream::Write(const void*, int64_t) {
  throw EStreamError("Can't write to a read-only resource stream");
}

}  // namespace plat
