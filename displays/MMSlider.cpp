#include "displays/MMSlider.h"

#include <algorithm>
#include <cmath>

#include "engine/MMUtils.h"

int32_t TMMSliderMapping::Clamp(int64_t v) const {
  return int32_t(std::clamp<int64_t>(v, minValue, std::max<int64_t>(minValue, maxValue)));
}

int32_t TMMSliderMapping::ToStored(int32_t value) const {
  if (!logarithmic) return Clamp(value);
  // The log of nothing is no position: such a value goes to the bottom.
  if (value <= 0) return Clamp(0);
  const double R = double(Range()), S = -sensitivity;
  if (R <= 0) return Clamp(0);
  const double p = std::nearbyint(R * (20.0 * std::log10(double(value) / R) + S) / S);
  return Clamp(int64_t(std::clamp(p, -4e18, 4e18)));
}

int32_t TMMSliderMapping::ToValue(int32_t stored) const {
  const int32_t q = Clamp(stored);
  if (!logarithmic || q == 0) return q;
  const double R = double(Range()), S = -sensitivity;
  if (R <= 0) return q;
  const double v = std::nearbyint(R * std::pow(10.0, (S * q / R - S) / 20.0));
  return Clamp(int64_t(std::clamp(v, -4e18, 4e18)));
}

bool SliderKeyTarget(TMMSliderKey key, int32_t p, const TMMSliderMapping& m, int lineSize, int pageSize,
                     bool horizontal, int32_t& target) {
  const int64_t pos = p;
  switch (key) {
    case skPageUp: target = m.Clamp(pos + pageSize); return true;
    case skPageDown: target = m.Clamp(pos - pageSize); return true;
    case skEnd: target = horizontal ? m.maxValue : m.minValue; return true;
    case skHome: target = horizontal ? m.minValue : m.maxValue; return true;
    case skLeft:
    case skDown: target = p > m.minValue ? m.Clamp(pos - lineSize) : p; return true;
    case skUp:
    case skRight: target = p < m.maxValue ? m.Clamp(pos + lineSize) : p; return true;
    default: return false;
  }
}

namespace {
int Along(const TDIBRect& r, bool horizontal) { return horizontal ? r.Right - r.Left : r.Bottom - r.Top; }
}  // namespace

TMMSliderParts SliderParts(const TMMSliderLayout& l) {
  TMMSliderParts s;
  const int e = l.bevelExtent;
  s.inner = {e, e, std::max(e, l.width - e), std::max(e, l.height - e)};
  const TDIBRect& I = s.inner;
  const int thumbAlong = l.horizontal ? l.thumbWidth : l.thumbHeight;
  const int thumbAcross = l.horizontal ? l.thumbHeight : l.thumbWidth;
  if (l.horizontal) {
    s.picFirst = {I.Left, I.Top, I.Left + l.picFirst, I.Bottom};
    s.picLast = {I.Right - l.picLast, I.Top, I.Right, I.Bottom};
    s.track = {I.Left + l.picFirst, I.Top, I.Right - l.picLast, I.Bottom};
  } else {
    s.picFirst = {I.Left, I.Top, I.Right, I.Top + l.picFirst};
    s.picLast = {I.Left, I.Bottom - l.picLast, I.Right, I.Bottom};
    s.track = {I.Left, I.Top + l.picFirst, I.Right, I.Bottom - l.picLast};
  }
  s.travel = std::max(0, Along(s.track, l.horizontal) - thumbAlong);

  // Across: centred, or with a scale on one side, half a thumb from the other side.
  const int thick = l.grooveSize + 2 * l.grooveBevel;
  const int lo = l.horizontal ? I.Top : I.Left, hi = l.horizontal ? I.Bottom : I.Right;
  int g0;
  if (l.scaleVisible && l.scalePos == spBelowOrRight) g0 = lo + thumbAcross / 2 - thick / 2;
  else if (l.scaleVisible && l.scalePos == spAboveOrLeft) g0 = hi - thumbAcross / 2 - 1 - thick / 2;
  else g0 = lo + (hi - lo - thick) / 2;
  const int half = thumbAlong / 2;
  if (l.horizontal) s.groove = {s.track.Left + half, g0, s.track.Right - half, g0 + thick};
  else s.groove = {g0, s.track.Top + half, g0 + thick, s.track.Bottom - half};

  if (l.scaleVisible) {
    const int depth = l.scaleHeight;
    const int start = (l.horizontal ? s.track.Left : s.track.Top) + half;
    const bool first = l.scalePos == spAboveOrLeft || l.scalePos == spBoth;
    const bool second = l.scalePos == spBelowOrRight || l.scalePos == spBoth;
    if (l.horizontal) {
      if (first) {
        const int b = s.groove.Top - (l.scaleDistance + 1);
        s.rows.push_back({{start, b - depth, start + s.travel, b}, true});
      }
      if (second) {
        const int t = s.groove.Bottom + l.scaleDistance + 1;
        s.rows.push_back({{start, t, start + s.travel, t + depth}, false});
      }
    } else {
      if (first) {
        const int r = s.groove.Left - l.scaleDistance;
        s.rows.push_back({{r - depth, start, r, start + s.travel}, true});
      }
      if (second) {
        const int ll = s.groove.Right + l.scaleDistance;
        s.rows.push_back({{ll, start, ll + depth, start + s.travel}, false});
      }
    }
  }
  return s;
}

