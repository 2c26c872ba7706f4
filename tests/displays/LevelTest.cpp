// The level bar and the dB strip as the deck sets them up, checked on what they show.
#include <random>

#include "DisplaysTest.h"
#include "platform/ui/extctrls.h"
#include "recorder/DeckDisplays.h"

using namespace plat;

namespace {

class LevelTest : public DisplayTest {
protected:
  TMMLevel* DeckBar(TMMChannel ch = chLeft) {
    auto* l = Place<TMMLevel>(8, 8);
    SetUpDeckLevel(*l, ch);
    const WAVEFORMATEX f = Pcm(16, 2);
    l->SetWaveFormat(&f);
    return l;
  }
  // The top row of spot k (1..187) of the deck's bar: lit spots are dotted, so their top rows
  // are lit; an unlit spot shows its zone's inactive colour.
  static uint32_t Spot(TMMLevel& l, int k) { return At(l, 2 + (k - 1) * 2, 2); }
};

}  // namespace

TEST_F(LevelTest, DeckBarShowsTheValueItIsFed) {
  TMMLevel* l = DeckBar();
  EXPECT_EQ(l->Layout().spots, 187);
  EXPECT_EQ(l->BlockBytes(), 200);
  int pcm = 0, gain = 0;
  l->OnPcmOverflow = [&](TObject*) { ++pcm; };
  l->OnGainOverflow = [&](TObject*) { ++gain; };

  auto full = Stereo(-32768, 0);
  l->FeedPCM(full.data());
  EXPECT_EQ(pcm, 1);
  EXPECT_EQ(gain, 0);
  EXPECT_EQ(l->Spots(), 187);
  EXPECT_EQ(Spot(*l, 1), BGR(clAqua));
  EXPECT_EQ(Spot(*l, 93), BGR(clAqua));
  EXPECT_EQ(Spot(*l, 94), BGR(clYellow));
  EXPECT_EQ(Spot(*l, 159), BGR(clRed));
  EXPECT_EQ(Spot(*l, 187), BGR(clRed));
  EXPECT_EQ(At(*l, 3, 2), BGR(clBlack));  // the gap between spots
  EXPECT_EQ(At(*l, 2, 3), BGR(clTeal));   // the dotted lit spot shows its unlit self between dots

  l->SetValue(50);
  EXPECT_EQ(l->Spots(), 155);
  EXPECT_EQ(l->Value(), 50);
  EXPECT_EQ(Spot(*l, 155), BGR(clYellow));
  EXPECT_EQ(Spot(*l, 156), BGR(clOlive));
  EXPECT_EQ(Spot(*l, 159), BGR(clMaroon));
  EXPECT_EQ(Spot(*l, 187), BGR(clRed));  // the peak mark stands
  EXPECT_EQ(Spot(*l, 186), BGR(clMaroon));

  // The right bar of the deck shows only its channel; opposite channels cancel on a chBoth bar.
  TMMLevel* r = DeckBar(chRight);
  r->SetTop(60);
  r->FeedPCM(full.data());
  EXPECT_EQ(r->Spots(), 0);
  l->SetChannel(chBoth);
  auto opposite = Stereo(1000, -1000);
  l->FeedPCM(opposite.data());
  EXPECT_EQ(l->Spots(), 0);
  l->SetGain(8);
  l->SetGain(33);  // ignored
  EXPECT_EQ(l->Gain(), 8);
  l->SetChannel(chLeft);
  l->FeedPCM(full.data());
  EXPECT_EQ(gain, 1);
  EXPECT_EQ(l->Spots(), 187);
}

