// The deck's bars and meters behind a connector in a chain: fed block by block, reset on stop,
// forgotten by the connector when they go.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include <QPaintEvent>

#include "DisplaysTest.h"
#include "common/frame_clock.h"
#include "engine/ChainMocks.h"
#include "engine/ConnectorFakes.h"
#include "platform/ui/native_qt.h"
#include "platform/messages/messages.h"
#include "platform/ui/frames.h"
#include "recorder/DeckDisplays.h"

using namespace plat;

namespace {

// The connector's feed timer paced by the screen whose frames the test brings.
struct PacedTimer : ManualFeedTimer {
  int64_t NextFrameAt(int64_t us) override { return plat::NextFrameAt(us); }
  int64_t FrameMicroseconds() override { return plat::FramePeriod(); }
};

constexpr int64_t kFrame = 16'667;

// A recording chain of 44.1 kHz 16-bit stereo feeding a bar and a meter through a paced connector.
struct PacedChain {
  PacedChain(TMMDisplayFeed* level, TMMDisplayFeed* meter) {
    dev.SetOutput(&con);
    const WAVEFORMATEX f = Pcm(16, 2, 44100);
    dev.SetWaveFormat(&f);
    dev.SetBufferSize(4096);
    con.SetLevel1(level);
    con.SetMeter1(meter);
    dev.ChainOpen();
    dev.ChainStart();
    while (ProcessMessages()) {}
  }
  ~PacedChain() {
    dev.ChainStop();
    dev.ChainClose();
  }
  // Runs ms of virtual time a millisecond at a time, the device handing the connector a 4096-byte
  // buffer (20 blocks of a bar) every 23.22 ms, and the screen showing the frames that come due.
  // Returns how many frames it showed.
  int Run(PacedTimer& timer, ManualFrameClock& frames, int64_t ms,
          const std::function<std::vector<uint8_t>()>& nextBuffer) {
    int shown = 0;
    for (int64_t t = 0; t < ms; ++t) {
      if (t * 1000 >= nextAt_) {
        dev.BufferReady(buffer_.Fill(nextBuffer()));
        nextAt_ += 23'220;
      }
      timer.Advance(1000);
      if (frames.FireDue()) ++shown;
      QCoreApplication::processEvents();
    }
    nextAt_ -= ms * 1000;
    return shown;
  }
  LoggedDevice dev{"in", nullptr, false};
  TMMConnector con;

private:
  TestBuffer buffer_{4096};
  int64_t nextAt_ = 0;
};

int64_t ClosestTwo(const std::vector<int64_t>& times) {
  int64_t closest = INT64_MAX;
  for (size_t i = 1; i < times.size(); ++i) closest = std::min(closest, times[i] - times[i - 1]);
  return closest;
}

}  // namespace

TEST_F(DisplayTest, ConnectorFeedsTheDeckBarsAndMeters) {
  while (ProcessMessages()) {}
  ManualFeedTimer timer;
  SetConnectorFeedTimer(&timer);
  auto* left = Place<TMMLevel>(8, 8);
  auto* right = Place<TMMLevel>(8, 60);
  auto* meter = Place<TMMMeter>(8, 110);
  SetUpDeckLevel(*left, chLeft);
  SetUpDeckLevel(*right, chRight);
  SetUpDeckMeter(*meter, chRight);
  {
    LoggedDevice dev{"in", nullptr, false};
    TMMConnector con;
    ByteSink sink;
    dev.SetOutput(&con);
    con.SetOutput(&sink);
    const WAVEFORMATEX f = Pcm(16, 2, 44100);
    dev.SetWaveFormat(&f);
    dev.SetBufferSize(4000);
    con.SetRealTime(false);
    con.SetSynchronize(false);
    con.SetLevel1(left);
    con.SetLevel2(right);
    con.SetMeter1(meter);
    EXPECT_EQ(left->BlockBytes(), 200);  // the connector gave the stream's format on assignment
    dev.ChainOpen();
    dev.ChainStart();
    while (ProcessMessages()) {}

    // Twenty blocks: the left channel at full scale in the last one only, the right at -6 dB.
    std::vector<int16_t> audio(2000);
    for (size_t i = 0; i < audio.size(); i += 2) audio[i + 1] = 16384;
    audio[1990] = 32767;
    TestBuffer buffer(4000);
    std::vector<uint8_t> bytes(4000);
    std::memcpy(bytes.data(), audio.data(), 4000);
    dev.BufferReady(buffer.Fill(bytes));
    EXPECT_EQ(con.BlocksFed(dkLevel), 20);
    EXPECT_EQ(left->Spots(), 187);
    EXPECT_EQ(right->Spots(), 155);
    EXPECT_EQ(right->PeakSpots(), 155);
    EXPECT_EQ(meter->Value(), 50);

    // A stopped chain clears its displays (RefreshOnStop); the screen shows them at rest.
    dev.ChainStop();
    EXPECT_EQ(left->Spots(), 0);
    EXPECT_EQ(right->PeakSpots(), 0);
    EXPECT_EQ(meter->Needle(), 0);
    EXPECT_EQ(At(*left, 2, 2), BGR(clTeal));
    dev.ChainClose();

    // A display that goes is forgotten by the connector.
    right->Free();
    EXPECT_EQ(con.Level2(), nullptr);
    EXPECT_EQ(con.Level1(), static_cast<TMMDisplayFeed*>(left));
  }
  while (ProcessMessages()) {}
  SetConnectorFeedTimer(nullptr);
}

