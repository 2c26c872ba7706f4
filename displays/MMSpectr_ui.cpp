#include "displays/MMSpectr_ui.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "engine/MMPCMSup.h"
#include "engine/MMTimer.h"

using namespace plat;

namespace {
// Clearing a spectrum can reach another (through OnNeedData); one at a time.
int g_clearing = 0;
}  // namespace

TMMSpectrum::TMMSpectrum(TComponent* owner) : TMMFFTDisplay(owner), bins_(kMaxFFTLength, 0), inactiveDIB_(this) {
  SetColor(clBlack);
  SetCursor(crCross);
  SetPaintsWholeClient(true);
  UpdateStep();
  SetBounds(Left(), Top(), 194, 89);
  if (!IsDesigning()) timer_.Add();
}

TMMSpectrum::~TMMSpectrum() {
  // Once this returns the timer's thread no longer ticks this display.
  timer_.Remove();
}

void TMMSpectrum::SetDesigning(bool designing) {
  TMMDIBGraphicControl::SetDesigning(designing);
  if (!designing && !timer_.Added()) {
    timer_.Add();
    UpdateTimer();
  }
}

void TMMSpectrum::UpdateTimer() {
  model_.SetPeaksOn(numPeaks_ >= 1);
  timer_.Run(Enabled() && numPeaks_ >= 1);
}

// ---- the feed ----

void TMMSpectrum::SetWaveFormat(const WAVEFORMATEX* format) {
  if (!IsValidPCMFormat(format)) throw EMMSpectrumError(LoadLibraryMessage(62));
  SetSampleRate(int(format->nSamplesPerSec));
  SetBitLength(format->wBitsPerSample == 16 ? b16Bit : b8Bit);
  SetMode(TMMMode(format->nChannels - 1));
}

void TMMSpectrum::FeedPCM(const void* block) {
  if (!Enabled() || !Visible() || tracking_ || !block) return;
  const int d = int(setup_.gain) / 2;
  const int overflows = stage_.Transform(block, shape_, d, d == 2 ? 32767 : 32766, bins_.data());
  for (int i = 0; i < overflows; ++i) PcmOverflow();
  model_.ComputeBins(bins_.data(), setup_.fftLength / 2, setup_.logAmp, decayMode_);
  DrawDirect([this] { DrawPicture(true); });
}

void TMMSpectrum::ResetData() {
  EndReadout();
  std::fill(bins_.begin(), bins_.end(), int16_t(0));
  model_.ClearBins();
  model_.ClearBars();
  if (Enabled() && OnNeedData) OnNeedData(this);
  RepaintWhole();
}

void TMMSpectrum::Clear() {
  if (IsLoading() || g_clearing > 0) return;
  ++g_clearing;
  model_.ClearBins();
  model_.ClearBars();
  if (IsDesigning()) {
    // Something to look at in the designer.
    uint32_t seed = 12345;
    for (int k = 0; k < setup_.fftLength / 2; ++k) {
      seed = seed * 1103515245u + 12345u;
      model_.BinValues()[k] = int32_t((seed >> 8) % 32767);
    }
  }
  --g_clearing;
  RepaintWhole();
}

void TMMSpectrum::GainOverflow() {
  if (OnGainOverflow) OnGainOverflow(this);
}
void TMMSpectrum::PcmOverflow() {
  if (OnPcmOverflow) OnPcmOverflow(this);
}

// ---- properties ----

void TMMSpectrum::SetEnabled(bool v) {
  if (v == Enabled()) return;
  TMMDIBGraphicControl::SetEnabled(v);
  if (v) Clear();
  else ResetData();
  UpdateTimer();
  RepaintWhole();
}

void TMMSpectrum::SetBitsPerPixel(int bits) {
  if (bits != 8 && bits != 24) throw EMMDIBError("Bitlength not supported yet");
  inactiveDIB_.SetBitsPerPixel(bits);
  TMMDIBGraphicControl::SetBitsPerPixel(bits);
  RenderInactive();
}

