#include "displays/MMSpectr.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/MMUtils.h"

namespace {

constexpr double kLn2 = 0.69314718055994530942;
constexpr double kPi = 3.14159265358979323846;
// Units of the bin values per dB: 8192 per octave of power is 819.2 x log2(10) per dB.
const double kUnitsPerDB = 819.2 * std::log2(10.0);
const double kFullScaleDB = 20.0 * std::log10(32768.0);
constexpr double kRangeDB = 60.0;

int32_t RoundI(double v) { return int32_t(std::nearbyint(v)); }

// Doubles v until it reaches 4096, counting the doublings in shift.
void ScaleUp(double& v, int& shift) {
  while (v > 0.0 && v < 4096.0 && shift < 48) {
    v *= 2.0;
    ++shift;
  }
}

int16_t Saturate16(float v) {
  if (!(v > -32768.0f)) return v != v ? 0 : -32768;
  if (v > 32767.0f) return 32767;
  return int16_t(v);
}

}  // namespace

int ClampFFTLength(int n, int lo) {
  n = std::clamp(n, lo, kMaxFFTLength);
  int p = 1;
  while (p * 2 <= n) p *= 2;
  return p;
}

int FFTOrderOf(int n) {
  int k = 0;
  while ((1 << (k + 1)) <= n) ++k;
  return k;
}

// ---- the front end ------------------------------------------------------------------------------

TMMFFTStage::TMMFFTStage() { SetLength(128); }

TMMFFTStage::~TMMFFTStage() { FreeFFT(fft_); }

void TMMFFTStage::SetLength(int n) {
  n = ClampFFTLength(n);
  if (n == length_) return;
  PMMFFTObject fresh = CreateFFT(FFTOrderOf(n));
  if (!fresh) throw plat::EOutOfMemory("Out of memory");
  FreeFFT(fft_);
  fft_ = fresh;
  length_ = n;
  table_.assign(size_t(n), 0);
  FillWindowTable(table_.data(), window_, FFTOrderOf(n));
}

void TMMFFTStage::SetWindow(TMMFFTWindow w) {
  window_ = w;
  FillWindowTable(table_.data(), window_, FFTOrderOf(length_));
}

int TMMFFTStage::Transform(const void* block, const TMMFFTShape& shape, int diff, int32_t avgTop, int16_t* bins) const {
  const int n = length_;
  int32_t raw[kMaxFFTLength];
  int overflows = 0;
  const int ch = std::max(shape.channels, 1);
  const auto* p = static_cast<const uint8_t*>(block);
  // Which sample of a frame: -1 averages the first two channels.
  const int pick = ch == 1 ? 0 : shape.channel == chBoth ? -1 : shape.channel == chLeft ? 0 : 1;
  if (shape.bits16) {
    auto at = [&](int frame, int c) {
      int16_t s;
      std::memcpy(&s, p + (size_t(frame) * ch + c) * 2, 2);
      return int32_t(s);
    };
    for (int i = 0; i < n; ++i) {
      int32_t s;
      if (pick < 0) {
        s = (at(i, 0) + at(i, 1)) / 2;
        if (s >= avgTop) ++overflows;
      } else {
        s = at(i, pick);
        if (s >= 32767) ++overflows;
      }
      raw[i] = s;
    }
  } else {
    for (int i = 0; i < n; ++i) {
      const uint8_t* f = p + size_t(i) * ch;
      const int32_t s = pick < 0 ? (int32_t(f[0]) + f[1]) >> 1 : f[pick];
      if (s >= 255) ++overflows;
      raw[i] = s;
    }
  }
  float data[kMaxFFTLength];
  const int32_t div = shape.bits16 ? 32768 : 128;
  const int32_t zero = shape.bits16 ? 0 : 128;
  for (int i = 0; i < n; ++i) {
    const int32_t s1 = raw[i > 0 ? i - 1 : 0], s2 = raw[i > 1 ? i - 2 : 0];
    int32_t x;
    switch (diff) {
      case 1: x = raw[i] - s1; break;
      case 2: x = raw[i] - 2 * s1 + s2; break;
      default: x = raw[i] - zero; break;
    }
    data[i] = float(MulDiv32(x, table_[size_t(i)], div));
  }
  RealFFT(fft_, data, 1);
  const float half = float(n / 2);
  for (int i = 0; i < n; ++i) bins[i] = Saturate16(std::trunc(data[i] / half));
  return overflows;
}

