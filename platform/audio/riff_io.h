#pragma once
// Buffered file I/O for RIFF files: chunk descent and ascent over a file or a read-only memory
// image, with 64-bit offsets. Chunk sizes on disk are 32 bits, little-endian; a payload of odd size
// is followed by one pad byte.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

enum class SmallRead;  // platform/system/files.h

// ---- little-endian fields ------------------------------------------------------------------
inline uint16_t GetLE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t GetLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

// A four-character code, first character in the lowest byte.
constexpr uint32_t FourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | (uint32_t(uint8_t(b)) << 8) | (uint32_t(uint8_t(c)) << 16) |
         (uint32_t(uint8_t(d)) << 24);
}
constexpr uint32_t FourCC(const char (&s)[5]) { return FourCC(s[0], s[1], s[2], s[3]); }
std::string FourCCText(uint32_t code);  // four characters, unprintable ones as '?'

constexpr uint32_t kRiffId = FourCC("RIFF");
constexpr uint32_t kListId = FourCC("LIST");

// One chunk: its code, its payload size, the form or list type (RIFF and LIST only), the file
// offset of its payload (for RIFF and LIST the type is the first four bytes of the payload) and
// its flags.
struct RiffChunk {
  uint32_t id = 0;
  uint32_t size = 0;
  uint32_t type = 0;
  int64_t dataOffset = 0;
  uint32_t flags = 0;
};
// Set by CreateChunk: Ascend then writes the real size back.
constexpr uint32_t kRiffDirty = 0x10000000;

// Descend flags: search forward for the chunk whose id (or RIFF/LIST type) the caller put into
// the chunk record.
constexpr uint32_t kRiffFindChunk = 0x10;
constexpr uint32_t kRiffFindRiff = 0x20;
constexpr uint32_t kRiffFindList = 0x40;
// CreateChunk flags.
constexpr uint32_t kRiffCreateRiff = 0x20;
constexpr uint32_t kRiffCreateList = 0x40;

enum class RiffResult { Ok = 0, ChunkNotFound, CannotSeek, CannotRead, CannotWrite, SizeOverflow };

enum class RiffMode {
  Read,             // an existing file, read only
  ReadWrite,        // an existing file with no other name, read and write
  ReadWriteOrRead,  // read and write, and read only when that is refused (a file with another name)
  // Create, read and write; a regular file of this account's with no other name that holds the
  // name (never a link, a FIFO or a device) is emptied instead.
  Create,
  CreateNew,        // create a file that must not exist yet (nor a link of that name), read and write
  ReadPlain,        // an existing regular file, read only; a link or anything else is refused
  // An existing regular file, read and write (read only when that is refused), opened as
  // OpenRegularFile opens one; unlike ReadWriteOrRead, a file with another name is written.
  ReadWriteTrusted,
};

class RiffFile {
public:
  static constexpr int64_t kDefaultBuffer = 8192;

  // Null on failure; errno says why. An existing file is opened as OpenRegularFile opens one (a FIFO,
  // a device or a socket at the name is never waited on, a link is followed only where it may be);
  // refusal, when given, tells such a refusal from a failure.
  static std::unique_ptr<RiffFile> Open(const std::string& path, RiffMode mode, SmallRead* refusal = nullptr);
  // A read-only view of bytes the caller keeps alive while the file is open.
  static std::unique_ptr<RiffFile> OpenMemory(const void* data, size_t size);

  ~RiffFile();
  RiffFile(const RiffFile&) = delete;
  RiffFile& operator=(const RiffFile&) = delete;

  // Writes what is buffered and closes. False when anything written since opening was lost.
  bool Close();

  bool Writable() const { return writable_; }
  bool IsMemory() const { return mem_ != nullptr || memFile_; }
  // True when Open with Create made the file rather than truncating an existing one.
  bool CreatedNew() const { return createdNew_; }
  // A write or flush has failed since the file was opened.
  bool Failed() const { return failed_; }

  // 0 makes the file unbuffered. Memory files ignore it. False for a negative size or when the
  // pending bytes could not be written.
  bool SetBuffer(int64_t size);
  int64_t BufferSize() const { return int64_t(cap_); }

  // whence is SEEK_SET, SEEK_CUR or SEEK_END; the new position, or -1 (negative target).
  int64_t Seek(int64_t offset, int whence);
  int64_t Tell() const { return pos_; }
  // Bytes read (fewer at the end of the file), or -1.
  int64_t Read(void* dst, int64_t n);
  // n, or -1 when any byte could not be stored (the position is then undefined).
  int64_t Write(const void* src, int64_t n);
  bool Flush();
  // Flush, then makes the file's data durable on the disk (fdatasync). Memory files: true.
  bool Sync();
  // Length of the file including bytes still in the buffer.
  int64_t Size() const { return size_; }
  // The device and inode of the open file; false for a memory file.
  bool Identity(uint64_t& device, uint64_t& inode) const;
  // The names the open file has (0 for a memory image or when it cannot be told).
  int64_t Links() const;
  // Cuts (or extends) the file to length; the position stays.
  bool Truncate(int64_t length);

  // Reads the chunk header at the current position (and the type of a RIFF or LIST chunk) and
  // leaves the position at the start of the payload. Fails only when the header cannot be read in
  // full: a chunk may claim a size past its parent or the file (an unfinished recording does).
  RiffResult Descend(RiffChunk& ck, uint32_t flags = 0);
  // Moves behind the chunk and its pad byte. For a dirty chunk the size is the distance from its
  // payload to the current position: it is written into the header when it changed, and a zero
  // pad byte is written when it is odd.
  RiffResult Ascend(RiffChunk& ck);
  // Writes a header for ck.id (or RIFF/LIST with ck.type) and ck.size at the current position and
  // marks the chunk dirty.
  RiffResult CreateChunk(RiffChunk& ck, uint32_t flags = 0);

private:
  RiffFile() = default;
  bool RawRead(int64_t offset, void* dst, size_t n, size_t& got);
  bool RawWrite(int64_t offset, const void* src, size_t n);
  bool FlushBuffer();
  void DropBuffer();

  int fd_ = -1;
  const uint8_t* mem_ = nullptr;
  bool memFile_ = false;
  bool writable_ = false;
  bool createdNew_ = false;
  bool failed_ = false;

  std::vector<uint8_t> buf_;
  size_t cap_ = 0;
  int64_t bufStart_ = 0;              // file offset of buf_[0]
  size_t bufLen_ = 0;                 // buf_[0, bufLen_) mirrors the file from bufStart_
  size_t dirtyLo_ = 0, dirtyHi_ = 0;  // bytes of the buffer not yet written; empty when equal

  int64_t pos_ = 0;
  int64_t size_ = 0;
};

// Whole-file operations beside the open files.
bool RiffRename(const std::string& from, const std::string& to);
bool RiffRemove(const std::string& path);
int64_t RiffFileSize(const std::string& path);  // -1 when there is no such file
// Makes the names in folder durable on the disk (a file made there survives a power cut).
bool RiffSyncFolder(const std::string& folder);

}  // namespace plat
