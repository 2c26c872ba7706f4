#include "displays/MMLight_ui.h"

#include <algorithm>

#include "engine/MMPCMSup.h"

using namespace plat;

TMMLight::TMMLight(TComponent* owner) : TMMDIBGraphicControl(owner) {
  SetColor(clBlack);
  SetPaletteRealize(true);
  SetPaintsWholeClient(true);
  model_.Stage().SetLength(fftLength_);
  model_.BuildBands(sampleRate_);
  SetBounds(Left(), Top(), 194, 90);
}

// ---- the feed ----

void TMMLight::SetWaveFormat(const WAVEFORMATEX* format) {
  if (!IsValidPCMFormat(format)) throw EMMLightError(LoadLibraryMessage(62));
  SetSampleRate(int(format->nSamplesPerSec));
  shape_.bits16 = format->wBitsPerSample == 16;
  shape_.channels = format->nChannels;
}

void TMMLight::FeedPCM(const void* block) {
  if (!Enabled() || !Visible() || !block) return;
  const double gains[3] = {gains_[0] * 0.0005, gains_[1] * 0.0005, gains_[2] * 0.0005};
  const int overflows = model_.Feed(block, shape_, amplitudeScale_ * 0.01, decayMode_, peakMode_, gains);
  for (int i = 0; i < overflows; ++i) PcmOverflow();
  ShowBrightness();
}

void TMMLight::ResetData() {
  model_.Clear();
  shown_ = {-1, -1, -1};
  RepaintWhole();
}

void TMMLight::PcmOverflow() {
  if (OnPcmOverflow) OnPcmOverflow(this);
}

void TMMLight::ShowBrightness() {
  TMMDIBCanvas* dib = DIBCanvas();
  const int rings = kind_ == lkCircle ? 1 : zoneCount_;
  if (dib->AnimatedColors() != LightAnimatedColors(kind_, rings)) return;
  bool changed = false;
  dib->BeginAnimate();
  for (int b = 0; b < 3; ++b) {
    const int v = model_.Brightness(b);
    if (v == shown_[size_t(b)]) continue;
    shown_[size_t(b)] = v;
    changed = true;
    if (kind_ == lkCircle) {
      dib->SetAnimatedColor(b, LightColor(b, v));
      continue;
    }
    for (int z = 0; z < rings; ++z)
      dib->SetAnimatedColor(b * rings + z, LightColor(b, LightRingLevel(v, z, rings, sphereHorz_, sphereVert_)));
  }
  dib->EndAnimate();
  if (!changed) return;
  const TRect src = Rect(0, 0, display_.Width(), display_.Height());
  DrawDirect([&] { dib->CopyTo(*Canvas(), display_, src); });
}

// ---- properties ----

void TMMLight::SetEnabled(bool v) {
  if (v == Enabled()) return;
  TMMDIBGraphicControl::SetEnabled(v);
  Rebuild();
}

void TMMLight::SetBitsPerPixel(int bits) {
  // Brightness lives in palette entries: the picture needs its colour table.
  if (bits != 8) throw EMMDIBError("Bitlength not supported yet");
  TMMDIBGraphicControl::SetBitsPerPixel(bits);
}

void TMMLight::SetSampleRate(int v) {
  v = std::clamp(v, 8000, 100000);
  if (v == sampleRate_) return;
  sampleRate_ = v;
  model_.BuildBands(v);
  Rebuild();
}

void TMMLight::SetFFTLength(int v) {
  v = ClampFFTLength(v);
  if (v == fftLength_) return;
  fftLength_ = v;
  model_.Stage().SetLength(v);
  model_.BuildBands(sampleRate_);
  Rebuild();
}

void TMMLight::SetWindow(TMMFFTWindow w) {
  if (w != model_.Stage().Window()) model_.Stage().SetWindow(w);
}

void TMMLight::SetDecayMode(TMMDecayMode m) {
  if (m == decayMode_) return;
  decayMode_ = m;
  model_.Decay().Clear();
}

void TMMLight::SetDecay(int v) {
  v = std::clamp(v, 1, 16);
  if (v == decay_) return;
  decay_ = v;
  model_.Decay().SetDecay(v);
  if (decayMode_ == dmUniform) model_.Decay().Clear();
}

// ---- layout and the picture ----

void TMMLight::SetBounds(int l, int t, int w, int h) {
  const int m = 2 * Bevel()->BevelExtent() + 5;
  TMMDIBGraphicControl::SetBounds(l, t, std::max(w, m), std::max(h, m));
  Layout();
}

void TMMLight::BevelChanged() {
  TMMDIBGraphicControl::BevelChanged();
  Layout();
}

void TMMLight::ColorChanged() {
  TMMDIBGraphicControl::ColorChanged();
  Rebuild();
}

void TMMLight::Loaded() {
  TMMDIBGraphicControl::Loaded();
  model_.BuildBands(sampleRate_);
  Rebuild();
}

void TMMLight::Layout() {
  const TRect r = GetInnerRect();
  display_ = Rect(r.Left, r.Top, r.Left + std::max(r.Width(), 4), r.Top + std::max(r.Height(), 4));
  DIBCanvas()->SetSize(display_.Width(), display_.Height());
  Rebuild();
}

void TMMLight::Rebuild() {
  if (IsLoading()) return;
  TMMDIBCanvas* dib = DIBCanvas();
  const int rings = kind_ == lkCircle ? 1 : zoneCount_;
  dib->SetAnimatedColors(LightAnimatedColors(kind_, rings));
  for (int i = 0; i < dib->AnimatedColors(); ++i) dib->SetAnimatedColor(i, TPaletteEntry{});
  TMMDIBTarget& t = dib->BeginDraw();
  DrawLights(t, kind_, arrange_, triangleDist_, rings, t.ColorWord(Color()));
  dib->EndDraw();
  shown_ = {-1, -1, -1};
  RepaintWhole();
}

void TMMLight::Paint() {
  TRect inner;
  Bevel()->Paint(*Canvas(), ClientRect(), inner, true);
  DIBCanvas()->CopyTo(*Canvas(), display_, Rect(0, 0, display_.Width(), display_.Height()));
  MarkCanvasWhole();
}
