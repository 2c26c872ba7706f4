#pragma once
// Wave formats: judging, building, sizing and describing them, conversions between bytes, samples
// and milliseconds, and scans and conversions of PCM sample blocks.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/wave_types.h"

using plat::WAVE_FORMAT_PCM;
using plat::WAVEFORMATEX;

// A format record as every component holds one: a zero-filled block with WAVEFORMATEX in front
// and, for tags other than PCM, cbSize extra bytes right behind it (at f + 1). Released with
// GlobalFreeMem.
struct TWaveFormatFree {
  void operator()(WAVEFORMATEX* f) const;
};
using TWaveFormatPtr = std::unique_ptr<WAVEFORMATEX, TWaveFormatFree>;
TWaveFormatPtr AllocWaveFormat(uint16_t extraBytes);
inline uint8_t* WaveFormatExtra(WAVEFORMATEX* f) { return reinterpret_cast<uint8_t*>(f + 1); }
inline const uint8_t* WaveFormatExtra(const WAVEFORMATEX* f) { return reinterpret_cast<const uint8_t*>(f + 1); }

// Tag 1, bits 8 or 16, 1, 2 or 4 channels, 4000..100000 Hz.
bool IsValidPCMFormat(const WAVEFORMATEX* f);
void MakePCMFormat(WAVEFORMATEX& f, int bits, int channels, int rate);
// 0 without a format, 18 for PCM, else 18 + cbSize.
uint32_t WaveFormatSize(const WAVEFORMATEX* f);
// A copy with its extra bytes (none for PCM, whose cbSize becomes 0); null for no format.
TWaveFormatPtr CopyWaveFormat(const WAVEFORMATEX* f);

// The record as files hold it: the 18-byte header, field by field, little-endian, then the extra
// bytes (none for PCM).
std::vector<uint8_t> WaveFormatToBytes(const WAVEFORMATEX* f);
// Reads a record of n bytes (at least 16; cbSize is 0 when the 18th byte is missing). Null when
// the extra bytes it announces are not all there.
TWaveFormatPtr WaveFormatFromBytes(const uint8_t* p, size_t n);

// Conversions of a format (0 without a format or for a zero rate). Bytes of samples and of
// milliseconds are rounded up to whole blocks.
int32_t BytesToSamples(const WAVEFORMATEX* f, int32_t bytes);
int32_t BytesToMilliseconds(const WAVEFORMATEX* f, int32_t bytes);
int32_t SamplesToBytes(const WAVEFORMATEX* f, int32_t samples);
int32_t SamplesToMilliseconds(const WAVEFORMATEX* f, int32_t samples);
int32_t MillisecondsToSamples(const WAVEFORMATEX* f, int32_t ms);
int32_t MillisecondsToBytes(const WAVEFORMATEX* f, int32_t ms);
// 64-bit forms for files past 2 GiB and device positions.
int64_t BytesToSamples64(const WAVEFORMATEX* f, int64_t bytes);  // truncated
int64_t SamplesToBytes64(const WAVEFORMATEX* f, int64_t samples);
int64_t SamplesToMilliseconds64(const WAVEFORMATEX* f, int64_t samples);
int64_t MillisecondsToSamples64(const WAVEFORMATEX* f, int64_t ms);  // truncated

std::string FormatTagName(const WAVEFORMATEX* f);
// "44.100 kHz, 16 Bit, Stereo" with the separators of the user's locale.
std::string WaveFormatText(const WAVEFORMATEX* f);

// Byte offset of the first crossing of level (percent of full scale) in a block of 8- or 16-bit
// mono or stereo PCM: slope 1 rising, 2 falling; channel 0 both, 1 left, 2 right. -1 for none.
int32_t FindTriggerPoint(const WAVEFORMATEX* f, const void* data, int32_t bytes, int level, int slope, int channel);
// The extremes of each channel in the order they occur (8-bit on the unsigned scale); for mono
// the second pair repeats the first. An empty block gives silence.
void FindMinMaxSamples(const WAVEFORMATEX* f, const void* data, int32_t bytes, int& min1, int& max1, int& min2,
                       int& max2);
// 8 <-> 16 bit PCM; the bytes written.
int32_t ConvertPCMBits(int dstBits, void* dst, int srcBits, int32_t bytes, const void* src);
