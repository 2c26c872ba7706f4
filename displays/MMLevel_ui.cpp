#include "displays/MMLevel_ui.h"

#include <algorithm>

#include "engine/MMPCMSup.h"
#include "engine/MMTimer.h"

using namespace plat;

// ---- the level bar ------------------------------------------------------------------------------

TMMCustomLevel::TMMCustomLevel(TComponent* owner) : TMMDIBGraphicControl(owner), background_(this) {
  Font()->SetName("Small Fonts");
  Font()->SetSize(7);
  SetParentFont(false);
  SetColor(clBlack);
  values_.OnGainOverflow = [this] { GainOverflow(); };
  SetBounds(Left(), Top(), 200, 17);
  if (!IsDesigning()) timer_.Add();
}

TMMCustomLevel::~TMMCustomLevel() {
  // Once this returns the timer's thread no longer ticks this bar.
  timer_.Remove();
}

void TMMCustomLevel::SetDesigning(bool designing) {
  TMMDIBGraphicControl::SetDesigning(designing);
  if (!designing && !timer_.Added()) {
    timer_.Add();
    UpdateTimer();
  }
}

void TMMCustomLevel::UpdateTimer() { timer_.Run(Enabled() && values_.numPeaks >= 1); }

// ---- the feed ----

void TMMCustomLevel::SetWaveFormat(const WAVEFORMATEX* format) {
  if (!shape_.TakeFormat(format)) throw EMMLevelError(LoadLibraryMessage(62));
}

void TMMCustomLevel::FeedPCM(const void* block) {
  if (!Enabled() || !Visible()) return;
  const int32_t peak = PcmBlockPeak(block, shape_);
  if (peak >= kFullScale) PcmOverflow();
  Feed(peak);
}

void TMMCustomLevel::Feed(int32_t peak) {
  if (values_.Feed(peak) && Enabled() && Visible()) DrawNow();
  if (values_.Peak().Peak() > 0) timer_.Wake();
}

void TMMCustomLevel::ResetData() {
  values_.Reset();
  DrawNow();
}

void TMMCustomLevel::SetValue(int percent) { Feed(PercentToPeak(percent)); }

void TMMCustomLevel::GainOverflow() {
  if (OnGainOverflow) OnGainOverflow(this);
}

void TMMCustomLevel::PcmOverflow() {
  if (OnPcmOverflow) OnPcmOverflow(this);
}

// ---- properties ----

void TMMCustomLevel::SetBounds(int l, int t, int w, int h) {
  const bool sized = w != Width() || h != Height();
  TMMDIBGraphicControl::SetBounds(l, t, w, h);
  // The bar's picture covers the client area only.
  if (sized) Relayout();
  else DIBCanvas()->SetSize(look_.width, look_.height);
}

void TMMCustomLevel::BevelChanged() {
  TMMDIBGraphicControl::BevelChanged();
  Relayout();
}

void TMMCustomLevel::ColorChanged() {
  TMMDIBGraphicControl::ColorChanged();
  LookChanged();
}

void TMMCustomLevel::Loaded() {
  TMMDIBGraphicControl::Loaded();
  Relayout();
}

void TMMCustomLevel::SetEnabled(bool v) {
  if (v == Enabled()) return;
  TMMDIBGraphicControl::SetEnabled(v);
  if (v) Relayout();
  else values_.Reset();
  UpdateTimer();
  pictureValid_ = false;
  RepaintWhole();
}

void TMMCustomLevel::SetKind(TMMLevelKind k) {
  if (k == look_.kind) return;
  look_.kind = k;
  const bool wrongShape = k == lkHorizontal ? Height() > Width() : Width() > Height();
  if (wrongShape) SetBounds(Left(), Top(), Height(), Width());
  Relayout();
}

