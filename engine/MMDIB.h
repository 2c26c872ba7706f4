#pragma once
// Packed device-independent bitmaps (one block: header, colour table, pixel rows) and logical
// palettes. Header fields are read and written field by field, little-endian.
//
// How a DIB maps to a bitmap (MMDIB_ui.h): bitmap row y (0 = top) is DIB row |height| - 1 - y for
// a positive height, as DIBs are stored bottom-up, and DIB row y for a negative height (top-down).
// The one deliberate exception are the display canvases: the blocks they take from CreateDIB keep
// their rows top-down in memory, so that a bitmap can show them without copying (DIBCanvasView).
// Such a block is flipped (FlipDIBRows) only when a DIB is read into it or written out of it,
// never while drawing.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

constexpr uint32_t kDIBInfoHeaderSize = 40;
constexpr uint32_t kDIBCoreHeaderSize = 12;
constexpr uint32_t kDIBRGB = 0, kDIBRLE8 = 1, kDIBRLE4 = 2, kDIBBitFields = 3;

struct TPaletteEntry {
  uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
  bool operator==(const TPaletteEntry&) const = default;
};
struct TLogPalette {
  uint16_t palVersion = 0x300;
  std::vector<TPaletteEntry> palPalEntry;
};

// The accessors below expect a DIB whose header is there; a DIB from outside is checked with
// DIBFits first.
bool IsWin30DIB(const void* dib);  // header size 40
void FreeDIB(void*& dib);
int32_t DIBRowBytes(int64_t bitsPerRow);  // rows are padded to 32 bits
uint32_t DIBHeaderSize(const void* dib);
int32_t DIBWidth(const void* dib);
int32_t DIBHeight(const void* dib);  // negative for a top-down DIB
int DIBBitCount(const void* dib);    // from the core header when the header is the old 12-byte one
uint32_t DIBCompression(const void* dib);
// Colours used when not 0; else 2^bits for 8 bits or fewer; else 0.
int DIBNumColors(const void* dib);
// Header, colour table (or the three masks of a 40-byte bit-field header) and pixels, in bytes:
// what a DIB needs, whatever its image size and colours-used fields say.
uint32_t DIBSize(const void* dib);
uint8_t* DIBColorTable(void* dib);
const uint8_t* DIBColorTable(const void* dib);
uint8_t* DIBBits(void* dib);
const uint8_t* DIBBits(const void* dib);
// The header is complete, its sizes are sane and everything DIBSize counts lies within size bytes.
bool DIBFits(const void* dib, size_t size);

// 256 entries: the twenty static colours at 0-9 and 246-255, black between.
TLogPalette CreateDefaultPalette();
// A zero-filled DIB of 1, 4, 8 or 24 bits (any other depth becomes 24), at least 1 x 1, with a
// 1024-byte colour table area and, when asked, room for its pixels. 4- and 8-bit tables hold the
// sixteen standard colours repeated; a 1-bit table is black and white. Null when it would not fit
// in memory.
void* CreateDIB(int bits, int width, int height, bool withPixels);
// The palette to draw a DIB with: its colour table, or for 24 bits a 256-colour cube; none for
// other depths without a table.
std::optional<TLogPalette> CreateDIBPalette(const void* dib);
// Reverses the order of the pixel rows in place (bottom-up <-> top-down); uncompressed only.
void FlipDIBRows(void* dib);
