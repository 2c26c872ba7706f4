#pragma once
// ADPCM files made by sox, the outside judge of our decoders: a test signal is written as a PCM
// WAV, sox encodes it, and sox's own decoding of that file is what ours must give back.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "platform/audio/wave_types.h"

namespace soxadpcm {

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

// A WAV file as the tests need it: the format, its extra bytes and the data chunk.
struct WavImage {
  plat::WAVEFORMATEX Format;
  std::vector<uint8_t> Extra;
  std::vector<uint8_t> Data;
  // The format with its extra bytes right behind it, as chain components hold a format.
  std::vector<uint32_t> Block() const {
    std::vector<uint32_t> b((sizeof(plat::WAVEFORMATEX) + Extra.size() + 3) / 4);
    std::memcpy(b.data(), &Format, sizeof Format);
    if (!Extra.empty()) std::memcpy(reinterpret_cast<uint8_t*>(b.data()) + sizeof Format, Extra.data(), Extra.size());
    return b;
  }
};

inline bool ReadWav(const std::string& path, WavImage& w) {
  const auto f = ReadFile(path);
  if (f.size() < 12 || std::memcmp(f.data(), "RIFF", 4) != 0) return false;
  bool haveFormat = false, haveData = false;
  for (size_t pos = 12; pos + 8 <= f.size();) {
    const uint32_t size = Le32(&f[pos + 4]);
    const uint8_t* p = &f[pos + 8];
    const size_t avail = std::min<size_t>(size, f.size() - pos - 8);
    if (std::memcmp(&f[pos], "fmt ", 4) == 0 && avail >= 16) {
      w.Format.wFormatTag = Le16(p);
      w.Format.nChannels = Le16(p + 2);
      w.Format.nSamplesPerSec = Le32(p + 4);
      w.Format.nAvgBytesPerSec = Le32(p + 8);
      w.Format.nBlockAlign = Le16(p + 12);
      w.Format.wBitsPerSample = Le16(p + 14);
      w.Format.cbSize = avail >= 18 ? Le16(p + 16) : 0;
      w.Extra.assign(p + 18, p + 18 + std::min<size_t>(w.Format.cbSize, avail - std::min<size_t>(avail, 18)));
      haveFormat = true;
    } else if (std::memcmp(&f[pos], "data", 4) == 0) {
      w.Data.assign(p, p + avail);
      haveData = true;
    }
    pos += 8 + size + (size & 1);
  }
  return haveFormat && haveData;
}

inline void WritePcmWav(const std::string& path, uint32_t rate, uint16_t channels, const std::vector<int16_t>& s) {
  std::vector<uint8_t> b;
  auto put32 = [&b](uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
  };
  auto put16 = [&b](uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
  };
  const uint32_t data = uint32_t(s.size() * 2);
  b.insert(b.end(), {'R', 'I', 'F', 'F'});
  put32(36 + data);
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put32(16);
  put16(1);
  put16(channels);
  put32(rate);
  put32(rate * channels * 2);
  put16(uint16_t(channels * 2));
  put16(16);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  put32(data);
  for (int16_t v : s) put16(uint16_t(v));
  WriteFile(path, b);
}

inline std::vector<int16_t> ToSamples(const std::vector<uint8_t>& raw) {
  std::vector<int16_t> s(raw.size() / 2);
  for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(Le16(&raw[2 * i]));
  return s;
}

inline bool Run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

// A deterministic test signal: two tones, a sweep and a little noise, with loud passages that
// drive the step sizes up.
inline std::vector<int16_t> Signal(size_t frames, uint16_t channels, uint32_t seed = 1) {
  std::vector<int16_t> s(frames * channels);
  uint32_t x = seed;
  for (size_t i = 0; i < frames; ++i)
    for (uint16_t c = 0; c < channels; ++c) {
      x = x * 1664525u + 1013904223u;
      const double t = double(i) / 8000.0;
      const double loud = (i / 2000) % 3 == 2 ? 1.0 : 0.3;
      double v = loud * (0.5 * std::sin(2 * M_PI * (440 + 110 * c) * t) + 0.3 * std::sin(2 * M_PI * 3000 * t * t)) +
                 0.05 * (double(x >> 16) / 32768.0 - 1.0);
      s[i * channels + c] = int16_t(std::max(-32768.0, std::min(32767.0, v * 32767)));
    }
  return s;
}

// Encodes the signal with sox into `encoding` ("ms-adpcm" or "ima-adpcm"); `wav` receives the
// file and `reference` sox's 16-bit decoding of it. False when sox is missing or refuses.
inline bool Encode(const Scratch& dir, const std::string& encoding, uint32_t rate, uint16_t channels,
                   const std::vector<int16_t>& signal, WavImage& wav, std::vector<int16_t>& reference) {
  const std::string pcm = dir.Path("in.wav"), enc = dir.Path("enc.wav"), raw = dir.Path("dec.raw");
  WritePcmWav(pcm, rate, channels, signal);
  if (!Run("sox '" + pcm + "' -e " + encoding + " '" + enc + "'")) return false;
  if (!Run("sox '" + enc + "' -t s16 '" + raw + "'")) return false;
  reference = ToSamples(ReadFile(raw));
  return ReadWav(enc, wav);
}

}  // namespace soxadpcm
