#include "displays/MMSpGram_ui.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/MMPCMSup.h"

using namespace plat;

namespace {
std::vector<TMMSpectrogram*>& LiveSpectrograms() {
  static std::vector<TMMSpectrogram*> list;
  return list;
}
}  // namespace

TMMSpectrogram::TMMSpectrogram(TComponent* owner) : TMMFFTDisplay(owner), bins_(kMaxFFTLength, 0) {
  SetPaletteRealize(true);
  SetColor(clBlack);
  SetCursor(crCross);
  SetPaintsWholeClient(true);
  sweep_.Restart(barWidth_);
  UpdateStep();
  SetBounds(Left(), Top(), 194, 90);
  BuildPalette();
  if (!IsDesigning()) LiveSpectrograms().push_back(this);
}

TMMSpectrogram::~TMMSpectrogram() {
  auto& l = LiveSpectrograms();
  l.erase(std::remove(l.begin(), l.end(), this), l.end());
}

void TMMSpectrogram::SetDesigning(bool designing) {
  TMMDIBGraphicControl::SetDesigning(designing);
  auto& l = LiveSpectrograms();
  l.erase(std::remove(l.begin(), l.end(), this), l.end());
  if (!designing) l.push_back(this);
}

void TMMSpectrogram::Loaded() {
  TMMDIBGraphicControl::Loaded();
  BuildRows();
  BuildPalette();
  redrawAll_ = true;
  RepaintWhole();
}

// ---- the feed ----

void TMMSpectrogram::SetWaveFormat(const WAVEFORMATEX* format) {
  if (!IsValidPCMFormat(format)) throw EMMSpectrogramError(LoadLibraryMessage(62));
  SetSampleRate(int(format->nSamplesPerSec));
  SetBitLength(format->wBitsPerSample == 16 ? b16Bit : b8Bit);
  SetMode(TMMMode(format->nChannels - 1));
}

int32_t TMMSpectrogram::AdvanceBytes() const {
  if (!accelerate_) return step_;
  const int frame = (shape_.bits16 ? 2 : 1) * shape_.channels;
  return std::max(frame, step_ / 4 / frame * frame);
}

void TMMSpectrogram::FeedPCM(const void* block) {
  if (!Enabled() || !Visible() || tracking_ || !block) return;
  const int d = int(gain_);
  const int overflows = stage_.Transform(block, shape_, d, d == 2 ? 32767 : 32766, bins_.data());
  for (int i = 0; i < overflows; ++i) PcmOverflow();
  model_.ComputeLevels(bins_.data(), setup_.fftLength / 2, logAmp_, amplitudeScale_ / 100.0, sensitivity_);
  model_.ComputeColumn(embossed_);
  DrawDirect([this] { DrawPicture(true); });
}

void TMMSpectrogram::ResetData() {
  if (tracking_) EndReadout();
  redrawAll_ = true;
  selStart_ = selEnd_ = locator_ = -1;
  sweep_.Restart(barWidth_);
  RepaintWhole();
}

void TMMSpectrogram::PcmOverflow() {
  if (OnPcmOverflow) OnPcmOverflow(this);
}
// ---- properties ----

void TMMSpectrogram::SetEnabled(bool v) {
  if (v == Enabled()) return;
  TMMDIBGraphicControl::SetEnabled(v);
  RepaintWhole();
}

void TMMSpectrogram::SetBitsPerPixel(int bits) {
  if (bits != 8) throw EMMDIBError("Bitlength not supported yet");
  TMMDIBGraphicControl::SetBitsPerPixel(bits);
}

void TMMSpectrogram::SetDrawScale(bool v) {
  if (v == drawScale_) return;
  drawScale_ = v;
  SetBounds(Left(), Top(), Width(), Height());
}

void TMMSpectrogram::SetAccelerate(bool v) {
  if (v == accelerate_) return;
  accelerate_ = v;
  if (!v && scroll_) RepaintWhole();
}

void TMMSpectrogram::SetSampleRate(int v) {
  v = std::clamp(v, 8000, 100000);
  if (v == setup_.sampleRate) return;
  setup_.sampleRate = v;
  BuildRows();
  RepaintWhole();
}

