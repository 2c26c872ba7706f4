#include "displays/MMLevel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/MMPCMSup.h"
#include "engine/MMUtils.h"

// ---- smoothing ----------------------------------------------------------------------------------

void TMMDecay::SetDecay(int decay) {
  decay = std::clamp(decay, 1, 16);
  double f = 0.0001;
  for (int i = 0; i < decay; ++i) f = std::sqrt(f);
  factor_ = f;
  n_ = std::clamp((decay - 1) * 2, 1, 32);
  if (index_ >= n_) index_ = 0;
  if (fill_ > n_) fill_ = n_;
}

void TMMDecay::Clear() {
  std::memset(ring_, 0, sizeof ring_);
  sum_ = 0;
  held_ = 0.0;
  fill_ = 0;
  index_ = 0;
}

int32_t TMMDecay::Apply(TMMDecayMode mode, int32_t x) {
  if (mode == dmNone) return x;
  if (++index_ >= n_) index_ = 0;
  if (fill_ < n_) ++fill_;
  switch (mode) {
    case dmStepUp:
      held_ *= factor_;
      if (x > held_) held_ = x;
      else x = int32_t(held_);
      break;
    case dmExponential:
      held_ = held_ * factor_ + (1.0 - factor_) * x;
      x = int32_t(std::floor(held_));
      break;
    case dmUniform:
      sum_ += x - ring_[index_];
      ring_[index_] = x;
      x = int32_t(sum_ / fill_);
      break;
    default: break;
  }
  return x;
}

// ---- a block's peak -----------------------------------------------------------------------------

namespace {

template <typename Sample>
int32_t ScanPeak(const Sample* s, const TMMPcmShape& shape) {
  const int ch = std::max(shape.channels, 1);
  const int32_t zero = sizeof(Sample) == 1 ? 128 : 0;
  const int32_t L = shape.dcLeft, R = shape.dcRight;
  auto magnitude = [&](int32_t v) {
    v -= zero;
    if (zero) v *= 256;
    return v < 0 ? -v : v;
  };
  int32_t peak = 0;
  const int n = std::max(shape.samples, 0);
  if (ch == 1) {
    for (int i = 0; i < n; ++i) peak = std::max(peak, magnitude(int32_t(s[i]) - L));
  } else if (shape.channel == chBoth) {
    for (int i = 0; i < n; ++i, s += ch)
      peak = std::max(peak, magnitude(((int32_t(s[0]) - L) + (int32_t(s[1]) - R)) / 2));
  } else {
    const int c = shape.channel == chLeft ? 0 : 1;
    const int32_t off = c == 0 ? L : R;
    for (int i = 0; i < n; ++i, s += ch) peak = std::max(peak, magnitude(int32_t(s[c]) - off));
  }
  return peak;
}

}  // namespace

bool TMMPcmShape::TakeFormat(const plat::WAVEFORMATEX* format) {
  if (!IsValidPCMFormat(format)) return false;
  bits16 = format->wBitsPerSample == 16;
  channels = format->nChannels;
  return true;
}

int32_t PcmBlockPeak(const void* block, const TMMPcmShape& shape) {
  if (!block) return 0;
  if (shape.bits16) {
    // Blocks come at any byte offset of the connector's copy; read the samples without assuming
    // alignment.
    const int count = std::max(shape.samples, 0) * std::max(shape.channels, 1);
    int16_t local[512];
    if (count <= 512) {
      std::memcpy(local, block, size_t(count) * 2);
      return ScanPeak(local, shape);
    }
    std::vector<int16_t> copy(static_cast<size_t>(count));
    std::memcpy(copy.data(), block, size_t(count) * 2);
    return ScanPeak(copy.data(), shape);
  }
  return ScanPeak(static_cast<const uint8_t*>(block), shape);
}

// ---- scaling ------------------------------------------------------------------------------------

