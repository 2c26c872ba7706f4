#include "displays/MMOscope.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The point of frame f: the sample, the chosen channel, or the two channels averaged.
int32_t PointAt(const uint8_t* p, const TMMScopeShape& s, int f) {
  const int ch = std::max(s.channels, 1);
  const int pick = ch == 1 ? 0 : s.channel == chBoth ? -1 : s.channel == chLeft ? 0 : 1;
  if (s.bits16) {
    auto at = [&](int c) {
      int16_t v;
      std::memcpy(&v, p + (size_t(f) * ch + c) * 2, 2);
      return int32_t(v);
    };
    return pick < 0 ? (at(0) + at(1)) / 2 : at(pick);
  }
  const uint8_t* fr = p + size_t(f) * ch;
  const int32_t u = pick < 0 ? (int32_t(fr[0]) + fr[1]) / 2 : fr[pick];
  return (u - 128) * 256;
}

}  // namespace

int32_t ScopeFeedStep(const TMMScopeShape& s, bool scroll, int fftLength, int width, int zoom) {
  const int32_t frame = s.Frame();
  if (scroll) return frame * fftLength;
  if (zoom > 0) return frame * width * zoom;
  if (zoom < 0) return ((frame * width) / (-zoom + 1) + 5) / 4 * 4;
  return frame * width;
}

void ScopePoints(const void* block, const TMMScopeShape& s, int frames, int width, int zoom, int16_t* points) {
  const auto* p = static_cast<const uint8_t*>(block);
  const int last = std::max(frames - 1, 0);
  for (int i = 0; i < width; ++i) {
    int f = zoom > 0 ? i * zoom : zoom < 0 ? i / (-zoom + 1) : i;
    points[i] = int16_t(PointAt(p, s, std::min(f, last)));
  }
}

void ScopeExtremes(const void* block, const TMMScopeShape& s, int frames, int16_t& lo, int16_t& hi) {
  const auto* p = static_cast<const uint8_t*>(block);
  const int ch = std::max(s.channels, 1);
  // The extremes of each channel first; chBoth averages the two channels' extremes.
  auto extremes = [&](int c, int32_t& l, int32_t& h) {
    TMMScopeShape one = s;
    one.channel = c == 0 ? chLeft : chRight;
    if (ch == 1) one.channel = chLeft;
    l = 32767;
    h = -32768;
    for (int f = 0; f < frames; ++f) {
      const int32_t v = PointAt(p, one, f);
      l = std::min(l, v);
      h = std::max(h, v);
    }
    if (frames <= 0) l = h = 0;
  };
  int32_t l, h;
  if (ch == 1 || s.channel != chBoth) {
    extremes(ch == 1 || s.channel == chLeft ? 0 : 1, l, h);
  } else {
    int32_t l2, h2;
    extremes(0, l, h);
    extremes(1, l2, h2);
    l = (l + l2) / 2;
    h = (h + h2) / 2;
  }
  lo = int16_t(l);
  hi = int16_t(h);
}

void ScopeLowPass(int16_t* points, int count) {
  int32_t previous = 0;
  for (int i = 0; i < count; ++i) {
    const int32_t raw = points[i];
    points[i] = int16_t((previous + 3 * raw) / 4);
    previous = raw;
  }
}

int32_t TMMScopeMap::RowValue(int32_t p) const {
  if (kind == okSpikes) p = std::abs(p);
  return int32_t((((int64_t(p) * gain) / 8 + Offset()) * height) / Span());
}

void ScopeEffectBand(TMMOscopeEffect e, int height, int& lower, int& upper) {
  lower = 0;
  upper = height;
  if (e == efPeak) {
    lower = height / 3;
    upper = height - height / 3;
  } else if (e == efSplit) {
    lower = 0;
    upper = height / 2;
  }
}

int ScopeGridDivisions(int h) {
  int d = 10;
  while (d > 2 && h / d < 10) d -= 2;
  return d;
}

int ScopeTimeDivisions(int w) {
  int d = 32;
  while (d > 1 && w / d < 10) d /= 2;
  return d;
}

