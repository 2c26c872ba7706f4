#include "displays/MMOscope_ui.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/MMPCMSup.h"

using namespace plat;

// ---- shared pieces ------------------------------------------------------------------------------

void TMMReadoutBox::Show(TCanvas& c, const TRect& area, int x, int y, const std::vector<std::string>& lines) {
  Hide(c);
  if (c.TargetWidth() == 0 || c.TargetHeight() == 0) return;
  TFont f;
  f.SetName("MS Sans Serif");
  f.SetHeight(-11);
  f.SetColor(clInfoText);
  c.SetFont(f);
  int w = 0, h = 0;
  for (const std::string& l : lines) {
    const TSize e = c.TextExtent(l);
    w = std::max(w, e.cx);
    h += e.cy;
  }
  w += 6;
  h += 4;
  // Beside the cursor, kept inside the display.
  int left = x + 10, top = y + 10;
  if (left + w > area.Right) left = x - 4 - w;
  if (top + h > area.Bottom) top = y - 4 - h;
  left = std::clamp(left, area.Left, std::max(area.Left, area.Right - w));
  top = std::clamp(top, area.Top, std::max(area.Top, area.Bottom - h));
  box_ = Rect(left, top, left + w, top + h);
  c.CopyOut(box_, saved_);
  c.Brush()->SetStyle(bsSolid);
  c.Brush()->SetColor(clInfoBk);
  c.FillRect(box_);
  c.Brush()->SetColor(clBlack);
  c.FrameRect(box_);
  c.Brush()->SetStyle(bsClear);
  int ty = top + 2;
  for (const std::string& l : lines) {
    c.TextOut(left + 3, ty, l);
    ty += c.TextHeight(l);
  }
  c.Brush()->SetStyle(bsSolid);
  shown_ = true;
}

void TMMReadoutBox::Hide(TCanvas& c) {
  if (!shown_) return;
  shown_ = false;
  if (!c.HandleAllocated() || saved_.Empty()) return;
  c.CopyPixels(box_.Left, box_.Top, saved_, Rect(0, 0, saved_.Width(), saved_.Height()));
  saved_.SetSize(0, 0);
}

void ScrollCanvasLeft(TCanvas& c, const TRect& r) {
  if (!c.PixelRow(0)) return;
  const TPoint o = c.Origin();
  const int l = std::max(r.Left + o.X, 0), right = std::min(r.Right + o.X, c.TargetWidth());
  const int t = std::max(r.Top + o.Y, 0), b = std::min(r.Bottom + o.Y, c.TargetHeight());
  if (right - l < 2) return;
  for (int y = t; y < b; ++y) {
    uint32_t* row = c.PixelRow(y);
    std::memmove(row + l, row + l + 1, size_t(right - l - 1) * 4);
  }
}

void ScaleFont(TCanvas& c, TColor color) {
  TFont f;
  f.SetName("ARIAL");
  f.SetHeight(-10);
  f.SetColor(color);
  c.SetFont(f);
}

TScaleLabelSpan TextBodyRows(TCanvas& c) {
  const TTextMetric m = c.GetTextMetrics();
  return {m.tmInternalLeading, m.tmAscent};
}

// ---- what the analysis displays share ----------------------------------------------------------

void TMMAnalysisDisplay::Paint() {
  TRect inner;
  Bevel()->Paint(*Canvas(), ClientRect(), inner, true);
  DrawScales();
  readout_.Forget();
  DrawPicture(false);
  if (tracking_) ShowReadout(readoutX_, readoutY_);
  MarkCanvasWhole();
}

bool TMMAnalysisDisplay::BeginReadout(TMouseButton b, int x, int y) {
  if (b != mbLeft || IsDesigning() || !Enabled() || !showInfo_) return false;
  tracking_ = true;
  ReadoutHeld(true);
  savedShowHint_ = ShowHint();
  SetShowHint(false);
  ShowReadout(x, y);
  return true;
}

