#include "controls/zelgraph.h"

#include <algorithm>
#include <cmath>

#include "controls/ZelButtonLayout.h"
#include "controls/ZelFXCaption.h"
#include "controls/ZelGlyphTextLayout.h"
#include "controls/zelclass.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/graphics.h"

using plat::TBitmap;
using plat::TCanvas;
using plat::TColor;
using plat::TPoint;
using plat::TRect;
using plat::TSize;

namespace {

// a * b / c rounded half away from zero, as the old platform's multiply-divide; 0 for c = 0.
int MulDivRound(int a, int b, int c) {
  if (c == 0) return 0;
  int64_t p = int64_t(a) * b;
  int64_t q = p / c, r = p % c;
  if (2 * std::llabs(r) >= std::llabs(int64_t(c))) q += ((p < 0) != (c < 0)) ? -1 : 1;
  return int(q);
}

// Puts back the clipping a routine narrowed. The canvas tells only the clip's bounds, so a
// caller's clip region comes back as its bounding rectangle.
class ClipGuard {
public:
  explicit ClipGuard(TCanvas& c) : c_(c), saved_(c.ClipRect()) {
    TPoint o = c.Origin();
    full_ = c.HandleAllocated() && saved_ == plat::Rect(-o.X, -o.Y, c.TargetWidth() - o.X, c.TargetHeight() - o.Y);
  }
  ~ClipGuard() {
    if (full_) c_.SelectClipRgn(nullptr);
    else c_.SelectClipRect(saved_);
  }

private:
  TCanvas& c_;
  TRect saved_;
  bool full_ = false;
};

// Keeps the canvas's brush, pen and font as they were.
class ToolsGuard {
public:
  explicit ToolsGuard(TCanvas& c) : c_(c) {
    brush_.Assign(c.Brush());
    pen_.Assign(c.Pen());
    font_.Assign(c.Font());
  }
  ~ToolsGuard() {
    c_.Brush()->Assign(&brush_);
    c_.Pen()->Assign(&pen_);
    c_.Font()->Assign(&font_);
  }

private:
  TCanvas& c_;
  plat::TBrush brush_;
  plat::TPen pen_;
  plat::TFont font_;
};

void Fill(TCanvas& c, const TRect& r, TColor color) {
  c.Brush()->SetStyle(plat::bsSolid);
  c.Brush()->SetColor(color);
  c.FillRect(r);
}

void Frame(TCanvas& c, const TRect& r, TColor color) {
  c.Brush()->SetStyle(plat::bsSolid);
  c.Brush()->SetColor(color);
  c.FrameRect(r);
}

void Edge(TCanvas& c, TRect& r, uint32_t edge, uint32_t flags) { c.DrawEdge(r, edge, flags | plat::BF_ADJUST); }

// The gradient's ellipses and parallelograms are filled by rows here, a pixel belonging to a
// shape when its centre does, so the shapes are symmetric and the same on every canvas.
void FillEllipseSpans(TCanvas& c, double cx, double cy, double rx, double ry, int h) {
  if (rx <= 0 || ry <= 0) return;
  for (int y = 0; y < h; ++y) {
    const double dy = (y + 0.5 - cy) / ry;
    if (dy * dy > 1) continue;
    const double half = rx * std::sqrt(1 - dy * dy);
    const int x0 = int(std::ceil(cx - half - 0.5)), x1 = int(std::floor(cx + half - 0.5)) + 1;
    if (x1 > x0) c.FillRect(plat::Rect(x0, y, x1, y + 1));
  }
}

void FillPolygonSpans(TCanvas& c, const std::vector<TPoint>& pts, int h) {
  const size_t n = pts.size();
  for (int y = 0; y < h; ++y) {
    const double yc = y + 0.5;
    std::vector<double> xs;
    for (size_t i = 0; i < n; ++i) {
      const TPoint& a = pts[i];
      const TPoint& b = pts[(i + 1) % n];
      if ((a.Y <= yc) == (b.Y <= yc)) continue;
      xs.push_back(a.X + (yc - a.Y) * (b.X - a.X) / double(b.Y - a.Y));
    }
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i + 1 < xs.size(); i += 2) {
      const int x0 = int(std::ceil(xs[i] - 0.5)), x1 = int(std::ceil(xs[i + 1] - 0.5));
      if (x1 > x0) c.FillRect(plat::Rect(x0, y, x1, y + 1));
    }
  }
}

}  // namespace

// ---- colours ------------------------------------------------------------------------------------

void ColorRamp(TColor start, TColor end, int count, bool fresh, TZelColorTable* table) {
  if (!table || count <= 0) return;
  if (fresh) table->clear();
  uint32_t s = plat::ColorToBGR(start), e = plat::ColorToBGR(end);
  int sr = plat::GetRValue(s), sg = plat::GetGValue(s), sb = plat::GetBValue(s);
  int er = plat::GetRValue(e), eg = plat::GetGValue(e), eb = plat::GetBValue(e);
  // A ramp of one step is its start colour (the division by count - 1 has nothing to divide).
  for (int i = fresh ? 0 : 1; i < count; ++i)
    table->push_back(plat::RGB(sr + MulDivRound(i, er - sr, count - 1), sg + MulDivRound(i, eg - sg, count - 1),
                               sb + MulDivRound(i, eb - sb, count - 1)));
}

HZelPalette MakeGradientPalette(const TZelColorTable& table) {
  if (table.empty()) return nullptr;
  auto p = std::make_shared<TZelPalette>();
  for (uint32_t c : table) p->Entries.push_back((c & 0xFFFFFF) | 0x04000000u);
  return p;
}

