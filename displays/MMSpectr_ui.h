#pragma once
// The spectrum analyser: the spectrum of the audio a connector hands it, drawn at once per block
// as dots, lines, vertical lines, bars of spots, peak spots or a falling waterfall, with peak
// marks that the shared 25 ms timer lets fall, scales, a grid and readouts.
#include <functional>
#include <string>
#include <vector>

#include "displays/MMDIBCv_ui.h"
#include "displays/MMOscope_ui.h"
#include "displays/MMSpectr.h"
#include "engine/MMConect.h"
#include "engine/MMTimer.h"
#include "platform/audio/wave_types.h"

using TMMSpectrumDrawBar = std::function<void(TObject* Sender, TMMDIBCanvas* DIB, int Peak, int Value, TRect Rect)>;
using TMMSpectrumClear = std::function<void(TObject* Sender, TMMDIBCanvas* DIB, TRect Rect)>;
using TMMSpectrumGetXScale =
    std::function<void(TObject* Sender, std::vector<int32_t>& First, std::vector<int32_t>& End)>;

class TMMSpectrum : public TMMFFTDisplay<TMMAnalysisDisplay> {
public:
  explicit TMMSpectrum(TComponent* owner);
  ~TMMSpectrum() override;

  // ---- the feed ----
  void SetWaveFormat(const plat::WAVEFORMATEX* format) override;
  void FeedPCM(const void* block) override;
  void ResetData() override;

  // ---- properties ----
  void SetBounds(int l, int t, int w, int h) override;
  void SetEnabled(bool v) override;
  void SetBitsPerPixel(int bits) override;
  bool DrawFreqScale() const { return drawFreqScale_; }
  void SetDrawFreqScale(bool v);
  bool DrawAmpScale() const { return drawAmpScale_; }
  void SetDrawAmpScale(bool v);
  bool DrawGrid() const { return drawGrid_; }
  void SetDrawGrid(bool v) { Set(drawGrid_, v); }
  int Space() const { return space_; }
  void SetSpace(int v);
  int SpotSpace() const { return setup_.spotSpace; }
  void SetSpotSpace(int v);
  int SpotHeight() const { return setup_.spotHeight; }
  void SetSpotHeight(int v);
  TColor BarColor(int zone) const { return bar_[zone]; }
  void SetBar1Color(TColor c) { SetLookColor(bar_[0], c); }
  void SetBar2Color(TColor c) { SetLookColor(bar_[1], c); }
  void SetBar3Color(TColor c) { SetLookColor(bar_[2], c); }
  TColor InactiveColor(int zone) const { return inactive_[zone]; }
  void SetInactive1Color(TColor c) { SetLookColor(inactive_[0], c); }
  void SetInactive2Color(TColor c) { SetLookColor(inactive_[1], c); }
  void SetInactive3Color(TColor c) { SetLookColor(inactive_[2], c); }
  void SetGridColor(TColor c) { Set(grid_, c); }
  int Point1() const { return setup_.point1; }
  void SetPoint1(int v);
  int Point2() const { return setup_.point2; }
  void SetPoint2(int v);
  bool DrawInactive() const { return drawInactive_; }
  void SetDrawInactive(bool v) { Set(drawInactive_, v); }
  bool InactiveDoted() const { return inactiveDoted_; }
  void SetInactiveDoted(bool v) { SetLookColor(inactiveDoted_, v); }
  bool ActiveDoted() const { return activeDoted_; }
  void SetActiveDoted(bool v) { Set(activeDoted_, v); }
  int SampleRate() const { return setup_.sampleRate; }
  void SetSampleRate(int v);
  int RefFreq() const { return setup_.refFreq; }
  void SetRefFreq(int v);
  TMMSpectrumGain Gain() const { return setup_.gain; }
  void SetGain(TMMSpectrumGain g);
  int FFTLength() const override { return setup_.fftLength; }
  void SetFFTLength(int v);
  bool LogFreq() const { return setup_.logFreq; }
  void SetLogFreq(bool v);
  bool LogAmp() const { return setup_.logAmp; }
  void SetLogAmp(bool v);
  TMMSpectrumKind Kind() const { return setup_.kind; }
  void SetKind(TMMSpectrumKind k);
  TMMFFTWindow Window() const { return stage_.Window(); }
  void SetWindow(TMMFFTWindow w);
  TMMDecayMode DecayMode() const { return decayMode_; }
  void SetDecayMode(TMMDecayMode m);
  int Decay() const { return decay_; }
  void SetDecay(int v);
  int VerticalScale() const { return setup_.verticalScale; }
  void SetVerticalScale(int v);
  int FrequencyScale() const { return setup_.frequencyScale; }
  void SetFrequencyScale(int v);
  int NumPeaks() const { return numPeaks_; }
  void SetNumPeaks(int v);
  int PeakDelay() const { return peakDelay_; }
  void SetPeakDelay(int v);
  int PeakSpeed() const { return peakSpeed_; }
  void SetPeakSpeed(int v);
  bool DisplayPeak() const { return displayPeak_; }
  void SetDisplayPeak(bool v) { Set(displayPeak_, v); }