// Fed through a paced connector far faster than a screen shows pictures (a block every 1.13 ms),
// the deck's bar and needle meter draw every block but reach the screen once a frame, each time
// as they stand after the last block.
TEST_F(DisplayTest, PacedDisplaysReachTheScreenOncePerFrameAsTheyStandAfterTheLastBlock) {
  while (ProcessMessages()) {}
  PacedTimer timer;
  SetConnectorFeedTimer(&timer);
  ManualFrameClock frames(kFrame, [&] { return timer.NowMicroseconds(); });
  auto* level = Place<TMMLevel>(8, 8);
  auto* meter = Place<TMMMeter>(8, 60);
  SetUpDeckLevel(*level, chLeft);
  SetUpDeckMeter(*meter, chLeft);
  form_->Show();
  QCoreApplication::processEvents();
  SetFrameClock(&frames);
  std::vector<int64_t> levelShown, meterShown;
  PaintCounter levelPaints(plat::WidgetOf(level)), meterPaints(plat::WidgetOf(meter));
  levelPaints.onPaint = [&] { levelShown.push_back(timer.NowMicroseconds()); };
  meterPaints.onPaint = [&] { meterShown.push_back(timer.NowMicroseconds()); };
  int64_t fed = 0;
  {
    PacedChain chain(level, meter);
    TMMConnector& con = chain.con;
    int64_t lastFed = 0;
    con.OnTrigger = [&](TObject*) {
      if (con.BlocksFed(dkLevel) != fed) lastFed = timer.NowMicroseconds();
      fed = con.BlocksFed(dkLevel);
    };
    // For 300 ms, the loudness changing from block to block.
    int64_t n = 0;
    chain.Run(timer, frames, 300, [&] {
      std::vector<uint8_t> bytes(4096);
      for (size_t b = 0; b < 20; ++b, ++n) {
        const auto block = Stereo(int16_t(2000 + n * 4099 % 28000), 0);
        std::memcpy(bytes.data() + b * 200, block.data(), 200);
      }
      return bytes;
    });
    timer.Advance(kFrame);
    frames.FireDue();
    QCoreApplication::processEvents();
    EXPECT_EQ(con.BlocksFed(dkMeter), fed);
    ASSERT_FALSE(levelShown.empty());
    EXPECT_GE(levelShown.back(), lastFed) << "the last blocks never reached the screen";
    EXPECT_GE(meterShown.back(), lastFed);
    EXPECT_GT(level->Spots(), 0);
    levelPaints.onPaint = meterPaints.onPaint = nullptr;  // the pictures taken below paint too
    EXPECT_EQ(Grab(*level), FullPaint(*level)) << "what the screen shows is not the bar as it stands";
    EXPECT_EQ(Grab(*meter), FullPaint(*meter));
    SetFrameClock(nullptr);
  }
  EXPECT_GE(fed, 250);
  for (const auto* shown : {&levelShown, &meterShown}) {
    EXPECT_GE(shown->size(), 300u / 17);
    EXPECT_LE(shown->size(), 300u / 16 + 2);
    EXPECT_GE(ClosestTwo(*shown), kFrame) << "two pictures within one frame";
  }
  SetConnectorFeedTimer(nullptr);
}