TColor InterpolateColor(TColor c1, TColor c2, int step, int steps) {
  uint32_t a = plat::ColorToBGR(c1), b = plat::ColorToBGR(c2);
  if (steps == 0) return TColor(a);
  auto ch = [&](int x, int y) { return x + (y - x) * step / steps; };
  return TColor(plat::RGB(ch(plat::GetRValue(a), plat::GetRValue(b)), ch(plat::GetGValue(a), plat::GetGValue(b)),
                          ch(plat::GetBValue(a), plat::GetBValue(b))));
}

void GradientFillTable(TCanvas& canvas, const TRect& r, TZelGradientStyle style, uint32_t offset, uint16_t flags,
                       const HZelPalette&, const TZelColorTable& table) {
  if (table.empty() || plat::IsRectEmpty(r)) return;
  const int w = r.Width(), h = r.Height(), n = int(table.size());
  // Every style is drawn into a picture of the rectangle and copied, so no shape (the ellipses
  // and diagonals reach past the rectangle) paints outside it.
  TBitmap temp(w, h);
  temp.SetPixelFormat(plat::pf24bit);
  TCanvas& c = *temp.Canvas();
  c.Pen()->SetStyle(plat::psClear);
  c.Brush()->SetStyle(plat::bsSolid);
  auto color = [&](int k) { return TColor(table[size_t(k)]); };
  if (style == gstHorizontal) {
    for (int k = 0; k < n; ++k) {
      c.Brush()->SetColor(color(k));
      c.FillRect(plat::Rect(MulDivRound(k, w, n), 0, MulDivRound(k + 1, w, n), h));
    }
  } else {
    const int cx = w / 2, cy = h / 2;
    for (int k = n - 1; k >= 0; --k) {
      c.Brush()->SetColor(color(k));
      const int dx = MulDivRound(k + 1, w, n), dy = MulDivRound(k + 1, h, n);
      switch (style) {
        case gstVertical: c.FillRect(plat::Rect(0, MulDivRound(k, h, n), w, MulDivRound(k + 1, h, n))); break;
        case gstSquare: {
          const int a = dx / 2, b = dy / 2;
          c.Rectangle(cx - a, cy - b, cx + a + 2, cy + b + 2);
          break;
        }
        case gstElliptic:
          FillEllipseSpans(c, cx, cy, double(std::lround(dx / 1.4)), double(std::lround(dy / 1.4)), h);
          break;
        case gstTopLeft: c.Rectangle(0, 0, 1 + dx, 1 + dy); break;
        case gstTopRight: c.Rectangle(w - dx, 0, w + 1, 1 + dy); break;
        case gstBottomLeft: c.Rectangle(0, h - dy, 1 + dx, h + 1); break;
        case gstBottomRight: c.Rectangle(w - dx, h - dy, w + 1, h + 1); break;
        case gstTopLeftDiagonal:
          FillPolygonSpans(c, {{0, 0}, {2 * dx, 0}, {0, 1 + 2 * dy}, {-2 * dx, 1 + 2 * dy}}, h);
          break;
        case gstTopRightDiagonal:
          FillPolygonSpans(c, {{w + 1, 0}, {w + 1 - 2 * dx, 0}, {w + 1, 2 * dy}, {w + 1 + 2 * dx, 2 * dy}}, h);
          break;
        default: break;
      }
    }
  }
  TRect src = plat::Rect(0, 0, w, h);
  if (flags & gfClip) {
    // Only what lies inside the rectangle shifted by the offset is shown.
    const int ox = int16_t(offset & 0xFFFF), oy = int16_t(offset >> 16);
    TRect shifted = r;
    plat::OffsetRect(shifted, ox, oy);
    TRect visible;
    if (!plat::IntersectRect(visible, r, shifted)) return;
    src = plat::Rect(visible.Left - r.Left, visible.Top - r.Top, visible.Right - r.Left, visible.Bottom - r.Top);
  }
  canvas.BitBlt(r.Left + src.Left, r.Top + src.Top, src.Width(), src.Height(), c, src.Left, src.Top, plat::SRCCOPY);
}

void GradientFill(TCanvas& canvas, const TRect& r, TColor start, uint32_t offset, uint16_t flags,
                  TZelGradientStyle style, int count, TColor end) {
  TZelColorTable table;
  ColorRamp(start, end, count, true, &table);
  HZelPalette palette = (flags & gfRealizePalette) ? MakeGradientPalette(table) : nullptr;
  GradientFillTable(canvas, r, style, offset, flags, palette, table);
}

// ---- text ---------------------------------------------------------------------------------------

namespace {

// Strokes the outline of single-line text at the place DrawText would put it.
void OutlineText(TCanvas& c, const std::string& text, const TRect& r, uint32_t format, int width, TColor color) {
  if (!c.HandleAllocated() || text.empty()) return;
  TRect m = r;
  c.DrawText(text, m, format | plat::DT_CALCRECT);
  int x = r.Left, y = r.Top;
  if (format & plat::DT_CENTER) x += (r.Width() - m.Width()) / 2;
  if (format & plat::DT_RIGHT) x = r.Right - m.Width();
  if (format & plat::DT_VCENTER) y += (r.Height() - m.Height()) / 2;
  if (format & plat::DT_BOTTOM) y = r.Bottom - m.Height();
  std::string shown = text;
  if (!(format & plat::DT_NOPREFIX)) shown.erase(std::remove(shown.begin(), shown.end(), '&'), shown.end());
  c.StrokeText(x, y, shown, width, color);
}

}  // namespace

