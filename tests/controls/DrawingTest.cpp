#include <gtest/gtest.h>

#include "KitTestSupport.h"
#include "controls/ZelButtonLayout.h"
#include "controls/ZelFXCaption.h"
#include "controls/zelgraph.h"

using plat::TBitmap;
using plat::TRect;

TEST(ColorRamps, FreshContinuedAndRounded) {
  TZelColorTable t;
  ColorRamp(plat::clBlack, plat::clWhite, 3, true, &t);
  // 255 / 2 = 127.5 rounds away from zero.
  EXPECT_EQ(t, (TZelColorTable{0x000000, 0x808080, 0xFFFFFF}));
  ColorRamp(plat::clWhite, plat::clRed, 3, false, &t);
  EXPECT_EQ(t.size(), 5u);
  EXPECT_EQ(t[3], 0x7F7FFFu);  // 255 - 127.5 rounds away from zero
  EXPECT_EQ(t[4], 0x0000FFu);
  ColorRamp(plat::clBtnFace, plat::clBlack, 1, true, &t);  // one step: no division by zero
  EXPECT_EQ(t, (TZelColorTable{plat::ColorToBGR(plat::clBtnFace)}));
  ColorRamp(plat::clRed, plat::clBlue, 0, true, &t);
  EXPECT_EQ(t.size(), 1u);  // a count of 0 leaves the table alone
  EXPECT_EQ(InterpolateColor(0x000000, 0x0A0A0A, 3, 4), 0x070707);
  EXPECT_EQ(InterpolateColor(0x102030, 0xFFFFFF, 5, 0), 0x102030);
}

TEST(GradientFill, StylesStayInsideTheirRectangle) {
  TZelColorTable t;
  for (int k = 0; k < 16; ++k) t.push_back(uint32_t(0x10 * k));  // red 0x00 .. 0xF0
  for (int style = gstHorizontal; style <= gstTopRightDiagonal; ++style) {
    TBitmap b;
    Blank(b, 60, 40, plat::clWhite);
    TRect r = plat::Rect(10, 5, 50, 35);
    GradientFillTable(*b.Canvas(), r, TZelGradientStyle(style), 0, 0, nullptr, t);
    EXPECT_EQ(CountColor(b, 0xFFFFFF), 60 * 40 - 40 * 30) << "style " << style;
  }
  TBitmap b;
  Blank(b, 40, 30, plat::clWhite);
  GradientFillTable(*b.Canvas(), plat::Rect(0, 0, 40, 30), gstElliptic, 0, 0, nullptr, t);
  for (auto [x, y] : {std::pair{0, 0}, {39, 0}, {0, 29}, {39, 29}}) EXPECT_EQ(PixelOf(b, x, y), 0xF0u);
  EXPECT_EQ(PixelOf(b, 20, 15), 0x00u);
  GradientFillTable(*b.Canvas(), plat::Rect(0, 0, 40, 30), gstVertical, 0, 0, nullptr, t);
  EXPECT_EQ(PixelOf(b, 5, 0), 0x00u);
  EXPECT_EQ(PixelOf(b, 5, 29), 0xF0u);
  GradientFillTable(*b.Canvas(), plat::Rect(0, 0, 40, 30), gstBottomRight, 0, 0, nullptr, t);
  EXPECT_EQ(PixelOf(b, 39, 29), 0x00u);
  EXPECT_EQ(PixelOf(b, 0, 0), 0xF0u);

  // A table of one colour fills everything; an empty table or rectangle nothing.
  GradientFillTable(*b.Canvas(), plat::Rect(0, 0, 40, 30), gstSquare, 0, 0, nullptr, {0x123456});
  EXPECT_EQ(CountColor(b, 0x123456), 40 * 30);
  GradientFillTable(*b.Canvas(), plat::Rect(0, 0, 40, 30), gstSquare, 0, 0, nullptr, {});
  GradientFillTable(*b.Canvas(), plat::Rect(5, 5, 5, 20), gstSquare, 0, 0, nullptr, t);
  EXPECT_EQ(CountColor(b, 0x123456), 40 * 30);

  // Clipped to the rectangle shifted by (10, -5): only the overlap is drawn.
  Blank(b, 40, 30, plat::clWhite);
  GradientFill(*b.Canvas(), plat::Rect(0, 10, 30, 30), plat::clBlack, uint32_t(10) | uint32_t(uint16_t(-5)) << 16,
               gfClip, gstHorizontal, 2, plat::clBlack);
  EXPECT_EQ(CountColor(b, 0x000000), 20 * 15);
  EXPECT_EQ(PixelOf(b, 9, 20), 0xFFFFFFu);
  EXPECT_EQ(PixelOf(b, 10, 10), 0x000000u);
}

