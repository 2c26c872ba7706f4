#include "displays/MMMeter_ui.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/MMPCMSup.h"
#include "engine/MMTimer.h"

using namespace plat;

namespace {

// Copies the pixels of r between two 32-bit pictures.
void CopyPixels(TBitmap& dst, const TBitmap& src, const TRect& r) {
  TRect c;
  if (!IntersectRect(c, r, Rect(0, 0, dst.Width(), dst.Height())) ||
      !IntersectRect(c, c, Rect(0, 0, src.Width(), src.Height())))
    return;
  for (int y = c.Top; y < c.Bottom; ++y)
    std::memcpy(dst.ScanLine(y) + 4 * c.Left, src.ScanLine(y) + 4 * c.Left, size_t(c.Width()) * 4);
}

// A colour as a pixel of a 32-bit picture.
uint32_t Opaque(TColor c) {
  const uint32_t bgr = ColorToBGR(c);
  return 0xFF000000u | (bgr & 0xFF) << 16 | (bgr & 0xFF00) | (bgr >> 16 & 0xFF);
}

}  // namespace

TMMCustomMeter::TMMCustomMeter(TComponent* owner)
    : TMMDirectGraphicControl(owner), backGround_(std::make_unique<TBitmap>()), work_(std::make_unique<TBitmap>()) {
  Font()->SetColor(clSilver);
  Font()->SetStyle(fsBold);
  SetParentFont(false);
  SetColor(clBlack);
  SetCaption("dB");
  values_.OnGainOverflow = [this] { GainOverflow(); };
  work_->SetPixelFormat(pf32bit);
  SetBounds(Left(), Top(), 170, 90);
  if (!IsDesigning()) timer_.Add();
}

TMMCustomMeter::~TMMCustomMeter() { timer_.Remove(); }

void TMMCustomMeter::SetDesigning(bool designing) {
  TMMDirectGraphicControl::SetDesigning(designing);
  if (!designing && !timer_.Added()) {
    timer_.Add();
    UpdateTimer();
  }
}

void TMMCustomMeter::UpdateTimer() { timer_.Run(Enabled() && values_.showPeak); }

// ---- the feed ----

void TMMCustomMeter::SetWaveFormat(const WAVEFORMATEX* format) {
  if (!shape_.TakeFormat(format)) throw EMMMeterError(LoadLibraryMessage(62));
}

void TMMCustomMeter::FeedPCM(const void* block) {
  if (!Enabled() || !Visible()) return;
  const int32_t peak = PcmBlockPeak(block, shape_);
  if (peak >= kFullScale) PcmOverflow();
  Feed(peak);
}

void TMMCustomMeter::Feed(int32_t peak) {
  if (values_.Feed(peak) && Enabled() && Visible()) Update();
  if (values_.Peak().Peak() > 0) timer_.Wake();
}

void TMMCustomMeter::ResetData() {
  values_.Reset();
  Update();
}

void TMMCustomMeter::SetValue(int percent) { Feed(PercentToPeak(percent)); }

void TMMCustomMeter::GainOverflow() {
  if (OnGainOverflow) OnGainOverflow(this);
}

void TMMCustomMeter::PcmOverflow() {
  if (OnPcmOverflow) OnPcmOverflow(this);
}

// ---- properties ----

void TMMCustomMeter::SetBounds(int l, int t, int w, int h) {
  const bool sized = w != Width() || h != Height();
  TMMDirectGraphicControl::SetBounds(l, t, w, h);
  if (sized) Relayout();
}

void TMMCustomMeter::BevelChanged() {
  TMMDirectGraphicControl::BevelChanged();
  Relayout();
}

void TMMCustomMeter::TextChanged() { RepaintWhole(); }

void TMMCustomMeter::SetEnabled(bool v) {
  if (v == Enabled()) return;
  TMMDirectGraphicControl::SetEnabled(v);
  values_.Reset();
  UpdateTimer();
  RepaintWhole();
}

void TMMCustomMeter::SetSensitivy(int v) {
  v = std::clamp(v, -90, -9);
  if (v == values_.sensitivity) return;
  values_.sensitivity = v;
  scale_.sensitivity = v;
  RepaintWhole();
}

void TMMCustomMeter::SetLogAmp(bool v) {
  if (v == values_.logAmp) return;
  values_.logAmp = v;
  scale_.logAmp = v;
  RepaintWhole();
}

