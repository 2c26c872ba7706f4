// The display canvases' pixel routines and colour tables, on plain pixel blocks.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "displays/MMDIBCv.h"

namespace {

// A top-down block of w x h pixels with its own colour table.
struct Block {
  Block(int bits, int w, int h) : bits(bits), w(w), h(h), stride(DIBRowBytes(int64_t(w) * bits)) {
    data.assign(size_t(stride) * size_t(h) + 64, 0xEE);  // bytes past the end must stay 0xEE
    table = MakeCanvasColorTable(nullptr, 0, {});
    t.Attach(data.data(), nullptr, bits, w, h, stride, &table);
    t.SetRawColor(0);
    t.Clear();
  }
  int Lit() const {
    int n = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) n += t.Pixel(x, y) != 0;
    return n;
  }
  bool TailIntact() const {
    for (size_t i = size_t(stride) * size_t(h); i < data.size(); ++i)
      if (data[i] != 0xEE) return false;
    return true;
  }
  int bits, w, h, stride;
  std::vector<uint8_t> data;
  TDIBColorTable table;
  TMMDIBTarget t;
};

}  // namespace

TEST(MMDIBCv, ColourTableKeepsTheStaticColoursAroundTheAnimatedOnes) {
  TLogPalette source;
  for (int i = 0; i < 256; ++i) source.palPalEntry.push_back({uint8_t(i), uint8_t(255 - i), 7, 0});
  std::vector<TPaletteEntry> animated(236, TPaletteEntry{1, 2, 3, 0});
  animated[0] = {9, 9, 9, 0};
  const TDIBColorTable t = MakeCanvasColorTable(&source, 236, animated);
  const TLogPalette def = CreateDefaultPalette();
  // The twenty static colours survive every request, entry 246 (255, 251, 240) included.
  for (int i : {0, 9, 246, 250, 255}) EXPECT_EQ(t[size_t(i)], def.palPalEntry[size_t(i)]) << i;
  EXPECT_EQ(t[10], (TPaletteEntry{9, 9, 9, kPaletteReserved}));
  EXPECT_EQ(t[245], (TPaletteEntry{1, 2, 3, kPaletteReserved}));
  EXPECT_EQ(AnimatedColorIndex(236, 0), 10);

  // Fewer animated colours end at 245; the rest of 10..245 is the source's, marked no-collapse.
  const TDIBColorTable u = MakeCanvasColorTable(&source, 2, {{50, 60, 70, 0}, {80, 90, 100, 0}});
  EXPECT_EQ(u[244], (TPaletteEntry{50, 60, 70, kPaletteReserved}));
  EXPECT_EQ(u[245], (TPaletteEntry{80, 90, 100, kPaletteReserved}));
  EXPECT_EQ(u[243], (TPaletteEntry{243, 12, 7, kPaletteNoCollapse}));
  EXPECT_EQ(u[246], def.palPalEntry[246]);

  // The level bars' colours are all static ones: the nearest entries are exact.
  Block b(8, 4, 4);
  EXPECT_EQ(b.t.ColorWord(plat::clAqua), 254u);
  EXPECT_EQ(b.t.ColorWord(plat::clRed), 249u);
  EXPECT_EQ(b.t.ColorWord(plat::clTeal), 6u);
  EXPECT_EQ(b.t.ColorWord(plat::clMaroon), 1u);
  EXPECT_EQ(b.t.ColorWord(plat::clOlive), 3u);
  EXPECT_EQ(b.t.ColorWord(plat::TColor(0x01000000 | 77)), 77u);  // a palette index names its entry
}

TEST(MMDIBCv, PixelsAre24BitBlueGreenRedAndClipped) {
  Block b(24, 5, 3);
  b.t.SetColor(plat::TColor(plat::RGB(1, 2, 3)));
  b.t.SetPixel(4, 2);
  const uint8_t* p = b.data.data() + 2 * b.stride + 12;
  EXPECT_EQ(p[0], 3);
  EXPECT_EQ(p[1], 2);
  EXPECT_EQ(p[2], 1);
  EXPECT_EQ(b.t.Pixel(4, 2), plat::RGB(1, 2, 3));
  b.t.SetClipRect({1, 1, 3, 2});
  b.t.HLine(-100, 100, 1);
  b.t.FillRect({-5, -5, 50, 50});
  b.t.VLine(2, -9, 9);
  EXPECT_EQ(b.Lit(), 3);  // the 2 pixels of the clip, and the first pixel
  EXPECT_TRUE(b.TailIntact());
}

