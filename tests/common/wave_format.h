#pragma once
// A PCM format description filled in field by field, apart from the code under test.
#include <cstdint>

#include "platform/audio/wave_types.h"

inline plat::WAVEFORMATEX PcmFormat(uint32_t rate, uint16_t channels, uint16_t bits) {
  plat::WAVEFORMATEX f;
  f.wFormatTag = plat::WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = bits;
  f.nBlockAlign = uint16_t(channels * bits / 8);
  f.nAvgBytesPerSec = rate * f.nBlockAlign;
  return f;
}
