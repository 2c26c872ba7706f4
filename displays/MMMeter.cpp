#include "displays/MMMeter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "engine/MMUtils.h"

bool TMMMeterValues::Feed(int32_t peak) {
  int32_t y = 0;
  if (!Amplify(peak, Needle(), y)) return false;
  int32_t v = ScaleLevel(y, sensitivity, kFullScale, logAmp, 0.00001);
  if (v >= kFullScale) {
    if (OnGainOverflow) OnGainOverflow();
    v = kFullScale;
  }
  if (showPeak) peak_.Raise(v, peakDelay * 2 + 1, false);
  if (v != Needle() || peak_.Pending()) {
    peak_.TakePending();
    needle_.store(v, std::memory_order_relaxed);
    return true;
  }
  return false;
}

int32_t TMMMeterValues::Percent() const { return LevelPercent(Needle(), sensitivity, kFullScale, logAmp, gain); }

void TMMMeterValues::Reset() {
  needle_.store(0, std::memory_order_relaxed);
  ResetPath();
}

// ---- geometry -----------------------------------------------------------------------------------

double TMMMeterGeometry::Angle(int32_t v) const {
  const double a = (180 - std::clamp(scaleAngle, 45, 180)) * std::numbers::pi / 360.0;
  return (std::numbers::pi - 2 * a) * v / kFullScale + a;
}

TMMPoint TMMMeterGeometry::At(int32_t v, int r) const {
  const double t = Angle(v);
  return {w / 2 - int(std::nearbyint(std::cos(t) * r)), h + needleOffset - int(std::nearbyint(std::sin(t) * r))};
}

namespace {
bool LongTick(const TMMMeterScaleLook& s, int i) {
  return s.enlargeEvery == 0 || i == s.ticks - 1 || i % s.enlargeEvery == 0;
}
}  // namespace

std::vector<TMMScaleLine> MeterTicks(const TMMMeterGeometry& g, const TMMMeterScaleLook& s) {
  std::vector<TMMScaleLine> out;
  if (s.ticks < 2) return out;
  const int R = g.Radius();
  const int outer = R - 2, inner = R - 2 - s.height2;
  const int32_t t2 = int32_t(int64_t(s.point2) * kFullScale / 100), t1 = int32_t(int64_t(s.point1) * kFullScale / 100);
  for (int i = 0; i < s.ticks; ++i) {
    const int32_t v = MulDiv32(kFullScale, i, s.ticks - 1);
    int r1 = outer, r2 = inner;
    if (!LongTick(s, i)) {
      if (s.origin == soOuter) r2 = inner + s.height1;
      else r1 = inner + s.height1;
    }
    const TMMPoint a = g.At(v, r1), b = g.At(v, r2);
    const plat::TColor c = v > t2 ? s.colors[2] : v > t1 ? s.colors[1] : s.colors[0];
    out.push_back({a.x, a.y, b.x, b.y, c});
  }
  return out;
}

std::vector<TMMMeterLabel> MeterLabels(const TMMMeterGeometry& g, const TMMMeterScaleLook& s,
                                       const std::function<int(const std::string&)>& textWidth, int zeroHeight) {
  std::vector<TMMMeterLabel> out;
  if (s.ticks < 2 || s.textEvery <= 0) return out;
  const double T = 32767.0 / std::pow(10.0, -s.sensitivity / 20.0);
  for (int i = 0; i < s.ticks; i += s.textEvery) {
    int32_t value;
    if (s.logAmp) value = MulDiv32(s.ticks - 1 - i, s.sensitivity, s.ticks - 1);
    else value = int32_t(std::nearbyint(20.0 * std::log10(((32767.0 - T) * i / (s.ticks - 1) + T) / 32767.0)));
    const std::string text = std::to_string(value);
    const TMMPoint p = g.At(MulDiv32(kFullScale, i, s.ticks - 1), g.Radius() - 2);
    out.push_back(
        {text, p.x + textWidth(std::to_string(std::abs(value))) / 2 - textWidth(text) + 1, p.y - zeroHeight - 3});
  }
  return out;
}

TDIBRect MeterCaptionBand(const TMMMeterGeometry& g, int wHeight) {
  const int bottom = g.h - g.h / 16;
  return {0, bottom - wHeight, g.w, bottom};
}
