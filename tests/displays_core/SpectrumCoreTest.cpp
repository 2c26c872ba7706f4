// What the spectrum analyser and the spectrogram compute from a block, checked against a direct
// transform and against the rules of their axes, palettes and sweeps.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "displays/MMSpGram.h"
#include "displays/MMSpectr.h"

namespace {

std::vector<int16_t> Sine(int n, double cycles, double amp, int channels = 1) {
  std::vector<int16_t> b(size_t(n) * channels);
  for (int i = 0; i < n; ++i)
    for (int c = 0; c < channels; ++c) b[size_t(i * channels + c)] = int16_t(amp * std::sin(2 * M_PI * cycles * i / n));
  return b;
}

TMMFFTShape Mono16() {
  TMMFFTShape s;
  s.bits16 = true;
  return s;
}

}  // namespace

TEST(MMSpectr, LengthsAreClampedToPowersOfTwo) {
  EXPECT_EQ(ClampFFTLength(100), 64);
  EXPECT_EQ(ClampFFTLength(5000), 4096);
  EXPECT_EQ(ClampFFTLength(3), 8);
  EXPECT_EQ(FFTOrderOf(4096), 12);
}

TEST(MMSpectr, FrontEndMatchesADirectTransformOfTheWindowedSamples) {
  for (int diff = 0; diff <= 2; ++diff) {
    TMMFFTStage st;
    st.SetLength(64);
    st.SetWindow(fwBlackman);
    std::vector<int16_t> in(64);
    for (int i = 0; i < 64; ++i) in[size_t(i)] = int16_t(9000 * std::sin(0.7 * i) + 4000 * std::cos(2.3 * i) + 300);
    std::vector<int16_t> bins(64);
    st.Transform(in.data(), Mono16(), diff, 32766, bins.data());
    // The same chain by hand in double precision.
    std::vector<double> x(64);
    for (int i = 0; i < 64; ++i) {
      const int s = in[size_t(i)], s1 = in[size_t(std::max(i - 1, 0))], s2 = in[size_t(std::max(i - 2, 0))];
      const int v = diff == 0 ? s : diff == 1 ? s - s1 : s - 2 * s1 + s2;
      x[size_t(i)] = double(int64_t(v) * st.WindowWeight(i) / 32768);
    }
    for (int k = 1; k < 32; ++k) {
      double re = 0, im = 0;
      for (int i = 0; i < 64; ++i) {
        re += x[size_t(i)] * std::cos(2 * M_PI * k * i / 64);
        im -= x[size_t(i)] * std::sin(2 * M_PI * k * i / 64);
      }
      EXPECT_NEAR(bins[size_t(2 * k)], std::trunc(re / 32), 1.0) << "diff " << diff << " bin " << k;
      EXPECT_NEAR(std::abs(bins[size_t(2 * k + 1)]), std::abs(std::trunc(im / 32)), 1.0)
          << "diff " << diff << " bin " << k;
    }
  }
}

TEST(MMSpectr, OverflowsAndSaturation) {
  TMMFFTStage st;
  st.SetLength(8);
  std::vector<int16_t> bins(8);
  // A stereo block whose average is 32766 counts under the plain and 6 dB pre-filters only.
  std::vector<int16_t> stereo(16, 32766);
  for (size_t i = 0; i < 16; i += 2) stereo[i] = 32767;
  TMMFFTShape s = Mono16();
  s.channels = 2;
  EXPECT_EQ(st.Transform(stereo.data(), s, 0, 32766, bins.data()), 8);
  EXPECT_EQ(st.Transform(stereo.data(), s, 2, 32767, bins.data()), 0);
  std::vector<int16_t> mono(8, 32766);
  EXPECT_EQ(st.Transform(mono.data(), Mono16(), 0, 32766, bins.data()), 0);
  // 8 bits: 255 is the top, and chBoth averages the unsigned bytes.
  std::vector<uint8_t> bytes = {255, 255, 255, 254, 0, 0, 128, 128, 255, 255, 1, 2, 3, 4, 5, 6};
  TMMFFTShape b8;
  b8.channels = 2;
  EXPECT_EQ(st.Transform(bytes.data(), b8, 0, 32766, bins.data()), 2);
  // A constant full-scale block through a rectangular window is about twice full scale at DC: it
  // holds at the top instead of wrapping round to a negative value.
  st.SetWindow(fwRectangular);
  std::vector<int16_t> full(8, 32767);
  st.Transform(full.data(), Mono16(), 0, 32766, bins.data());
  EXPECT_EQ(bins[0], 32767);
  for (int i = 1; i < 8; ++i) EXPECT_EQ(bins[size_t(i)], 0);
}