void TMMSpectrogram::SetFFTLength(int v) {
  v = ClampFFTLength(v);
  if (v == setup_.fftLength) return;
  setup_.fftLength = v;
  stage_.SetLength(v);
  BuildRows();
  UpdateStep();
  RepaintWhole();
}

void TMMSpectrogram::SetWindow(TMMFFTWindow w) {
  if (w != stage_.Window()) stage_.SetWindow(w);
}

void TMMSpectrogram::SetFrequencyBase(int v) {
  v = std::max(v, 0);
  if (v == setup_.frequencyBase) return;
  setup_.frequencyBase = v;
  BuildRows();
  RepaintWhole();
}

void TMMSpectrogram::SetFrequencyScale(int v) {
  v = std::clamp(v, 1, 16);
  if (v == setup_.frequencyScale) return;
  setup_.frequencyScale = v;
  BuildRows();
  RepaintWhole();
}

void TMMSpectrogram::SetPaletteTyp(TMMSpectrogramPalette p) {
  if (p == palette_) return;
  palette_ = p;
  if (IsLoading()) return;
  BuildPalette();
}

// ---- layout ----

void TMMSpectrogram::SetBounds(int l, int t, int w, int h) {
  const int e = 2 * Bevel()->BevelExtent();
  w = std::max(w, e + 5 + (drawScale_ ? 64 : 0));
  h = std::max(h, e + 5);
  TMMDIBGraphicControl::SetBounds(l, t, w, h);
  Layout();
}

void TMMSpectrogram::BevelChanged() {
  TMMDIBGraphicControl::BevelChanged();
  Layout();
}

void TMMSpectrogram::Layout() {
  TRect r = ClientRect();
  if (drawScale_) {
    r.Left += 32;
    r.Right -= 32;
  }
  const int e = Bevel()->BevelExtent();
  w_ = std::max(r.Width() - 2 * e, 4);
  h_ = std::max(r.Height() - 2 * e, 4);
  display_ = Rect(r.Left + e, r.Top + e, r.Left + e + w_, r.Top + e + h_);
  DIBCanvas()->SetSize(w_, h_);
  BuildRows();
  UpdateStep();
  ResetData();
}

void TMMSpectrogram::BuildRows() {
  if (IsLoading()) return;
  setup_.height = h_;
  model_.BuildRows(setup_);
}

void TMMSpectrogram::BuildPalette() {
  if (IsLoading()) return;
  const TLogPalette p = SpectrogramPalette(palette_);
  DIBCanvas()->SetLogPalette(&p);
  redrawAll_ = true;
  RepaintWhole();
}

int TMMSpectrogram::ScaleTicks() const {
  int ticks = std::max(1, int(setup_.sampleRate / 2 / 1000 * setup_.frequencyScale));
  while (ticks > 1 && h_ / ticks < 10) ticks /= 2;
  return ticks;
}

// ---- drawing ----