void Draw3DText(TCanvas& canvas, const std::string& text, const TZel3DCaption* o, const TRect* clip, uint32_t flags,
                uint32_t format, TRect& rect) {
  if (text.empty() || plat::IsRectEmpty(rect)) return;
  if (!o) {
    canvas.DrawText(text, rect, format);
    return;
  }
  const TColor fontColor = canvas.Font()->Color();
  ToolsGuard tools(canvas);
  auto* fx = dynamic_cast<const TZelFxCaption*>(o);
  const bool rotated = fx && fx->Angle() != 0;
  TRect work = rect;
  if (fx) plat::OffsetRect(work, fx->PosX(), fx->PosY());
  std::unique_ptr<ClipGuard> clipGuard;
  if (flags & d3Clip) {
    clipGuard = std::make_unique<ClipGuard>(canvas);
    canvas.IntersectClipRect(clip ? *clip : rect);
  }
  if (rotated) canvas.Font()->SetOrientation(fx->Angle() * 10);

  TZelThreeDStyle style = o->Style();
  TColor textColor;
  if ((flags & d3Enabled) || o->DisabledStyle() == dsNone) {
    textColor = (style == tdPColorSunken || style == tdPColorRaised) ? canvas.Brush()->Color() : fontColor;
  } else {
    textColor = plat::clGrayText;
    if (o->DisabledStyle() == ds3d || (o->DisabledStyle() == dsAuto && (flags & d3AutoSunken))) style = tdSunken;
  }
  canvas.Brush()->SetStyle(plat::bsClear);
  if (o->Tracing() != 0) canvas.SetTextCharacterExtra(o->Tracing());

  const int L = o->LightDepth(), S = o->ShadowDepth();
  auto draw = [&](int dx, int dy, TColor color) {
    plat::OffsetRect(work, dx, dy);
    canvas.Font()->SetColor(color);
    if (rotated) {
      canvas.TextOut(work.Left, work.Top, text);
    } else {
      TRect r = work;
      canvas.DrawText(text, r, format);
    }
  };
  auto reduce = [&](int by) { work.Right -= by; };

  switch (style) {
    case tdNone: draw(0, 0, textColor); break;
    case tdSunken:
      reduce(L);
      draw(L, L, o->LightColor());
      draw(-L, -L, textColor);
      break;
    case tdRaised:
      reduce(L);
      draw(0, 0, o->LightColor());
      draw(L, L, textColor);
      break;
    case tdSunkenShadow:
    case tdPColorSunken:
      reduce(L + S);
      draw(0, 0, o->ShadowColor());
      draw(L + S, L + S, o->LightColor());
      draw(-L, -L, textColor);
      break;
    case tdRaisedShadow:
    case tdPColorRaised:
      reduce(L + S);
      draw(L + S, L + S, o->ShadowColor());
      draw(-(L + S), -(L + S), o->LightColor());
      draw(L, L, textColor);
      break;
    case tdShadow:
      reduce(S);
      draw(S, S, o->ShadowColor());
      draw(-S, -S, textColor);
      break;
    case tdOutline: {
      TRect r = work;
      plat::OffsetRect(r, S / 2, S / 2);
      OutlineText(canvas, text, r, format, S, textColor);
      break;
    }
    case tdExtrude:
    case tdExtrudeEnh: {
      int sx = 1, sy = 1;
      switch (o->Orientation()) {
        case toTopLeft: break;
        case toBottomLeft:
          plat::OffsetRect(work, 0, S + 1);
          sy = -1;
          break;
        case toBottomRight:
          plat::OffsetRect(work, S + 1, S + 1);
          sx = sy = -1;
          break;
        case toTopRight:
          plat::OffsetRect(work, S + 1, 0);
          sx = -1;
          break;
      }
      for (int k = S; k >= 1; --k) {
        TColor c =
            style == tdExtrude ? o->ShadowColor() : InterpolateColor(o->ShadowColor(), o->LightColor(), k - 1, S);
        draw(sx, sy, c);
      }
      draw(0, 0, textColor);
      break;
    }
  }
  if (o->Tracing() != 0) canvas.SetTextCharacterExtra(0);
}

TRect MeasureText(const plat::TFont& font, const std::string& text, const TZel3DCaption* o, uint32_t format) {
  if (text.empty()) return {};
  plat::TBitmap scratch(1, 1);
  TCanvas c(&scratch);
  c.SetFont(font);
  if (o) c.SetTextCharacterExtra(o->Tracing());
  // Without a width to break at, lines end only where the text ends them.
  TRect r = plat::Rect(0, 0, 0, 0);
  c.DrawText(text, r, (format & ~uint32_t(plat::DT_WORDBREAK)) | plat::DT_CALCRECT);
  int w = r.Width(), h = r.Height();
  if (!o) return plat::Rect(0, 0, w, h);
  const int L = o->LightDepth(), S = o->ShadowDepth();
  int extra = 0;
  switch (o->Style()) {
    case tdSunken:
    case tdRaised: extra = L; break;
    case tdSunkenShadow:
    case tdPColorSunken:
    case tdRaisedShadow:
    case tdPColorRaised: extra = L + S; break;
    case tdShadow:
    case tdOutline:
    case tdExtrude:
    case tdExtrudeEnh: extra = S; break;
    default: break;
  }
  w += extra;
  h += extra;
  if (auto* fx = dynamic_cast<const TZelFxCaption*>(o)) {
    if (fx->Angle() != 0) {
      TRect b = RotatedBounds(plat::Rect(0, 0, w, h), fx->Angle());
      w = b.Width();
      h = b.Height();
    }
    w += fx->PosX();
    h += fx->PosY();
  }
  return plat::Rect(0, 0, w, h);
}

plat::TTextMetric GetFontMetrics(const plat::TFont& font) {
  plat::TBitmap scratch(1, 1);
  TCanvas c(&scratch);
  c.SetFont(font);
  return c.GetTextMetrics();
}

TRect AlignRect(TZelAlignment alignment, TSize box, const TRect& r) {
  int col = int(alignment) % 3, row = int(alignment) / 3;
  int x = col == 0 ? r.Left : col == 1 ? r.Left + (r.Width() - box.cx) / 2 : r.Right - box.cx;
  int y = row == 0 ? r.Top : row == 1 ? r.Top + (r.Height() - box.cy) / 2 : r.Bottom - box.cy;
  return plat::Bounds(x, y, box.cx, box.cy);
}