// ---- per-bin smoothing --------------------------------------------------------------------------

void TMMBinDecay::SetDecay(int decay) {
  TMMDecay rule;
  rule.SetDecay(decay);
  factor_ = rule.Factor();
  n_ = rule.RingLength();
  if (index_ >= n_) index_ = 0;
  if (fill_ > n_) fill_ = n_;
}

void TMMBinDecay::Size(int count) {
  if (int(held_.size()) < count) {
    held_.resize(size_t(count), 0.0);
    sum_.resize(size_t(count), 0);
    for (auto& f : ring_) f.resize(size_t(count), 0);
  }
  while (int(ring_.size()) < n_) ring_.emplace_back(held_.size(), 0);
}

void TMMBinDecay::Clear() {
  std::fill(held_.begin(), held_.end(), 0.0);
  std::fill(sum_.begin(), sum_.end(), 0);
  for (auto& f : ring_) std::fill(f.begin(), f.end(), 0);
  fill_ = 0;
  index_ = 0;
}

void TMMBinDecay::Apply(TMMDecayMode mode, int32_t* v, int count, bool spectrumRule) {
  if (mode == dmNone || count <= 0) return;
  Size(count);
  if (++index_ >= n_) index_ = 0;
  if (fill_ < n_) ++fill_;
  const double f = factor_;
  switch (mode) {
    case dmStepUp:
      for (int k = 0; k < count; ++k) {
        double& h = held_[size_t(k)];
        h *= f;
        if (spectrumRule ? v[k] >= h : v[k] > h) h = v[k];
        else v[k] = spectrumRule ? int32_t(std::nearbyint(h)) : int32_t(h);
      }
      break;
    case dmExponential:
      for (int k = 0; k < count; ++k) {
        double& h = held_[size_t(k)];
        h = h * f + (1.0 - f) * v[k];
        v[k] = int32_t(std::floor(h));
      }
      break;
    case dmUniform: {
      int32_t* ring = ring_[size_t(index_)].data();
      for (int k = 0; k < count; ++k) {
        sum_[size_t(k)] += v[k] - ring[k];
        ring[k] = v[k];
        v[k] = int32_t(sum_[size_t(k)] / fill_);
      }
      break;
    }
    default: break;
  }
}

// ---- the spectrum analyser ----------------------------------------------------------------------

TMMSpectrumModel::TMMSpectrumModel() : corr_(kMaxFFTBins, 0), values_(kMaxFFTBins, 0) {}

