#pragma once
// Audio that keeps level displays moving, for the benchmarks that feed or play it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

// The three notes of the chord, in Hz; the analysis displays want them spread over the spectrum.
struct Chord {
  double low = 220, middle = 277, high = 330;
};

// Music-like interleaved 16-bit stereo: a chord whose loudness swells and falls several times a
// second, plus some noise, the right channel a little behind the left, so the displays move on
// almost every block.
inline std::vector<int16_t> MusicLikeStereo(int rate, int frames, Chord chord = {}) {
  std::vector<int16_t> s(size_t(frames) * 2);
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 0.02);
  for (int i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    for (int ch = 0; ch < 2; ++ch) {
      const double tt = t - ch * 0.013;
      const double env = 0.5 + 0.45 * std::sin(2 * M_PI * 3.1 * tt) * std::sin(2 * M_PI * 0.7 * tt);
      const double x = env * (0.5 * std::sin(2 * M_PI * chord.low * tt) + 0.3 * std::sin(2 * M_PI * chord.middle * tt) +
                              0.2 * std::sin(2 * M_PI * chord.high * tt)) +
                       noise(rng);
      s[size_t(i) * 2 + size_t(ch)] = int16_t(std::lround(std::clamp(x, -1.0, 1.0) * 32767));
    }
  }
  return s;
}
