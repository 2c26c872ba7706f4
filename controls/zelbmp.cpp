#include "controls/zelbmp.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <cmath>

#include "controls/ZelBitmapEffectObject.h"
#include "controls/ZelFillObject.h"
#include "controls/zelclass.h"
#include "controls/zelgraph.h"
#include "platform/ui/graphics.h"

using plat::TBitmap;
using plat::TPoint;
using plat::TRect;

namespace {

// Round half to even, as the old platform rounds.
inline int RoundEven(double v) { return int(std::nearbyint(v)); }

// The part of r that lies in src and whose image at `at` lies in dst; its offset into r.
struct Span {
  int sx, sy, dx, dy, w, h;
  bool empty() const { return w <= 0 || h <= 0; }
};

Span Clip(TBitmap& src, const TRect& r, TBitmap& dst, TPoint at) {
  int sx = r.Left, sy = r.Top, dx = at.X, dy = at.Y, w = r.Width(), h = r.Height();
  auto cut = [](int& s, int& d, int& len, int sLimit, int dLimit) {
    if (s < 0) {
      d -= s;
      len += s;
      s = 0;
    }
    if (d < 0) {
      s -= d;
      len += d;
      d = 0;
    }
    len = std::min({len, sLimit - s, dLimit - d});
  };
  cut(sx, dx, w, src.Width(), dst.Width());
  cut(sy, dy, h, src.Height(), dst.Height());
  return {sx, sy, dx, dy, w, h};
}

// Runs fn(span, from) for the span of two 24-bit bitmaps, from a copy of the source's part so
// that a target that overlaps its source sees the source as it was.
template <class F>
void OverSpan(TBitmap& src, const TRect& r, TBitmap& dst, TPoint at, const F& fn) {
  CheckPixelFormat(src, "Source");
  CheckPixelFormat(dst, "Target");
  const Span s = Clip(src, r, dst, at);
  if (s.empty()) return;
  TBitmap part;
  part.AssignPart(src, plat::Bounds(s.sx, s.sy, s.w, s.h));
  const TBitmap& from = part;
  fn(s, from);
  dst.Modified();
}

// Runs fn(sourcePixel, targetPixel) over the span.
template <class F>
void PerPixel(TBitmap& src, const TRect& r, TBitmap& dst, TPoint at, const F& fn) {
  OverSpan(src, r, dst, at, [&](const Span& s, const TBitmap& from) {
    for (int y = 0; y < s.h; ++y) {
      const uint8_t* in = from.ScanLine(y);
      uint8_t* out = dst.ScanLine(s.dy + y) + size_t(s.dx) * 3;
      for (int x = 0; x < s.w; ++x) fn(in + x * 3, out + x * 3);
    }
  });
}

}  // namespace

void CheckPixelFormat(TBitmap& bitmap, const std::string& role) {
  if (bitmap.PixelFormat() != plat::pf24bit) throw EZelWrongPixelFormat("Wrong PixelFormat in " + role + " bitmap!");
}

void GrayScaleBits(TBitmap& src, const TRect& r, TBitmap& dst, TPoint at) {
  std::array<int, 256> red{}, green{}, blue{};
  for (int i = 0; i < 256; ++i) {
    red[size_t(i)] = RoundEven(0.3 * i);
    green[size_t(i)] = RoundEven(0.59 * i);
    blue[size_t(i)] = RoundEven(0.11 * i);
  }
  PerPixel(src, r, dst, at, [&](const uint8_t* in, uint8_t* out) {
    int g = std::min(255, blue[in[0]] + green[in[1]] + red[in[2]]);
    out[0] = out[1] = out[2] = uint8_t(g);
  });
}

