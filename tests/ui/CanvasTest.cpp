// The canvas keeps the classic pixel rules; these tests read the pixels back.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <string>

#include "UiTest.h"
#include "common/scratch.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/graphics.h"
#include "platform/ui/streams.h"

using namespace plat;

namespace {

struct Picture {
  TBitmap bmp;
  TCanvas& c;
  Picture(int w, int h, TColor bg = clWhite) : bmp(w, h), c(*bmp.Canvas()) {
    c.Brush()->SetColor(bg);
    c.FillRect(Rect(0, 0, w, h));
  }
  TColor At(int x, int y) { return c.Pixels(x, y); }
  // Rows of characters: '.' for background, '#' for any other colour.
  std::string Row(int y, int x0, int x1, TColor bg = clWhite) {
    std::string s;
    for (int x = x0; x < x1; ++x) s += At(x, y) == bg ? '.' : '#';
    return s;
  }
  int Count(TColor color) {
    int n = 0;
    for (int y = 0; y < bmp.Height(); ++y)
      for (int x = 0; x < bmp.Width(); ++x) n += At(x, y) == color;
    return n;
  }
};

}  // namespace

TEST(Canvas, RectangleRightAndBottomEdgesAreOutside) {
  Picture p(12, 10);
  p.c.Pen()->SetColor(clBlack);
  p.c.Brush()->SetColor(clRed);
  p.c.Rectangle(2, 1, 7, 5);
  EXPECT_EQ(p.Row(1, 0, 9), "..#####..");
  EXPECT_EQ(p.Row(4, 0, 9), "..#####..");
  EXPECT_EQ(p.Row(5, 0, 9), ".........");
  EXPECT_EQ(p.At(3, 2), clRed);
  EXPECT_EQ(p.At(6, 2), clBlack);
  EXPECT_EQ(p.Count(clRed), 3 * 2);
  // Without a pen the fill is one pixel smaller on the right and at the bottom.
  Picture q(12, 10);
  q.c.Pen()->SetStyle(psClear);
  q.c.Brush()->SetColor(clBlue);
  q.c.Rectangle(2, 1, 7, 5);
  EXPECT_EQ(q.Count(clBlue), 4 * 3);
  EXPECT_EQ(q.At(2, 1), clBlue);
  EXPECT_EQ(q.At(6, 1), clWhite);
  // FillRect and FrameRect take exactly the rectangle.
  Picture f(12, 10);
  f.c.Brush()->SetColor(clGreen);
  f.c.FillRect(Rect(1, 1, 4, 3));
  EXPECT_EQ(f.Count(clGreen), 6);
  f.c.Brush()->SetColor(clNavy);
  f.c.FrameRect(Rect(5, 2, 10, 7));
  EXPECT_EQ(f.Count(clNavy), 5 * 2 + 3 * 2);
  EXPECT_EQ(f.At(9, 6), clNavy);
  EXPECT_EQ(f.At(10, 7), clWhite);
}

TEST(Canvas, LineToLeavesOutItsLastPixelInEveryDirection) {
  const TPoint ends[] = {{9, 5}, {1, 5}, {5, 9}, {5, 1}, {9, 9}, {1, 1}, {9, 1}, {1, 9}, {8, 3}, {2, 7}};
  for (TPoint e : ends) {
    Picture p(11, 11);
    p.c.MoveTo(5, 5);
    p.c.LineTo(e.X, e.Y);
    const int steps = std::max(std::abs(e.X - 5), std::abs(e.Y - 5));
    EXPECT_EQ(p.At(e.X, e.Y), clWhite) << e.X << "," << e.Y;
    EXPECT_EQ(p.At(5, 5), clBlack) << e.X << "," << e.Y;
    EXPECT_EQ(p.Count(clBlack), steps) << e.X << "," << e.Y;
    EXPECT_EQ(p.c.PenPos(), e);
  }
  // A closed outline of lines touches every corner once: drawn twice with XOR it is gone.
  Picture x(8, 8);
  x.c.Pen()->SetMode(pmXor);
  x.c.Pen()->SetColor(clWhite);
  for (int pass = 0; pass < 2; ++pass) {
    x.c.MoveTo(1, 1);
    x.c.LineTo(6, 1);
    x.c.LineTo(6, 6);
    x.c.LineTo(1, 6);
    x.c.LineTo(1, 1);
    if (pass == 0) {
      EXPECT_EQ(x.Count(clBlack), 20);
    }
  }
  EXPECT_EQ(x.Count(clWhite), 64);
}

