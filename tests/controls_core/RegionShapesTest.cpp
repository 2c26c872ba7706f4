#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "controls/zelshape.h"

namespace {

using plat::Rect;
using plat::TPoint;
using plat::TRect;

// Every pixel of the box, checked against a predicate of the same pixel.
void ExpectPixels(const TZelRgn& r, TRect box, const std::function<bool(int, int)>& want, const char* what) {
  int wrong = 0;
  for (int y = box.Top; y < box.Bottom; ++y)
    for (int x = box.Left; x < box.Right; ++x)
      if (r.Contains(x, y) != want(x, y) && ++wrong < 4) ADD_FAILURE() << what << " at " << x << "," << y;
  EXPECT_EQ(wrong, 0) << what;
}

bool Within(const TZelRgn& r, TRect box) {
  TRect b = r.Bounds();
  return b.Left >= box.Left && b.Top >= box.Top && b.Right <= box.Right && b.Bottom <= box.Bottom;
}

}  // namespace

TEST(RegionSet, PixelRulesOfThePrimitives) {
  // A polygon through a rectangle's corners is that rectangle: right and bottom edges outside.
  EXPECT_EQ(TZelRgn::FromPolygon({{2, 3}, {12, 3}, {12, 9}, {2, 9}}), TZelRgn::FromRect(Rect(2, 3, 12, 9)));
  EXPECT_EQ(TZelRgn::FromRect(Rect(2, 3, 12, 9)).Rects(), (std::vector<TRect>{Rect(2, 3, 12, 9)}));
  // Boxes given corner first or last are the same box.
  EXPECT_EQ(TZelRgn::FromEllipse(Rect(40, 30, 0, 0)), TZelRgn::FromEllipse(Rect(0, 0, 40, 30)));

  // Ellipses are symmetric in their box and fill it edge to edge.
  for (TRect box : {Rect(0, 0, 40, 30), Rect(-7, 3, 18, 4), Rect(5, 5, 6, 17), Rect(0, 0, 101, 57)}) {
    TZelRgn e = TZelRgn::FromEllipse(box);
    EXPECT_EQ(e.Bounds(), box);
    ExpectPixels(
        e, box, [&](int x, int y) { return e.Contains(box.Left + box.Right - 1 - x, y); }, "mirror x");
    ExpectPixels(
        e, box, [&](int x, int y) { return e.Contains(x, box.Top + box.Bottom - 1 - y); }, "mirror y");
  }
  TZelRgn big = TZelRgn::FromEllipse(Rect(0, 0, 400, 200));
  EXPECT_NEAR(double(big.Area()), M_PI * 200 * 100, 400.0);
  EXPECT_TRUE(TZelRgn::FromEllipse(Rect(3, 3, 3, 9)).Empty());

  // A pentagram drawn in one stroke: the alternate rule leaves its middle out.
  std::vector<TPoint> star;
  for (int k = 0; k < 5; ++k) {
    const double a = (90 + 144 * k) * M_PI / 180;
    star.push_back({int(std::lround(100 + 90 * std::cos(a))), int(std::lround(100 - 90 * std::sin(a)))});
  }
  TZelRgn pentagram = TZelRgn::FromPolygon(star);
  EXPECT_FALSE(pentagram.Contains(100, 100));
  EXPECT_TRUE(pentagram.Contains(100, 20));  // the top point's arm
  EXPECT_TRUE(TZelRgn::FromPolygon({{0, 0}, {10, 10}}).Empty());

  // Round corners cut the corner pixels only; a rounding larger than the rectangle is an ellipse.
  TZelRgn rr = TZelRgn::FromRoundRect(Rect(0, 0, 60, 40), 20, 20);
  EXPECT_FALSE(rr.Contains(0, 0));
  EXPECT_TRUE(rr.Contains(30, 0));
  EXPECT_TRUE(rr.Contains(0, 20));
  EXPECT_TRUE(rr.Contains(10, 10));
  EXPECT_EQ(TZelRgn::FromRoundRect(Rect(0, 0, 60, 40), 500, 500), TZelRgn::FromEllipse(Rect(0, 0, 60, 40)));
  EXPECT_EQ(TZelRgn::FromRoundRect(Rect(0, 0, 60, 40), 1, 0), TZelRgn::FromRect(Rect(0, 0, 60, 40)));
}