void TMMAnalysisDisplay::ShowReadout(int x, int y) {
  readoutX_ = std::clamp(x, display_.Left, display_.Right - 1);
  readoutY_ = std::clamp(y, display_.Top, display_.Bottom - 1);
  readout_.Show(*Canvas(), display_, readoutX_, readoutY_,
                ReadoutLines(readoutX_ - display_.Left, readoutY_ - display_.Top));
  UpdateFromCanvas();
}

void TMMAnalysisDisplay::EndReadout() {
  if (!tracking_) return;
  tracking_ = false;
  ReadoutHeld(false);
  readout_.Hide(*Canvas());
  UpdateFromCanvas();
  SetShowHint(savedShowHint_);
}

void TMMAnalysisDisplay::FillMargin(TCanvas& c, const TRect& r) {
  c.Brush()->SetStyle(bsSolid);
  c.Brush()->SetColor(Parent() ? Parent()->Color() : Color());
  c.FillRect(r);
}

void TMMAnalysisDisplay::ScaleInk(TCanvas& c) {
  c.Brush()->SetStyle(bsClear);
  ScaleFont(c, scaleText_);
  c.Pen()->SetColor(scaleLine_);
}

void TMMAnalysisDisplay::SideTicks(TCanvas& c, int y) {
  const int e = Bevel()->BevelExtent();
  c.MoveTo(display_.Left - e - 4, y);
  c.LineTo(display_.Left - e, y);
  c.MoveTo(display_.Right + e, y);
  c.LineTo(display_.Right + e + 4, y);
}

std::vector<TScaleLabelSpan> TMMAnalysisDisplay::SideLabels(TCanvas& c, const std::vector<int>& rows,
                                                            const std::vector<std::string>& left,
                                                            const std::vector<std::string>& right) {
  const int e = Bevel()->BevelExtent();
  const TRect client = ClientRect();
  // Only the figures count: the blank rows above and below them may touch the next label's.
  const TScaleLabelSpan body = TextBodyRows(c);
  std::vector<TScaleLabelSpan> spans;
  for (int row : rows) spans.push_back(CentredLabelSpan(row, body.end - body.start, client.Top, client.Bottom));
  std::vector<bool> keep(spans.size(), true);
  if (!SpreadScaleLabels(spans, 1, client.Top, client.Bottom)) keep = KeepScaleLabels(spans, 1);
  std::vector<TScaleLabelSpan> drawn;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!keep[i]) continue;
    c.TextOut(display_.Left - e - 5 - c.TextWidth(left[i]), spans[i].start - body.start, left[i]);
    c.TextOut(display_.Right + e + 5, spans[i].start - body.start, right[i]);
    drawn.push_back(spans[i]);
  }
  return drawn;
}

void TMMAnalysisDisplay::BottomTick(TCanvas& c, int x, bool major) {
  const int e = Bevel()->BevelExtent();
  c.MoveTo(x, display_.Bottom + e);
  c.LineTo(x, display_.Bottom + e + (major ? 6 : 3));
}

void TMMAnalysisDisplay::BottomLabels(TCanvas& c, const std::vector<int>& columns,
                                      const std::vector<std::string>& texts) {
  const int e = Bevel()->BevelExtent();
  const TRect client = ClientRect();
  std::vector<TScaleLabelSpan> spans;
  for (size_t i = 0; i < columns.size(); ++i)
    spans.push_back(CentredLabelSpan(columns[i], c.TextWidth(texts[i]), client.Left, client.Right));
  const std::vector<bool> keep = KeepScaleLabels(spans, 4);
  for (size_t i = 0; i < columns.size(); ++i)
    if (keep[i]) c.TextOut(spans[i].start, display_.Bottom + e + 8, texts[i]);
}

void TMMSelectionDisplay::SetSelection(int start, int end) {
  if (SetScopeSelection(selStart_, selEnd_, start, end, w_)) RepaintWhole();
}

void TMMSelectionDisplay::SetLocator(int x) { Set(locator_, std::clamp(x, -1, w_)); }

