#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/zeloutline.h"

namespace {

using plat::Rect;
using plat::TColor;
using plat::TPoint;
using plat::TRect;

constexpr TColor kLight = 0x0000FF, kShadow = 0x00FF00, kSingle = 0xFF0000;
const TZelBorderColors kColors{kLight, kShadow, kSingle};

// Writes down every drawing call as text, with the pen it is drawn with.
class Recorder : public TZelOutlineCanvas {
public:
  std::vector<std::string> ops;
  std::vector<TColor> colors;
  std::vector<int> widths;

  void SetPenColor(TColor c) override { pen_ = c; }
  void SetPenWidth(int w) override { width_ = w; }
  void SetPenSolid() override {}
  void MoveTo(int x, int y) override { at_ = {x, y}; }
  void LineTo(int x, int y) override {
    Add("line " + P(at_) + " " + P({x, y}));
    at_ = {x, y};
  }
  void Polygon(const std::vector<TPoint>& pts) override {
    std::string s = "polygon";
    for (auto p : pts) s += " " + P(p);
    Add(s);
  }
  void Ellipse(int l, int t, int r, int b) override { Add("ellipse " + R({l, t, r, b})); }
  void RoundRect(int l, int t, int r, int b, int rx, int ry) override {
    Add("roundrect " + R({l, t, r, b}) + " " + std::to_string(rx) + "x" + std::to_string(ry));
  }
  void Arc(int l, int t, int r, int b, int x3, int y3, int x4, int y4) override {
    Add("arc " + R({l, t, r, b}) + " " + P({x3, y3}) + " " + P({x4, y4}));
  }
  void ExcludeClipRect(const TRect& r) override { Add("exclude " + R(r)); }

  // The drawing calls made in one colour (clipping left out).
  std::vector<std::string> In(TColor c) const {
    std::vector<std::string> out;
    for (size_t i = 0; i < ops.size(); ++i)
      if (colors[i] == c && !Clip(i)) out.push_back(ops[i]);
    return out;
  }
  // The drawing calls tagged with their colour (L, S, 1), clipping untagged.
  std::vector<std::string> Tagged(bool swapLightShadow = false) const {
    std::vector<std::string> out;
    for (size_t i = 0; i < ops.size(); ++i) {
      TColor c = colors[i];
      if (swapLightShadow) c = c == kLight ? kShadow : c == kShadow ? kLight : c;
      out.push_back((Clip(i) ? "" : Tag(c)) + ops[i]);
    }
    return out;
  }
  std::vector<std::string> Swapped() const { return Tagged(true); }

private:
  static std::string P(TPoint p) { return std::to_string(p.X) + "," + std::to_string(p.Y); }
  static std::string R(TRect r) { return P(r.TopLeft()) + "-" + P(r.BottomRight()); }
  static std::string Tag(TColor c) { return c == kLight ? "L " : c == kShadow ? "S " : c == kSingle ? "1 " : "? "; }
  bool Clip(size_t i) const { return ops[i].rfind("exclude", 0) == 0; }
  void Add(const std::string& s) {
    ops.push_back(s);
    colors.push_back(pen_);
    widths.push_back(width_);
  }
  TPoint at_;
  TColor pen_ = 0;
  int width_ = 2;
};

Recorder Draw(TZelRegionShape shape, TZelOutlineStyle st, TRect r = Rect(0, 0, 100, 60), std::vector<TPoint> pts = {}) {
  TZelShapeSpec spec;
  spec.Shape = shape;
  Recorder rec;
  DrawShapeOutline(rec, spec, r, pts, kColors, st);
  return rec;
}

const std::vector<TPoint> kTriangle{{10, 10}, {50, 10}, {30, 40}};

}  // namespace

TEST(RegionOutline, NoneDrawsNothingAndLoweredIsRaisedWithColoursExchanged) {
  for (int s = rsRect; s <= rsPointList; ++s) {
    const auto shape = TZelRegionShape(s);
    Recorder none = Draw(shape, rbNone, Rect(0, 0, 100, 60), kTriangle);
    if (shape == rsPointList) {
      // The point list has no rbNone case: it draws its raised edges.
      EXPECT_EQ(none.Tagged(), Draw(shape, rbRaised, Rect(0, 0, 100, 60), kTriangle).Tagged());
      continue;
    }
    EXPECT_TRUE(none.In(kLight).empty() && none.In(kShadow).empty() && none.In(kSingle).empty()) << s;
    const std::pair<TZelOutlineStyle, TZelOutlineStyle> pairs[] = {
        {rbRaised, rbLowered}, {rbSingleRaised, rbSingleLowered}, {rbRaisedpsb, rbLoweredpsb}};
    for (auto [raised, lowered] : pairs) {
      Recorder up = Draw(shape, raised, Rect(0, 0, 100, 60), kTriangle);
      Recorder down = Draw(shape, lowered, Rect(0, 0, 100, 60), kTriangle);
      EXPECT_EQ(up.Swapped(), down.Tagged()) << "shape " << s << " style " << raised;
      if (shape != rsBitmap && shape != rsUserRegion) {
        EXPECT_FALSE(up.ops.empty()) << s;
      }
    }
  }
}

