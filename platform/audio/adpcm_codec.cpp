#include "platform/audio/adpcm_codec.h"

#include <algorithm>

#include "platform/audio/riff_io.h"

namespace plat {

const MsAdpcmCoef kMsAdpcmStandardCoefs[7] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                              {240, 0}, {460, -208}, {392, -232}};
const int16_t kMsAdpcmAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};
const int16_t kImaStepTable[89] = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int8_t kImaIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

namespace {

int16_t Le16(const uint8_t* p) { return int16_t(GetLE16(p)); }

int16_t Clamp16(int64_t v) { return int16_t(std::clamp<int64_t>(v, -32768, 32767)); }

// Keeps a damaged stream's step size from overflowing; a real stream never comes near it.
constexpr int32_t kMaxMsDelta = 1 << 24;

}  // namespace

uint32_t MsAdpcmSamplesPerBlock(uint32_t blockAlign, uint32_t channels) {
  if (channels == 0 || blockAlign < 7 * channels) return 0;
  return (blockAlign - 7 * channels) * 8 / (4 * channels) + 2;
}

uint32_t ImaAdpcmSamplesPerBlock(uint32_t blockAlign, uint32_t channels) {
  if (channels == 0 || blockAlign < 4 * channels) return 0;
  if (channels == 1) return (blockAlign - 4) * 2 + 1;
  return (blockAlign - 4 * channels) / (4 * channels) * 8 + 1;  // whole groups of 4 bytes each
}

bool ParseMsAdpcmFormat(const WAVEFORMATEX& f, std::span<const uint8_t> extra, AdpcmLayout& out) {
  if (f.wFormatTag != WAVE_FORMAT_ADPCM || f.wBitsPerSample != 4) return false;
  if (f.nChannels < 1 || f.nChannels > 8 || f.nSamplesPerSec == 0) return false;
  const size_t have = std::min<size_t>(f.cbSize, extra.size());
  if (have < 4) return false;
  const uint16_t spb = uint16_t(Le16(extra.data()));
  const uint16_t pairs = uint16_t(Le16(extra.data() + 2));
  if (pairs == 0 || have < 4 + size_t(pairs) * 4) return false;
  const uint32_t most = MsAdpcmSamplesPerBlock(f.nBlockAlign, f.nChannels);
  if (spb < 2 || spb > most) return false;
  out.Channels = f.nChannels;
  out.BlockAlign = f.nBlockAlign;
  out.SamplesPerBlock = spb;
  out.Coefs.resize(pairs);
  for (uint16_t i = 0; i < pairs; ++i) out.Coefs[i] = {Le16(extra.data() + 4 + 4 * i), Le16(extra.data() + 6 + 4 * i)};
  return true;
}

bool ParseImaAdpcmFormat(const WAVEFORMATEX& f, std::span<const uint8_t> extra, AdpcmLayout& out) {
  if (f.wFormatTag != WAVE_FORMAT_IMA_ADPCM || f.wBitsPerSample != 4) return false;
  if (f.nChannels < 1 || f.nChannels > 8 || f.nSamplesPerSec == 0) return false;
  const uint32_t most = ImaAdpcmSamplesPerBlock(f.nBlockAlign, f.nChannels);
  uint32_t spb = most;
  if (std::min<size_t>(f.cbSize, extra.size()) >= 2) spb = uint16_t(Le16(extra.data()));
  if (spb < 1 || spb > most) return false;
  out.Channels = f.nChannels;
  out.BlockAlign = f.nBlockAlign;
  out.SamplesPerBlock = uint16_t(spb);
  out.Coefs.clear();
  return true;
}

