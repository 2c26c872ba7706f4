// What the oscilloscope and the light compute: feed steps, points, rows and their overflow tests,
// selections, bands and shading.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "displays/MMLight.h"
#include "displays/MMOscope.h"

TEST(MMOscope, FeedStepsAndPointsFollowTheZoom) {
  TMMScopeShape s;
  s.bits16 = true;
  s.channels = 2;
  EXPECT_EQ(ScopeFeedStep(s, false, 128, 194, 1), 776);
  EXPECT_EQ(ScopeFeedStep(s, false, 128, 194, 3), 3 * 776);
  EXPECT_EQ(ScopeFeedStep(s, false, 128, 194, -2), 260);
  EXPECT_EQ(ScopeFeedStep(s, true, 128, 194, 1), 512);

  // Frames numbered 0, 1, 2, ... on the left channel.
  std::vector<int16_t> block(2 * 600);
  for (int f = 0; f < 600; ++f) block[size_t(2 * f)] = int16_t(f), block[size_t(2 * f + 1)] = int16_t(-f);
  s.channel = chLeft;
  std::vector<int16_t> p(10);
  ScopePoints(block.data(), s, 600, 10, 3, p.data());
  EXPECT_EQ(p[1], 3);
  EXPECT_EQ(p[9], 27);
  ScopePoints(block.data(), s, 600, 10, -2, p.data());
  EXPECT_EQ((std::vector<int16_t>{p[0], p[1], p[2], p[3], p[8]}), (std::vector<int16_t>{0, 0, 0, 1, 2}));
  // Frames the block does not hold are never read.
  ScopePoints(block.data(), s, 2, 10, 1, p.data());
  EXPECT_EQ(p[9], 1);
  s.channel = chBoth;
  ScopePoints(block.data(), s, 600, 10, 1, p.data());
  EXPECT_EQ(p[7], 0);

  // 8 bits: unsigned bytes averaged first; the top of the range is 32512, never 32767.
  TMMScopeShape b8;
  b8.channels = 2;
  const uint8_t bytes[] = {255, 255, 0, 1};
  ScopePoints(bytes, b8, 2, 2, 1, p.data());
  EXPECT_EQ(p[0], 32512);
  EXPECT_EQ(p[1], -32768);
  int16_t lo, hi;
  ScopeExtremes(block.data(), s, 600, lo, hi);  // the averages of both channels' extremes
  EXPECT_EQ(lo, -299);
  EXPECT_EQ(hi, 299);
  s.channel = chRight;
  ScopeExtremes(block.data(), s, 600, lo, hi);
  EXPECT_EQ(lo, -599);
  EXPECT_EQ(hi, 0);

  std::vector<int16_t> lp = {400, 400, 0};
  ScopeLowPass(lp.data(), 3);
  EXPECT_EQ(lp, (std::vector<int16_t>{300, 400, 100}));
}

TEST(MMOscope, RowsAndTheirOverflowTests) {
  TMMScopeMap m;
  m.height = 90;
  m.gain = 16;  // Gain 8
  EXPECT_EQ(m.RowValue(16749), 91);
  EXPECT_EQ(m.RowValue(16748), 90);
  m.gain = 0;  // Gain -8: every point on the middle row
  EXPECT_EQ(m.RowValue(32767), m.RowValue(-32768));
  m.gain = 8;
  m.kind = okSpikes;
  EXPECT_EQ(m.RowValue(-32767), 90);

  std::vector<uint8_t> pixels(16 * 90, 0);
  TDIBColorTable table = MakeCanvasColorTable(nullptr, 0, {});
  TMMDIBTarget t;
  t.Attach(pixels.data(), nullptr, 8, 16, 90, 16, &table);
  TMMScopeTrace trace;
  TMMScopeLook look;
  look.foreground = 7;
  look.effect = 9;
  look.effectMode = efPeak;
  std::vector<int16_t> pts(16, 0);
  pts[3] = 32767;
  pts[4] = 16749;
  TMMScopeMap dots;
  dots.height = 90;
  dots.gain = 16;
  trace.Draw(t, pts.data(), 16, dots, look);
  EXPECT_EQ(trace.pcmOverflows, 1);
  EXPECT_EQ(trace.gainOverflows, 2);
  // A quiet point lies in the band; the ones beyond the top are picked out (and clipped here).
  EXPECT_EQ(t.Pixel(0, 90 - 44 - 1), 7u);
  dots.gain = 8;
  pts[5] = 30000;  // y = 86, above the band's upper bound of 60
  trace.Draw(t, pts.data(), 16, dots, look);
  EXPECT_EQ(t.Pixel(5, 90 - 86 - 1), 9u);
}