// ---- frames -------------------------------------------------------------------------------------

void DrawFrameEdge(TCanvas& c, TRect& r, int style, uint32_t extra) {
  using namespace plat;
  switch (style) {
    case 1:
      Edge(c, r, BDR_SUNKENOUTER, BF_TOPLEFT | BF_SOFT | extra);
      Edge(c, r, BDR_RAISEDOUTER, BF_BOTTOMRIGHT);
      break;
    case 2: Edge(c, r, EDGE_SUNKEN, BF_RECT | BF_SOFT | extra); break;
    case 3: Edge(c, r, EDGE_RAISED, BF_RECT | BF_SOFT | extra); break;
    case 4:
    case 6:
      Edge(c, r, BDR_RAISEDOUTER, BF_RECT | BF_SOFT | extra);
      Edge(c, r, BDR_RAISEDINNER, BF_BOTTOMRIGHT);
      if (style == 6) {
        ++r.Left;
        ++r.Top;
      }
      break;
    case 5:
    case 7:
      Edge(c, r, BDR_SUNKENOUTER, BF_RECT | extra);
      Edge(c, r, BDR_SUNKENINNER, BF_TOPLEFT);
      if (style == 7) {
        --r.Right;
        --r.Bottom;
      }
      break;
    case 8: Edge(c, r, EDGE_ETCHED, BF_RECT | extra); break;
    case 9:
      Edge(c, r, BDR_RAISEDINNER, BF_RECT | extra);
      Edge(c, r, BDR_SUNKENOUTER, BF_RECT);
      break;
    case 10:
      Edge(c, r, BDR_RAISEDOUTER, BF_BOTTOMRIGHT | extra);
      ++r.Left;
      ++r.Top;
      Edge(c, r, BDR_RAISEDINNER, BF_RECT);
      break;
    case 11: Edge(c, r, BDR_RAISEDINNER, BF_RECT | extra); break;
    case 12: Edge(c, r, BDR_SUNKENOUTER, BF_RECT | extra); break;
    case 13:
      Edge(c, r, BDR_RAISEDINNER, BF_RECT | extra);
      Edge(c, r, BDR_RAISEDINNER, BF_RECT);
      break;
    case 14:
      Edge(c, r, BDR_SUNKENOUTER, BF_RECT | extra);
      Edge(c, r, BDR_SUNKENOUTER, BF_RECT);
      break;
    default: break;
  }
}

bool DrawBevelFrame(TCanvas& c, TRect& r, TZelBevelStyle style, int width, TColor light, TColor shadow) {
  if (style == bvNone || width <= 0) return false;
  ToolsGuard tools(c);
  switch (style) {
    case bvLowered: plat::Frame3D(c, r, shadow, light, width); break;
    case bvRaised: plat::Frame3D(c, r, light, shadow, width); break;
    case bvFrameLowered:
      plat::Frame3D(c, r, shadow, light, width);
      plat::Frame3D(c, r, light, shadow, 1);
      break;
    case bvFrameRaised:
      plat::Frame3D(c, r, light, shadow, width);
      plat::Frame3D(c, r, shadow, light, 1);
      break;
    case bvNormal: plat::Frame3D(c, r, shadow, shadow, width); break;
    case bvShadow:
      Fill(c, plat::Rect(r.Right - width, r.Top + width, r.Right, r.Bottom), shadow);
      Fill(c, plat::Rect(r.Left + width, r.Bottom - width, r.Right, r.Bottom), shadow);
      plat::InflateRect(r, -width, -width);
      break;
    default: return false;
  }
  return true;
}

void DrawFlatFrame(TCanvas& c, TRect& r, const std::vector<TColor>& colors, const std::vector<int>& widths) {
  ToolsGuard tools(c);
  for (size_t i = 0; i < colors.size() && i < widths.size(); ++i)
    for (int k = 0; k < widths[i] && !plat::IsRectEmpty(r); ++k) {
      Frame(c, r, colors[i]);
      plat::InflateRect(r, -1, -1);
    }
}

int BorderStyleWidth(TZelBorderStyle style) {
  switch (style) {
    case lsNone: return 0;
    case lsSingle:
    case lsLowered:
    case lsRaised:
    case lsSingleRaised:
    case lsSingleLowered: return 1;
    default: return 2;
  }
}

void DrawBorderStyle(TCanvas& c, TRect& r, TZelBorderStyle style) {
  using namespace plat;
  ToolsGuard tools(c);
  switch (style) {
    case lsNone: break;
    case lsSingle:
      Frame(c, r, clWindowFrame);
      InflateRect(r, -1, -1);
      break;
    case lsLowered: Frame3D(c, r, clBtnShadow, clBtnHighlight, 1); break;
    case lsRaised: Frame3D(c, r, clBtnHighlight, clBtnShadow, 1); break;
    case lsRaisedspb: Edge(c, r, EDGE_RAISED, BF_RECT | BF_SOFT); break;
    case lsLoweredspb: Edge(c, r, EDGE_SUNKEN, BF_RECT | BF_SOFT); break;
    case lsRaisedExt:
      Frame3D(c, r, clBtnHighlight, cl3DDkShadow, 1);
      Frame3D(c, r, cl3DLight, clBtnShadow, 1);
      break;
    case lsLoweredExt:
      Frame3D(c, r, cl3DDkShadow, clBtnHighlight, 1);
      Frame3D(c, r, clBtnShadow, cl3DLight, 1);
      break;
    case lsFrameInset: Edge(c, r, EDGE_ETCHED, BF_RECT); break;
    case lsFrameOffset: Edge(c, r, EDGE_BUMP, BF_RECT); break;
    case lsWindowBorder: Edge(c, r, EDGE_SUNKEN, BF_RECT); break;
    case lsSingleRaised: Edge(c, r, BDR_RAISEDINNER, BF_RECT); break;
    case lsSingleLowered: Edge(c, r, BDR_SUNKENOUTER, BF_RECT); break;
    case lsDoubleRaised: Edge(c, r, EDGE_RAISED, BF_RECT); break;
    case lsDoubleLowered: Edge(c, r, EDGE_SUNKEN, BF_RECT); break;
  }
}

