// What the level bars and needle meters compute from their blocks, and how a bar is drawn.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "displays/MMLevel.h"
#include "displays/MMMeter.h"

namespace {

// The deck's bar: 377 x 41 less a bevel of 2 on each side holds 187 spots.
constexpr int kDeckSpots = 187;

TMMPcmShape Shape(bool bits16, int channels, TMMChannel ch = chBoth) {
  TMMPcmShape s;
  s.bits16 = bits16;
  s.channels = channels;
  s.samples = 4;
  s.channel = ch;
  return s;
}

}  // namespace

TEST(MMLevel, DeckGeometryAndTheValuePath) {
  const TMMLevelLayout l = LevelLayout(373, 1, 1, 50, 85);
  EXPECT_EQ(l.spots, 187);
  EXPECT_EQ(l.margin, 0);
  EXPECT_EQ(l.p1, 93);
  EXPECT_EQ(l.p2, 158);

  TMMLevelValues v;
  v.spots = kDeckSpots;
  int overflows = 0;
  v.OnGainOverflow = [&] { ++overflows; };
  EXPECT_TRUE(v.Feed(32767));
  EXPECT_EQ(v.Value(), 187);
  EXPECT_EQ(overflows, 0);   // full scale is the top spot, not beyond it
  EXPECT_TRUE(v.Feed(582));  // about -35 dB
  EXPECT_EQ(v.Value(), 0);
  // Value 50: 16384 (16383.5 rounded to even) is -6.02 dB, 154.83 spots -> 155, read back as 50.
  EXPECT_EQ(PercentToPeak(50), 16384);
  v.Feed(PercentToPeak(50));
  EXPECT_EQ(v.Value(), 155);
  EXPECT_EQ(v.Percent(), 50);
  EXPECT_EQ(PercentToPeak(150), 32767);

  // Gain 8 doubles the peak: full scale now lies beyond the top spot.
  v.gain = 16;
  v.Feed(32767);
  EXPECT_EQ(v.Value(), 187);
  EXPECT_EQ(overflows, 1);

  // Linear: the threshold 32767 x 10^(-35/20) = 582.7 is the bottom; symmetric bars halve.
  TMMLevelValues lin;
  lin.spots = kDeckSpots;
  lin.logAmp = false;
  lin.Feed(583);
  EXPECT_EQ(lin.Value(), 0);
  lin.Feed(32767);
  EXPECT_EQ(lin.Value(), 187);
  lin.Feed(16675);  // 93.50 spots
  EXPECT_EQ(lin.Value(), 94);
  EXPECT_EQ(lin.Percent(), 50);
  TMMLevelValues sym;
  sym.spots = kDeckSpots;
  sym.direction = dirSymetric;
  sym.Feed(32767);
  EXPECT_EQ(sym.Value(), 93);

  // Silence on a silent bar costs nothing and draws nothing.
  TMMLevelValues quiet;
  quiet.spots = kDeckSpots;
  EXPECT_FALSE(quiet.Feed(0));
}

TEST(MMLevel, BlockPeaksFollowTheChannelAndOffsets) {
  const int16_t mono[4] = {3, -32768, 5, 0};
  EXPECT_EQ(PcmBlockPeak(mono, Shape(true, 1)), 32768);  // reaches full scale: the overflow test fires
  const uint8_t silence[4] = {128, 128, 128, 128};
  EXPECT_EQ(PcmBlockPeak(silence, Shape(false, 1)), 0);
  const uint8_t loud8[4] = {0, 128, 255, 128};
  EXPECT_EQ(PcmBlockPeak(loud8, Shape(false, 1)), 32768);
  // Opposite channels cancel when both are shown; each alone keeps its own level and offset.
  const int16_t stereo[8] = {1000, -1000, 1000, -1000, 1000, -1000, 1000, -1000};
  EXPECT_EQ(PcmBlockPeak(stereo, Shape(true, 2, chBoth)), 0);
  TMMPcmShape right = Shape(true, 2, chRight);
  right.dcRight = -200;
  EXPECT_EQ(PcmBlockPeak(stereo, right), 800);
  TMMPcmShape left = Shape(true, 2, chLeft);
  left.dcLeft = 1000;
  EXPECT_EQ(PcmBlockPeak(stereo, left), 0);
  // 8-bit stereo: the channels are averaged (truncating) before the 128 bias comes off.
  const uint8_t s8[8] = {255, 0, 128, 128, 130, 131, 128, 128};
  EXPECT_EQ(PcmBlockPeak(s8, Shape(false, 2, chBoth)), 512);  // (255 + 0) / 2 = 127 -> 256; (130 + 131) / 2 -> 512
  // Four channels: frames are four samples wide, the first two are shown.
  const int16_t quad[8] = {10, 20, 30000, 30000, -40, -60, 30000, 30000};
  EXPECT_EQ(PcmBlockPeak(quad,
                         [] {
                           TMMPcmShape s = Shape(true, 4, chBoth);
                           s.samples = 2;
                           return s;
                         }()),
            50);
}

