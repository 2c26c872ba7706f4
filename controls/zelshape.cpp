#include "controls/zelshape.h"

#include <algorithm>
#include <cmath>

namespace {

using plat::TPoint;
using plat::TRect;

bool UpperPlace(TZelExtPos p) { return p == epLeftTop || p == epTopLeft || p == epTopRight || p == epRightTop; }
bool LeftPlace(TZelExtPos p) { return p == epLeftTop || p == epTopLeft || p == epBottomLeft || p == epLeftBottom; }

TZelRgn Polygon(std::initializer_list<TPoint> pts) { return TZelRgn::FromPolygon(std::vector<TPoint>(pts)); }

template <size_t N>
TZelRgn Polygon(const std::array<TPoint, N>& pts) {
  return TZelRgn::FromPolygon(std::vector<TPoint>(pts.begin(), pts.end()));
}

// Only what lies at or below row top.
TZelRgn BelowTop(const TZelRgn& r, int top) {
  TRect b = r.Bounds();
  if (b.Bottom <= top) return {};
  return r & TZelRgn::FromRect({b.Left, std::max(top, b.Top), b.Right, b.Bottom});
}

TZelRgn ShieldScallops(const TRect& r) {
  const int W = r.Width(), H = r.Height(), L = r.Left, T = r.Top;
  return TZelRgn::FromEllipse({L - W / 2, T - H / 5, L + W / 2, T + H / 5}) |
         TZelRgn::FromEllipse({L + W / 2, T - H / 5, L + W / 2 + W, T + H / 5});
}

TZelRgn NoseShape(const TZelShapeSpec& s, TRect body, bool rounded) {
  const int size = body.Width() / 10;
  const int margin = rounded ? RoundNoseMargin(s.ExtPos, s.RoundX, s.RoundY) : 5;
  TZelNose n = ComputeNoseTriangle(body, size, s.ExtPos, margin);
  TZelRgn b = rounded ? TZelRgn::FromRoundRect(body, s.RoundX, s.RoundY) : TZelRgn::FromRect(body);
  return b | Polygon({n.Tip, n.P1, n.P2});
}

TZelRgn BubbleShape(const TZelShapeSpec& s, TRect body) {
  auto trail = ComputeBubbleTrail(body, body.Width() / 6, s.Bubbles, s.ExtPos);
  TZelRgn out;
  switch (s.Shape) {
    case rsRoundThinkBubble: out = TZelRgn::FromRoundRect(body, s.RoundX, s.RoundY); break;
    case rsEllipticThinkBubble: out = TZelRgn::FromEllipse(body); break;
    default: out = TZelRgn::FromRect(body); break;
  }
  for (const auto& b : trail) out = out | TZelRgn::FromEllipse(BubbleBox(b));
  return out;
}

}  // namespace

int ZelRound(double v) {
  if (std::isnan(v)) return 0;
  return int(std::nearbyint(std::clamp(v, -1073741824.0, 1073741824.0)));
}

int ZelRoundRatio(int64_t num, int64_t den) {
  if (den <= 0) return 0;
  int64_t q = num / den, rem = num % den;
  if (rem < 0) {
    --q;
    rem += den;
  }
  if (2 * rem > den || (2 * rem == den && (q & 1))) ++q;
  return int(std::clamp<int64_t>(q, INT32_MIN, INT32_MAX));
}

void ShrinkToBody(TRect& r, int s, TZelExtPos pos) {
  if (UpperPlace(pos)) r.Top += s;
  else r.Bottom -= s;
  if (LeftPlace(pos)) r.Left += s;
  else r.Right -= s;
}