TEST(Drawing, AlignRectColumnsAndRows) {
  TRect r = plat::Rect(10, 20, 110, 70);
  EXPECT_EQ(AlignRect(agTopLeft, {20, 10}, r), plat::Bounds(10, 20, 20, 10));
  EXPECT_EQ(AlignRect(agCenter, {21, 11}, r), plat::Bounds(49, 39, 21, 11));
  EXPECT_EQ(AlignRect(agBottomRight, {20, 10}, r), plat::Bounds(90, 60, 20, 10));
  EXPECT_EQ(AlignRect(agTopCenter, {20, 10}, r).Left, 50);
  EXPECT_EQ(AlignRect(agCenterLeft, {20, 10}, r).Top, 40);
  EXPECT_EQ(AlignRect(agBottomCenter, {20, 10}, r), plat::Bounds(50, 60, 20, 10));
  // A box wider than the rectangle: half the (negative) free width, toward zero.
  EXPECT_EQ(AlignRect(agCenter, {103, 10}, r).Left, 9);
}

TEST(Drawing, RaisedTextSitsOnItsLight) {
  TBitmap b;
  Blank(b, 80, 40, plat::clWhite);
  plat::TCanvas& c = *b.Canvas();
  c.Font()->SetName("Arial");
  c.Font()->SetHeight(-24);
  c.Font()->SetColor(plat::clBlack);
  TZel3DCaption caption;
  caption.SetStyle(tdRaised);
  caption.SetLightDepth(2);
  caption.SetLightColor(plat::clRed);
  TRect r = plat::Rect(4, 4, 76, 36);
  Draw3DText(c, "I", &caption, nullptr, d3Enabled, plat::DT_SINGLELINE, r);
  auto leftmost = [&](uint32_t color, int& x, int& y) {
    for (x = 0; x < 80; ++x)
      for (y = 0; y < 40; ++y)
        if (PixelOf(b, x, y) == color) return true;
    return false;
  };
  int lx, ly, tx, ty;
  ASSERT_TRUE(leftmost(0x0000FF, lx, ly));
  ASSERT_TRUE(leftmost(0x000000, tx, ty));
  EXPECT_EQ(tx - lx, 2);
  EXPECT_EQ(ty - ly, 2);
  EXPECT_GE(lx, 4);

  // An empty text or rectangle draws nothing; the canvas's tools come back as they were.
  Blank(b, 80, 40, plat::clWhite);
  c.Brush()->SetColor(plat::clLime);
  TRect empty = plat::Rect(4, 4, 4, 36);
  Draw3DText(c, "I", &caption, nullptr, d3Enabled, 0, empty);
  Draw3DText(c, "", &caption, nullptr, d3Enabled, 0, r);
  EXPECT_EQ(CountColor(b, 0xFFFFFF), 80 * 40);
  Draw3DText(c, "I", &caption, nullptr, d3Enabled, 0, r);
  EXPECT_EQ(c.Font()->Color(), plat::clBlack);
  EXPECT_EQ(c.Brush()->Color(), plat::clLime);
  EXPECT_EQ(c.Brush()->Style(), plat::bsSolid);

  // Disabled with ds3d: grey text on a light copy; with a clip, nothing outside it.
  Blank(b, 80, 40, plat::clWhite);
  caption.SetDisabledStyle(ds3d);
  TRect clip = plat::Rect(0, 0, 8, 40);
  Draw3DText(c, "WWW", &caption, &clip, d3Clip, plat::DT_SINGLELINE, r);
  EXPECT_GT(CountColor(b, plat::ColorToBGR(plat::clGrayText)), 0);
  EXPECT_EQ(CountColor(b, 0xFFFFFF, plat::Rect(8, 0, 80, 40)), 72 * 40);
}

