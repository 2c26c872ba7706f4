// The slider as the deck uses it (keys, mouse, a five-hour cart), its shared bitmaps, and the
// punch-in gauge.
#include <QTest>

#include "DisplaysTest.h"
#include "displays/MMBCache.h"
#include "recorder/DeckDisplays.h"
#include "platform/ui/native_qt.h"

using namespace plat;

namespace {

constexpr int32_t kFiveHours = 5 * 3600 * 1000;

class SliderTest : public DisplayTest {
protected:
  TMMSlider* DeckSlider() {
    auto* s = Place<TMMSlider>(8, 8);
    SetUpDeckSlider(*s);
    s->OnChange = [this](TObject*) { ++changes; };
    s->OnTrack = [this](TObject*) { ++tracks; };
    s->OnTrackEnd = [this](TObject*) { ++trackEnds; };
    return s;
  }
  static QPoint Centre(const TRect& r) { return QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2); }
  int changes = 0, tracks = 0, trackEnds = 0;
};

}  // namespace

TEST_F(SliderTest, RangeAndLogarithmicPositions) {
  TMMSlider* s = DeckSlider();
  s->SetLogarithmic(true);
  s->SetPosition(50);
  EXPECT_EQ(s->StoredPosition(), 75);
  EXPECT_EQ(s->Position(), 50);
  s->SetPosition(5);
  EXPECT_EQ(s->StoredPosition(), 0);
  s->SetPosition(-1);
  EXPECT_EQ(s->StoredPosition(), 0);
  s->SetLogarithmic(false);
  s->SetPosition(40);
  changes = 0;
  s->SetMaxValue(100);  // as it is: nothing happens
  EXPECT_EQ(changes, 0);
  s->SetMaxValue(200);  // a real change fires OnChange although the position stays
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(s->Position(), 40);
  s->SetMaxValue(s->MinValue());
  EXPECT_EQ(s->MaxValue(), s->MinValue() + 1);
  EXPECT_EQ(s->Position(), 1);
}

TEST_F(SliderTest, KeysAndMouseOnAFiveHourCart) {
  TMMSlider* s = DeckSlider();
  s->SetMaxValue(kFiveHours);
  s->SetPosition(kFiveHours / 2);
  form_->Show();
  s->SetFocus();
  QCoreApplication::processEvents();
  QWidget* w = plat::WidgetOf(s);
  // The thumb stands in the middle of its travel, whatever the length.
  const TMMSliderParts parts = s->Parts();
  EXPECT_EQ(s->ThumbRect().Left, parts.track.Left + parts.travel / 2);

  s->SetPosition(kFiveHours - 2);
  s->SetPageSize(5);
  changes = tracks = trackEnds = 0;
  QTest::keyPress(w, Qt::Key_PageUp);
  EXPECT_EQ(s->Position(), kFiveHours);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(tracks, 1);
  QTest::keyRelease(w, Qt::Key_PageUp);
  EXPECT_EQ(trackEnds, 1);
  QTest::keyClick(w, Qt::Key_Home);
  EXPECT_EQ(s->Position(), 0);
  QTest::keyClick(w, Qt::Key_Left);  // at the minimum already
  EXPECT_EQ(s->Position(), 0);

  // A click on the groove away from the thumb jumps there.
  changes = tracks = trackEnds = 0;
  const QPoint at(parts.track.Left + 5 + 177, Centre(s->ThumbRect()).y());
  QTest::mousePress(w, Qt::LeftButton, {}, at);
  EXPECT_EQ(s->Position(), kFiveHours / 2);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(tracks, 1);
  EXPECT_FALSE(s->Dragging());
  QTest::mouseRelease(w, Qt::LeftButton, {}, at);
  EXPECT_EQ(trackEnds, 1);
  // Dragging the thumb moves it by the range per pixel of travel, in 64 bits.
  const QPoint thumb = Centre(s->ThumbRect());
  QTest::mousePress(w, Qt::LeftButton, {}, thumb);
  EXPECT_TRUE(s->Dragging());
  QMouseEvent move(QEvent::MouseMove, QPointF(thumb + QPoint(10, 0)), QPointF(w->mapToGlobal(thumb + QPoint(10, 0))),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &move);
  EXPECT_EQ(s->Position(), kFiveHours / 2 + 508475);  // 10 x 18,000,000 / 354, rounded
  QTest::mouseRelease(w, Qt::LeftButton, {}, thumb + QPoint(10, 0));
  EXPECT_FALSE(s->Dragging());
  EXPECT_EQ(trackEnds, 2);
}

TEST_F(SliderTest, ShapeDecidesTheOrientationAndTravel) {
  TMMSlider* s = DeckSlider();
  s->SetMaxValue(10);
  s->SetBounds(s->Left(), s->Top(), 40, 200);
  EXPECT_EQ(s->Orientation(), orVertical);
  s->SetPosition(0);
  EXPECT_EQ(s->ThumbRect().Bottom, 200 - 6);  // the minimum at the bottom
  s->SetBounds(s->Left(), s->Top(), 60, 60);
  EXPECT_EQ(s->Orientation(), orHorizontal);
  // No travel: a click asks for nothing and changes nothing.
  s->SetBounds(s->Left(), s->Top(), 22, 20);
  ASSERT_EQ(s->Parts().travel, 0);
  form_->Show();
  changes = tracks = 0;
  QTest::mouseClick(plat::WidgetOf(s), Qt::LeftButton, {}, QPoint(15, 20));
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(tracks, 0);
}

