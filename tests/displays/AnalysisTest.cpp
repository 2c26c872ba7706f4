// The oscilloscope, the spectrum analyser, the spectrogram and the light as controls: what their
// screens show for a block, that the quick paths (one column, one scroll, palette entries) show
// what a whole drawing shows, the readout that freezes the picture, peak marks under the shared
// timer, and the feed through a connector.
#include <QMouseEvent>
#include <QtTest/QTest>
#include <cmath>
#include <cstring>

#include "DisplaysTest.h"
#include "displays/MMLight_ui.h"
#include "displays/MMOscope_ui.h"
#include "displays/MMSpGram_ui.h"
#include "displays/MMSpectr_ui.h"
#include "engine/ChainMocks.h"
#include "engine/ConnectorFakes.h"
#include "platform/ui/native_qt.h"
#include "platform/messages/messages.h"

using namespace plat;

namespace {

// frames of 16-bit mono: a sine of the given cycles per block and amplitude.
std::vector<int16_t> Tone(int frames, double cycles, double amp) {
  std::vector<int16_t> b(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) b[size_t(i)] = int16_t(amp * std::sin(2 * M_PI * cycles * i / frames));
  return b;
}

// The pixels of the display rectangle of a control's screen.
template <typename C>
QImage Shown(C& c) {
  const TRect r = c.DisplayRect();
  return plat::TargetOf(*c.Canvas())->copy(r.Left, r.Top, r.Width(), r.Height()).convertToFormat(QImage::Format_RGB32);
}

void Press(TControl& c, Qt::MouseButton b, QPoint at) { QTest::mousePress(plat::WidgetOf(&c), b, {}, at); }
void Release(TControl& c, Qt::MouseButton b, QPoint at) { QTest::mouseRelease(plat::WidgetOf(&c), b, {}, at); }
void MoveTo(TControl& c, QPoint at, Qt::MouseButtons held) {
  QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(plat::WidgetOf(&c)->mapToGlobal(at)), Qt::NoButton, held,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(plat::WidgetOf(&c), &move);
}

// Where text, in the scales' font and ink on the form's colour, stands whole inside area of a
// picture of the control: the rectangle of its ink, null where it is nowhere.
QRect FindScaleText(const QImage& shot, TRect area, const std::string& text, TColor background) {
  QImage ref(80, 24, QImage::Format_RGB32);
  const QRgb bg =
      qRgb(GetRValue(ColorToRGB(background)), GetGValue(ColorToRGB(background)), GetBValue(ColorToRGB(background)));
  ref.fill(bg);
  TCanvas rc;
  plat::SetTargetImage(rc, &ref);
  ScaleFont(rc, clBlack);
  rc.Brush()->SetStyle(bsClear);
  rc.TextOut(4, 4, text);
  QRect ink;
  for (int y = 0; y < ref.height(); ++y)
    for (int x = 0; x < ref.width(); ++x)
      if (ref.pixel(x, y) != bg) ink |= QRect(x, y, 1, 1);
  const QImage glyphs = ref.copy(ink);
  area.Left = std::max(area.Left, 0);
  area.Top = std::max(area.Top, 0);
  area.Right = std::min(area.Right, shot.width());
  area.Bottom = std::min(area.Bottom, shot.height());
  const size_t rowBytes = size_t(glyphs.width()) * 4;
  for (int y = area.Top; y + glyphs.height() <= area.Bottom; ++y)
    for (int x = area.Left; x + glyphs.width() <= area.Right; ++x) {
      int row = 0;
      while (row < glyphs.height() &&
             std::memcmp(shot.constScanLine(y + row) + size_t(x) * 4, glyphs.constScanLine(row), rowBytes) == 0)
        ++row;
      if (row == glyphs.height()) return QRect(x, y, glyphs.width(), glyphs.height());
    }
  return {};
}

bool ShowsScaleText(const QImage& shot, TRect area, const std::string& text, TColor background) {
  return !FindScaleText(shot, area, text, background).isNull();
}

// The left and right scale strips of an analysis display, from top to bottom.
std::pair<TRect, TRect> SideStrips(const TMMAnalysisDisplay& d, int top, int bottom) {
  const TRect r = d.DisplayRect();
  const int e = d.Bevel()->BevelExtent();
  return {Rect(0, top, r.Left - e, bottom), Rect(r.Right + e, top, d.Width(), bottom)};
}

// Each text found in the strip at its row, that row running through its figures.
std::vector<QRect> FindSideLabels(const QImage& shot, const TRect& strip, const std::vector<int>& rows,
                                  const std::vector<std::string>& texts, TColor background) {
  std::vector<QRect> found;
  for (size_t i = 0; i < rows.size(); ++i) {
    const QRect at = FindScaleText(shot, Rect(strip.Left, rows[i] - 12, strip.Right, rows[i] + 12), texts[i], background);
    EXPECT_TRUE(!at.isNull() && at.top() <= rows[i] && rows[i] <= at.bottom()) << "\"" << texts[i] << "\" at row " << rows[i];
    if (!at.isNull()) found.push_back(at);
  }
  return found;
}

// A device handing 8192-byte buffers of 16-bit stereo at 22050 Hz to a connector that feeds its
// displays at once, as the buffer passes.
struct DirectFeed {
  static constexpr uint32_t kBytes = 8192;
  DirectFeed() {
    dev.SetOutput(&con);
    con.SetOutput(&sink);
    const WAVEFORMATEX f = Pcm(16, 2, 22050);
    dev.SetWaveFormat(&f);
    dev.SetBufferSize(kBytes);
    con.SetRealTime(false);
    con.SetSynchronize(false);
  }
  ~DirectFeed() {
    dev.ChainStop();
    dev.ChainClose();
  }
  void Start() {
    dev.ChainOpen();
    dev.ChainStart();
    while (ProcessMessages()) {}
  }
  void Feed(const std::vector<uint8_t>& bytes) { dev.BufferReady(buffer.Fill(bytes)); }