TEST(Drawing, FrameEdgesShrinkTheirRectangle) {
  TBitmap b;
  Blank(b, 50, 50, plat::clBtnFace);
  struct Case {
    int style;
    TRect after;
  } cases[] = {{0, plat::Rect(10, 10, 40, 40)},  {2, plat::Rect(12, 12, 38, 38)}, {4, plat::Rect(11, 11, 38, 38)},
               {6, plat::Rect(12, 12, 38, 38)},  {7, plat::Rect(12, 12, 38, 38)}, {10, plat::Rect(12, 12, 38, 38)},
               {13, plat::Rect(12, 12, 38, 38)}, {12, plat::Rect(11, 11, 39, 39)}};
  for (const Case& k : cases) {
    TRect r = plat::Rect(10, 10, 40, 40);
    DrawFrameEdge(*b.Canvas(), r, k.style);
    EXPECT_EQ(r, k.after) << "style " << k.style;
  }
  // Style 2 is a soft sunken edge: dark shadow above, highlight below.
  Blank(b, 50, 50, plat::clBtnFace);
  TRect r = plat::Rect(10, 10, 40, 40);
  DrawFrameEdge(*b.Canvas(), r, 2);
  EXPECT_EQ(PixelOf(b, 20, 10), plat::ColorToBGR(plat::cl3DDkShadow));
  EXPECT_EQ(PixelOf(b, 20, 39), plat::ColorToBGR(plat::clBtnHighlight));

  EXPECT_EQ(BorderStyleWidth(lsNone), 0);
  EXPECT_EQ(BorderStyleWidth(lsSingleLowered), 1);
  EXPECT_EQ(BorderStyleWidth(lsFrameInset), 2);
  for (int s = lsNone; s <= lsDoubleLowered; ++s) {
    TRect q = plat::Rect(10, 10, 40, 40);
    DrawBorderStyle(*b.Canvas(), q, TZelBorderStyle(s));
    const int w = BorderStyleWidth(TZelBorderStyle(s));
    EXPECT_EQ(q, plat::Rect(10 + w, 10 + w, 40 - w, 40 - w)) << "border " << s;
  }
  TRect bevel = plat::Rect(0, 0, 30, 30);
  EXPECT_FALSE(DrawBevelFrame(*b.Canvas(), bevel, bvNone, 3, plat::clWhite, plat::clBlack));
  EXPECT_TRUE(DrawBevelFrame(*b.Canvas(), bevel, bvFrameLowered, 2, plat::clWhite, plat::clBlack));
  EXPECT_EQ(bevel, plat::Rect(3, 3, 27, 27));
  TRect flat = plat::Rect(0, 0, 30, 30);
  DrawFlatFrame(*b.Canvas(), flat, {plat::clRed, plat::clBlue}, {1, 2});
  EXPECT_EQ(flat, plat::Rect(3, 3, 27, 27));
  EXPECT_EQ(PixelOf(b, 0, 5), 0x0000FFu);
  EXPECT_EQ(PixelOf(b, 2, 5), 0xFF0000u);
}

TEST(Drawing, ButtonFramesByStateAndStyle) {
  TBitmap b;
  TRect content;
  const TRect r = plat::Rect(0, 0, 40, 24);
  // Up and down: the content area is inset 3 and moves one pixel with the button.
  Blank(b, 40, 24, plat::clWhite);
  DrawButtonFrame(*b.Canvas(), false, r, plat::clBtnFace, bfNewLook, bsUp, 2, &content);
  EXPECT_EQ(content, plat::Rect(3, 3, 37, 21));
  EXPECT_EQ(PixelOf(b, 20, 12), plat::ColorToBGR(plat::clBtnFace));
  DrawButtonFrame(*b.Canvas(), false, r, plat::clBtnFace, bfNewLook, bsPushed, 2, &content);
  EXPECT_EQ(content, plat::Rect(4, 4, 38, 22));

  // Latched down: the face is the checker pattern of the face colour and white.
  Blank(b, 40, 24, plat::clBlack);
  DrawButtonFrame(*b.Canvas(), false, r, plat::clSilver, bfNewLook, bsDown, 2, nullptr);
  uint32_t a = PixelOf(b, 20, 12), n = PixelOf(b, 21, 12);
  EXPECT_NE(a, n);
  EXPECT_TRUE((a == 0xFFFFFF && n == 0xC0C0C0) || (a == 0xC0C0C0 && n == 0xFFFFFF));

  // The old look's down state: a black rectangle with a grey one inside.
  Blank(b, 40, 24, plat::clWhite);
  DrawButtonFrame(*b.Canvas(), false, r, plat::clBtnFace, 0, bsPushed, 2, nullptr);
  EXPECT_EQ(PixelOf(b, 0, 10), 0x000000u);
  EXPECT_EQ(PixelOf(b, 1, 10), 0x808080u);

  // Explorer styles leave the background; a focused button gets its dotted focus rectangle.
  Blank(b, 40, 24, plat::clLime);
  DrawButtonFrame(*b.Canvas(), false, r, plat::clBtnFace, 0, bsUp, 8, nullptr);
  EXPECT_EQ(CountColor(b, 0x00FF00), 40 * 24);
  Blank(b, 40, 24, plat::clWhite);
  DrawButtonFrame(*b.Canvas(), false, r, plat::clBtnFace, bfNewLook | bfFocused, bsUp, 2, nullptr);
  EXPECT_NE(PixelOf(b, 3, 3), plat::ColorToBGR(plat::clBtnFace));
}