int32_t ScaleLevel(int32_t y, int sensitivity, int32_t range, bool logAmp, double floorRatio) {
  const double S = sensitivity, F = kFullScale;
  double v;
  if (logAmp) {
    const double db = 20.0 * std::log10(std::max(double(y) / F, floorRatio));
    v = std::nearbyint((db - S) * range / -S);
  } else {
    const double T = F * std::pow(10.0, S / 20.0);
    v = std::nearbyint((double(y) - T) * range / (F - T));
  }
  if (v < 0) return 0;
  return v > double(INT32_MAX) ? INT32_MAX : int32_t(v);
}

int32_t LevelPercent(int32_t value, int sensitivity, int32_t range, bool logAmp, int g) {
  if (value == 0 || range <= 0) return 0;
  const double S = sensitivity;
  double p;
  if (logAmp) p = std::pow(10.0, (S - S * value / range) / 20.0) * 8.0 / g * 100.0;
  else p = double(value) * 100.0 / range;
  return int32_t(std::nearbyint(p));
}

int32_t PercentToPeak(int percent) {
  percent = std::clamp(percent, 0, 100);
  return int32_t(std::nearbyint(double(percent) * kFullScale / 100.0));
}

// ---- peak hold ----------------------------------------------------------------------------------

bool TMMPeakHold::Raise(int32_t value, int32_t hold, bool orEqual) {
  uint64_t cur = state_.load();
  for (;;) {
    const State s = Unpack(cur);
    if (!(orEqual ? value >= s.peak : value > s.peak)) return false;
    if (state_.compare_exchange_weak(cur, Pack({value, hold}))) break;
  }
  pending_.store(true);
  return true;
}

void TMMPeakHold::ResetHold() {
  uint64_t cur = state_.load();
  while (!state_.compare_exchange_weak(cur, Pack({Unpack(cur).peak, 0}))) {}
}

void TMMPeakHold::Tick(int speed, int32_t fall, int32_t floor) {
  uint64_t cur = state_.load();
  for (;;) {
    State s = Unpack(cur);
    if (s.peak <= 0) return;
    bool fell = false;
    if (--s.hold <= 0) {
      const int32_t before = s.peak;
      if (speed == 0) {
        s.peak = floor;
        s.hold = 0;
      } else {
        s.peak = std::max(s.peak - fall, floor);
        s.hold = speed;
      }
      fell = s.peak != before;
    }
    if (state_.compare_exchange_weak(cur, Pack(s))) {
      if (fell) pending_.store(true);
      return;
    }
  }
}

// ---- the level bar ------------------------------------------------------------------------------

TMMLevelLayout LevelLayout(int extent, int spotWidth, int spotSpace, int point1, int point2) {
  TMMLevelLayout l;
  const int sw = std::max(spotWidth, 1), sp = std::max(spotSpace, 0);
  l.spots = std::max(1, (extent + sp) / (sw + sp));
  l.margin = (extent - ((sw + sp) * l.spots - sp)) / 2;
  l.p1 = point1 * l.spots / 100;
  l.p2 = point2 * l.spots / 100;
  return l;
}

bool TMMPeakPath::Amplify(int32_t x, int32_t shown, int32_t& y) {
  x = x < 0 ? (x == INT32_MIN ? INT32_MAX : -x) : x;
  rawPeak_ = x;
  if (x == 0 && shown == 0 && !peak_.Pending()) return false;
  x = decay.Apply(decayMode, x);
  y = MulDiv32(x, gain, 8);
  return true;
}

void TMMPeakPath::SetDecayMode(TMMDecayMode m) {
  if (m == decayMode) return;
  decayMode = m;
  decay.Clear();
}

void TMMPeakPath::SetDecayLength(int v) {
  v = std::clamp(v, 1, 16);
  if (v == decayLength_) return;
  decayLength_ = v;
  decay.SetDecay(v);
  if (decayMode == dmUniform) decay.Clear();
}