TEST(RegionSet, CombiningAgreesWithThePixelsOfItsParts) {
  // Random shapes combined every way; each result is checked pixel by pixel against its parts,
  // and equal sets of pixels must be equal regions (one band form per set).
  std::mt19937 rng(7);
  auto any = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto shape = [&]() {
    TRect r = Rect(any(-5, 40), any(-5, 40), 0, 0);
    r.Right = r.Left + any(1, 40);
    r.Bottom = r.Top + any(1, 40);
    switch (any(0, 3)) {
      case 0: return TZelRgn::FromRect(r);
      case 1: return TZelRgn::FromEllipse(r);
      case 2: return TZelRgn::FromRoundRect(r, any(0, 30), any(0, 30));
      default:
        return TZelRgn::FromPolygon({{any(-5, 80), any(-5, 80)},
                                     {any(-5, 80), any(-5, 80)},
                                     {any(-5, 80), any(-5, 80)},
                                     {any(-5, 80), any(-5, 80)}});
    }
  };
  const TRect field = Rect(-10, -10, 90, 90);
  for (int round = 0; round < 60; ++round) {
    TZelRgn a = shape(), b = shape() | shape();
    ExpectPixels(
        a | b, field, [&](int x, int y) { return a.Contains(x, y) || b.Contains(x, y); }, "or");
    ExpectPixels(
        a & b, field, [&](int x, int y) { return a.Contains(x, y) && b.Contains(x, y); }, "and");
    ExpectPixels(
        a - b, field, [&](int x, int y) { return a.Contains(x, y) && !b.Contains(x, y); }, "diff");
    ExpectPixels(
        a ^ b, field, [&](int x, int y) { return a.Contains(x, y) != b.Contains(x, y); }, "xor");
    EXPECT_EQ((a | b).Area(), a.Area() + b.Area() - (a & b).Area());
    EXPECT_EQ(a ^ b, (a | b) - (a & b));
    EXPECT_EQ(TZelRgn::FromRects((a | b).Rects()), a | b);
    EXPECT_EQ(TZelRgn::FromRegionData((a - b).RegionData()), a - b);
    TZelRgn moved = a.Moved(3, -4);
    ExpectPixels(
        moved, field, [&](int x, int y) { return a.Contains(x - 3, y + 4); }, "moved");
  }
  // Two halves side by side are one rectangle.
  EXPECT_EQ(TZelRgn::FromRects({Rect(0, 0, 5, 9), Rect(5, 0, 10, 9)}), TZelRgn::FromRect(Rect(0, 0, 10, 9)));
  EXPECT_TRUE((TZelRgn::FromRect(Rect(0, 0, 5, 5)) - TZelRgn::FromRect(Rect(-1, -1, 6, 6))).Empty());
}

TEST(RegionSet, SizesBeyondTheLimitsStayBounded) {
  // A damaged size must not make millions of bands or overflow the arithmetic.
  TZelRgn huge = TZelRgn::FromEllipse(Rect(-2000000000, -2000000000, 2000000000, 2000000000));
  EXPECT_TRUE(Within(huge, Rect(-kZelRgnLimit, -kZelRgnLimit, kZelRgnLimit, kZelRgnLimit)));
  EXPECT_TRUE(huge.Contains(0, 0));
  TZelRgn tall = TZelRgn::FromPolygon({{0, -2000000000}, {2000000000, 2000000000}, {-5, 2000000000}});
  EXPECT_LE(tall.Bounds().Bottom, kZelRgnLimit);
  EXPECT_TRUE(tall.Contains(0, 0));
  TZelRgn r = TZelRgn::FromRect(Rect(0, 0, 10, 10));
  r.Offset(2 * kZelRgnLimit, 0);
  EXPECT_TRUE(r.Empty());
}

