#include "engine/MMADPCM.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "platform/audio/riff_io.h"

namespace {

// Reads the decoder's view of a format that IsMSADPCMFormat accepts.
bool MSLayout(const WAVEFORMATEX* f, plat::AdpcmLayout& layout) {
  return IsMSADPCMFormat(f) && plat::ParseMsAdpcmFormat(*f, FormatExtraBytes(f), layout);
}

// The tag 3 table: rows 0 and 1 are the format's own; every other row is the IMA step's
// (2n + 1) x step / 8 rounded, kept in 16 bits, which wraps round in the last rows.
std::array<int16_t, 89 * 8> MakeMediaVisionTable() {
  std::array<int16_t, 89 * 8> t{};
  const int16_t row0[8] = {0, 2, 4, 6, 8, 10, 12, 13};
  for (int row = 0; row < 89; ++row)
    for (int n = 0; n < 8; ++n) {
      const int32_t v = row == 0 ? row0[n] : ((2 * n + 1) * int32_t(plat::kImaStepTable[row]) + 4) / 8;
      t[row * 8 + n] = int16_t(uint16_t(v));
    }
  return t;
}

const std::array<int16_t, 89 * 8>& MediaVisionTable() {
  static const auto table = MakeMediaVisionTable();
  return table;
}

int16_t MediaVisionStep(TMMIMAChannelState& s, int code) {
  const int16_t diff = MediaVisionTable()[s.StepIndex * 8 + (code & 7)];
  const uint16_t delta = (code & 8) ? uint16_t(-uint16_t(diff)) : uint16_t(diff);
  s.LastSample = int16_t(uint16_t(uint16_t(s.LastSample) + delta));
  s.StepIndex = int16_t(std::clamp(s.StepIndex + plat::kImaIndexTable[code], 0, 88));
  s.Nibble = int16_t(code);
  return s.LastSample;
}

void Put16(uint8_t* p, int16_t v) { plat::PutLE16(p, uint16_t(v)); }

}  // namespace

std::span<const uint8_t> FormatExtraBytes(const WAVEFORMATEX* f) {
  if (!f || f->wFormatTag == WAVE_FORMAT_PCM || f->cbSize == 0) return {};
  return {WaveFormatExtra(f), f->cbSize};
}

bool IsMSADPCMFormat(const WAVEFORMATEX* f) {
  if (!f || f->wFormatTag != WAVE_FORMAT_ADPCM || f->wBitsPerSample != 4) return false;
  if (f->nChannels < 1 || f->nChannels > 4 || f->nSamplesPerSec == 0 || f->cbSize < kMSADPCMExtraBytes) return false;
  plat::AdpcmLayout layout;
  if (!plat::ParseMsAdpcmFormat(*f, FormatExtraBytes(f), layout) || layout.Coefs.size() != 7) return false;
  for (size_t i = 0; i < 7; ++i)
    if (layout.Coefs[i].Coef1 != plat::kMsAdpcmStandardCoefs[i].Coef1 ||
        layout.Coefs[i].Coef2 != plat::kMsAdpcmStandardCoefs[i].Coef2)
      return false;
  return true;
}

bool MakeADPCMFormat(const WAVEFORMATEX* source, TWaveFormatPtr& out, int bits, int rate, int channels) {
  if (IsValidPCMFormat(source)) {
    if (rate < 1) rate = int(source->nSamplesPerSec);
    if (channels < 1) channels = source->nChannels;
    if (channels > 4) return false;
    int64_t align = 256 * channels;
    if (rate > 11025) align = int64_t(rate / 11000) * 256 * channels;
    if (align > 0xFFFF) return false;
    const int64_t raw = int64_t(4) * channels * rate / 8;
    const int64_t avg = (7 * channels) * (raw / align) + raw + 7 * channels;
    if (avg > 0xFFFFFFFFll) return false;
    TWaveFormatPtr f = AllocWaveFormat(kMSADPCMExtraBytes);
    f->wFormatTag = WAVE_FORMAT_ADPCM;
    f->nChannels = uint16_t(channels);
    f->nSamplesPerSec = uint32_t(rate);
    f->nAvgBytesPerSec = uint32_t(avg);
    f->nBlockAlign = uint16_t(align);
    f->wBitsPerSample = 4;
    uint8_t* extra = WaveFormatExtra(f.get());
    plat::PutLE16(extra, uint16_t(((align - 7 * channels) * 8) / (4 * channels) + 2));
    plat::PutLE16(extra + 2, 7);
    for (int i = 0; i < 7; ++i) {
      plat::PutLE16(extra + 4 + 4 * i, uint16_t(plat::kMsAdpcmStandardCoefs[i].Coef1));
      plat::PutLE16(extra + 6 + 4 * i, uint16_t(plat::kMsAdpcmStandardCoefs[i].Coef2));
    }
    out = std::move(f);
    return true;
  }
  if (IsMSADPCMFormat(source)) {
    if (bits < 1) bits = 16;
    if (bits != 8 && bits != 16) return false;
    TWaveFormatPtr f = AllocWaveFormat(0);
    MakePCMFormat(*f, bits, channels < 1 ? source->nChannels : channels, rate < 1 ? int(source->nSamplesPerSec) : rate);
    out = std::move(f);
    return true;
  }
  return false;
}

