#include "engine/MMPCMSup.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "engine/MMUtils.h"
#include "platform/audio/riff_io.h"

namespace {

int32_t I32(uint32_t v) { return v > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(v); }

int64_t RoundUpToBlock(const WAVEFORMATEX* f, int64_t bytes) {
  int64_t align = f->nBlockAlign;
  if (align <= 1 || bytes <= 0) return bytes;
  return (bytes + align - 1) / align * align;
}

int32_t RoundUpToBlock32(const WAVEFORMATEX* f, int32_t bytes) {
  int64_t r = RoundUpToBlock(f, bytes);
  return r > INT32_MAX ? INT32_MAX : int32_t(r);
}

// a * b / c truncated toward zero, saturating; 0 for a zero divisor.
int64_t MulDivTrunc64(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  __int128 q = __int128(a) * b / c;
  if (q > std::numeric_limits<int64_t>::max()) return std::numeric_limits<int64_t>::max();
  if (q < std::numeric_limits<int64_t>::min()) return std::numeric_limits<int64_t>::min();
  return int64_t(q);
}

struct TagName {
  uint16_t tag;
  const char* name;
};

const TagName kTagNames[] = {
    {0, "Unknown"},
    {1, "PCM"},
    {0x20C, "PCM 32"},
    {2, "Microsoft ADPCM"},
    {3, "IEEE Float"},
    {5, "IBM CVSD"},
    {6, "CCITT A-Law"},
    {7, "CCITT mu-Law"},
    {0x10, "OKI ADPCM"},
    {0x11, "IMA ADPCM"},
    {0x11, "DVI ADPCM"},
    {0x12, "Mediaspace's ADPCM"},
    {0x13, "Sierra's ADPCM"},
    {0x14, "CCITT G.723 ADPCM"},
    {0x15, "Digisound DIGISTD"},
    {0x16, "Digisound DIGIFIX"},
    {0x17, "Dialogic OKI ADPCM"},
    {0x20, "Yamaha ADPCM"},
    {0x21, "Sonarc"},
    {0x22, "DSP Group's Truespeech"},
    {0x23, "Echo SC1"},
    {0x24, "Audiofile AF36"},
    {0x25, "Audio Processing Technology"},
    {0x26, "Audiofile AF10"},
    {0x30, "Dolby AC2"},
    {0x209, "Dolby AC2"},
    {0x31, "GSM 6.10"},
    {0x33, "Antex ADPCME"},
    {0x39, "CS IMA ADPCM"},
    {0x40, "CCITT G.721 ADPCM"},
    {0x50, "MPEG 1"},
    {0x55, "MPEG Layer-3"},
    {0x200, "Creative's ADPCM"},
    {0x1001, "Olivetti's ADPCM"},
    {0x204, "CDI-C"},
    {0x205, "CDI-B"},
    {0x206, "Antex-DVI-OKI ADPCME"},
    {0xFFFF, "*DEVELOPMENT ONLY TAG*"},
};

// The decimal and list separators of the user's locale, read each time a text is made.
void Separators(char& decimal, char& list) {
  decimal = '.';
  list = ',';
  if (const lconv* lc = std::localeconv(); lc && lc->decimal_point && lc->decimal_point[0] && !lc->decimal_point[1])
    decimal = lc->decimal_point[0];
  if (decimal == ',') list = ';';
}

int SampleAt(const uint8_t* p, bool sixteen) { return sixteen ? int(int16_t(plat::GetLE16(p))) : int(p[0]); }

}  // namespace

bool IsValidPCMFormat(const WAVEFORMATEX* f) {
  return f && f->wFormatTag == WAVE_FORMAT_PCM && (f->wBitsPerSample == 8 || f->wBitsPerSample == 16) &&
         (f->nChannels == 1 || f->nChannels == 2 || f->nChannels == 4) && f->nSamplesPerSec >= 4000 &&
         f->nSamplesPerSec <= 100000;
}

void MakePCMFormat(WAVEFORMATEX& f, int bits, int channels, int rate) {
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = uint16_t(channels);
  f.nSamplesPerSec = uint32_t(rate);
  f.wBitsPerSample = uint16_t(bits);
  f.nBlockAlign = uint16_t(bits * channels / 8);
  f.nAvgBytesPerSec = uint32_t(f.nBlockAlign) * uint32_t(rate);
  f.cbSize = 0;
}

uint32_t WaveFormatSize(const WAVEFORMATEX* f) {
  if (!f) return 0;
  if (f->wFormatTag == WAVE_FORMAT_PCM) return plat::kWaveFormatExBytes;
  return plat::kWaveFormatExBytes + f->cbSize;
}

void TWaveFormatFree::operator()(WAVEFORMATEX* f) const {
  void* p = f;
  GlobalFreeMem(p);
}

TWaveFormatPtr AllocWaveFormat(uint16_t extraBytes) {
  void* p = GlobalAllocMem(sizeof(WAVEFORMATEX) + extraBytes);
  auto* f = new (p) WAVEFORMATEX();
  f->cbSize = extraBytes;
  return TWaveFormatPtr(f);
}