  // ---- state, for tests ----
  const TMMSpectrumModel& Model() const { return model_; }
  bool TimerRunning() const { return timer_.Running(); }
  TMMDIBCanvas* InactiveCanvas() { return &inactiveDIB_; }
  // The shared timer's tick, as the timer calls it.
  void PeakTick() { model_.PeakTick(); }

  TNotifyEvent OnGainOverflow;
  TNotifyEvent OnPcmOverflow;
  TNotifyEvent OnNeedData;
  TMMSpectrumDrawBar OnDrawBar;
  TMMSpectrumClear OnClearBackground;
  TMMSpectrumGetXScale OnGetXScale;
  // Assigning OnDrawBar changes what the inactive pattern holds: call after assigning it.
  void DrawBarChanged() { Rebuild(false); }

  std::string ClassName() const override { return "TMMSpectrum"; }

protected:
  void Loaded() override;
  void BevelChanged() override;
  void ColorChanged() override;
  void SetDesigning(bool designing) override;
  virtual void GainOverflow();
  virtual void PcmOverflow();
  void MouseDown(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;
  void MouseMove(plat::TShiftState s, int x, int y) override;
  void MouseUp(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;

private:
  template <typename T>
  void SetLookColor(T& field, T v) {
    if (field == v) return;
    field = v;
    RenderInactive();
    RepaintWhole();
  }
  void UpdateTimer();
  // The column map (and with it the bars, amplitude tables and spots), then a clear.
  void Rebuild(bool columns);
  void Layout();
  void Clear();
  void RenderInactive();
  TMMSpectrumLook Look(TMMDIBCanvas* c) const;
  void DrawPicture(bool fed) override;
  void DrawScales() override;
  std::vector<std::string> ReadoutLines(int col, int row) override;
  void ReadoutHeld(bool held) override { model_.SetFrozen(held); }
  void DrawPeakText();

  TMMSpectrumSetup setup_;
  TMMFFTStage stage_;
  TMMSpectrumModel model_;
  std::vector<int16_t> bins_;
  TMMDIBCanvas inactiveDIB_;
  TMMDecayMode decayMode_ = dmNone;
  int decay_ = 1;
  int space_ = 1;
  TColor bar_[3] = {plat::clAqua, plat::clAqua, plat::clRed};
  TColor inactive_[3] = {plat::clTeal, plat::clTeal, plat::clMaroon};
  TColor grid_ = plat::clGray;
  bool drawInactive_ = true, inactiveDoted_ = false, activeDoted_ = false;
  int numPeaks_ = 1, peakDelay_ = 20, peakSpeed_ = 0;
  bool displayPeak_ = false;
  bool drawFreqScale_ = false, drawAmpScale_ = false, drawGrid_ = false;
  TMMOwnedTimerClient timer_{[this] { PeakTick(); }};
};
