#include "controls/zelrgn.h"

#include <algorithm>
#include <cmath>

#include "controls/ZelRegionMask.h"

namespace {

using Span = TZelRgn::Span;
using Band = TZelRgn::Band;
using Wide = __int128;

int Clamp(int64_t v) { return int(std::clamp<int64_t>(v, -kZelRgnLimit, kZelRgnLimit)); }

int64_t FloorDiv(Wide n, Wide d) {  // d > 0
  Wide q = n / d;
  if (n % d != 0 && n < 0) --q;
  return int64_t(std::clamp<Wide>(q, INT64_MIN / 2, INT64_MAX / 2));
}

int64_t CeilDiv(Wide n, Wide d) { return -FloorDiv(-n, d); }

bool Keeps(TZelRgn::TOp op, bool a, bool b) {
  switch (op) {
    case TZelRgn::opAnd: return a && b;
    case TZelRgn::opOr: return a || b;
    case TZelRgn::opXor: return a != b;
    case TZelRgn::opDiff: return a && !b;
  }
  return false;
}

std::vector<Span> CombineSpans(const std::vector<Span>& a, const std::vector<Span>& b, TZelRgn::TOp op) {
  std::vector<int> xs;
  xs.reserve(2 * (a.size() + b.size()));
  for (const auto& s : a) xs.insert(xs.end(), {s.Left, s.Right});
  for (const auto& s : b) xs.insert(xs.end(), {s.Left, s.Right});
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  std::vector<Span> out;
  size_t ia = 0, ib = 0;
  for (size_t k = 0; k + 1 < xs.size(); ++k) {
    const int x0 = xs[k], x1 = xs[k + 1];
    while (ia < a.size() && a[ia].Right <= x0) ++ia;
    while (ib < b.size() && b[ib].Right <= x0) ++ib;
    const bool inA = ia < a.size() && a[ia].Left <= x0;
    const bool inB = ib < b.size() && b[ib].Left <= x0;
    if (!Keeps(op, inA, inB)) continue;
    if (!out.empty() && out.back().Right == x0) out.back().Right = x1;
    else out.push_back({x0, x1});
  }
  return out;
}

// The span of row y of the ellipse inscribed in [l, r) x [t, b): pixels whose centres lie inside.
bool EllipseRow(int l, int t, int r, int b, int y, Span& span) {
  const Wide w = r - l, h = b - t;
  const Wide dy = Wide(2) * y + 1 - (Wide(t) + b);
  const Wide rem = w * w * h * h - dy * dy * w * w;
  if (rem < 0) return false;
  // The largest m with (m h)^2 <= rem: |2x + 1 - (l + r)| <= m.
  Wide m = Wide(std::floor(std::sqrt(double(rem)) / double(h)));
  while (m > 0 && m * m * h * h > rem) --m;
  while ((m + 1) * (m + 1) * h * h <= rem) ++m;
  const Wide lr1 = Wide(l) + r - 1;
  const int64_t x0 = CeilDiv(lr1 - m, 2), x1 = FloorDiv(lr1 + m, 2) + 1;
  if (x1 <= x0) return false;
  span = {Clamp(x0), Clamp(x1)};
  return span.Right > span.Left;
}

}  // namespace

void TZelRgn::Append(int top, int bottom, std::vector<Span>&& spans) {
  if (bottom <= top || spans.empty()) return;
  if (!bands_.empty() && bands_.back().Bottom == top && bands_.back().Spans == spans) {
    bands_.back().Bottom = bottom;
    return;
  }
  bands_.push_back({top, bottom, std::move(spans)});
}

TZelRgn TZelRgn::FromRect(const plat::TRect& r0) {
  plat::TRect r{Clamp(r0.Left), Clamp(r0.Top), Clamp(r0.Right), Clamp(r0.Bottom)};
  TZelRgn out;
  if (!plat::IsRectEmpty(r)) out.Append(r.Top, r.Bottom, {{r.Left, r.Right}});
  return out;
}