TEST_F(LevelTest, PeakMarkStandsFortyOneTicksOfTheSharedTimer) {
  TMMLevel* l = DeckBar();
  auto full = Stereo(32767, 0), half = Stereo(16384, 0);
  l->FeedPCM(full.data());
  l->FeedPCM(half.data());
  EXPECT_EQ(l->HoldCount(), 41);
  Ticks(40);
  l->FeedPCM(half.data());
  EXPECT_EQ(Spot(*l, 187), BGR(clRed));
  Ticks(1);
  EXPECT_EQ(l->PeakSpots(), 0);
  EXPECT_EQ(Spot(*l, 187), BGR(clRed)) << "the fall is drawn with the next block, not by the timer";
  l->FeedPCM(half.data());
  EXPECT_EQ(Spot(*l, 187), BGR(clMaroon));

  // Switched off by NumPeaks and by Enabled in turn, the timer client comes back when both allow.
  l->SetNumPeaks(0);
  l->SetEnabled(false);
  EXPECT_EQ(l->Spots(), 0);
  l->SetNumPeaks(1);
  EXPECT_FALSE(l->TimerRunning());
  l->SetEnabled(true);
  EXPECT_TRUE(l->TimerRunning());
  l->FeedPCM(full.data());
  Ticks(41);
  EXPECT_EQ(l->PeakSpots(), 0) << "the bar's timer client was left suspended";
}

TEST_F(LevelTest, ABarAtRestLetsTheSharedTimerStopAndAFedPeakStartsIt) {
  TMMLevel* l = DeckBar();
  Ticks(1);
  EXPECT_FALSE(SharedTimerRunning()) << "a bar with no mark to count down keeps the timer ticking";
  auto full = Stereo(32767, 0), silent = Stereo(0, 0);
  for (int round = 0; round < 2; ++round) {
    l->FeedPCM(full.data());
    l->FeedPCM(silent.data());
    EXPECT_TRUE(SharedTimerRunning());
    Ticks(40);
    EXPECT_EQ(l->PeakSpots(), 187) << "round " << round;
    Ticks(1);
    EXPECT_EQ(l->PeakSpots(), 0) << "round " << round;
    EXPECT_FALSE(SharedTimerRunning()) << "round " << round;
  }
}

TEST_F(LevelTest, DrawingOnlyWhatChangedShowsWhatAFullPaintShows) {
  TMMLevel* l = DeckBar();
  form_->Show();
  QCoreApplication::processEvents();
  std::mt19937 rng(2);
  std::uniform_int_distribution<int> level(0, 32767);
  for (TMMLevelDirection dir : {dirNormal, dirReversed, dirSymetric}) {
    l->SetDirection(dir);
    for (int i = 0; i < 300; ++i) {
      auto b = Stereo(int16_t(level(rng) >> (i % 7)), 0);
      l->FeedPCM(b.data());
      if (i % 50 == 0) Ticks(45);
    }
    QImage shown = CanvasNow(*l);
    ASSERT_EQ(shown, FullPaint(*l)) << "direction " << dir;
  }
  l->SetDirection(dirNormal);
  l->SetBitsPerPixel(24);
  auto b = Stereo(20000, 0);
  l->FeedPCM(b.data());

  EXPECT_EQ(Spot(*l, 1), BGR(clAqua));
  const QImage shown24 = CanvasNow(*l);
  EXPECT_EQ(shown24, FullPaint(*l));
  EXPECT_THROW(l->SetBitsPerPixel(16), EMMDIBError);
}

// The deck keeps the bars or the needle meters in a hidden panel: what nobody can see is not
// drawn, and the panel shows its displays as they stand when it appears.
TEST_F(LevelTest, DisplaysInAHiddenPanelDrawNothingAndShowWhereTheyStandWhenItAppears) {
  auto* panel = new TPanel(form_);
  panel->SetParent(form_);
  panel->SetBounds(0, 0, 400, 300);
  TMMLevel* l = DeckBar();
  auto* m = new TMMMeter(form_);
  SetUpDeckMeter(*m, chLeft);
  m->SetTop(60);
  const WAVEFORMATEX f = Pcm(16, 2);
  m->SetWaveFormat(&f);
  for (TControl* c : std::initializer_list<TControl*>{l, m}) c->SetParent(panel);
  form_->Show();
  QCoreApplication::processEvents();
  panel->Hide();
  const QImage levelBefore = CanvasNow(*l), meterBefore = CanvasNow(*m);

  auto loud = Stereo(24000, 0);
  for (int i = 0; i < 20; ++i) {
    l->FeedPCM(loud.data());
    m->FeedPCM(loud.data());
  }
  EXPECT_GT(l->Spots(), 150);
  EXPECT_GT(m->Needle(), 0);
  EXPECT_EQ(CanvasNow(*l), levelBefore) << "drawn while nobody could see it";
  EXPECT_EQ(CanvasNow(*m), meterBefore);

  panel->Show();
  QCoreApplication::processEvents();
  EXPECT_EQ(Spot(*l, 150), BGR(clYellow));
  EXPECT_EQ(CanvasNow(*l), FullPaint(*l));
  EXPECT_EQ(CanvasNow(*m), FullPaint(*m));
  // Drawn at once again from there on.
  auto quiet = Stereo(300, 0);
  l->FeedPCM(quiet.data());
  EXPECT_EQ(Spot(*l, 150), BGR(clOlive));
  EXPECT_EQ(CanvasNow(*l), FullPaint(*l));
}

