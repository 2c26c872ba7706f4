// Tick rows, the needle meter's value path and arc, the slider's mapping and travel, the gauge's
// percent: the arithmetic of the displays without drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "displays/MMGauge.h"
#include "displays/MMMeter.h"
#include "displays/MMScale.h"
#include "displays/MMSlider.h"

namespace {
constexpr int32_t kFiveHours = 5 * 3600 * 1000;  // a cart length in milliseconds
}

TEST(MMScale, TickRowsTakeZonesLengthsAndSides) {
  TMMScaleLook look;
  look.tickCount = 11;
  look.enlargeEvery = 5;
  look.size = 7;
  look.color = plat::clAqua;
  look.zone2 = plat::clYellow;
  look.zone3 = plat::clRed;
  look.b1 = 5;
  look.b2 = 9;
  // A row above a bar (first side), growing from its inner (bottom) edge.
  auto lines = ScaleRowLines(look, {0, 0, 100, 7}, true);
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], (TMMScaleLine{0, 6, 0, 0, plat::clAqua}));    // long, 7 pixels up from y = 6
  EXPECT_EQ(lines[1], (TMMScaleLine{10, 6, 10, 4, plat::clAqua}));  // short: 7 / 2 = 3 pixels
  // Positions, not tick numbers, meet the borders: tick 5 (at 50) lies past b1 = 5 of 11 (45.5),
  // tick 9 (at 90) past b2 = 9 of 11 (81.8).
  EXPECT_EQ(lines[4].color, plat::clAqua);
  EXPECT_EQ(lines[5].color, plat::clYellow);
  EXPECT_EQ(lines[8].color, plat::clYellow);
  EXPECT_EQ(lines[9].color, plat::clRed);
  EXPECT_EQ(lines[10].x1, 100);  // ticks reach both ends
  // Below it, from the outer (bottom) edge, with the base line there and the 3-D pair beside.
  look.origin = soOuter;
  look.connect = true;
  look.style = stLowered;
  EXPECT_EQ(ScaleRowHeight(look), 9);
  lines = ScaleRowLines(look, {0, 20, 100, 29}, false);
  ASSERT_EQ(lines.size(), 2u + 22u);
  EXPECT_EQ(lines[0], (TMMScaleLine{0, 28, 100, 28, plat::clBlack}));
  EXPECT_EQ(lines[1], (TMMScaleLine{0, 27, 100, 27, plat::clWhite}));
  EXPECT_EQ(lines[2], (TMMScaleLine{0, 26, 0, 20, plat::clBlack}));
  EXPECT_EQ(lines[3], (TMMScaleLine{1, 26, 1, 20, plat::clWhite}));
  // Zones colour only stColor rows, and the base line changes colour at (b + 1) x L / count.
  look.style = stColor;
  lines = ScaleRowLines(look, {0, 0, 110, 8}, false);
  EXPECT_EQ(lines[0], (TMMScaleLine{0, 7, 59, 7, plat::clAqua}));
  EXPECT_EQ(lines[1], (TMMScaleLine{60, 7, 99, 7, plat::clYellow}));
  EXPECT_EQ(lines[2], (TMMScaleLine{100, 7, 110, 7, plat::clRed}));
  // A vertical row: the longer side runs down.
  lines = ScaleRowLines(look, {0, 0, 8, 50}, true);
  EXPECT_EQ(lines.back().y1, 50);
  EXPECT_EQ(lines.back().x1, 1);  // from the outer (left) edge inwards, past the base line at x = 0
  EXPECT_EQ(lines.back().x2, 7);
}

TEST(MMMeter, NeedleRunsBetweenTheScaleEnds) {
  TMMMeterGeometry g;  // 170 x 90 inner, pivot 30 below, 90 degrees
  g.w = 173;
  g.h = 93;  // the deck's 177 x 97 less its bevel
  const int R = g.Radius();
  EXPECT_EQ(R, 93 + 30 - 14);
  EXPECT_EQ(g.Pivot(), (TMMPoint{86, 123}));
  // 45 degrees left of vertical at 0, right of it at full scale, straight up in the middle.
  const int d = int(std::nearbyint(std::cos(M_PI / 4) * R));
  EXPECT_EQ(g.At(0, R), (TMMPoint{86 - d, 123 - d}));
  EXPECT_EQ(g.At(32767, R), (TMMPoint{86 + d, 123 - d}));
  EXPECT_EQ(g.At(16383, R).x, 86);
  g.scaleAngle = 180;
  EXPECT_EQ(g.At(0, R), (TMMPoint{86 - R, 123}));

  TMMMeterValues v;
  int overflows = 0;
  v.OnGainOverflow = [&] { ++overflows; };
  v.Feed(103);  // -50.05 dB: below the left end
  EXPECT_EQ(v.Needle(), 0);
  v.Feed(32767);
  EXPECT_EQ(v.Needle(), 32767);
  EXPECT_EQ(overflows, 1);  // reaching the top counts as overflow
  v.Feed(1);                // -90 dB: treated as -100 dB at most, still at rest
  EXPECT_EQ(v.Needle(), 0);
  EXPECT_EQ(v.Peak().Peak(), 32767);

  // The peak needle snaps onto the needle after 41 ticks; with PeakSpeed 5 it walks down by 500.
  for (int i = 0; i < 41; ++i) v.Tick();
  EXPECT_EQ(v.Peak().Peak(), 0);
  TMMMeterValues walk;
  walk.peakDelay = 0;
  walk.SetPeakSpeed(5);
  walk.Feed(32767);
  walk.Feed(PercentToPeak(50));  // needle at 28822
  walk.Tick();
  EXPECT_EQ(walk.Peak().Peak(), 32267);
  for (int i = 0; i < 5; ++i) walk.Tick();
  EXPECT_EQ(walk.Peak().Peak(), 31767);
  for (int i = 0; i < 200; ++i) walk.Tick();
  EXPECT_EQ(walk.Peak().Peak(), walk.Needle());  // never below the needle
}