void TMMPeakPath::ResetPath() {
  rawPeak_ = 0;
  peak_.Reset();
  decay.Clear();
}

bool TMMLevelValues::Feed(int32_t peak) {
  int32_t y = 0;
  if (!Amplify(peak, value_, y)) return false;
  int32_t v = ScaleLevel(y, sensitivity, spots, logAmp, 0.000001);
  if (direction == dirSymetric) v /= 2;
  if (v > spots) {
    if (OnGainOverflow) OnGainOverflow();
    v = spots;
  }
  if (v > 0 && numPeaks >= 1) peak_.Raise(v, peakDelay * 2 + 1, true);
  if (v != value_ || peak_.Pending()) {
    peak_.TakePending();
    value_ = v;
    return true;
  }
  return false;
}

int32_t TMMLevelValues::Percent() const { return LevelPercent(value_, sensitivity, spots, logAmp, gain); }

void TMMLevelValues::Reset() {
  value_ = 0;
  ResetPath();
}

void TMMLevelValues::Clear() {
  value_ = 0;
  peak_.Reset();
}

// ---- drawing a bar ------------------------------------------------------------------------------

int SpotZone(const TMMLevelLayout& l, int k) { return k > l.p2 ? 2 : k > l.p1 ? 1 : 0; }

TDIBRect SpotRect(const TMMBarLook& look, int k) {
  const int sw = std::max(look.spotWidth, 1), step = sw + std::max(look.spotSpace, 0);
  const int m = look.layout.margin, along = (k - 1) * step;
  if (look.kind == lkHorizontal) {
    if (look.direction == dirNormal) return {m + along, 0, m + along + sw, look.height};
    const int r = look.width - m - along;
    return {r - sw, 0, r, look.height};
  }
  if (look.direction == dirNormal) {
    const int b = look.height - m - along;
    return {0, b - sw, look.width, b};
  }
  return {0, m + along, look.width, m + along + sw};
}

TDIBRect SpotRangeRect(const TMMBarLook& look, int a, int b) {
  const TDIBRect ra = SpotRect(look, a), rb = SpotRect(look, b);
  return {std::min(ra.Left, rb.Left), std::min(ra.Top, rb.Top), std::max(ra.Right, rb.Right),
          std::max(ra.Bottom, rb.Bottom)};
}

namespace {

void DrawSpot(TMMDIBTarget& t, const TMMBarLook& look, int k, int zone) {
  t.SetRawColor(look.colors[zone]);
  t.FillRectDotted(SpotRect(look, k), look.dotted);
}

// The spans a drawn state lights: the body and the peak mark, as spot intervals (empty when a > b).
struct Lit {
  int bodyLo, bodyHi, peakLo, peakHi;
};

Lit LitSpots(const TMMBarLook& look, int value, int peak) {
  const int n = look.layout.spots;
  Lit l{1, 0, 1, 0};
  int top = value;
  if (look.direction == dirSymetric) {
    const int v = std::clamp(value, 1, n);
    l.bodyLo = std::max(v - 2, 1);
    l.bodyHi = std::min(v + 2, n);
    top = value;
  } else {
    l.bodyLo = 1;
    l.bodyHi = std::min(value, n);
  }
  if (look.numPeaks >= 1 && peak > top) {
    const int end = look.direction == dirSymetric ? peak + 2 : peak;
    l.peakHi = std::min(end, n);
    l.peakLo = std::max(end - look.numPeaks + 1, 1);
  }
  return l;
}

}  // namespace

void DrawSpots(TMMDIBTarget& t, const TMMBarLook& look, int a, int b) {
  a = std::max(a, 1);
  b = std::min(b, look.layout.spots);
  for (int k = a; k <= b; ++k) DrawSpot(t, look, k, SpotZone(look.layout, k));
}

