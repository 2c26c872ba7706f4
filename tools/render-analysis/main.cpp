// Draws the analysis displays fed with a made-up signal to a PNG:
//   render-analysis [--blocks N] [--out FILE]
// The signal is 16-bit stereo at 22050 Hz: a tone of 1 kHz on the left and a rising sweep on the
// right (100 Hz to 9 kHz every half second), both at half scale, with a burst of noise every second. The oscilloscopes
// (a trace and a scrolling chart), the spectrum analysers (bars on a dB scale, lines on a log frequency axis with its
// scale), the spectrogram and the light each take N blocks. Run with QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QWidget>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "displays/MMLight_ui.h"
#include "displays/MMOscope_ui.h"
#include "displays/MMSpGram_ui.h"
#include "displays/MMSpectr_ui.h"
#include "engine/MMPCMSup.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/forms.h"

using namespace plat;

namespace {

// The signal from frame `at` on.
class Signal {
public:
  std::vector<int16_t> Block(int frames) {
    std::vector<int16_t> b(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i, ++at_) {
      const double t = at_ / 22050.0;
      const double sweep = 100.0 * std::pow(90.0, std::fmod(t, 0.5) / 0.5);  // 100 Hz .. 9 kHz in 0.5 s
      phase_ += 2.0 * M_PI * sweep / 22050.0;
      seed_ = seed_ * 1103515245u + 12345u;
      const double noise = std::fmod(t, 1.0) < 0.1 ? (double((seed_ >> 16) & 0x7FFF) / 16384.0 - 1.0) * 8000 : 0.0;
      b[size_t(2 * i)] = int16_t(16000 * std::sin(2.0 * M_PI * 1000.0 * t) + noise);
      b[size_t(2 * i + 1)] = int16_t(16000 * std::sin(phase_));
    }
    return b;
  }

private:
  int64_t at_ = 0;
  double phase_ = 0.0;
  uint32_t seed_ = 1;
};

template <typename D>
void Feed(D& d, int blocks) {
  Signal s;
  const int frames = d.BlockBytes() / 4, advance = std::max(1, d.AdvanceBytes() / 4);
  std::vector<int16_t> carry;
  for (int n = 0; n < blocks; ++n) {
    // Overlapping blocks where the display advances by less than a block, as the connector does.
    std::vector<int16_t> more = s.Block(n == 0 ? frames : advance);
    carry.insert(carry.end(), more.begin(), more.end());
    if (carry.size() > size_t(frames) * 2) carry.erase(carry.begin(), carry.end() - ptrdiff_t(frames) * 2);
    d.FeedPCM(carry.data());
  }
}

template <typename T>
T* Place(TForm* f, int x, int y, int w, int h) {
  auto* c = new T(f);
  c->SetParent(f);
  c->SetBounds(x, y, w, h);
  return c;
}

int Usage(const char* self) {
  std::fprintf(stderr, "usage: %s [--blocks N] [--out FILE]\n", self);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int blocks = 300;
  std::string out = "analysis.png";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return Usage(argv[0]);
    const char* v = argv[++i];
    if (a == "--out") {
      out = v;
    } else if (a == "--blocks") {
      char* end = nullptr;
      const long n = std::strtol(v, &end, 10);
      if (!*v || *end || n < 1 || n > 100000) return Usage(argv[0]);
      blocks = int(n);
    } else {
      return Usage(argv[0]);
    }
  }
  QApplication qapp(argc, argv);
  int rc = 0;
  {
    TApplication app;
    app.SetTitle("render-analysis");
    TForm* f = NewForm<TForm>(&app);
    f->SetCaption("Analysis displays");
    f->SetColor(clBtnFace);
    f->SetClientWidth(560);
    f->SetClientHeight(510);
    WAVEFORMATEX fmt{};
    MakePCMFormat(fmt, 16, 2, 22050);

    auto* scope = Place<TMMOscope>(f, 8, 8, 260, 140);
    scope->SetDrawAmpScale(true);
    scope->SetDrawTimeScale(true);
    scope->SetDrawGrid(true);
    scope->SetKind(okConLines);
    scope->SetWaveFormat(&fmt);
    scope->SetChannel(chLeft);
    scope->SetZoom(-2);
    auto* chart = Place<TMMOscope>(f, 280, 8, 272, 100);
    chart->SetWaveFormat(&fmt);
    chart->SetScroll(true);
    chart->SetKind(okMirLines);
    chart->SetFFTLength(256);
    chart->SetDrawMidLine(true);
    auto* bars = Place<TMMSpectrum>(f, 8, 156, 260, 150);
    bars->SetDrawAmpScale(true);
    bars->SetDrawFreqScale(true);
    bars->SetLogAmp(true);
    bars->SetFFTLength(512);
    bars->SetWaveFormat(&fmt);
    bars->SetDecayMode(dmExponential);
    bars->SetDecay(2);
    bars->SetDisplayPeak(true);
    bars->SetDrawGrid(true);
    bars->SetSpotHeight(2);
    auto* lines = Place<TMMSpectrum>(f, 280, 116, 272, 140);
    lines->SetKind(skLines);
    lines->SetLogFreq(true);
    lines->SetLogAmp(true);
    lines->SetFFTLength(1024);
    lines->SetWaveFormat(&fmt);
    lines->SetDrawGrid(true);
    lines->SetDrawFreqScale(true);
    auto* gram = Place<TMMSpectrogram>(f, 280, 264, 272, 140);
    gram->SetDrawScale(true);
    gram->SetFFTLength(256);
    gram->SetLogAmp(true);
    gram->SetAmplitudeScale(50);
    gram->SetPaletteTyp(spHot);
    gram->SetWaveFormat(&fmt);
    gram->SetChannel(chRight);
    auto* light = Place<TMMLight>(f, 8, 314, 260, 100);
    light->SetKind(lkSphere);
    light->SetZoneCount(30);
    light->SetWaveFormat(&fmt);
    auto* light2 = Place<TMMLight>(f, 280, 412, 272, 90);
    light2->SetArrange(laTriangle);
    light2->SetWaveFormat(&fmt);
    f->Show();
    QCoreApplication::processEvents();
    Feed(*scope, blocks);
    Feed(*chart, blocks);
    Feed(*bars, blocks);
    Feed(*lines, blocks);
    Feed(*gram, blocks);
    Feed(*light, blocks);
    Feed(*light2, blocks);
    QCoreApplication::processEvents();
    QWidget* window = plat::WidgetOf(f);
    QImage img(window->size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    window->render(&img);
    if (!img.save(QString::fromLocal8Bit(out.c_str()), "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", out.c_str());
      rc = 1;
    }
  }
  return rc;
}