TEST(MMSpectr, ColumnMapGivesEveryBarItsOwnBins) {
  TMMSpectrumModel m;
  TMMSpectrumSetup s;
  s.width = 194;
  s.height = 89;
  m.BuildColumns(s);
  // 64 bins over 194 columns: most columns repeat their left neighbour and join its bar.
  const auto& f = m.FirstBins();
  int bars = 0;
  for (int i = 0; i < 194; ++i) {
    if (f[size_t(i)] < 0) continue;
    ++bars;
    if (i > 0) {
      int left = i - 1;
      while (f[size_t(left)] < 0) --left;
      EXPECT_GT(f[size_t(i)], f[size_t(left)]);
    }
  }
  EXPECT_EQ(bars, int(m.Bars().size()));
  EXPECT_EQ(bars, 64);
  EXPECT_EQ(m.Bars().back().xTo, 194);
  // A narrow display with a long transform: every column has a range of its own.
  s.width = 8;
  s.fftLength = 4096;
  m.BuildColumns(s);
  for (int i = 0; i < 8; ++i) {
    EXPECT_GE(m.FirstBins()[size_t(i)], 0);
    EXPECT_GT(m.EndBins()[size_t(i)], m.FirstBins()[size_t(i)] + 1);
  }
  // The frequency zoom shows the lower half only; a log axis starts at one bin's frequency.
  s.frequencyScale = 2;
  m.BuildColumns(s);
  EXPECT_LE(m.EndBins()[7], 1024);
  s.frequencyScale = 1;
  s.logFreq = true;
  m.BuildColumns(s);
  EXPECT_DOUBLE_EQ(m.F0(), 11025.0 / 4096);
  EXPECT_LE(m.FirstBins()[0], 1);
  EXPECT_GT(m.EndBins()[7], 1024);  // the log axis reaches 2048^0.94 at this width
}

TEST(MMSpectr, LoudestBinsAreNotLostAndSilenceDecaysOnTheDbAxis) {
  TMMSpectrumModel m;
  TMMSpectrumSetup s;
  s.width = 64;
  s.height = 100;
  s.logAmp = true;
  m.BuildColumns(s);
  // Both parts at -32768: the power is 2^31, past a signed 32-bit word.
  std::vector<int16_t> bins(128, 0);
  bins[20] = bins[21] = -32768;
  m.ComputeBins(bins.data(), 64, true, dmNone);
  EXPECT_GT(m.BinValue(10), 0);
  m.ComputeBars(true, dmNone, {});
  EXPECT_GE(m.StrongestHeight(), 100);
  EXPECT_EQ(m.StrongestBin(), 10);

  std::vector<int16_t> silence(128, 0);
  m.ComputeBins(silence.data(), 64, true, dmNone);
  m.ComputeBars(true, dmNone, {});
  for (const TMMSpectrumBar& b : m.Bars()) EXPECT_EQ(b.height, 0);

  // With a decay the same silence lets the bar come down step by step.
  m.Decay().SetDecay(5);
  std::vector<int16_t> tone(128, 0);
  tone[20] = 20000;
  m.ComputeBins(tone.data(), 64, true, dmExponential);
  int32_t last = INT32_MAX;
  for (int n = 0; n < 6; ++n) {
    m.ComputeBins(silence.data(), 64, true, dmExponential);
    int overflows = 0;
    m.ComputeBars(true, dmExponential, [&] { ++overflows; });
    const int32_t h = m.Bars()[10].height;
    EXPECT_GT(h, 0) << n;
    EXPECT_LT(h, last) << n;
    last = h;
  }
}

