#pragma once
// What the colour organ computes without the GUI framework: the three frequency bands, their
// values from a transformed block, the brightness of each light, the shading rings of a sphere
// and the picture of the lights drawn once in animated palette entries. Qt-free.
#include <array>
#include <cstdint>
#include <vector>

#include "displays/MMDIBCv.h"
#include "displays/MMSpectr.h"
#include "engine/MMObj.h"

MM_EXCEPTION(EMMLightError)

enum TMMLightPeakMode { pmRMS, pmPeak, pmAverage };
enum TMMLightKind { lkCircle, lkSphere };
enum TMMLightArrange { laLine, laTriangle };

// Three palette entries per ring must fit the 236 animated entries of a canvas.
constexpr int kMaxLightZones = kDIBMaxAnimated / 3;

struct TMMLightBand {
  int first = 0, end = 0;  // end 0: the band is skipped
  bool Active() const { return first >= 0 && end > 0; }
};
// Bass, middle and treble bands for a sample rate and transform length.
std::array<TMMLightBand, 3> LightBands(int sampleRate, int fftLength);

// A band's value from its bins.
int32_t LightBandValue(const int32_t* m, const TMMLightBand& band, TMMLightPeakMode mode);

// The shading level (0..255) of ring z of zoneCount for a light at brightness v.
int LightRingLevel(int v, int z, int zoneCount, double sphereHorz, double sphereVert);

struct TMMLightSpot {
  int cx = 0, cy = 0, r = 1;
};
// The three lights (bass, middle, treble) in a display of w x h pixels.
std::array<TMMLightSpot, 3> LightSpots(int w, int h, TMMLightArrange arrange, int triangleDist);
// Animated colour entries a picture needs.
inline int LightAnimatedColors(TMMLightKind kind, int zoneCount) { return kind == lkCircle ? 3 : 3 * zoneCount; }
// Draws the lights in their animated entries (light b, ring z is entry b x rings + z) on the
// background colour word.
void DrawLights(TMMDIBTarget& t, TMMLightKind kind, TMMLightArrange arrange, int triangleDist, int zoneCount,
                uint32_t background);

class TMMLightModel {
public:
  TMMLightModel();

  TMMFFTStage& Stage() { return stage_; }
  const TMMFFTStage& Stage() const { return stage_; }
  TMMBinDecay& Decay() { return decay_; }
  void BuildBands(int sampleRate);
  const std::array<TMMLightBand, 3>& Bands() const { return bands_; }

  // One block: transform, magnitudes with their smoothing, band values and brightness. Returns
  // the samples at the top of the range.
  int Feed(const void* block, const TMMFFTShape& shape, double amplitudeScale, TMMDecayMode mode,
           TMMLightPeakMode peakMode, const double gains[3]);
  int32_t BandValue(int b) const { return bandValues_[size_t(b)]; }
  int Brightness(int b) const { return brightness_[size_t(b)]; }
  int32_t Magnitude(int k) const { return m_[size_t(k)]; }
  void Clear();

private:
  TMMFFTStage stage_;
  TMMBinDecay decay_;
  std::array<TMMLightBand, 3> bands_{};
  std::vector<int16_t> bins_;
  std::vector<int32_t> m_;
  std::array<int32_t, 3> bandValues_{};
  std::array<int, 3> brightness_{};
};

// The colour of light b at brightness v: red, green, yellow.
TPaletteEntry LightColor(int b, int v);
