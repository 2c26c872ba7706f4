// The gallery's region shapes: every shape with its border, the eight border styles, shadows.
#include "regions.h"

#include <string>

#include "controls/zelregion.h"
#include "platform/ui/graphics.h"

using plat::TCanvas;
using plat::TRect;

namespace {

void Caption(TCanvas& c, int x, int y, const std::string& text, int height = -11, bool bold = false) {
  c.Brush()->SetStyle(plat::bsClear);
  c.Font()->SetName("Arial");
  c.Font()->SetHeight(height);
  c.Font()->SetStyle(bold ? plat::fsBold : 0);
  c.Font()->SetColor(plat::clBlack);
  c.TextOut(x, y, text);
}

// The shape filled in its region, then its shadow and border, in a cell whose top-left is the
// canvas origin for the time of the drawing; clipped to the region, as a shaped window is.
void Shape(TCanvas& c, int x, int y, int w, int h, TZelBorderRegion& region) {
  c.SetOrigin(x, y);
  const TRect cell = plat::Rect(0, 0, w, h);
  const plat::TRegion window(ZelRgnToQRegion(region.BuildRegion(cell) & TZelRgn::FromRect(cell)));
  c.SelectClipRgn(&window);
  c.Brush()->SetStyle(plat::bsSolid);
  c.Brush()->SetColor(plat::TColor(0xE8F4FF));
  c.FillRgn(plat::TRegion(ZelRgnToQRegion(region.LastBuild().Body)));
  region.PaintBorder(c, cell);
  c.SetOrigin(0, 0);
  c.SelectClipRgn(nullptr);
}

}  // namespace

int RegionShapes(TCanvas& c, int y) {
  Caption(c, 10, y, "Region shapes (raised border; nose and bubbles point to the left top)", -14, true);
  y += 22;
  static const char* const names[] = {"Rect", "RoundRect", "Bitmap (none)", "NoseRect", "RoundNoseRect",
                                      "Elliptic", "Star", "RoundShield", "SharpShield", "Diamond",
                                      "Octagon", "Comb", "HalfRound", "UserRegion", "ThinkBubble",
                                      "RoundThinkBubble", "EllipticThinkBubble", "PointList"};
  for (int s = 0; s < 18; ++s) {
    TZelBorderRegion region;
    region.SetShape(TZelRegionShape(s));
    region.Border()->SetStyle(rbRaised);
    if (s == rsUserRegion)
      region.SetUserRegion(TZelRgn::FromRect(plat::Rect(10, 10, 50, 70)) |
                           TZelRgn::FromEllipse(plat::Rect(30, 20, 140, 60)));
    if (s == rsPointList)
      for (plat::TPoint p : {plat::TPoint{10, 10}, {140, 30}, {100, 70}, {60, 40}, {20, 70}}) region.Points()->Add(p);
    const int col = s % 6, row = s / 6;
    Shape(c, 10 + col * 164, y + row * 104, 150, 80, region);
    Caption(c, 10 + col * 164, y + row * 104 + 84, names[s]);
  }
  y += 3 * 104 + 4;

  Caption(c, 10, y, "Border styles on a star and a rounded rectangle; shadows", -14, true);
  y += 22;
  static const char* const styles[] = {"None", "Lowered", "Raised", "Single", "SingleRaised",
                                       "SingleLowered", "Raisedpsb", "Loweredpsb"};
  for (int s = 0; s < 8; ++s) {
    TZelBorderRegion star, round;
    star.SetShape(rsStar);
    star.Border()->SetStyle(TZelRegionBorderStyle(s));
    Shape(c, 10 + s * 123, y, 90, 80, star);
    round.SetShape(rsRoundRect);
    round.Border()->SetStyle(TZelRegionBorderStyle(s));
    Shape(c, 10 + s * 123, y + 104, 110, 60, round);
    Caption(c, 10 + s * 123, y + 84, styles[s]);
  }
  y += 104 + 64 + 6;
  const struct {
    TZelRegionShape shape;
    TZelShadowStyle style;
    const char* name;
  } shadows[] = {{rsElliptic, hssSolid, "solid shadow"},
                 {rsOctagon, hssTracing, "tracing shadow"},
                 {rsRoundThinkBubble, hssSolid, "bubbles, right bottom"},
                 {rsRoundNoseRect, hssTracing, "nose, bottom right"}};
  int x = 10;
  for (const auto& s : shadows) {
    TZelBorderRegion region;
    region.SetShape(s.shape);
    region.SetExtPos(s.shape == rsRoundThinkBubble ? epRightBottom : epBottomRight);
    region.Shadow()->SetStyle(s.style);
    region.Shadow()->SetColor(plat::clGray);
    region.Shadow()->SetDepth(8);
    region.Border()->SetStyle(rbSingleRaised);
    Shape(c, x, y, 200, 100, region);
    Caption(c, x, y + 104, s.name);
    x += 230;
  }
  return y + 124;
}