  LoggedDevice dev{"in", nullptr, false};
  TMMConnector con;
  ByteSink sink;
  TestBuffer buffer{kBytes};
};

}  // namespace

TEST_F(DisplayTest, OscilloscopeDrawsEachBlockAndRefusesOtherFormats) {
  auto* o = Place<TMMOscope>(8, 8);
  const WAVEFORMATEX f = Pcm(16, 1, 11025);
  o->SetWaveFormat(&f);
  const int W = o->DisplayWidth(), H = o->DisplayHeight();
  ASSERT_EQ(o->BlockBytes(), 2 * W);
  int pcm = 0;
  o->OnPcmOverflow = [&](TObject*) { ++pcm; };
  // Silence with one full-scale point: the middle row, and the top row at that point.
  std::vector<int16_t> b(size_t(W), 0);
  b[20] = 32767;
  o->FeedPCM(b.data());
  const TRect d = o->DisplayRect();
  EXPECT_EQ(At(*o, d.Left + 10, d.Top + H / 2), BGR(clAqua));
  EXPECT_EQ(At(*o, d.Left + 20, d.Top), BGR(clAqua));
  EXPECT_EQ(At(*o, d.Left + 10, d.Top + H / 2 - 1), BGR(clBlack));
  EXPECT_EQ(pcm, 1);

  WAVEFORMATEX bad = f;
  bad.wBitsPerSample = 12;
  try {
    o->SetWaveFormat(&bad);
    ADD_FAILURE() << "a 12-bit stream was taken";
  } catch (const EMMOscopeError& e) {
    EXPECT_STREQ(e.what(), "Invalid WaveFormat");
  }
  EXPECT_EQ(o->BlockBytes(), 2 * W);

  // Disabled: only a line through the middle from x = 5 to W - 5, and blocks change nothing.
  o->SetEnabled(false);
  FullPaint(*o);
  const QImage before = Shown(*o);
  EXPECT_EQ(At(*o, d.Left + 5, d.Top + H / 2), BGR(clGray));
  EXPECT_EQ(At(*o, d.Left + 4, d.Top + H / 2), BGR(clBlack));
  EXPECT_EQ(At(*o, d.Left + W - 5, d.Top + H / 2), BGR(clGray));
  o->FeedPCM(b.data());
  EXPECT_EQ(Shown(*o), before);
}

TEST_F(DisplayTest, OscilloscopeReadoutFreezesThePictureAndLeavesItAsItWas) {
  auto* o = Place<TMMOscope>(8, 8);
  o->SetKind(okConLines);
  form_->Show();
  QCoreApplication::processEvents();
  const int W = o->DisplayWidth();
  auto tone = Tone(W, 3, 20000);
  o->FeedPCM(tone.data());
  const QImage shown = Shown(*o);
  const TRect d = o->DisplayRect();
  Press(*o, Qt::LeftButton, QPoint(d.Left + 40, d.Top + 20));
  EXPECT_TRUE(o->Tracking());
  EXPECT_NE(Shown(*o), shown);  // the box is up
  auto other = Tone(W, 7, 30000);
  const QImage withBox = Shown(*o);
  o->FeedPCM(other.data());
  EXPECT_EQ(Shown(*o), withBox);
  MoveTo(*o, QPoint(d.Left + 100, d.Top + 50), Qt::LeftButton);
  Release(*o, Qt::LeftButton, QPoint(d.Left + 100, d.Top + 50));
  EXPECT_FALSE(o->Tracking());
  EXPECT_EQ(Shown(*o), shown);
}

