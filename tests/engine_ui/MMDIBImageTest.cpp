#include <gtest/gtest.h>

#include <QImage>

#include <cstring>
#include <string>

#include "common/bytes.h"
#include "common/dib.h"
#include "engine/MMDIB_ui.h"
#include "engine/MMUtils.h"
#include "platform/audio/riff_io.h"
#include "platform/ui/native_qt.h"

namespace {

QImage Picture() {
  // Four distinct rows so that any flip shows.
  QImage img(3, 4, QImage::Format_RGB32);
  const QRgb rows[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 3; ++x) img.setPixel(x, y, x == 1 ? qRgb(0, 0, 0) : rows[y]);
  return img;
}

// The DIB read into a bitmap, as a Qt image (null when it cannot be read).
QImage DIBToImage(const void* dib, size_t size) {
  plat::TBitmap b;
  if (!::DIBToImage(dib, size, b)) return {};
  return plat::ImageOf(b);
}

void* BitmapToDIB(const QImage& img, const TLogPalette* palette, int bits) {
  plat::TBitmap b;
  if (!img.isNull()) plat::SetImage(b, img);
  return ::BitmapToDIB(b, palette, bits);
}

QImage DIBCanvasImage(void* dib) {
  plat::TBitmap view;
  if (!DIBCanvasView(dib, view)) return {};
  return plat::ImageOf(view);
}

}  // namespace

TEST(MMDIBImage, TrueColourRoundTripStoresRowsBottomUp) {
  DIBHolder d(BitmapToDIB(Picture(), nullptr, 24));
  ASSERT_TRUE(d.p);
  EXPECT_EQ(DIBHeight(d.p), 4);
  const uint8_t* bits = DIBBits(d.p);
  // The first stored row is the bottom row of the picture (white), blue-green-red per pixel.
  EXPECT_EQ(std::memcmp(bits, "\xff\xff\xff\x00\x00\x00\xff\xff\xff", 9), 0);
  EXPECT_EQ(std::memcmp(bits + 3 * 12, "\x00\x00\xff", 3), 0) << "the top row, red, comes last";
  QImage back = DIBToImage(d.p, DIBSize(d.p));
  EXPECT_EQ(back, Picture());
}

TEST(MMDIBImage, PaletteDepthsTakeTheNearestColour) {
  // The standard table holds these exact colours.
  for (int bits : {1, 4, 8}) {
    QImage pic = Picture();
    if (bits == 1) pic.fill(qRgb(255, 255, 255)), pic.setPixel(1, 2, qRgb(0, 0, 0));
    DIBHolder d(BitmapToDIB(pic, nullptr, bits));
    ASSERT_TRUE(d.p) << bits;
    EXPECT_EQ(DIBBitCount(d.p), bits);
    EXPECT_EQ(DIBToImage(d.p, DIBSize(d.p)), pic) << bits << " bits";
  }
  QImage grey(2, 1, QImage::Format_RGB32);
  grey.setPixel(0, 0, qRgb(200, 190, 185));
  grey.setPixel(1, 0, qRgb(250, 10, 20));
  DIBHolder d(BitmapToDIB(grey, nullptr, 8));
  EXPECT_EQ(DIBBits(d.p)[0], 7) << "light grey (192)";
  EXPECT_EQ(DIBBits(d.p)[1], 9) << "red";

  TLogPalette pal;
  pal.palPalEntry = {{10, 10, 10, 0}, {250, 10, 20, 0}};
  DIBHolder p(BitmapToDIB(grey, &pal, 8));
  EXPECT_EQ(DIBNumColors(p.p), 2) << "the palette's entries make the table";
  EXPECT_EQ(DIBBits(p.p)[0], 1);
  EXPECT_EQ(DIBBits(p.p)[1], 1);
  EXPECT_EQ(DIBToImage(p.p, DIBSize(p.p)).pixel(1, 0), qRgb(250, 10, 20));
  EXPECT_EQ(BitmapToDIB(QImage(), nullptr, 24), nullptr);
}

