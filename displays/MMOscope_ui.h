#pragma once
// The oscilloscope: the waveform of the audio a connector hands it, one trace per block or a
// sweeping chart of block extremes, with scales, grid, a mouse readout, a selection and a locator.
// Also the pieces the analysis displays share: their bases, the readout box and the scrolling of
// the screen.
#include <functional>
#include <string>
#include <vector>

#include "displays/MMDIBCv_ui.h"
#include "displays/MMOscope.h"
#include "displays/MMSpectr.h"
#include "engine/MMConect.h"
#include "platform/audio/wave_types.h"

// A small box of text lines shown at the cursor over a display; what it covers is kept and put
// back when it moves or goes.
class TMMReadoutBox {
public:
  void Show(TCanvas& c, const TRect& area, int x, int y, const std::vector<std::string>& lines);
  void Hide(TCanvas& c);
  bool Shown() const { return shown_; }
  // The canvas was painted over: nothing of the box is left to put back.
  void Forget() {
    shown_ = false;
    box_ = {};
    saved_.SetSize(0, 0);
  }
  TRect Box() const { return box_; }

private:
  bool shown_ = false;
  TRect box_{};
  TBitmap saved_;
};

// Moves the pixels of r on the canvas one pixel left (the screen's scrolling, done on the
// control's picture of the screen).
void ScrollCanvasLeft(TCanvas& c, const TRect& r);
// Draws text in "ARIAL" of 10 pixels.
void ScaleFont(TCanvas& c, TColor color);
// The rows of a line of text in the canvas's font that its figures and capitals take: below the
// internal leading, down to the baseline.
TScaleLabelSpan TextBodyRows(TCanvas& c);

// What the analysis displays share: the display area, the readout that follows the left button
// (blocks are not drawn meanwhile), the scale colours and ticks, the painting order and a repaint
// on a changed look.
class TMMAnalysisDisplay : public TMMDIBGraphicControl, public TMMDisplayFeed {
public:
  explicit TMMAnalysisDisplay(TComponent* owner) : TMMDIBGraphicControl(owner) {}

  bool ShowInfo() const { return showInfo_; }
  void SetShowInfo(bool v) { showInfo_ = v; }
  void SetScaleTextColor(TColor c) { Set(scaleText_, c); }
  void SetScaleLineColor(TColor c) { Set(scaleLine_, c); }

  // ---- state, for tests ----
  TRect DisplayRect() const { return display_; }
  bool Tracking() const { return tracking_; }

protected:
  template <typename T>
  void Set(T& field, T v) {
    if (field == v) return;
    field = v;
    RepaintWhole();
  }
  // The bevel, the scales, the whole picture and the readout over it.
  void Paint() override;
  virtual void DrawScales() = 0;  // nothing when no scale is shown
  // fed: the drawing for a block; otherwise the whole picture.
  virtual void DrawPicture(bool fed) = 0;
  // The readout's lines at a point of the display, counted from its top left.
  virtual std::vector<std::string> ReadoutLines(int col, int row) = 0;
  // The readout starts (held) and ends; a display may hold its picture meanwhile.
  virtual void ReadoutHeld(bool held) {}
  // A left press where info is shown starts the readout; true when it did.
  bool BeginReadout(plat::TMouseButton b, int x, int y);
  void ShowReadout(int x, int y);
  void EndReadout();

  // Fills r, a margin round the display, with the parent's colour.
  void FillMargin(TCanvas& c, const TRect& r);
  // Scale text and lines from here on.
  void ScaleInk(TCanvas& c);
  // A tick on either side of the display at y.
  void SideTicks(TCanvas& c, int y);
  // The labels of the side ticks at rows, left and right of the display, the rows their figures
  // take centred on the tick, kept inside the control and moved apart where they would touch.
  // Where they cannot all fit, an inner one that would touch another is left out (the end
  // labels stay). Returns the rows of the labels drawn.
  std::vector<TScaleLabelSpan> SideLabels(TCanvas& c, const std::vector<int>& rows, const std::vector<std::string>& left,
                                          const std::vector<std::string>& right);
  // A tick below the display at x, long when major.
  void BottomTick(TCanvas& c, int x, bool major);
  // The labels of the ticks below the display at columns, in the same way.
  void BottomLabels(TCanvas& c, const std::vector<int>& columns, const std::vector<std::string>& texts);

  TColor scaleText_ = plat::clBlack, scaleLine_ = plat::clBlack;
  bool showInfo_ = true, tracking_ = false;
  TRect display_{};

private:
  bool savedShowHint_ = false;
  TMMReadoutBox readout_;
  int readoutX_ = 0, readoutY_ = 0;
};