void TMMSpectrumModel::BuildColumns(const TMMSpectrumSetup& s, const TMMSpectrumXScale& xScale) {
  w_ = std::max(s.width, 4);
  h_ = std::max(s.height, 4);
  fftLength_ = s.fftLength;
  bins_ = fftLength_ / 2;
  const double sr = s.sampleRate, n = fftLength_;
  const double fs = std::clamp(s.frequencyScale, 1, 16);
  if (s.logFreq) {
    const double hi = sr / 2.0 / std::exp(std::log(n / 2.0) / fs);
    f0_ = std::clamp(f0_, std::min(sr / n, hi), std::max(sr / n, hi));
  } else {
    f0_ = std::max(0.0, f0_);
    if (sr / 2.0 < sr / (2.0 * fs) + f0_) f0_ = sr / 2.0 - sr / (2.0 * fs);
  }
  first_.assign(size_t(w_), 0);
  end_.assign(size_t(w_), 0);
  if (xScale) {
    xScale(first_, end_);
    first_.resize(size_t(w_), 0);
    end_.resize(size_t(w_), 0);
    for (int i = 0; i < w_; ++i) {
      first_[size_t(i)] = std::clamp(first_[size_t(i)], -1, bins_ - 1);
      end_[size_t(i)] = std::clamp(end_[size_t(i)], 0, bins_);
    }
  } else {
    auto firstOf = [&](int i) {
      double b;
      if (s.logFreq)
        b = std::floor(std::exp(std::log((n + 1.0) / 2.0) * (i - 0.45) / w_ / fs) * n * f0_ / sr + 0.51) - 1.0;
      else b = std::floor(double(i) / w_ * n / 2.0 / fs + f0_ / sr * n + 0.01);
      return int32_t(std::clamp(b, 0.0, double(bins_)));
    };
    for (int i = 0; i < w_; ++i) first_[size_t(i)] = std::min(firstOf(i), bins_ - 1);
    for (int i = 0; i < w_; ++i) {
      int32_t e = i + 1 < w_ ? first_[size_t(i) + 1] : firstOf(w_);
      if (e <= first_[size_t(i)] + 1) e = 0;
      end_[size_t(i)] = e;
    }
    for (int i = w_ - 1; i >= 1; --i)
      if (first_[size_t(i)] == first_[size_t(i) - 1]) {
        first_[size_t(i)] = -1;
        end_[size_t(i)] = 0;
      }
  }
  // A bar starts at every column with a bin of its own and runs to the next such column.
  bars_.clear();
  for (int i = 0; i < w_; ++i) {
    if (first_[size_t(i)] < 0) continue;
    if (!bars_.empty()) bars_.back().xTo = i;
    TMMSpectrumBar b;
    b.xFrom = i;
    b.xTo = w_;
    b.bin = first_[size_t(i)];
    bars_.push_back(b);
  }
  peaks_ = std::make_unique<TMMPeakHold[]>(bars_.size() + 1);
  ClearStrongest();
  BuildAmplitude(s);
  BuildSpots(s);
}

void TMMSpectrumModel::BuildAmplitude(const TMMSpectrumSetup& s) {
  const double sr = s.sampleRate, n = s.fftLength, ref = std::max(s.refFreq, 1);
  const int d = int(s.gain) / 2;
  const bool db3 = int(s.gain) % 2 == 1;
  mult_.assign(size_t(w_), 0);
  if (s.logAmp) {
    pixelScale_ = h_ / (kRangeDB * kUnitsPerDB);
    double scaled = pixelScale_;
    shift_ = 0;
    ScaleUp(scaled, shift_);
    for (int i = 0; i < w_; ++i) mult_[size_t(i)] = first_[size_t(i)] < 0 ? 0 : RoundI(scaled);
    // The pre-filter loses 20 log10 g dB per difference at RefFreq: taking that loss off the
    // correction gives it back, so a tone at RefFreq keeps its height, as on the linear axis.
    double offset = (kFullScaleDB - kRangeDB) * kUnitsPerDB;
    const double g = 2.0 * kPi * ref / sr;
    offset += 20.0 * d * std::log10(g) * kUnitsPerDB;
    for (int k = 0; k < kMaxFFTBins; ++k)
      corr_[size_t(k)] =
          db3 ? RoundI(offset - 10.0 * std::log10(((k + 1) * sr / n) / ref) * kUnitsPerDB) : RoundI(offset);
    return;
  }
  pixelScale_ = 0.0;
  double c = h_ / (std::sqrt(ref) * s.verticalScale / 100.0 * 32768.0);
  if (d == 1) c = c * sr / (2.0 * kPi * ref);
  if (d == 2) c = c * sr * sr / (4.0 * kPi * kPi * ref * ref);
  shift_ = 4;
  if (db3) {
    double top = std::sqrt(sr / 2.0) * c;
    const int before = shift_;
    ScaleUp(top, shift_);
    c = std::ldexp(c, shift_ - before);
    for (int i = 0; i < w_; ++i) {
      const int32_t b = first_[size_t(i)];
      mult_[size_t(i)] = b < 0 ? 0 : RoundI(std::sqrt((b + 1) * sr / n) * c + 0.5);
    }
  } else {
    c = std::sqrt(ref) * c;
    ScaleUp(c, shift_);
    for (int i = 0; i < w_; ++i) mult_[size_t(i)] = first_[size_t(i)] < 0 ? 0 : RoundI(c);
  }
  std::fill(corr_.begin(), corr_.end(), 0);
}