TEST(MMMeter, ArcTicksAndLabelsWithTheDefaults) {
  TMMMeterGeometry g;
  TMMMeterScaleLook s;
  const auto ticks = MeterTicks(g, s);
  ASSERT_EQ(ticks.size(), 41u);
  EXPECT_EQ(ticks[0].color, plat::clGreen);
  EXPECT_EQ(ticks[24].color, plat::clGreen);  // 60 % exactly is not past the border
  EXPECT_EQ(ticks[25].color, plat::clYellow);
  EXPECT_EQ(ticks[40].color, plat::clRed);
  const auto labels = MeterLabels(
      g, s, [](const std::string& t) { return int(t.size()) * 4; }, 8);
  std::vector<std::string> texts;
  for (const auto& l : labels) texts.push_back(l.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"-50", "-40", "-30", "-20", "-10", "0"}));
  // The digits are centred on the tick and the sign hangs to the left.
  const TMMPoint p = g.At(0, g.Radius() - 2);
  EXPECT_EQ(labels[0].x, p.x + 8 / 2 - 12 + 1);
  EXPECT_EQ(labels[0].y, p.y - 8 - 3);
  s.textEvery = 0;
  EXPECT_TRUE(MeterLabels(
                  g, s, [](const std::string&) { return 1; }, 8)
                  .empty());
  s.ticks = 1;
  EXPECT_TRUE(MeterTicks(g, s).empty());
  EXPECT_EQ(MeterCaptionBand(g, 13), (TDIBRect{0, 90 - 5 - 13, 170, 85}));
}

TEST(MMSlider, LogarithmicMapping) {
  TMMSliderMapping m;
  m.maxValue = 100;
  m.logarithmic = true;
  EXPECT_EQ(m.ToStored(100), 100);
  EXPECT_EQ(m.ToStored(50), 75);
  EXPECT_EQ(m.ToStored(5), 0);
  EXPECT_EQ(m.ToValue(100), 100);
  EXPECT_EQ(m.ToValue(75), 50);
  EXPECT_EQ(m.ToValue(0), 0);
  // No log of nothing: a value of 0 or below is the bottom.
  EXPECT_EQ(m.ToStored(0), 0);
  EXPECT_EQ(m.ToStored(-7), 0);
  m.minValue = 10;
  EXPECT_EQ(m.ToStored(-7), 10);
  // A five-hour range maps without overflow either way.
  m.minValue = 0;
  m.maxValue = kFiveHours;
  EXPECT_EQ(m.ToStored(kFiveHours), kFiveHours);
  EXPECT_NEAR(m.ToValue(m.ToStored(kFiveHours / 2)), kFiveHours / 2, 2000);
}

TEST(MMSlider, KeysStepAndStopAtTheEnds) {
  TMMSliderMapping m;
  m.maxValue = 100;
  int32_t t = 0;
  ASSERT_TRUE(SliderKeyTarget(skPageUp, 98, m, 1, 5, true, t));
  EXPECT_EQ(t, 100);
  SliderKeyTarget(skPageDown, 3, m, 1, 5, true, t);
  EXPECT_EQ(t, 0);
  SliderKeyTarget(skEnd, 40, m, 1, 5, true, t);
  EXPECT_EQ(t, 100);
  SliderKeyTarget(skEnd, 40, m, 1, 5, false, t);  // a vertical slider ends at the bottom
  EXPECT_EQ(t, 0);
  SliderKeyTarget(skHome, 40, m, 1, 5, false, t);
  EXPECT_EQ(t, 100);
  SliderKeyTarget(skRight, 100, m, 1, 5, true, t);
  EXPECT_EQ(t, 100);
  SliderKeyTarget(skDown, 40, m, 3, 5, true, t);
  EXPECT_EQ(t, 37);
  EXPECT_FALSE(SliderKeyTarget(skNone, 40, m, 1, 5, true, t));
  m.maxValue = INT32_MAX;
  SliderKeyTarget(skPageUp, INT32_MAX - 1, m, 1, 5, true, t);
  EXPECT_EQ(t, INT32_MAX);
}