TZelNose ComputeNoseTriangle(TRect& r, int s, TZelExtPos pos, int m) {
  ShrinkToBody(r, s, pos);
  const int q = ZelRound(std::sqrt(2.0 * double(s) * double(s)));
  const int L = r.Left, T = r.Top, R = r.Right, B = r.Bottom;
  switch (pos) {
    case epLeftTop: return {{L - s, T - s}, {L, T + m}, {L, T + m + q}};
    case epTopLeft: return {{L - s, T - s}, {L + m, T}, {L + m + q, T}};
    case epTopRight: return {{R + s, T - s}, {R - m, T}, {R - m - q, T}};
    case epRightTop: return {{R + s, T - s}, {R, T + m}, {R, T + m + q}};
    case epRightBottom: return {{R + s, B + s}, {R, B - m}, {R, B - m - q}};
    case epBottomRight: return {{R + s, B + s}, {R - m, B}, {R - m - q, B}};
    case epBottomLeft: return {{L - s, B + s}, {L + m, B}, {L + m + q, B}};
    case epLeftBottom: return {{L - s, B + s}, {L, B - m}, {L, B - m - q}};
  }
  return {};
}

int RoundNoseMargin(TZelExtPos pos, int roundX, int roundY) {
  switch (pos) {
    case epLeftTop:
    case epRightTop:
    case epRightBottom:
    case epLeftBottom: return roundY;
    default: return roundX;
  }
}

std::vector<TZelBubble> ComputeBubbleTrail(TRect& r, int s, int n, TZelExtPos pos) {
  ShrinkToBody(r, s, pos);
  // No bubbles would divide by zero below.
  n = std::max(n, 1);
  const double f = double(s) * 2 * M_PI / 4 / n / n;
  const int L = r.Left, T = r.Top, R = r.Right, B = r.Bottom;
  auto rs = [s](double v) { return ZelRound(double(s) * v); };
  std::vector<TZelBubble> out;
  for (int j = 0; j <= n + 1; ++j) {
    const double th = j * (90.0 / (n + 1)) * M_PI / 180.0;
    TZelBubble b;
    b.Diameter = ZelRound(j * f);
    switch (pos) {
      case epLeftTop:
        b.X = L - rs(std::cos(th));
        b.Y = T - s + rs(std::sin(th));
        break;
      case epTopLeft:
        b.X = L - s + rs(std::cos(1.57 - th));
        b.Y = T - rs(std::sin(1.57 - th));
        break;
      case epTopRight:
        b.X = R + s - rs(std::cos(1.57 - th));
        b.Y = T - rs(std::sin(1.57 + th));
        break;
      case epRightTop:
        b.X = R + rs(std::cos(th));
        b.Y = T - s + rs(std::sin(th));
        break;
      case epRightBottom:
        b.X = R + rs(std::cos(th));
        b.Y = B + s - rs(std::sin(th));
        break;
      case epBottomRight:
        b.X = R + s - rs(std::cos(1.57 - th));
        b.Y = B + rs(std::sin(1.57 - th));
        break;
      case epBottomLeft:
        b.X = L - s + rs(std::cos(1.57 - th));
        b.Y = B + rs(std::sin(1.57 - th));
        break;
      case epLeftBottom:
        b.X = L - rs(std::cos(th));
        b.Y = B + s - rs(std::sin(th));
        break;
    }
    out.push_back(b);
  }
  return out;
}

TRect BubbleBox(const TZelBubble& b) {
  const int h = b.Diameter / 2;
  return {b.X - h, b.Y - h, b.X + h, b.Y + h};
}

std::array<TPoint, 10> StarPoints(const TRect& r) {
  const int64_t W = r.Width(), H = r.Height();
  const int L = r.Left, T = r.Top, R = r.Right, B = r.Bottom;
  auto w = [&](int pct) { return L + ZelRoundRatio(pct * W, 100); };
  auto h = [&](int pct) { return T + ZelRoundRatio(pct * H, 100); };
  const int w2 = L + int(W / 2);
  return {{{w2, T},
           {w(65), h(38)},
           {R, h(38)},
           {w(70), h(60)},
           {w(85), B},
           {w2, h(75)},
           {w(15), B},
           {w(30), h(60)},
           {L, h(38)},
           {w(35), h(38)}}};
}

