#include "displays/MMDIBCv.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

TDIBColorTable MakeCanvasColorTable(const TLogPalette* source, int animatedCount,
                                    const std::vector<TPaletteEntry>& animated) {
  TDIBColorTable t{};
  const TLogPalette def = CreateDefaultPalette();
  for (int i = 0; i < 256; ++i) t[size_t(i)] = def.palPalEntry[size_t(i)];
  if (source) {
    const int n = int(source->palPalEntry.size());
    for (int i = kDIBFirstFree; i <= kDIBLastFree && i < n; ++i) {
      t[size_t(i)] = source->palPalEntry[size_t(i)];
      t[size_t(i)].peFlags = kPaletteNoCollapse;
    }
  }
  animatedCount = std::clamp(animatedCount, 0, kDIBMaxAnimated);
  for (int i = 0; i < animatedCount; ++i) {
    TPaletteEntry e = size_t(i) < animated.size() ? animated[size_t(i)] : TPaletteEntry{};
    e.peFlags = kPaletteReserved;
    t[size_t(AnimatedColorIndex(animatedCount, i))] = e;
  }
  return t;
}

int NearestColorIndex(const TDIBColorTable& table, uint32_t bgr) {
  const int r = int(bgr & 0xFF), g = int((bgr >> 8) & 0xFF), b = int((bgr >> 16) & 0xFF);
  int best = 0;
  int bestDist = INT32_MAX;
  for (int i = 0; i < 256; ++i) {
    const TPaletteEntry& e = table[size_t(i)];
    const int dr = e.peRed - r, dg = e.peGreen - g, db = e.peBlue - b;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = i;
      if (d == 0) break;
    }
  }
  return best;
}

// ---- the target ---------------------------------------------------------------------------------

void TMMDIBTarget::Attach(uint8_t* bits, const uint8_t* background, int bitsPerPixel, int width, int height, int stride,
                          const TDIBColorTable* table) {
  bits_ = bits;
  background_ = background;
  bpp_ = bitsPerPixel;
  width_ = width;
  height_ = height;
  stride_ = stride;
  table_ = table;
  clip_ = {0, 0, width, height};
  penX_ = penY_ = 0;
}

void TMMDIBTarget::Detach() {
  bits_ = nullptr;
  background_ = nullptr;
  table_ = nullptr;
  width_ = height_ = stride_ = 0;
  clip_ = {};
}

void TMMDIBTarget::SetClipRect(const TDIBRect& r) {
  clip_ = {std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, width_), std::min(r.Bottom, height_)};
  if (clip_.Right < clip_.Left) clip_.Right = clip_.Left;
  if (clip_.Bottom < clip_.Top) clip_.Bottom = clip_.Top;
}

uint32_t TMMDIBTarget::ColorWord(plat::TColor c) const {
  if (bpp_ != 8) return plat::ColorToBGR(c);
  if ((uint32_t(c) >> 24) == 0x01) return uint32_t(c) & 0xFF;
  if (!table_) return 0;
  return uint32_t(NearestColorIndex(*table_, plat::ColorToBGR(c)));
}

uint32_t TMMDIBTarget::Pixel(int x, int y) const {
  if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* p = Row(y) + ptrdiff_t(x) * BytesPerPixel();
  if (bpp_ == 8) return *p;
  return uint32_t(p[2]) | (uint32_t(p[1]) << 8) | (uint32_t(p[0]) << 16);
}

inline void TMMDIBTarget::Put(uint8_t* p) const {
  if (bpp_ == 8) {
    *p = uint8_t(color_);
  } else {
    p[0] = uint8_t(color_ >> 16);
    p[1] = uint8_t(color_ >> 8);
    p[2] = uint8_t(color_);
  }
}

void TMMDIBTarget::SetPixel(int x, int y) {
  if (!bits_ || x < clip_.Left || x >= clip_.Right || y < clip_.Top || y >= clip_.Bottom) return;
  Put(Row(y) + ptrdiff_t(x) * BytesPerPixel());
}

bool TMMDIBTarget::ClipSpan(int& x1, int& x2, int y) const {
  if (!bits_ || y < clip_.Top || y >= clip_.Bottom) return false;
  if (x1 > x2) std::swap(x1, x2);
  x1 = std::max(x1, clip_.Left);
  x2 = std::min(x2, clip_.Right - 1);
  return x1 <= x2;
}