TZelRgn TZelRgn::FromRects(const std::vector<plat::TRect>& rects) {
  // United pairwise, so many rectangles cost n log n band merges rather than n squared.
  std::vector<TZelRgn> parts;
  parts.reserve(rects.size());
  for (const auto& r : rects) parts.push_back(FromRect(r));
  if (parts.empty()) return {};
  while (parts.size() > 1) {
    std::vector<TZelRgn> next;
    next.reserve(parts.size() / 2 + 1);
    for (size_t i = 0; i + 1 < parts.size(); i += 2) next.push_back(parts[i] | parts[i + 1]);
    if (parts.size() % 2) next.push_back(std::move(parts.back()));
    parts = std::move(next);
  }
  return std::move(parts.front());
}

TZelRgn TZelRgn::FromEllipse(const plat::TRect& box) {
  // Boxes far beyond the limit are cut to a size whose squares still fit the arithmetic.
  auto cut = [](int v) { return std::clamp(v, -4 * kZelRgnLimit, 4 * kZelRgnLimit); };
  const int l = cut(std::min(box.Left, box.Right)), r = cut(std::max(box.Left, box.Right));
  const int t = cut(std::min(box.Top, box.Bottom)), b = cut(std::max(box.Top, box.Bottom));
  TZelRgn out;
  if (r == l || b == t) return out;
  for (int y = std::max(t, -kZelRgnLimit); y < std::min(b, kZelRgnLimit); ++y) {
    Span s;
    if (EllipseRow(l, t, r, b, y, s)) out.Append(y, y + 1, {s});
  }
  return out;
}

TZelRgn TZelRgn::FromRoundRect(const plat::TRect& r0, int ew, int eh) {
  const int l = std::min(r0.Left, r0.Right), r = std::max(r0.Left, r0.Right);
  const int t = std::min(r0.Top, r0.Bottom), b = std::max(r0.Top, r0.Bottom);
  ew = std::min(std::abs(ew), r - l);
  eh = std::min(std::abs(eh), b - t);
  if (ew < 2 || eh < 2) return FromRect({l, t, r, b});
  TZelRgn out = FromRect({l + ew / 2, t, r - ew / 2, b}) | FromRect({l, t + eh / 2, r, b - eh / 2});
  out = out | FromEllipse({l, t, l + ew, t + eh}) | FromEllipse({r - ew, t, r, t + eh});
  return out | FromEllipse({l, b - eh, l + ew, b}) | FromEllipse({r - ew, b - eh, r, b});
}

TZelRgn TZelRgn::FromPolygon(const std::vector<plat::TPoint>& pts) {
  struct Edge {
    int64_t xa, ya, xb, yb;
  };
  std::vector<Edge> edges;
  const size_t n = pts.size();
  if (n < 3) return {};
  int64_t ymin = INT64_MAX, ymax = INT64_MIN;
  for (size_t i = 0; i < n; ++i) {
    plat::TPoint a = pts[i], b = pts[(i + 1) % n];
    if (a.Y == b.Y) continue;
    if (a.Y > b.Y) std::swap(a, b);
    edges.push_back({a.X, a.Y, b.X, b.Y});
    ymin = std::min<int64_t>(ymin, a.Y);
    ymax = std::max<int64_t>(ymax, b.Y);
  }
  TZelRgn out;
  if (edges.empty()) return out;
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.ya < b.ya; });
  const int64_t y0 = std::max<int64_t>(ymin, -kZelRgnLimit), y1 = std::min<int64_t>(ymax, kZelRgnLimit);
  std::vector<const Edge*> active;
  std::vector<int64_t> xs;
  size_t next = 0;
  for (int64_t y = y0; y < y1; ++y) {
    while (next < edges.size() && edges[next].ya <= y) active.push_back(&edges[next++]);
    active.erase(std::remove_if(active.begin(), active.end(), [y](const Edge* e) { return e->yb <= y; }), active.end());
    xs.clear();
    // The row is sampled at its pixel centres; a crossing at x takes the pixels whose centres
    // lie at or right of it.
    for (const Edge* e : active) {
      if (e->ya > y) continue;
      const Wide d = e->yb - e->ya;
      const Wide num = (Wide(2) * e->xa - 1) * d + (Wide(2) * y + 1 - Wide(2) * e->ya) * (e->xb - e->xa);
      xs.push_back(CeilDiv(num, 2 * d));
    }
    std::sort(xs.begin(), xs.end());
    std::vector<Span> spans;
    for (size_t k = 0; k + 1 < xs.size(); k += 2) {
      const int a = Clamp(xs[k]), b = Clamp(xs[k + 1]);
      if (b <= a) continue;
      if (!spans.empty() && spans.back().Right >= a) spans.back().Right = std::max(spans.back().Right, b);
      else spans.push_back({a, b});
    }
    out.Append(int(y), int(y + 1), std::move(spans));
  }
  return out;
}