void TMMSpectrum::SetDrawFreqScale(bool v) {
  if (v == drawFreqScale_) return;
  drawFreqScale_ = v;
  SetBounds(Left(), Top(), Width(), Height());
  Layout();
}

void TMMSpectrum::SetDrawAmpScale(bool v) {
  if (v == drawAmpScale_) return;
  drawAmpScale_ = v;
  SetBounds(Left(), Top(), Width(), Height());
  Layout();
}

void TMMSpectrum::SetSpace(int v) {
  if (v < 0 || v > 5) return;
  SetLookColor(space_, v);
}

void TMMSpectrum::SetSpotSpace(int v) {
  if (v < 0 || v > 10 || v == setup_.spotSpace) return;
  setup_.spotSpace = v;
  model_.BuildSpots(setup_);
  RenderInactive();
  RepaintWhole();
}

void TMMSpectrum::SetSpotHeight(int v) {
  if (v < 1 || v > model_.Height() / 3 || v == setup_.spotHeight) return;
  setup_.spotHeight = v;
  model_.BuildSpots(setup_);
  RenderInactive();
  RepaintWhole();
}

void TMMSpectrum::SetPoint1(int v) {
  if (v < 1 || v > 100 || v == setup_.point1) return;
  setup_.point1 = v;
  model_.BuildSpots(setup_);
  RenderInactive();
  RepaintWhole();
}

void TMMSpectrum::SetPoint2(int v) {
  if (v < 1 || v > 100 || v == setup_.point2) return;
  setup_.point2 = v;
  model_.BuildSpots(setup_);
  RenderInactive();
  RepaintWhole();
}

void TMMSpectrum::SetSampleRate(int v) {
  v = std::clamp(v, 8000, 100000);
  if (v == setup_.sampleRate) return;
  setup_.sampleRate = v;
  Rebuild(true);
}

void TMMSpectrum::SetRefFreq(int v) {
  v = std::clamp(v, 1, 44100);
  if (v == setup_.refFreq) return;
  setup_.refFreq = v;
  Rebuild(false);
}

void TMMSpectrum::SetGain(TMMSpectrumGain g) {
  if (g == setup_.gain) return;
  setup_.gain = g;
  Rebuild(false);
}

void TMMSpectrum::SetFFTLength(int v) {
  v = ClampFFTLength(v);
  if (v == setup_.fftLength) return;
  setup_.fftLength = v;
  stage_.SetLength(v);
  UpdateStep();
  Rebuild(true);
}

void TMMSpectrum::SetLogFreq(bool v) {
  if (v == setup_.logFreq) return;
  setup_.logFreq = v;
  Rebuild(true);
}

void TMMSpectrum::SetLogAmp(bool v) {
  if (v == setup_.logAmp) return;
  setup_.logAmp = v;
  model_.ClearBins();
  Rebuild(false);
}

void TMMSpectrum::SetKind(TMMSpectrumKind k) {
  if (k == setup_.kind) return;
  setup_.kind = k;
  model_.BuildSpots(setup_);
  model_.ClearBars();
  RenderInactive();
  RepaintWhole();
}

void TMMSpectrum::SetWindow(TMMFFTWindow w) {
  if (w == stage_.Window()) return;
  stage_.SetWindow(w);
}

void TMMSpectrum::SetDecayMode(TMMDecayMode m) {
  if (m == decayMode_) return;
  decayMode_ = m;
  model_.Decay().Clear();
}

void TMMSpectrum::SetDecay(int v) {
  v = std::clamp(v, 1, 16);
  if (v == decay_) return;
  decay_ = v;
  model_.Decay().SetDecay(v);
  if (decayMode_ == dmUniform) model_.Decay().Clear();
}

void TMMSpectrum::SetVerticalScale(int v) {
  v = std::clamp(v, 1, 500);
  if (v == setup_.verticalScale) return;
  setup_.verticalScale = v;
  Rebuild(false);
}

