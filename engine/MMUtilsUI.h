#pragma once
// The engine's drawing routines: solid and banded fills, rotated text, transparent bitmaps, and
// the colour depth of the screen. They draw on a canvas and keep no state.
#include <string>

#include "platform/ui/graphics.h"

using plat::TBitmap;
using plat::TCanvas;
using plat::TColor;
using plat::TRect;

// Fills r with one colour through a solid brush; the canvas's own brush is left as it was.
void FillSolidRect(TCanvas& dc, TColor color, const TRect& r);
// n vertical bands across r, from colour `from` at the left to `to` at the right: band i spans
// MulDiv(i, width, n) .. MulDiv(i + 1, width, n) from the left, each channel
// from + MulDiv(i, to - from, n - 1). With n < 2 the whole rectangle has the first colour.
void FillGradientBands(TCanvas& dc, TColor from, TColor to, const TRect& r, int n);
// Text in a font of the given height and name, upright for alignments 0 and 1, turned a quarter
// counter-clockwise for 2. Alignment 1 ends the text at x; 2 centres it across x and runs it
// upwards from y; 0 and 1 centre it vertically on y. The canvas's font is left as it was.
void DrawRotatedText(TCanvas& canvas, int x, int y, int alignment, int height, const std::string& fontName,
                     const std::string& text);
// Copies the bitmap to (x, y) leaving out the pixels of the transparent colour (the bitmap's
// bottom-left pixel when clDefault), through monochrome masks.
void DrawTransparentBitmap(TCanvas& dc, int x, int y, TBitmap& bitmap, TColor transparent = plat::clDefault);
int BitmapWidth(const TBitmap& bitmap);
int BitmapHeight(const TBitmap& bitmap);
// The colour of the bitmap at (x, y), the point moved into the bitmap when it lies outside.
TColor BitmapPixelColor(const TBitmap& bitmap, int x, int y);
// Bits per pixel of the screen.
int GetScreenColorBits();
