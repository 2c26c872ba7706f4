#pragma once
// What the level bars and the needle meters compute from the audio they are fed, without drawing:
// the peak of a block, the smoothing, the gain, the scaling to spots or needle units and the peak
// hold that the shared 25 ms timer counts down. Qt-free.
//
// The peak hold is the only state another thread touches: the timer's thread counts it down while
// the UI thread raises it. Mark and counter live in one atomic word, so each side changes them
// together.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "displays/MMDIBCv.h"
#include "displays/MMScale.h"
#include "engine/MMObj.h"
#include "platform/audio/wave_types.h"

MM_EXCEPTION(EMMLevelError)

enum TMMDecayMode { dmNone, dmStepUp, dmExponential, dmUniform };
enum TMMLevelKind { lkHorizontal, lkVertical };
enum TMMLevelDirection { dirNormal, dirReversed, dirSymetric };

constexpr int32_t kFullScale = 32767;

// The smoothing shared by the level bar, the needle meter, the light and the spectrum analyser.
class TMMDecay {
public:
  // Decay 1..16: the factor is 0.0001 square-rooted Decay times and the ring n = clamp((Decay - 1)
  // x 2, 1, 32) long. A new object keeps the factor 0.0001 and a ring of 1 until SetDecay.
  void SetDecay(int decay);
  void Clear();
  int32_t Apply(TMMDecayMode mode, int32_t x);
  double Factor() const { return factor_; }
  int RingLength() const { return n_; }

private:
  double factor_ = 0.0001;
  int n_ = 1;
  int fill_ = 0, index_ = 0;
  double held_ = 0.0;
  int64_t sum_ = 0;
  int32_t ring_[32] = {};
};

// The layout of one fed block.
struct TMMPcmShape {
  bool bits16 = false;
  int channels = 1;
  int samples = 50;  // frames
  TMMChannel channel = chBoth;
  int32_t dcLeft = 0, dcRight = 0;
  int BlockBytes() const { return (bits16 ? 2 : 1) * channels * samples; }
  // Takes the sample size and channels of a PCM format of 8 or 16 bits; false (nothing changes)
  // for any other format.
  bool TakeFormat(const plat::WAVEFORMATEX* format);
};
// The largest magnitude of the block's frames after the offsets (0 for an empty block). Stereo
// with chBoth averages the two channels first; more channels than two use the first two.
int32_t PcmBlockPeak(const void* block, const TMMPcmShape& shape);

// y scaled onto 0..range: on the dB scale from sensitivity (dB at 0) to full scale, with floorRatio
// as the lowest ratio to full scale that is taken; linear from the threshold 32767 x 10^(S/20).
// Halves round to even. Not clamped above.
int32_t ScaleLevel(int32_t y, int sensitivity, int32_t range, bool logAmp, double floorRatio);
// The percent that value (of range) stands for: the inverse of ScaleLevel at gain g (Gain + 8).
int32_t LevelPercent(int32_t value, int sensitivity, int32_t range, bool logAmp, int g);
// Round(percent x 32767 / 100) of a percent clamped to 0..100.
int32_t PercentToPeak(int percent);

// The mark and its hold counter of a peak display, shared with the timer's thread.
class TMMPeakHold {
public:
  int32_t Peak() const { return Unpack(state_.load()).peak; }
  int32_t Hold() const { return Unpack(state_.load()).hold; }
  void Reset() { state_.store(0); }
  // The mark takes value with a fresh counter when value is above it (or equal, with orEqual),
  // and a redraw becomes pending; true when it did.
  bool Raise(int32_t value, int32_t hold, bool orEqual);
  // Restarts the counter (delay or speed changes).
  void ResetHold();
  // One tick of the timer: while the mark is above 0 the counter falls; when it runs out the mark
  // falls by fall (speed > 0, the counter reloaded with speed) or drops to floor (speed 0), never
  // below floor; the fall makes a redraw pending.
  void Tick(int speed, int32_t fall, int32_t floor);
  void SetPending() { pending_.store(true); }
  bool TakePending() { return pending_.exchange(false); }
  bool Pending() const { return pending_.load(); }

private:
  struct State {
    int32_t peak, hold;
  };
  static uint64_t Pack(State s) { return (uint64_t(uint32_t(s.peak)) << 32) | uint32_t(s.hold); }
  static State Unpack(uint64_t v) { return {int32_t(uint32_t(v >> 32)), int32_t(uint32_t(v))}; }
  std::atomic<uint64_t> state_{0};
  std::atomic<bool> pending_{false};
};

// ---- the level bar ------------------------------------------------------------------------------

struct TMMLevelLayout {
  int spots = 1;       // N
  int margin = 0;      // pixels left over before the first spot
  int p1 = 0, p2 = 0;  // spot numbers of the zone borders
};
// extent: the client's length along the bar.
TMMLevelLayout LevelLayout(int extent, int spotWidth, int spotSpace, int point1, int point2);

// What the value paths of the bar and the needle meter share: a block's peak smoothed and
// amplified, and the peak mark with its hold, which the shared timer counts down.
class TMMPeakPath {
public:
  int sensitivity;
  int gain = 8;  // Gain + 8
  bool logAmp = true;
  int peakDelay = 20;
  TMMDecayMode decayMode = dmNone;
  TMMDecay decay;