// An analysis display fed blocks of FFTLength frames: the shape of its PCM (Mode, BitLength,
// Channel) and the bytes of a block. A changed shape repaints.
template <class Base>
class TMMFFTDisplay : public Base {
public:
  explicit TMMFFTDisplay(TComponent* owner) : Base(owner) {}

  int32_t BlockBytes() const override { return step_; }
  virtual int FFTLength() const = 0;
  TMMMode Mode() const { return TMMMode(shape_.channels - 1); }
  void SetMode(TMMMode m) { SetShape(shape_.channels, int(m) + 1); }
  TMMBits BitLength() const { return shape_.bits16 ? b16Bit : b8Bit; }
  void SetBitLength(TMMBits b) { SetShape(shape_.bits16, b == b16Bit); }
  TMMChannel Channel() const { return shape_.channel; }
  void SetChannel(TMMChannel c) { SetShape(shape_.channel, c); }

protected:
  void UpdateStep() { step_ = (shape_.bits16 ? 2 : 1) * shape_.channels * FFTLength(); }

  TMMFFTShape shape_;
  int32_t step_ = 0;

private:
  template <typename T>
  void SetShape(T& field, T v) {
    if (field == v) return;
    field = v;
    UpdateStep();
    this->RepaintWhole();
  }
};

using TMMOscopeDrawLine = std::function<void(TObject* Sender, TMMDIBCanvas* DIB, const int16_t* Points, TRect Rect)>;
using TMMOscopeSelect = std::function<void(TObject* Sender, int Start, int End)>;

// An analysis display of columns with a selection the right button drags, and a locator.
class TMMSelectionDisplay : public TMMAnalysisDisplay {
public:
  explicit TMMSelectionDisplay(TComponent* owner) : TMMAnalysisDisplay(owner) {}

  TColor SelectionColor() const { return selection_; }
  void SetSelectionColor(TColor c) { Set(selection_, c); }
  TColor SelectionDotColor() const { return selectionDot_; }
  void SetSelectionDotColor(TColor c) { Set(selectionDot_, c); }
  TColor LocatorColor() const { return locatorColor_; }
  void SetLocatorColor(TColor c) { Set(locatorColor_, c); }
  bool Locked() const { return locked_; }
  void SetLocked(bool v) { locked_ = v; }
  bool UseSelection() const { return useSelection_; }
  void SetUseSelection(bool v) { useSelection_ = v; }
  int SelectionStart() const { return selStart_; }
  int SelectionEnd() const { return selEnd_; }
  void SetSelection(int start, int end);
  int Locator() const { return locator_; }
  void SetLocator(int x);

  // ---- state, for tests ----
  int DisplayWidth() const { return w_; }
  int DisplayHeight() const { return h_; }

  TMMOscopeSelect OnSelecting;
  TMMOscopeSelect OnSelectEnd;

protected:
  virtual void Selecting(int start, int end);
  virtual void SelectEnd(int start, int end);
  // A right press where a selection may be made starts its drag; true when it did.
  bool PressSelection(plat::TMouseButton b, int x);
  // Carries a drag under way on; false when there is none.
  bool MoveSelection(int x);
  // A left release ends the readout, a right one the drag.
  void MouseUp(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;

  int w_ = 4, h_ = 4;  // the display's size
  int selStart_ = -1, selEnd_ = -1, locator_ = -1;
  bool locked_ = false, useSelection_ = false;
  TColor selection_ = plat::clRed, selectionDot_ = plat::clRed, locatorColor_ = plat::clYellow;
  TMMSelectionDrag drag_;
};

class TMMOscope : public TMMSelectionDisplay {
public:
  explicit TMMOscope(TComponent* owner);
  ~TMMOscope() override;

  // ---- the feed ----
  void SetWaveFormat(const plat::WAVEFORMATEX* format) override;
  void FeedPCM(const void* block) override;
  void ResetData() override;
  int32_t BlockBytes() const override { return step_; }
  int32_t AdvanceBytes() const override;
  TMMChannel TriggerChannel() const override { return shape_.channel; }