int32_t TMMScopeTrace::Row(int32_t p, const TMMScopeMap& map, int32_t& y) {
  if (p >= 32767) ++pcmOverflows;
  y = map.RowValue(p);
  if (y > map.height) ++gainOverflows;
  return map.height - y - 1;
}

void TMMScopeTrace::Draw(TMMDIBTarget& t, const int16_t* points, int count, const TMMScopeMap& map,
                         const TMMScopeLook& look) {
  pcmOverflows = gainOverflows = 0;
  const int W = t.Width(), H = map.height, mid = H / 2;
  const bool sel = look.selStart >= 0 || look.selEnd >= 0;
  if (!look.enabled) {
    t.SetRawColor(look.disabled);
    t.HLine(5, W - 5, mid);
    return;
  }
  if (sel) {
    t.SetRawColor(look.selection);
    t.FillRect({look.selStart, 0, look.selEnd + 1, H});
  }
  if (look.midLine) {
    t.SetRawColor(look.disabled);
    t.HLine(0, W - 1, mid);
  }
  if (look.drawGrid) {
    t.SetRawColor(look.grid);
    const int gd = std::max(look.gridDivisions, 1);
    for (int k = 0; k <= gd; ++k) t.HLine(0, W - 1, (H - 1) * k / gd);
    const int td = ScopeTimeDivisions(W);
    for (int k = 0; k <= td; ++k) t.VLine((W - 1) * k / td, 0, H - 1);
  }
  int lower, upper;
  ScopeEffectBand(look.effectMode, H, lower, upper);
  auto outside = [&](int32_t y) { return look.effectMode != efNone && (y < lower || y > upper); };
  const int steps = std::clamp(look.steps, 1, 9);
  const int n = std::min(count, W);
  if (map.kind == okMirLines) {
    t.SetRawColor(look.foreground);
    t.HLine(0, W - 1, mid - 1);
    t.HLine(0, W - 1, mid);
  }
  int prevX = 0, prevRow = 0;
  for (int x = 0; x < n; x += steps) {
    int32_t y;
    const int row = Row(points[x], map, y);
    const bool fx = outside(y);
    switch (map.kind) {
      case okDots:
        t.SetRawColor(fx ? look.effect : look.foreground);
        t.SetPixel(x, row);
        break;
      case okConLines:
        t.SetRawColor(fx ? look.effect : look.foreground);
        if (x == 0) t.SetPixel(x, row);
        else t.Line(prevX, prevRow, x, row);
        break;
      case okVertLines: {
        const int m = mid;
        t.SetRawColor(look.foreground);
        t.VLine(x, m, row);
        if (fx) {
          t.SetRawColor(look.effect);
          t.VLine(x, row, row < m ? row + 4 : row - 4);
        }
        break;
      }
      case okMirLines:
        t.SetRawColor(look.foreground);
        t.VLine(x, y, row);
        break;
      case okSpikes:
        t.SetRawColor(look.foreground);
        t.VLine(x, H - 1, row);
        if (look.effectMode != efNone && row < 2 * lower) {
          t.SetRawColor(look.effect);
          t.VLine(x, row, row + 4);
        }
        break;
    }
    prevX = x;
    prevRow = row;
  }
  if (sel) {
    t.SetRawColor(look.selectionDot);
    t.HLine(look.selStart, look.selEnd, 0);
    t.HLine(look.selStart, look.selEnd, H - 1);
    t.VLine(look.selStart, 0, H - 1);
    t.VLine(look.selEnd, 0, H - 1);
  }
  if (look.locatorX >= 0) {
    t.SetRawColor(look.locator);
    t.VLine(look.locatorX, 0, H - 1);
  }
}