TEST(MMLevel, DecayConstantsAndRules) {
  TMMDecay d;
  EXPECT_DOUBLE_EQ(d.Factor(), 0.0001);  // never set: the constructor's factor stays
  d.SetDecay(1);
  EXPECT_NEAR(d.Factor(), 0.01, 1e-12);
  EXPECT_EQ(d.RingLength(), 1);
  d.SetDecay(16);
  EXPECT_NEAR(d.Factor(), 0.99986, 1e-5);
  EXPECT_EQ(d.RingLength(), 30);
  d.SetDecay(3);  // ring of 4
  d.Clear();
  EXPECT_EQ(d.Apply(dmUniform, 100), 100);
  EXPECT_EQ(d.Apply(dmUniform, 0), 50);
  EXPECT_EQ(d.Apply(dmUniform, 0), 33);
  EXPECT_EQ(d.Apply(dmUniform, 0), 25);
  EXPECT_EQ(d.Apply(dmUniform, 0), 0);  // the 100 has left the ring of four
  TMMDecay up;
  up.SetDecay(1);
  EXPECT_EQ(up.Apply(dmStepUp, 1000), 1000);
  EXPECT_EQ(up.Apply(dmStepUp, 0), 10);  // held 1000 x 0.01
  EXPECT_EQ(up.Apply(dmStepUp, 500), 500);
}

TEST(MMLevel, PeakMarkHoldsFortyOneTicksThenFalls) {
  TMMLevelValues v;
  v.spots = kDeckSpots;
  v.Feed(32767);
  v.Feed(PercentToPeak(50));
  EXPECT_EQ(v.Peak().Peak(), 187);
  EXPECT_EQ(v.Peak().Hold(), 41);
  for (int i = 0; i < 40; ++i) v.Tick();
  EXPECT_EQ(v.Peak().Peak(), 187);
  EXPECT_FALSE(v.Peak().Pending());
  v.Tick();
  EXPECT_EQ(v.Peak().Peak(), 0);
  EXPECT_TRUE(v.Peak().Pending());
  // The fall is drawn with the next block even when the value stays; that block arms a new mark
  // at the value itself.
  EXPECT_TRUE(v.Feed(PercentToPeak(50)));
  EXPECT_EQ(v.Peak().Peak(), 155);
  EXPECT_EQ(v.Peak().Hold(), 41);
  v.numPeaks = 0;
  v.Tick();
  EXPECT_FALSE(v.Feed(PercentToPeak(50)));  // no mark to arm, nothing moved: nothing to draw

  // PeakDelay 0: a counter of 1, gone on the next tick. PeakSpeed 3: one spot every 3 ticks.
  TMMLevelValues fast;
  fast.spots = kDeckSpots;
  fast.peakDelay = 0;
  fast.Feed(32767);
  fast.Tick();
  EXPECT_EQ(fast.Peak().Peak(), 0);
  TMMLevelValues walk;
  walk.spots = kDeckSpots;
  walk.peakDelay = 0;
  walk.SetPeakSpeed(3);
  walk.Feed(32767);
  walk.Tick();
  EXPECT_EQ(walk.Peak().Peak(), 186);
  walk.Tick();
  walk.Tick();
  EXPECT_EQ(walk.Peak().Peak(), 186);
  walk.Tick();
  EXPECT_EQ(walk.Peak().Peak(), 185);
}