void TMMSpectrum::SetFrequencyScale(int v) {
  v = std::clamp(v, 1, 16);
  int p = 1;
  while (p * 2 <= v) p *= 2;
  if (p == setup_.frequencyScale) return;
  setup_.frequencyScale = p;
  Rebuild(true);
}

void TMMSpectrum::SetNumPeaks(int v) {
  if (v < 0 || v > 5 || v == numPeaks_) return;
  numPeaks_ = v;
  UpdateTimer();
  model_.ClearBars();
  RepaintWhole();
}

void TMMSpectrum::SetPeakDelay(int v) {
  if (v < 0 || v > 50) return;
  peakDelay_ = v;
}

void TMMSpectrum::SetPeakSpeed(int v) {
  if (v < 0 || v > 50) return;
  peakSpeed_ = v;
  model_.SetPeakSpeed(v);
}

// ---- layout ----

void TMMSpectrum::SetBounds(int l, int t, int w, int h) {
  const int e = 2 * Bevel()->BevelExtent();
  w = std::max(w, e + 5 + (drawAmpScale_ ? 64 : 0));
  h = std::max(h, e + 5 + (drawFreqScale_ ? 40 : 0));
  TMMDIBGraphicControl::SetBounds(l, t, w, h);
  Layout();
}

void TMMSpectrum::BevelChanged() {
  TMMDIBGraphicControl::BevelChanged();
  Layout();
}

void TMMSpectrum::ColorChanged() {
  TMMDIBGraphicControl::ColorChanged();
  RenderInactive();
}

void TMMSpectrum::Loaded() {
  TMMDIBGraphicControl::Loaded();
  Rebuild(true);
}

void TMMSpectrum::Layout() {
  TRect r = ClientRect();
  if (drawAmpScale_) {
    r.Left += 32;
    r.Right -= 32;
  }
  if (drawFreqScale_) r.Bottom -= 40;
  const int e = Bevel()->BevelExtent();
  const int w = std::max(r.Width() - 2 * e, 4), h = std::max(r.Height() - 2 * e, 4);
  display_ = Rect(r.Left + e, r.Top + e, r.Left + e + w, r.Top + e + h);
  setup_.width = w;
  setup_.height = h;
  DIBCanvas()->SetSize(w, h);
  inactiveDIB_.SetSize(w, h);
  UpdateStep();
  Rebuild(true);
}

void TMMSpectrum::Rebuild(bool columns) {
  if (IsLoading()) return;
  if (columns) {
    // The bar arrays are replaced only while the timer's thread keeps away from them.
    timer_.Hold();
    TMMSpectrumXScale x;
    if (OnGetXScale) x = [this](std::vector<int32_t>& f, std::vector<int32_t>& e) { OnGetXScale(this, f, e); };
    model_.BuildColumns(setup_, x);
    timer_.Release();
  } else {
    model_.BuildAmplitude(setup_);
    model_.ClearBars();
  }
  RenderInactive();
  if (columns) Clear();
  else RepaintWhole();
}

void TMMSpectrum::RenderInactive() {
  if (IsLoading() || OnDrawBar || (setup_.kind != skBars && setup_.kind != skPeaks)) return;
  TMMDIBTarget& t = inactiveDIB_.BeginDraw();
  TMMSpectrumLook look;
  look.background = t.ColorWord(Color());
  for (int z = 0; z < 3; ++z) look.inactive[z] = t.ColorWord(inactive_[z]);
  look.inactiveDoted = inactiveDoted_;
  look.space = space_;
  model_.DrawInactive(t, look);
  inactiveDIB_.EndDraw();
}

// ---- drawing ----