// A steady tone or silence changes nothing on the screen: the feed still hands every block over,
// but neither it nor the screen wakes the UI thread more often than the screen shows frames.
TEST_F(DisplayTest, ASteadyInputWakesTheUiThreadNoMoreOftenThanTheScreenShowsFrames) {
  auto* level = Place<TMMLevel>(8, 8);
  auto* meter = Place<TMMMeter>(8, 60);
  SetUpDeckLevel(*level, chLeft);
  SetUpDeckMeter(*meter, chLeft);
  form_->Show();
  QCoreApplication::processEvents();
  PacedTimer timer;
  SetConnectorFeedTimer(&timer);
  for (const double amplitude : {4000.0, 0.0}) {
    SCOPED_TRACE(amplitude ? "a 1 kHz tone" : "silence");
    while (ProcessMessages()) {}
    ManualFrameClock frames(kFrame, [&] { return timer.NowMicroseconds(); });
    SetFrameClock(&frames);
    PacedChain chain(level, meter);
    int64_t frame = 0;
    auto tone = [&] {
      std::vector<int16_t> audio(2048);
      for (size_t i = 0; i < audio.size(); i += 2, ++frame)
        audio[i] = audio[i + 1] = int16_t(std::lround(amplitude * std::sin(2 * M_PI * 1000 * double(frame) / 44100)));
      std::vector<uint8_t> bytes(4096);
      std::memcpy(bytes.data(), audio.data(), bytes.size());
      return bytes;
    };
    chain.Run(timer, frames, 200, tone);  // the bars rise and settle
    const size_t ticksBefore = timer.ticks.size();
    const int64_t fedBefore = chain.con.BlocksFed(dkLevel);
    const int shown = chain.Run(timer, frames, 1000, tone);
    const std::vector<int64_t> ticks(timer.ticks.begin() + long(ticksBefore), timer.ticks.end());
    EXPECT_GE(chain.con.BlocksFed(dkLevel) - fedBefore, 43 * 20 - 20) << "blocks were skipped";
    EXPECT_LE(ticks.size(), size_t(1'000'000 / kFrame + 1)) << "the feed woke more often than the screen shows frames";
    EXPECT_GE(ClosestTwo(ticks), kFrame) << "two feed steps within one frame";
    EXPECT_LE(shown, 1) << "frames shown for a picture that stands still";
    SetFrameClock(nullptr);
  }
  SetConnectorFeedTimer(nullptr);
}

