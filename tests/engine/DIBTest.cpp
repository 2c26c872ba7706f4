#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/dib.h"
#include "engine/MMDIB.h"
#include "engine/MMUtils.h"
#include "platform/audio/riff_io.h"

namespace {

// A foreign DIB as other programs write them: 40-byte header, image size and colours used 0.
std::string ForeignDIB(int bits, int width, int height, int tableEntries) {
  std::string d = DIBHeader(bits, width, height);
  d += std::string(size_t(tableEntries) * 4, 'T');
  d += std::string(size_t(DIBRowBytes(int64_t(width) * bits) * std::abs(height)), 'P');
  return d;
}

}  // namespace

TEST(MMDIB, CreatedDIBsHaveTheirHeaderTableAndPixelArea) {
  EXPECT_EQ(DIBRowBytes(1), 4);
  EXPECT_EQ(DIBRowBytes(33), 8);
  EXPECT_EQ(DIBRowBytes(3 * 24), 12);

  DIBHolder d16(CreateDIB(16, 10, 3, true));
  EXPECT_EQ(DIBBitCount(d16.p), 24) << "depths without a table become 24";
  EXPECT_EQ(DIBNumColors(d16.p), 0);
  EXPECT_EQ(DIBBits(d16.p) - static_cast<uint8_t*>(d16.p), 40);
  EXPECT_EQ(DIBSize(d16.p), 40u + 32u * 3u);

  DIBHolder d8(CreateDIB(8, 0, -5, true));
  ASSERT_TRUE(IsWin30DIB(d8.p));
  EXPECT_EQ(DIBWidth(d8.p), 1);
  EXPECT_EQ(DIBHeight(d8.p), 1);
  EXPECT_EQ(DIBNumColors(d8.p), 256);
  EXPECT_EQ(DIBBits(d8.p) - static_cast<uint8_t*>(d8.p), 1064);
  EXPECT_GE(GlobalMemSize(d8.p), size_t(DIBSize(d8.p)));
  const uint8_t* t = DIBColorTable(d8.p);
  // The sixteen standard colours, sixteen times: entry 1 and 17 are dark red, 9 and 249 red.
  for (int i : {1, 17, 241}) EXPECT_EQ(std::memcmp(t + 4 * i, "\x00\x00\x80\x00", 4), 0) << i;
  for (int i : {9, 249}) EXPECT_EQ(std::memcmp(t + 4 * i, "\x00\x00\xff\x00", 4), 0) << i;
  EXPECT_EQ(std::memcmp(t + 4 * 255, "\xff\xff\xff\x00", 4), 0);

  DIBHolder d4(CreateDIB(4, 7, 2, false));
  EXPECT_EQ(DIBNumColors(d4.p), 16);
  EXPECT_EQ(plat::GetLE32(static_cast<uint8_t*>(d4.p) + 20), 0u) << "no pixel storage, no image size";
  DIBHolder d1(CreateDIB(1, 9, 2, true));
  EXPECT_EQ(DIBNumColors(d1.p), 2);
  EXPECT_EQ(std::memcmp(DIBColorTable(d1.p), "\x00\x00\x00\x00\xff\xff\xff\x00", 8), 0);
  EXPECT_EQ(DIBBits(d1.p) - static_cast<uint8_t*>(d1.p), 48);

  EXPECT_EQ(CreateDIB(24, 65536 * 4, 65536, true), nullptr) << "too large to hold";
}