void TMMDIBTarget::Span(int x1, int x2, int y) {
  uint8_t* row = Row(y);
  if (bpp_ == 8) {
    std::memset(row + x1, int(color_ & 0xFF), size_t(x2 - x1 + 1));
    return;
  }
  for (uint8_t *p = row + ptrdiff_t(x1) * 3, *end = row + ptrdiff_t(x2 + 1) * 3; p < end; p += 3) Put(p);
}

void TMMDIBTarget::HLine(int x1, int x2, int y) {
  if (ClipSpan(x1, x2, y)) Span(x1, x2, y);
}

void TMMDIBTarget::HLineDotted(int x1, int x2, int y, int step) {
  if (step < 1) step = 1;
  const int start = std::min(x1, x2);
  if (!ClipSpan(x1, x2, y)) return;
  // The dots keep their places along the unclipped span.
  int x = x1 + (((start - x1) % step) + step) % step;
  const int bpp = BytesPerPixel();
  for (uint8_t* row = Row(y); x <= x2; x += step) Put(row + ptrdiff_t(x) * bpp);
}

void TMMDIBTarget::VLine(int x, int y1, int y2) { VLineDotted(x, y1, y2, 1); }

void TMMDIBTarget::VLineDotted(int x, int y1, int y2, int step) {
  if (!bits_ || x < clip_.Left || x >= clip_.Right) return;
  if (step < 1) step = 1;
  if (y1 > y2) std::swap(y1, y2);
  const int start = y1;
  y1 = std::max(y1, clip_.Top);
  y2 = std::min(y2, clip_.Bottom - 1);
  int y = y1 + (((start - y1) % step) + step) % step;
  const ptrdiff_t off = ptrdiff_t(x) * BytesPerPixel();
  for (; y <= y2; y += step) Put(Row(y) + off);
}

void TMMDIBTarget::VColorRun(int x, int y1, int y2, const uint8_t* colors) {
  if (!bits_ || bpp_ != 8 || !colors || x < clip_.Left || x >= clip_.Right) return;
  const int dir = y2 >= y1 ? 1 : -1;
  const int n = std::abs(y2 - y1) + 1;
  for (int k = 0; k < n; ++k) {
    const int y = y1 + k * dir;
    if (y >= clip_.Top && y < clip_.Bottom) Row(y)[x] = colors[k];
  }
}

void TMMDIBTarget::FillRect(const TDIBRect& r) {
  for (int y = std::max(r.Top, clip_.Top); y < std::min(r.Bottom, clip_.Bottom); ++y) HLine(r.Left, r.Right - 1, y);
}

void TMMDIBTarget::FillRectDotted(const TDIBRect& r, bool dotted) {
  if (!dotted) {
    FillRect(r);
    return;
  }
  if (!bits_) return;
  // The dots keep their places relative to the rectangle's corner, wherever the clip cuts it.
  const int x0 = std::max(r.Left, clip_.Left), x1 = std::min(r.Right, clip_.Right);
  const int y0 = std::max(r.Top, clip_.Top), y1 = std::min(r.Bottom, clip_.Bottom);
  const int fx = x0 + ((x0 - r.Left) & 1), fy = y0 + ((y0 - r.Top) & 1);
  const int bpp = BytesPerPixel();
  for (int y = fy; y < y1; y += 2) {
    uint8_t* row = Row(y);
    if (bpp_ == 8) {
      for (int x = fx; x < x1; x += 2) row[x] = uint8_t(color_);
    } else {
      for (int x = fx; x < x1; x += 2) Put(row + ptrdiff_t(x) * bpp);
    }
  }
}

void TMMDIBTarget::InvertRect(const TDIBRect& r) {
  if (!bits_) return;
  const int l = std::max(r.Left, clip_.Left), rt = std::min(r.Right, clip_.Right);
  const int bpp = BytesPerPixel();
  for (int y = std::max(r.Top, clip_.Top); y < std::min(r.Bottom, clip_.Bottom); ++y) {
    uint8_t* row = Row(y);
    for (int x = l; x < rt; ++x) {
      uint8_t* p = row + ptrdiff_t(x) * bpp;
      if (bpp_ == 8) {
        *p ^= uint8_t(color_);
      } else {
        p[0] ^= uint8_t(color_ >> 16);
        p[1] ^= uint8_t(color_ >> 8);
        p[2] ^= uint8_t(color_);
      }
    }
  }
}

void TMMDIBTarget::Clear() {
  if (!bits_) return;
  for (int y = 0; y < height_; ++y) Span(0, width_ - 1, y);
}