TEST(MMOscope, SelectionsAndTheirMouseWork) {
  int s = -1, e = -1;
  EXPECT_TRUE(SetScopeSelection(s, e, 50, 20, 194));
  EXPECT_EQ(s, 20);
  EXPECT_EQ(e, 50);
  EXPECT_TRUE(SetScopeSelection(s, e, 30, 30, 194));
  EXPECT_EQ(s, -1);
  EXPECT_EQ(e, -1);
  EXPECT_TRUE(SetScopeSelection(s, e, -5, 500, 194));
  EXPECT_EQ(s, -1);
  EXPECT_EQ(e, 194);
  EXPECT_FALSE(SetScopeSelection(s, e, -1, 194, 194));

  std::vector<std::pair<int, int>> seen;
  auto note = [&](int a, int b) { seen.emplace_back(a, b); };
  TMMSelectionDrag d;
  s = e = -1;
  EXPECT_EQ(d.Press(40, s, e, 194, note), TMMSelectionDrag::sdNew);
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{-1, -1}, {40, 41}}));
  d.Move(70, s, e, 194, note);
  d.Release();
  EXPECT_EQ(s, 40);
  EXPECT_EQ(e, 70);
  // The left edge is taken from three columns before it to two after.
  EXPECT_EQ(d.Press(37, s, e, 194, note), TMMSelectionDrag::sdLeft);
  d.Move(10, s, e, 194, note);
  d.Release();
  EXPECT_EQ(s, 10);
  // Moving the whole selection stops at the display's edge.
  EXPECT_EQ(d.Press(40, s, e, 194, note), TMMSelectionDrag::sdMove);
  d.Move(400, s, e, 194, note);
  EXPECT_EQ(e, 194);
  EXPECT_EQ(s, 194 - 60);
  EXPECT_EQ(ScopeLevelText(45, 90, okDots), " 0.00 V");
  EXPECT_EQ(ScopeTimeText(193, 194, 17.6), "17.6 ms");
}

TEST(MMOscope, ScaleLabelsKeepTheirEndsAndDropInnerOnesThatCollide) {
  // A label sticking out at either end is moved inside.
  EXPECT_EQ(CentredLabelSpan(0, 12, 0, 100).start, 0);
  EXPECT_EQ(CentredLabelSpan(99, 12, 0, 100).end, 100);
  EXPECT_EQ(CentredLabelSpan(50, 12, 0, 100).start, 44);
  // Labels 10 wide every 8 pixels: every other inner one fits, and the last stands although
  // the one before it would have had the room.
  std::vector<TScaleLabelSpan> labels;
  for (int k = 0; k <= 8; ++k) labels.push_back(CentredLabelSpan(10 + k * 8, 10, 0, 100));
  std::vector<bool> keep = KeepScaleLabels(labels, 2);
  EXPECT_EQ(keep, (std::vector<bool>{true, false, true, false, true, false, true, false, true}));
  // Any order along the scale.
  std::reverse(labels.begin(), labels.end());
  keep = KeepScaleLabels(labels, 2);
  EXPECT_EQ(keep, (std::vector<bool>{true, false, true, false, true, false, true, false, true}));
  // Too short for both ends: the first stays; a single label always stands.
  keep = KeepScaleLabels({{0, 10}, {5, 15}}, 0);
  EXPECT_EQ(keep, (std::vector<bool>{true, false}));
  EXPECT_EQ(KeepScaleLabels({{0, 10}}, 4), std::vector<bool>{true});
  EXPECT_TRUE(KeepScaleLabels({}, 4).empty());
}

