// The needle meter as the deck sets it up, checked on what it shows.
#include <random>

#include "DisplaysTest.h"
#include "recorder/DeckDisplays.h"

using namespace plat;

namespace {

class MeterTest : public DisplayTest {
protected:
  TMMMeter* DeckMeter() {
    auto* m = Place<TMMMeter>(8, 8);
    SetUpDeckMeter(*m, chLeft);
    const WAVEFORMATEX f = Pcm(16, 2);
    m->SetWaveFormat(&f);
    return m;
  }
  // Whether a needle of this colour shows at value v: a pixel next to the point of the needle's
  // line 20 pixels inside the arc (clear of the ticks) has it.
  static bool Needle(TMMMeter& m, int32_t v, TColor color) {
    const TMMMeterGeometry& g = m.Geometry();
    const TMMPoint p = g.At(v, g.Radius() - 20);
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (At(m, 2 + p.x + dx, 2 + p.y + dy) == BGR(color)) return true;
    return false;
  }
};

}  // namespace

TEST_F(MeterTest, NeedleReachesBothEndsOfTheScale) {
  TMMMeter* m = DeckMeter();
  int pcm = 0, gain = 0;
  m->OnPcmOverflow = [&](TObject*) { ++pcm; };
  m->OnGainOverflow = [&](TObject*) { ++gain; };
  m->SetValue(0);
  EXPECT_EQ(m->Needle(), 0);
  EXPECT_EQ(m->Value(), 0);
  auto full = Stereo(32767, 0);
  m->FeedPCM(full.data());
  EXPECT_EQ(pcm, 1);
  EXPECT_EQ(gain, 1);
  EXPECT_EQ(m->Needle(), 32767);
  EXPECT_TRUE(Needle(*m, 32767, clWhite));
  auto quiet = Stereo(103, 0);  // -50.05 dB: the left end
  m->FeedPCM(quiet.data());
  EXPECT_EQ(m->Needle(), 0);
  EXPECT_TRUE(Needle(*m, 0, clWhite));
  EXPECT_FALSE(Needle(*m, 32767, clWhite));
  EXPECT_TRUE(Needle(*m, 32767, clRed)) << "the peak needle stays at the top";
  Ticks(41);
  m->FeedPCM(quiet.data());
  EXPECT_EQ(m->PeakNeedle(), 0);
  EXPECT_FALSE(Needle(*m, 32767, clRed));

  m->SetScaleAngle(200);
  EXPECT_EQ(m->ScaleAngle(), 180);
  m->SetScaleAngle(30);
  EXPECT_EQ(m->ScaleAngle(), 45);
  WAVEFORMATEX bad = Pcm(16, 3);
  EXPECT_THROW(m->SetWaveFormat(&bad), EMMMeterError);
  EXPECT_EQ(m->BlockBytes(), 200);
}

TEST_F(MeterTest, MovingNeedlesShowWhatAFullPaintShows) {
  TMMMeter* m = DeckMeter();
  TMMMeter* wide = Place<TMMMeter>(200, 8);
  SetUpDeckMeter(*wide, chRight);
  wide->SetNeedleWidth(3);
  wide->SetPeakSpeed(2);
  form_->Show();
  QCoreApplication::processEvents();
  std::mt19937 rng(9);
  std::uniform_int_distribution<int> level(0, 32767);
  for (int i = 0; i < 400; ++i) {
    auto b = Stereo(int16_t(level(rng) >> (i % 9)), int16_t(level(rng) >> (i % 5)));
    m->FeedPCM(b.data());
    wide->FeedPCM(b.data());
    if (i % 40 == 0) Ticks(30);
  }
  // What the blocks left on the screen, then the full paint (in that order).
  const QImage shown = CanvasNow(*m), shownWide = CanvasNow(*wide);
  ASSERT_EQ(shown, FullPaint(*m));
  ASSERT_EQ(shownWide, FullPaint(*wide));
  // Enabled off rests the needles at once and draws them so.
  m->SetEnabled(false);
  EXPECT_EQ(m->Needle(), 0);
  EXPECT_EQ(m->PeakNeedle(), 0);
  EXPECT_FALSE(m->TimerRunning());
  auto b = Stereo(30000, 0);
  m->FeedPCM(b.data());
  EXPECT_EQ(m->Needle(), 0);
}

TEST_F(MeterTest, CaptionBandOnlyWithACaption) {
  TMMMeter* m = DeckMeter();
  form_->Show();
  auto silver = [&](const QImage& img) {
    // The lower third of the dial: below the labels, which are silver too.
    int n = 0;
    for (int y = 2 + 62; y < 2 + 93; ++y)
      for (int x = 2; x < 2 + 173; ++x) n += (img.pixel(x, y) & 0xFFFFFF) == 0xC0C0C0;
    return n;
  };
  EXPECT_GT(silver(FullPaint(*m)), 10);
  m->SetCaption("");
  EXPECT_EQ(silver(FullPaint(*m)), 0);
}