  std::function<void()> OnGainOverflow;

  // Gain as the controls give it, -8 to 32 (kept plus 8); other values are ignored.
  void SetGain(int v) {
    if (v >= -8 && v <= 32) gain = v + 8;
  }
  // Another mode starts the smoothing afresh.
  void SetDecayMode(TMMDecayMode m);
  // The smoothing's length, 1..16 blocks; a new one starts a uniform smoothing afresh.
  int DecayLength() const { return decayLength_; }
  void SetDecayLength(int v);

  // Read by the timer's tick.
  int PeakSpeed() const { return peakSpeed_.load(std::memory_order_relaxed); }
  void SetPeakSpeed(int v) { peakSpeed_.store(v, std::memory_order_relaxed); }
  int32_t RawPeak() const { return rawPeak_; }
  TMMPeakHold& Peak() { return peak_; }
  const TMMPeakHold& Peak() const { return peak_; }

protected:
  explicit TMMPeakPath(int sensitivityDb) : sensitivity(sensitivityDb) {}
  // The peak's magnitude, kept as RawPeak, then smoothed and amplified into y. False, with y
  // untouched, when a silent block finds the display at rest (shown: what it shows) and nothing
  // waits to be drawn.
  bool Amplify(int32_t peak, int32_t shown, int32_t& y);
  // Forgets the raw peak, the mark and the smoothing.
  void ResetPath();

  TMMPeakHold peak_;

private:
  std::atomic<int> peakSpeed_{0};
  int32_t rawPeak_ = 0;
  int decayLength_ = 1;
};

// The value path of a bar, from a block's peak to lit spots and the peak mark.
class TMMLevelValues : public TMMPeakPath {
public:
  TMMLevelValues() : TMMPeakPath(-35) {}

  int spots = 1;
  TMMLevelDirection direction = dirNormal;
  int numPeaks = 1;

  int32_t Value() const { return value_; }

  // Runs a peak through the value path; true when the bar needs drawing.
  bool Feed(int32_t peak);
  // The percent the lit spots stand for.
  int32_t Percent() const;
  void Reset();
  // Value and mark to 0 (a new layout).
  void Clear();
  // The shared timer's tick.
  void Tick() { peak_.Tick(PeakSpeed(), 1, 0); }

private:
  int32_t value_ = 0;
};

// How a bar is drawn into its picture: the client size, spot geometry and zone colours (colour
// words of the target).
struct TMMBarLook {
  TMMLevelKind kind = lkHorizontal;
  TMMLevelDirection direction = dirNormal;
  int width = 1, height = 1;
  int spotWidth = 1, spotSpace = 1;
  TMMLevelLayout layout;
  uint32_t colors[3] = {};
  bool dotted = false;
  int numPeaks = 1;
};
// The pixels of spot k (1..N).
TDIBRect SpotRect(const TMMBarLook& look, int k);
// The pixels of spots a..b together (the gaps between them included).
TDIBRect SpotRangeRect(const TMMBarLook& look, int a, int b);
// The zone (0, 1, 2) of spot k.
int SpotZone(const TMMLevelLayout& l, int k);

// Spots a..b of a full unlit or lit bar, each in its zone's colour.
void DrawSpots(TMMDIBTarget& t, const TMMBarLook& look, int a, int b);
// The lit part of a bar with value and peak mark, limited to spots lo..hi: the value's spots (in
// dirSymetric the five-spot band round it) and the mark.
void DrawBarValue(TMMDIBTarget& t, const TMMBarLook& look, int value, int peak, int lo, int hi);
// The spots whose pixels differ between two drawn states; false when none do.
bool ChangedSpots(const TMMBarLook& look, int oldValue, int oldPeak, int newValue, int newPeak, int& lo, int& hi);

// ---- the level scale ----------------------------------------------------------------------------

struct TMMLevelScaleLabel {
  std::string text;
  int x = 0, y = 0;  // top-left
  plat::TColor color = plat::clWhite;
  bool operator==(const TMMLevelScaleLabel&) const = default;
};
struct TMMLevelScaleRow {
  TDIBRect rect;
  bool firstSide = true;
};
struct TMMLevelScaleSetup {
  TMMLevelKind kind = lkHorizontal;
  TMMLevelDirection direction = dirNormal;
  TDIBRect inner;         // the control less its bevel
  int controlLength = 0;  // the control's full width (horizontal) or height (vertical)
  int scaleTicks = 8;
  int point1 = 50, point2 = 85;
  plat::TColor colors[3] = {plat::clWhite, plat::clWhite, plat::clRed};
  int sensitivity = -35;
  bool logAmp = true;
  bool rowsVisible = false;
  TMMScalePos rowsPos = spBoth;
  TMMScaleLook rowLook;  // of the tick rows; colours and zones are filled in by the plan
};
struct TMMLevelScalePlan {
  TMMScaleLook rowLook;
  std::vector<TMMLevelScaleRow> rows;
  std::vector<TMMLevelScaleLabel> labels;
};
// Width and height of a text in the strip's font.
using TMMTextExtent = std::function<void(const std::string& text, int& width, int& height)>;
TMMLevelScalePlan PlanLevelScale(const TMMLevelScaleSetup& s, const TMMTextExtent& extent);