int32_t DecodeMSADPCM(const WAVEFORMATEX* adpcm, const WAVEFORMATEX* pcm, const void* src, int32_t count, void* dst,
                      int32_t dstSize, bool* damaged) {
  if (damaged) *damaged = false;
  plat::AdpcmLayout layout;
  if (!src || !dst || count <= 0 || dstSize <= 0 || !pcm || !MSLayout(adpcm, layout)) return 0;
  if (pcm->nChannels != layout.Channels || (pcm->wBitsPerSample != 8 && pcm->wBitsPerSample != 16)) return 0;
  const size_t ch = layout.Channels, sampleBytes = pcm->wBitsPerSample / 8;
  const size_t frameBytes = ch * sampleBytes;
  const auto* in = static_cast<const uint8_t*>(src);
  auto* out = static_cast<uint8_t*>(dst);
  std::vector<int16_t> block(size_t(layout.SamplesPerBlock) * ch);
  size_t used = 0, written = 0;
  while (used < size_t(count)) {
    const size_t room = (size_t(dstSize) - written) / frameBytes;
    if (room == 0) break;
    const int32_t frames = plat::DecodeMsAdpcmBlock(layout, in + used, size_t(count) - used, block.data(), room);
    if (frames < 0) {
      if (damaged) *damaged = true;
      break;
    }
    if (frames == 0) break;  // not even a header left
    const size_t samples = size_t(frames) * ch;
    if (sampleBytes == 2) {
      for (size_t i = 0; i < samples; ++i) Put16(out + written + 2 * i, block[i]);
    } else {
      for (size_t i = 0; i < samples; ++i) out[written + i] = uint8_t(block[i] / 256 + 128);
    }
    written += samples * sampleBytes;
    used += layout.BlockAlign;
  }
  return int32_t(written);
}

int16_t MediaVisionDifference(int row, int nibble) {
  return MediaVisionTable()[std::clamp(row, 0, 88) * 8 + (nibble & 7)];
}

void SanitiseIMAState(TMMIMAChannelState& s) { s.StepIndex = int16_t(std::clamp<int>(s.StepIndex, 0, 88)); }

int32_t DecodeIMANibblesMono(TMMIMAState& state, int32_t count, const void* src, void* dst, TMMIMAStep step) {
  if (!src || !dst || count <= 0) return 0;
  count = std::min(count, kMaxIMABytes);
  TMMIMAChannelState& s = state.Channel[0];
  SanitiseIMAState(s);
  const auto* in = static_cast<const uint8_t*>(src);
  auto* out = static_cast<uint8_t*>(dst);
  for (int32_t i = 0; i < count; ++i) {
    Put16(out + 4 * i, step(s, in[i] >> 4));
    Put16(out + 4 * i + 2, step(s, in[i] & 0x0F));
  }
  return count * 4;
}

int32_t StartIMAStereo(TMMIMAState& state, int32_t count, const void* src, void* dst) {
  if (!src || !dst || count <= 0) return 0;
  SanitiseIMAState(state.Channel[0]);
  SanitiseIMAState(state.Channel[1]);
  return std::min(count, kMaxIMABytes);
}

int32_t DecodeIMAMono(TMMIMAState& state, int32_t count, const void* src, void* dst) {
  return DecodeIMANibblesMono(state, count, src, dst, MediaVisionStep);
}

