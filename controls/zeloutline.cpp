#include "controls/zeloutline.h"

#include <functional>
#include <utility>

namespace {

using plat::TColor;
using plat::TPoint;
using plat::TRect;
using C = TZelOutlineCanvas;

// One shape's figures: what the whole outline, the bevel and the inner part draw for a rectangle,
// and how far the rectangle shrinks before the bevel of the single-bevel styles (d) and before
// the inner part (e).
struct Figures {
  std::function<void(C&, const TRect&)> whole;
  // Draws the light part in light and the shadow part in shadow.
  std::function<void(C&, const TRect&, TColor light, TColor shadow)> bevel;
  std::function<void(C&, const TRect&)> inner;
  std::function<TRect(TRect)> shrinkD, shrinkE;
};

TRect Inset(TRect r, int by) {
  plat::InflateRect(r, -by, -by);
  return r;
}

std::function<TRect(TRect)> InsetBy(int by) {
  return [by](TRect r) { return Inset(r, by); };
}

bool Lowered(TZelOutlineStyle st) { return st == rbLowered || st == rbSingleLowered || st == rbLoweredpsb; }

void DrawScheme(C& c, TRect r, TZelBorderColors k, TZelOutlineStyle st, const Figures& f) {
  if (Lowered(st)) std::swap(k.Light, k.Shadow);
  switch (st) {
    case rbNone: return;
    case rbLowered:
    case rbRaised: f.bevel(c, r, k.Light, k.Shadow); return;
    case rbSingle:
      c.SetPenColor(k.Single);
      f.whole(c, r);
      return;
    case rbSingleRaised:
    case rbSingleLowered:
      c.SetPenColor(k.Single);
      f.whole(c, r);
      f.bevel(c, f.shrinkD(r), k.Light, k.Shadow);
      return;
    case rbRaisedpsb:
    case rbLoweredpsb:
      std::swap(k.Single, k.Shadow);
      f.bevel(c, r, k.Light, k.Shadow);
      c.SetPenColor(k.Single);
      f.inner(c, f.shrinkE(r));
      return;
  }
}

void Path(C& c, std::initializer_list<TPoint> pts) {
  auto it = pts.begin();
  c.MoveTo(it->X, it->Y);
  for (++it; it != pts.end(); ++it) c.LineTo(it->X, it->Y);
}

template <size_t N>
void Path(C& c, const std::array<TPoint, N>& p, std::initializer_list<int> order) {
  auto it = order.begin();
  c.MoveTo(p[*it].X, p[*it].Y);
  for (++it; it != order.end(); ++it) c.LineTo(p[*it].X, p[*it].Y);
}

template <size_t N>
void Poly(C& c, const std::array<TPoint, N>& p) {
  c.Polygon(std::vector<TPoint>(p.begin(), p.end()));
}

// A straight-edged shape whose bevel is a light path then a shadow path over its points.
template <size_t N>
Figures Straight(std::array<TPoint, N> (*points)(const TRect&), std::initializer_list<int> light,
                 std::initializer_list<int> shadow, std::initializer_list<int> inner) {
  std::vector<int> lv(light), sv(shadow), iv(inner);
  auto path = [points](C& c, const TRect& r, const std::vector<int>& order) {
    auto p = points(r);
    c.MoveTo(p[size_t(order[0])].X, p[size_t(order[0])].Y);
    for (size_t i = 1; i < order.size(); ++i) c.LineTo(p[size_t(order[i])].X, p[size_t(order[i])].Y);
  };
  Figures f;
  f.whole = [points](C& c, const TRect& r) { Poly(c, points(r)); };
  f.bevel = [=](C& c, const TRect& r, TColor l, TColor s) {
    c.SetPenColor(l);
    path(c, r, lv);
    c.SetPenColor(s);
    path(c, r, sv);
  };
  f.inner = [=](C& c, const TRect& r) { path(c, r, iv); };
  f.shrinkD = f.shrinkE = InsetBy(1);
  return f;
}

std::array<TPoint, 4> Corners(const TRect& r) {
  return {{{r.Left, r.Top}, {r.Right, r.Top}, {r.Right, r.Bottom}, {r.Left, r.Bottom}}};
}

// An elliptic shape: box gives the ellipse for the rectangle; the light part runs from the
// upper right corner to the lower left one, the shadow part back.
Figures Elliptic(TRect (*box)(const TRect&)) {
  Figures f;
  f.whole = [box](C& c, const TRect& r) {
    TRect b = box(r);
    c.Ellipse(b.Left, b.Top, b.Right, b.Bottom);
  };
  auto shadowArc = [box](C& c, const TRect& r) {
    TRect b = box(r);
    c.Arc(b.Left, b.Top, b.Right, b.Bottom, r.Left, r.Bottom, r.Right, r.Top);
  };
  f.bevel = [box, shadowArc](C& c, const TRect& r, TColor l, TColor s) {
    TRect b = box(r);
    c.SetPenColor(l);
    c.Arc(b.Left, b.Top, b.Right, b.Bottom, r.Right, r.Top, r.Left, r.Bottom);
    c.SetPenColor(s);
    shadowArc(c, r);
  };
  f.inner = shadowArc;
  f.shrinkD = f.shrinkE = InsetBy(1);
  return f;
}

// The lower and right stretch of a rounded rectangle, from the bottom-left corner's 45 degree
// point to the top-right corner's.
void RoundRectShadowPart(C& c, const TRect& r, int rx, int ry) {
  const int L = r.Left, T = r.Top, R = r.Right, B = r.Bottom;
  c.Arc(L, B - ry, L + rx, B, L, B, L + rx / 2, B);
  Path(c, {{L + rx / 2, B}, {R - rx / 2, B}});
  c.Arc(R - rx, B - ry, R, B, R - rx / 2, B, R, B - ry / 2);
  Path(c, {{R, B - ry / 2}, {R, T + ry / 2}});
  c.Arc(R - rx, T, R, T + ry, R, T + ry / 2, R, T);
}

struct Shield {
  int L, T, W, H, w2, h5, h87, B;
  explicit Shield(const TRect& r)
      : L(r.Left),
        T(r.Top),
        W(r.Width()),
        H(r.Height()),
        w2(W / 2),
        h5(H / 5),
        h87(int(int64_t(8) * H / 7)),
        B(r.Bottom) {}
  void LeftScallop(C& c) const { c.Arc(L - w2, T - h5, L + w2, T + h5, L, T + h5, L + w2, T); }
  void RightScallop(C& c) const { c.Arc(L + w2, T - h5, L + W + w2, T + h5, L + w2, T, L + W, T + h5); }
  void Body(C& c, TPoint from, TPoint to) const { c.Arc(L, T + h5 - H, L + W, B, from.X, from.Y, to.X, to.Y); }
  void RightSide(C& c) const { c.Arc(L - W, T - h87, L + W, T + h87, L + w2, B, L, T + h5); }
  void LeftSide(C& c) const { c.Arc(L, T - h87, L + 2 * W, T + h87, L, T + h5, L + w2, B); }
};

TRect Same(const TRect& r) { return r; }
TRect HalfRoundBox(const TRect& r) { return {r.Left, 2 * r.Top - r.Bottom, r.Right, r.Bottom}; }

TRect Normalized(TPoint a, TPoint b) {
  return {std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y)};
}

}  // namespace