void TMMSelectionDisplay::Selecting(int start, int end) {
  if (OnSelecting) OnSelecting(this, start, end);
}

void TMMSelectionDisplay::SelectEnd(int start, int end) {
  if (OnSelectEnd) OnSelectEnd(this, start, end);
}

bool TMMSelectionDisplay::PressSelection(TMouseButton b, int x) {
  if (b != mbRight || !useSelection_ || locked_) return false;
  drag_.Press(std::clamp(x - display_.Left, 0, w_), selStart_, selEnd_, w_, [this](int a, int e) { Selecting(a, e); });
  RepaintWhole();
  return true;
}

bool TMMSelectionDisplay::MoveSelection(int x) {
  if (drag_.Mode() == TMMSelectionDrag::sdNone) return false;
  const int start = selStart_, end = selEnd_;
  drag_.Move(x - display_.Left, selStart_, selEnd_, w_, [this](int a, int e) { Selecting(a, e); });
  if (start != selStart_ || end != selEnd_) RepaintWhole();
  return true;
}

void TMMSelectionDisplay::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
  TMMDIBGraphicControl::MouseUp(b, s, x, y);
  if (b == mbLeft && tracking_) {
    EndReadout();
  } else if (b == mbRight && drag_.Mode() != TMMSelectionDrag::sdNone) {
    drag_.Release();
    SelectEnd(selStart_, selEnd_);
  }
}

namespace {
std::vector<TMMOscope*>& LiveScopes() {
  static std::vector<TMMOscope*> list;
  return list;
}
}  // namespace

// ---- the oscilloscope ---------------------------------------------------------------------------

TMMOscope::TMMOscope(TComponent* owner) : TMMSelectionDisplay(owner) {
  SetColor(clBlack);
  SetCursor(crCross);
  SetPaintsWholeClient(true);
  sweep_.Restart(barWidth_);
  SetBounds(Left(), Top(), 194, 90);
  SetFFTLength(128);
  if (!IsDesigning()) LiveScopes().push_back(this);
}

TMMOscope::~TMMOscope() {
  auto& l = LiveScopes();
  l.erase(std::remove(l.begin(), l.end(), this), l.end());
}

void TMMOscope::SetDesigning(bool designing) {
  TMMDIBGraphicControl::SetDesigning(designing);
  auto& l = LiveScopes();
  l.erase(std::remove(l.begin(), l.end(), this), l.end());
  if (!designing) l.push_back(this);
}

// ---- the feed ----

void TMMOscope::SetWaveFormat(const WAVEFORMATEX* format) {
  if (!IsValidPCMFormat(format)) throw EMMOscopeError(LoadLibraryMessage(62));
  sampleRate_ = std::clamp(int(format->nSamplesPerSec), 8000, 88200);
  shape_.bits16 = format->wBitsPerSample == 16;
  shape_.channels = format->nChannels;
  UpdateStep();
}

int32_t TMMOscope::AdvanceBytes() const {
  // Overlapping blocks only for a chart whose columns reach the screen one at a time.
  if (!scroll_ || !accelerate_) return step_;
  return std::max(1, fftLength_ / 4) * shape_.Frame();
}

void TMMOscope::FeedPCM(const void* block) {
  if (!Enabled() || !Visible() || tracking_ || !block) return;
  if (scroll_) {
    int16_t lo, hi;
    ScopeExtremes(block, shape_, fftLength_, lo, hi);
    points_[0] = std::min(lo, hi);
    points_[1] = std::max(lo, hi);
  } else {
    ScopePoints(block, shape_, step_ / shape_.Frame(), w_, zoom_, points_.data());
  }
  if (lowPass_) ScopeLowPass(points_.data(), scroll_ ? 2 : w_);
  DrawDirect([this] { DrawPicture(true); });
}

