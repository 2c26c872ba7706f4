#include "engine/MMDIB_ui.h"

#include <bit>
#include <utility>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "platform/audio/riff_io.h"

using plat::TBitmap;

namespace {

// A colour of a 32-bit row: 0xFFRRGGBB, the fourth byte unused and set.
using Rgb = uint32_t;
constexpr Rgb MakeRgb(int r, int g, int b) { return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }
constexpr int Red(Rgb c) { return int(c >> 16 & 0xFF); }
constexpr int Green(Rgb c) { return int(c >> 8 & 0xFF); }
constexpr int Blue(Rgb c) { return int(c & 0xFF); }

struct Channel {
  uint32_t mask = 0;
  int shift = 0, width = 0;
  explicit Channel(uint32_t m = 0) : mask(m), shift(m ? std::countr_zero(m) : 0), width(std::popcount(m)) {}
  int Get(uint32_t v) const {
    if (!width) return 0;
    uint32_t c = (v & mask) >> shift;
    return width >= 8 ? int(c >> (width - 8)) : int(c * 255 / ((1u << width) - 1));
  }
};

std::vector<Rgb> ColorTable(const void* dib) {
  std::vector<Rgb> table;
  if (DIBBitCount(dib) > 8) return table;
  const int es = DIBHeaderSize(dib) == kDIBCoreHeaderSize ? 3 : 4;
  const uint8_t* t = DIBColorTable(dib);
  table.resize(size_t(std::min(DIBNumColors(dib), 256)));
  for (size_t i = 0; i < table.size(); ++i) table[i] = MakeRgb(t[i * es + 2], t[i * es + 1], t[i * es]);
  return table;
}

// The red, green and blue masks of a 16- or 32-bit DIB.
void Masks(const void* dib, Channel& r, Channel& g, Channel& b) {
  const int bits = DIBBitCount(dib);
  if (DIBCompression(dib) == kDIBBitFields) {
    const uint8_t* m =
        DIBHeaderSize(dib) == kDIBInfoHeaderSize ? DIBColorTable(dib) : static_cast<const uint8_t*>(dib) + 40;
    r = Channel(plat::GetLE32(m));
    g = Channel(plat::GetLE32(m + 4));
    b = Channel(plat::GetLE32(m + 8));
  } else if (bits == 16) {
    r = Channel(0x7C00);
    g = Channel(0x03E0);
    b = Channel(0x001F);
  } else {
    r = Channel(0xFF0000);
    g = Channel(0x00FF00);
    b = Channel(0x0000FF);
  }
}

}  // namespace