TWaveFormatPtr CopyWaveFormat(const WAVEFORMATEX* f) {
  if (!f) return nullptr;
  const uint16_t extra = f->wFormatTag == WAVE_FORMAT_PCM ? 0 : f->cbSize;
  TWaveFormatPtr copy = AllocWaveFormat(extra);
  *copy = *f;
  copy->cbSize = extra;
  if (extra) std::memcpy(WaveFormatExtra(copy.get()), WaveFormatExtra(f), extra);
  return copy;
}

std::vector<uint8_t> WaveFormatToBytes(const WAVEFORMATEX* f) {
  std::vector<uint8_t> out(WaveFormatSize(f), 0);
  if (!f) return out;
  uint8_t* p = out.data();
  plat::PutLE16(p + 0, f->wFormatTag);
  plat::PutLE16(p + 2, f->nChannels);
  plat::PutLE32(p + 4, f->nSamplesPerSec);
  plat::PutLE32(p + 8, f->nAvgBytesPerSec);
  plat::PutLE16(p + 12, f->nBlockAlign);
  plat::PutLE16(p + 14, f->wBitsPerSample);
  const uint16_t extra = f->wFormatTag == WAVE_FORMAT_PCM ? 0 : f->cbSize;
  plat::PutLE16(p + 16, extra);
  if (extra) std::memcpy(p + 18, WaveFormatExtra(f), extra);
  return out;
}

TWaveFormatPtr WaveFormatFromBytes(const uint8_t* p, size_t n) {
  if (!p || n < 16) return nullptr;
  const uint16_t tag = plat::GetLE16(p + 0);
  uint16_t extra = n >= 18 && tag != WAVE_FORMAT_PCM ? plat::GetLE16(p + 16) : 0;
  if (size_t(extra) > n - std::min<size_t>(n, 18)) return nullptr;
  TWaveFormatPtr f = AllocWaveFormat(extra);
  f->wFormatTag = tag;
  f->nChannels = plat::GetLE16(p + 2);
  f->nSamplesPerSec = plat::GetLE32(p + 4);
  f->nAvgBytesPerSec = plat::GetLE32(p + 8);
  f->nBlockAlign = plat::GetLE16(p + 12);
  f->wBitsPerSample = plat::GetLE16(p + 14);
  if (extra) std::memcpy(WaveFormatExtra(f.get()), p + 18, extra);
  return f;
}

int32_t BytesToSamples(const WAVEFORMATEX* f, int32_t bytes) {
  return f ? MulDiv32(bytes, I32(f->nSamplesPerSec), I32(f->nAvgBytesPerSec)) : 0;
}

int32_t BytesToMilliseconds(const WAVEFORMATEX* f, int32_t bytes) {
  return f ? MulDiv32(bytes, 1000, I32(f->nAvgBytesPerSec)) : 0;
}

int32_t SamplesToBytes(const WAVEFORMATEX* f, int32_t samples) {
  if (!f) return 0;
  return RoundUpToBlock32(f, MulDiv32(samples, I32(f->nAvgBytesPerSec), I32(f->nSamplesPerSec)));
}

int32_t SamplesToMilliseconds(const WAVEFORMATEX* f, int32_t samples) {
  return f ? MulDiv32(samples, 1000, I32(f->nSamplesPerSec)) : 0;
}

int32_t MillisecondsToSamples(const WAVEFORMATEX* f, int32_t ms) {
  return f ? MulDiv32(ms, I32(f->nSamplesPerSec), 1000) : 0;
}

int32_t MillisecondsToBytes(const WAVEFORMATEX* f, int32_t ms) {
  if (!f) return 0;
  return RoundUpToBlock32(f, MulDiv32(ms, I32(f->nAvgBytesPerSec), 1000));
}

int64_t BytesToSamples64(const WAVEFORMATEX* f, int64_t bytes) {
  return f ? MulDivTrunc64(bytes, f->nSamplesPerSec, f->nAvgBytesPerSec) : 0;
}

int64_t SamplesToBytes64(const WAVEFORMATEX* f, int64_t samples) {
  if (!f) return 0;
  return RoundUpToBlock(f, MulDiv64(samples, f->nAvgBytesPerSec, f->nSamplesPerSec));
}

int64_t SamplesToMilliseconds64(const WAVEFORMATEX* f, int64_t samples) {
  return f ? MulDiv64(samples, 1000, f->nSamplesPerSec) : 0;
}

int64_t MillisecondsToSamples64(const WAVEFORMATEX* f, int64_t ms) {
  return f ? MulDivTrunc64(ms, f->nSamplesPerSec, 1000) : 0;
}

std::string FormatTagName(const WAVEFORMATEX* f) {
  if (f)
    for (const TagName& t : kTagNames)
      if (t.tag == f->wFormatTag) return t.name;
  return "Unknown";
}