TEST(RegionOutline, RectangleParts) {
  // Raised with the shadow bands of psb: top and left light, bottom and right in the single
  // colour, and a bottom and right line one pixel inside in the shadow colour.
  Recorder psb = Draw(rsRect, rbRaisedpsb, Rect(10, 20, 110, 80));
  EXPECT_EQ(psb.Tagged(),
            (std::vector<std::string>{"L line 110,20 10,20", "L line 10,20 10,80", "1 line 10,80 110,80",
                                      "1 line 110,80 110,20", "S line 11,79 109,79", "S line 109,79 109,21"}));
  // Single: the closed rectangle through the four corners.
  EXPECT_EQ(Draw(rsRect, rbSingle, Rect(10, 20, 110, 80)).Tagged(),
            (std::vector<std::string>{"1 line 10,20 110,20", "1 line 110,20 110,80", "1 line 110,80 10,80",
                                      "1 line 10,80 10,20"}));
  // Single raised: the outline, then the bevel one pixel inside.
  Recorder sr = Draw(rsRect, rbSingleRaised, Rect(10, 20, 110, 80));
  ASSERT_EQ(sr.ops.size(), 8u);
  EXPECT_EQ(sr.Tagged()[4], "L line 109,21 11,21");
}

TEST(RegionOutline, StarDiamondAndRoundRectangle) {
  const TRect r = Rect(0, 0, 100, 100);
  auto at = [](TRect q) { return StarPoints(q); };
  // Star: the bevel of rbSingleRaised on the rectangle less 2; the psb inner part on it less 3.
  Recorder sr = Draw(rsStar, rbSingleRaised, r);
  ASSERT_EQ(sr.ops.size(), 11u);
  auto p2 = at(Rect(2, 2, 98, 98));
  EXPECT_EQ(sr.ops[1], "line " + std::to_string(p2[0].X) + "," + std::to_string(p2[0].Y) + " " +
                           std::to_string(p2[1].X) + "," + std::to_string(p2[1].Y));
  // Edge P0-P1 is a shadow edge, P1-P2 a light one, P9-P0 light.
  EXPECT_EQ(sr.Tagged()[1].substr(0, 2), "S ");
  EXPECT_EQ(sr.Tagged()[2].substr(0, 2), "L ");
  EXPECT_EQ(sr.Tagged()[10].substr(0, 2), "L ");
  Recorder psb = Draw(rsStar, rbRaisedpsb, r);
  auto p3 = at(Rect(3, 3, 97, 97));
  std::vector<std::string> inner = psb.In(kShadow);
  ASSERT_EQ(inner.size(), 5u);  // P0-P1, P2-P3, P4-P5-P6, P7-P8
  EXPECT_EQ(inner[0], "line " + std::to_string(p3[0].X) + "," + std::to_string(p3[0].Y) + " " +
                          std::to_string(p3[1].X) + "," + std::to_string(p3[1].Y));

  // Diamond psb: the inner line runs along the two right-hand edges, S -> E -> N.
  Recorder dia = Draw(rsDiamond, rbRaisedpsb, r);
  EXPECT_EQ(dia.In(kShadow), (std::vector<std::string>{"line 50,99 99,50", "line 99,50 50,1"}));

  // Rounded rectangle raised: the whole rounded rectangle in the light colour, 2 wide, then the
  // lower and right stretch 4 wide in the shadow colour, from the bottom-left corner's 45 degree
  // point to the top-right one's.
  Recorder rr = Draw(rsRoundRect, rbRaised, Rect(0, 0, 100, 60));
  EXPECT_EQ(rr.Tagged(), (std::vector<std::string>{"L roundrect 0,0-100,60 20x20", "S arc 0,40-20,60 0,60 10,60",
                                                   "S line 10,60 90,60", "S arc 80,40-100,60 90,60 100,50",
                                                   "S line 100,50 100,10", "S arc 80,0-100,20 100,10 100,0"}));
  EXPECT_EQ(rr.widths.front(), 2);
  EXPECT_EQ(rr.widths.back(), 4);
  // Its single-raised bevel lies 1 in at the left and top, 3 at the right and bottom.
  EXPECT_EQ(Draw(rsRoundRect, rbSingleRaised, Rect(0, 0, 100, 60)).In(kLight),
            (std::vector<std::string>{"roundrect 1,1-97,57 20x20"}));
}