TEST(Canvas, PenModesStylesAndHatchesWorkOnTheColourBits) {
  Picture p(20, 6, TColor(0x00F0F0));
  p.c.Pen()->SetColor(TColor(0x0F0F0F));
  p.c.Pen()->SetMode(pmXor);
  p.c.MoveTo(0, 0);
  p.c.LineTo(4, 0);
  EXPECT_EQ(p.At(0, 0), TColor(0x0FFFFF));
  p.c.Pen()->SetMode(pmNot);
  p.c.MoveTo(0, 1);
  p.c.LineTo(4, 1);
  EXPECT_EQ(p.At(1, 1), TColor(0xFF0F0F));
  p.c.Pen()->SetMode(pmMask);
  p.c.MoveTo(0, 2);
  p.c.LineTo(4, 2);
  EXPECT_EQ(p.At(2, 2), TColor(0x000000));
  // A dotted pen: three on, three off; the gaps take the background colour of a solid brush.
  Picture d(20, 3);
  d.c.Pen()->SetStyle(psDot);
  d.c.Brush()->SetColor(clYellow);
  d.c.MoveTo(0, 1);
  d.c.LineTo(12, 1);
  EXPECT_EQ(d.At(0, 1), clBlack);
  EXPECT_EQ(d.At(3, 1), clYellow);
  EXPECT_EQ(d.At(6, 1), clBlack);
  d.c.Brush()->SetStyle(bsClear);
  d.c.MoveTo(0, 2);
  d.c.LineTo(12, 2);
  EXPECT_EQ(d.At(3, 2), clWhite);
  // A hatch brush leaves the pixels between its lines alone.
  Picture h(16, 16, clSilver);
  h.c.Brush()->SetStyle(bsHorizontal);
  h.c.Brush()->SetColor(clBlue);
  h.c.FillRect(Rect(0, 0, 16, 16));
  EXPECT_EQ(h.Count(clBlue), 2 * 16);
  EXPECT_EQ(h.Count(clSilver), 14 * 16);
}