void FlipRowsBits(TBitmap& src, const TRect& r, TBitmap& dst, TPoint at) {
  OverSpan(src, r, dst, at, [&](const Span& s, const TBitmap& from) {
    for (int y = 0; y < s.h; ++y)
      std::memcpy(dst.ScanLine(s.dy + y) + size_t(s.dx) * 3, from.ScanLine(s.h - 1 - y), size_t(s.w) * 3);
  });
}

void FlipColumnsBits(TBitmap& src, const TRect& r, TBitmap& dst, TPoint at) {
  OverSpan(src, r, dst, at, [&](const Span& s, const TBitmap& from) {
    for (int y = 0; y < s.h; ++y) {
      const uint8_t* in = from.ScanLine(y);
      uint8_t* out = dst.ScanLine(s.dy + y) + size_t(s.dx) * 3;
      for (int x = 0; x < s.w; ++x) std::memcpy(out + x * 3, in + (s.w - 1 - x) * 3, 3);
    }
  });
}

void AlphaBlendBits(TBitmap& src1, const TRect& r, TBitmap& src2, TPoint at2, float strength, TBitmap& dst, TPoint at) {
  CheckPixelFormat(src1, "Source 1");
  CheckPixelFormat(src2, "Source 2");
  CheckPixelFormat(dst, "Target");
  std::array<int, 511> table{};
  for (int d = -255; d <= 255; ++d) table[size_t(d + 255)] = RoundEven(d * double(strength));
  // Offsets (i, j) into r for which all three pixels lie in their bitmaps.
  const int i0 = std::max({0, -r.Left, -at2.X, -at.X});
  const int j0 = std::max({0, -r.Top, -at2.Y, -at.Y});
  const int i1 = std::min({r.Width(), src1.Width() - r.Left, src2.Width() - at2.X, dst.Width() - at.X});
  const int j1 = std::min({r.Height(), src1.Height() - r.Top, src2.Height() - at2.Y, dst.Height() - at.Y});
  if (i1 <= i0 || j1 <= j0) return;
  const int w = i1 - i0, h = j1 - j0;
  TBitmap one, two;
  one.AssignPart(src1, plat::Bounds(r.Left + i0, r.Top + j0, w, h));
  two.AssignPart(src2, plat::Bounds(at2.X + i0, at2.Y + j0, w, h));
  for (int y = 0; y < h; ++y) {
    const uint8_t* p1 = std::as_const(one).ScanLine(y);
    const uint8_t* p2 = std::as_const(two).ScanLine(y);
    uint8_t* out = dst.ScanLine(at.Y + j0 + y) + size_t(at.X + i0) * 3;
    for (int i = 0; i < w * 3; ++i) out[i] = uint8_t(std::clamp(p2[i] + table[size_t(p1[i] - p2[i] + 255)], 0, 255));
  }
  dst.Modified();
}

void InvertBits(TBitmap& src, const TRect& r, TBitmap& dst, TPoint at) {
  PerPixel(src, r, dst, at, [](const uint8_t* in, uint8_t* out) {
    for (int i = 0; i < 3; ++i) out[i] = uint8_t(255 - in[i]);
  });
}

void BrightnessBits(TBitmap& src, const TRect& r, TBitmap& dst, int delta, TPoint at) {
  delta = std::clamp(delta, -255, 255);
  PerPixel(src, r, dst, at, [delta](const uint8_t* in, uint8_t* out) {
    for (int i = 0; i < 3; ++i) out[i] = uint8_t(std::clamp(in[i] + delta, 0, 255));
  });
}

