#pragma once
// What the kit's GUI tests share: the framework's application object and the kit's globals for
// the whole run, and small picture helpers.
#include <QImage>
#include <cstdint>

#include "controls/zelclass.h"
#include "platform/ui/forms.h"
#include "platform/ui/graphics.h"

// 0x00BBGGRR of a pixel of a bitmap.
inline uint32_t PixelOf(plat::TBitmap& b, int x, int y) {
  QRgb c = b.Image().pixel(x, y);
  return uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16;
}

// A 24-bit bitmap filled with one colour.
inline void Blank(plat::TBitmap& b, int w, int h, plat::TColor color) {
  b.SetSize(w, h);
  b.SetPixelFormat(plat::pf24bit);
  b.Canvas()->Brush()->SetStyle(plat::bsSolid);
  b.Canvas()->Brush()->SetColor(color);
  b.Canvas()->FillRect(plat::Rect(0, 0, w, h));
}

// How many pixels of r (all of b when r is empty) have colour bgr.
inline int CountColor(plat::TBitmap& b, uint32_t bgr, plat::TRect r = {}) {
  if (plat::IsRectEmpty(r)) r = plat::Rect(0, 0, b.Width(), b.Height());
  int n = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x)
      if (PixelOf(b, x, y) == bgr) ++n;
  return n;
}