std::array<TPoint, 4> DiamondPoints(const TRect& r) {
  const int W = r.Width(), H = r.Height();
  return {{{r.Left + W / 2, r.Top}, {r.Left, r.Top + H / 2}, {r.Left + W / 2, r.Bottom}, {r.Right, r.Top + H / 2}}};
}

std::array<TPoint, 8> OctagonPoints(const TRect& r) {
  const int w3 = r.Width() / 3, h3 = r.Height() / 3;
  const int L = r.Left, T = r.Top, R = r.Right, B = r.Bottom;
  return {{{L + w3 * 2, T},
           {L + w3, T},
           {L, T + h3},
           {L, T + h3 * 2},
           {L + w3, B},
           {L + w3 * 2, B},
           {R, T + h3 * 2},
           {R, T + h3}}};
}

std::array<TPoint, 6> CombPoints(const TRect& r) {
  const int w2 = r.Width() / 2, h4 = r.Height() / 4;
  const int L = r.Left, T = r.Top, R = r.Right, B = r.Bottom;
  return {{{L + w2, T}, {L, T + h4}, {L, T + h4 * 3}, {L + w2, B}, {R, T + h4 * 3}, {R, T + h4}}};
}

TZelRgn BuildShapeRgn(const TZelShapeSpec& s, const TRect& r) {
  switch (s.Shape) {
    case rsBitmap:
    case rsUserRegion:
    case rsPointList: return s.Data ? *s.Data : TZelRgn();
    default: break;
  }
  if (plat::IsRectEmpty(r)) return {};
  const int W = r.Width(), H = r.Height(), L = r.Left, T = r.Top;
  switch (s.Shape) {
    case rsRect: return TZelRgn::FromRect(r);
    case rsRoundRect: return TZelRgn::FromRoundRect(r, s.RoundX, s.RoundY);
    case rsElliptic: return TZelRgn::FromEllipse(r);
    case rsNoseRect: return NoseShape(s, r, false);
    case rsRoundNoseRect: return NoseShape(s, r, true);
    case rsStar: return Polygon(StarPoints(r));
    case rsRoundShield: {
      // Built where the rectangle lies (the top scallops and everything above the top cut away).
      TZelRgn body = TZelRgn::FromEllipse({L, T + H / 5 - H, L + W, T + H});
      return BelowTop(body - ShieldScallops(r), T);
    }
    case rsSharpShield: {
      const int h87 = int(int64_t(8) * H / 7);
      TZelRgn lens = TZelRgn::FromEllipse({L - W, T - h87, L + W, T + h87}) &
                     TZelRgn::FromEllipse({L, T - h87, L + 2 * W, T + h87});
      return BelowTop(lens - ShieldScallops(r), T);
    }
    case rsDiamond: return Polygon(DiamondPoints(r));
    case rsOctagon: return Polygon(OctagonPoints(r));
    case rsComb: return Polygon(CombPoints(r));
    case rsHalfRound: return TZelRgn::FromEllipse({L, 2 * T - r.Bottom, r.Right, r.Bottom});
    case rsThinkBubble:
    case rsRoundThinkBubble:
    case rsEllipticThinkBubble: return BubbleShape(s, r);
    default: return {};
  }
}

TZelShapeRegions BuildShapeRegions(const TZelShapeSpec& spec, const TRect& r, int depth) {
  TZelShapeRegions out;
  out.Rect = r;
  if (depth > 0) {
    out.Rect.Right -= depth;
    out.Rect.Bottom -= depth;
  }
  out.Body = BuildShapeRgn(spec, out.Rect);
  if (depth > 0) {
    TZelRgn cast = out.Body.Moved(depth, depth);
    out.Shadow = cast - out.Body;
    out.Whole = out.Body | cast;
  } else {
    out.Whole = out.Body;
  }
  return out;
}