TEST(MMLevel, DrawingOnlyTheChangedSpotsGivesTheWholePicture) {
  // Every direction and kind: a bar updated spot range by spot range after each new value and
  // mark must equal the same bar drawn whole.
  std::mt19937 rng(11);
  for (TMMLevelKind kind : {lkHorizontal, lkVertical})
    for (TMMLevelDirection dir : {dirNormal, dirReversed, dirSymetric})
      for (int peaks : {0, 1, 3}) {
        TMMBarLook look;
        look.kind = kind;
        look.direction = dir;
        look.width = kind == lkHorizontal ? 61 : 9;
        look.height = kind == lkHorizontal ? 9 : 61;
        look.spotWidth = 2;
        look.spotSpace = 1;
        look.layout = LevelLayout(61, 2, 1, 50, 85);
        look.colors[0] = 1, look.colors[1] = 2, look.colors[2] = 3;
        look.dotted = peaks == 1;
        look.numPeaks = peaks;
        const int n = look.layout.spots;
        std::vector<uint8_t> unlit(size_t(DIBRowBytes(int64_t(look.width) * 8)) * size_t(look.height), 0);
        auto fresh = [&](std::vector<uint8_t>& px, TMMDIBTarget& t, int value, int peak) {
          t.CopyRect(0, 0, look.width, look.height, 0, 0, unlit.data());
          DrawBarValue(t, look, value, peak, 1, n);
        };
        const int stride = DIBRowBytes(int64_t(look.width) * 8);
        std::vector<uint8_t> inc(unlit.size()), whole(unlit.size());
        TMMDIBTarget ti, tw;
        ti.Attach(inc.data(), nullptr, 8, look.width, look.height, stride, nullptr);
        tw.Attach(whole.data(), nullptr, 8, look.width, look.height, stride, nullptr);
        int value = 0, peak = 0;
        fresh(inc, ti, value, peak);
        std::uniform_int_distribution<int> spot(0, n);
        for (int step = 0; step < 200; ++step) {
          const int nv = spot(rng);
          const int np = step % 4 == 0 ? 0 : std::max(nv, spot(rng));
          int lo, hi;
          if (ChangedSpots(look, value, peak, nv, np, lo, hi)) {
            const TDIBRect r = SpotRangeRect(look, lo, hi);
            ti.CopyRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top, r.Left, r.Top, unlit.data());
            DrawBarValue(ti, look, nv, np, lo, hi);
          }
          value = nv, peak = np;
          fresh(whole, tw, value, peak);
          ASSERT_EQ(inc, whole) << "kind " << kind << " direction " << dir << " peaks " << peaks << " step " << step;
        }
      }
}

TEST(MMLevel, SpotsRunFromTheirDirectionsStart) {
  TMMBarLook look;
  look.width = 20;
  look.height = 5;
  look.layout = LevelLayout(20, 1, 1, 50, 85);  // 10 spots, margin 0
  EXPECT_EQ(SpotRect(look, 1), (TDIBRect{0, 0, 1, 5}));
  look.direction = dirReversed;
  EXPECT_EQ(SpotRect(look, 1), (TDIBRect{19, 0, 20, 5}));
  look.kind = lkVertical;
  look.width = 5;
  look.height = 20;
  look.direction = dirNormal;
  EXPECT_EQ(SpotRect(look, 1), (TDIBRect{0, 19, 5, 20}));  // from the bottom up
  EXPECT_EQ(SpotRect(look, 10), (TDIBRect{0, 1, 5, 2}));
}

TEST(MMLevel, DeckScaleStripLabels) {
  // Arial 12 stand-in: 7 pixels a character, 14 high; the deck's strip is 377 wide, bevel 1.
  auto extent = [](const std::string& t, int& w, int& h) {
    w = int(t.size()) * 7;
    h = 14;
  };
  TMMLevelScaleSetup s;
  s.inner = {1, 1, 376, 22};
  s.controlLength = 377;
  s.colors[0] = plat::clAqua;
  s.colors[1] = plat::clYellow;
  const TMMLevelScalePlan p = PlanLevelScale(s, extent);
  ASSERT_EQ(p.labels.size(), 7u);  // "-35" would start before the strip
  EXPECT_EQ(p.labels[0].text, "0");
  EXPECT_EQ(p.labels[0].x + 7, 1 + 374);  // ends at the right end
  EXPECT_EQ(p.labels[0].color, plat::clRed);
  EXPECT_EQ(p.labels[1].text, "-5");
  EXPECT_EQ(p.labels[1].x + 14, 1 + 321);  // ends at 6/7 of the length
  EXPECT_EQ(p.labels[1].color, plat::clRed);
  EXPECT_EQ(p.labels[2].color, plat::clYellow);
  EXPECT_EQ(p.labels[3].text, "-15");
  EXPECT_EQ(p.labels[3].color, plat::clYellow);
  EXPECT_EQ(p.labels[4].color, plat::clAqua);
  EXPECT_EQ(p.labels[6].text, "-30");
  EXPECT_EQ(p.labels[0].y, 1 + (21 - 14) / 2);
  EXPECT_TRUE(p.rows.empty());

  // Tick rows on both sides take their depth from the label area; a strip too short for one label
  // shows none (and divides by nothing).
  s.rowsVisible = true;
  s.rowLook.tickCount = 11;
  const TMMLevelScalePlan rows = PlanLevelScale(s, extent);
  ASSERT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(rows.rows[0].rect, (TDIBRect{1 + 3, 1, 376 - 3, 1 + 7}));
  EXPECT_EQ(rows.rowLook.b1, 5);  // MulDiv(49, 11, 100) rounded
  EXPECT_EQ(rows.rowLook.b2, 9);
  s.controlLength = 20;
  s.inner = {0, 0, 20, 23};
  EXPECT_TRUE(PlanLevelScale(s, extent).labels.empty());
}