TEST_F(DisplayTest, ScrollingOscilloscopeShowsTheSameChartWithAndWithoutAcceleration) {
  auto* fast = Place<TMMOscope>(8, 8);
  auto* slow = Place<TMMOscope>(8, 110);
  for (TMMOscope* o : {fast, slow}) {
    const WAVEFORMATEX f = Pcm(16, 1, 11025);
    o->SetWaveFormat(&f);
    o->SetScroll(true);
    o->SetKind(okVertLines);
    o->SetFFTLength(64);
  }
  slow->SetAccelerate(false);
  form_->Show();
  QCoreApplication::processEvents();
  const int W = fast->DisplayWidth();
  ASSERT_EQ(fast->BlockBytes(), 128);
  for (int n = 0; n < W + 40; ++n) {
    auto b = Tone(64, 1, 1000.0 + 150.0 * (n % 97));
    fast->FeedPCM(b.data());
    slow->FeedPCM(b.data());
    if (n == W / 2) {
      // Filling: the accelerated one marks the newest column with a line on the screen, the other
      // with a band in its picture; left of them both charts agree.
      const int x = fast->SweepColumn() - 1;
      EXPECT_EQ(Shown(*fast).copy(0, 0, x, fast->DisplayHeight()), Shown(*slow).copy(0, 0, x, slow->DisplayHeight()));
    }
  }
  // Once full both move left a column per block.
  EXPECT_EQ(Shown(*fast), Shown(*slow));
  // And what the screen shows is what a whole repaint of the picture gives.
  const QImage before = Shown(*fast);
  auto b = Tone(64, 1, 9000);
  fast->FeedPCM(b.data());
  const QImage after = Shown(*fast);
  EXPECT_EQ(after.copy(0, 0, W - 1, after.height()), before.copy(1, 0, W - 1, before.height()));
}

TEST_F(DisplayTest, OscilloscopeSelectionWithTheRightButton) {
  auto* o = Place<TMMOscope>(8, 8);
  o->SetUseSelection(true);
  form_->Show();
  QCoreApplication::processEvents();
  std::vector<std::pair<int, int>> selecting, ended;
  o->OnSelecting = [&](TObject*, int s, int e) { selecting.emplace_back(s, e); };
  o->OnSelectEnd = [&](TObject*, int s, int e) { ended.emplace_back(s, e); };
  const TRect d = o->DisplayRect();
  Press(*o, Qt::RightButton, QPoint(d.Left + 30, d.Top + 10));
  MoveTo(*o, QPoint(d.Left + 60, d.Top + 10), Qt::RightButton);
  Release(*o, Qt::RightButton, QPoint(d.Left + 60, d.Top + 10));
  EXPECT_EQ(selecting.front(), std::make_pair(-1, -1));
  EXPECT_EQ(selecting.back(), std::make_pair(30, 60));
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0], std::make_pair(30, 60));
  FullPaint(*o);
  EXPECT_EQ(At(*o, d.Left + 45, d.Top + 10), BGR(clRed));
  EXPECT_EQ(At(*o, d.Left + 61, d.Top + 10), BGR(clBlack));
  // Locked: the mouse leaves it alone.
  o->SetLocked(true);
  Press(*o, Qt::RightButton, QPoint(d.Left + 100, d.Top + 10));
  Release(*o, Qt::RightButton, QPoint(d.Left + 100, d.Top + 10));
  EXPECT_EQ(o->SelectionStart(), 30);
  o->SetSelection(50, 20);
  EXPECT_EQ(o->SelectionStart(), 20);
  EXPECT_EQ(o->SelectionEnd(), 50);
}