void TMMDIBTarget::CopyRect(int x, int y, int w, int h, int sx, int sy, const uint8_t* source) {
  CopyFrom(x, y, w, h, sx, sy, source, width_, height_, stride_);
}

void TMMDIBTarget::CopyRect(int x, int y, int w, int h, int sx, int sy, const TMMDIBTarget& source) {
  if (source.bpp_ != bpp_) return;
  CopyFrom(x, y, w, h, sx, sy, source.bits_, source.width_, source.height_, source.stride_);
}

void TMMDIBTarget::CopyFrom(int x, int y, int w, int h, int sx, int sy, const uint8_t* source, int srcWidth,
                            int srcHeight, int srcStride) {
  if (!bits_ || !source || w <= 0 || h <= 0) return;
  // Clip against the destination's clip and the source's bounds together.
  const int l = std::max({x, clip_.Left, x - sx}), t = std::max({y, clip_.Top, y - sy});
  const int r = std::min({x + w, clip_.Right, x - sx + srcWidth}),
            b = std::min({y + h, clip_.Bottom, y - sy + srcHeight});
  if (r <= l || b <= t) return;
  const int bpp = BytesPerPixel();
  const size_t bytes = size_t(r - l) * size_t(bpp);
  for (int row = t; row < b; ++row) {
    const uint8_t* src = source + ptrdiff_t(row - y + sy) * srcStride + ptrdiff_t(l - x + sx) * bpp;
    std::memmove(Row(row) + ptrdiff_t(l) * bpp, src, bytes);
  }
}

void TMMDIBTarget::LineTo(int x, int y) {
  Line(penX_, penY_, x, y);
  penX_ = x;
  penY_ = y;
}

void TMMDIBTarget::Line(int x1, int y1, int x2, int y2) {
  if (!bits_) return;
  // Outcodes: a line wholly to one side of the clip draws nothing.
  auto code = [&](int x, int y) {
    return (x < clip_.Left ? 1 : 0) | (x >= clip_.Right ? 2 : 0) | (y < clip_.Top ? 4 : 0) |
           (y >= clip_.Bottom ? 8 : 0);
  };
  if (code(x1, y1) & code(x2, y2)) return;
  const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
  const int64_t adx = std::llabs(dx), ady = std::llabs(dy);
  const bool xMajor = adx >= ady;
  const int64_t major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
  const int sMajor = (xMajor ? dx : dy) < 0 ? -1 : 1, sMinor = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const int64_t m0 = xMajor ? x1 : y1, n0 = xMajor ? y1 : x1;
  // Only the steps whose major coordinate lies inside the clip are visited.
  const int64_t lo = xMajor ? clip_.Left : clip_.Top, hi = (xMajor ? clip_.Right : clip_.Bottom) - 1;
  int64_t i0, i1;
  if (sMajor > 0) {
    i0 = std::max<int64_t>(0, lo - m0);
    i1 = std::min<int64_t>(major, hi - m0);
  } else {
    i0 = std::max<int64_t>(0, m0 - hi);
    i1 = std::min<int64_t>(major, m0 - lo);
  }
  const int bpp = BytesPerPixel();
  for (int64_t i = i0; i <= i1; ++i) {
    // 128 bits: a far-away end point makes i * minor overflow 64.
    const int64_t n = major ? n0 + sMinor * int64_t((__int128(2) * i * minor + major) / (__int128(2) * major)) : n0;
    const int64_t m = m0 + sMajor * i;
    const int64_t px = xMajor ? m : n, py = xMajor ? n : m;
    if (px < clip_.Left || px >= clip_.Right || py < clip_.Top || py >= clip_.Bottom) continue;
    Put(Row(int(py)) + ptrdiff_t(px) * bpp);
  }
}

void TMMDIBTarget::FillEllipse(int cx, int cy, int rx, int ry) {
  if (!bits_ || rx < 0 || ry < 0) return;
  if (rx == 0 || ry == 0) {
    FillRect({cx - rx, cy - ry, cx + rx + 1, cy + ry + 1});
    return;
  }
  const double a2 = double(rx) * rx, b2 = double(ry) * ry;
  for (int dy = -ry; dy <= ry; ++dy) {
    const double f = 1.0 - double(dy) * dy / b2;
    const int half = int(std::sqrt(std::max(0.0, f) * a2) + 0.5);
    HLine(cx - half, cx + half, cy + dy);
  }
}
