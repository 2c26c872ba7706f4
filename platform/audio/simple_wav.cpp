#include "platform/audio/simple_wav.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/system/files.h"

namespace plat {

namespace {

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

bool ValidPcm(const WAVEFORMATEX& f) {
  if (f.wFormatTag != WAVE_FORMAT_PCM || f.nChannels == 0 || f.nSamplesPerSec == 0) return false;
  if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16 && f.wBitsPerSample != 24 && f.wBitsPerSample != 32) return false;
  return f.nBlockAlign == uint32_t(f.nChannels) * f.wBitsPerSample / 8;
}

// A sample as a signed 32-bit value at full scale.
int32_t ReadSample(const uint8_t* p, int bytes) {
  switch (bytes) {
    case 1: return int32_t(uint32_t(p[0] ^ 0x80) << 24);
    case 2: return int32_t(uint32_t(Get16(p)) << 16);
    case 3: return int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24);
    default: return int32_t(Get32(p));
  }
}

void WriteSample(uint8_t* p, int bytes, int32_t v) {
  uint32_t u = uint32_t(v);
  switch (bytes) {
    case 1: p[0] = uint8_t((u >> 24) ^ 0x80); break;
    case 2: Put16(p, u >> 16); break;
    case 3:
      p[0] = uint8_t(u >> 8);
      p[1] = uint8_t(u >> 16);
      p[2] = uint8_t(u >> 24);
      break;
    default: Put32(p, u); break;
  }
}

}  // namespace

bool ParseSimpleWav(const uint8_t* image, size_t size, SimpleWav& out) {
  if (size < 12 || std::memcmp(image, "RIFF", 4) != 0 || std::memcmp(image + 8, "WAVE", 4) != 0) return false;
  bool haveFormat = false, haveData = false;
  WAVEFORMATEX f;
  size_t dataOffset = 0, dataSize = 0;
  size_t pos = 12;
  while (pos + 8 <= size && !(haveFormat && haveData)) {
    const uint8_t* h = image + pos;
    uint64_t chunkSize = Get32(h + 4);
    size_t body = pos + 8;
    size_t left = size - body;
    if (std::memcmp(h, "fmt ", 4) == 0) {
      if (chunkSize < 16 || chunkSize > left) return false;
      f.wFormatTag = Get16(image + body);
      f.nChannels = Get16(image + body + 2);
      f.nSamplesPerSec = Get32(image + body + 4);
      f.nAvgBytesPerSec = Get32(image + body + 8);
      f.nBlockAlign = Get16(image + body + 12);
      f.wBitsPerSample = Get16(image + body + 14);
      f.cbSize = 0;
      haveFormat = true;
    } else if (std::memcmp(h, "data", 4) == 0) {
      dataOffset = body;
      dataSize = chunkSize == 0 || chunkSize > left ? left : size_t(chunkSize);
      haveData = true;
    }
    if (chunkSize > left) break;
    pos = body + size_t(chunkSize) + (chunkSize & 1);
  }
  if (!haveFormat || !haveData || !ValidPcm(f)) return false;
  f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
  dataSize -= dataSize % f.nBlockAlign;
  out.format = f;
  out.data.assign(image + dataOffset, image + dataOffset + dataSize);
  return true;
}

bool ReadSimpleWav(const std::string& path, SimpleWav& out) {
  const SmallFile file = ReadSmallFile(path, RiffFileLimit);
  return file.Ok() && ParseSimpleWav(reinterpret_cast<const uint8_t*>(file.data.data()), file.data.size(), out);
}

bool SimpleWavWriter::Open(const std::string& path, const WAVEFORMATEX& format) {
  Close();
  const int fd = OpenOwnFile(path, O_WRONLY | O_CREAT | O_TRUNC);
  if (fd < 0) return false;
  file_ = ::fdopen(fd, "wb");
  if (!file_) {
    ::close(fd);
    return false;
  }
  uint8_t h[44] = {};
  std::memcpy(h, "RIFF", 4);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  Put32(h + 16, 16);
  Put16(h + 20, format.wFormatTag);
  Put16(h + 22, format.nChannels);
  Put32(h + 24, format.nSamplesPerSec);
  Put32(h + 28, format.nAvgBytesPerSec);
  Put16(h + 32, format.nBlockAlign);
  Put16(h + 34, format.wBitsPerSample);
  std::memcpy(h + 36, "data", 4);
  dataBytes_ = 0;
  return std::fwrite(h, 1, sizeof h, file_) == sizeof h;
}

bool SimpleWavWriter::Write(const void* data, size_t bytes) {
  if (!file_) return false;
  // A RIFF file cannot pass 4 GiB; a capture that long keeps its first part.
  if (dataBytes_ + bytes > 0xFFFFFFFFull - 44) return false;
  if (std::fwrite(data, 1, bytes, file_) != bytes) return false;
  dataBytes_ += bytes;
  return true;
}

bool SimpleWavWriter::Close() {
  if (!file_) return true;
  bool ok = true;
  if (dataBytes_ & 1) ok = std::fputc(0, file_) != EOF;
  uint8_t v[4];
  Put32(v, uint32_t(36 + dataBytes_ + (dataBytes_ & 1)));
  ok = ok && std::fseek(file_, 4, SEEK_SET) == 0 && std::fwrite(v, 1, 4, file_) == 4;
  Put32(v, uint32_t(dataBytes_));
  ok = ok && std::fseek(file_, 40, SEEK_SET) == 0 && std::fwrite(v, 1, 4, file_) == 4;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  return ok;
}

void ConvertPcmFrame(const uint8_t* src, const WAVEFORMATEX& from, uint8_t* dst, const WAVEFORMATEX& to) {
  const int inBytes = from.wBitsPerSample / 8, outBytes = to.wBitsPerSample / 8;
  for (int c = 0; c < to.nChannels; ++c) {
    int sc = c < from.nChannels ? c : from.nChannels - 1;
    WriteSample(dst + c * outBytes, outBytes, ReadSample(src + sc * inBytes, inBytes));
  }
}

}  // namespace plat