TEST_F(DisplayTest, SpectrumShowsATonesBarAndItsPeakUnderTheSharedTimer) {
  auto* s = Place<TMMSpectrum>(8, 8);
  const WAVEFORMATEX f = Pcm(16, 1, 11025);
  s->SetWaveFormat(&f);
  s->SetKind(skBars);
  ASSERT_EQ(s->BlockBytes(), 256);
  const TMMSpectrumModel& m = s->Model();
  auto tone = Tone(128, 20, 30000);
  s->FeedPCM(tone.data());
  EXPECT_EQ(m.StrongestBin(), 20);
  // Bin 20 of 64 is the bar that starts at column 20 x 194 / 64.
  const int col = m.StrongestColumn();
  EXPECT_EQ(m.FirstBins()[size_t(col)], 20);
  const TRect d = s->DisplayRect();
  EXPECT_EQ(At(*s, d.Left + col + 1, d.Bottom - 1), BGR(clAqua));  // a lit spot at the bottom
  const int bar =
      int(std::find_if(m.Bars().begin(), m.Bars().end(), [&](const TMMSpectrumBar& b) { return b.xFrom == col; }) -
          m.Bars().begin());
  const int32_t peak = m.Peak(bar);
  EXPECT_GT(peak, 0);

  // Silence: the bar falls at once, its mark stands 41 ticks of the shared timer, then goes.
  std::vector<int16_t> silence(128, 0);
  s->FeedPCM(silence.data());
  EXPECT_EQ(m.Bars()[size_t(bar)].value, 0);
  Ticks(40);
  EXPECT_EQ(m.Peak(bar), peak);
  Ticks(1);
  EXPECT_EQ(m.Peak(bar), 0);

  // No peak marks: the timer client rests, and comes back only while enabled.
  s->SetNumPeaks(0);
  EXPECT_FALSE(s->TimerRunning());
  s->SetEnabled(false);
  s->SetNumPeaks(1);
  EXPECT_FALSE(s->TimerRunning());
  s->SetEnabled(true);
  EXPECT_TRUE(s->TimerRunning());

  // Values out of their range are ignored.
  s->SetSpace(6);
  EXPECT_EQ(s->Space(), 1);
  s->SetPoint1(0);
  EXPECT_EQ(s->Point1(), 50);
  s->SetSpotHeight(d.Height() / 3 + 1);
  EXPECT_EQ(s->SpotHeight(), 1);
  EXPECT_THROW(s->SetBitsPerPixel(16), EMMDIBError);
}

TEST_F(DisplayTest, SpectrumWeightingsKeepAToneAtTheReferenceFrequencyAtItsHeight) {
  auto* s = Place<TMMSpectrum>(8, 8);
  s->SetHeight(200);
  const WAVEFORMATEX f = Pcm(16, 1, 44100);
  s->SetWaveFormat(&f);
  s->SetFFTLength(1024);
  s->SetRefFreq(1000);
  // A tone of 1 kHz at -12 dBFS.
  std::vector<int16_t> tone(1024);
  for (int i = 0; i < 1024; ++i) tone[size_t(i)] = int16_t(8231 * std::sin(2 * M_PI * 1000 * i / 44100.0));
  const int H = s->DisplayRect().Height();
  for (bool logAmp : {true, false}) {
    s->SetLogAmp(logAmp);
    s->SetGain(sgNone);
    s->FeedPCM(tone.data());
    const int32_t plain = s->Model().StrongestHeight();
    EXPECT_GT(plain, logAmp ? H / 2 : H / 10) << "dB axis " << logAmp;
    for (TMMSpectrumGain g : {sg3db, sg6db, sg9db, sg12db}) {
      s->SetGain(g);
      s->FeedPCM(tone.data());
      EXPECT_NEAR(s->Model().StrongestHeight(), plain, std::max(2, plain / 25))
          << "dB axis " << logAmp << ", weighting " << g;
      EXPECT_NEAR(s->Model().StrongestFrequency(false, 44100, 1024), 1000, 44100.0 / 1024);
    }
  }
}

TEST_F(DisplayTest, SpectrumLooksTheSameOnEightAndTwentyFourBitCanvases) {
  for (TMMSpectrumKind kind : {skDots, skLines, skVLines, skBars, skPeaks}) {
    auto* a = Place<TMMSpectrum>(8, 8);
    auto* b = Place<TMMSpectrum>(8, 110);
    b->SetBitsPerPixel(24);
    for (TMMSpectrum* s : {a, b}) {
      const WAVEFORMATEX f = Pcm(16, 1, 11025);
      s->SetWaveFormat(&f);
      s->SetKind(kind);
      s->SetDrawGrid(true);
      s->SetLogAmp(true);
      s->SetActiveDoted(kind == skPeaks);
      s->SetSpotHeight(2);
    }
    for (int n = 0; n < 3; ++n) {
      auto tone = Tone(128, 5 + 11 * n, 8000 + 9000 * n);
      a->FeedPCM(tone.data());
      b->FeedPCM(tone.data());
    }
    EXPECT_EQ(Shown(*a), Shown(*b)) << "kind " << kind;
    a->Free();
    b->Free();
  }
}