void TMMSpectrumModel::BuildSpots(const TMMSpectrumSetup& s) {
  spotHeight_ = std::max(s.spotHeight, 1);
  spotSpace_ = std::max(s.spotSpace, 0);
  spots_ = std::max(1, (h_ + spotSpace_) / (spotHeight_ + spotSpace_));
  spotOffset_ = (h_ - ((spotHeight_ + spotSpace_) * spots_ - spotSpace_)) / 2;
  auto th = [&](int p) -> int {
    switch (s.kind) {
      case skLines:
      case skVLines: return RoundI(p * h_ / 100.0);
      case skBars:
      case skPeaks: return RoundI(p * spots_ / 100.0);
      case skScroll: return RoundI(p * h_ / 3.0 / 100.0);
      case skDots: return RoundI(h_ - p * h_ / 100.0);
    }
    return 0;
  };
  t1_ = th(s.point1);
  t2_ = th(s.point2);
}

void TMMSpectrumModel::ComputeBins(const int16_t* bins, int count, bool logAmp, TMMDecayMode mode) {
  count = std::min(count, kMaxFFTBins);
  for (int k = 0; k < count; ++k) {
    const double re = bins[2 * k], im = bins[2 * k + 1];
    // In 64 bits: two full-scale parts overflow 32, which would show the loudest bins as silence.
    const double p = re * re + im * im;
    int32_t v;
    if (logAmp && mode == dmNone) {
      v = p <= 0.0 ? 0 : RoundI(std::log(p) * 8192.0 / kLn2 - corr_[size_t(k)]);
      if (v < 0) v = 0;
    } else {
      v = RoundI(16.0 * std::sqrt(p));
    }
    values_[size_t(k)] = v;
  }
  if (!(logAmp && mode == dmNone)) decay_.Apply(mode, values_.data(), count, true);
}

void TMMSpectrumModel::ComputeBars(bool logAmp, TMMDecayMode mode, const std::function<void()>& onGainOverflow) {
  ClearStrongest();
  for (TMMSpectrumBar& b : bars_) {
    const int32_t first = first_[size_t(b.xFrom)], end = end_[size_t(b.xFrom)];
    int32_t v = values_[size_t(first)];
    int bin = first;
    for (int32_t k = first + 1; k < end; ++k)
      if (values_[size_t(k)] > v) {
        v = values_[size_t(k)];
        bin = k;
      }
    int64_t h = 0;
    if (v > 0) {
      if (logAmp && mode != dmNone)
        h = int64_t(std::trunc((2.0 * std::log(v / 16.0) * 8192.0 / kLn2 - corr_[size_t(bin)]) * pixelScale_));
      else h = (int64_t(v) * mult_[size_t(b.xFrom)]) >> shift_;
    }
    b.height = int32_t(std::clamp<int64_t>(h, 0, INT32_MAX));
    b.bin = bin;
    if (b.height > strongHeight_) {
      strongHeight_ = b.height;
      strongBin_ = bin;
      strongColumn_ = b.xFrom;
    }
    if (b.height >= h_ && onGainOverflow) onGainOverflow();
  }
}

void TMMSpectrumModel::UpdateValues(TMMSpectrumKind kind, bool pixelBars, int numPeaks, int peakDelay) {
  const double spotPixels = double(h_) / spots_;
  for (size_t i = 0; i < bars_.size(); ++i) {
    TMMSpectrumBar& b = bars_[i];
    if ((kind == skBars || kind == skPeaks) && !pixelBars)
      b.value = std::clamp(RoundI(b.height / spotPixels + 0.5), 0, spots_);
    else b.value = b.height;
    const bool peaks = kind == skBars || kind == skPeaks || kind == skLines;
    if (peaks && numPeaks >= 1 && b.value >= 1) peaks_[i].Raise(b.value, peakDelay * 2 + 1, true);
  }
}