int32_t DecodeIMAStereo(TMMIMAState& state, int32_t count, const void* src, void* dst) {
  count = StartIMAStereo(state, count, src, dst);
  const auto* in = static_cast<const uint8_t*>(src);
  auto* out = static_cast<uint8_t*>(dst);
  for (int32_t i = 0; i < count; ++i) {
    Put16(out + 4 * i, MediaVisionStep(state.Channel[0], in[i] & 0x0F));
    Put16(out + 4 * i + 2, MediaVisionStep(state.Channel[1], in[i] >> 4));
  }
  return count * 4;
}

// ---- block streams ----

bool ADPCMBlockLayout(const WAVEFORMATEX* f, plat::AdpcmLayout& layout) {
  if (!f) return false;
  if (f->wFormatTag == WAVE_FORMAT_ADPCM) return plat::ParseMsAdpcmFormat(*f, FormatExtraBytes(f), layout);
  if (f->wFormatTag == plat::WAVE_FORMAT_IMA_ADPCM) return plat::ParseImaAdpcmFormat(*f, FormatExtraBytes(f), layout);
  return false;
}

int32_t ADPCMSamplesPerBlock(const WAVEFORMATEX* f) {
  plat::AdpcmLayout layout;
  return ADPCMBlockLayout(f, layout) ? layout.SamplesPerBlock : 0;
}

bool TMMADPCMBlockStream::DecodedFormat(const WAVEFORMATEX* f, WAVEFORMATEX& pcm) {
  plat::AdpcmLayout layout;
  if (!ADPCMBlockLayout(f, layout) || f->nSamplesPerSec == 0) return false;
  MakePCMFormat(pcm, 16, f->nChannels, int(f->nSamplesPerSec));
  return true;
}

bool TMMADPCMBlockStream::Open(const WAVEFORMATEX* f) {
  Close();
  if (!ADPCMBlockLayout(f, layout_)) {
    layout_ = {};
    return false;
  }
  ima_ = f->wFormatTag == plat::WAVE_FORMAT_IMA_ADPCM;
  block_.resize(size_t(layout_.SamplesPerBlock) * layout_.Channels);
  return true;
}

void TMMADPCMBlockStream::Close() {
  layout_ = {};
  held_ = {};
  block_ = {};
  taken_ = 0;
  skip_ = 0;
  ended_ = false;
}

int32_t TMMADPCMBlockStream::ReadSize() const {
  // About 16 KB of source at a time, which decodes to four times as much.
  const int32_t align = std::max<int32_t>(layout_.BlockAlign, 1);
  return std::max(align, 16384 / align * align);
}

void TMMADPCMBlockStream::Restart(int64_t skip) {
  held_.clear();
  taken_ = 0;
  skip_ = std::max<int64_t>(skip, 0);
  ended_ = false;
}

bool TMMADPCMBlockStream::Feed(const uint8_t* src, int32_t count) {
  if (!IsOpen() || !src || ended_) return false;
  if (taken_ > 0) {
    held_.erase(held_.begin(), held_.begin() + std::ptrdiff_t(taken_));
    taken_ = 0;
  }
  for (int32_t at = 0; at < count; at += layout_.BlockAlign) {
    const size_t bytes = size_t(std::min<int32_t>(layout_.BlockAlign, count - at));
    const int32_t frames =
        ima_ ? plat::DecodeImaAdpcmBlock(layout_, src + at, bytes, block_.data(), layout_.SamplesPerBlock)
             : plat::DecodeMsAdpcmBlock(layout_, src + at, bytes, block_.data(), layout_.SamplesPerBlock);
    if (frames < 0) {
      ended_ = true;
      return false;
    }
    const int32_t dropped = int32_t(std::min<int64_t>(skip_, frames));
    skip_ -= dropped;
    const size_t first = size_t(dropped) * layout_.Channels, last = size_t(frames) * layout_.Channels;
    const size_t old = held_.size();
    held_.resize(old + (last - first) * 2);
    for (size_t i = first; i < last; ++i) Put16(&held_[old + 2 * (i - first)], block_[i]);
  }
  return true;
}

int32_t TMMADPCMBlockStream::Take(void* dst, int32_t count) {
  const int32_t n = std::clamp(count, 0, Held());
  if (n > 0) std::memcpy(dst, held_.data() + taken_, size_t(n));
  taken_ += size_t(n);
  return n;
}