void DrawShadowFrame(TCanvas& c, TRect& r, int frameWidth, int shadowWidth, TColor frameColor, TColor shadowColor,
                     bool transparent) {
  ToolsGuard tools(c);
  if (shadowWidth > 0) {
    Fill(c, plat::Rect(r.Right - shadowWidth, r.Top + shadowWidth, r.Right, r.Bottom), shadowColor);
    Fill(c, plat::Rect(r.Left + shadowWidth, r.Bottom - shadowWidth, r.Right, r.Bottom), shadowColor);
    r.Right -= shadowWidth;
    r.Bottom -= shadowWidth;
  }
  for (int k = 0; k < frameWidth && !plat::IsRectEmpty(r); ++k) {
    if (!transparent) Frame(c, r, frameColor);
    plat::InflateRect(r, -1, -1);
  }
}

void DrawButtonFrame(TCanvas& c, bool transparent, const TRect& rect, TColor face, uint32_t flags, int state, int style,
                     TRect* content) {
  using namespace plat;
  ToolsGuard tools(c);
  TRect r = rect;
  const bool down = state == bsDown || state == bsPushed || state == bsDroppedDown || state == bsDisabledDown;
  int kind;
  if (style == 0) style = 2;  // this platform has the newer shell
  if (style == 1) kind = 1;
  else if (style == 2) kind = (flags & bfNewLook) ? 2 : 3;
  else if (style == 3) kind = 5;
  else if (style >= 4 && style <= 9) kind = 4;
  else kind = 2;

  if (style != 8 && style != 9) {
    if (state == bsDown && !(transparent && kind == 4)) {
      c.Brush()->SetStyle(bsSolid);
      c.Brush()->SetBitmap(ZelPatternBitmap(uint32_t(face)));
      c.FillRect(r);
      c.Brush()->SetBitmap(nullptr);
    } else {
      Fill(c, r, face);
    }
  }
  if (!down && (flags & (bfFocused | bfDefault))) {
    Edge(c, r, BDR_SUNKENOUTER, BF_TOPLEFT | BF_SOFT | ((flags & bfFillMiddle) ? uint32_t(BF_MIDDLE) : 0u));
    Edge(c, r, BDR_RAISEDOUTER, BF_BOTTOMRIGHT);
  }
  switch (kind) {
    case 1:
      Edge(c, r, BDR_SUNKENOUTER, BF_TOPLEFT);
      Edge(c, r, BDR_RAISEDOUTER, BF_BOTTOMRIGHT);
      if (flags & bfCorners) {
        uint32_t f = ColorToBGR(clBtnFace);
        c.SetPixel(rect.Left, rect.Top, TColor(f));
        c.SetPixel(rect.Right - 1, rect.Top, TColor(f));
        c.SetPixel(rect.Left, rect.Bottom - 1, TColor(f));
        c.SetPixel(rect.Right - 1, rect.Bottom - 1, TColor(f));
      }
      if (down) {
        Edge(c, r, BDR_SUNKENINNER, BF_TOPLEFT);
      } else {
        Edge(c, r, BDR_RAISEDINNER, BF_RECT);
        Edge(c, r, BDR_RAISEDINNER, BF_RECT);
      }
      break;
    case 2:
      if (!down) DrawFrameEdge(c, r, 4);
      else if (flags & bfSunkenDown) Edge(c, r, EDGE_SUNKEN, BF_RECT);
      else DrawFrameEdge(c, r, 2);
      break;
    case 3:
      if (down) {
        Frame(c, r, clBlack);
        InflateRect(r, -1, -1);
        Frame(c, r, TColor(0x808080));
        InflateRect(r, -1, -1);
      } else if (flags & bfFocused) {
        Edge(c, r, BDR_RAISEDOUTER, BF_RECT | BF_SOFT);
        Edge(c, r, BDR_RAISEDINNER, BF_BOTTOMRIGHT);
      } else {
        DrawFrameEdge(c, r, 4);
      }
      break;
    case 4:
      if ((style == 4 || style == 7) && (down || state == bsMouseOver)) {
        Frame(c, r, clBtnShadow);
        InflateRect(r, -1, -1);
      }
      if (down) Edge(c, r, BDR_SUNKENOUTER, BF_RECT);
      else if (state == bsMouseOver) Edge(c, r, BDR_RAISEDINNER, BF_RECT);
      break;
    case 5:
      Frame(c, r, clBlack);
      InflateRect(r, -1, -1);
      if (down) {
        Fill(c, Rect(r.Left, r.Top, r.Right, r.Top + 1), clBtnShadow);
        Fill(c, Rect(r.Left, r.Top, r.Left + 1, r.Bottom), clBtnShadow);
      } else {
        Edge(c, r, BDR_RAISEDINNER, BF_RECT);
      }
      break;
  }
  if (flags & bfFocused) {
    TRect f = rect;
    int inset = down ? 4 : 3;
    InflateRect(f, -inset, -inset);
    c.Brush()->SetStyle(bsSolid);
    c.Brush()->SetColor(face);
    c.Font()->SetColor(clBlack);
    c.DrawFocusRect(f);
  }
  if (content) {
    *content = rect;
    InflateRect(*content, -3, -3);
    if (down) OffsetRect(*content, 1, 1);
  }
}