void DrawRectOutline(C& c, TRect r, TZelBorderColors k, TZelOutlineStyle st) {
  Figures f = Straight(&Corners, {1, 0, 3}, {3, 2, 1}, {3, 2, 1});
  f.whole = [](C& c, const TRect& r) {
    auto p = Corners(r);
    Path(c, p, {0, 1, 2, 3, 0});
  };
  DrawScheme(c, r, k, st, f);
}

void DrawRoundRectOutline(C& c, TRect r, int rx, int ry, TZelBorderColors k, TZelOutlineStyle st) {
  c.SetPenSolid();
  Figures f;
  f.whole = [rx, ry](C& c, const TRect& r) { c.RoundRect(r.Left, r.Top, r.Right, r.Bottom, rx, ry); };
  f.bevel = [rx, ry](C& c, const TRect& r, TColor l, TColor s) {
    c.SetPenSolid();
    c.SetPenColor(l);
    c.RoundRect(r.Left, r.Top, r.Right, r.Bottom, rx, ry);
    // Stays this wide for whatever the routine draws after it.
    c.SetPenWidth(4);
    c.SetPenColor(s);
    RoundRectShadowPart(c, r, rx, ry);
  };
  f.inner = [rx, ry](C& c, const TRect& r) { RoundRectShadowPart(c, r, rx, ry); };
  f.shrinkD = [](TRect r) {
    r = Inset(r, 1);
    r.Right -= 2;
    r.Bottom -= 2;
    return r;
  };
  f.shrinkE = InsetBy(1);
  DrawScheme(c, r, k, st, f);
}

void DrawEllipseOutline(C& c, TRect r, TZelBorderColors k, TZelOutlineStyle st) {
  DrawScheme(c, r, k, st, Elliptic(&Same));
}

void DrawHalfRoundOutline(C& c, TRect r, TZelBorderColors k, TZelOutlineStyle st) {
  DrawScheme(c, r, k, st, Elliptic(&HalfRoundBox));
}