int32_t DecodeMsAdpcmBlock(const AdpcmLayout& layout, const uint8_t* block, size_t bytes, int16_t* out,
                           size_t maxFrames) {
  const size_t ch = layout.Channels;
  bytes = std::min<size_t>(bytes, layout.BlockAlign);
  if (ch == 0 || bytes < 7 * ch || layout.SamplesPerBlock < 2) return 0;
  const size_t nibbleFrames = (bytes - 7 * ch) * 2 / ch;
  const size_t frames = std::min({size_t(layout.SamplesPerBlock), 2 + nibbleFrames, maxFrames});

  const MsAdpcmCoef* coef[8];
  int32_t delta[8], s1[8], s2[8];
  for (size_t c = 0; c < ch; ++c) {
    if (block[c] >= layout.Coefs.size()) return -1;
    coef[c] = &layout.Coefs[block[c]];
    delta[c] = Le16(block + ch + 2 * c);
    s1[c] = Le16(block + 3 * ch + 2 * c);
    s2[c] = Le16(block + 5 * ch + 2 * c);
  }
  // The header's second samples come first, then its first samples.
  for (size_t f = 0; f < std::min<size_t>(frames, 2); ++f)
    for (size_t c = 0; c < ch; ++c) out[f * ch + c] = int16_t(f == 0 ? s2[c] : s1[c]);

  const uint8_t* p = block + 7 * ch;
  size_t nibble = 0;
  for (size_t f = 2; f < frames; ++f) {
    for (size_t c = 0; c < ch; ++c, ++nibble) {
      const int code = (nibble & 1) ? (p[nibble / 2] & 0x0F) : (p[nibble / 2] >> 4);
      const int64_t predicted = (int64_t(s1[c]) * coef[c]->Coef1 + int64_t(s2[c]) * coef[c]->Coef2) >> 8;
      const int16_t sample = Clamp16(predicted + int64_t(code >= 8 ? code - 16 : code) * delta[c]);
      out[f * ch + c] = sample;
      s2[c] = s1[c];
      s1[c] = sample;
      delta[c] = std::clamp<int32_t>(int32_t((int64_t(kMsAdpcmAdaptation[code]) * delta[c]) >> 8), 16, kMaxMsDelta);
    }
  }
  return int32_t(frames);
}

int32_t DecodeImaAdpcmBlock(const AdpcmLayout& layout, const uint8_t* block, size_t bytes, int16_t* out,
                            size_t maxFrames) {
  const size_t ch = layout.Channels;
  bytes = std::min<size_t>(bytes, layout.BlockAlign);
  if (ch == 0 || bytes < 4 * ch || layout.SamplesPerBlock < 1 || maxFrames == 0) return 0;
  // Nibbles that the last channel has in the bytes given: whole groups, then its part of the last.
  const size_t data = bytes - 4 * ch, group = 4 * ch;
  const size_t rest = data % group, lastStart = 4 * (ch - 1);
  const size_t nibbles = data / group * 8 + (rest > lastStart ? 2 * (rest - lastStart) : 0);
  const size_t frames = std::min({size_t(layout.SamplesPerBlock), 1 + nibbles, maxFrames});

  for (size_t c = 0; c < ch; ++c) {
    const uint8_t* head = block + 4 * c;
    int32_t sample = Le16(head);
    int index = head[2] > 88 ? 0 : head[2];
    out[c] = int16_t(sample);
    for (size_t i = 0; i + 1 < frames; ++i) {
      // Channel c's bytes: 4 of every group of 4 x channels, low nibble first.
      const size_t byte = 4 * ch + (i / 8) * group + 4 * c + (i % 8) / 2;
      const int code = (i & 1) ? (block[byte] >> 4) : (block[byte] & 0x0F);
      int step = kImaStepTable[index];
      int diff = step >> 3;
      if (code & 4) diff += step;
      if (code & 2) diff += step >> 1;
      if (code & 1) diff += step >> 2;
      sample = Clamp16(int64_t(sample) + ((code & 8) ? -diff : diff));
      index = std::clamp(index + kImaIndexTable[code], 0, 88);
      out[(i + 1) * ch + c] = int16_t(sample);
    }
  }
  return int32_t(frames);
}

}  // namespace plat