TEST(Canvas, DrawEdgeUsesTheClassicColoursAndAdjusts) {
  Picture p(10, 10, clFuchsia);
  TRect r = Rect(0, 0, 10, 10);
  ASSERT_TRUE(p.c.DrawEdge(r, EDGE_RAISED, BF_RECT | BF_ADJUST));
  EXPECT_EQ(r, Rect(2, 2, 8, 8));
  EXPECT_EQ(uint32_t(p.At(0, 0)), GetSysColor(COLOR_3DLIGHT));
  EXPECT_EQ(uint32_t(p.At(9, 9)), GetSysColor(COLOR_3DDKSHADOW));
  // Both far corners belong to the shadow side.
  EXPECT_EQ(uint32_t(p.At(9, 0)), GetSysColor(COLOR_3DDKSHADOW));
  EXPECT_EQ(uint32_t(p.At(0, 9)), GetSysColor(COLOR_3DDKSHADOW));
  EXPECT_EQ(uint32_t(p.At(1, 1)), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(uint32_t(p.At(8, 8)), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(p.At(2, 2), clFuchsia);

  Picture s(10, 10, clFuchsia);
  TRect r2 = Rect(0, 0, 10, 10);
  s.c.DrawEdge(r2, EDGE_SUNKEN, BF_RECT | BF_MIDDLE);
  EXPECT_EQ(r2, Rect(0, 0, 10, 10));
  EXPECT_EQ(uint32_t(s.At(0, 0)), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(uint32_t(s.At(9, 9)), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(uint32_t(s.At(1, 1)), GetSysColor(COLOR_3DDKSHADOW));
  EXPECT_EQ(uint32_t(s.At(8, 8)), GetSysColor(COLOR_3DLIGHT));
  EXPECT_EQ(uint32_t(s.At(5, 5)), GetSysColor(COLOR_BTNFACE));

  // Soft raised outer edge, left and top only.
  Picture t(10, 10, clFuchsia);
  TRect r3 = Rect(0, 0, 10, 10);
  t.c.DrawEdge(r3, BDR_RAISEDOUTER, BF_LEFT | BF_TOP | BF_SOFT | BF_ADJUST);
  EXPECT_EQ(r3, Rect(1, 1, 10, 10));
  EXPECT_EQ(uint32_t(t.At(9, 0)), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(t.At(9, 9), clFuchsia);
}

TEST(Canvas, FocusRectangleAndInversionUndoThemselves) {
  Picture p(12, 12, clTeal);
  p.c.DrawFocusRect(Rect(1, 1, 11, 11));
  const int changed = 12 * 12 - p.Count(clTeal);
  EXPECT_EQ(changed, 18);  // every second pixel of the 36 on the border
  p.c.DrawFocusRect(Rect(1, 1, 11, 11));
  EXPECT_EQ(p.Count(clTeal), 144);
  p.c.InvertRect(Rect(0, 0, 6, 6));
  EXPECT_EQ(p.At(0, 0), TColor(~uint32_t(clTeal) & 0xFFFFFF));
  p.c.InvertRect(Rect(0, 0, 6, 6));
  EXPECT_EQ(p.Count(clTeal), 144);
}

TEST(Canvas, ClipRegionsAndOriginConfineDrawing) {
  Picture p(20, 20);
  p.c.IntersectClipRect(Rect(5, 5, 15, 15));
  p.c.ExcludeClipRect(Rect(8, 8, 12, 12));
  p.c.Brush()->SetColor(clRed);
  p.c.FillRect(Rect(0, 0, 20, 20));
  EXPECT_EQ(p.Count(clRed), 100 - 16);
  EXPECT_EQ(p.At(10, 10), -1);  // outside the clip reads as no colour
  EXPECT_EQ(p.c.ClipRect(), Rect(5, 5, 15, 15));
  p.c.SelectClipRgn(nullptr);
  EXPECT_EQ(p.At(10, 10), clWhite);

  Picture e(20, 20);
  TRegion ellipse = TRegion::FromEllipse(Rect(0, 0, 20, 20));
  e.c.SelectClipRgn(&ellipse);
  e.c.Brush()->SetColor(clBlue);
  e.c.FillRect(Rect(0, 0, 20, 20));
  e.c.SelectClipRgn(nullptr);
  EXPECT_EQ(e.At(0, 0), clWhite);
  EXPECT_EQ(e.At(10, 10), clBlue);
  EXPECT_GT(e.Count(clBlue), 250);
  EXPECT_LT(e.Count(clBlue), 350);

  // With the origin moved, logical (0, 0) is device (3, 4), and the clip moves along.
  Picture o(10, 10);
  o.c.SetOrigin(3, 4);
  o.c.SetPixel(0, 0, clGreen);
  EXPECT_EQ(plat::ImageOf(o.bmp).pixel(3, 4), qRgb(0, 128, 0));
  o.c.IntersectClipRect(Rect(0, 0, 2, 2));
  o.c.Brush()->SetColor(clRed);
  o.c.FillRect(Rect(-3, -4, 7, 6));
  EXPECT_EQ(o.Count(clRed), 4);
  EXPECT_EQ(o.Count(clGreen), 0);
  EXPECT_EQ(o.At(2, 2), -1);
}

TEST(Canvas, RasterOperationsAndMonochromeMasks) {
  EXPECT_EQ(ApplyRop3(0xCC, 0, 0x123456, 0xABCDEF), 0x123456u);
  EXPECT_EQ(ApplyRop3(0x88, 0, 0x0F0F0F, 0xFFFF00), 0x0F0F00u);  // SRCAND
  EXPECT_EQ(ApplyRop3(0xEE, 0, 0x0F0F0F, 0xF00000), 0xFF0F0Fu);  // SRCPAINT
  // The raster operation of an embossed picture: where the source is white, the pattern.
  EXPECT_EQ(ApplyRop3(0xE2, 0x112233, 0xFFFFFF, 0x445566), 0x112233u);
  EXPECT_EQ(ApplyRop3(0xE2, 0x112233, 0x000000, 0x445566), 0x445566u);

  // A colour picture onto a monochrome one: white where it has the source's background colour.
  TBitmap src(4, 1);
  src.Canvas()->SetPixel(0, 0, clRed);
  src.Canvas()->SetPixel(1, 0, clBlue);
  src.Canvas()->SetPixel(2, 0, clRed);
  src.Canvas()->SetPixel(3, 0, clGreen);
  TBitmap mask;
  mask.SetMonochrome(true);
  mask.SetSize(4, 1);
  src.Canvas()->SetBkColor(clRed);
  mask.Canvas()->BitBlt(0, 0, 4, 1, *src.Canvas(), 0, 0, SRCCOPY);
  EXPECT_EQ(mask.Canvas()->Pixels(0, 0), clWhite);
  EXPECT_EQ(mask.Canvas()->Pixels(1, 0), clBlack);
  EXPECT_EQ(mask.Canvas()->Pixels(2, 0), clWhite);
  // And back: black bits take the text colour, white ones the background colour.
  Picture p(4, 1);
  p.c.SetTextColor(clNavy);
  p.c.SetBkColor(clYellow);
  p.c.BitBlt(0, 0, 4, 1, *mask.Canvas(), 0, 0, SRCCOPY);
  EXPECT_EQ(p.At(0, 0), clYellow);
  EXPECT_EQ(p.At(1, 0), clNavy);
  EXPECT_EQ(p.At(3, 0), clNavy);
}

TEST(Canvas, StretchingPicksNearestPixelsAndCopiesOverlapSafely) {
  TBitmap src(2, 2);
  src.Canvas()->SetPixel(0, 0, clRed);
  src.Canvas()->SetPixel(1, 0, clBlue);
  src.Canvas()->SetPixel(0, 1, clLime);
  src.Canvas()->SetPixel(1, 1, clBlack);
  Picture p(8, 8);
  p.c.StretchDraw(Rect(0, 0, 8, 8), &src);
  EXPECT_EQ(p.Count(clRed), 16);
  EXPECT_EQ(p.At(7, 7), clBlack);
  EXPECT_EQ(p.At(3, 4), clLime);
  // Copying a canvas onto itself, shifted, reads the pixels as they were before the copy.
  p.c.CopyRect(Rect(1, 0, 8, 8), p.c, Rect(0, 0, 7, 8));
  EXPECT_EQ(p.At(4, 0), clRed);
  EXPECT_EQ(p.At(5, 0), clBlue);
}

TEST(Canvas, TextMeasuresAndOpaqueBackground) {
  Picture p(200, 40, clWhite);
  p.c.Font()->SetName("Arial");
  p.c.Font()->SetHeight(-20);
  const TTextMetric tm = p.c.GetTextMetrics();
  EXPECT_GE(tm.tmHeight, 20);
  EXPECT_LE(tm.tmHeight, 25);
  EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
  EXPECT_GT(p.c.TextWidth("WWW"), p.c.TextWidth("iii"));
  // A solid brush fills the text's cell; TextOut moves the pen to the end of the text.
  p.c.Brush()->SetColor(clYellow);
  p.c.TextOut(10, 5, "Hi");
  const int w = p.c.TextWidth("Hi");
  EXPECT_EQ(p.At(10 + w - 1, 5), clYellow);
  EXPECT_EQ(p.At(10 + w, 5), clWhite);
  EXPECT_EQ(p.At(10, 5 + tm.tmHeight), clWhite);
  EXPECT_EQ(p.c.PenPos(), Point(10 + w, 5));
  // A hollow brush leaves the cell as it was.
  p.c.Brush()->SetStyle(bsClear);
  p.c.TextOut(100, 5, "Hi");
  EXPECT_EQ(p.At(100, 5), clWhite);
  // The classic names map to installed fonts.
  EXPECT_EQ(QFontInfo(plat::QtFont(*p.c.Font())).family(), QStringLiteral("Liberation Sans"));
  TFont sans;
  EXPECT_EQ(QFontInfo(plat::QtFont(sans)).family(), QStringLiteral("Liberation Sans"));
  EXPECT_EQ(sans.Size(), 8);
  sans.SetSize(10);
  EXPECT_EQ(sans.Height(), -13);
}

TEST(Canvas, DrawTextFlagsPlaceWrapAndCut) {
  Picture p(300, 100);
  p.c.Font()->SetName("Arial");
  p.c.Font()->SetHeight(-12);
  const int lineH = p.c.GetTextMetrics().tmHeight;
  // Measuring: one line keeps its width, broken text takes one line height per line.
  TRect r = Rect(0, 0, 1000, 0);
  EXPECT_EQ(p.c.DrawText("one two three", r, DT_CALCRECT | DT_SINGLELINE), lineH);
  EXPECT_EQ(r.Width(), p.c.TextWidth("one two three"));
  TRect narrow = Rect(0, 0, p.c.TextWidth("three") + 2, 0);
  EXPECT_EQ(p.c.DrawText("one two three", narrow, DT_CALCRECT | DT_WORDBREAK), 3 * lineH);
  TRect lines = Rect(0, 0, 1000, 0);
  EXPECT_EQ(p.c.DrawText("a\r\nb\nc", lines, DT_CALCRECT), 3 * lineH);
  // "&" marks the accelerator and is not measured; "&&" is one "&"; DT_NOPREFIX keeps it.
  TRect a = Rect(0, 0, 1000, 0), b = Rect(0, 0, 1000, 0), c = Rect(0, 0, 1000, 0);
  p.c.DrawText("&Save", a, DT_CALCRECT | DT_SINGLELINE);
  p.c.DrawText("Save", b, DT_CALCRECT | DT_SINGLELINE);
  p.c.DrawText("&Save", c, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(a.Width(), b.Width());
  EXPECT_GT(c.Width(), b.Width());
  TRect amp = Rect(0, 0, 1000, 0);
  p.c.DrawText("R&&D", amp, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(amp.Width(), p.c.TextWidth("R&D"));
}

TEST(Canvas, EllipsisKeepsTheTextInsideItsRectangle) {
  Picture p(300, 120);
  p.c.Font()->SetName("Arial");
  p.c.Font()->SetHeight(-12);
  p.c.Brush()->SetStyle(bsClear);
  const int lineH = p.c.GetTextMetrics().tmHeight;
  const std::string longText = "The quick brown fox jumps over the lazy dog again and again";
  // End ellipsis on one line: nothing is drawn right of the rectangle, and the text is shorter.
  TRect r = Rect(10, 5, 110, 5 + lineH);
  TRect calc = r;
  p.c.DrawText(longText, calc, DT_SINGLELINE | DT_END_ELLIPSIS | DT_CALCRECT);
  EXPECT_LE(calc.Width(), 100);
  p.c.DrawText(longText, r, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP);
  for (int y = 0; y < 120; ++y)
    for (int x = 110; x < 300; ++x) ASSERT_EQ(p.At(x, y), clWhite) << x << "," << y;
  EXPECT_LT(p.Count(clWhite), 300 * 120);
  // Path ellipsis cuts the middle and keeps the file name.
  const std::string path = "/srv/carts/morning/archive/2024/final-take.wav";
  TRect pr = Rect(0, 0, p.c.TextWidth("/srv/...//final-take.wav") + 4, lineH);
  p.c.DrawText(path, pr, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_CALCRECT);
  EXPECT_LE(pr.Width(), p.c.TextWidth("/srv/...//final-take.wav") + 4);
  // Several lines: what does not fit below is dropped and the last line that fits is cut.
  TRect two = Rect(0, 0, 120, 2 * lineH + 2);
  TRect all = two;
  p.c.DrawText(longText, all, DT_WORDBREAK | DT_CALCRECT);
  ASSERT_GT(all.Height(), 2 * lineH);
  TRect cut = two;
  EXPECT_EQ(p.c.DrawText(longText, cut, DT_WORDBREAK | DT_END_ELLIPSIS | DT_CALCRECT), 2 * lineH);
  EXPECT_LE(cut.Width(), 120);
  Picture q(200, 60);
  q.c.Font()->SetName("Arial");
  q.c.Font()->SetHeight(-12);
  TRect box = Rect(0, 0, 120, 2 * lineH + 2);
  q.c.DrawText(longText, box, DT_WORDBREAK | DT_END_ELLIPSIS);
  for (int y = 2 * lineH; y < 60; ++y)
    for (int x = 0; x < 200; ++x) ASSERT_EQ(q.At(x, y), clWhite) << x << "," << y;
}

TEST(Canvas, CentredAndBottomTextAndTheAcceleratorUnderline) {
  Picture p(100, 40);
  p.c.Font()->SetName("Arial");
  p.c.Font()->SetHeight(-12);
  const int lineH = p.c.GetTextMetrics().tmHeight;
  TRect r = Rect(0, 0, 100, 40);
  EXPECT_EQ(p.c.DrawText("x", r, DT_SINGLELINE | DT_VCENTER | DT_CENTER), (40 - lineH) / 2 + lineH);
  EXPECT_EQ(p.c.DrawText("x", r, DT_SINGLELINE | DT_BOTTOM), 40);
  // The underline of "&W" is a solid run right below the baseline under the W.
  Picture u(60, 30);
  u.c.Font()->SetName("Arial");
  u.c.Font()->SetHeight(-12);
  TRect ur = Rect(0, 0, 60, 30);
  u.c.DrawText("&W", ur, DT_SINGLELINE);
  const int row = u.c.GetTextMetrics().tmAscent + 1;
  const int w = u.c.TextWidth("W");
  int dark = 0;
  for (int x = 0; x < w; ++x) dark += u.At(x, row) == clBlack;
  EXPECT_GE(dark, w - 1);
  Picture h(60, 30);
  h.c.Font()->SetName("Arial");
  h.c.Font()->SetHeight(-12);
  TRect hr = Rect(0, 0, 60, 30);
  h.c.DrawText("&W", hr, DT_SINGLELINE | DT_HIDEPREFIX);
  int darkHidden = 0;
  for (int x = 0; x < w; ++x) darkHidden += h.At(x, row) == clBlack;
  EXPECT_LT(darkHidden, dark);
}

TEST(Canvas, TurnedTextRunsUpwardsFromItsPoint) {
  Picture p(60, 120);
  p.c.Font()->SetName("Arial");
  p.c.Font()->SetHeight(-14);
  p.c.Font()->SetOrientation(900);
  p.c.Brush()->SetStyle(bsClear);
  p.c.TextOut(10, 110, "Level");
  int minY = 120, maxY = -1, minX = 60, maxX = -1;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 60; ++x)
      if (p.At(x, y) != clWhite) {
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
      }
  ASSERT_GE(maxY, 0);
  EXPECT_LE(maxY, 110);
  EXPECT_GE(minX, 10);  // the tops of the letters face left, towards x
  EXPECT_GT(maxY - minY, maxX - minX);
}

TEST(Bitmap, SizeFormatsScanLinesAndFiles) {
  TBitmap b;
  EXPECT_TRUE(b.Empty());
  b.SetWidth(10);
  EXPECT_TRUE(b.Empty());
  b.SetHeight(4);  // the width set before is kept
  ASSERT_FALSE(b.Empty());
  EXPECT_EQ(b.Width(), 10);
  b.Canvas()->SetPixel(1, 1, clRed);
  b.SetSize(20, 8);  // keeps the picture; new pixels are white
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), clRed);
  EXPECT_EQ(b.Canvas()->Pixels(15, 6), clWhite);
  // The bottom-left pixel gives the transparent colour.
  b.Canvas()->SetPixel(0, 7, clFuchsia);
  EXPECT_EQ(b.TransparentColor(), clFuchsia);
  // 24-bit rows are blue, green, red.
  b.SetPixelFormat(pf24bit);
  const uint8_t* row = b.ScanLine(1);
  EXPECT_EQ(row[3], 0);
  EXPECT_EQ(row[4], 0);
  EXPECT_EQ(row[5], 255);
  EXPECT_THROW(b.ScanLine(8), EInvalidGraphicOperation);
  Scratch dir;
  b.SaveToFile(dir.Path("b.bmp"));
  TBitmap back;
  back.LoadFromFile(dir.Path("b.bmp"));
  EXPECT_EQ(back.PixelFormat(), pf24bit);
  EXPECT_EQ(back.Width(), 20);
  EXPECT_EQ(back.Canvas()->Pixels(1, 1), clRed);
  TMemoryStream junk;
  junk.WriteU32(0x12345678);
  junk.SetPosition(0);
  EXPECT_THROW(back.LoadFromStream(junk), EInvalidGraphic);
  // Monochrome pictures hold black and white only.
  TBitmap m(4, 4);
  m.Canvas()->SetPixel(0, 0, clSilver);
  m.Canvas()->SetPixel(1, 0, TColor(0x404040));
  m.SetMonochrome(true);
  EXPECT_EQ(m.Canvas()->Pixels(0, 0), clWhite);
  EXPECT_EQ(m.Canvas()->Pixels(1, 0), clBlack);
}
