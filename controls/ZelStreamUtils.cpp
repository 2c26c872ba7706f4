#include "controls/ZelStreamUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "controls/zelprocs.h"
#include "platform/ui/strings.h"

int64_t StreamRemaining(plat::TStream& s) {
  int64_t pos = s.Position();
  int64_t size = s.Size();
  return pos < 0 || size < pos ? 0 : size - pos;
}

std::string MemoryBytes(plat::TMemoryStream& s) {
  const plat::TCustomMemoryStream& c = s;
  return std::string(static_cast<const char*>(c.Memory()), size_t(s.Size()));
}

void SetMemoryBytes(plat::TMemoryStream& s, const std::string& bytes) {
  s.Clear();
  s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(0);
}

// ---- plain helpers --------------------------------------------------------------------------------

void WriteBool(plat::TStream& s, bool v) {
  uint8_t b = v ? 1 : 0;
  s.WriteBuffer(&b, 1);
}

bool ReadBool(plat::TStream& s) {
  uint8_t b;
  s.ReadBuffer(&b, 1);
  return b != 0;
}

void WriteShortString(plat::TStream& s, const std::string& v) {
  uint8_t n = uint8_t(std::min<size_t>(v.size(), 255));
  s.WriteBuffer(&n, 1);
  s.WriteBuffer(v.data(), n);
}

std::string ReadShortString(plat::TStream& s) {
  uint8_t n;
  s.ReadBuffer(&n, 1);
  std::string v(n, '\0');
  s.ReadBuffer(v.data(), n);
  return v;
}

void WritePlainData(plat::TStream& s, const std::string& bytes) {
  if (bytes.size() > UINT32_MAX) throw plat::EWriteError();
  s.WriteU32(uint32_t(bytes.size()));
  s.WriteBuffer(bytes.data(), bytes.size());
}

std::string ReadPlainData(plat::TStream& s) {
  uint32_t n = s.ReadU32();
  // Checked before allocating, so a damaged count cannot ask for gigabytes.
  if (int64_t(n) > StreamRemaining(s)) throw plat::EReadError();
  std::string bytes(n, '\0');
  s.ReadBuffer(bytes.data(), n);
  return bytes;
}

// ---- compressed stream form -----------------------------------------------------------------------

void WriteCompressedStream(plat::TStream& src, plat::TStream& dst, int64_t count) {
  int64_t start = dst.Position();
  dst.SetPosition(start + 4);
  std::vector<uint8_t> in(kZelChunkSize), out(LzrwBlockBound(kZelChunkSize));
  uint64_t total = 0;
  while (count > 0) {
    size_t want = size_t(std::min<int64_t>(count, int64_t(kZelChunkSize)));
    size_t got = src.Read(in.data(), want);
    if (got == 0) break;
    size_t len = LzrwCompressBlock(in.data(), got, out.data(), out.size());
    dst.WriteU32(uint32_t(len));
    dst.WriteBuffer(out.data(), len);
    total += 4 + len;
    count -= int64_t(got);
  }
  if (total > UINT32_MAX) throw plat::EWriteError();
  int64_t end = dst.Position();
  dst.SetPosition(start);
  dst.WriteU32(uint32_t(total));
  dst.SetPosition(end);
}

void ReadCompressedStream(plat::TStream& src, plat::TStream& dst) {
  uint32_t total = src.ReadU32();
  if (int64_t(total) > StreamRemaining(src)) throw plat::EReadError();
  std::vector<uint8_t> block;
  std::vector<uint8_t> out(kZelChunkSize);
  while (total > 0) {
    if (total < 4) throw plat::EReadError("Compressed data is damaged");
    uint32_t len = src.ReadU32();
    total -= 4;
    if (len == 0 || len > total || len > kZelChunkSize + 1) throw plat::EReadError("Compressed data is damaged");
    block.resize(len);
    src.ReadBuffer(block.data(), len);
    size_t n = LzrwDecompressBlock(block.data(), len, out.data(), out.size());
    dst.WriteBuffer(out.data(), n);
    total -= len;
  }
}

std::string CompressBytes(const std::string& bytes) {
  plat::TMemoryStream src, dst;
  SetMemoryBytes(src, bytes);
  WriteCompressedStream(src, dst, int64_t(bytes.size()));
  return MemoryBytes(dst);
}

std::string ExpandBytes(const std::string& form) {
  plat::TMemoryStream src, dst;
  SetMemoryBytes(src, form);
  ReadCompressedStream(src, dst);
  return MemoryBytes(dst);
}

void WriteDataBlock(plat::TStream& s, const std::string& bytes, bool compressed) {
  if (!compressed) return WritePlainData(s, bytes);
  plat::TMemoryStream src;
  SetMemoryBytes(src, bytes);
  WriteCompressedStream(src, s, int64_t(bytes.size()));
}

std::string ReadDataBlock(plat::TStream& s, bool compressed) {
  if (!compressed) return ReadPlainData(s);
  plat::TMemoryStream out;
  ReadCompressedStream(s, out);
  return MemoryBytes(out);
}

void WriteStreamData(plat::TStream& s, const plat::TStrings& list, bool compressed) {
  WriteDataBlock(s, list.Text(), compressed);
}

void ReadStreamData(plat::TStream& s, plat::TStrings& list, bool compressed) {
  std::string text = ReadDataBlock(s, compressed);
  list.SetText(text);
}
