#pragma once
// The level bar (a row of LED-like spots fed with PCM blocks by a connector) and the strip of dB
// labels drawn beside level bars.
#include <functional>
#include <string>

#include "displays/MMDIBCv_ui.h"
#include "displays/MMLevel.h"
#include "displays/MMScale_ui.h"
#include "engine/MMConect.h"
#include "engine/MMTimer.h"
#include "platform/audio/wave_types.h"

// Replaces the built-in drawing of the bar: the bar's picture, its rectangle, the lit spots and the
// peak mark.
using TMMLevelDrawBar = std::function<void(TObject* Sender, TMMDIBCanvas* DIB, TRect Rect, int nSpots, int Peak)>;

class TMMCustomLevel : public TMMDIBGraphicControl, public TMMDisplayFeed {
public:
  explicit TMMCustomLevel(TComponent* owner);
  ~TMMCustomLevel() override;

  // ---- the feed ----
  // A PCM format of 8 or 16 bits; anything else raises EMMLevelError "Invalid WaveFormat".
  void SetWaveFormat(const plat::WAVEFORMATEX* format) override;
  // One block of BlockBytes() bytes.
  void FeedPCM(const void* block) override;
  void ResetData() override;
  int32_t BlockBytes() const override { return shape_.BlockBytes(); }

  // ---- properties ----
  void SetBounds(int l, int t, int w, int h) override;
  void SetEnabled(bool v) override;
  TMMLevelKind Kind() const { return look_.kind; }
  void SetKind(TMMLevelKind k);
  int SpotWidth() const { return spotWidth_; }
  void SetSpotWidth(int v);
  int SpotSpace() const { return spotSpace_; }
  void SetSpotSpace(int v);
  TColor BarColor(int zone) const { return barColors_[zone]; }
  TColor Bar1Color() const { return barColors_[0]; }
  TColor Bar2Color() const { return barColors_[1]; }
  TColor Bar3Color() const { return barColors_[2]; }
  void SetBar1Color(TColor c) { SetColorOf(barColors_[0], c); }
  void SetBar2Color(TColor c) { SetColorOf(barColors_[1], c); }
  void SetBar3Color(TColor c) { SetColorOf(barColors_[2], c); }
  TColor Inactive1Color() const { return inactiveColors_[0]; }
  TColor Inactive2Color() const { return inactiveColors_[1]; }
  TColor Inactive3Color() const { return inactiveColors_[2]; }
  void SetInactive1Color(TColor c) { SetColorOf(inactiveColors_[0], c); }
  void SetInactive2Color(TColor c) { SetColorOf(inactiveColors_[1], c); }
  void SetInactive3Color(TColor c) { SetColorOf(inactiveColors_[2], c); }
  bool ActiveDoted() const { return activeDoted_; }
  void SetActiveDoted(bool v);
  bool InactiveDoted() const { return inactiveDoted_; }
  void SetInactiveDoted(bool v);
  int Point1() const { return point1_; }
  void SetPoint1(int v);
  int Point2() const { return point2_; }
  void SetPoint2(int v);
  TMMLevelDirection Direction() const { return look_.direction; }
  void SetDirection(TMMLevelDirection d);
  TMMBits BitLength() const { return shape_.bits16 ? b16Bit : b8Bit; }
  void SetBitLength(TMMBits b) { shape_.bits16 = b == b16Bit; }
  TMMChannel Channel() const { return shape_.channel; }
  void SetChannel(TMMChannel c) { shape_.channel = c; }
  // Channels less one (mMono, mStereo, ...).
  TMMMode Mode() const { return TMMMode(shape_.channels - 1); }
  void SetMode(TMMMode m) { shape_.channels = int(m) + 1; }
  int Samples() const { return shape_.samples; }
  void SetSamples(int v) { shape_.samples = std::max(v, 1); }
  int Gain() const { return values_.gain - 8; }
  void SetGain(int v) { values_.SetGain(v); }  // -8..32, other values ignored
  int Sensitivy() const { return values_.sensitivity; }
  void SetSensitivy(int v);
  bool LogAmp() const { return values_.logAmp; }
  void SetLogAmp(bool v) { values_.logAmp = v; }
  int NumPeaks() const { return values_.numPeaks; }
  void SetNumPeaks(int v);
  int PeakDelay() const { return values_.peakDelay; }
  void SetPeakDelay(int v);
  int PeakSpeed() const { return values_.PeakSpeed(); }
  void SetPeakSpeed(int v);
  TMMDecayMode DecayMode() const { return values_.decayMode; }
  void SetDecayMode(TMMDecayMode m) { values_.SetDecayMode(m); }
  int Decay() const { return values_.DecayLength(); }
  void SetDecay(int v) { values_.SetDecayLength(v); }  // 1..16
  // Percent 0..100.
  int Value() const { return values_.Percent(); }
  void SetValue(int percent);
  int32_t DCOffsetL() const { return shape_.dcLeft; }
  void SetDCOffsetL(int32_t v) { shape_.dcLeft = v; }
  int32_t DCOffsetR() const { return shape_.dcRight; }
  void SetDCOffsetR(int32_t v) { shape_.dcRight = v; }
  void SetBitsPerPixel(int bits) override;