void TMMOscope::ResetData() {
  EndReadout();
  std::fill(points_.begin(), points_.end(), int16_t(0));
  if (IsDesigning()) {
    double a = 1.0;
    for (int i = 0; i < w_; ++i) {
      points_[size_t(i)] = int16_t(std::sin(2.0 * M_PI * i * 8 / std::max(w_ - 1, 1)) * a * 30719);
      a -= 1.0 / w_;
    }
  }
  sweep_.Restart(barWidth_);
  redrawAll_ = true;
  selStart_ = selEnd_ = -1;
  RepaintWhole();
}

void TMMOscope::UpdateStep() { step_ = ScopeFeedStep(shape_, scroll_, fftLength_, w_, zoom_); }

double TMMOscope::BlockMilliseconds() const {
  const double perSecond = double(sampleRate_) * shape_.Frame();
  return perSecond > 0 ? step_ * 1000.0 / perSecond : 0.0;
}

void TMMOscope::GainOverflow() {
  if (OnGainOverflow) OnGainOverflow(this);
}
void TMMOscope::PcmOverflow() {
  if (OnPcmOverflow) OnPcmOverflow(this);
}
// ---- properties ----

void TMMOscope::SetEnabled(bool v) {
  if (v == Enabled()) return;
  TMMDIBGraphicControl::SetEnabled(v);
  redrawAll_ = true;
  RepaintWhole();
}

void TMMOscope::SetAccelerate(bool v) {
  if (v == accelerate_) return;
  accelerate_ = v;
  if (!v && scroll_) RepaintWhole();
}

void TMMOscope::SetScroll(bool v) {
  if (v == scroll_) return;
  scroll_ = v;
  Layout();
}

void TMMOscope::SetBitLength(TMMBits b) {
  shape_.bits16 = b == b16Bit;
  UpdateStep();
  RepaintWhole();
}

void TMMOscope::SetChannel(TMMChannel c) {
  shape_.channel = c;
  UpdateStep();
  RepaintWhole();
}

void TMMOscope::SetMode(TMMMode m) {
  shape_.channels = int(m) + 1;
  UpdateStep();
  RepaintWhole();
}

void TMMOscope::SetZoom(int v) {
  if (v == 0) return;
  v = std::clamp(v, -9, 9);
  if (v == zoom_) return;
  zoom_ = v;
  UpdateStep();
  RepaintWhole();
}

void TMMOscope::SetGain(int v) {
  if (v < -8 || v > 32) return;
  Set(gain_, v + 8);
}

void TMMOscope::SetFFTLength(int v) {
  v = std::clamp(v, 1, 4096);
  int p = 1;
  while (p * 2 <= v) p *= 2;
  fftLength_ = p;
  if (scroll_) UpdateStep();
}

void TMMOscope::SetDrawAmpScale(bool v) {
  if (v == drawAmpScale_) return;
  drawAmpScale_ = v;
  SetBounds(Left(), Top(), Width(), Height());
  Layout();
}

void TMMOscope::SetDrawTimeScale(bool v) {
  if (v == drawTimeScale_) return;
  drawTimeScale_ = v;
  SetBounds(Left(), Top(), Width(), Height());
  Layout();
}

// ---- layout ----

void TMMOscope::SetBounds(int l, int t, int w, int h) {
  const int e = 2 * Bevel()->BevelExtent();
  w = std::max(w, e + 2 + (drawAmpScale_ ? 64 : 0));
  h = std::max(h, e + 2 + (drawTimeScale_ ? 40 : 0));
  TMMDIBGraphicControl::SetBounds(l, t, w, h);
  Layout();
}

void TMMOscope::BevelChanged() {
  TMMDIBGraphicControl::BevelChanged();
  Layout();
}

void TMMOscope::Layout() {
  TRect r = ClientRect();
  if (drawAmpScale_) {
    r.Left += 32;
    r.Right -= 32;
  }
  if (drawTimeScale_) r.Bottom -= 40;
  const int e = Bevel()->BevelExtent();
  r = Rect(r.Left + e, r.Top + e, r.Right - e, r.Bottom - e);
  w_ = std::max(r.Width(), 4);
  h_ = std::max(r.Height(), 4);
  display_ = Rect(r.Left, r.Top, r.Left + w_, r.Top + h_);
  points_.assign(size_t(w_ + 40), 0);
  DIBCanvas()->SetSize(w_, h_);
  UpdateStep();
  selStart_ = selEnd_ = locator_ = -1;
  gridDivisions_ = ScopeGridDivisions(h_);
  sweep_.Restart(barWidth_);
  redrawAll_ = true;
  RepaintWhole();
}