TEST(MMDIBImage, ForeignLayoutsRead) {
  // 8-bit, colours used 0, a top-down 2 x 2.
  std::string d8 = DIBHeader(8, 2, -2);
  for (int i = 0; i < 256; ++i) d8 += std::string{char(i), char(255 - i), char(i / 2), 0};
  d8 += std::string("\x01\x02\0\0\x03\x04\0\0", 8);
  QImage img = DIBToImage(d8.data(), d8.size());
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(img.pixel(0, 0), qRgb(0, 254, 1)) << "top-down: the first row is the top";
  EXPECT_EQ(img.pixel(1, 1), qRgb(2, 251, 4));

  // 16-bit 5-5-5 and 32-bit with bit-field masks (40-byte header, masks behind it).
  std::string d16 = DIBHeader(16, 1, 1) + LE16(0x7C00) + LE16(0);
  EXPECT_EQ(DIBToImage(d16.data(), d16.size()).pixel(0, 0), qRgb(255, 0, 0));
  std::string d32 = DIBHeader(32, 1, 1, 3) + LE32(0xFF) + LE32(0xFF00) + LE32(0xFF0000) + LE32(0x00332211);
  EXPECT_EQ(DIBToImage(d32.data(), d32.size()).pixel(0, 0), qRgb(0x11, 0x22, 0x33));

  // Run-length compression is not drawn, and nothing is read past the end.
  std::string rle = DIBHeader(8, 1, 1, 1, 1) + LE32(0);
  plat::PutLE32(reinterpret_cast<uint8_t*>(rle.data()) + 20, 2);
  rle += "\x01\x00";
  EXPECT_TRUE(DIBToImage(rle.data(), rle.size()).isNull());
  EXPECT_TRUE(DIBToImage(d8.data(), d8.size() - 1).isNull());

  plat::TBitmap bitmap;
  std::optional<TLogPalette> palette;
  ASSERT_TRUE(DIBToBitmap(d8.data(), d8.size(), bitmap, palette));
  ASSERT_TRUE(palette);
  EXPECT_EQ(palette->palPalEntry[1], (TPaletteEntry{0, 254, 1, 0}));
}

TEST(MMDIBImage, CanvasBlocksAreViewedTopDownWithoutCopying) {
  DIBHolder d(CreateDIB(8, 4, 3, true));
  QImage view = DIBCanvasImage(d.p);
  ASSERT_EQ(view.format(), QImage::Format_Indexed8);
  EXPECT_EQ(view.constBits(), DIBBits(d.p));
  DIBBits(d.p)[0] = 9;  // row 0 of the block is the top of the picture
  EXPECT_EQ(view.pixel(0, 0), qRgb(255, 0, 0));

  DIBHolder d24(CreateDIB(24, 2, 2, true));
  QImage v24 = DIBCanvasImage(d24.p);
  ASSERT_EQ(v24.format(), QImage::Format_BGR888);
  std::memcpy(DIBBits(d24.p), "\x10\x20\x30", 3);
  EXPECT_EQ(v24.pixel(0, 0), qRgb(0x30, 0x20, 0x10));
  // Written out, the canvas block is flipped into a stored DIB.
  FlipDIBRows(d24.p);
  EXPECT_EQ(DIBToImage(d24.p, DIBSize(d24.p)).pixel(0, 0), qRgb(0x30, 0x20, 0x10));
  DIBHolder d4(CreateDIB(4, 2, 2, true));
  EXPECT_TRUE(DIBCanvasImage(d4.p).isNull());
}

TEST(MMDIBImage, DrawStretchesWithoutSmoothing) {
  DIBHolder d(BitmapToDIB(Picture(), nullptr, 24));
  QImage gray(6, 8, QImage::Format_RGB32);
  gray.fill(Qt::gray);
  plat::TBitmap canvas;
  plat::SetImage(canvas, gray);
  DrawDIB(d.p, DIBSize(d.p), canvas, plat::Rect(0, 0, 6, 8));
  const QImage& target = plat::ImageOf(canvas);
  EXPECT_EQ(target.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(target.pixel(1, 1), qRgb(255, 0, 0));
  EXPECT_EQ(target.pixel(2, 0), qRgb(0, 0, 0));
  EXPECT_EQ(target.pixel(5, 7), qRgb(255, 255, 255));
  EXPECT_EQ(target.pixel(0, 2), qRgb(0, 255, 0));
}