TEST(ShapeGeometry, PointsOfTheStraightShapes) {
  // round() takes ties to the even neighbour: 0.65 * 10 = 6.5 -> 6, 0.35 * 10 = 3.5 -> 4,
  // 0.15 * 10 = 1.5 -> 2, 0.85 * 10 = 8.5 -> 8; 0.75 * 50 = 37.5 -> 38, 0.38 * 50 = 19.
  auto star = StarPoints(Rect(100, 200, 110, 250));
  const std::array<TPoint, 10> want{{{105, 200},
                                     {106, 219},
                                     {110, 219},
                                     {107, 230},
                                     {108, 250},
                                     {105, 238},
                                     {102, 250},
                                     {103, 230},
                                     {100, 219},
                                     {104, 219}}};
  EXPECT_EQ(star, want);
  // (W div 3) * 2, not (2 W) div 3.
  auto oct = OctagonPoints(Rect(0, 0, 100, 50));
  EXPECT_EQ(oct[0], (TPoint{66, 0}));
  EXPECT_EQ(oct[3], (TPoint{0, 32}));
  auto comb = CombPoints(Rect(0, 0, 100, 50));
  EXPECT_EQ(comb[2], (TPoint{0, 36}));
  EXPECT_EQ(DiamondPoints(Rect(0, 0, 101, 51))[3], (TPoint{101, 25}));
  EXPECT_EQ(ZelRoundRatio(-5, 2), -2);
  EXPECT_EQ(ZelRoundRatio(7, 2), 4);
  EXPECT_EQ(ZelRound(2.5), 2);
  EXPECT_EQ(ZelRound(std::nan("")), 0);
}

TEST(ShapeGeometry, NoseTrianglesAtEveryPlace) {
  const TRect r = Rect(0, 0, 200, 100);
  struct Want {
    TZelExtPos pos;
    TRect body;
    TZelNose nose;
  } wants[] = {
      {epLeftTop, Rect(20, 20, 200, 100), {{0, 0}, {20, 25}, {20, 53}}},
      {epTopLeft, Rect(20, 20, 200, 100), {{0, 0}, {25, 20}, {53, 20}}},
      {epTopRight, Rect(0, 20, 180, 100), {{200, 0}, {175, 20}, {147, 20}}},
      {epRightTop, Rect(0, 20, 180, 100), {{200, 0}, {180, 25}, {180, 53}}},
      {epRightBottom, Rect(0, 0, 180, 80), {{200, 100}, {180, 75}, {180, 47}}},
      {epBottomRight, Rect(0, 0, 180, 80), {{200, 100}, {175, 80}, {147, 80}}},
      {epBottomLeft, Rect(20, 0, 200, 80), {{0, 100}, {25, 80}, {53, 80}}},
      {epLeftBottom, Rect(20, 0, 200, 80), {{0, 100}, {20, 75}, {20, 47}}},
  };
  for (const Want& w : wants) {
    TRect body = r;
    TZelNose n = ComputeNoseTriangle(body, 20, w.pos, 5);  // q = round(sqrt(800)) = 28
    EXPECT_EQ(body, w.body) << w.pos;
    EXPECT_EQ(n.Tip, w.nose.Tip) << w.pos;
    EXPECT_EQ(n.P1, w.nose.P1) << w.pos;
    EXPECT_EQ(n.P2, w.nose.P2) << w.pos;
  }
  EXPECT_EQ(RoundNoseMargin(epLeftTop, 10, 30), 30);
  EXPECT_EQ(RoundNoseMargin(epTopLeft, 10, 30), 10);
  EXPECT_EQ(RoundNoseMargin(epBottomRight, 10, 30), 10);
  EXPECT_EQ(RoundNoseMargin(epRightBottom, 10, 30), 30);
}

TEST(ShapeGeometry, BubbleTrailsRunFromTheCornerToTheBody) {
  const TRect r = Rect(0, 0, 240, 120);
  for (int p = epLeftTop; p <= epLeftBottom; ++p) {
    const auto pos = TZelExtPos(p);
    TRect body = r;
    auto trail = ComputeBubbleTrail(body, 40, 4, pos);
    ASSERT_EQ(trail.size(), 6u);
    // The first has no size and sits on the unshrunk rectangle's corner, the last is centred on
    // the body's corner; they grow toward the body.
    const bool left = pos == epLeftTop || pos == epTopLeft || pos == epBottomLeft || pos == epLeftBottom;
    const bool top = pos == epLeftTop || pos == epTopLeft || pos == epTopRight || pos == epRightTop;
    EXPECT_EQ(trail.front().Diameter, 0);
    EXPECT_NEAR(trail.front().X, left ? r.Left : r.Right, 1) << p;
    EXPECT_NEAR(trail.front().Y, top ? r.Top : r.Bottom, 1) << p;
    EXPECT_NEAR(trail.back().X, left ? body.Left : body.Right, 1) << p;
    EXPECT_NEAR(trail.back().Y, top ? body.Top : body.Bottom, 1) << p;
    for (size_t j = 1; j < trail.size(); ++j) EXPECT_GE(trail[j].Diameter, trail[j - 1].Diameter);
    EXPECT_EQ(trail.back().Diameter, ZelRound(5 * 40 * 2 * M_PI / 4 / 16));
  }
  // No bubbles is taken as one, never a division by zero.
  TRect body = r;
  auto one = ComputeBubbleTrail(body, 40, 0, epLeftTop);
  ASSERT_EQ(one.size(), 3u);
  EXPECT_GT(one.back().Diameter, 0);
}

