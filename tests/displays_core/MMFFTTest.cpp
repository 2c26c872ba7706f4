#include <gtest/gtest.h>

#include <fftw3.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "displays/MMFFT.h"

namespace {

struct FFTDeleter {
  void operator()(TMMFFTObject* f) const { FreeFFT(f); }
};
using FFTPtr = std::unique_ptr<TMMFFTObject, FFTDeleter>;

std::vector<float> Noise(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(-1.0f, 1.0f);
  std::vector<float> x(n);
  for (auto& v : x) v = d(rng);
  return x;
}

// FFTW's double-precision spectrum of x, as N/2 + 1 complex bins.
std::vector<fftw_complex> Reference(const std::vector<float>& x) {
  const int n = int(x.size());
  std::vector<double> in(x.begin(), x.end());
  std::vector<fftw_complex> out(n / 2 + 1);
  fftw_plan p = fftw_plan_dft_r2c_1d(n, in.data(), out.data(), FFTW_ESTIMATE);
  fftw_execute(p);
  fftw_destroy_plan(p);
  return out;
}

// Largest deviation relative to the spectrum's RMS.
double RelativeError(const std::vector<float>& ours, const std::vector<fftw_complex>& ref) {
  const size_t m = ours.size() / 2;
  double err = 0, energy = 0;
  for (size_t k = 0; k < m; ++k) {
    const double re = ref[k][0], im = k == 0 ? 0.0 : ref[k][1];
    err = std::max(err, std::hypot(ours[2 * k] - re, ours[2 * k + 1] - im));
    energy += re * re + im * im;
  }
  return err / std::sqrt(energy / double(m));
}

}  // namespace

TEST(MMFFT, CreateRefusesOrdersOutsideRangeAndNilIsHarmless) {
  EXPECT_EQ(CreateFFT(0), nullptr);
  EXPECT_EQ(CreateFFT(32), nullptr);
  EXPECT_EQ(CreateFFT(-1), nullptr);
  FreeFFT(nullptr);

  FFTPtr two(CreateFFT(1));
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->Length, 2u);
  EXPECT_FLOAT_EQ(two->InvLength, 0.5f);
  float x[2] = {3.0f, 5.0f};
  RealFFT(two.get(), x, 1);
  EXPECT_EQ(x[0], 8.0f);  // DC sum; the half-rate value 3 - 5 is not kept
  EXPECT_EQ(x[1], 0.0f);

  float untouched[2] = {1.0f, 2.0f};
  RealFFT(nullptr, untouched, 1);
  RealFFT(two.get(), nullptr, 1);
  EXPECT_EQ(untouched[0], 1.0f);
  EXPECT_EQ(untouched[1], 2.0f);
}

TEST(MMFFT, ForwardMatchesFFTWForEveryLength) {
  for (int order = 1; order <= 16; ++order) {
    FFTPtr fft(CreateFFT(order));
    ASSERT_NE(fft, nullptr);
    const auto input = Noise(size_t(1) << order, unsigned(order));
    auto data = input;
    RealFFT(fft.get(), data.data(), 1);
    EXPECT_EQ(data[1], 0.0f) << "order " << order;
    EXPECT_LT(RelativeError(data, Reference(input)), 2e-6 * order) << "order " << order;
  }
}

TEST(MMFFT, ZeroAndConstantInputsAreExact) {
  for (int order : {1, 2, 3, 4, 5, 8, 12}) {
    FFTPtr fft(CreateFFT(order));
    const size_t n = size_t(1) << order;
    std::vector<float> zero(n, 0.0f);
    RealFFT(fft.get(), zero.data(), 1);
    for (float v : zero) ASSERT_EQ(v, 0.0f) << "order " << order;

    std::vector<float> constant(n, 0.75f);
    RealFFT(fft.get(), constant.data(), 1);
    EXPECT_EQ(constant[0], 0.75f * float(n)) << "order " << order;
    for (size_t i = 1; i < n; ++i) ASSERT_EQ(constant[i], 0.0f) << "order " << order << " i " << i;
  }
}

TEST(MMFFT, InverseRestoresInputLessTheHalfRateComponent) {
  for (int order = 1; order <= 14; ++order) {
    FFTPtr fft(CreateFFT(order));
    const size_t n = size_t(1) << order;
    auto input = Noise(n, 100 + unsigned(order));
    // Remove what the forward transform drops, so the round trip must give the input back.
    double half = 0;
    for (size_t i = 0; i < n; ++i) half += (i % 2 ? -input[i] : input[i]);
    half /= double(n);
    for (size_t i = 0; i < n; ++i) input[i] -= float(i % 2 ? -half : half);

    auto data = input;
    RealFFT(fft.get(), data.data(), 7);  // any positive direction is forward
    RealFFT(fft.get(), data.data(), -3);
    double err = 0;
    for (size_t i = 0; i < n; ++i) err = std::max(err, double(std::fabs(data[i] - input[i])));
    EXPECT_LT(err, 2e-6 * order) << "order " << order;
  }
}