// ---- drawing ----

TMMScopeMap TMMOscope::Map() const {
  TMMScopeMap m;
  m.height = h_;
  m.gain = gain_;
  m.kind = kind_;
  return m;
}

TMMScopeLook TMMOscope::Look(TMMDIBCanvas* c) const {
  TMMScopeLook l;
  l.foreground = c->ColorWord(foreground_);
  l.effect = c->ColorWord(effectColor_);
  l.disabled = c->ColorWord(disabled_);
  l.grid = c->ColorWord(grid_);
  l.background = c->ColorWord(Color());
  l.selection = c->ColorWord(selection_);
  l.selectionDot = c->ColorWord(selectionDot_);
  l.locator = c->ColorWord(locatorColor_);
  l.bar = c->ColorWord(bar_);
  l.barTick = c->ColorWord(barTick_);
  l.effectMode = effect_;
  l.steps = steps_;
  l.enabled = Enabled();
  l.midLine = midLine_;
  l.drawGrid = drawGrid_;
  l.gridDivisions = gridDivisions_;
  l.selStart = selStart_;
  l.selEnd = selEnd_;
  l.locatorX = locator_;
  return l;
}

void TMMOscope::FireOverflows(int pcm, int gain) {
  for (int i = 0; i < pcm; ++i) PcmOverflow();
  for (int i = 0; i < gain; ++i) GainOverflow();
}

void TMMOscope::DrawPicture(bool fed) {
  if (!fed) redrawAll_ = true;
  TMMDIBCanvas* dib = DIBCanvas();
  TCanvas& screen = *Canvas();
  const TRect src = Rect(0, 0, w_, h_);
  int pcm = 0, gain = 0;
  if (OnDrawLine) {
    dib->BeginDraw();
    OnDrawLine(this, dib, points_.data(), src);
    dib->CopyTo(screen, display_, src);
    dib->EndDraw();
    if (OnPostPaint) OnPostPaint(this);
    return;
  }
  const bool column = scroll_ && fed && !redrawAll_;
  if (!column) {
    ClearDIB();
    sweep_.Restart(barWidth_);
    if (scroll_)
      for (TMMOscope* o : LiveScopes())
        if (o != this) o->redrawAll_ = true;
    redrawAll_ = false;
  }
  TMMDIBTarget& t = dib->BeginDraw();
  const TMMScopeLook look = Look(dib);
  const TMMScopeMap map = Map();
  if (!scroll_) {
    trace_.Draw(t, points_.data(), w_, map, look);
    pcm = trace_.pcmOverflows;
    gain = trace_.gainOverflows;
    dib->CopyTo(screen, display_, src);
  } else if (!column) {
    if (!Enabled()) trace_.Draw(t, points_.data(), 0, map, look);
    dib->CopyTo(screen, display_, src);
  } else {
    bool shift;
    const int x = sweep_.Place(w_, true, shift);
    if (shift) ShiftLeft(t, {0, 0, w_, h_});
    if (x >= 0) {
      trace_.DrawColumn(t, x, points_[0], points_[1], map, look);
      pcm = trace_.pcmOverflows;
      gain = trace_.gainOverflows;
    }
    sweep_.Advance(w_, true);
    const bool full = sweep_.Full(w_);
    if (accelerate_) {
      if (shift) ScrollCanvasLeft(screen, display_);
      if (x >= 0)
        dib->CopyTo(screen, Rect(display_.Left + x, display_.Top, display_.Left + x + 1, display_.Bottom),
                    Rect(x, 0, x + 1, h_));
      if (!full && x + 1 < w_) {
        // The bar straight on the screen, ahead of the newest column.
        const int bx = display_.Left + x + 1;
        screen.Pen()->SetColor(bar_);
        screen.MoveTo(bx, display_.Top);
        screen.LineTo(bx, display_.Bottom);
        for (int k = 0; k <= gridDivisions_; ++k)
          screen.SetPixel(bx, display_.Top + (h_ - 1) * k / gridDivisions_, barTick_);
      }
    } else {
      if (!full) TMMScopeTrace::DrawBar(t, x + 1, barWidth_, look, gridDivisions_);
      dib->CopyTo(screen, display_, src);
    }
  }
  dib->EndDraw();
  FireOverflows(pcm, gain);
  if (OnPostPaint) OnPostPaint(this);
}