void TMMSpectrumModel::ClearBars() {
  for (size_t i = 0; i < bars_.size(); ++i) {
    bars_[i].height = bars_[i].value = 0;
    peaks_[i].Reset();
  }
  ClearStrongest();
}

void TMMSpectrumModel::ClearBins() {
  std::fill(values_.begin(), values_.end(), 0);
  decay_.Clear();
}

void TMMSpectrumModel::ClearStrongest() {
  strongHeight_ = 0;
  strongBin_ = -1;
  strongColumn_ = -1;
}

double TMMSpectrumModel::StrongestFrequency(bool logFreq, int sampleRate, int fftLength) const {
  const double bin = strongBin_ < 0 ? 0 : strongBin_;
  const double step = double(sampleRate) / fftLength;
  if (logFreq) return bin > 1 ? bin * step : (bin + 0.25) * step;
  return (bin + 0.5) * step;
}

void TMMSpectrumModel::PeakTick() {
  if (!peaksOn_.load() || frozen_.load() || !peaks_) return;
  const int speed = peakSpeed_.load();
  for (size_t i = 0; i < bars_.size(); ++i) peaks_[i].Tick(speed, 1, 0);
}

// ---- drawing ------------------------------------------------------------------------------------

std::vector<int> TMMSpectrumModel::GridRows(int h, bool logAmp) {
  std::vector<int> rows;
  int div = logAmp ? int(kRangeDB / 10) : 10;
  while (div > 1 && h / div < 10) --div;
  for (int k = 0; k <= div; ++k)
    rows.push_back(logAmp ? (h - 1) * k / div : h - 1 - RoundI(double(k) * h * 32760 / (32768.0 * div)));
  return rows;
}

std::vector<int> TMMSpectrumModel::GridColumns(int w) {
  std::vector<int> cols;
  int div = 32;
  while (div > 1 && w / div < 10) div /= 2;
  for (int k = 0; k <= div; ++k) cols.push_back((w - 1) * k / div);
  return cols;
}

uint32_t TMMSpectrumModel::SpotColor(int k, const uint32_t* colors) const {
  return k > t2_ ? colors[2] : k > t1_ ? colors[1] : colors[0];
}

void TMMSpectrumModel::DrawBarSpots(TMMDIBTarget& t, int xFrom, int xTo, int from, int to, const uint32_t* colors,
                                    bool dotted, int space) const {
  const int w = xTo - xFrom;
  const int ww = w > space ? w - space : std::max(w, 1);
  const int left = xFrom + (w - ww) / 2;
  for (int k = std::max(from, 1); k <= std::min(to, spots_); ++k) {
    const int top = spotOffset_ + (spots_ - k) * (spotHeight_ + spotSpace_);
    t.SetRawColor(SpotColor(k, colors));
    t.FillRectDotted({left, top, left + ww, top + spotHeight_}, dotted);
  }
}

void TMMSpectrumModel::DrawInactive(TMMDIBTarget& t, const TMMSpectrumLook& look) const {
  t.SetRawColor(look.background);
  t.Clear();
  for (const TMMSpectrumBar& b : bars_)
    DrawBarSpots(t, b.xFrom, b.xTo, 1, spots_, look.inactive, look.inactiveDoted, look.space);
}

void TMMSpectrumModel::ScrollDown(TMMDIBTarget& t, uint32_t background) {
  const int h = t.Height(), row = t.Width() * t.BytesPerPixel();
  for (int y = h - 1; y >= 2; --y) std::memmove(t.Row(y), t.Row(y - 2), size_t(row));
  t.SetRawColor(background);
  for (int y = 0; y < std::min(2, h); ++y) t.HLine(0, t.Width() - 1, y);
}