TEST(MMFFT, InverseMatchesFFTWWithTheHalfRateValueInBinZero) {
  const int order = 10;
  const int n = 1 << order;
  FFTPtr fft(CreateFFT(order));
  auto spectrum = Noise(size_t(n), 7);  // any bins; x[1] is the half-rate value
  std::vector<fftw_complex> in(n / 2 + 1);
  in[0][0] = spectrum[0], in[0][1] = 0;
  in[n / 2][0] = spectrum[1], in[n / 2][1] = 0;
  for (int k = 1; k < n / 2; ++k) in[k][0] = spectrum[2 * k], in[k][1] = spectrum[2 * k + 1];
  std::vector<double> ref(n);
  fftw_plan p = fftw_plan_dft_c2r_1d(n, in.data(), ref.data(), FFTW_ESTIMATE);
  fftw_execute(p);
  fftw_destroy_plan(p);

  RealFFT(fft.get(), spectrum.data(), -1);
  for (int i = 0; i < n; ++i) ASSERT_NEAR(spectrum[i], ref[i] / n, 1e-6) << "i " << i;
}

TEST(MMFFT, TablesStayAccurateAtTheLargestDisplayLengthsAndBeyond) {
  // The tables come from rotation recurrences: their drift must stay below float precision.
  const int order = 18;
  FFTPtr fft(CreateFFT(order));
  const size_t n = size_t(1) << order, m = n / 2;
  const double theta = 2 * M_PI / double(m), phi = 2 * M_PI / double(n);
  double worst = 0;
  for (size_t j = 1; j <= m / 4; ++j) {
    const float* g = fft->Twiddles + 4 * (j - 1);
    worst = std::max({worst, std::fabs(g[0] - std::cos(j * theta)), std::fabs(g[1] + std::sin(j * theta)),
                      std::fabs(g[2] - std::cos(3 * j * theta)), std::fabs(g[3] + std::sin(3 * j * theta))});
  }
  for (size_t j = 1; j <= m / 2; ++j) {
    const float* s = fft->Split + 2 * (j - 1);
    worst =
        std::max({worst, std::fabs(s[0] - 0.5 * std::cos(j * phi)), std::fabs(s[1] - (0.5 - 0.5 * std::sin(j * phi)))});
  }
  EXPECT_LT(worst, 1e-7);
  for (size_t i = 0; i < m; i += 997) {
    const uint32_t r = uint32_t(fft->BitReversal[i]);
    ASSERT_LT(r, m);
    EXPECT_EQ(uint32_t(fft->BitReversal[r]), i);
  }
}

TEST(MMFFT, WindowTablesHaveTheirKnownValues) {
  int32_t t[8];
  FillWindowTable(t, fwHamming, 3);
  EXPECT_EQ(t[0], 2621);
  EXPECT_EQ(t[4], 32767);
  // Dividing by N: the last sample is not the first again, and the window is symmetric about N/2.
  EXPECT_GT(t[7], t[0]);
  for (int i = 1; i < 8; ++i) EXPECT_EQ(t[i], t[8 - i]) << i;

  struct Case {
    TMMFFTWindow w;
    int32_t first;
  };
  // At i = 0, N = 8: Hanning 0, Blackman 0, Gaussian exp(-5), Welch 1 - (8/9)^2, Parzen 1/9.
  for (Case c : {Case{fwRectangular, 32767}, Case{fwHanning, 0}, Case{fwBlackman, 0}, Case{fwGaussian, 221},
                 Case{fwWelch, 6877}, Case{fwParzen, 3641}}) {
    FillWindowTable(t, c.w, 3);
    EXPECT_EQ(t[0], c.first) << "window " << c.w;
    EXPECT_EQ(t[4], 32767) << "window " << c.w;
    for (int i = 1; i < 8; ++i) EXPECT_EQ(t[i], t[8 - i]) << "window " << c.w << " i " << i;
  }

  for (int32_t w : {7, 100, -1}) {
    FillWindowTable(t, w, 3);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(t[i], 32767) << "window " << w;
    EXPECT_EQ(WindowValue(w, 3, 8), 1.0f);
  }
}