TEST(Drawing, ArrowsAndDisabledPictures) {
  TBitmap b;
  Blank(b, 20, 20, plat::clWhite);
  DrawArrow(*b.Canvas(), 2, 2, true, adDown, plat::clBlack, 3);
  EXPECT_EQ(CountColor(b, 0x000000), 5 + 3 + 1);
  EXPECT_EQ(PixelOf(b, 2, 2), 0x000000u);
  EXPECT_EQ(PixelOf(b, 4, 4), 0x000000u);
  EXPECT_EQ(PixelOf(b, 2, 3), 0xFFFFFFu);
  Blank(b, 20, 20, plat::clBtnFace);
  DrawArrow(*b.Canvas(), 2, 2, false, adRight, plat::clBlack, 3);
  EXPECT_EQ(CountColor(b, plat::ColorToBGR(plat::clGrayText)), 9);
  EXPECT_EQ(CountColor(b, 0x000000), 0);

  // A glyph: background white at (0, 0), a dark square and a bright one.
  TBitmap glyph, disabled;
  Blank(glyph, 8, 8, plat::clWhite);
  glyph.Canvas()->Brush()->SetColor(plat::clNavy);
  glyph.Canvas()->FillRect(plat::Rect(1, 1, 4, 4));
  glyph.Canvas()->Brush()->SetColor(0xF0F0F0);
  glyph.Canvas()->FillRect(plat::Rect(5, 5, 7, 7));
  MakeDisabledBitmap(glyph, disabled);
  EXPECT_EQ(disabled.Width(), 8);
  EXPECT_EQ(PixelOf(disabled, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(PixelOf(disabled, 2, 2), plat::ColorToBGR(plat::clBtnShadow));
  EXPECT_EQ(PixelOf(disabled, 5, 5), 0xFFFFFFu);

  // Transparent drawing leaves the canvas where the picture has its transparent colour.
  TBitmap pic, mask;
  Blank(pic, 4, 4, plat::clFuchsia);
  pic.Canvas()->Brush()->SetColor(plat::clRed);
  pic.Canvas()->FillRect(plat::Rect(1, 1, 3, 3));
  Blank(b, 10, 10, plat::clLime);
  DrawTransparentBitmap(*b.Canvas(), plat::Rect(2, 2, 6, 6), pic, plat::clFuchsia, mask);
  EXPECT_EQ(CountColor(b, 0x0000FF), 4);
  EXPECT_EQ(CountColor(b, 0xFF00FF), 0);
  EXPECT_EQ(PixelOf(b, 2, 2), 0x00FF00u);
  EXPECT_TRUE(mask.Monochrome());

  // The embossed glyph: shadow where the shape is, highlight one pixel down and right.
  Blank(b, 12, 12, plat::clBtnFace);
  glyph.SetTransparentColor(plat::clWhite);
  DrawDisabledGlyph(*b.Canvas(), glyph, 0, 0);
  EXPECT_EQ(PixelOf(b, 1, 1), plat::ColorToBGR(plat::clBtnShadow));
  EXPECT_EQ(PixelOf(b, 4, 4), plat::ColorToBGR(plat::clBtnHighlight));
  EXPECT_EQ(PixelOf(b, 10, 0), plat::ColorToBGR(plat::clBtnFace));
}

TEST(Drawing, BitmapPlacementFlags) {
  TBitmap pic;
  Blank(pic, 10, 4, plat::clRed);
  TBitmap b;
  Blank(b, 40, 20, plat::clWhite);
  DrawBitmapFlags(*b.Canvas(), plat::Rect(5, 5, 35, 15), pic, bdClip | bdTile);
  EXPECT_EQ(CountColor(b, 0x0000FF), 30 * 10);  // tiles reach past the rectangle, clipped to it
  Blank(b, 40, 20, plat::clWhite);
  DrawBitmapFlags(*b.Canvas(), plat::Rect(0, 0, 40, 20), pic, bdStretch | bdKeepAspect);
  EXPECT_EQ(CountColor(b, 0x0000FF), 40 * 16);
  Blank(b, 40, 20, plat::clWhite);
  DrawBitmapFlags(*b.Canvas(), plat::Rect(0, 0, 40, 20), pic, bdClip | bdAlign, agBottomRight, -2, 0);
  EXPECT_EQ(PixelOf(b, 37, 19), 0x0000FFu);
  EXPECT_EQ(PixelOf(b, 38, 19), 0xFFFFFFu);
  Blank(b, 40, 20, plat::clWhite);
  DrawBitmapTiled(*b.Canvas(), plat::Rect(0, 0, 40, 20), pic, tmCenter, agTopLeft, 0, 0, false);
  EXPECT_EQ(PixelOf(b, 15, 8), 0x0000FFu);
  EXPECT_EQ(CountColor(b, 0x0000FF), 40);
}

TEST(GlyphText, PlacementByArrangement) {
  TZelButtonLayout layout;  // centred, caption right of the glyph, spacing 2
  auto p = PlaceGlyphText({30, 10}, {16, 16}, &layout, plat::Rect(0, 0, 100, 40), true);
  // The box is 16 + 2 + 30 wide and 16 high, centred; the glyph one pixel into its slot.
  EXPECT_EQ(p.Glyph, plat::Bounds(27, 13, 16, 16));
  EXPECT_EQ(p.Text, plat::Bounds(44, 15, 30, 10));
  layout.SetAlignText2Glyph(taBottom);
  p = PlaceGlyphText({30, 10}, {16, 16}, &layout, plat::Rect(0, 0, 100, 40), true);
  EXPECT_EQ(p.Text, plat::Bounds(35, 24, 30, 10));
  EXPECT_EQ(p.Glyph, plat::Bounds(43, 7, 16, 16));
  layout.SetAlignText2Glyph(taLeftTop);
  p = PlaceGlyphText({30, 10}, {16, 16}, &layout, plat::Rect(0, 0, 100, 40), false);
  EXPECT_EQ(p.Text, plat::Bounds(0, 0, 30, 10));
  EXPECT_EQ(p.Glyph, plat::Bounds(33, 1, 16, 16));
  // Without a glyph there is no spacing; offsets move everything.
  layout.SetAlignText2Glyph(taRight);
  layout.SetOffsetX(3);
  p = PlaceGlyphText({30, 10}, {0, 0}, &layout, plat::Rect(0, 0, 100, 40), true);
  EXPECT_EQ(p.Text, plat::Bounds(38, 15, 30, 10));
  // A drop-down arrow at the caption's left pushes the caption right by its width and indent.
  layout.SetOffsetX(0);
  layout.SetArrow(true);
  layout.SetArrowPosition(apLeftText);
  p = PlaceGlyphText({30, 10}, {0, 0}, &layout, plat::Rect(0, 0, 100, 40), true);
  EXPECT_EQ(p.Arrow.X, 31);
  EXPECT_EQ(p.Text.Left, 31 + 5 + 3);
  EXPECT_EQ(p.Arrow.Y, 15 + 5 - 1);
}

TEST(Windows, PlacedInsideTheScreen) {
  const TRect screen = plat::Rect(0, 0, 800, 600);
  const TRect ref = plat::Rect(100, 100, 500, 400);
  EXPECT_EQ(PlaceWindowRect({200, 100}, ref, 5, screen), (plat::TPoint{200, 200}));
  EXPECT_EQ(PlaceWindowRect({200, 100}, ref, 9, screen), (plat::TPoint{300, 300}));
  EXPECT_EQ(PlaceWindowRect({200, 100}, ref, 0, screen), (plat::TPoint{100, 100}));
  // Off the right edge: aligned to the reference's right instead; never negative.
  EXPECT_EQ(PlaceWindowRect({200, 100}, plat::Rect(700, 0, 800, 50), 1, screen), (plat::TPoint{600, 0}));
  EXPECT_EQ(PlaceWindowRect({900, 100}, ref, 5, screen), (plat::TPoint{0, 200}));
  auto zoom = ZoomRects({0, 0}, plat::Rect(100, 100, 300, 200), 2);
  ASSERT_EQ(zoom.size(), 40u);
  EXPECT_EQ(zoom.back(), plat::Rect(100, 100, 300, 200));
}