void DrawDiamondOutline(C& c, TRect r, TZelBorderColors k, TZelOutlineStyle st) {
  // N 0, W 1, S 2, E 3; the inner line follows the two right-hand edges.
  DrawScheme(c, r, k, st, Straight(&DiamondPoints, {3, 0, 1}, {1, 2, 3}, {2, 3, 0}));
}

void DrawOctagonOutline(C& c, TRect r, TZelBorderColors k, TZelOutlineStyle st) {
  DrawScheme(c, r, k, st, Straight(&OctagonPoints, {7, 0, 1, 2, 3}, {3, 4, 5, 6, 7}, {3, 4, 5, 6, 7}));
}

void DrawCombOutline(C& c, TRect r, TZelBorderColors k, TZelOutlineStyle st) {
  DrawScheme(c, r, k, st, Straight(&CombPoints, {5, 0, 1, 2}, {2, 3, 4, 5}, {2, 3, 4, 5}));
}

void DrawStarOutline(C& c, TRect r, TZelBorderColors k, TZelOutlineStyle st) {
  Figures f;
  f.whole = [](C& c, const TRect& r) { Poly(c, StarPoints(r)); };
  f.bevel = [](C& c, const TRect& r, TColor l, TColor s) {
    // One path round the star, the pen switched before each edge: edge i runs from point i.
    static constexpr bool kLightEdge[10] = {false, true, false, true, false, false, true, false, true, true};
    auto p = StarPoints(r);
    c.MoveTo(p[0].X, p[0].Y);
    for (size_t i = 0; i < 10; ++i) {
      c.SetPenColor(kLightEdge[i] ? l : s);
      const TPoint& to = p[(i + 1) % 10];
      c.LineTo(to.X, to.Y);
    }
  };
  f.inner = [](C& c, const TRect& r) {
    auto p = StarPoints(r);
    Path(c, p, {0, 1});
    Path(c, p, {2, 3});
    Path(c, p, {4, 5, 6});
    Path(c, p, {7, 8});
  };
  f.shrinkD = InsetBy(2);
  f.shrinkE = InsetBy(3);
  DrawScheme(c, r, k, st, f);
}

void DrawRoundShieldOutline(C& c, TRect r, TZelBorderColors k, TZelOutlineStyle st) {
  Figures f;
  f.whole = [](C& c, const TRect& r) {
    Shield s(r);
    s.LeftScallop(c);
    s.RightScallop(c);
    s.Body(c, {s.L, s.T + s.h5}, {s.L + s.W, s.T + s.h5});
  };
  f.bevel = [](C& c, const TRect& r, TColor l, TColor sh) {
    Shield s(r);
    c.SetPenColor(l);
    s.LeftScallop(c);
    s.RightScallop(c);
    c.SetPenColor(sh);
    s.Body(c, {s.L, s.T + s.h5}, {s.L + s.w2, s.B});
    s.Body(c, {s.L + s.w2, s.B}, {s.L + s.W, s.T + s.h5});
  };
  f.inner = [](C& c, const TRect& r) {
    Shield s(r);
    s.RightScallop(c);
    s.Body(c, {s.L + s.w2, s.B}, {s.L + s.W, s.T + s.h5});
  };
  f.shrinkD = f.shrinkE = InsetBy(1);
  DrawScheme(c, r, k, st, f);
}

void DrawSharpShieldOutline(C& c, TRect r, TZelBorderColors k, TZelOutlineStyle st) {
  Figures f;
  f.whole = [](C& c, const TRect& r) {
    Shield s(r);
    s.RightSide(c);
    s.LeftSide(c);
    s.LeftScallop(c);
    s.RightScallop(c);
  };
  f.bevel = [](C& c, const TRect& r, TColor l, TColor sh) {
    Shield s(r);
    c.SetPenColor(l);
    s.LeftScallop(c);
    s.RightScallop(c);
    c.SetPenColor(sh);
    s.LeftSide(c);
    s.RightSide(c);
  };
  f.inner = [](C& c, const TRect& r) {
    Shield s(r);
    s.RightSide(c);
    s.RightScallop(c);
  };
  f.shrinkD = f.shrinkE = InsetBy(1);
  DrawScheme(c, r, k, st, f);
}

void DrawNoseOutline(C& c, TRect r, int noseSize, TZelExtPos pos, TZelBorderColors k, TZelOutlineStyle st) {
  TZelNose n = ComputeNoseTriangle(r, noseSize, pos, 5);
  c.ExcludeClipRect(Normalized({n.P1.X - 2, n.P1.Y - 2}, {n.P2.X + 2, n.P2.Y + 2}));
  DrawRectOutline(c, r, k, st);
}

void DrawRoundNoseOutline(C& c, TRect r, int noseSize, int rx, int ry, TZelExtPos pos, TZelBorderColors k,
                          TZelOutlineStyle st) {
  TZelNose n = ComputeNoseTriangle(r, noseSize, pos, RoundNoseMargin(pos, rx, ry));
  c.ExcludeClipRect(Normalized({n.P1.X - 4, n.P1.Y - 4}, {n.P2.X + 4, n.P2.Y + 4}));
  DrawRoundRectOutline(c, r, rx, ry, k, st);
}