TEST(MMSpectr, PeakMarksHoldAndFallOnTheTimersThread) {
  TMMSpectrumModel m;
  TMMSpectrumSetup s;
  s.width = 64;
  s.height = 90;
  m.BuildColumns(s);
  std::vector<int16_t> tone(128, 0);
  tone[20] = 30000;
  m.ComputeBins(tone.data(), 64, false, dmNone);
  m.ComputeBars(false, dmNone, {});
  m.UpdateValues(skBars, false, 1, 20);
  const int32_t peak = m.Peak(10);
  ASSERT_GT(peak, 0);
  EXPECT_EQ(m.Hold(10), 41);
  for (int i = 0; i < 40; ++i) m.PeakTick();
  EXPECT_EQ(m.Peak(10), peak);
  m.PeakTick();
  EXPECT_EQ(m.Peak(10), 0);

  // PeakSpeed 2: one spot every two ticks once the hold is over; none while frozen.
  m.SetPeakSpeed(2);
  m.UpdateValues(skBars, false, 1, 0);
  m.PeakTick();
  EXPECT_EQ(m.Peak(10), peak - 1);
  m.SetFrozen(true);
  for (int i = 0; i < 10; ++i) m.PeakTick();
  EXPECT_EQ(m.Peak(10), peak - 1);
  m.SetFrozen(false);
  m.PeakTick();
  m.PeakTick();
  EXPECT_EQ(m.Peak(10), peak - 2);

  // Feeding on one thread while the timer's thread lets the marks fall.
  std::atomic<bool> stop{false};
  std::thread timer([&] {
    while (!stop.load()) m.PeakTick();
  });
  for (int n = 0; n < 2000; ++n) {
    tone[20] = int16_t(n % 2 ? 30000 : 3000);
    m.ComputeBins(tone.data(), 64, false, dmNone);
    m.ComputeBars(false, dmNone, {});
    m.UpdateValues(skLines, false, 1, 1);
  }
  stop = true;
  timer.join();
  EXPECT_LE(m.Peak(10), m.Bars()[10].value + 90);
}

TEST(MMSpectr, BarsDrawLitSpotsByZoneOverTheUnlitPattern) {
  TMMSpectrumModel m;
  TMMSpectrumSetup s;
  s.width = 8;
  s.height = 20;
  s.fftLength = 8;
  s.spotHeight = 1;
  s.spotSpace = 1;
  s.verticalScale = 50;  // full scale at half the height: a full-scale bin overflows
  m.BuildColumns(s);     // 4 bins, 4 bars of two columns
  ASSERT_EQ(m.Spots(), 10);
  ASSERT_EQ(m.Threshold1(), 5);
  ASSERT_EQ(m.Threshold2(), 8);
  std::vector<uint8_t> pixels(8 * 20, 0);
  TMMDIBTarget t;
  TDIBColorTable table = MakeCanvasColorTable(nullptr, 0, {});
  t.Attach(pixels.data(), nullptr, 8, 8, 20, 8, &table);
  TMMSpectrumLook look;
  look.bar[0] = 11, look.bar[1] = 12, look.bar[2] = 13;
  look.inactive[0] = 21, look.inactive[1] = 22, look.inactive[2] = 23;
  look.background = 0;
  look.space = 0;
  m.DrawInactive(t, look);
  EXPECT_EQ(t.Pixel(0, 19), 0u);   // the gap under the lowest spot
  EXPECT_EQ(t.Pixel(0, 18), 21u);  // spot 1
  EXPECT_EQ(t.Pixel(0, 0), 23u);   // spot 10
  // A full-scale bin lights all ten spots of its bar.
  std::vector<int16_t> bins(8, 0);
  bins[4] = 32767;
  m.ComputeBins(bins.data(), 4, false, dmNone);
  int overflows = 0;
  m.ComputeBars(false, dmNone, [&] { ++overflows; });
  EXPECT_EQ(overflows, 1);
  m.UpdateValues(skBars, false, 1, 20);
  EXPECT_EQ(m.Bars()[2].value, 10);
  m.Draw(t, skBars, look);
  EXPECT_EQ(t.Pixel(4, 18), 11u);
  EXPECT_EQ(t.Pixel(5, 8), 12u);  // spot 6
  EXPECT_EQ(t.Pixel(4, 0), 13u);
  EXPECT_EQ(t.Pixel(0, 18), 21u);  // the silent bar stays unlit
}

