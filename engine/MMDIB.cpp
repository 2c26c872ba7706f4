#include "engine/MMDIB.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/MMUtils.h"
#include "platform/audio/riff_io.h"

using plat::GetLE16;
using plat::GetLE32;
using plat::PutLE16;
using plat::PutLE32;

namespace {

const uint8_t* B(const void* p) { return static_cast<const uint8_t*>(p); }
int32_t GetI32(const uint8_t* p) { return int32_t(GetLE32(p)); }

// The sixteen standard colours as red, green, blue.
const uint8_t kStandard[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                  {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                  {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                  {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

const uint8_t kStaticLow[10][3] = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
                                   {128, 0, 128}, {0, 128, 128}, {192, 192, 192}, {192, 220, 192}, {166, 202, 240}};
const uint8_t kStaticHigh[10][3] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},   {0, 255, 0},
                                    {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255}, {255, 255, 255}};

bool IsCore(const void* dib) { return GetLE32(B(dib)) == kDIBCoreHeaderSize; }

int EntrySize(const void* dib) { return IsCore(dib) ? 3 : 4; }

// Bytes of the colour table, or of the masks of a 40-byte bit-field header.
int64_t TableBytes(const void* dib) {
  if (!IsCore(dib) && DIBCompression(dib) == kDIBBitFields) return GetLE32(B(dib)) == kDIBInfoHeaderSize ? 12 : 0;
  return int64_t(DIBNumColors(dib)) * EntrySize(dib);
}

int64_t ImageBytes(const void* dib) {
  uint32_t c = DIBCompression(dib);
  if (!IsCore(dib) && (c == kDIBRLE8 || c == kDIBRLE4)) return GetLE32(B(dib) + 20);
  int64_t h = std::llabs(int64_t(DIBHeight(dib)));
  return int64_t(DIBRowBytes(int64_t(DIBWidth(dib)) * DIBBitCount(dib))) * h;
}

int64_t Bytes64(const void* dib) { return int64_t(DIBHeaderSize(dib)) + TableBytes(dib) + ImageBytes(dib); }

}  // namespace

bool IsWin30DIB(const void* dib) { return dib && GetLE32(B(dib)) == kDIBInfoHeaderSize; }

void FreeDIB(void*& dib) { GlobalFreeMem(dib); }

int32_t DIBRowBytes(int64_t bitsPerRow) {
  int64_t r = (bitsPerRow + 31) / 32 * 4;
  return r > INT32_MAX ? INT32_MAX : int32_t(std::max<int64_t>(r, 0));
}

uint32_t DIBHeaderSize(const void* dib) { return dib ? GetLE32(B(dib)) : 0; }

int32_t DIBWidth(const void* dib) {
  if (!dib) return 0;
  return IsCore(dib) ? int32_t(GetLE16(B(dib) + 4)) : GetI32(B(dib) + 4);
}

int32_t DIBHeight(const void* dib) {
  if (!dib) return 0;
  return IsCore(dib) ? int32_t(GetLE16(B(dib) + 6)) : GetI32(B(dib) + 8);
}

int DIBBitCount(const void* dib) {
  if (!dib) return 0;
  return IsCore(dib) ? GetLE16(B(dib) + 10) : GetLE16(B(dib) + 14);
}

uint32_t DIBCompression(const void* dib) { return dib && !IsCore(dib) ? GetLE32(B(dib) + 16) : kDIBRGB; }

int DIBNumColors(const void* dib) {
  if (!dib) return 0;
  if (!IsCore(dib)) {
    uint32_t used = GetLE32(B(dib) + 32);
    if (used) return used > 0x7FFFFFFF ? 0x7FFFFFFF : int(used);
  }
  int bits = DIBBitCount(dib);
  return bits >= 1 && bits <= 8 ? 1 << bits : 0;
}

uint32_t DIBSize(const void* dib) {
  if (!dib) return 0;
  int64_t n = Bytes64(dib);
  return n > int64_t(UINT32_MAX) ? UINT32_MAX : uint32_t(n);
}

uint8_t* DIBColorTable(void* dib) { return dib ? static_cast<uint8_t*>(dib) + DIBHeaderSize(dib) : nullptr; }
const uint8_t* DIBColorTable(const void* dib) { return dib ? B(dib) + DIBHeaderSize(dib) : nullptr; }
uint8_t* DIBBits(void* dib) { return dib ? DIBColorTable(dib) + TableBytes(dib) : nullptr; }
const uint8_t* DIBBits(const void* dib) { return dib ? DIBColorTable(dib) + TableBytes(dib) : nullptr; }

bool DIBFits(const void* dib, size_t size) {
  if (!dib || size < 4) return false;
  uint32_t header = GetLE32(B(dib));
  if (header != kDIBCoreHeaderSize && (header < kDIBInfoHeaderSize || header > 1024)) return false;
  if (size < header) return false;
  const int32_t w = DIBWidth(dib), h = DIBHeight(dib);
  const int bits = DIBBitCount(dib);
  if (w <= 0 || h == 0 || h == INT32_MIN || w > 65536 || std::abs(h) > 65536) return false;
  const uint32_t c = DIBCompression(dib);
  switch (bits) {
    case 1:
    case 4:
    case 8:
    case 24:
      if (c != kDIBRGB && !(c == kDIBRLE8 && bits == 8) && !(c == kDIBRLE4 && bits == 4)) return false;
      break;
    case 16:
    case 32:
      if (IsCore(dib) || (c != kDIBRGB && c != kDIBBitFields)) return false;
      break;
    default: return false;
  }
  if ((c == kDIBRLE8 || c == kDIBRLE4) && h < 0) return false;
  // Masks live behind a 40-byte header, or inside a header of 52 bytes or more.
  if (c == kDIBBitFields && header > kDIBInfoHeaderSize && header < 52) return false;
  if (!IsCore(dib) && GetLE32(B(dib) + 32) > 65536) return false;
  return Bytes64(dib) <= int64_t(size);
}

TLogPalette CreateDefaultPalette() {
  // The screens of this platform are true colour: the static colours are the fixed ones.
  TLogPalette pal;
  pal.palPalEntry.resize(256);
  for (int i = 0; i < 10; ++i) {
    pal.palPalEntry[size_t(i)] = {kStaticLow[i][0], kStaticLow[i][1], kStaticLow[i][2], 0};
    pal.palPalEntry[size_t(246 + i)] = {kStaticHigh[i][0], kStaticHigh[i][1], kStaticHigh[i][2], 0};
  }
  return pal;
}

void* CreateDIB(int bits, int width, int height, bool withPixels) {
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) bits = 24;
  width = std::max(width, 1);
  height = std::max(height, 1);
  const int64_t rowBytes = DIBRowBytes(int64_t(width) * bits);
  const int64_t image = rowBytes * height;
  const int64_t total = kDIBInfoHeaderSize + 256 * 4 + (withPixels ? image : 0);
  if (total > int64_t(INT32_MAX)) return nullptr;
  void* dib;
  try {
    dib = GlobalAllocMem(size_t(total));
  } catch (...) {
    return nullptr;
  }
  uint8_t* h = static_cast<uint8_t*>(dib);
  const uint32_t used = bits == 4 ? 16 : bits == 8 ? 256 : 0;
  PutLE32(h + 0, kDIBInfoHeaderSize);
  PutLE32(h + 4, uint32_t(width));
  PutLE32(h + 8, uint32_t(height));
  PutLE16(h + 12, 1);
  PutLE16(h + 14, uint16_t(bits));
  PutLE32(h + 16, kDIBRGB);
  PutLE32(h + 20, withPixels ? uint32_t(image) : 0);
  PutLE32(h + 32, used);
  uint8_t* table = h + kDIBInfoHeaderSize;
  for (uint32_t i = 0; i < used; ++i) {
    const uint8_t* rgb = kStandard[i % 16];
    table[4 * i + 0] = rgb[2];
    table[4 * i + 1] = rgb[1];
    table[4 * i + 2] = rgb[0];
  }
  if (bits == 1) std::memset(table + 4, 0xFF, 3);  // black and white
  return dib;
}