TEST(ShapeGeometry, EveryShapeStaysInItsRectangle) {
  const TRect r = Rect(10, 20, 250, 170);
  TZelRgn data = TZelRgn::FromRect(Rect(0, 0, 3, 3));
  for (int s = rsRect; s <= rsPointList; ++s) {
    for (int p = epLeftTop; p <= epLeftBottom; ++p) {
      TZelShapeSpec spec;
      spec.Shape = TZelRegionShape(s);
      spec.ExtPos = TZelExtPos(p);
      spec.Data = &data;
      TZelRgn rgn = BuildShapeRgn(spec, r);
      if (s == rsBitmap || s == rsUserRegion || s == rsPointList) {
        EXPECT_EQ(rgn, data);
        spec.Data = nullptr;
        EXPECT_TRUE(BuildShapeRgn(spec, r).Empty());
        continue;
      }
      ASSERT_FALSE(rgn.Empty()) << s;
      // The half round's upper half lies above its rectangle, where a window shows nothing.
      TRect allowed = s == rsHalfRound ? Rect(r.Left, 2 * r.Top - r.Bottom, r.Right, r.Bottom) : r;
      EXPECT_TRUE(Within(rgn, allowed)) << "shape " << s << " at " << p;
      EXPECT_TRUE(rgn.Contains(r.Left + r.Width() / 2, r.Top + r.Height() / 2)) << s;
      EXPECT_TRUE(BuildShapeRgn(spec, Rect(5, 5, 5, 50)).Empty());
    }
  }
  // The shields are cut at the top, scalloped at both top corners and symmetric.
  TZelShapeSpec shield;
  for (TZelRegionShape s : {rsRoundShield, rsSharpShield}) {
    shield.Shape = s;
    TZelRgn rgn = BuildShapeRgn(shield, Rect(0, 0, 100, 100));
    EXPECT_GE(rgn.Bounds().Top, 0);
    EXPECT_LT(rgn.Bounds().Top, 20);
    EXPECT_FALSE(rgn.Contains(0, 5));
    EXPECT_FALSE(rgn.Contains(99, 5));
    EXPECT_TRUE(rgn.Contains(50, 30));
    ExpectPixels(
        rgn, Rect(0, 0, 100, 100), [&](int x, int y) { return rgn.Contains(99 - x, y); }, "shield");
  }
  // A nose (tip 0, 0, base 20, 25 to 20, 53) joins its body.
  TZelShapeSpec nose;
  nose.Shape = rsNoseRect;
  TZelRgn nr = BuildShapeRgn(nose, Rect(0, 0, 200, 100));
  EXPECT_TRUE(nr.Contains(6, 10));
  EXPECT_TRUE(nr.Contains(15, 30));
  EXPECT_FALSE(nr.Contains(15, 10));
  EXPECT_FALSE(nr.Contains(10, 80));
  EXPECT_TRUE(nr.Contains(20, 20));
}

TEST(ShapeGeometry, ShadowsAreCastRightAndDown) {
  TZelShapeSpec spec;
  spec.Shape = rsElliptic;
  const TRect r = Rect(0, 0, 100, 60);
  TZelShapeRegions plain = BuildShapeRegions(spec, r, 0);
  EXPECT_EQ(plain.Rect, r);
  EXPECT_TRUE(plain.Shadow.Empty());
  EXPECT_EQ(plain.Whole, plain.Body);

  TZelShapeRegions cast = BuildShapeRegions(spec, r, 6);
  EXPECT_EQ(cast.Rect, Rect(0, 0, 94, 54));
  EXPECT_EQ(cast.Body, TZelRgn::FromEllipse(Rect(0, 0, 94, 54)));
  EXPECT_TRUE((cast.Shadow & cast.Body).Empty());
  EXPECT_EQ(cast.Whole, cast.Body | cast.Shadow);
  EXPECT_EQ(cast.Whole.Bounds(), r);
  EXPECT_TRUE(cast.Shadow.Contains(96, 40));
  EXPECT_FALSE(cast.Shadow.Contains(3, 10));
}