void TMMScopeTrace::DrawColumn(TMMDIBTarget& t, int x, int16_t lo, int16_t hi, const TMMScopeMap& map,
                               const TMMScopeLook& look) {
  pcmOverflows = gainOverflows = 0;
  const int H = map.height, mid = H / 2;
  t.SetRawColor(look.background);
  t.VLine(x, 0, H - 1);
  if (!look.enabled) return;
  int32_t ylo, yhi;
  const int rlo = Row(lo, map, ylo), rhi = Row(hi, map, yhi);
  t.SetRawColor(look.foreground);
  switch (map.kind) {
    case okDots:
      t.SetPixel(x, rlo);
      t.SetPixel(x, rhi);
      break;
    case okConLines: t.VLine(x, rlo, rhi); break;
    case okVertLines:
      t.VLine(x, mid, rlo);
      t.VLine(x, mid, rhi);
      break;
    case okMirLines:
    case okSpikes: {
      const int32_t m = std::max(std::abs(int32_t(lo)), std::abs(int32_t(hi)));
      const int32_t y = map.RowValue(m);
      const int row = map.height - y - 1;
      if (map.kind == okSpikes) t.VLine(x, H - 1, row);
      else t.VLine(x, y, row);
      break;
    }
  }
}

void TMMScopeTrace::DrawBar(TMMDIBTarget& t, int x, int width, const TMMScopeLook& look, int gridDivisions) {
  if (width <= 0) return;
  const int H = t.Height();
  t.SetRawColor(look.bar);
  t.FillRect({x, 0, x + width, H});
  t.SetRawColor(look.barTick);
  const int gd = std::max(gridDivisions, 1);
  for (int k = 0; k <= gd; ++k) t.HLine(x, x + width - 1, (H - 1) * k / gd);
}

bool SetScopeSelection(int& start, int& end, int newStart, int newEnd, int width) {
  int s = std::clamp(newStart, -1, width), e = std::clamp(newEnd, -1, width);
  if (s > e) std::swap(s, e);
  if (s == e) s = e = -1;
  if (s == start && e == end) return false;
  start = s;
  end = e;
  return true;
}

TMMSelectionDrag::TMode TMMSelectionDrag::HitTest(int x, int start, int end) {
  if (start < 0 && end < 0) return sdNone;
  if (x >= start - 3 && x <= start + 2) return sdLeft;
  if (x >= end - 2 && x <= end + 3) return sdRight;
  if (x > start && x < end) return sdMove;
  return sdNone;
}

TMMSelectionDrag::TMode TMMSelectionDrag::Press(int x, int& start, int& end, int width,
                                                const std::function<void(int, int)>& selecting) {
  mode_ = HitTest(x, start, end);
  grabStart_ = start;
  grabEnd_ = end;
  anchor_ = x;
  if (mode_ == sdNone) {
    mode_ = sdNew;
    if (selecting) selecting(-1, -1);
    SetScopeSelection(start, end, x, x + 1, width);
    if (selecting) selecting(start, end);
  }
  return mode_;
}

void TMMSelectionDrag::Move(int x, int& start, int& end, int width, const std::function<void(int, int)>& selecting) {
  x = std::clamp(x, 0, width);
  int s = start, e = end;
  switch (mode_) {
    case sdNone: return;
    case sdLeft: s = x; break;
    case sdRight: e = x; break;
    case sdNew:
      s = std::min(anchor_, x);
      e = std::max(anchor_ + 1, x);
      break;
    case sdMove: {
      const int len = grabEnd_ - grabStart_;
      s = std::clamp(grabStart_ + (x - anchor_), 0, std::max(width - len, 0));
      e = s + len;
      break;
    }
  }
  // An edge dragged past the other one takes the other's part.
  if (s > e) {
    std::swap(s, e);
    mode_ = mode_ == sdLeft ? sdRight : mode_ == sdRight ? sdLeft : mode_;
  }
  if (SetScopeSelection(start, end, s, e, width) && selecting) selecting(start, end);
}

TMMSelectionDrag::TMode TMMSelectionDrag::Release() {
  const TMode m = mode_;
  mode_ = sdNone;
  return m;
}

// ---- the sweep ----------------------------------------------------------------------------------

int TMMSweep::Place(int width, bool scroll, bool& shift) const {
  shift = scroll && Full(width);
  return shift ? width - 1 : column_;
}