std::optional<TLogPalette> CreateDIBPalette(const void* dib) {
  if (!dib) return std::nullopt;
  const int n = DIBNumColors(dib);
  TLogPalette pal;
  if (n == 0 || (!IsCore(dib) && DIBCompression(dib) == kDIBBitFields)) {
    if (DIBBitCount(dib) != 24) return std::nullopt;
    // A colour cube: red fastest in steps of 32, then green in 32, then blue in 64.
    pal.palPalEntry.reserve(256);
    for (int b = 0; b < 4; ++b)
      for (int g = 0; g < 8; ++g)
        for (int r = 0; r < 8; ++r) pal.palPalEntry.push_back({uint8_t(r * 32), uint8_t(g * 32), uint8_t(b * 64), 0});
    return pal;
  }
  const uint8_t* t = DIBColorTable(dib);
  const int es = EntrySize(dib);
  pal.palPalEntry.resize(size_t(std::min(n, 256)));
  for (size_t i = 0; i < pal.palPalEntry.size(); ++i)
    pal.palPalEntry[i] = {t[i * size_t(es) + 2], t[i * size_t(es) + 1], t[i * size_t(es)], 0};
  return pal;
}

void FlipDIBRows(void* dib) {
  if (!dib || (!IsCore(dib) && (DIBCompression(dib) == kDIBRLE8 || DIBCompression(dib) == kDIBRLE4))) return;
  const size_t row = size_t(DIBRowBytes(int64_t(DIBWidth(dib)) * DIBBitCount(dib)));
  const int32_t h = std::abs(DIBHeight(dib));
  uint8_t* bits = DIBBits(dib);
  std::vector<uint8_t> tmp(row);
  for (int32_t top = 0, bottom = h - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = bits + size_t(top) * row;
    uint8_t* b = bits + size_t(bottom) * row;
    std::memcpy(tmp.data(), a, row);
    std::memcpy(a, b, row);
    std::memcpy(b, tmp.data(), row);
  }
}