TEST(MMDIBCv, SpansDrawEitherWayRoundAndDotsStayPut) {
  Block b(8, 20, 6);
  b.t.SetRawColor(5);
  b.t.HLine(9, 3, 0);  // drawn as 3..9
  for (int x = 0; x < 20; ++x) EXPECT_EQ(b.t.Pixel(x, 0), x >= 3 && x <= 9 ? 5u : 0u) << x;
  b.t.VLineDotted(0, 5, 1, 2);  // 1, 3, 5
  EXPECT_EQ(b.t.Pixel(0, 1), 5u);
  EXPECT_EQ(b.t.Pixel(0, 2), 0u);
  EXPECT_EQ(b.t.Pixel(0, 5), 5u);
  // A dotted rectangle lights every second pixel of every second row from its own corner, also
  // where a clip cuts it off.
  Block whole(8, 20, 10), clipped(8, 20, 10);
  for (Block* k : {&whole, &clipped}) k->t.SetRawColor(1);
  clipped.t.SetClipRect({6, 4, 20, 10});
  whole.t.FillRectDotted({5, 3, 15, 9}, true);
  clipped.t.FillRectDotted({5, 3, 15, 9}, true);
  EXPECT_EQ(whole.t.Pixel(5, 3), 1u);
  EXPECT_EQ(whole.t.Pixel(6, 3), 0u);
  EXPECT_EQ(whole.t.Pixel(5, 4), 0u);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) {
      const bool inClip = x >= 6 && y >= 4;
      EXPECT_EQ(clipped.t.Pixel(x, y), inClip ? whole.t.Pixel(x, y) : 0u) << x << "," << y;
    }
}

TEST(MMDIBCv, ClippedLinesAreTheUnclippedLinesCut) {
  // Random lines, many reaching far outside: drawn into a clip they must light exactly the pixels
  // the same line lights inside that clip on a target large enough to hold it all.
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> near(-30, 90), far(-2000000000, 2000000000);
  const TDIBRect clip{10, 5, 50, 40};
  for (int n = 0; n < 300; ++n) {
    const bool distant = n % 5 == 0;
    int x1 = near(rng), y1 = near(rng), x2 = near(rng), y2 = near(rng);
    if (distant) x1 = far(rng), y1 = far(rng);
    Block small(8, 60, 60);
    small.t.SetClipRect(clip);
    small.t.SetRawColor(9);
    small.t.Line(x1, y1, x2, y2);
    EXPECT_TRUE(small.TailIntact());
    if (distant) {
      // Only bounded work and no stray pixels: everything lit lies in the clip.
      for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
          if (small.t.Pixel(x, y)) {
            EXPECT_TRUE(x >= 10 && x < 50 && y >= 5 && y < 40);
          }
      continue;
    }
    Block big(8, 300, 300);
    big.t.SetRawColor(9);
    big.t.Line(x1 + 100, y1 + 100, x2 + 100, y2 + 100);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 60; ++x) {
        const bool inClip = x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom;
        ASSERT_EQ(small.t.Pixel(x, y), inClip ? big.t.Pixel(x + 100, y + 100) : 0u)
            << "line " << x1 << "," << y1 << " - " << x2 << "," << y2 << " at " << x << "," << y;
      }
  }
  // A line wholly outside draws nothing; both end points belong to a line.
  Block b(8, 20, 20);
  b.t.SetRawColor(2);
  b.t.Line(-5, -1, 30, -3);
  EXPECT_EQ(b.Lit(), 0);
  b.t.MoveTo(2, 2);
  b.t.LineTo(6, 4);
  EXPECT_EQ(b.t.Pixel(2, 2), 2u);
  EXPECT_EQ(b.t.Pixel(6, 4), 2u);
}

TEST(MMDIBCv, CopiesOnlyWhatBothPicturesHold) {
  Block dst(8, 16, 8), src(8, 40, 3);
  src.t.SetRawColor(4);
  src.t.Clear();
  dst.t.CopyRect(-3, 2, 100, 100, 0, 0, src.t);
  EXPECT_EQ(dst.Lit(), 16 * 3);  // rows 2..4: the source has 3 rows
  EXPECT_TRUE(dst.TailIntact());
  Block other(24, 16, 8);
  other.t.SetRawColor(0x123456);
  other.t.Clear();
  Block untouched(8, 16, 8);
  untouched.t.CopyRect(0, 0, 16, 8, 0, 0, other.t);  // formats differ: nothing
  EXPECT_EQ(untouched.Lit(), 0);
  // The spectrogram's colour run: pixel k takes colour k, upwards too.
  const uint8_t run[4] = {11, 12, 13, 14};
  dst.t.VColorRun(15, 7, 4, run);
  EXPECT_EQ(dst.t.Pixel(15, 7), 11u);
  EXPECT_EQ(dst.t.Pixel(15, 4), 14u);
}
