// One second of 48 kHz 16-bit stereo fed, block by block as a connector feeds them, through the
// deck's two level bars and two needle meters, drawing included (the pictures and the controls'
// canvases; the widgets are shown and repainted as often as a screen would, every 25 ms of audio).
// The baseline is the peak scan alone: what the displays must do at the least. Prints the time
// per second of audio and the ratio to the baseline at the end.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/music.h"
#include "bench/qt_bench.h"
#include "recorder/DeckDisplays.h"

namespace {

constexpr int kRate = 48000;
constexpr int kFrames = 50;  // a level block, the bars' default Samples

std::vector<int16_t> OneSecond() { return MusicLikeStereo(kRate, kRate); }

void Record(const std::string& name, benchmark::State& state, double seconds) {
  Results()[name] = seconds / double(state.iterations());
}

void BM_DeckDisplays(benchmark::State& state) {
  const std::vector<int16_t> audio = OneSecond();
  plat::TApplication app;
  TDeckDisplays d = MakeDeckDisplays(&app);
  d.form->Show();
  QCoreApplication::processEvents();
  plat::WAVEFORMATEX f{};
  f.wFormatTag = 1;
  f.nChannels = 2;
  f.nSamplesPerSec = kRate;
  f.wBitsPerSample = 16;
  f.nBlockAlign = 4;
  f.nAvgBytesPerSec = kRate * 4;
  for (TMMLevel* l : {d.level1, d.level2}) l->SetWaveFormat(&f);
  for (TMMMeter* m : {d.meter1, d.meter2}) m->SetWaveFormat(&f);
  const int blocks = kRate / kFrames;
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (int b = 0; b < blocks; ++b) {
      const int16_t* block = audio.data() + size_t(b) * kFrames * 2;
      d.level1->FeedPCM(block);
      d.level2->FeedPCM(block);
      d.meter1->FeedPCM(block);
      d.meter2->FeedPCM(block);
      if (b % (blocks / 40) == 0) QCoreApplication::processEvents();
    }
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  Record("displays", state, total);
  state.SetLabel("per second of audio");
  d.form->Free();
}

void BM_PeakScanOnly(benchmark::State& state) {
  const std::vector<int16_t> audio = OneSecond();
  TMMPcmShape left, right;
  left.bits16 = right.bits16 = true;
  left.channels = right.channels = 2;
  left.channel = chLeft;
  right.channel = chRight;
  const int blocks = kRate / kFrames;
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    int32_t sum = 0;
    for (int b = 0; b < blocks; ++b) {
      const int16_t* block = audio.data() + size_t(b) * kFrames * 2;
      // Each display scans its block once.
      sum += PcmBlockPeak(block, left) + PcmBlockPeak(block, right);
      sum += PcmBlockPeak(block, left) + PcmBlockPeak(block, right);
    }
    benchmark::DoNotOptimize(sum);
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  Record("scan", state, total);
  state.SetLabel("per second of audio");
}

BENCHMARK(BM_DeckDisplays)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PeakScanOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  RunQtBenchmarks(argc, argv);
  const auto& r = Results();
  if (r.count("displays") && r.count("scan")) {
    const double ms = r.at("displays") * 1000.0;
    std::printf(
        "\nTwo level bars and two needle meters: %.2f ms per second of 48 kHz stereo (%.2f %% of a core; "
        "target under 10 ms), %.0f x the peak scan alone (%.3f ms)\n",
        ms, ms / 10.0, r.at("displays") / r.at("scan"), r.at("scan") * 1000.0);
  }
  return 0;
}
