#pragma once
// WAV files written byte by byte for the wave tests, a frame-numbered sample stream, and buffer
// records to push and pull through a wave file component.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/wav_image.h"
#include "common/wave_format.h"
#include "engine/MMDSPObj.h"
#include "platform/system/files.h"

namespace wavefx {

using ::LE16;
using ::LE32;
inline uint32_t Get32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
         uint32_t(uint8_t(s[at + 3])) << 24;
}

inline WAVEFORMATEX Pcm(uint32_t rate, uint16_t channels, uint16_t bits) { return PcmFormat(rate, channels, bits); }

using ::WavImage;

inline void WriteWav(const std::string& path, const WAVEFORMATEX& f, const std::string& data) {
  plat::WriteWholeFile(path, WavImage(f, data));
}

// Frame k of a stream holds k in every 4-byte word, so any byte out of place shows.
inline std::string Frames(int64_t first, int64_t count, int align) {
  std::string s(size_t(count * align), '\0');
  for (int64_t k = 0; k < count; ++k)
    for (int b = 0; b < align; ++b) s[size_t(k * align + b)] = char(uint32_t(first + k) >> (8 * (b % 4)));
  return s;
}

inline std::string FileBytes(const std::string& path) {
  std::string s;
  plat::ReadWholeFile(path, s);
  return s;
}

// The payload of the first chunk with that id, or npos-marked empty when there is none.
inline bool FindChunk(const std::string& file, const char* id, std::string& payload, size_t* at = nullptr) {
  size_t p = 12;
  while (p + 8 <= file.size()) {
    uint32_t n = Get32(file, p + 4);
    if (file.compare(p, 4, id) == 0) {
      payload = file.substr(p + 8, n);
      if (at) *at = p;
      return true;
    }
    p += 8 + n + (n & 1);
  }
  return false;
}

// A buffer record with room for n bytes, as devices and ring buffers hand them along.
class Buffer {
public:
  explicit Buffer(uint32_t n) : block_(kWaveHdrSize + n), hdr_(InitWaveHdr(block_.data(), n)) {}
  PWaveHdr operator->() const { return hdr_; }
  PWaveHdr get() const { return hdr_; }
  void Fill(const std::string& bytes) {
    std::copy(bytes.begin(), bytes.end(), hdr_->lpData);
    hdr_->dwBytesRecorded = uint32_t(bytes.size());
  }
  std::string Data() const { return std::string(hdr_->lpData, hdr_->dwBytesRecorded); }

private:
  std::vector<uint8_t> block_;
  PWaveHdr hdr_;
};

}  // namespace wavefx