TEST_F(LevelTest, FormatsKindAndReset) {
  TMMLevel* l = DeckBar();
  WAVEFORMATEX bad = Pcm(24, 2);
  try {
    l->SetWaveFormat(&bad);
    ADD_FAILURE() << "a 24-bit stream was taken";
  } catch (const EMMLevelError& e) {
    EXPECT_STREQ(e.what(), "Invalid WaveFormat");
  }
  EXPECT_EQ(l->BlockBytes(), 200);  // the old format stays
  WAVEFORMATEX mono8 = Pcm(8, 1);
  l->SetWaveFormat(&mono8);
  EXPECT_EQ(l->BlockBytes(), 50);
  std::vector<uint8_t> silence(50, 128);
  l->FeedPCM(silence.data());
  EXPECT_EQ(l->RawPeak(), 0);
  std::vector<uint8_t> loud(50, 0);
  l->FeedPCM(loud.data());
  EXPECT_EQ(l->Spots(), 187);
  l->ResetData();
  EXPECT_EQ(l->Spots(), 0);
  EXPECT_EQ(l->PeakSpots(), 0);
  EXPECT_EQ(Spot(*l, 1), BGR(clTeal));

  auto* fresh = Place<TMMLevel>(0, 100);
  EXPECT_EQ(fresh->Width(), 200);
  EXPECT_EQ(fresh->Height(), 17);
  fresh->SetKind(lkVertical);
  EXPECT_EQ(fresh->Width(), 17);
  EXPECT_EQ(fresh->Height(), 200);
  EXPECT_EQ(fresh->Layout().spots, (198 + 1) / 2);  // along the height now
}

TEST_F(LevelTest, DeckStripDrawsItsLabels) {
  auto* s = Place<TMMLevelScale>(8, 49);
  SetUpDeckLevelScale(*s);
  const TMMLevelScalePlan plan = s->Plan();
  ASSERT_EQ(plan.labels.size(), 7u);
  EXPECT_EQ(plan.labels[0].text, "0");
  EXPECT_EQ(plan.labels[6].text, "-30");
  form_->Show();
  const QImage img = FullPaint(*s);

  // Each label's box holds ink of its colour (smoothed text: nearer to it than to the black).
  for (const TMMLevelScaleLabel& l : plan.labels) {
    const int w = s->Canvas()->TextWidth(l.text), h = s->Canvas()->TextHeight(l.text);
    const uint32_t c = BGR(l.color);
    int ink = 0;
    for (int y = l.y; y < l.y + h; ++y)
      for (int x = l.x; x < l.x + w; ++x) {
        const QRgb p = img.pixel(x, y);
        const int dr = qRed(p) - int(c & 0xFF), dg = qGreen(p) - int((c >> 8) & 0xFF), db = qBlue(p) - int(c >> 16);
        const int ink2 = dr * dr + dg * dg + db * db,
                  black2 = qRed(p) * qRed(p) + qGreen(p) * qGreen(p) + qBlue(p) * qBlue(p);
        ink += ink2 < black2;
      }
    EXPECT_GT(ink, 5) << l.text;
  }
  const QRgb left = img.pixel(20, 11);
  EXPECT_EQ(qRgb(qRed(left), qGreen(left), qBlue(left)), qRgb(0, 0, 0));  // where "-35" would be
}
