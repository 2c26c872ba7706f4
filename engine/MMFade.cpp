#include "engine/MMFade.h"

#include <algorithm>
#include <cstring>

namespace {

struct Step {
  int64_t from, to;  // byte positions of the ramp's ends; to < 0 for a gain that holds
  int32_t left0, right0, left1, right1;
};

// The ramp that the byte position lies on.
Step StepAt(const TMMEnvelope& env, int64_t pos) {
  const auto& p = env.Points;
  if (pos < p.front().Position) {
    const auto& f = p.front();
    return {pos, f.Position, f.LeftGain, f.RightGain, f.LeftGain, f.RightGain};
  }
  int i = FindEnvelopePoint(env, pos);
  const auto& a = p[size_t(i)];
  if (size_t(i) + 1 >= p.size()) return {a.Position, -1, a.LeftGain, a.RightGain, a.LeftGain, a.RightGain};
  const auto& b = p[size_t(i) + 1];
  return {a.Position, b.Position, a.LeftGain, a.RightGain, b.LeftGain, b.RightGain};
}

int32_t GainAt(int32_t g0, int32_t g1, const Step& s, int64_t pos) {
  if (g0 == g1 || s.to <= s.from) return g0;
  return int32_t(g0 + (int64_t(g1) - g0) * (pos - s.from) / (s.to - s.from));
}

template <typename Sample, int Silence, int Lo, int Hi>
bool ScaleFrame(Sample* frame, int channels, int32_t left, int32_t right) {
  bool limited = false;
  for (int c = 0; c < channels; ++c) {
    const int64_t g = (c & 1) ? right : left;
    int64_t v = ((int64_t(frame[c]) - Silence) * g + kUnityGain / 2) >> 14;
    v += Silence;
    if (v < Lo) {
      v = Lo;
      limited = true;
    } else if (v > Hi) {
      v = Hi;
      limited = true;
    }
    frame[c] = Sample(v);
  }
  return limited;
}

}  // namespace

bool ApplyEnvelope(const plat::WAVEFORMATEX* f, void* samples, int64_t bytes, TMMEnvelope& env) {
  if (!f || !samples || bytes <= 0 || f->wFormatTag != plat::WAVE_FORMAT_PCM || env.Points.empty()) return false;
  if (f->wBitsPerSample != 8 && f->wBitsPerSample != 16) return false;
  const int channels = std::max<int>(f->nChannels, 1);
  const int align = channels * (f->wBitsPerSample / 8);
  const bool eight = f->wBitsPerSample == 8;
  auto* data = static_cast<uint8_t*>(samples);
  const int64_t frames = bytes / align;
  const int64_t start = env.CurrentPosition;
  bool limited = false;

  int64_t k = 0;
  while (k < frames) {
    const int64_t pos = start + k * align;
    const Step s = StepAt(env, pos);
    // Frames that start before the ramp's end.
    int64_t n = frames - k;
    if (s.to >= 0) n = std::min(n, std::max<int64_t>(1, (s.to - pos + align - 1) / align));
    uint8_t* block = data + k * align;
    const bool unity =
        s.left0 == kUnityGain && s.right0 == kUnityGain && s.left1 == kUnityGain && s.right1 == kUnityGain;
    const bool mute = s.left0 == 0 && s.right0 == 0 && s.left1 == 0 && s.right1 == 0;
    if (mute) {
      std::memset(block, eight ? 128 : 0, size_t(n * align));
    } else if (!unity) {
      for (int64_t j = 0; j < n; ++j) {
        const int64_t at = pos + j * align;
        const int32_t l = GainAt(s.left0, s.left1, s, at);
        const int32_t r = GainAt(s.right0, s.right1, s, at);
        uint8_t* fr = block + j * align;
        if (eight) {
          limited |= ScaleFrame<uint8_t, 128, 0, 255>(fr, channels, l, r);
        } else {
          int16_t tmp[8];
          const int ch = std::min(channels, 8);
          for (int c = 0; c < ch; ++c) tmp[c] = int16_t(fr[2 * c] | (fr[2 * c + 1] << 8));
          limited |= ScaleFrame<int16_t, 0, -32768, 32767>(tmp, ch, l, r);
          for (int c = 0; c < ch; ++c) {
            fr[2 * c] = uint8_t(uint16_t(tmp[c]));
            fr[2 * c + 1] = uint8_t(uint16_t(tmp[c]) >> 8);
          }
        }
      }
    }
    k += n;
  }

  env.CurrentPosition = start + bytes;
  env.CurrentIndex = FindEnvelopePoint(env, env.CurrentPosition);
  const Step s = StepAt(env, env.CurrentPosition);
  env.CurrentLeft = GainAt(s.left0, s.left1, s, env.CurrentPosition);
  env.CurrentRight = GainAt(s.right0, s.right1, s, env.CurrentPosition);
  return limited;
}