TEST(MMOscope, ScaleLabelsMoveApartJustEnoughAndLeaveTheirGapsToAUnit) {
  // Eight pixels every twelve inside 0..50, the ends pushed inside: only the label that the top
  // one runs into moves, by the pixel it takes.
  std::vector<TScaleLabelSpan> labels;
  for (int k = 4; k >= 0; --k) labels.push_back(CentredLabelSpan(k * 12, 8, 0, 50));  // any order along the scale
  ASSERT_TRUE(SpreadScaleLabels(labels, 1, 0, 50));
  std::vector<int> starts;
  for (const TScaleLabelSpan& s : labels) starts.push_back(s.start);
  EXPECT_EQ(starts, (std::vector<int>{42, 32, 20, 9, 0}));
  EXPECT_EQ(FreeScaleSpan(labels, 8, 1, 0, 50), -1) << "no room for a unit";
  // One pixel less room than three labels and their gaps take: nothing moves.
  std::vector<TScaleLabelSpan> tight = {{0, 8}, {8, 16}, {16, 24}};
  EXPECT_FALSE(SpreadScaleLabels(tight, 1, 0, 25));
  EXPECT_EQ(tight[1].start, 8);
  // A unit goes in the room nearest the end of the scale that holds it clear of the labels.
  EXPECT_EQ(FreeScaleSpan({{0, 8}, {20, 28}, {38, 46}}, 8, 1, 0, 46), 29);
  EXPECT_EQ(FreeScaleSpan({{0, 8}, {18, 26}, {28, 36}}, 8, 1, 0, 60), 52);
}

TEST(MMLight, BandsAndTheirValues) {
  auto b = LightBands(11025, 128);
  EXPECT_EQ(b[0].first, 0);
  EXPECT_EQ(b[0].end, 3);
  EXPECT_EQ(b[1].first, 3);
  EXPECT_EQ(b[1].end, 13);
  EXPECT_EQ(b[2].first, 13);
  EXPECT_EQ(b[2].end, 63);
  // Eight points at 8 kHz: the middle band starts where the bass does and is switched off.
  b = LightBands(8000, 8);
  EXPECT_FALSE(b[1].Active());
  EXPECT_EQ(b[1].first, -1);

  const int32_t m[] = {4, 10, 1, 7};
  const TMMLightBand band{0, 4};
  EXPECT_EQ(LightBandValue(m, band, pmPeak), 10);
  EXPECT_EQ(LightBandValue(m, band, pmAverage), (4 + 4 + 10 + 1 + 7) / 4);
  EXPECT_EQ(LightBandValue(m, band, pmRMS), int(std::sqrt((4 + 4 * 4.1 + 10 * 10.1 + 1 * 1.1 + 7 * 7.1) / 4)));
  EXPECT_EQ(LightBandValue(m, TMMLightBand{-1, 0}, pmPeak), 0);

  // Shading: the centre ring at full brightness, the rim darker, black without a shape.
  EXPECT_EQ(LightRingLevel(255, 59, 60, 1.0, 1.0), 255);
  EXPECT_LT(LightRingLevel(255, 0, 60, 1.0, 1.0), 60);
  EXPECT_EQ(LightRingLevel(200, 30, 60, 0.0, 1.0), 0);
}

TEST(MMLight, ATonesBandLightsUp) {
  TMMLightModel m;
  m.Stage().SetLength(256);
  m.BuildBands(11025);
  TMMFFTShape s;
  s.bits16 = true;
  const double gains[3] = {0.05, 0.05, 0.05};
  for (double hz : {150.0, 700.0, 3000.0}) {
    std::vector<int16_t> b(256);
    for (int i = 0; i < 256; ++i) b[size_t(i)] = int16_t(12000 * std::sin(2 * M_PI * hz * i / 11025));
    m.Feed(b.data(), s, 1.0, dmNone, pmPeak, gains);
    const int lit = hz < 335 ? 0 : hz < 1145 ? 1 : 2;
    for (int band = 0; band < 3; ++band) {
      if (band == lit) EXPECT_EQ(m.Brightness(band), 255) << hz;
      else EXPECT_LT(m.Brightness(band), 60) << hz << " band " << band;
    }
  }
  // The pictures' palette needs: three rings per light must fit the animated entries.
  EXPECT_EQ(LightAnimatedColors(lkSphere, kMaxLightZones), 234);
  EXPECT_LE(LightAnimatedColors(lkSphere, kMaxLightZones), kDIBMaxAnimated);
}