void DrawArrow(TCanvas& c, int x, int y, bool enabled, TZelArrowDirection dir, TColor color, int size) {
  size = std::clamp(size, 2, 15);
  ToolsGuard tools(c);
  auto triangle = [&](int ox, int oy, TColor col) {
    for (int i = 0; i < size; ++i) {
      const int from = i, to = 2 * size - 1 - i;
      TRect line;
      switch (dir) {
        case adDown: line = plat::Rect(ox + from, oy + i, ox + to, oy + i + 1); break;
        case adUp: line = plat::Rect(ox + from, oy + size - 1 - i, ox + to, oy + size - i); break;
        case adRight: line = plat::Rect(ox + i, oy + from, ox + i + 1, oy + to); break;
        case adLeft: line = plat::Rect(ox + size - 1 - i, oy + from, ox + size - i, oy + to); break;
      }
      Fill(c, line, col);
    }
  };
  if (enabled) {
    triangle(x, y, color);
  } else {
    triangle(x + 1, y + 1, plat::clHighlightText);
    triangle(x, y, plat::clGrayText);
  }
}

// ---- pictures -----------------------------------------------------------------------------------

void MakeDisabledBitmap(TBitmap& source, TBitmap& target) {
  TBitmap src;
  src.Assign(&source);
  src.SetPixelFormat(plat::pf32bit);
  const int w = src.Width(), h = src.Height();
  if (w == 0 || h == 0) {
    target.AssignPart(src, plat::Rect(0, 0, 0, 0));
    return;
  }
  auto brightness = [](TColor p) { return int(plat::GetRValue(p)) + plat::GetGValue(p) + plat::GetBValue(p); };
  const TColor background = src.PixelColor(0, 0);
  int64_t sum = 0, count = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const TColor p = src.PixelColor(x, y);
      if (p == background) continue;
      sum += brightness(p);
      ++count;
    }
  const int mean = count ? int(sum / count) : 0;
  const TColor white = plat::clWhite;
  const TColor light = TColor(plat::ColorToBGR(plat::clBtnHighlight));
  const TColor dark = TColor(plat::ColorToBGR(plat::clBtnShadow));
  TBitmap out;
  out.SetPixelFormat(plat::pf32bit);
  out.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const TColor p = src.PixelColor(x, y);
      if (p == background) {
        out.SetPixelColor(x, y, p);
        continue;
      }
      // Bright parts vanish into the face, parts brighter than the picture's mean light up and
      // the rest becomes the shadow that carries the shape.
      const int b = brightness(p);
      out.SetPixelColor(x, y, b > 550 ? white : (b > 250 && b > mean + 50) ? light : dark);
    }
  out.SetPixelFormat(plat::pf24bit);
  target.AssignPart(out, plat::Rect(0, 0, w, h));
}

namespace {

// A one-bit picture: 1 where image has key, 0 elsewhere.
void MakeMask(TBitmap& image, uint32_t key, TBitmap& mask) {
  TBitmap src;
  src.Assign(&image);
  src.SetPixelFormat(plat::pf32bit);
  TBitmap m;
  m.SetMonochrome(true);
  m.SetSize(src.Width(), src.Height());
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x) m.SetPixelIndex(x, y, uint32_t(src.PixelColor(x, y)) == key ? 1 : 0);
  mask.AssignPart(m, plat::Rect(0, 0, m.Width(), m.Height()));
}

}  // namespace

void DrawTransparentBitmap(TCanvas& canvas, const TRect& r, TBitmap& image, TColor transparentColor, TBitmap& mask) {
  if (image.Empty() || plat::IsRectEmpty(r)) return;
  const uint32_t key = plat::ColorToBGR(transparentColor);
  MakeMask(image, key, mask);
  // The image with its transparent pixels black, so the or-ing leaves the canvas there.
  TBitmap cut;
  cut.Assign(&image);
  cut.SetPixelFormat(plat::pf32bit);
  for (int y = 0; y < cut.Height(); ++y)
    for (int x = 0; x < cut.Width(); ++x)
      if (uint32_t(cut.PixelColor(x, y)) == key) cut.SetPixelColor(x, y, plat::clBlack);
  const int w = std::min(r.Width(), image.Width()), h = std::min(r.Height(), image.Height());
  const uint32_t text = canvas.TextColorRGB(), bk = canvas.BkColorRGB();
  canvas.SetTextColor(plat::clBlack);
  canvas.SetBkColor(plat::clWhite);
  canvas.BitBlt(r.Left, r.Top, w, h, *mask.Canvas(), 0, 0, plat::SRCAND);
  canvas.BitBlt(r.Left, r.Top, w, h, *cut.Canvas(), 0, 0, plat::SRCPAINT);
  canvas.SetTextColor(TColor(text));
  canvas.SetBkColor(TColor(bk));
}

void DrawDisabledGlyph(TCanvas& canvas, TBitmap& bitmap, int x, int y) {
  if (bitmap.Empty()) return;
  TBitmap mono;
  MakeMask(bitmap, plat::ColorToBGR(bitmap.TransparentColor()), mono);
  ToolsGuard tools(canvas);
  const uint32_t text = canvas.TextColorRGB(), bk = canvas.BkColorRGB();
  // The shape's pixels (0 in the mask) take the brush, the background (1) keeps the canvas.
  constexpr int32_t kPatternWhereSource = 0x00E20746;
  auto emboss = [&](int ox, int oy, TColor color) {
    canvas.Brush()->SetStyle(plat::bsSolid);
    canvas.Brush()->SetColor(color);
    canvas.SetTextColor(plat::clWhite);
    canvas.SetBkColor(plat::clBlack);
    canvas.BitBlt(ox, oy, bitmap.Width(), bitmap.Height(), *mono.Canvas(), 0, 0, kPatternWhereSource);
  };
  emboss(x + 1, y + 1, plat::clBtnHighlight);
  emboss(x, y, plat::clBtnShadow);
  canvas.SetTextColor(TColor(text));
  canvas.SetBkColor(TColor(bk));
}

