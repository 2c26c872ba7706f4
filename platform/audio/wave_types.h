#pragma once
// The in-memory records that the wave devices and the engine share: the format description and
// the buffer header. Neither is ever written to disk by copying: files are read and written field
// by field (a format is 18 bytes there; sizeof here is larger because of alignment).
#include <cstdint>

namespace plat {

constexpr uint16_t WAVE_FORMAT_PCM = 1;
// Size of the fixed part of a format description as files and format sizes count it.
constexpr uint32_t kWaveFormatExBytes = 18;

struct WAVEFORMATEX {
  uint16_t wFormatTag = 0;
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 0;
  uint16_t wBitsPerSample = 0;
  uint16_t cbSize = 0;  // extra bytes that follow the fixed part (0 for PCM)
};

// A buffer that an application hands to a device. The device reads and writes dwBytesRecorded
// (input) and dwFlags only; it never touches the data pointer, the length, the user word, or
// anything that the owner keeps after the header.
struct WAVEHDR {
  char* lpData = nullptr;
  uint32_t dwBufferLength = 0;
  uint32_t dwBytesRecorded = 0;
  uintptr_t dwUser = 0;
  uint32_t dwFlags = 0;
  uint32_t dwLoops = 0;
  WAVEHDR* lpNext = nullptr;
  uintptr_t reserved = 0;
};
using PWAVEHDR = WAVEHDR*;

// dwFlags
constexpr uint32_t WHDR_DONE = 0x01;      // the device has finished with the buffer
constexpr uint32_t WHDR_PREPARED = 0x02;  // prepared for the device
constexpr uint32_t WHDR_INQUEUE = 0x10;   // held by the device

// The twelve standard format bits of a device's capabilities: rate band (about 11, 22 and 44 kHz)
// by mono/stereo by 8/16 bit.
constexpr uint32_t WAVE_FORMAT_1M08 = 0x001, WAVE_FORMAT_1S08 = 0x002, WAVE_FORMAT_1M16 = 0x004,
                   WAVE_FORMAT_1S16 = 0x008, WAVE_FORMAT_2M08 = 0x010, WAVE_FORMAT_2S08 = 0x020,
                   WAVE_FORMAT_2M16 = 0x040, WAVE_FORMAT_2S16 = 0x080, WAVE_FORMAT_4M08 = 0x100,
                   WAVE_FORMAT_4S08 = 0x200, WAVE_FORMAT_4M16 = 0x400, WAVE_FORMAT_4S16 = 0x800;
constexpr uint32_t kAllStandardFormats = 0xFFF;

// The capability bit that stands for a rate, channel count and sample size: bands 8000-11025,
// 11026-22050 and 22051-48000 Hz, 1 or 2 channels, 8 or 16 bits. 0 when the format has no bit
// (the format query alone decides for those).
inline uint32_t StandardFormatBit(uint32_t rate, uint32_t channels, uint32_t bits) {
  if (channels < 1 || channels > 2 || (bits != 8 && bits != 16)) return 0;
  int band;
  if (rate >= 8000 && rate <= 11025) band = 0;
  else if (rate >= 11026 && rate <= 22050) band = 1;
  else if (rate >= 22051 && rate <= 48000) band = 2;
  else return 0;
  return 1u << (band * 4 + (bits == 16 ? 2 : 0) + (channels == 2 ? 1 : 0));
}

}  // namespace plat