void DrawBarValue(TMMDIBTarget& t, const TMMBarLook& look, int value, int peak, int lo, int hi) {
  const Lit l = LitSpots(look, value, peak);
  if (look.direction == dirSymetric) {
    const int zone = SpotZone(look.layout, std::clamp(value, 1, look.layout.spots));
    for (int k = std::max(l.bodyLo, lo); k <= std::min(l.bodyHi, hi); ++k) DrawSpot(t, look, k, zone);
  } else {
    DrawSpots(t, look, std::max(l.bodyLo, lo), std::min(l.bodyHi, hi));
  }
  DrawSpots(t, look, std::max(l.peakLo, lo), std::min(l.peakHi, hi));
}

bool ChangedSpots(const TMMBarLook& look, int oldValue, int oldPeak, int newValue, int newPeak, int& lo, int& hi) {
  const Lit a = LitSpots(look, oldValue, oldPeak), b = LitSpots(look, newValue, newPeak);
  lo = INT32_MAX;
  hi = INT32_MIN;
  auto add = [&](int l, int h) {
    if (l > h) return;
    lo = std::min(lo, l);
    hi = std::max(hi, h);
  };
  if (a.bodyLo != b.bodyLo || a.bodyHi != b.bodyHi) {
    if (look.direction == dirSymetric) {
      add(a.bodyLo, a.bodyHi);
      add(b.bodyLo, b.bodyHi);
    } else {
      add(std::min(a.bodyHi, b.bodyHi) + 1, std::max(a.bodyHi, b.bodyHi));
    }
  } else if (look.direction == dirSymetric && SpotZone(look.layout, std::clamp(oldValue, 1, look.layout.spots)) !=
                                                  SpotZone(look.layout, std::clamp(newValue, 1, look.layout.spots))) {
    add(b.bodyLo, b.bodyHi);
  }
  if (a.peakLo != b.peakLo || a.peakHi != b.peakHi) {
    add(a.peakLo, a.peakHi);
    add(b.peakLo, b.peakHi);
  }
  return lo <= hi;
}

// ---- the level scale ----------------------------------------------------------------------------