void TMMSweep::Advance(int width, bool scroll) {
  if (scroll && Full(width)) return;
  if (column_ >= 0) ++written_;
  if (++column_ >= width) {
    column_ = scroll ? width : 0;
    if (!scroll) written_ = std::min(written_, width);
  }
}

void ShiftLeft(TMMDIBTarget& t, const TDIBRect& r) {
  const int l = std::max(r.Left, 0), right = std::min(r.Right, t.Width());
  const int top = std::max(r.Top, 0), bottom = std::min(r.Bottom, t.Height());
  if (right - l < 2) return;
  const int bpp = t.BytesPerPixel();
  for (int y = top; y < bottom; ++y) {
    uint8_t* row = t.Row(y);
    std::memmove(row + l * bpp, row + (l + 1) * bpp, size_t(right - l - 1) * bpp);
  }
}

std::string ScopeLevelText(int y, int height, TMMOscopeKind kind) {
  double v;
  if (kind == okSpikes) {
    v = 10.0 / std::max(height - 1, 1) * (height - y - 1) * 0.1;
  } else {
    int d = height / 2 - y;
    if (d < 0) d -= 1;
    v = 10.0 / std::max(height, 1) * d * 0.2;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, " %4.2f V", v);
  return buf;
}

std::string ScopeTimeText(int column, int width, double blockMs) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%4.1f ms", (column + 1) * blockMs / std::max(width, 1));
  return buf;
}

TScaleLabelSpan CentredLabelSpan(int at, int size, int lo, int hi) {
  const int start = std::max(lo, std::min(at - size / 2, hi - size));
  return {start, start + size};
}

std::vector<bool> KeepScaleLabels(const std::vector<TScaleLabelSpan>& labels, int gap) {
  const size_t n = labels.size();
  std::vector<bool> keep(n, false);
  if (n == 0) return keep;
  auto clear = [gap](const TScaleLabelSpan& a, const TScaleLabelSpan& b) {
    return a.end + gap <= b.start || b.end + gap <= a.start;
  };
  std::vector<TScaleLabelSpan> taken;
  keep[0] = true;
  taken.push_back(labels[0]);
  if (n > 1 && clear(labels[n - 1], labels[0])) {
    keep[n - 1] = true;
    taken.push_back(labels[n - 1]);
  }
  for (size_t i = 1; i + 1 < n; ++i) {
    if (!std::all_of(taken.begin(), taken.end(), [&](const TScaleLabelSpan& t) { return clear(labels[i], t); }))
      continue;
    keep[i] = true;
    taken.push_back(labels[i]);
  }
  return keep;
}

namespace {
// The labels' indices in their order along the scale.
std::vector<size_t> AlongScale(const std::vector<TScaleLabelSpan>& labels) {
  std::vector<size_t> order(labels.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return labels[a].start < labels[b].start; });
  return order;
}
}  // namespace

bool SpreadScaleLabels(std::vector<TScaleLabelSpan>& labels, int gap, int lo, int hi) {
  const std::vector<size_t> order = AlongScale(labels);
  std::vector<TScaleLabelSpan> moved = labels;
  auto place = [&](TScaleLabelSpan& s, int start) {
    s.end += start - s.start;
    s.start = start;
  };
  // Down from lo past whatever a label runs into, then back up from hi.
  int next = lo;
  for (size_t i : order) {
    if (moved[i].start < next) place(moved[i], next);
    next = moved[i].end + gap;
  }
  int limit = hi;
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    TScaleLabelSpan& s = moved[*it];
    if (s.end > limit) place(s, limit - (s.end - s.start));
    limit = s.start - gap;
  }
  if (!order.empty() && moved[order.front()].start < lo) return false;
  labels = moved;
  return true;
}

int FreeScaleSpan(const std::vector<TScaleLabelSpan>& labels, int size, int gap, int lo, int hi) {
  const std::vector<size_t> order = AlongScale(labels);
  int below = hi;  // the free rows run up to here, from the lowest label up
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const TScaleLabelSpan& s = labels[*it];
    if (below - (s.end + gap) >= size) return below - size;
    below = std::min(below, s.start - gap);
  }
  return below - lo >= size ? below - size : -1;
}
