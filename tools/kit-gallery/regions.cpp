// The gallery's region shapes (every shape with its border, the eight border styles, shadows)
// and image controls (placement styles, transparency rules, background effects).
#include "regions.h"

#include <QApplication>
#include <string>

#include "controls/zelimage.h"
#include "controls/zelregion.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/forms.h"
#include "platform/ui/graphics.h"

using plat::TCanvas;
using plat::TRect;

namespace {

// The shape filled in its region, then its shadow and border, in a cell whose top-left is the
// canvas origin for the time of the drawing; clipped to the region, as a shaped window is.
void Shape(TCanvas& c, int x, int y, int w, int h, TZelBorderRegion& region) {
  c.SetOrigin(x, y);
  const TRect cell = plat::Rect(0, 0, w, h);
  const plat::TRegion window = ZelRgnToRegion(region.BuildRegion(cell) & TZelRgn::FromRect(cell));
  c.SelectClipRgn(&window);
  c.Brush()->SetStyle(plat::bsSolid);
  c.Brush()->SetColor(plat::TColor(0xE8F4FF));
  c.FillRgn(ZelRgnToRegion(region.LastBuild().Body));
  region.PaintBorder(c, cell);
  c.SetOrigin(0, 0);
  c.SelectClipRgn(nullptr);
}

}  // namespace

int RegionShapes(TCanvas& c, int y) {
  Label(c, 10, y, "Region shapes (raised border; nose and bubbles point to the left top)", -14, true);
  y += 22;
  static const char* const names[] = {"Rect",
                                      "RoundRect",
                                      "Bitmap (none)",
                                      "NoseRect",
                                      "RoundNoseRect",
                                      "Elliptic",
                                      "Star",
                                      "RoundShield",
                                      "SharpShield",
                                      "Diamond",
                                      "Octagon",
                                      "Comb",
                                      "HalfRound",
                                      "UserRegion",
                                      "ThinkBubble",
                                      "RoundThinkBubble",
                                      "EllipticThinkBubble",
                                      "PointList"};
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
    Label(c, 10 + col * 164, y + row * 104 + 84, names[s]);
  }
  y += 3 * 104 + 4;

  Label(c, 10, y, "Border styles on a star and a rounded rectangle; shadows", -14, true);
  y += 22;
  static const char* const styles[] = {"None",         "Lowered",       "Raised",    "Single",
                                       "SingleRaised", "SingleLowered", "Raisedpsb", "Loweredpsb"};
  for (int s = 0; s < 8; ++s) {
    TZelBorderRegion star, round;
    star.SetShape(rsStar);
    star.Border()->SetStyle(TZelRegionBorderStyle(s));
    Shape(c, 10 + s * 123, y, 90, 80, star);
    round.SetShape(rsRoundRect);
    round.Border()->SetStyle(TZelRegionBorderStyle(s));
    Shape(c, 10 + s * 123, y + 104, 110, 60, round);
    Label(c, 10 + s * 123, y + 84, styles[s]);
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
    Label(c, x, y + 104, s.name);
    x += 230;
  }
  return y + 124;
}

namespace {

// A 40 x 30 picture: a red disc with a yellow bar on fuchsia, which the rules take as see-through.
void MakePicture(plat::TBitmap& b) {
  b.SetSize(40, 30);
  b.SetPixelFormat(plat::pf24bit);
  TCanvas& c = *b.Canvas();
  c.Brush()->SetStyle(plat::bsSolid);
  c.Brush()->SetColor(plat::clFuchsia);
  c.FillRect(plat::Rect(0, 0, 40, 30));
  c.Brush()->SetColor(plat::clRed);
  c.Pen()->SetColor(plat::clMaroon);
  c.Ellipse(4, 2, 36, 28);
  c.Brush()->SetColor(plat::clYellow);
  c.FillRect(plat::Rect(8, 12, 32, 18));
}

}  // namespace

int ImageControls(TCanvas& c, int y) {
  Label(c, 10, y, "Image controls: placement styles, transparency, background effects, a linked image", -14, true);
  y += 22;
  auto* form = plat::NewForm<plat::TForm>(nullptr);
  form->SetBorderStyle(plat::bsNone);
  form->SetColor(plat::clTeal);
  form->SetBounds(0, 0, 980, 200);
  plat::TBitmap picture;
  MakePicture(picture);
  struct Spec {
    const char* name;
    TZelBitmapStyle style;
    TZelTransparentMode mode;
    bool opaque;
    int fx;  // 0 none, 1 grey, 2 invert, 3 brighter
  } specs[] = {{"None", sbNone, tpNone, false, 0},
               {"Center", sbCenter, tpNone, false, 0},
               {"Stretch", sbStretch, tpNone, false, 0},
               {"Tile", sbTile, tpNone, false, 0},
               {"KeepAspRatio", sbKeepAspRatio, tpNone, false, 0},
               {"KeepWidth", sbKeepWidth, tpNone, false, 0},
               {"KeepHeight", sbKeepHeight, tpNone, false, 0},
               {"Autosize", sbAutosize, tpNone, false, 0},
               {"RestoreBack", sbCenter, tpRestoreBack, false, 0},
               {"RBTranspColor", sbCenter, tpRBTranspColor, false, 0},
               {"TransparentColor", sbStretch, tpTransparentColor, false, 0},
               {"opaque", sbCenter, tpRestoreBack, true, 0},
               {"back grey", sbCenter, tpRestoreBack, false, 1},
               {"back inverted", sbCenter, tpRestoreBack, false, 2},
               {"opaque brighter", sbCenter, tpRestoreBack, true, 3}};
  TZelNImage* first = nullptr;
  int i = 0;
  for (const Spec& s : specs) {
    auto* img = new TZelNImage(form);
    img->SetParent(form);
    img->SetBounds(10 + (i % 8) * 120, 10 + (i / 8) * 90, 100, 60);
    img->Bevel()->SetStyleOuter(bvRaised);
    img->Bevel()->SetStyleInner(bvLowered);
    img->SetBitmap(&picture);
    img->SetStyle(s.style);
    img->TransparentStyle()->SetMode(s.mode);
    img->TransparentStyle()->SetColor(plat::clFuchsia);
    img->SetTransparent(!s.opaque);
    img->SetColor(plat::clSilver);
    if (s.fx == 1) img->BackFX()->SetGrayScale(true);
    if (s.fx == 2) img->BackFX()->SetInvert(true);
    if (s.fx == 3) img->BackFX()->SetBrightness(80);
    if (!first) first = img;
    ++i;
  }
  auto* linked = new TZelNImage(form);
  linked->SetParent(form);
  linked->SetBounds(10 + 7 * 120, 100, 100, 60);
  linked->SetStyle(sbStretch);
  linked->Bevel()->SetStyleOuter(bvLowered);
  linked->SetControl(first);
  form->Show();
  QApplication::processEvents();
  QImage shot = plat::ClientWidgetOf(form)->grab().toImage().convertToFormat(QImage::Format_RGB32);
  plat::TBitmap page;
  plat::SetImage(page, shot);
  c.Draw(10, y, &page);
  i = 0;
  for (const Spec& s : specs) {
    Label(c, 20 + (i % 8) * 120, y + 72 + (i / 8) * 90, s.name);
    ++i;
  }
  Label(c, 20 + 7 * 120, y + 162, "shows the first");
  form->Free();
  return y + 200;
}