TZelRgn TZelRgn::FromRegionData(const std::string& bytes) {
  std::vector<plat::TRect> rects;
  if (!ParseRegionData(bytes, rects)) return {};
  return FromRects(rects);
}

TZelRgn TZelRgn::Combine(const TZelRgn& a, const TZelRgn& b, TOp op) {
  std::vector<int> ys;
  ys.reserve(2 * (a.bands_.size() + b.bands_.size()));
  for (const auto& band : a.bands_) ys.insert(ys.end(), {band.Top, band.Bottom});
  for (const auto& band : b.bands_) ys.insert(ys.end(), {band.Top, band.Bottom});
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  static const std::vector<Span> kNone;
  TZelRgn out;
  size_t ia = 0, ib = 0;
  for (size_t k = 0; k + 1 < ys.size(); ++k) {
    const int y0 = ys[k], y1 = ys[k + 1];
    while (ia < a.bands_.size() && a.bands_[ia].Bottom <= y0) ++ia;
    while (ib < b.bands_.size() && b.bands_[ib].Bottom <= y0) ++ib;
    const auto& sa = ia < a.bands_.size() && a.bands_[ia].Top <= y0 ? a.bands_[ia].Spans : kNone;
    const auto& sb = ib < b.bands_.size() && b.bands_[ib].Top <= y0 ? b.bands_[ib].Spans : kNone;
    if (sa.empty() && sb.empty()) continue;
    out.Append(y0, y1, CombineSpans(sa, sb, op));
  }
  return out;
}

void TZelRgn::Offset(int dx, int dy) {
  for (auto& band : bands_) {
    band.Top = Clamp(int64_t(band.Top) + dy);
    band.Bottom = Clamp(int64_t(band.Bottom) + dy);
    for (auto& s : band.Spans) {
      s.Left = Clamp(int64_t(s.Left) + dx);
      s.Right = Clamp(int64_t(s.Right) + dx);
    }
  }
  // Moving past the limits squeezes bands and spans to nothing; drop those.
  std::vector<Band> kept;
  for (auto& band : bands_) {
    if (band.Bottom <= band.Top) continue;
    std::erase_if(band.Spans, [](const Span& s) { return s.Right <= s.Left; });
    if (!band.Spans.empty()) kept.push_back(std::move(band));
  }
  bands_ = std::move(kept);
}

bool TZelRgn::Contains(int x, int y) const {
  auto band = std::upper_bound(bands_.begin(), bands_.end(), y, [](int v, const Band& b) { return v < b.Bottom; });
  if (band == bands_.end() || band->Top > y) return false;
  auto span =
      std::upper_bound(band->Spans.begin(), band->Spans.end(), x, [](int v, const Span& s) { return v < s.Right; });
  return span != band->Spans.end() && span->Left <= x;
}

plat::TRect TZelRgn::Bounds() const {
  if (bands_.empty()) return {};
  plat::TRect r{INT32_MAX, bands_.front().Top, INT32_MIN, bands_.back().Bottom};
  for (const auto& band : bands_) {
    r.Left = std::min(r.Left, band.Spans.front().Left);
    r.Right = std::max(r.Right, band.Spans.back().Right);
  }
  return r;
}

int64_t TZelRgn::Area() const {
  int64_t area = 0;
  for (const auto& band : bands_)
    for (const auto& s : band.Spans) area += int64_t(band.Bottom - band.Top) * (s.Right - s.Left);
  return area;
}

std::vector<plat::TRect> TZelRgn::Rects() const {
  std::vector<plat::TRect> out;
  for (const auto& band : bands_)
    for (const auto& s : band.Spans) out.push_back({s.Left, band.Top, s.Right, band.Bottom});
  return out;
}

std::string TZelRgn::RegionData() const { return Empty() ? std::string() : BuildRegionData(Rects()); }
