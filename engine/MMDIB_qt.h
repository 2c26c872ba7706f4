#pragma once
// DIBs and QImages, by the mapping described in MMDIB.h.
#include <QImage>
#include <QRect>

#include <optional>

#include "engine/MMDIB.h"

class QPainter;

// A copy of a DIB of size bytes as a 32-bit image, rows top to bottom; a null image for a DIB that
// does not fit its size or is compressed with run lengths.
QImage DIBToImage(const void* dib, size_t size);
// The device bitmap of a DIB and the palette to draw it with; false when the DIB cannot be read.
bool DIBToBitmap(const void* dib, size_t size, QImage& bitmap, std::optional<TLogPalette>& palette);
// A new DIB (CreateDIB's depths) holding the image's pixels, stored bottom-up. For 8 bits or fewer
// the colour table is the palette's first entries when one is given, else CreateDIB's; each pixel
// takes the nearest colour. Null for a null image. Free with FreeDIB.
void* BitmapToDIB(const QImage& bitmap, const TLogPalette* palette, int bits);
// Stretches the whole DIB into rect without smoothing.
void DrawDIB(const void* dib, size_t size, QPainter& painter, const QRect& rect);
// A view without copying of a canvas block from CreateDIB whose rows are kept top-down: Indexed8
// (with the block's colour table), BGR888 or Mono by its depth; null for 4-bit blocks, which Qt
// has no format for. The block must outlive the image.
QImage DIBCanvasImage(void* dib);