TEST_F(DisplayTest, SpectrumReadoutStopsFeedingAndPeakFall) {
  auto* s = Place<TMMSpectrum>(8, 8);
  form_->Show();
  QCoreApplication::processEvents();
  auto tone = Tone(128, 20, 30000);  // 8-bit mono by default: 128 bytes
  std::vector<uint8_t> bytes(128);
  for (int i = 0; i < 128; ++i) bytes[size_t(i)] = uint8_t(128 + tone[size_t(i)] / 256);
  s->FeedPCM(bytes.data());
  const TRect d = s->DisplayRect();
  Press(*s, Qt::LeftButton, QPoint(d.Left + 5, d.Top + 5));
  const QImage frozen = Shown(*s);
  std::vector<uint8_t> silence(128, 128);
  s->FeedPCM(silence.data());
  Ticks(100);
  EXPECT_EQ(Shown(*s), frozen);
  EXPECT_GT(s->Model().StrongestHeight(), 0);
  Release(*s, Qt::LeftButton, QPoint(d.Left + 5, d.Top + 5));
  Ticks(41);
  s->FeedPCM(silence.data());
  for (size_t i = 0; i < s->Model().Bars().size(); ++i) EXPECT_EQ(s->Model().Peak(int(i)), 0);
}

TEST_F(DisplayTest, SpectrogramColumnsAndScrollingMatchAWholeDrawing) {
  auto* fast = Place<TMMSpectrogram>(8, 8);
  auto* slow = Place<TMMSpectrogram>(8, 110);
  for (TMMSpectrogram* g : {fast, slow}) {
    const WAVEFORMATEX f = Pcm(16, 1, 11025);
    g->SetWaveFormat(&f);
    g->SetLogAmp(true);
    g->SetScroll(true);
  }
  slow->SetAccelerate(false);
  form_->Show();
  QCoreApplication::processEvents();
  const int W = fast->DisplayWidth();
  // Before the width is full the picture does not move: column k holds block k (after the bar's
  // lead-in of BarWidth blocks).
  int n = 0;
  auto feed = [&](int count) {
    for (int i = 0; i < count; ++i, ++n) {
      auto b = Tone(128, 4 + (n * 7) % 50, 20000);
      fast->FeedPCM(b.data());
      slow->FeedPCM(b.data());
    }
  };
  feed(5 + W - 1);
  EXPECT_EQ(fast->ColumnsWritten(), W - 1);
  const QImage filling = Shown(*fast);
  EXPECT_EQ(filling.copy(0, 0, W - 1, filling.height()), Shown(*slow).copy(0, 0, W - 1, filling.height()));
  feed(1);
  EXPECT_EQ(Shown(*fast).copy(0, 0, W - 1, filling.height()), filling.copy(0, 0, W - 1, filling.height()));
  feed(30);
  // Moving now: thirty columns left, the same on the screen of both.
  const QImage moved = Shown(*fast);
  EXPECT_EQ(moved.copy(0, 0, W - 31, moved.height()), filling.copy(30, 0, W - 31, moved.height()));
  EXPECT_EQ(moved, Shown(*slow));
  // A new palette is a whole new picture: the sweep starts again.
  fast->SetPaletteTyp(spHot);
  FullPaint(*fast);
  EXPECT_EQ(fast->ColumnsWritten(), 0);
  EXPECT_EQ(fast->SweepColumn(), -5);
}

TEST_F(DisplayTest, SpectrogramWrapsRoundAndShowsSilenceAsTheBottomOfItsPalette) {
  auto* g = Place<TMMSpectrogram>(8, 8);
  form_->Show();
  QCoreApplication::processEvents();
  const int W = g->DisplayWidth();
  std::vector<uint8_t> silence(128, 128);
  for (int i = 0; i < 5 + W + 3; ++i) g->FeedPCM(silence.data());
  EXPECT_EQ(g->SweepColumn(), 3);
  const TRect d = g->DisplayRect();
  // spThreshold: levels below 16 are black; the bar stands just after the newest column.
  EXPECT_EQ(At(*g, d.Left + 1, d.Top + 10), BGR(clBlack));
  EXPECT_EQ(At(*g, d.Left + 3, d.Top + 10), BGR(clGray));
  g->SetSensitivy(-100);
  EXPECT_EQ(g->Sensitivy(), -90);
  g->SetAmplitudeScale(2000);
  EXPECT_EQ(g->AmplitudeScale(), 1000);
  // Its columns are palette indices: a 24-bit picture is refused and the 8-bit one stays.
  try {
    g->SetBitsPerPixel(24);
    ADD_FAILURE() << "a 24-bit picture was taken";
  } catch (const EMMDIBError& e) {
    EXPECT_STREQ(e.what(), "Bitlength not supported yet");
  }
  EXPECT_EQ(g->BitsPerPixel(), 8);
  EXPECT_EQ(plat::ImageOf(g->DIBCanvas()->Image()).format(), QImage::Format_Indexed8);
}

