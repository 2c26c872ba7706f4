#include "displays/MMLight.h"

#include <algorithm>
#include <cmath>

std::array<TMMLightBand, 3> LightBands(int sampleRate, int fftLength) {
  static const double kEdges[3] = {0.0, std::sqrt(150.0 * 750.0), std::sqrt(750.0 * 1750.0)};
  const int half = fftLength / 2;
  std::array<TMMLightBand, 3> b{};
  for (int i = 0; i < 3; ++i) b[size_t(i)].first = std::clamp(int(kEdges[i] / sampleRate * fftLength), 0, half);
  for (int i = 0; i < 3; ++i) {
    TMMLightBand& band = b[size_t(i)];
    band.end = i < 2 ? b[size_t(i) + 1].first : half - 1;
    if (band.end <= band.first + 1) band.end = 0;
  }
  for (int i = 1; i < 3; ++i)
    if (b[size_t(i)].first == b[size_t(i) - 1].first) b[size_t(i)] = {-1, 0};
  return b;
}

int32_t LightBandValue(const int32_t* m, const TMMLightBand& band, TMMLightPeakMode mode) {
  if (!band.Active()) return 0;
  const int count = band.end - band.first;
  switch (mode) {
    case pmPeak: {
      int32_t v = m[band.first];
      for (int k = band.first + 1; k < band.end; ++k) v = std::max(v, m[k]);
      return v;
    }
    case pmAverage: {
      int64_t sum = m[band.first];
      for (int k = band.first; k < band.end; ++k) sum += m[k];
      return int32_t(sum / count);
    }
    case pmRMS: {
      double sum = m[band.first];
      for (int k = band.first; k < band.end; ++k) sum += double(m[k]) * (m[k] + 0.1);
      return int32_t(std::trunc(std::sqrt(sum / std::max(count, 1))));
    }
  }
  return 0;
}

int LightRingLevel(int v, int z, int zoneCount, double sphereHorz, double sphereVert) {
  if (sphereHorz <= 0.0 || sphereVert <= 0.0 || zoneCount < 1) return 0;
  const double zc = zoneCount;
  const double d = std::min(double(zoneCount - z - 1), zc * sphereHorz);
  const double q = d / sphereHorz;
  const double shade = std::nearbyint(std::sqrt(std::max(zc * zc - q * q, 0.0)) * sphereVert);
  const double full = std::nearbyint(shade / (zc * sphereVert) * 255.0);
  return int(std::clamp(std::nearbyint(v / 255.0 * full), 0.0, 255.0));
}

std::array<TMMLightSpot, 3> LightSpots(int w, int h, TMMLightArrange arrange, int triangleDist) {
  std::array<TMMLightSpot, 3> s{};
  if (arrange == laLine) {
    const int r = std::max(1, std::min(w / 3, h) / 2 - 2);
    for (int i = 0; i < 3; ++i) s[size_t(i)] = {w * (2 * i + 1) / 6, h / 2, r};
    return s;
  }
  const int dist = std::max(triangleDist, 2);
  const int r = std::max(1, std::min((w - dist) / 4, (h - dist) / 4));
  const int top = (h - (4 * r + dist)) / 2 + r, bottom = top + 2 * r + dist;
  s[0] = {w / 2 - r - dist / 2, bottom, r};
  s[1] = {w / 2, top, r};
  s[2] = {w / 2 + r + dist / 2, bottom, r};
  return s;
}

void DrawLights(TMMDIBTarget& t, TMMLightKind kind, TMMLightArrange arrange, int triangleDist, int zoneCount,
                uint32_t background) {
  t.SetRawColor(background);
  t.Clear();
  const int rings = kind == lkCircle ? 1 : std::clamp(zoneCount, 1, kMaxLightZones);
  const int count = LightAnimatedColors(kind, rings);
  const auto spots = LightSpots(t.Width(), t.Height(), arrange, triangleDist);
  for (int b = 0; b < 3; ++b) {
    const TMMLightSpot& s = spots[size_t(b)];
    for (int z = 0; z < rings; ++z) {
      // Each ring smaller than the last, its centre drawn towards the top left like a lit ball.
      const int r = std::max(1, s.r * (rings - z) / rings);
      const int off = kind == lkSphere ? (s.r - r) / 3 : 0;
      t.SetRawColor(uint32_t(AnimatedColorIndex(count, b * rings + z)));
      t.FillEllipse(s.cx - off, s.cy - off, r, r);
    }
  }
}

TPaletteEntry LightColor(int b, int v) {
  const auto c = uint8_t(std::clamp(v, 0, 255));
  switch (b) {
    case 0: return {c, 0, 0, 0};
    case 1: return {0, c, 0, 0};
    default: return {c, c, 0, 0};
  }
}

TMMLightModel::TMMLightModel() : bins_(kMaxFFTLength, 0), m_(kMaxFFTBins, 0) { BuildBands(11025); }

void TMMLightModel::BuildBands(int sampleRate) { bands_ = LightBands(sampleRate, stage_.Length()); }

void TMMLightModel::Clear() {
  std::fill(bins_.begin(), bins_.end(), 0);
  std::fill(m_.begin(), m_.end(), 0);
  decay_.Clear();
  bandValues_ = {};
  brightness_ = {};
}

int TMMLightModel::Feed(const void* block, const TMMFFTShape& shape, double amplitudeScale, TMMDecayMode mode,
                        TMMLightPeakMode peakMode, const double gains[3]) {
  const int overflows = stage_.Transform(block, shape, 0, 32766, bins_.data());
  const int half = stage_.Length() / 2;
  for (int k = 0; k < half; ++k) {
    const double re = bins_[size_t(2 * k)], im = bins_[size_t(2 * k + 1)];
    m_[size_t(k)] = int32_t(std::nearbyint(std::sqrt(re * re + im * im) * amplitudeScale));
  }
  decay_.Apply(mode, m_.data(), half, false);
  static const double kBandFactor[3] = {1.0, 2.0, 4.0};
  for (int b = 0; b < 3; ++b) {
    bandValues_[size_t(b)] = LightBandValue(m_.data(), bands_[size_t(b)], peakMode);
    const double v = std::nearbyint(kBandFactor[b] * bandValues_[size_t(b)] * gains[b]);
    brightness_[size_t(b)] = int(std::clamp(v, 0.0, 255.0));
  }
  return overflows;
}