TEST(MMDIB, ForeignDIBsAreMeasuredFromTheirDepthNotTheirOptionalFields) {
  std::string d = ForeignDIB(8, 3, 2, 256);
  EXPECT_EQ(DIBNumColors(d.data()), 256);
  EXPECT_EQ(DIBBits(d.data()) - reinterpret_cast<const uint8_t*>(d.data()), 40 + 1024);
  EXPECT_EQ(DIBSize(d.data()), d.size()) << "image size 0 and colours used 0 are legal";
  EXPECT_TRUE(DIBFits(d.data(), d.size()));
  EXPECT_FALSE(DIBFits(d.data(), d.size() - 1));

  std::string top = ForeignDIB(24, 2, -3, 0);
  EXPECT_EQ(DIBSize(top.data()), top.size());
  EXPECT_TRUE(DIBFits(top.data(), top.size()));

  // The old 12-byte core header with 3-byte table entries.
  std::string core(12, '\0');
  auto* h = reinterpret_cast<uint8_t*>(core.data());
  plat::PutLE32(h, 12);
  plat::PutLE16(h + 4, 5);
  plat::PutLE16(h + 6, 2);
  plat::PutLE16(h + 8, 1);
  plat::PutLE16(h + 10, 4);
  core += std::string(16 * 3 + 4 * 2, 'x');
  EXPECT_FALSE(IsWin30DIB(core.data()));
  EXPECT_EQ(DIBBitCount(core.data()), 4);
  EXPECT_EQ(DIBWidth(core.data()), 5);
  EXPECT_EQ(DIBSize(core.data()), core.size());
  EXPECT_TRUE(DIBFits(core.data(), core.size()));

  for (std::string bad : {ForeignDIB(7, 2, 2, 0), ForeignDIB(24, 0, 2, 0), ForeignDIB(24, 2, 0, 0),
                          ForeignDIB(24, 70000, 1, 0), std::string("\x28\0\0", 3)})
    EXPECT_FALSE(DIBFits(bad.data(), bad.size()));
  std::string huge = ForeignDIB(8, 1, 1, 0);
  plat::PutLE32(reinterpret_cast<uint8_t*>(huge.data()) + 32, 0xFFFFFFFF);
  EXPECT_FALSE(DIBFits(huge.data(), huge.size())) << "a colours-used field past any table";
}

TEST(MMDIB, Palettes) {
  TLogPalette def = CreateDefaultPalette();
  ASSERT_EQ(def.palPalEntry.size(), 256u);
  EXPECT_EQ(def.palVersion, 0x300);
  EXPECT_EQ(def.palPalEntry[9], (TPaletteEntry{166, 202, 240, 0}));
  EXPECT_EQ(def.palPalEntry[255], (TPaletteEntry{255, 255, 255, 0}));
  EXPECT_EQ(def.palPalEntry[246], (TPaletteEntry{255, 251, 240, 0}));
  for (int i = 10; i < 246; ++i) EXPECT_EQ(def.palPalEntry[size_t(i)], TPaletteEntry{}) << i;

  DIBHolder d24(CreateDIB(24, 2, 2, false));
  auto cube = CreateDIBPalette(d24.p);
  ASSERT_TRUE(cube);
  ASSERT_EQ(cube->palPalEntry.size(), 256u);
  EXPECT_EQ(cube->palPalEntry[1], (TPaletteEntry{32, 0, 0, 0}));
  EXPECT_EQ(cube->palPalEntry[8], (TPaletteEntry{0, 32, 0, 0}));
  EXPECT_EQ(cube->palPalEntry[64], (TPaletteEntry{0, 0, 64, 0}));
  EXPECT_EQ(cube->palPalEntry[255], (TPaletteEntry{224, 224, 192, 0}));

  DIBHolder d4(CreateDIB(4, 2, 2, false));
  auto table = CreateDIBPalette(d4.p);
  ASSERT_TRUE(table);
  ASSERT_EQ(table->palPalEntry.size(), 16u);
  EXPECT_EQ(table->palPalEntry[4], (TPaletteEntry{0, 0, 128, 0})) << "blue, green, red become red, green, blue";
  std::string d16 = ForeignDIB(16, 2, 2, 0);
  EXPECT_FALSE(CreateDIBPalette(d16.data()));
}

TEST(MMDIB, FlipReversesTheRows) {
  DIBHolder d(CreateDIB(8, 3, 3, true));
  uint8_t* bits = DIBBits(d.p);
  for (int r = 0; r < 3; ++r) std::memset(bits + 4 * r, 'a' + r, 3);
  FlipDIBRows(d.p);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bits), 12), std::string("ccc\0bbb\0aaa\0", 12));
}