TEST_F(DisplayTest, LightChangesOnlyItsPaletteEntries) {
  auto* l = Place<TMMLight>(8, 8);
  const WAVEFORMATEX f = Pcm(16, 1, 11025);
  l->SetWaveFormat(&f);
  form_->Show();
  QCoreApplication::processEvents();
  const TRect d = l->DisplayRect();
  const auto spots = LightSpots(d.Width(), d.Height(), laLine, 10);
  auto centre = [&](int b) { return At(*l, d.Left + spots[size_t(b)].cx, d.Top + spots[size_t(b)].cy); };
  EXPECT_EQ(centre(0), BGR(clBlack));
  const QImage picture = plat::ImageOf(l->DIBCanvas()->Image()).copy();
  // A 150 Hz tone: the bass light goes red, the others stay dark, the pixels stay as they were.
  std::vector<int16_t> tone(128);
  for (int i = 0; i < 128; ++i) tone[size_t(i)] = int16_t(12000 * std::sin(2 * M_PI * 150 * i / 11025));
  l->FeedPCM(tone.data());
  EXPECT_EQ(l->ShownLevel(0), 255);
  EXPECT_EQ(centre(0), BGR(clRed));
  EXPECT_LT(l->ShownLevel(2), 40);
  const QImage after = plat::ImageOf(l->DIBCanvas()->Image());
  ASSERT_EQ(after.format(), QImage::Format_Indexed8);
  for (int y = 0; y < after.height(); ++y)
    ASSERT_EQ(std::memcmp(after.constScanLine(y), picture.constScanLine(y), size_t(after.width())), 0) << y;

  // Spheres: a ring per zone, and more zones than the palette holds are held to what fits.
  l->SetKind(lkSphere);
  l->SetZoneCount(100);
  EXPECT_EQ(l->ZoneCount(), 78);
  l->FeedPCM(tone.data());
  FullPaint(*l);
  EXPECT_GT(centre(0) & 0xFF, 200u);  // near the bright middle of the red ball
  EXPECT_EQ(centre(0) & 0xFFFF00, 0u);
  EXPECT_THROW(l->SetBitsPerPixel(24), EMMDIBError);
}

TEST_F(DisplayTest, ConnectorFeedsTheAnalysisDisplaysTheirOwnBlocks) {
  while (ProcessMessages()) {}
  ManualFeedTimer timer;
  SetConnectorFeedTimer(&timer);
  auto* scope = Place<TMMOscope>(8, 8);
  auto* spectrum = Place<TMMSpectrum>(8, 110);
  auto* gram = Place<TMMSpectrogram>(210, 8);
  auto* light = Place<TMMLight>(210, 110);
  int scopeBlocks = 0, gramBlocks = 0;
  scope->OnPostPaint = [&](TObject*) { ++scopeBlocks; };
  {
    DirectFeed feed;
    TMMConnector& con = feed.con;
    con.SetOscope1(scope);
    con.SetSpectrum(1, spectrum);
    con.SetSpectrogram1(gram);
    con.SetLight1(light);
    // The stream's format reached each of them.
    EXPECT_EQ(scope->BlockBytes(), 4 * scope->DisplayWidth());
    EXPECT_EQ(spectrum->SampleRate(), 22050);
    EXPECT_EQ(gram->BlockBytes(), 512);
    EXPECT_EQ(gram->AdvanceBytes(), 128);
    EXPECT_EQ(light->BlockBytes(), 512);
    feed.Start();
    std::vector<int16_t> audio(4096);
    for (size_t i = 0; i < audio.size(); i += 2)
      audio[i] = audio[i + 1] = int16_t(10000 * std::sin(2 * M_PI * 3000 * double(i / 2) / 22050));
    std::vector<uint8_t> bytes(8192);
    std::memcpy(bytes.data(), audio.data(), 8192);
    const int before = gram->ColumnsWritten();
    feed.Feed(bytes);
    gramBlocks = gram->ColumnsWritten() - before;
    EXPECT_GT(scopeBlocks, 0);
    // Overlapping blocks a quarter of a block apart: more than the buffer's sixteen whole blocks.
    EXPECT_GT(con.BlocksFed(dkSpectrogram), 16);
    EXPECT_GT(gramBlocks, 0);
    EXPECT_EQ(light->ShownLevel(2), 255);  // 3 kHz: the treble light
    EXPECT_NEAR(spectrum->Model().StrongestFrequency(false, 22050, 128), 3000, 22050.0 / 128);
  }
  while (ProcessMessages()) {}
  SetConnectorFeedTimer(nullptr);
}

