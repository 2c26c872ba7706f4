#pragma once
// Just enough of the WAV format for the virtual device's file input and capture and for the
// system sound player: PCM only, read whole into memory. The engine's own WAV layer is elsewhere.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/audio/wave_types.h"

namespace plat {

struct SimpleWav {
  WAVEFORMATEX format;
  std::vector<uint8_t> data;  // whole frames only
};

// Parses a RIFF WAVE image with a PCM format of 8, 16, 24 or 32 bits. A data chunk whose size field
// is 0 or reaches past the end (an unfinished recording) runs to the end of the image. Every size
// is checked against the image; false for anything else.
bool ParseSimpleWav(const uint8_t* image, size_t size, SimpleWav& out);
// Reads the file whole as plat::ReadSmallFile does (nothing at the name is waited on, only a
// regular file is read), then parses it. A file larger than any RIFF file can be (its size field
// counts 32 bits) is refused by its size, never read into memory.
constexpr int64_t RiffFileLimit = int64_t(0xFFFFFFFF) + 8;
bool ReadSimpleWav(const std::string& path, SimpleWav& out);

// Writes a PCM WAV file as data arrives; the sizes are written when it is closed.
class SimpleWavWriter {
public:
  SimpleWavWriter() = default;
  ~SimpleWavWriter() { Close(); }
  SimpleWavWriter(const SimpleWavWriter&) = delete;
  SimpleWavWriter& operator=(const SimpleWavWriter&) = delete;
  bool Open(const std::string& path, const WAVEFORMATEX& format);
  bool Write(const void* data, size_t bytes);
  bool Close();
  bool IsOpen() const { return file_ != nullptr; }

private:
  std::FILE* file_ = nullptr;
  uint64_t dataBytes_ = 0;
};

// Converts one frame of PCM to another sample size and channel count (no rate change): samples are
// scaled by shifting, a missing channel repeats the last one.
void ConvertPcmFrame(const uint8_t* src, const WAVEFORMATEX& from, uint8_t* dst, const WAVEFORMATEX& to);

}  // namespace plat