bool DIBToImage(const void* dib, size_t size, TBitmap& image) {
  image.SetSize(0, 0);
  if (!DIBFits(dib, size)) return false;
  const uint32_t compression = DIBCompression(dib);
  if (compression == kDIBRLE8 || compression == kDIBRLE4) return false;
  const int w = DIBWidth(dib), h = std::abs(DIBHeight(dib)), bits = DIBBitCount(dib);
  const bool bottomUp = DIBHeight(dib) > 0;
  image.SetPixelFormat(plat::pfDevice);
  image.SetSize(w, h);
  if (image.Empty() || image.BytesPerLine() == 0) {
    image.SetSize(0, 0);
    return false;
  }
  const std::vector<Rgb> table = ColorTable(dib);
  auto color = [&](unsigned index) { return index < table.size() ? table[index] : MakeRgb(0, 0, 0); };
  Channel r, g, b;
  if (bits == 16 || bits == 32) Masks(dib, r, g, b);
  const size_t row = size_t(DIBRowBytes(int64_t(w) * bits));
  const uint8_t* pixels = DIBBits(dib);
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = pixels + size_t(bottomUp ? h - 1 - y : y) * row;
    auto* d = reinterpret_cast<Rgb*>(image.ScanLine(y));
    for (int x = 0; x < w; ++x) {
      switch (bits) {
        case 1: d[x] = color((s[x >> 3] >> (7 - (x & 7))) & 1); break;
        case 4: d[x] = color((s[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F); break;
        case 8: d[x] = color(s[x]); break;
        case 16: {
          uint32_t v = plat::GetLE16(s + 2 * x);
          d[x] = MakeRgb(r.Get(v), g.Get(v), b.Get(v));
          break;
        }
        case 24: d[x] = MakeRgb(s[3 * x + 2], s[3 * x + 1], s[3 * x]); break;
        default: {
          uint32_t v = plat::GetLE32(s + 4 * x);
          d[x] = MakeRgb(r.Get(v), g.Get(v), b.Get(v));
        }
      }
    }
  }
  image.Modified();
  return true;
}

bool DIBToBitmap(const void* dib, size_t size, TBitmap& bitmap, std::optional<TLogPalette>& palette) {
  if (!DIBToImage(dib, size, bitmap)) return false;
  palette = CreateDIBPalette(dib);
  return true;
}

void* BitmapToDIB(const TBitmap& bitmap, const TLogPalette* palette, int bits) {
  if (bitmap.Empty()) return nullptr;
  void* dib = CreateDIB(bits, bitmap.Width(), bitmap.Height(), true);
  if (!dib) return nullptr;
  bits = DIBBitCount(dib);
  uint8_t* header = static_cast<uint8_t*>(dib);
  if (bits <= 8 && palette && !palette->palPalEntry.empty()) {
    const size_t n = std::min(palette->palPalEntry.size(), size_t(1) << bits);
    uint8_t* t = DIBColorTable(dib);
    for (size_t i = 0; i < n; ++i) {
      const TPaletteEntry& e = palette->palPalEntry[i];
      t[4 * i] = e.peBlue;
      t[4 * i + 1] = e.peGreen;
      t[4 * i + 2] = e.peRed;
      t[4 * i + 3] = 0;
    }
    plat::PutLE32(header + 32, uint32_t(n));
  }
  // Read as 32-bit rows, whatever the bitmap's own format.
  TBitmap src;
  src.Assign(const_cast<TBitmap*>(&bitmap));
  src.SetPixelFormat(plat::pfDevice);
  const std::vector<Rgb> table = ColorTable(dib);
  std::unordered_map<Rgb, int> nearest;
  auto index = [&](Rgb c) {
    auto it = nearest.find(c);
    if (it != nearest.end()) return it->second;
    int best = 0;
    long bestDistance = -1;
    for (size_t i = 0; i < table.size(); ++i) {
      long dr = Red(c) - Red(table[i]), dg = Green(c) - Green(table[i]), db = Blue(c) - Blue(table[i]);
      long distance = dr * dr + dg * dg + db * db;
      if (bestDistance < 0 || distance < bestDistance) {
        bestDistance = distance;
        best = int(i);
      }
    }
    nearest.emplace(c, best);
    return best;
  };
  const int w = src.Width(), h = src.Height();
  const size_t row = size_t(DIBRowBytes(int64_t(w) * bits));
  uint8_t* pixels = DIBBits(dib);
  for (int y = 0; y < h; ++y) {
    uint8_t* d = pixels + size_t(h - 1 - y) * row;
    const auto* s = reinterpret_cast<const Rgb*>(std::as_const(src).ScanLine(y));
    for (int x = 0; x < w; ++x) {
      switch (bits) {
        case 1: d[x >> 3] = uint8_t(d[x >> 3] | (index(s[x]) << (7 - (x & 7)))); break;
        case 4: d[x >> 1] = uint8_t(d[x >> 1] | (index(s[x]) << ((x & 1) ? 0 : 4))); break;
        case 8: d[x] = uint8_t(index(s[x])); break;
        default:
          d[3 * x] = uint8_t(Blue(s[x]));
          d[3 * x + 1] = uint8_t(Green(s[x]));
          d[3 * x + 2] = uint8_t(Red(s[x]));
      }
    }
  }
  return dib;
}

void DrawDIB(const void* dib, size_t size, TBitmap& target, const plat::TRect& rect) {
  TBitmap img;
  if (!DIBToImage(dib, size, img)) return;
  plat::TPicture(img).StretchOn(target, rect);
}

bool DIBCanvasView(void* dib, TBitmap& view) {
  view.SetSize(0, 0);
  if (!dib) return false;
  const int w = DIBWidth(dib), h = std::abs(DIBHeight(dib)), bits = DIBBitCount(dib);
  const int row = DIBRowBytes(int64_t(w) * bits);
  uint8_t* pixels = DIBBits(dib);
  std::vector<uint32_t> table;
  for (Rgb c : ColorTable(dib)) table.push_back(c & 0xFFFFFF);
  switch (bits) {
    case 8:
      table.resize(256, 0);
      view.SetExternalPixels(pixels, w, h, row, plat::pf8bit, table);
      return true;
    case 24: view.SetExternalPixels(pixels, w, h, row, plat::pf24bit, {}); return true;
    case 1: view.SetExternalPixels(pixels, w, h, row, plat::pf1bit, table); return true;
    default: return false;
  }
}