void TMMCustomLevel::SetSpotWidth(int v) {
  const TRect r = GetInnerRect();
  const int extent = std::max(1, look_.kind == lkHorizontal ? r.Width() : r.Height());
  v = std::clamp(v, 1, std::max(1, extent / 3));
  if (v == spotWidth_) return;
  spotWidth_ = v;
  Relayout();
}

void TMMCustomLevel::SetSpotSpace(int v) {
  v = std::clamp(v, 0, 10);
  if (v == spotSpace_) return;
  spotSpace_ = v;
  Relayout();
}

void TMMCustomLevel::SetPoint1(int v) {
  v = std::clamp(v, 1, 100);
  if (v == point1_) return;
  point1_ = v;
  Relayout();
}

void TMMCustomLevel::SetPoint2(int v) {
  v = std::clamp(v, 1, 100);
  if (v == point2_) return;
  point2_ = v;
  Relayout();
}

void TMMCustomLevel::SetColorOf(TColor& field, TColor c) {
  if (field == c) return;
  field = c;
  LookChanged();
}

void TMMCustomLevel::SetActiveDoted(bool v) {
  if (v == activeDoted_) return;
  activeDoted_ = v;
  LookChanged();
}

void TMMCustomLevel::SetInactiveDoted(bool v) {
  if (v == inactiveDoted_) return;
  inactiveDoted_ = v;
  LookChanged();
}

void TMMCustomLevel::SetDirection(TMMLevelDirection d) {
  if (d == look_.direction) return;
  look_.direction = d;
  values_.direction = d;
  LookChanged();
}

void TMMCustomLevel::SetSensitivy(int v) { values_.sensitivity = std::clamp(v, -90, -9); }

void TMMCustomLevel::SetNumPeaks(int v) {
  v = std::clamp(v, 0, 5);
  if (v == values_.numPeaks) return;
  values_.numPeaks = v;
  look_.numPeaks = v;
  UpdateTimer();
  pictureValid_ = false;
  RepaintWhole();
}

void TMMCustomLevel::SetPeakDelay(int v) {
  values_.peakDelay = std::clamp(v, 0, 50);
  values_.Peak().ResetHold();
}

void TMMCustomLevel::SetPeakSpeed(int v) {
  values_.SetPeakSpeed(std::clamp(v, 0, 50));
  values_.Peak().ResetHold();
}

void TMMCustomLevel::SetBitsPerPixel(int bits) {
  if (bits != 8 && bits != 24) throw EMMDIBError("Bitlength not supported yet");
  background_.SetBitsPerPixel(bits);
  TMMDIBGraphicControl::SetBitsPerPixel(bits);
  LookChanged();
}

// ---- layout and drawing ----

void TMMCustomLevel::Relayout() {
  const TRect r = GetInnerRect();
  const int cw = std::max(1, r.Width()), ch = std::max(1, r.Height());
  look_.width = cw;
  look_.height = ch;
  look_.spotWidth = std::max(spotWidth_, 1);
  look_.spotSpace = spotSpace_;
  look_.numPeaks = values_.numPeaks;
  look_.layout = LevelLayout(look_.kind == lkHorizontal ? cw : ch, spotWidth_, spotSpace_, point1_, point2_);
  values_.spots = look_.layout.spots;
  DIBCanvas()->SetSize(cw, ch);
  background_.SetSize(cw, ch);
  if (!IsDesigning()) values_.Clear();
  LookChanged();
}

void TMMCustomLevel::LookChanged() {
  RedrawBackground();
  pictureValid_ = false;
  RepaintWhole();
}

void TMMCustomLevel::RedrawBackground() {
  if (IsLoading() || OnDrawBar) return;
  TMMDIBTarget& t = background_.BeginDraw();
  TMMBarLook look = look_;
  for (int z = 0; z < 3; ++z) look.colors[z] = t.ColorWord(inactiveColors_[z]);
  look.dotted = inactiveDoted_;
  t.SetColor(Color());
  t.Clear();
  DrawSpots(t, look, 1, look.layout.spots);
  background_.EndDraw();
}