TMMLevelScalePlan PlanLevelScale(const TMMLevelScaleSetup& s, const TMMTextExtent& extent) {
  TMMLevelScalePlan plan;
  const bool horizontal = s.kind == lkHorizontal;
  const bool reversed = s.direction == dirReversed;
  const int ticks = std::max(s.scaleTicks, 2);
  int zw = 0, zh = 0;
  extent("0", zw, zh);
  const int h = horizontal ? zw / 2 : zh / 2;

  TDIBRect area = s.inner;
  if (s.rowsVisible) {
    // Vertical strips run from 0 dB at the top unless reversed; horizontal ones from the left
    // unless reversed: the zone order follows.
    const bool mirrored = horizontal ? reversed : !reversed;
    TMMScaleLook look = s.rowLook;
    const int count = std::max(look.tickCount, 2);
    auto tickOf = [&](int percent) { return MulDivRound32(percent - 1, count, 100); };
    if (mirrored) {
      look.color = s.colors[2];
      look.zone2 = s.colors[1];
      look.zone3 = s.colors[0];
      look.b1 = tickOf(100 - s.point2);
      look.b2 = tickOf(100 - s.point1);
    } else {
      look.color = s.colors[0];
      look.zone2 = s.colors[1];
      look.zone3 = s.colors[2];
      look.b1 = tickOf(s.point1);
      look.b2 = tickOf(s.point2);
    }
    plan.rowLook = look;
    const int depth = ScaleRowHeight(look);
    if (s.rowsPos == spAboveOrLeft || s.rowsPos == spBoth) {
      if (horizontal) {
        plan.rows.push_back({{area.Left + h, area.Top, area.Right - h, area.Top + depth}, true});
        area.Top += depth;
      } else {
        plan.rows.push_back({{area.Left, area.Top + h, area.Left + depth, area.Bottom - h}, true});
        area.Left += depth;
      }
    }
    if (s.rowsPos == spBelowOrRight || s.rowsPos == spBoth) {
      if (horizontal) {
        plan.rows.push_back({{area.Left + h, area.Bottom - depth, area.Right - h, area.Bottom}, false});
        area.Bottom -= depth;
      } else {
        plan.rows.push_back({{area.Right - depth, area.Top + h, area.Right, area.Bottom - h}, false});
        area.Right -= depth;
      }
    }
  }

  // The label step: the smallest k at which every k-th label fits the strip. A strip shorter than
  // one label has none and shows no labels.
  int ew = 0, eh = 0;
  if (horizontal) extent(std::to_string(s.sensitivity), ew, eh);
  else extent("W", ew, eh);
  const int e = horizontal ? ew : eh;
  const bool symmetric = s.direction == dirSymetric;
  const int L = symmetric ? s.controlLength / 2 : s.controlLength;
  int step = 0;
  for (int k = 1; k <= ticks - 1; ++k) {
    const int64_t need = int64_t((ticks - 1) / k) * e;
    if (need > 0 && L / need >= 1) {
      step = k;
      break;
    }
  }
  if (step == 0 || e <= 0) return plan;

  const int length = horizontal ? area.Right - area.Left : area.Bottom - area.Top;
  const int across = horizontal ? area.Bottom - area.Top : area.Right - area.Left;
  const bool countDown = (horizontal && s.direction == dirNormal) || (!horizontal && reversed);
  const bool mirrorColor = horizontal ? reversed : !reversed;
  const bool mirrorText = horizontal ? !reversed : reversed;
  const double T = 32767.0 / std::pow(10.0, -s.sensitivity / 20.0);
  const int32_t t2 = int32_t(int64_t(32767) * s.point2 / 100), t1 = int32_t(int64_t(32767) * s.point1 / 100);

  auto labelOf = [&](int i, plat::TColor& color) {
    int32_t f = MulDivRound32(32767, i, ticks - 1);
    if (mirrorColor) f = 32767 - f;
    color = f > t2 ? s.colors[2] : f > t1 ? s.colors[1] : s.colors[0];
    const int j = mirrorText ? ticks - 1 - i : i;
    if (s.logAmp) return MulDivRound32(j, s.sensitivity, ticks - 1);
    return int32_t(std::nearbyint(20.0 * std::log10(((32767.0 - T) * j / (ticks - 1) + T) / 32767.0)));
  };
  // Places a label whose near edge (counting up) or far edge (counting down) lies at d.
  auto place = [&](const std::string& text, plat::TColor color, int d, bool endsAtD) {
    int w = 0, hh = 0;
    extent(text, w, hh);
    const int size = horizontal ? w : hh;
    const int from = endsAtD ? d - size : d;
    if (from < 0 || from + size > length) return;
    TMMLevelScaleLabel l;
    l.text = text;
    l.color = color;
    if (horizontal) {
      l.x = area.Left + from;
      l.y = area.Top + (across - hh) / 2;
    } else {
      l.x = area.Left + (across - w) / 2;
      l.y = area.Top + from;
    }
    plan.labels.push_back(l);
  };

  const int span = symmetric ? length / 2 : length;
  for (int n = 0; n < ticks; n += step) {
    const int i = countDown ? ticks - 1 - n : n;
    plat::TColor color;
    const int32_t value = labelOf(i, color);
    const int d = int(MulDivRoundUnsigned32(uint32_t(i), uint32_t(std::max(span - 1, 0)), uint32_t(ticks - 1)));
    if (!symmetric) {
      place(std::to_string(value), color, d, countDown);
      continue;
    }
    // From the ends to the centre on both halves; the second half signs its labels with "+".
    place(std::to_string(value), color, d, false);
    if (i != ticks - 1) place("+" + std::to_string(std::abs(value)), color, length - 1 - d, true);
  }
  return plan;
}
