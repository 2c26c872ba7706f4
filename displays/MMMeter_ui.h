#pragma once
// The needle meter: a needle swinging over an arc of ticks, with a falling peak needle, fed with
// PCM blocks by a connector. The arc with its labels and caption is drawn only on a full paint and
// kept as a picture; a block copies that picture back under the needles' old place, draws the
// needles and shows the part that changed.
#include <memory>

#include "displays/MMDIBCv_ui.h"
#include "displays/MMMeter.h"
#include "engine/MMConect.h"
#include "engine/MMTimer.h"
#include "platform/audio/wave_types.h"

class TMMCustomMeter : public TMMDirectGraphicControl, public TMMDisplayFeed {
public:
  explicit TMMCustomMeter(TComponent* owner);
  ~TMMCustomMeter() override;

  // ---- the feed ----
  void SetWaveFormat(const plat::WAVEFORMATEX* format) override;
  void FeedPCM(const void* block) override;
  void ResetData() override;
  int32_t BlockBytes() const override { return shape_.BlockBytes(); }

  // ---- properties ----
  void SetBounds(int l, int t, int w, int h) override;
  void SetEnabled(bool v) override;
  TColor Scale1Color() const { return scale_.colors[0]; }
  TColor Scale2Color() const { return scale_.colors[1]; }
  TColor Scale3Color() const { return scale_.colors[2]; }
  void SetScale1Color(TColor c) { SetLook(scale_.colors[0], c); }
  void SetScale2Color(TColor c) { SetLook(scale_.colors[1], c); }
  void SetScale3Color(TColor c) { SetLook(scale_.colors[2], c); }
  TColor NeedleColor() const { return needleColor_; }
  void SetNeedleColor(TColor c) { SetLook(needleColor_, c); }
  TColor PeakColor() const { return peakColor_; }
  void SetPeakColor(TColor c) { SetLook(peakColor_, c); }
  int NeedleOffset() const { return geometry_.needleOffset; }
  void SetNeedleOffset(int v) { SetLook(geometry_.needleOffset, std::max(v, 0)); }
  int NeedleWidth() const { return needleWidth_; }
  void SetNeedleWidth(int v) { SetLook(needleWidth_, std::max(v, 0)); }
  TMMScaleOrigin ScaleOrigin() const { return scale_.origin; }
  void SetScaleOrigin(TMMScaleOrigin o) { SetLook(scale_.origin, o); }
  int ScaleHeight1() const { return scale_.height1; }
  void SetScaleHeight1(int v) { SetLook(scale_.height1, std::max(v, 0)); }
  int ScaleHeight2() const { return scale_.height2; }
  void SetScaleHeight2(int v) { SetLook(scale_.height2, std::max(v, 0)); }
  int ScaleAngle() const { return geometry_.scaleAngle; }
  void SetScaleAngle(int v) { SetLook(geometry_.scaleAngle, std::clamp(v, 45, 180)); }
  int ScaleTicks() const { return scale_.ticks; }
  void SetScaleTicks(int v) { SetLook(scale_.ticks, v); }
  int ScaleTicksEnlargeEvery() const { return scale_.enlargeEvery; }
  void SetScaleTicksEnlargeEvery(int v) { SetLook(scale_.enlargeEvery, std::max(v, 0)); }
  int ScaleTicksTextEvery() const { return scale_.textEvery; }
  void SetScaleTicksTextEvery(int v) { SetLook(scale_.textEvery, v); }
  bool DrawScale() const { return drawScale_; }
  void SetDrawScale(bool v) { SetLook(drawScale_, v); }
  int TopSpace() const { return geometry_.topSpace; }
  void SetTopSpace(int v) { SetLook(geometry_.topSpace, v); }
  int Point1() const { return scale_.point1; }
  void SetPoint1(int v) { SetLook(scale_.point1, std::clamp(v, 1, 100)); }
  int Point2() const { return scale_.point2; }
  void SetPoint2(int v) { SetLook(scale_.point2, std::clamp(v, 1, 100)); }
  TMMBits BitLength() const { return shape_.bits16 ? b16Bit : b8Bit; }
  void SetBitLength(TMMBits b) { shape_.bits16 = b == b16Bit; }
  TMMChannel Channel() const { return shape_.channel; }
  void SetChannel(TMMChannel c) { shape_.channel = c; }
  TMMMode Mode() const { return TMMMode(shape_.channels - 1); }
  void SetMode(TMMMode m) { shape_.channels = int(m) + 1; }
  int Samples() const { return shape_.samples; }
  void SetSamples(int v) { shape_.samples = std::max(v, 1); }
  int Gain() const { return values_.gain - 8; }
  void SetGain(int v) { values_.SetGain(v); }  // -8..32, other values ignored
  int Sensitivy() const { return values_.sensitivity; }
  void SetSensitivy(int v);
  bool LogAmp() const { return values_.logAmp; }
  void SetLogAmp(bool v);
  TMMDecayMode DecayMode() const { return values_.decayMode; }
  void SetDecayMode(TMMDecayMode m) { values_.SetDecayMode(m); }
  int Decay() const { return values_.DecayLength(); }
  void SetDecay(int v) { values_.SetDecayLength(v); }  // 1..16
  bool ShowPeak() const { return values_.showPeak; }
  void SetShowPeak(bool v);
  int PeakDelay() const { return values_.peakDelay; }
  void SetPeakDelay(int v);
  int PeakSpeed() const { return values_.PeakSpeed(); }
  void SetPeakSpeed(int v);
  // Assigned in; stretched under the scale.
  TBitmap* BackGroundDIB() const { return backGround_.get(); }
  void SetBackGroundDIB(TBitmap* b);
  int Value() const { return values_.Percent(); }
  void SetValue(int percent);
  int32_t DCOffsetL() const { return shape_.dcLeft; }
  void SetDCOffsetL(int32_t v) { shape_.dcLeft = v; }
  int32_t DCOffsetR() const { return shape_.dcRight; }
  void SetDCOffsetR(int32_t v) { shape_.dcRight = v; }