TEST_F(DisplayTest, ScrollingOscilloscopeTakesQuarterStepsOnlyWithAcceleration) {
  while (ProcessMessages()) {}
  ManualFeedTimer timer;
  SetConnectorFeedTimer(&timer);
  auto* chart = Place<TMMOscope>(8, 8);
  chart->SetScroll(true);
  chart->SetFFTLength(128);
  for (bool accelerate : {false, true}) {
    chart->SetAccelerate(accelerate);
    chart->ResetData();
    DirectFeed feed;
    feed.con.SetOscope1(chart);
    ASSERT_EQ(chart->BlockBytes(), 512);
    feed.Start();
    std::vector<uint8_t> bytes(8192);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7);
    int drawn = 0;
    chart->OnPostPaint = [&](TObject*) { ++drawn; };
    feed.Feed(bytes);
    chart->OnPostPaint = nullptr;
    // Sixteen whole blocks of 128 frames; with acceleration one every 32 frames.
    const int64_t blocks = accelerate ? (8192 - 512) / 128 + 1 : 8192 / 512;
    EXPECT_EQ(feed.con.BlocksFed(dkOscope), blocks) << "accelerate " << accelerate;
    EXPECT_EQ(drawn, blocks) << "accelerate " << accelerate;
  }
  while (ProcessMessages()) {}
  SetConnectorFeedTimer(nullptr);
}

TEST_F(DisplayTest, ScalesKeepTheirEndLabelsWhole) {
  form_->SetClientWidth(600);
  form_->SetClientHeight(520);
  const TColor face = form_->Color();
  const WAVEFORMATEX f = Pcm(16, 1, 22050);

  // The spectrogram's kHz scale: 0.00 at the bottom tick, the top frequency at the top one.
  auto* gram = Place<TMMSpectrogram>(8, 8);
  gram->SetBounds(8, 8, 272, 140);
  gram->SetDrawScale(true);
  gram->SetWaveFormat(&f);
  QImage shot = FullPaint(*gram);
  TRect d = gram->DisplayRect();
  for (const TRect& side :
       {SideStrips(*gram, d.Bottom - 14, gram->Height()).first, SideStrips(*gram, d.Bottom - 14, gram->Height()).second})
    EXPECT_TRUE(ShowsScaleText(shot, side, "0.00", face));
  for (const TRect& side : {SideStrips(*gram, 0, d.Top + 14).first, SideStrips(*gram, 0, d.Top + 14).second})
    EXPECT_TRUE(ShowsScaleText(shot, side, "11.03", face));

  // The spectrum's dB strips: 0 at the top on both sides, whole; -60 at the bottom. Its frequency
  // scale ends in the Nyquist frequency, linear or logarithmic, however wide.
  auto* spectrum = Place<TMMSpectrum>(8, 160);
  spectrum->SetBounds(8, 160, 260, 150);
  spectrum->SetDrawAmpScale(true);
  spectrum->SetDrawFreqScale(true);
  spectrum->SetLogAmp(true);
  spectrum->SetLogFreq(true);
  spectrum->SetFFTLength(512);
  spectrum->SetWaveFormat(&f);
  shot = FullPaint(*spectrum);
  d = spectrum->DisplayRect();
  EXPECT_TRUE(ShowsScaleText(shot, SideStrips(*spectrum, 0, d.Top + 14).first, "0", face));
  EXPECT_TRUE(ShowsScaleText(shot, SideStrips(*spectrum, 0, d.Top + 14).second, " 0", face));  // two places wide
  EXPECT_TRUE(ShowsScaleText(shot, SideStrips(*spectrum, d.Bottom - 8, d.Bottom + 8).first, "-60", face));
  for (bool logFreq : {true, false}) {
    spectrum->SetLogFreq(logFreq);
    for (int w = 160; w <= 400; w += 20) {
      spectrum->SetWidth(w);
      shot = FullPaint(*spectrum);
      d = spectrum->DisplayRect();
      EXPECT_TRUE(ShowsScaleText(shot, Rect(d.Right - 30, d.Bottom, w, spectrum->Height()), "11025", face))
          << (logFreq ? "log" : "linear") << ", width " << w;
    }
  }

  // The oscilloscope's amplitude scale: +1.00 at the top, whole, and -1.00 at the bottom.
  auto* scope = Place<TMMOscope>(300, 160);
  scope->SetBounds(300, 160, 260, 140);
  scope->SetDrawAmpScale(true);
  scope->SetDrawTimeScale(true);
  scope->SetWaveFormat(&f);
  shot = FullPaint(*scope);
  d = scope->DisplayRect();
  for (const TRect& side : {SideStrips(*scope, 0, d.Top + 14).first, SideStrips(*scope, 0, d.Top + 14).second})
    EXPECT_TRUE(ShowsScaleText(shot, side, "+1.00", face));
  EXPECT_TRUE(ShowsScaleText(shot, SideStrips(*scope, d.Bottom - 8, d.Bottom + 8).first, "-1.00", face));
}