TEST(MMSlider, DeckGeometryAndAFiveHourCart) {
  TMMSliderLayout l;  // the deck's: 377 x 41, bevel 1 + border 5, groove bevel 1, scale below
  l.width = 377;
  l.height = 41;
  l.bevelExtent = 6;
  l.scaleVisible = true;
  l.scaleDistance = 5;
  l.scaleHeight = 8;
  const TMMSliderParts p = SliderParts(l);
  EXPECT_EQ(p.inner, (TDIBRect{6, 6, 371, 35}));
  EXPECT_EQ(p.travel, 365 - 11);
  EXPECT_EQ(p.groove, (TDIBRect{11, 15, 366, 20}));
  ASSERT_EQ(p.rows.size(), 1u);
  EXPECT_EQ(p.rows[0].first, (TDIBRect{11, 26, 11 + 354, 34}));  // inside the inner rectangle
  TMMSliderMapping m;
  m.maxValue = kFiveHours;
  EXPECT_EQ(SliderThumb(l, p, m, 0), (TDIBRect{6, 6, 17, 29}));
  // (p - min) x travel overflows 32 bits past 2^31 / 354 ms = 1.7 hours.
  EXPECT_EQ(SliderThumbOffset(p, m, kFiveHours / 2), 177);
  EXPECT_EQ(SliderThumbOffset(p, m, kFiveHours), 354);
  TMMSliderMapping half = m;
  half.maxValue = 2 * 354;
  EXPECT_EQ(SliderThumbOffset(p, half, 1), 0);  // half a pixel: ties go to even
  EXPECT_EQ(SliderThumbOffset(p, half, 3), 2);
  int32_t pos = 0;
  ASSERT_TRUE(SliderPointToPosition(l, p, m, 6 + 5 + 177, 20, pos));
  EXPECT_EQ(pos, kFiveHours / 2);
  ASSERT_TRUE(SliderDragPosition(p, m, kFiveHours / 2, 1, pos));
  EXPECT_EQ(pos, kFiveHours / 2 + 50847);  // 18,000,000 / 354 = 50847.46
  ASSERT_TRUE(SliderDragPosition(p, m, 0, -3, pos));
  EXPECT_EQ(pos, 0);
  // A slider without travel: the pointer and the drag ask for nothing.
  TMMSliderLayout tiny = l;
  tiny.width = 20;
  const TMMSliderParts tp = SliderParts(tiny);
  EXPECT_EQ(tp.travel, 0);
  EXPECT_FALSE(SliderPointToPosition(tiny, tp, m, 10, 10, pos));
  EXPECT_FALSE(SliderDragPosition(tp, m, 0, 5, pos));
  EXPECT_EQ(SliderThumbOffset(tp, m, kFiveHours), 0);
  // A vertical slider has its minimum at the bottom.
  TMMSliderLayout v;
  v.width = 40;
  v.height = 200;
  v.horizontal = false;
  const TMMSliderParts vp = SliderParts(v);
  m.maxValue = 10;
  EXPECT_EQ(SliderThumb(v, vp, m, 0).Bottom, 200);
  EXPECT_EQ(SliderThumb(v, vp, m, 10).Top, 0);
}

TEST(MMGauge, PercentOfLongRangesIsTruncated) {
  EXPECT_EQ(GaugePercent(kFiveHours / 2, 0, kFiveHours), 50);
  EXPECT_EQ(GaugePercent(kFiveHours - 18000, 0, kFiveHours), 99);  // 99.9 %
  EXPECT_EQ(GaugePercent(5, 5, 5), 0);
  EXPECT_EQ(GaugePercent(-2147483647, -2147483647, 2147483647), 0);
  EXPECT_EQ(GaugePercent(2147483647, -2147483647, 2147483647), 100);
  EXPECT_EQ(GaugePercent(500, 0, 100), 500);  // the range was narrowed after the progress was set
  EXPECT_EQ(GaugeLength(193, 50), 96);
  EXPECT_EQ(GaugeLength(100, 7), 7);
  EXPECT_EQ(GaugeText("", 42), "42%");
  EXPECT_EQ(GaugeText("Punch In Time Used", 99), "Punch In Time Used 99%");
  EXPECT_EQ(GaugeNeedlePoint(100, 50, 0), (TMMPoint{0, 49}));
  EXPECT_EQ(GaugeNeedlePoint(100, 50, 50), (TMMPoint{50, 0}));
  EXPECT_EQ(GaugeNeedlePoint(100, 50, 100), (TMMPoint{100, 49}));
  EXPECT_EQ(GaugePiePoint(100, 60, 25), (TMMPoint{100, 30}));  // a quarter: the right
}