TDIBRect TMMCustomLevel::DrawBar(bool whole) {
  if (OnPaint) OnPaint(this);
  TMMDIBCanvas* bar = DIBCanvas();
  TMMDIBTarget& t = bar->BeginDraw();
  const int value = values_.Value(), peak = values_.Peak().Peak();
  TDIBRect changed{0, 0, look_.width, look_.height};
  if (OnDrawBar) {
    OnDrawBar(this, bar, Rect(0, 0, t.Width(), t.Height()), value, peak);
    pictureValid_ = false;
    shownKnown_ = false;
  } else {
    if (!Enabled()) whole = true;
    if (whole || !pictureValid_)
      for (int z = 0; z < 3; ++z) barWords_[z] = t.ColorWord(barColors_[z]);
    TMMBarLook look = look_;
    for (int z = 0; z < 3; ++z) look.colors[z] = barWords_[z];
    look.dotted = activeDoted_;
    // The unlit picture, opened as a second drawing: each canvas draws through its own target.
    const TMMDIBTarget& unlit = background_.BeginDraw();
    int lo = 1, hi = look.layout.spots;
    if (whole || !pictureValid_) {
      shownKnown_ = false;
      t.CopyRect(0, 0, t.Width(), t.Height(), 0, 0, unlit);
      if (Enabled()) DrawBarValue(t, look, value, peak, lo, hi);
    } else if (ChangedSpots(look, drawnValue_, drawnPeak_, value, peak, lo, hi)) {
      changed = SpotRangeRect(look, lo, hi);
      t.CopyRect(changed.Left, changed.Top, changed.Right - changed.Left, changed.Bottom - changed.Top, changed.Left,
                 changed.Top, unlit);
      DrawBarValue(t, look, value, peak, lo, hi);
    } else {
      changed = {};
    }
    background_.EndDraw();
    drawnValue_ = value;
    drawnPeak_ = peak;
    pictureValid_ = Enabled();
  }
  bar->EndDraw();
  return changed;
}

void TMMCustomLevel::DrawNow() {
  DrawBlock([this] {
    const TDIBRect c = DrawBar(false);
    const TRect inner = GetInnerRect();
    Drawn(Rect(inner.Left + c.Left, inner.Top + c.Top, inner.Left + c.Right, inner.Top + c.Bottom));
  });
}

void TMMCustomLevel::CopyToCanvas(const TRect& r) {
  if (r.Right <= r.Left || r.Bottom <= r.Top) return;
  const TRect inner = GetInnerRect();
  TMMDIBCanvas* bar = DIBCanvas();
  bar->BeginDraw();
  bar->CopyTo(*Canvas(), r, Rect(r.Left - inner.Left, r.Top - inner.Top, r.Right - inner.Left, r.Bottom - inner.Top));
  bar->EndDraw();
}

TRect TMMCustomLevel::ShowDrawn(const TRect& r) {
  TRect shown = r;
  if (shownKnown_) {
    // Only the spots that differ between the bar the canvas shows and the bar now: a bar that
    // went up and down between two frames changed less than all its blocks drew.
    int lo = 0, hi = 0;
    shown = {};
    if (ChangedSpots(look_, shownValue_, shownPeak_, drawnValue_, drawnPeak_, lo, hi)) {
      const TDIBRect c = SpotRangeRect(look_, lo, hi);
      const TRect inner = GetInnerRect();
      shown = Rect(inner.Left + c.Left, inner.Top + c.Top, inner.Left + c.Right, inner.Top + c.Bottom);
    }
  }
  CopyToCanvas(shown);
  shownValue_ = drawnValue_;
  shownPeak_ = drawnPeak_;
  shownKnown_ = pictureValid_;
  return shown;
}