  // ---- state, for the deck and for tests ----
  int32_t Needle() const { return values_.Needle(); }
  int32_t PeakNeedle() const { return values_.Peak().Peak(); }
  int HoldCount() const { return values_.Peak().Hold(); }
  const TMMMeterGeometry& Geometry() const { return geometry_; }
  // A mark that has fallen to 0 leaves nothing to count down until the next feed raises it.
  void PeakTick() {
    values_.Tick();
    timer_.SleepUnless([this] { return values_.Peak().Peak() > 0; });
  }
  bool TimerRunning() const { return timer_.Running(); }

  TNotifyEvent OnGainOverflow;
  TNotifyEvent OnPcmOverflow;
  TNotifyEvent OnPostPaint;

  std::string ClassName() const override { return "TMMCustomMeter"; }

protected:
  void Paint() override;
  void BevelChanged() override;
  void TextChanged() override;
  void SetDesigning(bool designing) override;
  virtual void GainOverflow();
  virtual void PcmOverflow();
  virtual void Relayout();

private:
  template <typename T>
  void SetLook(T& field, T v) {
    if (field == v) return;
    field = v;
    RepaintWhole();
  }
  void UpdateTimer();
  void Feed(int32_t peak);
  void BuildScale();
  // Draws both needles into the work picture; returns the rectangle they cover.
  TRect DrawNeedles();
  // Draws the needles where they now stand, with a frame to show them.
  void Update() override;
  // Moves the needles in the work picture and tells what changed.
  void DrawChange();
  TRect ShowDrawn(const TRect& r) override;

  TMMPcmShape shape_;
  TMMMeterValues values_;
  TMMMeterGeometry geometry_;
  TMMMeterScaleLook scale_;
  TColor needleColor_ = plat::clWhite, peakColor_ = plat::clRed;
  int needleWidth_ = 1;
  bool drawScale_ = true;
  std::unique_ptr<TBitmap> backGround_;
  TBitmap scalePicture_;
  std::unique_ptr<TBitmap> work_;
  // Where the needles were last drawn into the work picture.
  bool workValid_ = false;
  TRect needlesRect_;
  // Where the needles stand on the control's canvas, when it shows the work picture but for them.
  TRect shownNeedles_;
  bool shownKnown_ = false;
  TMMPoint drawnNeedle_, drawnPeak_;
  TMMOwnedTimerClient timer_{[this] { PeakTick(); }};
};

class TMMMeter : public TMMCustomMeter {
public:
  explicit TMMMeter(TComponent* owner) : TMMCustomMeter(owner) {}
  std::string ClassName() const override { return "TMMMeter"; }
};
