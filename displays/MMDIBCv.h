#pragma once
// The pixel routines of the fast displays and the colour table of their 8-bit canvases. Qt-free:
// a drawing target is a plain block of pixel rows, kept top-down in memory (row 0 is the top), 8
// bits per pixel with a 256-entry colour table or 24 bits per pixel as blue, green, red.
//
// Every canvas has its own target, handed out by its BeginDraw; the routines draw only through the
// target they are called on, so a drawing opened on a second canvas never redirects the first.
#include <array>
#include <cstdint>
#include <vector>

#include "engine/MMDIB.h"
#include "engine/MMObj.h"
#include "platform/ui/colors.h"

MM_EXCEPTION(EMMDIBError)

// Entries 0..9 and 246..255 of an 8-bit canvas hold the static colours; the background picture's
// or the supplied palette's colours and the animated ones share 10..245.
constexpr int kDIBFirstFree = 10;
constexpr int kDIBLastFree = 245;
constexpr int kDIBMaxAnimated = kDIBLastFree - kDIBFirstFree + 1;  // 236
constexpr uint8_t kPaletteReserved = 0x01, kPaletteNoCollapse = 0x04;

using TDIBColorTable = std::array<TPaletteEntry, 256>;

// The colour table of an 8-bit canvas: the static colours, then entries 10..245 from source (when
// given; entries beyond its length stay black) with the no-collapse flag, and the last
// animatedCount of those entries (ending at 245) taken by the animated colours with the reserved
// flag. animated[i] is colour i; missing ones are black.
TDIBColorTable MakeCanvasColorTable(const TLogPalette* source, int animatedCount,
                                    const std::vector<TPaletteEntry>& animated);
// The first entry at the least distance from a 0x00BBGGRR colour.
int NearestColorIndex(const TDIBColorTable& table, uint32_t bgr);
// The index of animated colour i of a table with count animated colours.
inline int AnimatedColorIndex(int count, int i) { return kDIBLastFree - count + 1 + i; }

// A rectangle in pixels whose right and bottom edges lie outside it.
struct TDIBRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TDIBRect&) const = default;
};

class TMMDIBTarget {
public:
  // Points the routines at rows of pixels; background (may be null) is a picture of the same
  // format under the drawing. The clip becomes the whole target and the pen goes to (0, 0).
  void Attach(uint8_t* bits, const uint8_t* background, int bitsPerPixel, int width, int height, int stride,
              const TDIBColorTable* table);
  void Detach();
  bool Attached() const { return bits_ != nullptr; }

  int BitsPerPixel() const { return bpp_; }
  int BytesPerPixel() const { return bpp_ / 8; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return stride_; }
  uint8_t* Bits() const { return bits_; }
  const uint8_t* BackgroundBits() const { return background_; }
  uint8_t* Row(int y) const { return bits_ + ptrdiff_t(y) * stride_; }

  // Clipped to the target itself.
  void SetClipRect(const TDIBRect& r);
  TDIBRect ClipRect() const { return clip_; }

  // The drawing colour: a colour word from ColorWord, or a raw palette index (8 bits) or
  // 0x00BBGGRR value (24 bits).
  void SetColor(plat::TColor c) { color_ = ColorWord(c); }
  void SetRawColor(uint32_t raw) { color_ = bpp_ == 8 ? raw & 0xFF : raw & 0xFFFFFF; }
  uint32_t Color() const { return color_; }
  // 8 bits: the nearest entry of the colour table (a palette-index colour, high byte 1, names its
  // entry); 24 bits: the colour's 0x00BBGGRR value.
  uint32_t ColorWord(plat::TColor c) const;

  // The stored value of a pixel (index or 0x00BBGGRR); 0 outside.
  uint32_t Pixel(int x, int y) const;

  void SetPixel(int x, int y);
  void MoveTo(int x, int y) {
    penX_ = x;
    penY_ = y;
  }
  void PenPos(int& x, int& y) const {
    x = penX_;
    y = penY_;
  }
  // Both end points are drawn; the pen moves to (x, y).
  void LineTo(int x, int y);
  void Line(int x1, int y1, int x2, int y2);
  // Spans include both ends, in either order.
  void HLine(int x1, int x2, int y);
  void HLineDotted(int x1, int x2, int y, int step);
  void VLine(int x, int y1, int y2);
  void VLineDotted(int x, int y1, int y2, int step);
  // 8 bits only: the pixel k rows from y1 (towards y2) takes colours[k].
  void VColorRun(int x, int y1, int y2, const uint8_t* colors);
  void FillRect(const TDIBRect& r);
  void InvertRect(const TDIBRect& r);
  // Dotted: every second pixel of every second row, counted from the rectangle's corner.
  void FillRectDotted(const TDIBRect& r, bool dotted);
  // The whole target, whatever the clip.
  void Clear();
  // Copies w x h pixels at (sx, sy) of a block of the same format, width and height to (x, y).
  void CopyRect(int x, int y, int w, int h, int sx, int sy, const uint8_t* source);
  // The same from another target; nothing when the pixel formats differ. Only what lies inside
  // both is copied.
  void CopyRect(int x, int y, int w, int h, int sx, int sy, const TMMDIBTarget& source);
  void FillEllipse(int cx, int cy, int rx, int ry);

private:
  bool ClipSpan(int& x1, int& x2, int y) const;
  void CopyFrom(int x, int y, int w, int h, int sx, int sy, const uint8_t* bits, int width, int height, int stride);
  void Put(uint8_t* p) const;
  void Span(int x1, int x2, int y);  // clipped, x1 <= x2

  uint8_t* bits_ = nullptr;
  const uint8_t* background_ = nullptr;
  const TDIBColorTable* table_ = nullptr;
  int bpp_ = 8, width_ = 0, height_ = 0, stride_ = 0;
  TDIBRect clip_;
  int penX_ = 0, penY_ = 0;
  uint32_t color_ = 0;
};
