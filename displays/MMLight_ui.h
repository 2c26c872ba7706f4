#pragma once
// The colour organ: three lights for the bass, middle and treble of the audio a connector hands
// it. The lights are drawn once in animated palette entries; a block changes only those entries.
#include <array>

#include "displays/MMDIBCv_ui.h"
#include "displays/MMLight.h"
#include "engine/MMConect.h"
#include "platform/audio/wave_types.h"

class TMMLight : public TMMDIBGraphicControl, public TMMDisplayFeed {
public:
  explicit TMMLight(TComponent* owner);

  // ---- the feed ----
  void SetWaveFormat(const plat::WAVEFORMATEX* format) override;
  void FeedPCM(const void* block) override;
  void ResetData() override;
  int32_t BlockBytes() const override { return (shape_.bits16 ? 2 : 1) * shape_.channels * fftLength_; }

  // ---- properties ----
  void SetBounds(int l, int t, int w, int h) override;
  void SetEnabled(bool v) override;
  void SetBitsPerPixel(int bits) override;
  TMMBits BitLength() const { return shape_.bits16 ? b16Bit : b8Bit; }
  void SetBitLength(TMMBits b) { shape_.bits16 = b == b16Bit; }
  TMMChannel Channel() const { return shape_.channel; }
  void SetChannel(TMMChannel c) { shape_.channel = c; }
  TMMMode Mode() const { return TMMMode(shape_.channels - 1); }
  void SetMode(TMMMode m) { shape_.channels = int(m) + 1; }
  int SampleRate() const { return sampleRate_; }
  void SetSampleRate(int v);
  int FFTLength() const { return fftLength_; }
  void SetFFTLength(int v);
  TMMFFTWindow Window() const { return model_.Stage().Window(); }
  void SetWindow(TMMFFTWindow w);
  TMMDecayMode DecayMode() const { return decayMode_; }
  void SetDecayMode(TMMDecayMode m);
  int Decay() const { return decay_; }
  void SetDecay(int v);
  int AmplitudeScale() const { return amplitudeScale_; }
  void SetAmplitudeScale(int v) { amplitudeScale_ = std::clamp(v, 0, 1000); }
  int GainBass() const { return gains_[0]; }
  void SetGainBass(int v) { gains_[0] = std::clamp(v, 0, 1000); }
  int GainMiddle() const { return gains_[1]; }
  void SetGainMiddle(int v) { gains_[1] = std::clamp(v, 0, 1000); }
  int GainTreble() const { return gains_[2]; }
  void SetGainTreble(int v) { gains_[2] = std::clamp(v, 0, 1000); }
  TMMLightPeakMode PeakMode() const { return peakMode_; }
  void SetPeakMode(TMMLightPeakMode m) { peakMode_ = m; }
  TMMLightKind Kind() const { return kind_; }
  void SetKind(TMMLightKind k) { SetPicture(kind_, k); }
  TMMLightArrange Arrange() const { return arrange_; }
  void SetArrange(TMMLightArrange a) { SetPicture(arrange_, a); }
  int TriangleDist() const { return triangleDist_; }
  void SetTriangleDist(int v) { SetPicture(triangleDist_, std::max(v, 2)); }
  float SphereHorz() const { return sphereHorz_; }
  void SetSphereHorz(float v) { SetPicture(sphereHorz_, std::max(v, 0.0f)); }
  float SphereVert() const { return sphereVert_; }
  void SetSphereVert(float v) { SetPicture(sphereVert_, std::max(v, 0.0f)); }
  int ZoneCount() const { return zoneCount_; }
  // 1..78: three lights of rings must fit the canvas's animated entries.
  void SetZoneCount(int v) { SetPicture(zoneCount_, std::clamp(v, 1, kMaxLightZones)); }

  // ---- state, for tests ----
  const TMMLightModel& Model() const { return model_; }
  TRect DisplayRect() const { return display_; }
  // The brightness each light shows now (-1 before the first block).
  int ShownLevel(int b) const { return shown_[size_t(b)]; }

  TNotifyEvent OnPcmOverflow;

  std::string ClassName() const override { return "TMMLight"; }

protected:
  void Loaded() override;
  void Paint() override;
  void BevelChanged() override;
  void ColorChanged() override;
  virtual void PcmOverflow();

private:
  template <typename T>
  void SetPicture(T& field, T v) {
    if (field == v) return;
    field = v;
    Rebuild();
  }
  void Layout();
  void Rebuild();
  void ShowBrightness();

  TMMFFTShape shape_;
  TMMLightModel model_;
  int sampleRate_ = 11025, fftLength_ = 128;
  TMMDecayMode decayMode_ = dmNone;
  int decay_ = 1;
  int amplitudeScale_ = 100;
  std::array<int, 3> gains_{100, 100, 100};
  TMMLightPeakMode peakMode_ = pmPeak;
  TMMLightKind kind_ = lkCircle;
  TMMLightArrange arrange_ = laLine;
  int triangleDist_ = 10;
  float sphereHorz_ = 1.0f, sphereVert_ = 1.0f;
  int zoneCount_ = 60;
  TRect display_{};
  std::array<int, 3> shown_{-1, -1, -1};
};