void TMMCustomMeter::SetShowPeak(bool v) {
  if (v == values_.showPeak) return;
  values_.showPeak = v;
  values_.Peak().ResetHold();
  UpdateTimer();
  RepaintWhole();
}

void TMMCustomMeter::SetPeakDelay(int v) {
  values_.peakDelay = std::clamp(v, 0, 50);
  values_.Peak().ResetHold();
}

void TMMCustomMeter::SetPeakSpeed(int v) {
  values_.SetPeakSpeed(std::clamp(v, 0, 50));
  values_.Peak().ResetHold();
}

void TMMCustomMeter::SetBackGroundDIB(TBitmap* b) {
  if (b) backGround_->Assign(b);
  else backGround_->SetSize(0, 0);
  RepaintWhole();
}

// ---- drawing ----

void TMMCustomMeter::Relayout() {
  const TRect r = GetInnerRect();
  geometry_.w = std::max(1, r.Width());
  geometry_.h = std::max(1, r.Height());
  work_->SetSize(geometry_.w, geometry_.h);
  scalePicture_.SetSize(0, 0);
  workValid_ = false;
  values_.Reset();
  RepaintWhole();
}

void TMMCustomMeter::BuildScale() {
  TCanvas& c = *work_->Canvas();
  const int W = geometry_.w, H = geometry_.h;
  c.SelectClipRgn(nullptr);
  if (backGround_->Empty()) {
    c.Brush()->SetStyle(bsSolid);
    c.Brush()->SetColor(Color());
    c.FillRect(Rect(0, 0, W, H));
  } else {
    c.StretchDraw(Rect(0, 0, W, H), backGround_.get());
  }
  if (drawScale_ && scale_.ticks > 1) {
    c.Pen()->SetWidth(1);
    c.Pen()->SetStyle(psSolid);
    c.Brush()->SetStyle(bsClear);
    for (const TMMScaleLine& l : MeterTicks(geometry_, scale_)) {
      c.Pen()->SetColor(l.color);
      c.MoveTo(l.x1, l.y1);
      c.LineTo(l.x2, l.y2);
    }
    c.Font()->SetName("Small Fonts");
    c.Font()->SetSize(6);
    c.Font()->SetStyle(0);
    c.Font()->SetColor(Font()->Color());
    const int zero = c.TextHeight("0");
    for (const TMMMeterLabel& l : MeterLabels(
             geometry_, scale_, [&c](const std::string& s) { return c.TextWidth(s); }, zero))
      c.TextOut(l.x, l.y, l.text);
  }
  if (!Caption().empty()) {
    c.SetFont(*Font());
    c.Brush()->SetStyle(bsClear);
    const TDIBRect band = MeterCaptionBand(geometry_, c.TextHeight("W"));
    TRect r = Rect(band.Left, band.Top, band.Right, band.Bottom);
    c.DrawText(Caption(), r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  c.Brush()->SetStyle(bsSolid);
  scalePicture_.Assign(work_.get());
  needlesRect_ = TRect();
  workValid_ = true;
}

TRect TMMCustomMeter::DrawNeedles() {
  const TMMPoint pivot = geometry_.Pivot();
  const int R = geometry_.Radius();
  drawnPeak_ = geometry_.At(values_.Peak().Peak(), R);
  drawnNeedle_ = geometry_.At(values_.Needle(), R);
  TBitmap& work = *work_;
  TRect covered;
  auto line = [&](TMMPoint tip, TColor color) {
    const int w = std::max(needleWidth_, 1);
    UnionRect(covered, covered,
              Rect(std::min(pivot.x, tip.x) - w, std::min(pivot.y, tip.y) - w, std::max(pivot.x, tip.x) + w + 1,
                   std::max(pivot.y, tip.y) + w + 1));
    if (needleWidth_ > 1) {
      TCanvas& c = *work_->Canvas();
      c.Pen()->SetWidth(needleWidth_);
      c.Pen()->SetStyle(psSolid);
      c.Pen()->SetColor(color);
      c.MoveTo(pivot.x, pivot.y);
      c.LineTo(tip.x, tip.y);
      return;
    }
    // A one-pixel needle is stepped here, straight into the picture.
    const uint32_t v = Opaque(color);
    if (work.Empty()) return;
    uint8_t* bits = work.ScanLine(0);
    const int stride = work.BytesPerLine();
    const int W = work.Width(), H = work.Height();
    plat::LinePixels(pivot.x, pivot.y, tip.x, tip.y, [&](int x, int y) {
      if (x < 0 || y < 0 || x >= W || y >= H) return;
      reinterpret_cast<uint32_t*>(bits + ptrdiff_t(y) * stride)[x] = v;
    });
  };
  if (values_.showPeak) line(drawnPeak_, peakColor_);
  line(drawnNeedle_, needleColor_);
  TRect shown;
  IntersectRect(shown, covered, Rect(0, 0, work.Width(), work.Height()));
  return shown;
}

void TMMCustomMeter::Update() {
  DrawBlock([this] { DrawChange(); });
}

void TMMCustomMeter::DrawChange() {
  if (!workValid_ || scalePicture_.Empty()) {
    Paint();
    shownKnown_ = false;  // the whole canvas changed
    Drawn(ClientRect());
    return;
  }
  const int R = geometry_.Radius();
  const int32_t peak = values_.Peak().Peak();
  // A needle that moves by less than a pixel changes nothing on the screen.
  if (geometry_.At(values_.Needle(), R) == drawnNeedle_ && (!values_.showPeak || geometry_.At(peak, R) == drawnPeak_))
    return;
  if (needleWidth_ <= 1) {
    // Only the pixels under the old needles go back to the scale.
    TBitmap& work = *work_;
    uint8_t* bits = work.ScanLine(0);
    const int stride = work.BytesPerLine();
    const uint8_t* scale = std::as_const(scalePicture_).ScanLine(0);
    const int scaleStride = scalePicture_.BytesPerLine();
    const int W = work.Width(), H = work.Height();
    const TMMPoint pivot = geometry_.Pivot();
    auto erase = [&](TMMPoint tip) {
      plat::LinePixels(pivot.x, pivot.y, tip.x, tip.y, [&](int x, int y) {
        if (x < 0 || y < 0 || x >= W || y >= H) return;
        reinterpret_cast<uint32_t*>(bits + ptrdiff_t(y) * stride)[x] =
            reinterpret_cast<const uint32_t*>(scale + ptrdiff_t(y) * scaleStride)[x];
      });
    };
    if (values_.showPeak) erase(drawnPeak_);
    erase(drawnNeedle_);
  } else {
    CopyPixels(*work_, scalePicture_, needlesRect_);
  }
  const TRect now = DrawNeedles();
  TRect changed;
  UnionRect(changed, needlesRect_, now);
  needlesRect_ = now;
  const TRect inner = GetInnerRect();
  Drawn(
      Rect(inner.Left + changed.Left, inner.Top + changed.Top, inner.Left + changed.Right, inner.Top + changed.Bottom));
  if (OnPostPaint) {
    // What the handler draws over the needles stays: the change reaches the canvas first.
    ShowDrawnNow();
    OnPostPaint(this);
  }
}

TRect TMMCustomMeter::ShowDrawn(const TRect& r) {
  const TRect inner = GetInnerRect();
  TRect shown = r;
  if (shownKnown_) {
    // Only where the needles were and are: needles that swung to and fro between two frames
    // changed less than all their blocks drew.
    TRect both;
    UnionRect(both, shownNeedles_, needlesRect_);
    shown = Rect(inner.Left + both.Left, inner.Top + both.Top, inner.Left + both.Right, inner.Top + both.Bottom);
  }
  if (shown.Right > shown.Left && shown.Bottom > shown.Top)
    Canvas()->CopyPixels(
        shown.Left, shown.Top, *work_,
        Rect(shown.Left - inner.Left, shown.Top - inner.Top, shown.Right - inner.Left, shown.Bottom - inner.Top));
  shownNeedles_ = needlesRect_;
  shownKnown_ = workValid_ && !OnPostPaint;
  return shown;
}

void TMMCustomMeter::Paint() {
  TRect inner;
  Bevel()->Paint(*Canvas(), ClientRect(), inner, true);
  BuildScale();
  needlesRect_ = DrawNeedles();
  Canvas()->CopyPixels(inner.Left, inner.Top, *work_, Rect(0, 0, work_->Width(), work_->Height()));
  if (OnPostPaint) OnPostPaint(this);
  MarkCanvasWhole();
  shownNeedles_ = needlesRect_;
  // A paint of a part leaves the rest of the canvas as it was; a handler may have drawn over it.
  shownKnown_ = workValid_ && CanvasWhole() && !OnPostPaint;
}