void DrawBitmapFlags(TCanvas& canvas, const TRect& r, TBitmap& bitmap, uint16_t flags, TZelAlignment alignment,
                     int offsetX, int offsetY, TColor transparentColor) {
  if (bitmap.Empty() || plat::IsRectEmpty(r)) return;
  const int pw = bitmap.Width(), ph = bitmap.Height();
  std::unique_ptr<ClipGuard> clip;
  if (flags & bdClip) {
    clip = std::make_unique<ClipGuard>(canvas);
    TRect shifted = r;
    plat::OffsetRect(shifted, offsetX, offsetY);
    canvas.IntersectClipRect(shifted);
  }
  // Where the picture (or each tile) goes.
  std::vector<TRect> places;
  if (flags & bdStretch) {
    TRect target = r;
    if ((flags & bdKeepAspect) == bdKeepAspect) {
      target = FitRect(plat::Rect(0, 0, pw, ph), r);
    } else if (flags & bdKeepWidth) {
      target = plat::Bounds(r.Left, r.Top, r.Width(), ph * r.Width() / pw);
    } else if (flags & bdKeepHeight) {
      target = plat::Bounds(r.Left, r.Top, pw * r.Height() / ph, r.Height());
    }
    places.push_back(target);
  } else if (flags & bdTile) {
    const int cols = r.Width() / pw + 1, rows = r.Height() / ph + 1;
    for (int j = 0; j < rows; ++j)
      for (int i = 0; i < cols; ++i) places.push_back(plat::Bounds(r.Left + i * pw, r.Top + j * ph, pw, ph));
  } else if (flags & bdAlign) {
    TRect at = AlignRect(alignment, {pw, ph}, r);
    plat::OffsetRect(at, offsetX, offsetY);
    places.push_back(at);
  } else {
    places.push_back(plat::Bounds(r.Left, r.Top, pw, ph));
  }
  const TRect whole = plat::Rect(0, 0, pw, ph);
  const TColor key = transparentColor == plat::clNone ? bitmap.TransparentColor() : transparentColor;
  TBitmap mask;
  for (const TRect& at : places) {
    if (flags & bdGraphic) {
      // The framework's own drawing, which honours a picture marked transparent.
      bitmap.Draw(canvas, at);
    } else if (flags & bdColorTransparent) {
      canvas.TransparentDraw(at, &bitmap, whole, key);
    } else if (flags & bdMaskTransparent) {
      if (at.Width() == pw && at.Height() == ph) {
        DrawTransparentBitmap(canvas, at, bitmap, key, mask);
      } else {
        canvas.TransparentDraw(at, &bitmap, whole, key);
      }
    } else {
      canvas.StretchBlt(at, *bitmap.Canvas(), whole, plat::SRCCOPY);
    }
  }
}

void DrawBitmapTiled(TCanvas& canvas, const TRect& r, TBitmap& bitmap, TZelTileMode mode, TZelAlignment alignment,
                     int offsetX, int offsetY, bool transparent) {
  uint16_t flags = transparent ? bdMaskTransparent : 0;
  switch (mode) {
    case tmNone: flags |= bdClip | bdAlign; break;
    case tmCenter:
      flags |= bdClip | bdAlign;
      alignment = agCenter;
      offsetX = offsetY = 0;
      break;
    case tmStretch: flags |= bdStretch; break;
    case tmTile: flags |= bdClip | bdTile; break;
  }
  DrawBitmapFlags(canvas, r, bitmap, flags, alignment, offsetX, offsetY);
}

void DrawBitmapPalette(TCanvas& canvas, const TRect& r, TBitmap& bitmap) {
  // True-colour screens have no palette to select: the picture is drawn as it is.
  DrawBitmapFlags(canvas, r, bitmap, bdClip | bdPalette);
}

// ---- glyph and caption --------------------------------------------------------------------------

TZelGlyphTextPlacement PlaceGlyphText(TSize text, TSize glyph, const TZelGlyphTextLayout* layout, const TRect& r,
                                      bool align) {
  static const TZelGlyphTextLayout defaults;
  if (!layout) layout = &defaults;
  auto* button = dynamic_cast<const TZelButtonLayout*>(layout);
  const bool arrow = button && button->Arrow();
  const bool arrowAtGlyph =
      arrow && (button->ArrowPosition() == apRightGlyph || button->ArrowPosition() == apLeftGlyph);
  const int arrowWidth = arrow ? button->ArrowSize() * 2 - 1 + button->ArrowIndent() : 0;
  TSize t = text, g = glyph;
  if (arrow) (arrowAtGlyph ? g.cx : t.cx) += arrowWidth;
  const bool both = t.cx > 0 && g.cx > 0;
  const int sp = both ? layout->Spacing() : 0;

  TZelTextArrange a = layout->AlignText2Glyph();
  const bool sideBySide = a == taLeft || a == taLeftTop || a == taRight || a == taRightTop;
  TSize box;
  TRect tr, gr;  // relative to the box
  if (sideBySide) {
    box = {g.cx + sp + t.cx, std::max(g.cy, t.cy)};
    const bool textFirst = a == taLeft || a == taLeftTop;
    const bool textTop = a == taLeftTop || a == taRightTop;
    const int tx = textFirst ? 0 : g.cx + sp, gx = textFirst ? t.cx + sp : 0;
    tr = plat::Bounds(tx, textTop ? 0 : (box.cy - t.cy) / 2, t.cx, t.cy);
    gr = plat::Bounds(gx, (box.cy - g.cy) / 2, g.cx, g.cy);
  } else {
    box = {std::max(g.cx, t.cx), g.cy + sp + t.cy};
    const bool textFirst = a == taTop || a == taTopLeft;
    const bool textLeft = a == taTopLeft || a == taBottomLeft;
    const int ty = textFirst ? 0 : g.cy + sp, gy = textFirst ? t.cy + sp : 0;
    tr = plat::Bounds(textLeft ? 0 : (box.cx - t.cx) / 2, ty, t.cx, t.cy);
    gr = plat::Bounds((box.cx - g.cx) / 2, gy, g.cx, g.cy);
  }
  TRect at = AlignRect(align ? layout->Alignment() : agTopLeft, box, r);
  plat::OffsetRect(tr, at.Left, at.Top);
  plat::OffsetRect(gr, at.Left + 1, at.Top + 1);

  TZelGlyphTextPlacement out;
  if (arrow) {
    const int s = button->ArrowSize(), drawn = 2 * s - 1;
    TRect& part = arrowAtGlyph ? gr : tr;
    int x;
    if (button->ArrowPosition() == apLeftText || button->ArrowPosition() == apLeftGlyph) {
      x = part.Left;
      part.Left += arrowWidth;
    } else {
      x = part.Right - drawn;
      part.Right -= arrowWidth;
    }
    out.Arrow = {x, part.Top + part.Height() / 2 - s / 2};
  }
  plat::OffsetRect(tr, layout->OffsetX(), layout->OffsetY());
  plat::OffsetRect(gr, layout->OffsetX(), layout->OffsetY());
  if (out.Arrow.X >= 0) out.Arrow = {out.Arrow.X + layout->OffsetX(), out.Arrow.Y + layout->OffsetY()};
  out.Text = tr;
  out.Glyph = gr;
  return out;
}