void DrawBubbleOutlines(C& c, TRect& r, int bubbleSize, int count, TZelExtPos pos, TZelBorderColors k,
                        TZelOutlineStyle st) {
  for (const TZelBubble& b : ComputeBubbleTrail(r, bubbleSize, count, pos)) {
    TRect box = BubbleBox(b);
    DrawEllipseOutline(c, box, k, st);
    c.ExcludeClipRect(box);
  }
}

void DrawThinkBubbleOutline(C& c, TRect r, int bubbleSize, int count, TZelExtPos pos, TZelBorderColors k,
                            TZelOutlineStyle st) {
  DrawBubbleOutlines(c, r, bubbleSize, count, pos, k, st);
  DrawRectOutline(c, r, k, st);
}

void DrawRoundThinkBubbleOutline(C& c, TRect r, int bubbleSize, int count, int rx, int ry, TZelExtPos pos,
                                 TZelBorderColors k, TZelOutlineStyle st) {
  DrawBubbleOutlines(c, r, bubbleSize, count, pos, k, st);
  DrawRoundRectOutline(c, r, rx, ry, k, st);
}

void DrawEllipticThinkBubbleOutline(C& c, TRect r, int bubbleSize, int count, TZelExtPos pos, TZelBorderColors k,
                                    TZelOutlineStyle st) {
  DrawBubbleOutlines(c, r, bubbleSize, count, pos, k, st);
  DrawEllipseOutline(c, r, k, st);
}

void DrawPointListOutline(C& c, const std::vector<TPoint>& pts, TZelBorderColors k, TZelOutlineStyle st) {
  if (pts.empty()) return;
  if (Lowered(st)) std::swap(k.Light, k.Shadow);
  if (st == rbSingle) k.Light = k.Shadow = k.Single;
  TColor color = k.Light;
  c.SetPenColor(color);
  c.MoveTo(pts[0].X, pts[0].Y);
  TPoint at = pts[0];
  for (size_t i = 1; i <= pts.size(); ++i) {
    const TPoint to = pts[i % pts.size()];
    // The vertical direction first, then the horizontal one decides for a sloping edge.
    if (to.Y > at.Y) color = k.Shadow;
    if (to.Y < at.Y) color = k.Light;
    if (to.X < at.X) color = k.Shadow;
    if (to.X > at.X) color = k.Light;
    c.SetPenColor(color);
    c.LineTo(to.X, to.Y);
    at = to;
  }
}

void DrawShapeOutline(C& c, const TZelShapeSpec& s, const TRect& r, const std::vector<TPoint>& points,
                      TZelBorderColors k, TZelOutlineStyle st) {
  const int noseSize = r.Width() / 10, bubbleSize = r.Width() / 6;
  switch (s.Shape) {
    case rsRect: DrawRectOutline(c, r, k, st); break;
    case rsRoundRect: DrawRoundRectOutline(c, r, s.RoundX, s.RoundY, k, st); break;
    case rsBitmap:
    case rsUserRegion: break;
    case rsNoseRect: DrawNoseOutline(c, r, noseSize, s.ExtPos, k, st); break;
    case rsRoundNoseRect: DrawRoundNoseOutline(c, r, noseSize, s.RoundX, s.RoundY, s.ExtPos, k, st); break;
    case rsElliptic: DrawEllipseOutline(c, r, k, st); break;
    case rsStar: DrawStarOutline(c, r, k, st); break;
    case rsRoundShield: DrawRoundShieldOutline(c, r, k, st); break;
    case rsSharpShield: DrawSharpShieldOutline(c, r, k, st); break;
    case rsDiamond: DrawDiamondOutline(c, r, k, st); break;
    case rsOctagon: DrawOctagonOutline(c, r, k, st); break;
    case rsComb: DrawCombOutline(c, r, k, st); break;
    case rsHalfRound: DrawHalfRoundOutline(c, r, k, st); break;
    case rsThinkBubble: DrawThinkBubbleOutline(c, r, bubbleSize, s.Bubbles, s.ExtPos, k, st); break;
    case rsRoundThinkBubble:
      DrawRoundThinkBubbleOutline(c, r, bubbleSize, s.Bubbles, s.RoundX, s.RoundY, s.ExtPos, k, st);
      break;
    case rsEllipticThinkBubble: DrawEllipticThinkBubbleOutline(c, r, bubbleSize, s.Bubbles, s.ExtPos, k, st); break;
    case rsPointList: DrawPointListOutline(c, points, k, st); break;
  }
}