TEST(MMSpGram, PalettesKeepTheirRangeAndTheirBytes) {
  const TLogPalette thr = SpectrogramPalette(spThreshold);
  ASSERT_EQ(thr.palPalEntry.size(), 256u);
  EXPECT_EQ(thr.palPalEntry[9], TPaletteEntry{});
  EXPECT_EQ(thr.palPalEntry[246], TPaletteEntry{});
  // Level i of entry n is ((n - 10) x 256) div 236: below 16 black, then the blue of the HSV scale.
  EXPECT_EQ(thr.palPalEntry[24], TPaletteEntry{});
  EXPECT_EQ(thr.palPalEntry[25], (TPaletteEntry{0, 64, 255, 0}));
  const TLogPalette hsv = SpectrogramPalette(spHSV);
  EXPECT_EQ(hsv.palPalEntry[10], (TPaletteEntry{0, 0, 255, 0}));
  EXPECT_EQ(hsv.palPalEntry[245], (TPaletteEntry{255, 4, 0, 0}));  // level 254
  // The top of the bone scale: 0.88889 x 254 + 29 rounds to 255.
  const TLogPalette bone = SpectrogramPalette(spBone);
  EXPECT_EQ(bone.palPalEntry[245], (TPaletteEntry{245, 255, 255, 0}));
  const TLogPalette hot = SpectrogramPalette(spHot);
  EXPECT_EQ(hot.palPalEntry[245], (TPaletteEntry{255, 255, 250, 0}));
  EXPECT_EQ(hot.palPalEntry[100], (TPaletteEntry{255, 5, 0, 0}));  // level 97: 2.66667 x 97 - 254
}

TEST(MMSpGram, RowsColumnsAndTheEmbossedPicture) {
  TMMSpectrogramModel m;
  TMMSpectrogramSetup s;
  s.height = 80;
  s.fftLength = 256;
  s.sampleRate = 22050;
  s.frequencyScale = 2;
  m.BuildRows(s);
  EXPECT_DOUBLE_EQ(m.RowFrequency(79, 22050, 2), 22050 / 4.0);
  for (int r = 0; r < 80; ++r) EXPECT_LT(m.FirstBins()[size_t(r)], 64);
  s.frequencyScale = 1;
  s.frequencyBase = 20000;  // beyond half the rate less 1 kHz
  m.BuildRows(s);
  EXPECT_DOUBLE_EQ(m.BaseFrequency(), 22050 / 2.0 - 1000);

  // A tone at bin 40 of 128 lights the rows of its frequency.
  s.frequencyBase = 0;
  s.height = 128;
  m.BuildRows(s);
  TMMFFTStage st;
  st.SetLength(256);
  const auto tone = Sine(256, 40, 16000);
  std::vector<int16_t> bins(256);
  st.Transform(tone.data(), Mono16(), 0, 32766, bins.data());
  m.ComputeLevels(bins.data(), 128, true, 1.0, -90);
  const auto& col = m.ComputeColumn(false);
  EXPECT_EQ(col[40], kSpgLastIndex);
  EXPECT_EQ(col[10], kSpgFirstIndex);

  // Embossed silence at -90 dB: index 118 in every row from the second column on.
  std::vector<int16_t> silence(256, 0);
  m.ComputeLevels(silence.data(), 128, false, 1.0, -90);
  m.ClearHistory();
  m.ComputeColumn(true);
  const auto& second = m.ComputeColumn(true);
  for (int r = 0; r < 128; ++r) EXPECT_EQ(second[size_t(r)], kSpgEmbossedZero) << r;
}

TEST(MMSpGram, ScrollModeMovesOnlyOnceTheWidthIsFull) {
  TMMSweep sw;
  sw.Restart(5);
  bool shift = false;
  int written = 0;
  for (int n = 0; n < 5 + 20; ++n) {
    const int x = sw.Place(20, true, shift);
    EXPECT_FALSE(shift);
    if (x >= 0) ++written;
    sw.Advance(20, true);
  }
  EXPECT_EQ(written, 20);
  EXPECT_EQ(sw.Place(20, true, shift), 19);
  EXPECT_TRUE(shift);
  // Without scrolling the sweep wraps round and overwrites the oldest column.
  sw.Restart(0);
  for (int n = 0; n < 20; ++n) sw.Advance(20, false);
  EXPECT_EQ(sw.Place(20, false, shift), 0);
  EXPECT_FALSE(shift);
}