// Blocks fed between two frames are all drawn into the displays' own pictures, but the control's
// canvas takes them over once, as the frame is made, and the screen paints again only the part
// they changed.
TEST_F(DisplayTest, BlocksBetweenFramesReachTheCanvasOnceWithTheFrameAndOnlyWhatChangedIsPainted) {
  auto* level = Place<TMMLevel>(8, 8);
  auto* thin = Place<TMMMeter>(8, 60);
  auto* wide = Place<TMMMeter>(200, 60);
  SetUpDeckLevel(*level, chLeft);
  SetUpDeckMeter(*thin, chLeft);
  SetUpDeckMeter(*wide, chLeft);
  wide->SetNeedleWidth(3);
  const WAVEFORMATEX f = Pcm(16, 2);
  level->SetWaveFormat(&f);
  thin->SetWaveFormat(&f);
  wide->SetWaveFormat(&f);
  form_->Show();
  QCoreApplication::processEvents();
  int64_t now = 1'000'000;
  ManualFrameClock frames(16'667, [&] { return now; });
  SetFrameClock(&frames);
  std::vector<TMMDirectGraphicControl*> displays{level, thin, wide};
  std::vector<std::unique_ptr<PaintCounter>> regions;
  for (TMMDirectGraphicControl* d : displays) regions.push_back(std::make_unique<PaintCounter>(plat::WidgetOf(d)));

  for (int frame = 0; frame < 3; ++frame) {
    std::vector<QImage> before;
    for (TMMDirectGraphicControl* d : displays) before.push_back(plat::TargetOf(*d->Canvas())->copy());
    // Twelve blocks, louder and softer, ending at a level no earlier frame showed.
    for (int b = 0; b < 12; ++b) {
      const auto block = Stereo(int16_t(b % 2 ? 3000 + 700 * frame : 9000 + 9000 * frame), 0);
      for (TMMDisplayFeed* d : std::initializer_list<TMMDisplayFeed*>{level, thin, wide}) d->FeedPCM(block.data());
      now += 1'000;
    }
    EXPECT_GT(level->Spots(), 0);
    QCoreApplication::processEvents();
    for (size_t i = 0; i < displays.size(); ++i) {
      EXPECT_EQ(*plat::TargetOf(*displays[i]->Canvas()), before[i])
          << "display " << i << " reached its canvas before the frame";
      regions[i]->painted.clear();
    }
    now += 16'667;
    ASSERT_TRUE(frames.FireDue());
    QCoreApplication::processEvents();
    for (size_t i = 0; i < displays.size(); ++i) {
      const QRect whole = plat::WidgetOf(displays[i])->rect();
      ASSERT_EQ(regions[i]->painted.size(), 1u) << "display " << i;
      EXPECT_NE(regions[i]->painted[0], whole) << "display " << i << " painted whole for a change";
      EXPECT_TRUE(whole.contains(regions[i]->painted[0]));
      const QImage shown = CanvasNow(*displays[i]);
      EXPECT_EQ(shown, FullPaint(*displays[i])) << "display " << i << " does not show where it stands";
    }
    now += 20'000;
    frames.FireDue();  // the full paints above
    QCoreApplication::processEvents();
  }
  SetFrameClock(nullptr);
}

// What a frame shows of a display is what differs between the display as the screen last showed
// it and as it stands: a bar or a needle that went up and came back between two frames shows
// nothing new, though its blocks drew the way up and down.
TEST_F(DisplayTest, ADisplayThatCameBackBetweenTwoFramesPaintsNothing) {
  auto* level = Place<TMMLevel>(8, 8);
  auto* meter = Place<TMMMeter>(8, 60);
  SetUpDeckLevel(*level, chLeft);
  SetUpDeckMeter(*meter, chLeft);
  level->SetNumPeaks(0);
  meter->SetShowPeak(false);
  const WAVEFORMATEX f = Pcm(16, 2);
  level->SetWaveFormat(&f);
  meter->SetWaveFormat(&f);
  form_->Show();
  QCoreApplication::processEvents();
  int64_t now = 1'000'000;
  ManualFrameClock frames(16'667, [&] { return now; });
  SetFrameClock(&frames);
  PaintCounter levelPaints(plat::WidgetOf(level));
  auto feed = [&](int16_t v) {
    const auto block = Stereo(v, 0);
    level->FeedPCM(block.data());
    now += 1'000;
  };
  feed(9000);
  now += 16'667;
  ASSERT_TRUE(frames.FireDue());
  QCoreApplication::processEvents();
  const int spots = level->Spots();
  const int paints = levelPaints.paints;
  const QImage before = CanvasNow(*level);
  feed(30000);
  EXPECT_GT(level->Spots(), spots);
  feed(9000);
  EXPECT_EQ(level->Spots(), spots);
  now += 16'667;
  frames.FireDue();
  QCoreApplication::processEvents();
  EXPECT_EQ(levelPaints.paints, paints) << "the bar painted a frame that changed nothing";
  EXPECT_EQ(CanvasNow(*level), before);
  EXPECT_EQ(CanvasNow(*level), FullPaint(*level));

  // A needle that went far and came back shows as if it had moved straight.
  now += 20'000;
  frames.FireDue();
  QCoreApplication::processEvents();
  PaintCounter regions(plat::WidgetOf(meter));
  auto frame = [&] {
    now += 20'000;
    ASSERT_TRUE(frames.FireDue());
    QCoreApplication::processEvents();
  };
  // Straight from 10 % to 12 %, then the same by way of 95 %.
  meter->SetValue(10);
  frame();
  regions.painted.clear();
  meter->SetValue(12);
  frame();
  ASSERT_EQ(regions.painted.size(), 1u);
  const QRect straight = regions.painted[0];
  meter->SetValue(10);
  frame();
  regions.painted.clear();
  meter->SetValue(95);
  meter->SetValue(12);
  frame();
  ASSERT_EQ(regions.painted.size(), 1u);
  EXPECT_EQ(regions.painted[0], straight) << "the way to 95 % and back was painted";
  EXPECT_EQ(CanvasNow(*meter), FullPaint(*meter));
  SetFrameClock(nullptr);
}