TZelGlyphTextPlacement DrawGlyphText(TCanvas& canvas, TBitmap* glyph, TColor transparentColor, const std::string& text,
                                     bool multiLine, const TZelGlyphTextLayout* layout, const TRect& r,
                                     const TZel3DCaption* caption, uint32_t d3Flags, bool align) {
  static const TZelGlyphTextLayout defaults;
  const TZelGlyphTextLayout* lay = layout ? layout : &defaults;
  uint32_t format = plat::DT_EXPANDTABS;
  if (multiLine) {
    switch (int(lay->Alignment()) % 3) {
      case 1: format |= plat::DT_CENTER; break;
      case 2: format |= plat::DT_RIGHT; break;
      default: break;
    }
  } else {
    format |= plat::DT_SINGLELINE;
  }
  TRect measured = text.empty() ? TRect{} : MeasureText(*canvas.Font(), text, caption, format);
  TSize glyphSize = glyph && !glyph->Empty() ? TSize{glyph->Width(), glyph->Height()} : TSize{};
  TZelGlyphTextPlacement p = PlaceGlyphText({measured.Width(), measured.Height()}, glyphSize, layout, r, align);
  if (glyphSize.cx > 0) {
    if (transparentColor == plat::clNone) {
      canvas.Draw(p.Glyph.Left, p.Glyph.Top, glyph);
    } else {
      TBitmap mask;
      DrawTransparentBitmap(canvas, p.Glyph, *glyph, transparentColor, mask);
    }
  }
  if (!text.empty()) {
    TRect tr = p.Text;
    Draw3DText(canvas, text, caption, nullptr, d3Flags, format, tr);
  }
  if (p.Arrow.X >= 0) {
    auto* button = dynamic_cast<const TZelButtonLayout*>(lay);
    DrawArrow(canvas, p.Arrow.X, p.Arrow.Y, d3Flags & d3Enabled, adDown, button->ArrowColor(), button->ArrowSize());
  }
  return p;
}

// ---- windows ------------------------------------------------------------------------------------

TPoint PlaceWindowRect(TSize win, const TRect& ref, int position, const TRect& screen) {
  int x = ref.Left, y = ref.Top;
  const int cx = ref.Left + (ref.Width() - win.cx) / 2, cy = ref.Top + (ref.Height() - win.cy) / 2;
  switch (position) {
    case 2: x = cx; break;
    case 3: x = ref.Right - win.cx; break;
    case 4: y = cy; break;
    case 5:
      x = cx;
      y = cy;
      break;
    case 6:
      x = ref.Right - win.cx;
      y = cy;
      break;
    case 7: y = ref.Bottom - win.cy; break;
    case 8:
      x = cx;
      y = ref.Bottom - win.cy;
      break;
    case 9:
      x = ref.Right - win.cx;
      y = ref.Bottom - win.cy;
      break;
    default: break;
  }
  if (x + win.cx > screen.Right) x = ref.Right - win.cx;
  if (y + win.cy > screen.Bottom) y = ref.Bottom - win.cy;
  return {std::max(x, 0), std::max(y, 0)};
}

namespace {
TRect ScreenRect(bool workArea) { return plat::PrimaryScreenRect(workArea); }
}  // namespace

void PlaceWindow(plat::TControl& window, const TRect& ref, int position) {
  TPoint p = PlaceWindowRect({window.Width(), window.Height()}, ref, position, ScreenRect(false));
  window.SetBounds(p.X, p.Y, window.Width(), window.Height());
}

TRect GetReferenceRect(int kind) {
  if (kind == 1) return ScreenRect(true);
  if (kind == 2 || kind == 3) {
    if (plat::TControl* form = ZelReferenceForm(kind == 2))
      return plat::Bounds(form->Left(), form->Top(), form->Width(), form->Height());
  }
  return ScreenRect(false);
}

std::vector<TRect> ZoomRects(TPoint start, const TRect& target, int steps) {
  if (steps < 4) steps = 40;
  std::vector<TRect> rects;
  for (int i = 1; i <= steps; ++i) {
    auto lerp = [&](int from, int to) { return from + (to - from) * i / steps; };
    rects.push_back(plat::Rect(lerp(start.X, target.Left), lerp(start.Y, target.Top), lerp(start.X + 1, target.Right),
                               lerp(start.Y + 1, target.Bottom)));
  }
  return rects;
}

void ZoomWindow(plat::TControl&, TPoint, int, int) {
  // The desktop belongs to the window manager here: nothing may be drawn on it, so the opening
  // animation is left out and the window simply appears.
}