void TMMCustomLevel::Paint() {
  TRect inner;
  Bevel()->Paint(*Canvas(), ClientRect(), inner, true);
  const TDIBRect c = DrawBar(true);
  CopyToCanvas(Rect(inner.Left + c.Left, inner.Top + c.Top, inner.Left + c.Right, inner.Top + c.Bottom));
  MarkCanvasWhole();
  shownValue_ = drawnValue_;
  shownPeak_ = drawnPeak_;
  // A paint of a part leaves the rest of the canvas as it was.
  shownKnown_ = pictureValid_ && CanvasWhole();
}

// ---- the level scale ----------------------------------------------------------------------------

TMMLevelScale::TMMLevelScale(TComponent* owner) : TMMGraphicControl(owner), scale_(new TMMLevScale) {
  Font()->SetName("Small Fonts");
  Font()->SetSize(6);
  SetParentFont(false);
  SetColor(clBlack);
  scale_->OnChange = [this](TObject*) { Invalidate(); };
  SetBounds(Left(), Top(), 200, 7);
}

TMMLevelScale::~TMMLevelScale() {
  scale_->OnChange = nullptr;
  delete scale_;
}

void TMMLevelScale::SetScaleTicks(int v) { Set(scaleTicks_, std::max(v, 2)); }
void TMMLevelScale::SetPoint1(int v) { Set(point1_, std::clamp(v, 1, 100)); }
void TMMLevelScale::SetPoint2(int v) { Set(point2_, std::clamp(v, 1, 100)); }
void TMMLevelScale::SetSensitivy(int v) { Set(sensitivity_, std::clamp(v, -90, -9)); }

void TMMLevelScale::SetKind(TMMLevelKind k) {
  if (k == kind_) return;
  kind_ = k;
  const bool wrongShape = k == lkHorizontal ? Height() > Width() : Width() > Height();
  if (wrongShape) SetBounds(Left(), Top(), Height(), Width());
  Invalidate();
}

TMMLevelScalePlan TMMLevelScale::Plan() {
  TCanvas& c = *Canvas();
  c.SetFont(*Font());
  TMMLevelScaleSetup s;
  s.kind = kind_;
  s.direction = direction_;
  const TRect r = GetInnerRect();
  s.inner = {r.Left, r.Top, r.Right, r.Bottom};
  s.controlLength = kind_ == lkHorizontal ? Width() : Height();
  s.scaleTicks = scaleTicks_;
  s.point1 = point1_;
  s.point2 = point2_;
  for (int i = 0; i < 3; ++i) s.colors[i] = colors_[i];
  s.sensitivity = sensitivity_;
  s.logAmp = logAmp_;
  s.rowsVisible = scale_->Visible();
  s.rowsPos = scalePos_;
  s.rowLook = scale_->Look();
  return PlanLevelScale(s, [&c](const std::string& text, int& w, int& h) {
    const TSize e = c.TextExtent(text);
    w = e.cx;
    h = e.cy;
  });
}

void TMMLevelScale::Paint() {
  TCanvas& c = *Canvas();
  TRect inner;
  Bevel()->Paint(c, ClientRect(), inner, true);
  c.Brush()->SetStyle(bsSolid);
  c.Brush()->SetColor(Color());
  c.FillRect(inner);
  const TMMLevelScalePlan plan = Plan();
  if (!plan.rows.empty()) {
    const TMMScaleLook& z = plan.rowLook;
    scale_->SetCanvas(&c);
    scale_->SetZones(z.color, z.zone2, z.zone3, z.b1, z.b2);
    for (const TMMLevelScaleRow& row : plan.rows)
      scale_->DrawScale(Rect(row.rect.Left, row.rect.Top, row.rect.Right, row.rect.Bottom), row.firstSide);
    scale_->SetCanvas(nullptr);
  }
  c.Brush()->SetStyle(bsClear);
  for (const TMMLevelScaleLabel& l : plan.labels) {
    c.Font()->SetColor(l.color);
    c.TextOut(l.x, l.y, l.text);
  }
  c.Brush()->SetStyle(bsSolid);
}