bool FillObjectFill(TZelFillObject& fill, plat::TCanvas& canvas, const TRect& r, plat::TColor background) {
  if (plat::IsRectEmpty(r)) return false;
  plat::TBrush saved;
  saved.Assign(canvas.Brush());
  auto fillColor = [&](plat::TColor c) {
    canvas.Brush()->SetStyle(plat::bsSolid);
    canvas.Brush()->SetBitmap(nullptr);
    canvas.Brush()->SetColor(c);
    canvas.FillRect(r);
  };
  bool drew = true;
  switch (fill.Style()) {
    case sfNone:
      drew = fill.Options() & foFillInner;
      if (drew) fillColor(background);
      break;
    case sfBrush:
    case sfBrushBitmap:
      canvas.Brush()->Assign(fill.Brush());
      if (fill.Style() == sfBrushBitmap && !fill.Bitmap()->Empty()) canvas.Brush()->SetBitmap(fill.Bitmap());
      canvas.FillRect(r);
      break;
    case sfBitmap:
    case sfBitmapList: {
      TBitmap* picture = fill.Style() == sfBitmap ? fill.Bitmap() : fill.ListBitmap();
      if (fill.TileMode() == tmNone) {
        if (fill.Options() & foFillInner) fillColor(background);
        if (!picture->Empty())
          DrawBitmapFlags(canvas, r, *picture, bdClip | bdAlign, fill.Alignment(), fill.OffsetX(), fill.OffsetY());
      } else if (!picture->Empty()) {
        DrawBitmapTiled(canvas, r, *picture, fill.TileMode(), fill.Alignment(), fill.OffsetX(), fill.OffsetY(), false);
      } else {
        drew = false;
      }
      break;
    }
    case sfGradient: {
      TZelGradient* g = fill.Gradient();
      uint16_t flags = (fill.Options() & foGrUseBitmap) ? gfUseBitmap : 0;
      if (g->PaletteRealize()) flags |= gfRealizePalette;
      GradientFillTable(canvas, r, g->Style(), 0, flags, g->Palette(), g->ColorTable());
      break;
    }
  }
  canvas.Brush()->Assign(&saved);
  return drew;
}

void AlphaBlendObject(TZelAlphaObject& alpha, TBitmap& picture) {
  if (!alpha.Active() || picture.Empty()) return;
  const int w = picture.Width(), h = picture.Height();
  TBitmap temp(w, h);
  temp.SetPixelFormat(plat::pf24bit);
  FillObjectFill(*alpha.FillObject(), *temp.Canvas(), plat::Rect(0, 0, w, h), plat::clWhite);
  picture.SetPixelFormat(plat::pf24bit);
  AlphaBlendBits(picture, plat::Rect(0, 0, w, h), temp, {0, 0}, alpha.Strength(), picture, {0, 0});
}

void ApplyEffects(TZelBitmapEffectObject& e, TBitmap& p) {
  if (p.Empty()) return;
  if (e.Buffered() && e.BufferValid()) {
    p.Assign(e.Buffer());
    return;
  }
  if (e.Active()) {
    const TRect all = plat::Rect(0, 0, p.Width(), p.Height());
    p.SetPixelFormat(plat::pf24bit);
    if (e.FlipVertical()) FlipColumnsBits(p, all, p, {0, 0});
    if (e.FlipHorizontal()) FlipRowsBits(p, all, p, {0, 0});
    if (e.GrayScale()) GrayScaleBits(p, all, p, {0, 0});
    if (e.Invert()) InvertBits(p, all, p, {0, 0});
    if (e.Monochrome()) {
      // Made one-bit and back, so the steps after it still have 24 bits to work on.
      p.SetMonochrome(true);
      p.SetPixelFormat(plat::pf24bit);
    }
    if (e.Brightness() != 0) BrightnessBits(p, all, p, e.Brightness(), {0, 0});
    AlphaBlendObject(*e.AlphaBlend(), p);
  }
  if (e.Buffered()) {
    e.Buffer()->Assign(&p);
    e.SetBufferValid(true);
  }
}

void ApplyEffectsToArea(TZelBitmapEffectObject& e, TBitmap& source, const TRect& r, TBitmap& target) {
  target.SetSize(r.Width(), r.Height());
  target.Canvas()->CopyRect(plat::Rect(0, 0, r.Width(), r.Height()), *source.Canvas(), r);
  ApplyEffects(e, target);
}
