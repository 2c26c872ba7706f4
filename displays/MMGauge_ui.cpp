#include "displays/MMGauge_ui.h"

#include <algorithm>

#include "displays/MMDIBCv_ui.h"

using namespace plat;

TMMCustomGauge::TMMCustomGauge(TComponent* owner) : TMMGraphicControl(owner) { SetBounds(Left(), Top(), 150, 18); }

void TMMCustomGauge::SetMinValue(int32_t v) { Set(minValue_, std::clamp<int32_t>(v, -2147483647, maxValue_)); }

void TMMCustomGauge::SetMaxValue(int32_t v) { Set(maxValue_, std::clamp<int32_t>(v, minValue_, 2147483647)); }

void TMMCustomGauge::SetProgress(int32_t v) {
  v = std::clamp(v, minValue_, maxValue_);
  if (v == progress_) return;
  const int before = PercentDone();
  progress_ = v;
  if (PercentDone() != before) Invalidate();
}

void TMMCustomGauge::DrawGauge(TCanvas& c, int w, int h, int pct) {
  c.Pen()->SetStyle(psSolid);
  c.Pen()->SetWidth(1);
  c.Pen()->SetColor(foreColor_);
  c.Brush()->SetStyle(bsSolid);
  switch (kind_) {
    case gkText:
      c.Brush()->SetColor(backColor_);
      c.FillRect(Rect(0, 0, w, h));
      break;
    case gkHorizontalBar:
    case gkVerticalBar: {
      c.Brush()->SetColor(backColor_);
      c.FillRect(Rect(0, 0, w, h));
      c.Brush()->SetColor(foreColor_);
      if (kind_ == gkHorizontalBar) {
        const int n = GaugeLength(w, pct);
        if (n > 0) c.FillRect(Rect(0, 0, n, h));
      } else {
        const int n = GaugeLength(h, pct);
        if (n > 0) c.FillRect(Rect(0, h - n, w, h));
      }
      break;
    }
    case gkPie: {
      c.Brush()->SetColor(Color());
      c.FillRect(Rect(0, 0, w, h));
      c.Brush()->SetColor(backColor_);
      c.Ellipse(0, 0, w, h);
      if (pct >= 1) {
        c.Brush()->SetColor(foreColor_);
        const TMMPoint p = GaugePiePoint(w, h, pct);
        // The framework's pie runs counter-clockwise: from the second radial back to the top.
        c.Pie(0, 0, w, h, p.x, p.y, w / 2, 0);
      }
      break;
    }
    case gkNeedle: {
      c.Brush()->SetColor(Color());
      c.FillRect(Rect(0, 0, w, h));
      c.Brush()->SetColor(backColor_);
      c.Pie(0, 0, w, h * 2 - 1, w, h - 1, 0, h - 1);
      c.MoveTo(0, h - 1);
      c.LineTo(w, h - 1);
      if (pct >= 1) {
        const TMMPoint p = GaugeNeedlePoint(w, h, pct);
        c.MoveTo(w / 2, h - 1);
        c.LineTo(p.x, p.y);
      }
      break;
    }
  }
}

void TMMCustomGauge::DrawGaugeText(TBitmap& picture, int w, int h, int pct) {
  const std::string text = GaugeText(Caption(), pct);
  TCanvas& c = *picture.Canvas();
  c.SetFont(*Font());
  const TSize e = c.TextExtent(text);
  const int x = (w - e.cx) / 2, y = (h - e.cy) / 2;
  if (bwText_ && (kind_ == gkHorizontalBar || kind_ == gkVerticalBar)) {
    // The font colour over the unfilled part, its inverse over the filled part.
    TRect filled =
        kind_ == gkHorizontalBar ? Rect(0, 0, GaugeLength(w, pct), h) : Rect(0, h - GaugeLength(h, pct), w, h);
    const TColor ink = Font()->Color();
    c.Brush()->SetStyle(bsClear);
    c.Font()->SetColor(ink);
    c.TextOut(x, y, text);
    if (!IsRectEmpty(filled)) {
      c.SelectClipRect(filled);
      c.Font()->SetColor(TColor(ColorToBGR(ink) ^ 0xFFFFFF));
      c.TextOut(x, y, text);
      c.SelectClipRgn(nullptr);
    }
    c.Brush()->SetStyle(bsSolid);
    return;
  }
  // White on black, laid over the gauge with XOR: the text inverts what lies under it.
  TBitmap scratch(w, h);
  TCanvas& s = *scratch.Canvas();
  s.Brush()->SetColor(clBlack);
  s.FillRect(Rect(0, 0, w, h));
  s.SetFont(*Font());
  s.Font()->SetColor(clWhite);
  s.Brush()->SetStyle(bsClear);
  s.TextOut(x, y, text);
  c.BitBlt(0, 0, w, h, s, 0, 0, SRCINVERT);
}

void TMMCustomGauge::Paint() {
  TCanvas& canvas = *Canvas();
  TRect inner;
  Bevel()->Paint(canvas, ClientRect(), inner, true);
  const int w = inner.Width(), h = inner.Height();
  if (w <= 0 || h <= 0) return;
  TBitmap picture(w, h);
  const int pct = PercentDone();
  DrawGauge(*picture.Canvas(), w, h, pct);
  if (showText_) DrawGaugeText(picture, w, h, pct);
  canvas.CopyPixels(inner.Left, inner.Top, picture, Rect(0, 0, w, h));
}
