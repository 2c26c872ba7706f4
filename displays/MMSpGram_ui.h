#pragma once
// The spectrogram: a time-frequency picture of the audio a connector hands it, one pixel column
// of palette indices per block, written by a sweep that wraps round or, in scroll mode, moves the
// picture left once it is full. A frequency scale, a readout, a selection and a locator.
#include <functional>
#include <string>
#include <vector>

#include "displays/MMDIBCv_ui.h"
#include "displays/MMOscope_ui.h"
#include "displays/MMSpGram.h"
#include "engine/MMConect.h"
#include "platform/audio/wave_types.h"

using TMMSpectrogramSelect = std::function<void(TObject* Sender, int Start, int End)>;

class TMMSpectrogram : public TMMFFTDisplay<TMMSelectionDisplay> {
public:
  explicit TMMSpectrogram(TComponent* owner);
  ~TMMSpectrogram() override;

  // ---- the feed ----
  void SetWaveFormat(const plat::WAVEFORMATEX* format) override;
  void FeedPCM(const void* block) override;
  void ResetData() override;
  int32_t AdvanceBytes() const override;

  // ---- properties ----
  void SetBounds(int l, int t, int w, int h) override;
  void SetEnabled(bool v) override;
  // Only 8: the columns are palette indices.
  void SetBitsPerPixel(int bits) override;
  bool DrawScale() const { return drawScale_; }
  void SetDrawScale(bool v);
  bool Accelerate() const { return accelerate_; }
  void SetAccelerate(bool v);
  bool Scroll() const { return scroll_; }
  void SetScroll(bool v) { Set(scroll_, v); }
  void SetBarColor(TColor c) { Set(bar_, c); }
  void SetBarTickColor(TColor c) { Set(barTick_, c); }
  int BarWidth() const { return barWidth_; }
  void SetBarWidth(int v) { Set(barWidth_, std::max(v, 0)); }
  int SampleRate() const { return setup_.sampleRate; }
  void SetSampleRate(int v);
  TMMSpectrogramGain Gain() const { return gain_; }
  void SetGain(TMMSpectrogramGain g) { gain_ = g; }
  int FFTLength() const override { return setup_.fftLength; }
  void SetFFTLength(int v);
  TMMFFTWindow Window() const { return stage_.Window(); }
  void SetWindow(TMMFFTWindow w);
  bool LogAmp() const { return logAmp_; }
  void SetLogAmp(bool v) { logAmp_ = v; }
  bool Embossed() const { return embossed_; }
  void SetEmbossed(bool v) { Set(embossed_, v); }
  int AmplitudeScale() const { return amplitudeScale_; }
  void SetAmplitudeScale(int v) { amplitudeScale_ = std::clamp(v, 0, 1000); }
  int FrequencyBase() const { return setup_.frequencyBase; }
  void SetFrequencyBase(int v);
  int FrequencyScale() const { return setup_.frequencyScale; }
  void SetFrequencyScale(int v);
  int Sensitivy() const { return sensitivity_; }
  void SetSensitivy(int v) { sensitivity_ = std::clamp(v, -90, -9); }
  TMMSpectrogramPalette PaletteTyp() const { return palette_; }
  void SetPaletteTyp(TMMSpectrogramPalette p);

  // ---- state, for tests ----
  const TMMSpectrogramModel& Model() const { return model_; }
  int SweepColumn() const { return sweep_.Column(); }
  int ColumnsWritten() const { return sweep_.Written(); }

  TNotifyEvent OnPcmOverflow;

  std::string ClassName() const override { return "TMMSpectrogram"; }

protected:
  void Loaded() override;
  void BevelChanged() override;
  void SetDesigning(bool designing) override;
  virtual void PcmOverflow();
  void MouseDown(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;
  void MouseMove(plat::TShiftState s, int x, int y) override;

private:
  void Layout();
  void BuildRows();
  void BuildPalette();
  int ScaleTicks() const;
  void DrawPicture(bool fed) override;
  void DrawScales() override;
  std::vector<std::string> ReadoutLines(int col, int row) override;

  TMMSpectrogramSetup setup_;
  TMMFFTStage stage_;
  TMMSpectrogramModel model_;
  std::vector<int16_t> bins_;
  TMMSpectrogramGain gain_ = sgrNone;
  bool logAmp_ = false, embossed_ = false;
  int amplitudeScale_ = 100, sensitivity_ = -90;
  TMMSpectrogramPalette palette_ = spThreshold;
  TColor bar_ = plat::clGray, barTick_ = plat::clWhite;
  int barWidth_ = 5;
  bool drawScale_ = false, accelerate_ = true, scroll_ = false;
  TMMSweep sweep_;
  bool redrawAll_ = true;
};
