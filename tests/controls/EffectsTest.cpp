#include <gtest/gtest.h>

#include "KitTestSupport.h"
#include "common/raised.h"
#include "controls/ZelBitmapEffectObject.h"
#include "controls/ZelFillObject.h"
#include "controls/zelbmp.h"

using plat::TBitmap;

TEST(PixelOps, GreyInvertBrightnessBlend) {
  TBitmap b;
  Blank(b, 4, 2, plat::clRed);
  GrayScaleBits(b, plat::Rect(0, 0, 2, 2), b, {0, 0});
  // round(0.3 * 255) = 76 (half to even), green and blue add nothing.
  EXPECT_EQ(PixelOf(b, 0, 0), 0x4C4C4Cu);
  EXPECT_EQ(PixelOf(b, 2, 0), 0x0000FFu);  // outside the rectangle
  Blank(b, 2, 1, plat::clWhite);
  GrayScaleBits(b, plat::Rect(0, 0, 2, 1), b, {0, 0});
  EXPECT_EQ(PixelOf(b, 0, 0), 0xFEFEFEu);  // 76 + 150 + 28

  Blank(b, 2, 1, 0x3C64C8);  // red 200, green 100, blue 60
  BrightnessBits(b, plat::Rect(0, 0, 2, 1), b, 100, {0, 0});
  EXPECT_EQ(PixelOf(b, 0, 0), 0xA0C8FFu);
  BrightnessBits(b, plat::Rect(0, 0, 2, 1), b, -200, {0, 0});
  EXPECT_EQ(PixelOf(b, 0, 0), 0x000037u);
  InvertBits(b, plat::Rect(0, 0, 1, 1), b, {0, 0});
  EXPECT_EQ(PixelOf(b, 0, 0), 0xFFFFC8u);

  TBitmap one, two, out;
  Blank(one, 3, 3, 0xC8C8C8);  // 200
  Blank(two, 3, 3, 0x646464);  // 100
  Blank(out, 3, 3, plat::clBlack);
  AlphaBlendBits(one, plat::Rect(0, 0, 3, 3), two, {0, 0}, 0.6f, out, {0, 0});
  EXPECT_EQ(PixelOf(out, 1, 1), 0xA0A0A0u);  // 100 + round(100 * 0.6)
  AlphaBlendBits(one, plat::Rect(0, 0, 3, 3), two, {0, 0}, 0.0f, out, {0, 0});
  EXPECT_EQ(PixelOf(out, 1, 1), 0x646464u);
}

TEST(PixelOps, WrongFormatsAndRectanglesOutside) {
  TBitmap eight, ok;
  eight.SetSize(4, 4);
  eight.SetPixelFormat(plat::pf8bit);
  Blank(ok, 4, 4, plat::clWhite);
  EXPECT_EQ(MessageOf([&] {
              AlphaBlendBits(eight, plat::Rect(0, 0, 4, 4), ok, {0, 0}, 0.5f, ok, {0, 0});
            }),
            "Wrong PixelFormat in Source 1 bitmap!");
  EXPECT_EQ(MessageOf([&] {
              AlphaBlendBits(ok, plat::Rect(0, 0, 4, 4), eight, {0, 0}, 0.5f, ok, {0, 0});
            }),
            "Wrong PixelFormat in Source 2 bitmap!");
  EXPECT_EQ(MessageOf([&] {
              InvertBits(ok, plat::Rect(0, 0, 4, 4), eight, {0, 0});
            }),
            "Wrong PixelFormat in Target bitmap!");
  EXPECT_THROW(GrayScaleBits(eight, plat::Rect(0, 0, 4, 4), ok, {0, 0}), EZelWrongPixelFormat);

  // Rectangles and points reaching outside either bitmap are cut to what lies inside.
  TBitmap small;
  Blank(small, 3, 3, plat::clBlack);
  InvertBits(ok, plat::Rect(-5, -5, 100, 100), small, {-1, 1});
  EXPECT_EQ(CountColor(small, 0x000000), 3 * 3);  // nothing of it lands in small
  Blank(small, 3, 3, plat::clWhite);
  InvertBits(ok, plat::Rect(0, 0, 4, 4), small, {1, 2});
  EXPECT_EQ(CountColor(small, 0x000000), 2 * 1);
  AlphaBlendBits(ok, plat::Rect(2, 2, 50, 50), small, {-10, 0}, 0.3f, small, {0, 0});
  FlipRowsBits(ok, plat::Rect(3, 3, 9, 9), small, {2, 2});
}

TEST(PixelOps, FlipsInPlace) {
  TBitmap b;
  Blank(b, 3, 2, plat::clWhite);
  b.Canvas()->SetPixel(0, 0, plat::clRed);
  FlipColumnsBits(b, plat::Rect(0, 0, 3, 2), b, {0, 0});
  EXPECT_EQ(PixelOf(b, 2, 0), 0x0000FFu);
  EXPECT_EQ(PixelOf(b, 0, 0), 0xFFFFFFu);
  FlipRowsBits(b, plat::Rect(0, 0, 3, 2), b, {0, 0});
  EXPECT_EQ(PixelOf(b, 2, 1), 0x0000FFu);
  EXPECT_EQ(CountColor(b, 0x0000FF), 1);
}