TMMSpectrumLook TMMSpectrum::Look(TMMDIBCanvas* c) const {
  TMMSpectrumLook l;
  for (int z = 0; z < 3; ++z) {
    l.bar[z] = c->ColorWord(bar_[z]);
    l.inactive[z] = c->ColorWord(inactive_[z]);
  }
  l.grid = c->ColorWord(grid_);
  l.background = c->ColorWord(Color());
  l.activeDoted = activeDoted_;
  l.inactiveDoted = inactiveDoted_;
  l.enabled = Enabled();
  l.drawGrid = drawGrid_;
  l.space = space_;
  l.numPeaks = numPeaks_;
  return l;
}

void TMMSpectrum::DrawPicture(bool fed) {
  TMMDIBCanvas* dib = DIBCanvas();
  const TMMSpectrumKind kind = setup_.kind;
  const int W = model_.Width(), H = model_.Height();
  const TRect whole = Rect(0, 0, W, H);
  model_.ClearStrongest();
  TMMDIBTarget& t = dib->BeginDraw();
  const TMMSpectrumLook look = Look(dib);
  if (fed && kind == skScroll && !IsDesigning()) {
    TMMSpectrumModel::ScrollDown(t, look.background);
  } else if ((kind == skBars || kind == skPeaks) && drawInactive_ && !OnDrawBar) {
    const TMMDIBTarget& pattern = inactiveDIB_.BeginDraw();
    t.CopyRect(0, 0, W, H, 0, 0, pattern);
    inactiveDIB_.EndDraw();
  } else if (OnClearBackground) {
    OnClearBackground(this, dib, whole);
  } else {
    ClearDIB();
  }
  int overflows = 0;
  model_.ComputeBars(setup_.logAmp, decayMode_, [&] { ++overflows; });
  model_.UpdateValues(kind, bool(OnDrawBar), numPeaks_, peakDelay_);
  if (OnDrawBar && (kind == skBars || kind == skPeaks)) {
    for (size_t i = 0; i < model_.Bars().size(); ++i) {
      const TMMSpectrumBar& b = model_.Bars()[i];
      OnDrawBar(this, dib, model_.Peak(int(i)), b.value, Rect(b.xFrom, 0, b.xTo, H));
    }
  } else {
    model_.Draw(t, kind, look);
  }
  dib->CopyTo(*Canvas(), display_, whole);
  dib->EndDraw();
  for (int i = 0; i < overflows; ++i) GainOverflow();
  if (displayPeak_ && !IsDesigning() && model_.StrongestHeight() >= 6) DrawPeakText();
}

void TMMSpectrum::DrawPeakText() {
  TCanvas& c = *Canvas();
  TFont f;
  f.SetName("MS Sans Serif");
  f.SetSize(8);
  f.SetStyle(fsBold);
  f.SetColor(clWhite);
  c.SetFont(f);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%7.1f Hz",
                model_.StrongestFrequency(setup_.logFreq, setup_.sampleRate, setup_.fftLength));
  const TSize e = c.TextExtent(buf);
  int x = display_.Left + model_.StrongestColumn();
  x = std::min(x, display_.Right - e.cx);
  const int y =
      std::max(display_.Top, display_.Bottom - 1 - std::min(model_.StrongestHeight(), model_.Height()) - e.cy);
  c.Brush()->SetStyle(bsClear);
  c.TextOut(std::max(x, display_.Left), y, buf);
  c.Brush()->SetStyle(bsSolid);
}