TEST_F(DisplayTest, SideScalesLabelEveryTickAndTheSpectrogramsUnitTouchesNoLabel) {
  form_->SetClientWidth(240);
  form_->SetClientHeight(420);
  const TColor face = form_->Color();
  char text[32];
  // Every kilohertz tick at every rate and height, the unit only where it touches no label.
  auto* gram = Place<TMMSpectrogram>(8, 8);
  gram->SetDrawScale(true);
  int unitsShown = 0;
  for (int rate : {8000, 11025, 22050, 44100, 48000, 96000})
    for (int height : {60, 90, 140, 200, 300, 400}) {
      SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(height) + " pixels high");
      const WAVEFORMATEX f = Pcm(16, 1, rate);
      gram->SetBounds(8, 8, 194, height);
      gram->SetWaveFormat(&f);
      const QImage shot = FullPaint(*gram);
      const TRect d = gram->DisplayRect();
      int ticks = rate / 2 / 1000;
      while (ticks > 1 && d.Height() / ticks < 10) ticks /= 2;
      std::vector<int> rows;
      std::vector<std::string> texts;
      for (int k = 0; k <= ticks; ++k) {
        rows.push_back(d.Bottom - 1 - (d.Height() - 1) * k / ticks);
        std::snprintf(text, sizeof text, "%4.2f", rate / 2.0 * k / ticks / 1000.0);
        texts.push_back(text);
      }
      for (const TRect& strip : {SideStrips(*gram, 0, height).first, SideStrips(*gram, 0, height).second}) {
        const std::vector<QRect> labels = FindSideLabels(shot, strip, rows, texts, face);
        const QRect unit = FindScaleText(shot, strip, "KHz", face);
        if (unit.isNull()) continue;
        ++unitsShown;
        for (const QRect& label : labels) EXPECT_FALSE(unit.adjusted(-1, -1, 1, 1).intersects(label));
      }
    }
  EXPECT_GE(unitsShown, 2 * 12) << "the unit is shown where the ticks leave it room";

  // The oscilloscope's volts at every grid division and the spectrum's decibels at every
  // division, at every height.
  auto* scope = Place<TMMOscope>(8, 8);
  scope->SetDrawAmpScale(true);
  auto* spectrum = Place<TMMSpectrum>(8, 8);
  spectrum->SetDrawAmpScale(true);
  spectrum->SetLogAmp(true);
  for (int height = 40; height <= 160; height += 10) {
    SCOPED_TRACE(std::to_string(height) + " pixels high");
    scope->SetVisible(true);
    spectrum->SetVisible(false);
    scope->SetBounds(8, 8, 200, height);
    QImage shot = FullPaint(*scope);
    TRect d = scope->DisplayRect();
    int div = 10;
    while (div > 2 && d.Height() / div < 10) div -= 2;
    std::vector<int> rows;
    std::vector<std::string> texts;
    for (int k = 0; k <= div; ++k) {
      const double v = 1.0 - 2.0 * k / div;
      rows.push_back(d.Top + (d.Height() - 1) * k / div);
      std::snprintf(text, sizeof text, "%s%4.2f", v > 0.004 ? "+" : v < -0.004 ? "-" : "", std::fabs(v));
      texts.push_back(text);
    }
    FindSideLabels(shot, SideStrips(*scope, 0, height).first, rows, texts, face);

    scope->SetVisible(false);
    spectrum->SetVisible(true);
    spectrum->SetBounds(8, 8, 200, height);
    shot = FullPaint(*spectrum);
    d = spectrum->DisplayRect();
    div = 6;
    while (div > 1 && d.Height() / div < 10) --div;
    rows.clear();
    texts.clear();
    for (int k = 0; k <= div; ++k) {
      rows.push_back(d.Top + (d.Height() - 1) * k / div);
      texts.push_back(std::to_string(-10 * (k * 6 / div)));
    }
    FindSideLabels(shot, SideStrips(*spectrum, 0, height).first, rows, texts, face);
  }
}
