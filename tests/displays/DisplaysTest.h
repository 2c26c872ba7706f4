#pragma once
// Shared by the display tests: the application object, the shared timer stepped by hand, blocks of
// audio, and pictures of what a display shows.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QWidget>
#include <vector>

#include "common/wave_format.h"
#include "engine/MMTimer.h"
#include "platform/ui/native_qt.h"
#include "platform/audio/mmtimer.h"
#include "platform/audio/wave_types.h"
#include "platform/ui/forms.h"

// One peak-hold tick of the shared 25 ms timer.
inline void Ticks(int n) {
  for (int i = 0; i < n; ++i) plat::StepManualMMTimer(kSharedTimerPeriod);
}

inline plat::WAVEFORMATEX Pcm(int bits, int channels, int rate = 48000) {
  return PcmFormat(uint32_t(rate), uint16_t(channels), uint16_t(bits));
}

// A 16-bit stereo block of 50 frames: left and right at these levels.
inline std::vector<int16_t> Stereo(int16_t left, int16_t right) {
  std::vector<int16_t> b(100);
  for (size_t i = 0; i < b.size(); i += 2) b[i] = left, b[i + 1] = right;
  return b;
}

// 0xBBGGRR of a pixel of the control's canvas: what the screen inside the control shows.
template <typename Control>
uint32_t At(Control& c, int x, int y) {
  const QRgb p = plat::TargetOf(*c.Canvas())->pixel(x, y);
  return uint32_t(qRed(p)) | (uint32_t(qGreen(p)) << 8) | (uint32_t(qBlue(p)) << 16);
}
inline uint32_t BGR(plat::TColor c) { return plat::ColorToBGR(c); }

// The control's canvas as it stands, and the picture a full paint of the control gives now.
template <typename Control>
QImage CanvasNow(Control& c) {
  return plat::TargetOf(*c.Canvas())->convertToFormat(QImage::Format_RGB32);
}
// What the control's widget shows now, without painting it again.
inline QImage Grab(plat::TControl& c) {
  QImage img(plat::WidgetOf(&c)->size(), QImage::Format_RGB32);
  img.fill(Qt::magenta);
  plat::WidgetOf(&c)->render(&img);
  return img;
}
inline QImage FullPaint(plat::TControl& c) {
  c.Invalidate();
  QImage img(plat::WidgetOf(&c)->size(), QImage::Format_RGB32);
  img.fill(Qt::magenta);
  plat::WidgetOf(&c)->render(&img);
  return img;
}

// A form with nothing on it yet, freed at the end of the test.
class DisplayTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(TimerClientCount(), 0);
    form_ = plat::NewForm<plat::TForm>(nullptr);
    form_->SetClientWidth(420);
    form_->SetClientHeight(320);
  }
  void TearDown() override {
    form_->Free();
    EXPECT_EQ(TimerClientCount(), 0) << "a display left its timer client behind";
  }
  template <typename T>
  T* Place(int x, int y) {
    auto* c = new T(form_);
    c->SetParent(form_);
    c->SetLeft(x);
    c->SetTop(y);
    return c;
  }
  plat::TForm* form_ = nullptr;
};