void TMMSpectrumModel::Draw(TMMDIBTarget& t, TMMSpectrumKind kind, const TMMSpectrumLook& look) const {
  const int W = w_, H = h_;
  auto rowOf = [&](int32_t height) { return std::clamp(H - height - 1, 0, H - 1); };
  if (look.drawGrid && kind != skScroll) {
    t.SetRawColor(look.grid);
    for (int y : GridRows(H, pixelScale_ > 0.0)) t.HLine(0, W - 1, y);
    for (int x : GridColumns(W)) t.VLine(x, 0, H - 1);
  }
  const uint32_t line = look.enabled ? look.bar[0] : look.inactive[0];
  switch (kind) {
    case skDots:
      for (const TMMSpectrumBar& b : bars_) {
        const int y = rowOf(b.value);
        t.SetRawColor(!look.enabled ? look.inactive[0] : y <= t2_ ? look.bar[2] : y <= t1_ ? look.bar[1] : look.bar[0]);
        t.HLine(b.xFrom, std::max(b.xFrom, b.xTo - 1), y);
      }
      break;
    case skLines:
    case skScroll: {
      if (bars_.empty()) break;
      auto yOf = [&](int32_t v) { return kind == skScroll ? std::clamp(H / 3 - v, 0, H - 1) : rowOf(v); };
      t.SetRawColor(line);
      t.MoveTo(0, yOf(bars_.front().value));
      for (const TMMSpectrumBar& b : bars_) t.LineTo((b.xFrom + b.xTo) / 2, yOf(b.value));
      t.LineTo(W - 1, yOf(bars_.back().value));
      if (kind == skLines && look.numPeaks >= 1 && look.enabled) {
        t.SetRawColor(look.bar[2]);
        t.MoveTo(0, rowOf(peaks_[0].Peak()));
        for (size_t i = 0; i < bars_.size(); ++i)
          t.LineTo((bars_[i].xFrom + bars_[i].xTo) / 2, rowOf(peaks_[i].Peak()));
        t.LineTo(W - 1, rowOf(peaks_[bars_.size() - 1].Peak()));
      }
      break;
    }
    case skVLines:
      for (const TMMSpectrumBar& b : bars_) {
        const int height = std::clamp(b.value, 0, H - 1);
        int top = H - (H + height) / 2 - 1, bottom = (H + height) / 2 + 1;
        const int w = b.xTo - b.xFrom;
        const int ww = w > look.space ? w - look.space : std::max(w, 1);
        const TDIBRect cols{b.xFrom + (w - ww) / 2, 0, b.xFrom + (w - ww) / 2 + ww, 0};
        auto fill = [&](uint32_t c) {
          t.SetRawColor(c);
          t.FillRect({cols.Left, top, cols.Right, bottom + 1});
        };
        int rest = height;
        if (look.enabled && rest > t2_) {
          fill(look.bar[2]);
          const int cut = (rest - t2_) / 2;
          top += cut;
          bottom -= cut;
          rest -= 2 * cut;
        }
        if (look.enabled && rest > t1_) {
          fill(look.bar[1]);
          const int cut = (rest - t1_) / 2;
          top += cut;
          bottom -= cut;
        }
        fill(look.enabled ? look.bar[0] : look.inactive[0]);
      }
      break;
    case skBars:
    case skPeaks:
      for (size_t i = 0; i < bars_.size(); ++i) {
        const TMMSpectrumBar& b = bars_[i];
        if (!look.enabled) continue;
        if (kind == skBars) DrawBarSpots(t, b.xFrom, b.xTo, 1, b.value, look.bar, look.activeDoted, look.space);
        else DrawBarSpots(t, b.xFrom, b.xTo, b.value, b.value, look.bar, look.activeDoted, look.space);
        const int32_t p = peaks_[i].Peak();
        if (look.numPeaks >= 1 && p > b.value)
          DrawBarSpots(t, b.xFrom, b.xTo, p - look.numPeaks + 1, p, look.bar, look.activeDoted, look.space);
      }
      break;
  }
}

double SpectrumColumnFrequency(int x, int w, bool logFreq, double f0, int sampleRate, int fftLength,
                               int frequencyScale) {
  if (x < 0 || x >= w || w < 2) return 0.0;
  const double fs = std::max(frequencyScale, 1);
  double f;
  if (logFreq) f = f0 * std::exp(x * std::log(fftLength / 2.0) / ((w - 1) * fs));
  else f = x * (sampleRate / 2.0 - f0) / ((w - 1) * fs) + f0;
  return std::max(f, 0.0);
}