TEST(RegionOutline, ShieldsAndEllipses) {
  // Both top scallops light, both sides of the body shadow.
  for (TZelRegionShape s : {rsRoundShield, rsSharpShield}) {
    Recorder rec = Draw(s, rbRaised, Rect(0, 0, 100, 100));
    std::vector<std::string> light = rec.In(kLight), shadow = rec.In(kShadow);
    EXPECT_EQ(light, (std::vector<std::string>{"arc -50,-20-50,20 0,20 50,0", "arc 50,-20-150,20 50,0 100,20"}));
    ASSERT_EQ(shadow.size(), 2u) << s;
  }
  EXPECT_EQ(Draw(rsSharpShield, rbRaised, Rect(0, 0, 100, 100)).In(kShadow),
            (std::vector<std::string>{"arc 0,-114-200,114 0,20 50,100", "arc -100,-114-100,114 50,100 0,20"}));
  // The half round takes its arcs from the ellipse whose centre is on the top edge.
  EXPECT_EQ(Draw(rsHalfRound, rbRaised, Rect(0, 10, 80, 50)).Tagged(),
            (std::vector<std::string>{"L arc 0,-30-80,50 80,10 0,50", "S arc 0,-30-80,50 0,50 80,10"}));
}

TEST(RegionOutline, NosesAndBubblesWorkThroughTheClipping) {
  // The nose's base (grown by 2) is cut out of the clipping, then the body is outlined.
  Recorder nose = Draw(rsNoseRect, rbSingle, Rect(0, 0, 200, 100));
  ASSERT_FALSE(nose.ops.empty());
  EXPECT_EQ(nose.ops[0], "exclude 18,23-22,55");
  EXPECT_EQ(nose.ops[1], "line 20,20 200,20");
  EXPECT_EQ(Draw(rsRoundNoseRect, rbSingle, Rect(0, 0, 200, 100)).ops[0], "exclude 16,36-24,72");

  // Six bubbles, each outlined and then clipped away, before the body on the shrunk rectangle.
  Recorder bub = Draw(rsThinkBubble, rbSingle, Rect(0, 0, 240, 120));
  TRect body = Rect(0, 0, 240, 120);
  auto trail = ComputeBubbleTrail(body, 40, 4, epLeftTop);
  ASSERT_EQ(trail.size(), 6u);
  EXPECT_EQ(trail[0].Diameter, 0);
  EXPECT_EQ(trail[0].X, 0);
  EXPECT_EQ(trail[0].Y, 0);
  std::vector<std::string> excludes;
  for (const auto& op : bub.ops)
    if (op.rfind("exclude", 0) == 0) excludes.push_back(op);
  EXPECT_EQ(excludes.size(), 6u);
  EXPECT_EQ(bub.ops.back(), "line 40,120 40,40");
  EXPECT_EQ(bub.In(kSingle).size(), 6u + 4u);
}

TEST(RegionOutline, PointListColoursEachEdgeByItsDirection) {
  // Right: light; down-left: shadow (left wins over down... and up-left too); back up-left: shadow.
  Recorder tri = Draw(rsPointList, rbRaised, {}, kTriangle);
  EXPECT_EQ(tri.Tagged(), (std::vector<std::string>{"L line 10,10 50,10", "S line 50,10 30,40", "S line 30,40 10,10"}));
  // Straight up is light, straight down shadow; an edge that does not move keeps the colour.
  Recorder box = Draw(rsPointList, rbRaised, {}, {{0, 10}, {0, 0}, {0, 0}, {10, 0}, {10, 10}});
  EXPECT_EQ(box.Tagged(), (std::vector<std::string>{"L line 0,10 0,0", "L line 0,0 0,0", "L line 0,0 10,0",
                                                    "S line 10,0 10,10", "S line 10,10 0,10"}));
  // Single: every edge in the single colour; an empty list draws nothing.
  for (const auto& op : Draw(rsPointList, rbSingle, {}, kTriangle).Tagged()) EXPECT_EQ(op.substr(0, 2), "1 ");
  EXPECT_TRUE(Draw(rsPointList, rbRaised, {}, {}).ops.empty());
}
