// One second of 44.1 kHz 16-bit stereo fed, block by block as a connector feeds them, through each
// analysis display on its own, drawing included (its picture and the control's canvas, the widget
// repainted as often as a screen would, every 25 ms of audio). Each display stands beside the work
// it must do at the least for the same blocks: the spectrum analyser, the spectrogram and the
// light beside the transform front end alone (samples, window, FFT, 16-bit bins); the scrolling
// oscilloscope, which transforms nothing, beside the scan for each block's lowest and highest
// point alone. Prints the time per second of audio and the ratio to its baseline at the end.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench/music.h"
#include "bench/qt_bench.h"
#include "displays/MMLight_ui.h"
#include "displays/MMOscope.h"
#include "displays/MMOscope_ui.h"
#include "displays/MMSpGram_ui.h"
#include "displays/MMSpectr_ui.h"
#include "engine/MMPCMSup.h"
#include "platform/ui/forms.h"

namespace {

constexpr int kRate = 44100;

// The deck's music with its chord spread over the spectrum, 4096 frames to spare for the last
// overlapping block.
const std::vector<int16_t>& OneSecond() {
  static const std::vector<int16_t> s = MusicLikeStereo(kRate, kRate + 4096, {220, 2770, 5300});
  return s;
}

// Feeds one second: blocks every AdvanceBytes, as the connector does for overlapping displays.
template <typename D>
void FeedSecond(D& d, const std::function<void()>& pump) {
  const auto& audio = OneSecond();
  const size_t advance = size_t(std::max(d.AdvanceBytes(), 4)) / 2, block = size_t(d.BlockBytes()) / 2;
  const size_t end = size_t(kRate) * 2;
  const size_t pumpEvery = size_t(kRate / 40) * 2;
  size_t nextPump = pumpEvery;
  for (size_t at = 0; at + block <= end + block && at < end; at += advance) {
    d.FeedPCM(audio.data() + at);
    if (at >= nextPump) {
      pump();
      nextPump += pumpEvery;
    }
  }
}

template <typename D>
void Run(benchmark::State& state, const std::string& name, const std::function<void(D&)>& setUp) {
  plat::TApplication app;
  plat::TForm* f = plat::NewForm<plat::TForm>(&app);
  f->SetClientWidth(420);
  f->SetClientHeight(260);
  auto* d = new D(f);
  d->SetParent(f);
  d->SetBounds(8, 8, 400, 240);
  plat::WAVEFORMATEX fmt{};
  MakePCMFormat(fmt, 16, 2, kRate);
  d->SetWaveFormat(&fmt);
  setUp(*d);
  f->Show();
  QCoreApplication::processEvents();
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    FeedSecond(*d, [] { QCoreApplication::processEvents(); });
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  Results()[name] = total / double(state.iterations());
  state.SetLabel("per second of audio");
  f->Free();
}

constexpr int kFFT = 512;

void BM_SpectrumBars(benchmark::State& state) {
  Run<TMMSpectrum>(state, "spectrum", [](TMMSpectrum& s) {
    s.SetFFTLength(kFFT);
    s.SetLogAmp(true);
    s.SetDecayMode(dmExponential);
  });
}

void BM_Spectrogram(benchmark::State& state) {
  Run<TMMSpectrogram>(state, "spectrogram", [](TMMSpectrogram& s) {
    s.SetFFTLength(kFFT);
    s.SetLogAmp(true);
    s.SetAccelerate(false);  // a block every FFTLength frames, like the others
  });
}

void BM_Light(benchmark::State& state) {
  Run<TMMLight>(state, "light", [](TMMLight& l) {
    l.SetFFTLength(kFFT);
    l.SetKind(lkSphere);
  });
}

void BM_ScopeChart(benchmark::State& state) {
  Run<TMMOscope>(state, "scope", [](TMMOscope& o) {
    o.SetScroll(true);
    o.SetFFTLength(kFFT);
  });
}

void BM_FrontEndOnly(benchmark::State& state) {
  const auto& audio = OneSecond();
  TMMFFTStage stage;
  stage.SetLength(kFFT);
  TMMFFTShape shape;
  shape.bits16 = true;
  shape.channels = 2;
  std::vector<int16_t> bins(kFFT);
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    int sum = 0;
    for (size_t at = 0; at < size_t(kRate) * 2; at += size_t(kFFT) * 2)
      sum += stage.Transform(audio.data() + at, shape, 0, 32766, bins.data());
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(bins.data());
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  Results()["front end"] = total / double(state.iterations());
  state.SetLabel("per second of audio");
}

void BM_ScopeScanOnly(benchmark::State& state) {
  const auto& audio = OneSecond();
  TMMScopeShape shape;
  shape.bits16 = true;
  shape.channels = 2;
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    int sum = 0;
    for (size_t at = 0; at < size_t(kRate) * 2; at += size_t(kFFT) * 2) {
      int16_t lo, hi;
      ScopeExtremes(audio.data() + at, shape, kFFT, lo, hi);
      sum += hi - lo;
    }
    benchmark::DoNotOptimize(sum);
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  Results()["scope scan"] = total / double(state.iterations());
  state.SetLabel("per second of audio");
}

BENCHMARK(BM_SpectrumBars)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Spectrogram)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Light)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ScopeChart)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_FrontEndOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScopeScanOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  RunQtBenchmarks(argc, argv);
  const auto& r = Results();
  std::printf("\nPer second of 44.1 kHz stereo, %d-point blocks, 400 x 240 displays:\n", kFFT);
  for (const char* base : {"front end", "scope scan"})
    if (r.count(base)) std::printf("  %-12s %.3f ms alone\n", base, r.at(base) * 1000.0);
  const std::pair<const char*, const char*> shown[] = {
      {"spectrum", "front end"}, {"spectrogram", "front end"}, {"light", "front end"}, {"scope", "scope scan"}};
  for (const auto& [name, base] : shown)
    if (r.count(name) && r.count(base))
      std::printf("  %-12s %.3f ms (%.2f %% of a core), %.1f x the %s\n", name, r.at(name) * 1000.0, r.at(name) * 100.0,
                  r.at(name) / r.at(base), base);
  return 0;
}