TEST(Effects, PipelineOrderBufferAndBlend) {
  TBitmap p;
  Blank(p, 4, 4, plat::clWhite);
  p.Canvas()->SetPixel(0, 0, plat::clRed);
  TZelBitmapEffectObject e;
  e.SetFlipVertical(true);
  e.SetGrayScale(true);
  e.SetInvert(true);
  ApplyEffects(e, p);
  // Mirrored left to right, then grey (76), then inverted (179).
  EXPECT_EQ(PixelOf(p, 3, 0), 0xB3B3B3u);
  EXPECT_EQ(PixelOf(p, 0, 0), 0x010101u);

  // Kept results are drawn again until an option changes.
  TZelBitmapEffectObject kept;
  kept.SetBuffered(true);
  kept.SetBrightness(-10);
  TBitmap q;
  Blank(q, 2, 2, 0x808080);
  ApplyEffects(kept, q);
  EXPECT_TRUE(kept.BufferValid());
  TBitmap other;
  Blank(other, 2, 2, plat::clWhite);
  ApplyEffects(kept, other);
  EXPECT_EQ(PixelOf(other, 0, 0), 0x767676u);
  kept.SetBrightness(-20);
  EXPECT_FALSE(kept.BufferValid());
  Blank(other, 2, 2, plat::clWhite);
  ApplyEffects(kept, other);
  EXPECT_EQ(PixelOf(other, 0, 0), 0xEBEBEBu);

  // Strength 1 keeps the picture, 0 leaves only the fill.
  TZelAlphaObject alpha;
  alpha.FillObject()->SetStyle(sfBrush);
  alpha.FillObject()->Brush()->SetColor(plat::clBlue);
  alpha.SetStrength(1);
  TBitmap a;
  Blank(a, 2, 2, plat::clRed);
  AlphaBlendObject(alpha, a);
  EXPECT_EQ(PixelOf(a, 0, 0), 0x0000FFu);
  alpha.SetStrength(0);
  AlphaBlendObject(alpha, a);
  EXPECT_EQ(PixelOf(a, 0, 0), 0xFF0000u);
  // A picture of another format is made 24-bit rather than refused.
  TBitmap device(2, 2);
  EXPECT_NO_THROW(AlphaBlendObject(alpha, device));
  EXPECT_EQ(device.PixelFormat(), plat::pf24bit);

  TBitmap src, area;
  Blank(src, 10, 10, plat::clWhite);
  src.Canvas()->SetPixel(5, 5, plat::clBlack);
  TZelBitmapEffectObject inv;
  inv.SetInvert(true);
  ApplyEffectsToArea(inv, src, plat::Rect(4, 4, 8, 8), area);
  EXPECT_EQ(area.Width(), 4);
  EXPECT_EQ(PixelOf(area, 1, 1), 0xFFFFFFu);
  EXPECT_EQ(PixelOf(area, 0, 0), 0x000000u);
}

TEST(Fills, ByStyle) {
  TBitmap b;
  TZelFillObject fill;
  const plat::TRect r = plat::Rect(2, 2, 8, 8);
  Blank(b, 10, 10, plat::clWhite);
  EXPECT_TRUE(FillObjectFill(fill, *b.Canvas(), r, plat::clLime));  // sfNone with foFillInner
  EXPECT_EQ(CountColor(b, 0x00FF00), 36);
  fill.SetOptions(0);
  Blank(b, 10, 10, plat::clWhite);
  EXPECT_FALSE(FillObjectFill(fill, *b.Canvas(), r, plat::clLime));
  EXPECT_EQ(CountColor(b, 0xFFFFFF), 100);

  fill.SetStyle(sfBitmap);
  fill.SetTileMode(tmNone);
  fill.SetOptions(foFillInner);
  fill.SetAlignment(agBottomRight);
  Blank(*fill.Bitmap(), 2, 2, plat::clRed);
  FillObjectFill(fill, *b.Canvas(), r, plat::clLime);
  EXPECT_EQ(CountColor(b, 0x0000FF), 4);
  EXPECT_EQ(PixelOf(b, 7, 7), 0x0000FFu);
  EXPECT_EQ(PixelOf(b, 2, 2), 0x00FF00u);

  fill.SetStyle(sfGradient);
  fill.Gradient()->SetColor(plat::clBlack);
  fill.Gradient()->SetEndColor(plat::clBlack);
  FillObjectFill(fill, *b.Canvas(), r, plat::clLime);
  EXPECT_EQ(CountColor(b, 0x000000), 36);
  EXPECT_EQ(b.Canvas()->Brush()->Color(), plat::clWhite);  // the canvas's brush comes back
}