std::string WaveFormatText(const WAVEFORMATEX* f) {
  if (!f || f->nSamplesPerSec == 0 || f->nChannels == 0) return "Unknown";
  char dec, list;
  Separators(dec, list);
  // The bits of the byte rate, so a compressed format shows what it really spends per sample.
  uint64_t bits = uint64_t(f->nAvgBytesPerSec) * 8 / f->nSamplesPerSec / f->nChannels;
  unsigned rate = f->nSamplesPerSec;
  char text[128];
  if (f->nChannels <= 2)
    std::snprintf(text, sizeof text, "%u%c%.03u kHz%c %llu Bit%c %s", rate / 1000, dec, rate % 1000, list,
                  (unsigned long long)bits, list, f->nChannels == 1 ? "Mono" : "Stereo");
  else
    std::snprintf(text, sizeof text, "%u%c%.03u kHz%c %llu Bit%c %u Channels", rate / 1000, dec, rate % 1000, list,
                  (unsigned long long)bits, list, unsigned(f->nChannels));
  return text;
}

int32_t FindTriggerPoint(const WAVEFORMATEX* f, const void* data, int32_t bytes, int level, int slope, int channel) {
  if (!f || !data || slope == 0 || bytes <= 0) return -1;
  if ((f->wBitsPerSample != 8 && f->wBitsPerSample != 16) || (f->nChannels != 1 && f->nChannels != 2)) return -1;
  const bool sixteen = f->wBitsPerSample == 16;
  const bool rising = slope == 1;
  if (slope == 2) level = -level;
  const int threshold = sixteen ? level * 327 : MulDivRound32(level, 127, 100) + 128;
  const auto* p = static_cast<const uint8_t*>(data);
  const int ss = sixteen ? 2 : 1;
  auto crosses = [&](int32_t a, int32_t b) {
    int x = SampleAt(p + a, sixteen), y = SampleAt(p + b, sixteen);
    return rising ? (x < threshold && y >= threshold) : (x > threshold && y <= threshold);
  };
  if (f->nChannels == 1) {
    const int32_t minLeft = sixteen ? 5 : 3;
    for (int32_t off = 0; bytes - off >= minLeft; off += ss)
      if (crosses(off, off + ss)) return off + ss;
    return -1;
  }
  const int32_t frame = 2 * ss;
  for (int32_t off = 0; bytes - off > 2 * frame; off += frame) {
    if ((channel == 0 || channel == 1) && crosses(off, off + frame)) return off + frame;
    if ((channel == 0 || channel == 2) && crosses(off + ss, off + frame + ss)) return off + frame + ss;
  }
  return -1;
}

void FindMinMaxSamples(const WAVEFORMATEX* f, const void* data, int32_t bytes, int& min1, int& max1, int& min2,
                       int& max2) {
  const bool sixteen = f && f->wBitsPerSample == 16;
  const int silence = sixteen ? 0 : 128;
  min1 = max1 = min2 = max2 = silence;
  if (!f || !data || (f->wBitsPerSample != 8 && !sixteen) || (f->nChannels != 1 && f->nChannels != 2)) return;
  const int ss = sixteen ? 2 : 1, channels = f->nChannels, frame = ss * channels;
  const int32_t frames = bytes > 0 ? bytes / frame : 0;
  if (frames == 0) return;
  const auto* p = static_cast<const uint8_t*>(data);
  const int offset = sixteen ? 0 : 128;  // 8-bit samples compare on the signed scale
  int out[2][2];
  for (int c = 0; c < channels; ++c) {
    int lo = SampleAt(p + c * ss, sixteen) - offset, hi = lo;
    int32_t loAt = 0, hiAt = 0;
    for (int32_t i = 1; i < frames; ++i) {
      int v = SampleAt(p + i * frame + c * ss, sixteen) - offset;
      if (v < lo) {
        lo = v;
        loAt = i;
      }
      if (v > hi) {
        hi = v;
        hiAt = i;
      }
    }
    bool highFirst = hiAt < loAt;
    out[c][0] = (highFirst ? hi : lo) + offset;
    out[c][1] = (highFirst ? lo : hi) + offset;
  }
  if (channels == 1) {
    out[1][0] = out[0][0];
    out[1][1] = out[0][1];
  }
  min1 = out[0][0];
  max1 = out[0][1];
  min2 = out[1][0];
  max2 = out[1][1];
}

int32_t ConvertPCMBits(int dstBits, void* dst, int srcBits, int32_t bytes, const void* src) {
  if (!dst || !src || bytes <= 0) return 0;
  if (dstBits == srcBits) {
    std::memmove(dst, src, size_t(bytes));
    return bytes;
  }
  auto* d = static_cast<uint8_t*>(dst);
  const auto* s = static_cast<const uint8_t*>(src);
  if (srcBits == 8 && dstBits == 16) {
    for (int32_t i = 0; i < bytes; ++i) plat::PutLE16(d + 2 * i, uint16_t(int16_t((int(s[i]) - 128) * 256)));
    return bytes * 2;
  }
  if (srcBits == 16 && dstBits == 8) {
    int32_t n = bytes / 2;
    for (int32_t i = 0; i < n; ++i) d[i] = uint8_t(int(int16_t(plat::GetLE16(s + 2 * i))) / 256 + 128);
    return n;
  }
  return 0;
}
