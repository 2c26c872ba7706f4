#include "engine/MMDIB_qt.h"

#include <QHash>
#include <QPainter>

#include <bit>
#include <cstdlib>
#include <vector>

#include "platform/audio/riff_io.h"

namespace {

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

std::vector<QRgb> ColorTable(const void* dib) {
  std::vector<QRgb> table;
  if (DIBBitCount(dib) > 8) return table;
  const int es = DIBHeaderSize(dib) == kDIBCoreHeaderSize ? 3 : 4;
  const uint8_t* t = DIBColorTable(dib);
  table.resize(size_t(std::min(DIBNumColors(dib), 256)));
  for (size_t i = 0; i < table.size(); ++i) table[i] = qRgb(t[i * es + 2], t[i * es + 1], t[i * es]);
  return table;
}

// The red, green and blue masks of a 16- or 32-bit DIB.
void Masks(const void* dib, Channel& r, Channel& g, Channel& b) {
  const int bits = DIBBitCount(dib);
  if (DIBCompression(dib) == kDIBBitFields) {
    const uint8_t* m = DIBHeaderSize(dib) == kDIBInfoHeaderSize ? DIBColorTable(dib)
                                                                : static_cast<const uint8_t*>(dib) + 40;
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

QImage DIBToImage(const void* dib, size_t size) {
  if (!DIBFits(dib, size)) return {};
  const uint32_t compression = DIBCompression(dib);
  if (compression == kDIBRLE8 || compression == kDIBRLE4) return {};
  const int w = DIBWidth(dib), h = std::abs(DIBHeight(dib)), bits = DIBBitCount(dib);
  const bool bottomUp = DIBHeight(dib) > 0;
  QImage img(w, h, QImage::Format_RGB32);
  if (img.isNull()) return {};
  const std::vector<QRgb> table = ColorTable(dib);
  auto color = [&](unsigned index) { return index < table.size() ? table[index] : qRgb(0, 0, 0); };
  Channel r, g, b;
  if (bits == 16 || bits == 32) Masks(dib, r, g, b);
  const size_t row = size_t(DIBRowBytes(int64_t(w) * bits));
  const uint8_t* pixels = DIBBits(dib);
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = pixels + size_t(bottomUp ? h - 1 - y : y) * row;
    auto* d = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < w; ++x) {
      switch (bits) {
        case 1: d[x] = color((s[x >> 3] >> (7 - (x & 7))) & 1); break;
        case 4: d[x] = color((s[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F); break;
        case 8: d[x] = color(s[x]); break;
        case 16: {
          uint32_t v = plat::GetLE16(s + 2 * x);
          d[x] = qRgb(r.Get(v), g.Get(v), b.Get(v));
          break;
        }
        case 24: d[x] = qRgb(s[3 * x + 2], s[3 * x + 1], s[3 * x]); break;
        default: {
          uint32_t v = plat::GetLE32(s + 4 * x);
          d[x] = qRgb(r.Get(v), g.Get(v), b.Get(v));
        }
      }
    }
  }
  return img;
}

bool DIBToBitmap(const void* dib, size_t size, QImage& bitmap, std::optional<TLogPalette>& palette) {
  QImage img = DIBToImage(dib, size);
  if (img.isNull()) return false;
  bitmap = img;
  palette = CreateDIBPalette(dib);
  return true;
}

void* BitmapToDIB(const QImage& bitmap, const TLogPalette* palette, int bits) {
  if (bitmap.isNull()) return nullptr;
  void* dib = CreateDIB(bits, bitmap.width(), bitmap.height(), true);
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
  const QImage src = bitmap.convertToFormat(QImage::Format_RGB32);
  const std::vector<QRgb> table = ColorTable(dib);
  QHash<QRgb, int> nearest;
  auto index = [&](QRgb c) {
    auto it = nearest.constFind(c);
    if (it != nearest.constEnd()) return *it;
    int best = 0;
    long bestDistance = -1;
    for (size_t i = 0; i < table.size(); ++i) {
      long dr = qRed(c) - qRed(table[i]), dg = qGreen(c) - qGreen(table[i]), db = qBlue(c) - qBlue(table[i]);
      long distance = dr * dr + dg * dg + db * db;
      if (bestDistance < 0 || distance < bestDistance) {
        bestDistance = distance;
        best = int(i);
      }
    }
    nearest.insert(c, best);
    return best;
  };
  const int w = src.width(), h = src.height();
  const size_t row = size_t(DIBRowBytes(int64_t(w) * bits));
  uint8_t* pixels = DIBBits(dib);
  for (int y = 0; y < h; ++y) {
    uint8_t* d = pixels + size_t(h - 1 - y) * row;
    const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
    for (int x = 0; x < w; ++x) {
      switch (bits) {
        case 1: d[x >> 3] = uint8_t(d[x >> 3] | (index(s[x]) << (7 - (x & 7)))); break;
        case 4: d[x >> 1] = uint8_t(d[x >> 1] | (index(s[x]) << ((x & 1) ? 0 : 4))); break;
        case 8: d[x] = uint8_t(index(s[x])); break;
        default:
          d[3 * x] = uint8_t(qBlue(s[x]));
          d[3 * x + 1] = uint8_t(qGreen(s[x]));
          d[3 * x + 2] = uint8_t(qRed(s[x]));
      }
    }
  }
  return dib;
}

void DrawDIB(const void* dib, size_t size, QPainter& painter, const QRect& rect) {
  QImage img = DIBToImage(dib, size);
  if (img.isNull()) return;
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(rect, img);
  painter.restore();
}

QImage DIBCanvasImage(void* dib) {
  if (!dib) return {};
  const int w = DIBWidth(dib), h = std::abs(DIBHeight(dib)), bits = DIBBitCount(dib);
  const qsizetype row = DIBRowBytes(int64_t(w) * bits);
  uchar* pixels = DIBBits(dib);
  switch (bits) {
    case 8: {
      QImage img(pixels, w, h, row, QImage::Format_Indexed8);
      std::vector<QRgb> table = ColorTable(dib);
      table.resize(256, qRgb(0, 0, 0));
      img.setColorTable(QList<QRgb>(table.begin(), table.end()));
      return img;
    }
    case 24:
      return QImage(pixels, w, h, row, QImage::Format_BGR888);
    case 1: {
      QImage img(pixels, w, h, row, QImage::Format_Mono);
      std::vector<QRgb> table = ColorTable(dib);
      img.setColorTable(QList<QRgb>(table.begin(), table.end()));
      return img;
    }
    default:
      return {};
  }
}