int SliderThumbOffset(const TMMSliderParts& parts, const TMMSliderMapping& m, int32_t p) {
  const int64_t R = m.Range();
  if (R <= 0 || parts.travel <= 0) return 0;
  const int64_t off = MulDiv64(int64_t(m.Clamp(p)) - m.minValue, parts.travel, R);
  return int(std::clamp<int64_t>(off, 0, parts.travel));
}

TDIBRect SliderThumb(const TMMSliderLayout& l, const TMMSliderParts& parts, const TMMSliderMapping& m, int32_t p) {
  const int off = SliderThumbOffset(parts, m, p);
  const TDIBRect& g = parts.groove;
  if (l.horizontal) {
    const int top = g.Top + (g.Bottom - g.Top) / 2 - l.thumbHeight / 2;
    const int left = parts.track.Left + off;
    return {left, top, left + l.thumbWidth, top + l.thumbHeight};
  }
  const int left = g.Left + (g.Right - g.Left) / 2 - l.thumbWidth / 2;
  const int bottom = parts.track.Bottom - off;
  return {left, bottom - l.thumbHeight, left + l.thumbWidth, bottom};
}

bool SliderPointToPosition(const TMMSliderLayout& l, const TMMSliderParts& parts, const TMMSliderMapping& m, int x,
                           int y, int32_t& position) {
  const int U = parts.travel;
  if (U <= 0) return false;
  const int64_t R = m.Range();
  int64_t pixels;
  if (l.horizontal) pixels = int64_t(x) - parts.track.Left - l.thumbWidth / 2;
  else pixels = U - (int64_t(y) - parts.track.Top - l.thumbHeight / 2);
  const double v = std::nearbyint(double(pixels) / U * double(R)) + m.minValue;
  position = m.Clamp(int64_t(std::clamp(v, -4e18, 4e18)));
  return true;
}

bool SliderDragPosition(const TMMSliderParts& parts, const TMMSliderMapping& m, int32_t start, int delta,
                        int32_t& position) {
  const int U = parts.travel;
  if (U <= 0) return false;
  // A multiply-divide that rounds halves away from zero, in 64 bits.
  const int64_t num = int64_t(delta) * m.Range();
  const int64_t q = num / U, r = num % U;
  const int64_t step = q + (2 * (r < 0 ? -r : r) >= U ? (num < 0 ? -1 : 1) : 0);
  position = m.Clamp(int64_t(start) + step);
  return true;
}