  // ---- state, for the deck and for tests ----
  const TMMLevelLayout& Layout() const { return look_.layout; }
  int Spots() const { return values_.Value(); }
  int PeakSpots() const { return values_.Peak().Peak(); }
  int HoldCount() const { return values_.Peak().Hold(); }
  int32_t RawPeak() const { return values_.RawPeak(); }
  TRect BarRect() const { return GetInnerRect(); }
  // The shared timer's tick, as the timer calls it.
  // A mark that has fallen to 0 leaves nothing to count down until the next feed raises it.
  void PeakTick() {
    values_.Tick();
    timer_.SleepUnless([this] { return values_.Peak().Peak() > 0; });
  }
  bool TimerRunning() const { return timer_.Running(); }

  TNotifyEvent OnGainOverflow;
  TNotifyEvent OnPcmOverflow;
  TNotifyEvent OnPaint;
  TMMLevelDrawBar OnDrawBar;

  std::string ClassName() const override { return "TMMCustomLevel"; }

protected:
  void Paint() override;
  void Loaded() override;
  void BevelChanged() override;
  void ColorChanged() override;
  virtual void GainOverflow();
  virtual void PcmOverflow();
  virtual void Relayout();
  void SetDesigning(bool designing) override;

private:
  void SetColorOf(TColor& field, TColor c);
  void LookChanged();  // colours, dots, direction: a new unlit picture
  void RedrawBackground();
  void UpdateTimer();
  void Feed(int32_t peak);
  // Draws the bar into its picture, whole or only the spots that changed since the last drawing;
  // returns what changed (picture coordinates).
  TDIBRect DrawBar(bool whole);
  void DrawNow();

protected:
  TRect ShowDrawn(const TRect& r) override;
  // Copies r (control coordinates) of the bar's picture onto the canvas.
  void CopyToCanvas(const TRect& r);

private:
  TMMPcmShape shape_;
  TMMLevelValues values_;
  TMMBarLook look_;
  uint32_t barWords_[3] = {};  // the lit colours as the bar's picture stores them
  TColor barColors_[3] = {plat::clAqua, plat::clAqua, plat::clRed};
  TColor inactiveColors_[3] = {plat::clTeal, plat::clTeal, plat::clMaroon};
  bool activeDoted_ = false, inactiveDoted_ = false;
  int spotWidth_ = 1, spotSpace_ = 1;
  int point1_ = 50, point2_ = 85;
  TMMDIBCanvas background_;
  // What the bar's picture shows, so a new value redraws only the spots that changed.
  bool pictureValid_ = false;
  int drawnValue_ = 0, drawnPeak_ = 0;
  // What the control's canvas shows of the bar, when it is the picture of these values.
  int shownValue_ = 0, shownPeak_ = 0;
  bool shownKnown_ = false;
  TMMOwnedTimerClient timer_{[this] { PeakTick(); }};
};

class TMMLevel : public TMMCustomLevel {
public:
  explicit TMMLevel(TComponent* owner) : TMMCustomLevel(owner) {}
  std::string ClassName() const override { return "TMMLevel"; }
};

// A strip of dB labels (and optional tick rows) beside level bars. It is linked to no bar and
// repeats the bar's sensitivity, scale kind, zone borders and layout itself.
class TMMLevelScale : public TMMGraphicControl {
public:
  explicit TMMLevelScale(TComponent* owner);
  ~TMMLevelScale() override;

  int ScaleTicks() const { return scaleTicks_; }
  void SetScaleTicks(int v);  // at least 2
  int Point1() const { return point1_; }
  void SetPoint1(int v);
  int Point2() const { return point2_; }
  void SetPoint2(int v);
  TColor Scale1Color() const { return colors_[0]; }
  TColor Scale2Color() const { return colors_[1]; }
  TColor Scale3Color() const { return colors_[2]; }
  void SetScale1Color(TColor c) { Set(colors_[0], c); }
  void SetScale2Color(TColor c) { Set(colors_[1], c); }
  void SetScale3Color(TColor c) { Set(colors_[2], c); }
  int Sensitivy() const { return sensitivity_; }
  void SetSensitivy(int v);
  bool LogAmp() const { return logAmp_; }
  void SetLogAmp(bool v) { Set(logAmp_, v); }
  TMMLevelKind Kind() const { return kind_; }
  void SetKind(TMMLevelKind k);
  TMMLevelDirection Direction() const { return direction_; }
  void SetDirection(TMMLevelDirection d) { Set(direction_, d); }
  TMMLevScale* Scale() const { return scale_; }
  void SetScale(TMMCustomScale* s) { scale_->Assign(s); }
  TMMScalePos ScalePos() const { return scalePos_; }
  void SetScalePos(TMMScalePos p) { Set(scalePos_, p); }

  // What Paint draws, for tests and the deck's layout.
  TMMLevelScalePlan Plan();

  std::string ClassName() const override { return "TMMLevelScale"; }

protected:
  void Paint() override;

private:
  template <typename T>
  void Set(T& field, T v) {
    if (field == v) return;
    field = v;
    Invalidate();
  }
  int scaleTicks_ = 8;
  int point1_ = 50, point2_ = 85;
  TColor colors_[3] = {plat::clWhite, plat::clWhite, plat::clRed};
  int sensitivity_ = -35;
  bool logAmp_ = true;
  TMMLevelKind kind_ = lkHorizontal;
  TMMLevelDirection direction_ = dirNormal;
  TMMLevScale* scale_;
  TMMScalePos scalePos_ = spBoth;
};