void TMMOscope::DrawScales() {
  if (!drawAmpScale_ && !drawTimeScale_) return;
  TCanvas& c = *Canvas();
  const int e = Bevel()->BevelExtent();
  const TRect client = ClientRect();
  if (drawAmpScale_) {
    FillMargin(c, Rect(client.Left, client.Top, display_.Left - e, client.Bottom));
    FillMargin(c, Rect(display_.Right + e, client.Top, client.Right, client.Bottom));
  }
  if (drawTimeScale_) FillMargin(c, Rect(client.Left, display_.Bottom + e, client.Right, client.Bottom));
  ScaleInk(c);
  char buf[32];
  std::vector<int> at;
  std::vector<std::string> texts;
  if (drawAmpScale_) {
    const bool spikes = kind_ == okSpikes;
    for (int k = 0; k <= gridDivisions_; ++k) {
      const int y = display_.Top + (h_ - 1) * k / gridDivisions_;
      const double v = spikes ? 1.0 - double(k) / gridDivisions_ : 1.0 - 2.0 * k / gridDivisions_;
      std::snprintf(buf, sizeof buf, "%s%4.2f", v > 0.004 ? "+" : v < -0.004 ? "-" : "", std::fabs(v));
      SideTicks(c, y);
      at.push_back(y);
      texts.push_back(buf);
    }
    SideLabels(c, at, texts, texts);
  }
  if (drawTimeScale_) {
    const int n = ScopeTimeDivisions(w_);
    const double d = BlockMilliseconds();
    at.clear();
    texts.clear();
    for (int k = 0; k <= n; ++k) {
      const int x = display_.Left + (w_ - 1) * k / n;
      std::snprintf(buf, sizeof buf, "%4.1f", k * d / n);
      BottomTick(c, x, k % 2 == 0);
      at.push_back(x);
      texts.push_back(buf);
    }
    BottomLabels(c, at, texts);
  }
  if (drawAmpScale_ && drawTimeScale_) {
    c.TextOut(client.Left + 2, client.Bottom - 14, "V");
    c.TextOut(client.Right - 2 - c.TextWidth("mS"), client.Bottom - 14, "mS");
  }
  c.Brush()->SetStyle(bsSolid);
}

// ---- mouse ----

std::vector<std::string> TMMOscope::ReadoutLines(int col, int row) {
  return {ScopeLevelText(row, h_, kind_), ScopeTimeText(col, w_, BlockMilliseconds())};
}

void TMMOscope::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  TMMDIBGraphicControl::MouseDown(b, s, x, y);
  if (!BeginReadout(b, x, y) && !scroll_) PressSelection(b, x);
}

void TMMOscope::MouseMove(TShiftState s, int x, int y) {
  TMMDIBGraphicControl::MouseMove(s, x, y);
  if (tracking_) {
    ShowReadout(x, y);
    return;
  }
  if (MoveSelection(x)) return;
  if (useSelection_ && !locked_) {
    const auto m = TMMSelectionDrag::HitTest(x - display_.Left, selStart_, selEnd_);
    SetCursor(m == TMMSelectionDrag::sdLeft || m == TMMSelectionDrag::sdRight ? crSizeWE
              : m == TMMSelectionDrag::sdMove                                 ? crSizeAll
                                                                              : crCross);
  }
}
