// Our real FFT against FFTW's single-precision real-to-complex transform, length by length, as the
// spectrum displays use it (one transform per fed block). Prints the time ratio at the end.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "displays/MMFFT.h"

namespace {

std::vector<float> Input(size_t n) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> d(-1.0f, 1.0f);
  std::vector<float> x(n);
  for (auto& v : x) v = d(rng);
  return x;
}

void BM_Ours(benchmark::State& state) {
  const int order = int(state.range(0));
  const size_t n = size_t(1) << order;
  PMMFFTObject fft = CreateFFT(order);
  const auto input = Input(n);
  std::vector<float> data(n);
  for (auto _ : state) {
    std::memcpy(data.data(), input.data(), n * sizeof(float));
    RealFFT(fft, data.data(), 1);
    benchmark::DoNotOptimize(data.data());
    benchmark::ClobberMemory();
  }
  FreeFFT(fft);
  state.SetLabel(std::to_string(n) + " points");
}

void BM_FFTW(benchmark::State& state) {
  const size_t n = size_t(1) << state.range(0);
  float* in = fftwf_alloc_real(n);
  fftwf_complex* out = fftwf_alloc_complex(n / 2 + 1);
  fftwf_plan plan = fftwf_plan_dft_r2c_1d(int(n), in, out, FFTW_MEASURE);
  const auto input = Input(n);
  for (auto _ : state) {
    std::memcpy(in, input.data(), n * sizeof(float));
    fftwf_execute(plan);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
  state.SetLabel(std::to_string(n) + " points");
}

// The display lengths (8..4096) and two beyond.
BENCHMARK(BM_Ours)->DenseRange(3, 14, 1);
BENCHMARK(BM_FFTW)->DenseRange(3, 14, 1);

class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& r : runs) {
      if (r.run_type != Run::RT_Iteration) continue;
      const std::string name = r.benchmark_name();
      const auto slash = name.find('/');
      (name.compare(0, slash, "BM_Ours") == 0 ? ours_ : fftw_)[std::stoi(name.substr(slash + 1))] =
          r.GetAdjustedRealTime();
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%8s %12s %12s %8s\n", "points", "ours ns", "FFTW ns", "ratio");
    for (const auto& [order, t] : ours_) {
      auto f = fftw_.find(order);
      if (f == fftw_.end()) continue;
      std::printf("%8d %12.1f %12.1f %8.2f\n", 1 << order, t, f->second, t / f->second);
    }
    std::printf("ratio = our time / FFTW's time (FFTW_MEASURE plan, single precision)\n");
  }

private:
  std::map<int, double> ours_, fftw_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