void TMMSpectrum::DrawScales() {
  if (!drawFreqScale_ && !drawAmpScale_) return;
  TCanvas& c = *Canvas();
  const int e = Bevel()->BevelExtent();
  const TRect client = ClientRect();
  const int W = model_.Width(), H = model_.Height();
  if (drawAmpScale_) {
    FillMargin(c, Rect(client.Left, client.Top, display_.Left - e, client.Bottom));
    FillMargin(c, Rect(display_.Right + e, client.Top, client.Right, client.Bottom));
  }
  if (drawFreqScale_) FillMargin(c, Rect(display_.Left - e, display_.Bottom + e, display_.Right + e, client.Bottom));
  ScaleInk(c);
  char buf[32];
  if (drawFreqScale_) {
    int ticks = 32;
    while (ticks > 1 && W / ticks < 10) ticks /= 2;
    const double fs = setup_.frequencyScale, f0 = model_.F0();
    std::vector<int> xs;
    std::vector<std::string> texts;
    for (int k = 0; k <= ticks; ++k) {
      const int x = display_.Left + int(std::nearbyint(double(W - 1) * k / ticks));
      const double f = setup_.logFreq ? f0 * std::exp(k * std::log(setup_.fftLength / 2.0) / (ticks * fs))
                                      : f0 + k * (setup_.sampleRate / 2.0 - f0) / (ticks * fs);
      std::snprintf(buf, sizeof buf, "%.0f", std::max(f, 0.0));
      BottomTick(c, x, k % 2 == 0);
      xs.push_back(x);
      texts.push_back(buf);
    }
    BottomLabels(c, xs, texts);
  }
  if (drawAmpScale_) {
    int div = setup_.logAmp ? 6 : 10;
    while (div > 1 && H / div < 10) --div;
    std::vector<int> ys;
    std::vector<std::string> left, right;
    for (int k = 0; k <= div; ++k) {
      const int y = display_.Top + (H - 1) * k / div;
      if (setup_.logAmp) {
        const int v = -10 * (k * 6 / div);
        std::snprintf(buf, sizeof buf, "%d", v);
        left.push_back(buf);
        // Two places wide; "%2.d" would print nothing at all for the 0 at the top.
        std::snprintf(buf, sizeof buf, "%2d", v);
        right.push_back(buf);
      } else {
        const double v = 10.0 / div * (div - k) * setup_.verticalScale / 100.0 * 0.1;
        std::snprintf(buf, sizeof buf, setup_.verticalScale <= 9 ? "%5.3f" : "%4.2f", v);
        left.push_back(buf);
        right.push_back(buf);
      }
      SideTicks(c, y);
      ys.push_back(y);
    }
    SideLabels(c, ys, left, right);
  }
  if (drawAmpScale_ && drawFreqScale_) {
    const char* unit = setup_.logAmp ? "db" : "V";
    c.TextOut(client.Left + 2, client.Bottom - 26, unit);
    c.TextOut(client.Right - 2 - c.TextWidth(unit), client.Bottom - 26, unit);
    c.TextOut(client.Right - 2 - c.TextWidth("Hz"), client.Bottom - 14, "Hz");
  }
  c.Brush()->SetStyle(bsSolid);
}

// ---- the cursor readout ----

std::vector<std::string> TMMSpectrum::ReadoutLines(int col, int row) {
  const int W = model_.Width(), H = model_.Height();
  char buf[48];
  std::vector<std::string> lines;
  const double f = SpectrumColumnFrequency(col, W, setup_.logFreq, model_.F0(), setup_.sampleRate, setup_.fftLength,
                                           setup_.frequencyScale);
  std::snprintf(buf, sizeof buf, "%2.3f KHz", f / 1000.0);
  lines.push_back(buf);
  if (setup_.kind != skScroll) {
    if (setup_.logAmp) std::snprintf(buf, sizeof buf, " %2.1f dB", -10.0 * (6.0 * row / (H - 1)));
    else
      std::snprintf(buf, sizeof buf, setup_.verticalScale <= 9 ? " %5.3f V" : " %4.2f V",
                    10.0 / (H - 1) * (H - row - 1) * setup_.verticalScale / 100.0 * 0.1);
    lines.push_back(buf);
  }
  return lines;
}

void TMMSpectrum::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  TMMDIBGraphicControl::MouseDown(b, s, x, y);
  BeginReadout(b, x, y);
}

void TMMSpectrum::MouseMove(TShiftState s, int x, int y) {
  TMMDIBGraphicControl::MouseMove(s, x, y);
  if (tracking_) ShowReadout(x, y);
}

void TMMSpectrum::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
  TMMDIBGraphicControl::MouseUp(b, s, x, y);
  if (b == mbLeft) EndReadout();
}