void TMMSpectrogram::DrawPicture(bool fed) {
  TMMDIBCanvas* dib = DIBCanvas();
  TCanvas& screen = *Canvas();
  const bool full = !fed || redrawAll_;
  TMMDIBTarget& t = dib->BeginDraw();
  if (full) {
    t.SetRawColor(embossed_ ? 123 : kSpgFirstIndex);
    t.Clear();
    sweep_.Restart(barWidth_);
    if (!redrawAll_)
      for (TMMSpectrogram* o : LiveSpectrograms())
        if (o != this) o->redrawAll_ = true;
    model_.ClearHistory();
  }
  int x = -1;
  bool shift = false;
  if (fed) {
    x = sweep_.Place(w_, scroll_, shift);
    if (shift) ShiftLeft(t, {0, 0, w_, h_});
    if (x >= 0 && x < w_) t.VColorRun(x, h_ - 1, 0, model_.Column().data());
  }
  TMMScopeLook look;
  look.bar = t.ColorWord(bar_);
  look.barTick = t.ColorWord(barTick_);
  const bool barShown = !(scroll_ && sweep_.Full(w_));
  const int barX = fed ? x + 1 : sweep_.Column();
  if (fed && !full && accelerate_) {
    // Only the new column reaches the screen, with the bar ahead of it.
    // The whole width moves: a full picture has no bar, and columns held back at the right would
    // stay behind as the picture moves on.
    if (shift) ScrollCanvasLeft(screen, display_);
    int right = x + 1;
    if (barShown && barWidth_ > 0) {
      TMMScopeTrace::DrawBar(t, barX, barWidth_, look, ScaleTicks());
      right = x + 1 + barWidth_;
    }
    const int l = std::max(x, 0), r = std::min(right, w_);
    if (r > l)
      dib->CopyTo(screen, Rect(display_.Left + l, display_.Top, display_.Left + r, display_.Bottom), Rect(l, 0, r, h_));
  } else {
    if (barShown && barWidth_ > 0) TMMScopeTrace::DrawBar(t, barX, barWidth_, look, ScaleTicks());
    if (selStart_ >= 0 || selEnd_ >= 0) {
      t.SetColor(selection_);
      t.FillRect({selStart_, 0, selEnd_ + 1, h_});
      t.SetColor(selectionDot_);
      t.HLine(selStart_, selEnd_, 0);
      t.HLine(selStart_, selEnd_, h_ - 1);
      t.VLine(selStart_, 0, h_ - 1);
      t.VLine(selEnd_, 0, h_ - 1);
    }
    if (locator_ >= 0) {
      t.SetColor(locatorColor_);
      t.VLine(locator_, 0, h_ - 1);
    }
    dib->CopyTo(screen, display_, Rect(0, 0, w_, h_));
    redrawAll_ = false;
  }
  if (fed) sweep_.Advance(w_, scroll_);
  dib->EndDraw();
}

void TMMSpectrogram::DrawScales() {
  if (!drawScale_) return;
  TCanvas& c = *Canvas();
  const int e = Bevel()->BevelExtent();
  const TRect client = ClientRect();
  FillMargin(c, Rect(client.Left, client.Top, display_.Left - e, client.Bottom));
  FillMargin(c, Rect(display_.Right + e, client.Top, client.Right, client.Bottom));
  ScaleInk(c);
  const int ticks = ScaleTicks();
  const double f0 = model_.BaseFrequency();
  const double top = setup_.sampleRate / (2.0 * setup_.frequencyScale);
  char buf[32];
  std::vector<int> ys;
  std::vector<std::string> texts;
  for (int k = 0; k <= ticks; ++k) {
    const int y = display_.Bottom - 1 - (h_ - 1) * k / ticks;
    SideTicks(c, y);
    std::snprintf(buf, sizeof buf, "%4.2f", (f0 + (top - f0) * k / ticks) / 1000.0);
    ys.push_back(y);
    texts.push_back(buf);
  }
  const std::vector<TScaleLabelSpan> labels = SideLabels(c, ys, texts, texts);
  // The unit takes the lowest room between the labels that holds it; every label comes first, so
  // a scale dense enough to leave no such room shows none.
  const TScaleLabelSpan body = TextBodyRows(c);
  const int at = FreeScaleSpan(labels, body.end - body.start, 1, client.Top, client.Bottom);
  if (at >= 0) {
    c.TextOut(client.Left + 2, at - body.start, "KHz");
    c.TextOut(client.Right - 2 - c.TextWidth("KHz"), at - body.start, "KHz");
  }
  c.Brush()->SetStyle(bsSolid);
}

// ---- mouse ----

std::vector<std::string> TMMSpectrogram::ReadoutLines(int col, int row) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%2.3f KHz",
                model_.RowFrequency(h_ - 1 - row, setup_.sampleRate, setup_.frequencyScale) / 1000.0);
  return {buf};
}

void TMMSpectrogram::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  TMMDIBGraphicControl::MouseDown(b, s, x, y);
  if (!BeginReadout(b, x, y)) PressSelection(b, x);
}

void TMMSpectrogram::MouseMove(TShiftState s, int x, int y) {
  TMMDIBGraphicControl::MouseMove(s, x, y);
  if (tracking_) {
    ShowReadout(x, y);
    return;
  }
  MoveSelection(x);
}
