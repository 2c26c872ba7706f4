#include "displays/MMSpGram.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

uint8_t Byte(double v) { return uint8_t(std::clamp(std::nearbyint(v), 0.0, 255.0)); }
int Mod256(int v) { return ((v % 256) + 256) % 256; }

TPaletteEntry HSV(int i) {
  if (i < 64) return {0, uint8_t(4 * i), 255, 0};
  if (i < 128) return {0, 255, uint8_t(Mod256(510 - 4 * i)), 0};
  if (i < 192) return {uint8_t(Mod256(4 * i + 2)), 255, 0, 0};
  return {255, uint8_t(Mod256(-4 * i - 4)), 0, 0};
}

TPaletteEntry Entry(TMMSpectrogramPalette type, int i) {
  const double d = i;
  switch (type) {
    case spHSV: return HSV(i);
    case spThreshold: return i < 16 ? TPaletteEntry{} : HSV(i);
    case spBlackWhite: return {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    case spWhiteBlack: return {uint8_t(255 - i), uint8_t(255 - i), uint8_t(255 - i), 0};
    case spCool: return {uint8_t(i), uint8_t(255 - i), 255, 0};
    // The products are rounded and held to a byte.
    case spBone:
      if (i < 96) return {Byte(0.88889 * d), Byte(0.88889 * d), Byte(1.2 * d), 0};
      if (i < 192) return {Byte(0.88889 * d), Byte(1.2 * d - 29), Byte(0.88889 * d + 29), 0};
      return {Byte(1.2 * d - 60), Byte(0.88889 * d + 29), Byte(0.88889 * d + 29), 0};
    case spCopper: return {i < 208 ? Byte(1.23 * d) : uint8_t(255), Byte(0.78 * d), Byte(0.5 * d), 0};
    case spHot:
      if (i < 96) return {Byte(2.66667 * d + 0.5), 0, 0, 0};
      if (i < 192) return {255, Byte(2.66667 * d - 254), 0, 0};
      return {255, 255, Byte(4 * d - 766), 0};
  }
  return {};
}

}  // namespace

TLogPalette SpectrogramPalette(TMMSpectrogramPalette type) {
  TLogPalette p;
  p.palVersion = 0x300;
  p.palPalEntry.assign(256, TPaletteEntry{});
  for (int n = kSpgFirstIndex; n <= kSpgLastIndex; ++n) {
    const int i = ((n - kSpgFirstIndex) * 256) / (kSpgLastIndex - kSpgFirstIndex + 1);
    p.palPalEntry[size_t(n)] = Entry(type, i);
  }
  return p;
}

TMMSpectrogramModel::TMMSpectrogramModel() : levels_(kMaxFFTBins, 0) {}

void TMMSpectrogramModel::BuildRows(const TMMSpectrogramSetup& s) {
  h_ = std::max(s.height, 1);
  bins_ = s.fftLength / 2;
  const double sr = s.sampleRate, n = s.fftLength, fs = std::clamp(s.frequencyScale, 1, 16);
  f0_ = std::clamp(double(s.frequencyBase), 0.0, std::max(0.0, sr / 2.0 - 1000.0));
  const double b0 = f0_ * n / sr;
  first_.assign(size_t(h_), 0);
  end_.assign(size_t(h_), 0);
  auto firstOf = [&](int r) {
    const double b = std::floor(0.01 + b0 + double(r) / h_ * (n / 2.0 - fs * b0) / fs);
    return int32_t(std::clamp(b, 0.0, double(bins_)));
  };
  for (int r = 0; r < h_; ++r) first_[size_t(r)] = std::min(firstOf(r), bins_ - 1);
  for (int r = 0; r < h_; ++r) {
    int32_t e = r + 1 < h_ ? first_[size_t(r) + 1] : firstOf(h_);
    if (e <= first_[size_t(r)] + 1) e = 0;
    end_[size_t(r)] = e;
  }
  for (int r = h_ - 1; r >= 1; --r)
    if (first_[size_t(r)] == first_[size_t(r) - 1]) {
      first_[size_t(r)] = -1;
      end_[size_t(r)] = 0;
    }
  previous_.assign(size_t(h_), 0);
  column_.assign(size_t(h_), uint8_t(kSpgFirstIndex));
}

void TMMSpectrogramModel::ClearHistory() { std::fill(previous_.begin(), previous_.end(), 0); }

void TMMSpectrogramModel::ComputeLevels(const int16_t* bins, int count, bool logAmp, double amplitudeScale,
                                        int sensitivity) {
  count = std::min(count, kMaxFFTBins);
  const double lift = -90 - sensitivity;
  for (int k = 0; k < count; ++k) {
    const double re = bins[2 * k], im = bins[2 * k + 1];
    const double p = re * re + im * im;
    const double v = logAmp ? std::log(std::max(p, 1.0)) * 20.0 * amplitudeScale + 2.0 * lift
                            : std::sqrt(std::max(p, 0.0)) * amplitudeScale + lift;
    levels_[size_t(k)] = int32_t(std::clamp(std::nearbyint(v), -1e9, 1e9)) + 10;
  }
}

const std::vector<uint8_t>& TMMSpectrogramModel::ComputeColumn(bool embossed) {
  int32_t below = 0;       // the value of the row below, for rows without a bin
  int32_t neighbour = 10;  // the level the lower row with a bin had in the previous column
  for (int r = 0; r < h_; ++r) {
    const int32_t first = first_[size_t(r)], end = end_[size_t(r)];
    int32_t v;
    if (first < 0) {
      v = below;
    } else {
      int32_t level = levels_[size_t(first)];
      for (int32_t k = first + 1; k < end; ++k) level = std::max(level, levels_[size_t(k)]);
      if (embossed) {
        v = neighbour - level + kSpgEmbossedZero;
        neighbour = previous_[size_t(r)];
        previous_[size_t(r)] = level;
      } else {
        v = level;
      }
    }
    v = std::clamp(v, kSpgFirstIndex, kSpgLastIndex);
    below = v;
    column_[size_t(r)] = uint8_t(v);
  }
  return column_;
}

double TMMSpectrogramModel::RowFrequency(int r, int sampleRate, int frequencyScale) const {
  const double fs = std::max(frequencyScale, 1);
  if (h_ < 2) return f0_;
  return f0_ + (sampleRate / 2.0 - fs * f0_) * r / ((h_ - 1) * fs);
}