TEST_F(SliderTest, AnAssignedScaleDrawsInItsOwnColours) {
  TMMSlider* s = DeckSlider();
  form_->Show();
  TMMScale blue;
  blue.SetColor(clBlue);
  blue.SetVisible(true);
  s->SetScale(&blue);
  EXPECT_EQ(s->Scale()->Color(), clBlue);
  const QImage assigned = FullPaint(*s);
  int bluePixels = 0;
  for (int y = 0; y < assigned.height(); ++y)
    for (int x = 0; x < assigned.width(); ++x) bluePixels += assigned.pixel(x, y) == qRgb(0, 0, 255);
  EXPECT_GT(bluePixels, 20);
  // The same as a scale given its colour directly.
  s->Scale()->SetColor(clBlack);
  s->Scale()->SetColor(clBlue);
  EXPECT_EQ(FullPaint(*s), assigned);
}

TEST_F(SliderTest, SlidersOfOneSizeShareOneBitmap) {
  EXPECT_EQ(TBitmapCache::Instance(), nullptr);
  TMMSlider* a = DeckSlider();
  TMMSlider* b = DeckSlider();
  ASSERT_NE(a->CachedBitmap(), nullptr);
  EXPECT_EQ(a->CachedBitmap(), b->CachedBitmap());
  EXPECT_EQ(TBitmapCache::Instance()->Users(a->CachedBitmap()), 2);
  b->SetWidth(300);
  EXPECT_NE(a->CachedBitmap(), b->CachedBitmap());
  EXPECT_EQ(TBitmapCache::Instance()->Count(), 2);
  EXPECT_EQ(TBitmapCache::Instance()->Users(a->CachedBitmap()), 1);
  form_->Show();
  EXPECT_EQ(FullPaint(*a), FullPaint(*a));  // painted through the shared bitmap
  a->Free();
  b->Free();
  EXPECT_EQ(TBitmapCache::Instance(), nullptr);
  // A release clears the caller's reference, so a second release cannot take another's share.
  TBitmap* x = TBitmapCache::Acquire(5, 5);
  TBitmap* y = TBitmapCache::Acquire(5, 5);
  TBitmap* stale = x;
  TBitmapCache::Release(x);
  EXPECT_EQ(x, nullptr);
  TBitmapCache::Release(x);
  EXPECT_EQ(TBitmapCache::Instance()->Users(stale), 1);
  TBitmapCache::Release(y);
  EXPECT_EQ(TBitmapCache::Instance(), nullptr);
}

namespace {
class CountingGauge : public TMMGauge {
public:
  using TMMGauge::TMMGauge;
  void Invalidate() override {
    ++invalidations;
    TMMGauge::Invalidate();
  }
  int invalidations = 0;
};
}  // namespace

TEST_F(DisplayTest, PunchInGaugeOverAFiveHourRange) {
  auto* g = Place<CountingGauge>(8, 8);
  SetUpDeckGauge(*g);
  g->SetMaxValue(kFiveHours);
  g->SetProgress(kFiveHours / 2);
  EXPECT_EQ(g->PercentDone(), 50);
  form_->Show();
  const QImage img = FullPaint(*g);
  // Inside the lowered bevel (1 pixel): 191 x 16, the first 95 pixels filled.
  auto bgr = [&](int x, int y) {
    const QRgb p = img.pixel(x, y);
    return uint32_t(qRed(p)) | (uint32_t(qGreen(p)) << 8) | (uint32_t(qBlue(p)) << 16);
  };
  EXPECT_EQ(bgr(1, 8), BGR(clBtnFace));
  EXPECT_EQ(bgr(95, 8), BGR(clBtnFace));
  EXPECT_EQ(bgr(96, 8), BGR(clTeal));
  EXPECT_EQ(bgr(191, 8), BGR(clTeal));
  g->SetProgress(kFiveHours - 18000);  // 99.9 %
  EXPECT_EQ(g->PercentDone(), 99);

  // Only a change of the whole percent repaints.
  g->SetMaxValue(1000);
  g->SetProgress(100);
  g->invalidations = 0;
  g->SetProgress(109);
  EXPECT_EQ(g->invalidations, 0);
  g->SetProgress(110);
  EXPECT_EQ(g->invalidations, 1);
  g->SetMaxValue(-5);
  EXPECT_EQ(g->MaxValue(), 0);  // not below the minimum
  g->SetMinValue(0);
  g->SetMaxValue(0);
  EXPECT_EQ(g->PercentDone(), 0);

  // With its text the gauge inverts what lies under the letters.
  g->SetMaxValue(100);
  g->SetProgress(0);
  g->SetShowText(true);
  g->SetBackColor(clBlack);
  const QImage text = FullPaint(*g);
  int light = 0;
  for (int y = 1; y < 17; ++y)
    for (int x = 1; x < 192; ++x) light += qGray(text.pixel(x, y)) > 128;
  EXPECT_GT(light, 20);
}
