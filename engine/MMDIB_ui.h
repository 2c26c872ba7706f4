#pragma once
// DIBs and bitmaps, by the mapping described in MMDIB.h.
#include <optional>

#include "engine/MMDIB.h"
#include "platform/ui/graphics.h"

// A copy of a DIB of size bytes as a 32-bit bitmap (pfDevice), rows top to bottom; false, and an
// empty image, for a DIB that does not fit its size or is compressed with run lengths.
bool DIBToImage(const void* dib, size_t size, plat::TBitmap& image);
// The device bitmap of a DIB and the palette to draw it with; false when the DIB cannot be read.
bool DIBToBitmap(const void* dib, size_t size, plat::TBitmap& bitmap, std::optional<TLogPalette>& palette);
// A new DIB (CreateDIB's depths) holding the bitmap's pixels, stored bottom-up. For 8 bits or
// fewer the colour table is the palette's first entries when one is given, else CreateDIB's; each
// pixel takes the nearest colour. Null for an empty bitmap. Free with FreeDIB.
void* BitmapToDIB(const plat::TBitmap& bitmap, const TLogPalette* palette, int bits);
// Stretches the whole DIB over rect of target without smoothing.
void DrawDIB(const void* dib, size_t size, plat::TBitmap& target, const plat::TRect& rect);
// Makes view a picture over a canvas block from CreateDIB whose rows are kept top-down, without
// copying: 8 bits (with the block's colour table), 24 or 1 by its depth; false, and view empty,
// for 4-bit blocks. The block must outlive the view.
bool DIBCanvasView(void* dib, plat::TBitmap& view);
