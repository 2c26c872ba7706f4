// The picture helpers of the stored forms: they need the framework's bitmaps.
#include <algorithm>
#include <vector>

#include "controls/ZelStreamUtils.h"
#include "platform/ui/graphics.h"

namespace {

// Colours as 0x00RRGGBB.
constexpr uint32_t Rgb(int r, int g, int b) { return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }

std::vector<uint32_t> TableFor(int bits) {
  std::vector<uint32_t> t;
  if (bits == 1) return {Rgb(0, 0, 0), Rgb(255, 255, 255)};
  static const uint32_t vga[16] = {Rgb(0, 0, 0),       Rgb(128, 0, 0),   Rgb(0, 128, 0),   Rgb(128, 128, 0),
                                   Rgb(0, 0, 128),     Rgb(128, 0, 128), Rgb(0, 128, 128), Rgb(128, 128, 128),
                                   Rgb(192, 192, 192), Rgb(255, 0, 0),   Rgb(0, 255, 0),   Rgb(255, 255, 0),
                                   Rgb(0, 0, 255),     Rgb(255, 0, 255), Rgb(0, 255, 255), Rgb(255, 255, 255)};
  for (uint32_t c : vga) t.push_back(c);
  if (bits == 4) return t;
  // Eight bits: the sixteen above, a 6 x 6 x 6 cube and a ramp of greys.
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) t.push_back(Rgb(r * 51, g * 51, b * 51));
  for (int i = 0; t.size() < 256; ++i) t.push_back(Rgb(8 + i * 10, 8 + i * 10, 8 + i * 10));
  return t;
}

void PutU16(std::string& b, uint16_t v) {
  b.push_back(char(v));
  b.push_back(char(v >> 8));
}
void PutU32(std::string& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(char(v >> (8 * i)));
}

}  // namespace

int BitCountForCode(plat::TBitmap& bitmap, int code) {
  if (bitmap.Monochrome()) return 1;
  switch (code) {
    case 2: return 1;
    case 16: return 4;
    case 256: return 8;
    case 0:
      switch (bitmap.PixelFormat()) {
        case plat::pf1bit: return 1;
        case plat::pf4bit: return 4;
        case plat::pf8bit: return 8;
        default: return 24;
      }
    default: return 24;
  }
}

void WriteBitmapAsDIB(plat::TStream& s, plat::TBitmap& bitmap, int bits) {
  if (bitmap.Empty()) throw plat::Exception("Bitmap image is not valid");
  if (bits != 1 && bits != 4 && bits != 8) bits = 24;
  const int w = bitmap.Width(), h = bitmap.Height();
  plat::TBitmap rgb, indexed;
  rgb.Assign(&bitmap);
  rgb.SetPixelFormat(plat::pf32bit);
  std::vector<uint32_t> table;
  if (bits < 24) {
    table = TableFor(bits);
    indexed.Assign(&rgb);
    indexed.MapToColors(table);
  }
  const uint32_t stride = uint32_t((w * bits + 31) / 32 * 4);
  const uint32_t imageSize = stride * uint32_t(h);
  const uint32_t colors = bits < 24 ? (1u << bits) : 0;
  const uint32_t offset = 14 + 40 + colors * 4;
  std::string b;
  b.reserve(offset + imageSize);
  PutU16(b, 0x4D42);
  PutU32(b, offset + imageSize);
  PutU16(b, 0);
  PutU16(b, 0);
  PutU32(b, offset);
  PutU32(b, 40);
  PutU32(b, uint32_t(w));
  PutU32(b, uint32_t(h));
  PutU16(b, 1);
  PutU16(b, uint16_t(bits));
  PutU32(b, 0);
  PutU32(b, imageSize);
  for (int i = 0; i < 4; ++i) PutU32(b, 0);
  for (uint32_t i = 0; i < colors; ++i) {
    const uint32_t c = i < uint32_t(table.size()) ? table[i] : 0;
    b.push_back(char(c & 0xFF));
    b.push_back(char(c >> 8 & 0xFF));
    b.push_back(char(c >> 16 & 0xFF));
    b.push_back(0);
  }
  std::string row(stride, '\0');
  for (int y = h - 1; y >= 0; --y) {
    std::fill(row.begin(), row.end(), '\0');
    for (int x = 0; x < w; ++x) {
      if (bits == 24) {
        const uint32_t c = plat::ColorToBGR(rgb.PixelColor(x, y));
        row[size_t(x) * 3] = char(plat::GetBValue(c));
        row[size_t(x) * 3 + 1] = char(plat::GetGValue(c));
        row[size_t(x) * 3 + 2] = char(plat::GetRValue(c));
      } else {
        const uint8_t v = uint8_t(indexed.PixelIndex(x, y));
        const size_t bit = size_t(x) * size_t(bits);
        const int shift = 8 - bits - int(bit % 8);
        row[bit / 8] = char(uint8_t(row[bit / 8]) | uint8_t(v << shift));
      }
    }
    b += row;
  }
  s.WriteBuffer(b.data(), int64_t(b.size()));
}

std::string BitmapToBytes(plat::TBitmap& bitmap, int code) {
  plat::TMemoryStream m;
  if (code == -1) bitmap.SaveToStream(m);
  else WriteBitmapAsDIB(m, bitmap, BitCountForCode(bitmap, code));
  return MemoryBytes(m);
}

void BitmapFromBytes(plat::TBitmap& bitmap, const std::string& bytes) {
  if (bytes.empty()) {
    bitmap.SetSize(0, 0);
    return;
  }
  plat::TMemoryStream m;
  SetMemoryBytes(m, bytes);
  bitmap.LoadFromStream(m);
}

void WriteGraphicData(plat::TStream& s, plat::TBitmap& bitmap, bool compressed, int code) {
  WriteDataBlock(s, BitmapToBytes(bitmap, code), compressed);
}

void ReadGraphicData(plat::TStream& s, plat::TBitmap& bitmap, bool compressed) {
  BitmapFromBytes(bitmap, ReadDataBlock(s, compressed));
}