  // ---- properties ----
  void SetBounds(int l, int t, int w, int h) override;
  void SetEnabled(bool v) override;
  bool Accelerate() const { return accelerate_; }
  void SetAccelerate(bool v);
  bool Scroll() const { return scroll_; }
  void SetScroll(bool v);
  bool DrawMidLine() const { return midLine_; }
  void SetDrawMidLine(bool v) { Set(midLine_, v); }
  TMMOscopeKind Kind() const { return kind_; }
  void SetKind(TMMOscopeKind k) { Set(kind_, k); }
  TColor ForegroundColor() const { return foreground_; }
  void SetForegroundColor(TColor c) { Set(foreground_, c); }
  TColor InactiveColor() const { return inactive_; }
  void SetInactiveColor(TColor c) { Set(inactive_, c); }
  TColor EffectColor() const { return effectColor_; }
  void SetEffectColor(TColor c) { Set(effectColor_, c); }
  TColor DisabledColor() const { return disabled_; }
  void SetDisabledColor(TColor c) { Set(disabled_, c); }
  TColor ScaleTextColor() const { return scaleText_; }
  TColor ScaleLineColor() const { return scaleLine_; }
  TColor GridColor() const { return grid_; }
  void SetGridColor(TColor c) { Set(grid_, c); }
  TColor BarColor() const { return bar_; }
  void SetBarColor(TColor c) { Set(bar_, c); }
  TColor BarTickColor() const { return barTick_; }
  void SetBarTickColor(TColor c) { Set(barTick_, c); }
  int BarWidth() const { return barWidth_; }
  void SetBarWidth(int v) { Set(barWidth_, std::max(v, 1)); }
  TMMBits BitLength() const { return shape_.bits16 ? b16Bit : b8Bit; }
  void SetBitLength(TMMBits b);
  TMMChannel Channel() const { return shape_.channel; }
  void SetChannel(TMMChannel c);
  TMMMode Mode() const { return TMMMode(shape_.channels - 1); }
  void SetMode(TMMMode m);
  int SampleRate() const { return sampleRate_; }
  void SetSampleRate(int v) { Set(sampleRate_, std::clamp(v, 8000, 88200)); }
  int Steps() const { return steps_; }
  void SetSteps(int v) { Set(steps_, std::clamp(v, 1, 9)); }
  int Zoom() const { return zoom_; }
  void SetZoom(int v);
  int Gain() const { return gain_ - 8; }
  void SetGain(int v);
  TMMOscopeEffect Effect() const { return effect_; }
  void SetEffect(TMMOscopeEffect e) { Set(effect_, e); }
  bool DrawAmpScale() const { return drawAmpScale_; }
  void SetDrawAmpScale(bool v);
  bool DrawTimeScale() const { return drawTimeScale_; }
  void SetDrawTimeScale(bool v);
  bool DrawGrid() const { return drawGrid_; }
  void SetDrawGrid(bool v) { Set(drawGrid_, v); }
  int FFTLength() const { return fftLength_; }
  void SetFFTLength(int v);
  bool LowPass() const { return lowPass_; }
  void SetLowPass(bool v) { lowPass_ = v; }

  // ---- state, for tests ----
  const std::vector<int16_t>& Points() const { return points_; }
  int SweepColumn() const { return sweep_.Column(); }
  int GridDivisions() const { return gridDivisions_; }

  TNotifyEvent OnGainOverflow;
  TNotifyEvent OnPcmOverflow;
  TNotifyEvent OnPostPaint;
  TMMOscopeDrawLine OnDrawLine;

  std::string ClassName() const override { return "TMMOscope"; }

protected:
  void BevelChanged() override;
  void SetDesigning(bool designing) override;
  virtual void GainOverflow();
  virtual void PcmOverflow();
  void MouseDown(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;
  void MouseMove(plat::TShiftState s, int x, int y) override;

private:
  void Layout();
  void UpdateStep();
  TMMScopeLook Look(TMMDIBCanvas* c) const;
  TMMScopeMap Map() const;
  // One drawing: fed is true for a block, false for a full picture.
  void DrawPicture(bool fed) override;
  void DrawScales() override;
  std::vector<std::string> ReadoutLines(int col, int row) override;
  void FireOverflows(int pcm, int gain);
  double BlockMilliseconds() const;

  TMMScopeShape shape_;
  int sampleRate_ = 11025;
  int32_t step_ = 0;
  TMMOscopeKind kind_ = okDots;
  TMMOscopeEffect effect_ = efNone;
  int steps_ = 1, zoom_ = 1, gain_ = 8;
  TColor foreground_ = plat::clAqua, inactive_ = plat::clTeal, effectColor_ = plat::clRed, disabled_ = plat::clGray;
  TColor grid_ = plat::clGray;
  TColor bar_ = plat::clGray, barTick_ = plat::clWhite;
  int barWidth_ = 5;
  bool accelerate_ = true, scroll_ = false, midLine_ = false;
  bool drawAmpScale_ = false, drawTimeScale_ = false, drawGrid_ = false;
  bool lowPass_ = false;
  int fftLength_ = 128;
  std::vector<int16_t> points_;
  int gridDivisions_ = 10;
  TMMSweep sweep_;
  bool redrawAll_ = true;
  TMMScopeTrace trace_;
};
