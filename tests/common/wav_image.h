#pragma once
// A plain WAV image written byte by byte: a 16-byte "fmt " (the layout other programs write) and
// one data chunk.
#include <cstdint>
#include <string>

#include "common/bytes.h"
#include "platform/audio/wave_types.h"

inline std::string WavImage(const plat::WAVEFORMATEX& f, const std::string& data) {
  std::string fmt = LE16(f.wFormatTag) + LE16(f.nChannels) + LE32(f.nSamplesPerSec) + LE32(f.nAvgBytesPerSec) +
                    LE16(f.nBlockAlign) + LE16(f.wBitsPerSample);
  std::string body = "WAVEfmt " + LE32(16) + fmt + "data" + LE32(uint32_t(data.size())) + data;
  if (data.size() & 1) body.push_back('\0');
  return "RIFF" + LE32(uint32_t(body.size())) + body;
}
