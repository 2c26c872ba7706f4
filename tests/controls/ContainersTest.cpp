#include <gtest/gtest.h>

#include "KitTestSupport.h"
#include "common/scratch.h"
#include "common/wav_image.h"
#include "common/wave_format.h"
#include "controls/ZelStreamUtils.h"
#include "controls/zelcont.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/strings.h"

using plat::TBitmap;

namespace {

uint32_t Le32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
         uint32_t(uint8_t(b[at + 3])) << 24;
}

// A 16 x 16 strip of n images, image k filled with a colour of its own and a fuchsia corner.
void Strip(TBitmap& b, int n) {
  Blank(b, 16 * n, 16, plat::clWhite);
  for (int k = 0; k < n; ++k) {
    b.Canvas()->Brush()->SetColor(plat::TColor(0x102030 * (k + 1)));
    b.Canvas()->FillRect(plat::Rect(16 * k, 0, 16 * k + 16, 16));
    b.Canvas()->SetPixel(16 * k, 15, plat::clFuchsia);
  }
}

// A minimal PCM WAV image.
std::string WavImage(uint16_t tag) {
  plat::WAVEFORMATEX f = PcmFormat(8000, 2, 16);
  f.wFormatTag = tag;
  return ::WavImage(f, std::string("\1\2\3\4", 4));
}

}  // namespace

TEST(BitmapFiles, HeadersAndBitCounts) {
  TBitmap b;
  Blank(b, 3, 2, plat::clRed);
  for (auto [code, bits, table] : {std::tuple{0, 24, 0}, {2, 1, 2}, {16, 4, 16}, {256, 8, 256}}) {
    std::string f = BitmapToBytes(b, code);
    const uint32_t stride = uint32_t((3 * bits + 31) / 32 * 4);
    EXPECT_EQ(f.substr(0, 2), "BM");
    EXPECT_EQ(Le32(f, 2), f.size());
    EXPECT_EQ(Le32(f, 10), 14u + 40 + 4 * uint32_t(table));
    EXPECT_EQ(Le32(f, 18), 3u);
    EXPECT_EQ(Le32(f, 22), 2u);
    EXPECT_EQ(uint8_t(f[28]), bits);
    EXPECT_EQ(Le32(f, 34), stride * 2);
    TBitmap back;
    BitmapFromBytes(back, f);
    EXPECT_EQ(back.Width(), 3);
    // Red is in every table but the two-colour one, where black is nearest.
    EXPECT_EQ(PixelOf(back, 2, 1), bits == 1 ? 0x000000u : 0x0000FFu) << bits;
  }
  TBitmap mono;
  Blank(mono, 3, 2, plat::clWhite);
  mono.SetMonochrome(true);
  EXPECT_EQ(BitCountForCode(mono, 256), 1);
  TBitmap empty;
  plat::TMemoryStream s;
  EXPECT_THROW(WriteBitmapAsDIB(s, empty, 24), plat::Exception);
}

TEST(ImageListItems, AddingSizesAndMasks) {
  TZelImageListItem item;
  TBitmap strip;
  Strip(strip, 3);
  EXPECT_EQ(item.AddMasked(strip, plat::clFuchsia), 0);
  EXPECT_EQ(item.Count(), 0 + 3);
  TBitmap wrong;
  Blank(wrong, 20, 16, plat::clWhite);
  EXPECT_THROW(item.Add(wrong, nullptr), plat::EInvalidGraphicOperation);
  Blank(wrong, 16, 15, plat::clWhite);
  EXPECT_THROW(item.Add(wrong, nullptr), plat::EInvalidGraphicOperation);
  // The strip grows by AllocBy images and stops at 32768 pixels.
  EXPECT_EQ(item.Strip()->Width(), 4 * 16);
  TBitmap image;
  ASSERT_TRUE(item.GetImage(1, image));
  EXPECT_EQ(PixelOf(image, 5, 5), 0x204060u);
  EXPECT_FALSE(item.GetImage(3, image));
  TBitmap wide;
  Blank(wide, 16 * 2046, 16, plat::clWhite);
  EXPECT_THROW(item.Add(wide, nullptr), plat::EInvalidGraphicOperation);
  EXPECT_EQ(item.Count(), 3);
  Blank(wide, 16 * 2045, 16, plat::clWhite);
  EXPECT_EQ(item.Add(wide, nullptr), 3);
  EXPECT_EQ(item.Count(), 2048);

  // Unmasked items ignore their masks; a masked one keeps the canvas under masked pixels.
  TZelImageListItem masked;
  masked.SetMasked(true);
  masked.AddMasked(strip, plat::clFuchsia);
  TBitmap canvas;
  Blank(canvas, 20, 20, plat::clLime);
  masked.Draw(*canvas.Canvas(), 2, 2, 0);
  EXPECT_EQ(PixelOf(canvas, 2, 17), 0x00FF00u);
  EXPECT_EQ(PixelOf(canvas, 3, 3), 0x102030u);
  item.Draw(*canvas.Canvas(), 2, 2, 0);
  EXPECT_EQ(PixelOf(canvas, 2, 17), 0xFF00FFu);
  masked.Delete(0);
  EXPECT_EQ(masked.Count(), 2);
  ASSERT_TRUE(masked.GetImage(0, image));
  EXPECT_EQ(PixelOf(image, 5, 5), 0x204060u);

  // A new size empties the item; sizes below 1 are refused.
  masked.SetWidth(0);
  EXPECT_EQ(masked.Count(), 2);
  masked.SetWidth(24);
  EXPECT_EQ(masked.Count(), 0);
}

TEST(ImageListItems, RecordsRoundTrip) {
  for (bool compressed : {false, true}) {
    TZelImageList list;
    auto* item = dynamic_cast<TZelImageListItem*>(list.Add());
    item->SetMasked(true);
    item->SetCompressed(compressed);
    item->SetDescription("transport");
    item->SetIdent(42);
    TBitmap strip;
    Strip(strip, 3);
    item->AddMasked(strip, plat::clFuchsia);
    list.Add();  // an empty one: its size fields and a count of 0
    plat::TMemoryStream s;
    list.Save(s, true);
    s.SetPosition(0);
    TZelImageList back;
    int changes = 0;
    back.OnChange = [&](plat::TObject*) { ++changes; };
    back.Load(s, true);
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(back.Count(), 2);
    TZelImageListItem* copy = back.Lists(0);
    EXPECT_EQ(copy->Description(), "transport");
    EXPECT_EQ(copy->Ident(), 42);
    EXPECT_EQ(copy->Count(), 3);
    EXPECT_TRUE(copy->Masked());
    for (int k = 0; k < 3; ++k) {
      TBitmap a, b;
      item->GetImage(k, a);
      copy->GetImage(k, b);
      EXPECT_EQ(plat::ImageOf(a).convertToFormat(QImage::Format_RGB32),
                plat::ImageOf(b).convertToFormat(QImage::Format_RGB32));
    }
    EXPECT_EQ(back.Lists(1)->Count(), 0);
    EXPECT_EQ(back.ImageCount(0), 3);
    EXPECT_EQ(back.ImageCount(2), -1);
    EXPECT_EQ(back.ImageWidth(5), 0);
    EXPECT_EQ(back.CornerColor(0, 1), 0x000000u);  // masked-out pixels are stored black
    EXPECT_EQ(back.PixelColor(0, 7, 0, 0), 0xFFFFFFu);
  }
}

TEST(ImageListItems, DamagedStripsAreRefused) {
  // A record claiming three 16-pixel images over a 16-pixel strip.
  TBitmap small;
  Blank(small, 16, 16, plat::clRed);
  TZelItemRecord r;
  r.Image = {16, 16, 4, false, 3};
  r.Data = BitmapToBytes(small, -1);
  plat::TMemoryStream s;
  WriteItemRecord(s, lkImageList, r);
  s.SetPosition(0);
  TZelImageListItem item;
  TBitmap strip;
  Strip(strip, 1);
  item.Add(strip, nullptr);
  EXPECT_THROW(item.ReadData(s), plat::EReadError);
  EXPECT_EQ(item.Count(), 1);  // left as it was

  r.Data = "not a picture";
  plat::TMemoryStream t;
  WriteItemRecord(t, lkImageList, r);
  t.SetPosition(0);
  EXPECT_ANY_THROW(item.ReadData(t));
  EXPECT_EQ(item.Count(), 1);
}

TEST(Containers, ListsOfEveryKindRoundTripThroughAListFile) {
  Scratch dir;
  TZelBitmapList bitmaps;
  bitmaps.SetDefaultPixelFormat(spf8bit);
  auto* bi = dynamic_cast<TZelBitmapListItem*>(bitmaps.Add());
  Blank(*bi->Bitmap(), 5, 3, plat::clBlue);
  bitmaps.Add();  // empty
  bitmaps.SaveToListFile(dir.Path("b.bmp"));

  TZelStringList strings;
  strings.SetDefaultCompressed(true);
  auto* si = dynamic_cast<TZelStringListItem*>(strings.Add());
  si->Items()->Add("first line");
  si->Items()->Add("");
  si->Items()->Add("third");
  strings.SaveToListFile(dir.Path("s.txt"));

  TZelWaveList waves;
  auto* wi = dynamic_cast<TZelWaveListItem*>(waves.Add());
  plat::TMemoryStream w;
  SetMemoryBytes(w, WavImage(3));
  wi->Wave()->LoadFromStream(w.Size(), w);
  waves.SaveToListFile(dir.Path("w.wav"));

  std::vector<uint32_t> index;
  ASSERT_EQ(ReadListFileHeader(dir.Path("b.bmp"), &index), lkBitmapList);
  TZelBitmapListItem b0;
  LoadItemFromFile(dir.Path("b.bmp"), lkBitmapList, &index, b0, 0);
  EXPECT_EQ(b0.PixelFormat(), spf8bit);
  EXPECT_EQ(b0.Bitmap()->Width(), 5);
  EXPECT_EQ(PixelOf(*b0.Bitmap(), 4, 2), 0xFF0000u);
  TZelBitmapListItem b1;
  Blank(*b1.Bitmap(), 2, 2, plat::clRed);
  LoadItemFromFile(dir.Path("b.bmp"), lkBitmapList, nullptr, b1, 1);
  EXPECT_TRUE(b1.Bitmap()->Empty());

  TZelStringListItem s0;
  LoadItemFromFile(dir.Path("s.txt"), lkStringList, nullptr, s0, 0);
  EXPECT_TRUE(s0.Items()->Equals(*si->Items()));
  EXPECT_TRUE(s0.Compressed());
  EXPECT_THROW(LoadItemFromFile(dir.Path("s.txt"), lkWaveList, nullptr, s0, 0), plat::Exception);

  TZelWaveListItem w0;
  LoadItemFromFile(dir.Path("w.wav"), lkWaveList, nullptr, w0, 0);
  EXPECT_EQ(w0.Wave()->Bytes(), WavImage(3));
  EXPECT_EQ(w0.Wave()->Info().Pcm, 0);
}

TEST(Containers, ChangeLinksAndTheConnector) {
  auto list = std::make_unique<TZelImageList>();
  TZelChangeLink link;
  int told = 0;
  link.OnChange = [&](plat::TObject* sender) {
    EXPECT_EQ(sender, &link);
    ++told;
  };
  list->RegisterChanges(&link);
  auto* item = dynamic_cast<TZelImageListItem*>(list->Add());
  EXPECT_EQ(told, 1);
  TBitmap strip;
  Strip(strip, 2);
  item->Add(strip, nullptr);  // a change inside an item is the list's
  EXPECT_EQ(told, 2);

  TZelImageListConnector connector;
  connector.AddEntry({"first", nullptr, 0});
  connector.AddEntry({"second", list.get(), 0});
  EXPECT_EQ(connector.ImageCount(0), -1);  // an entry without a list answers neutrally
  EXPECT_EQ(connector.ImageWidth(0), 0);
  EXPECT_FALSE(connector.IsMasked(0));
  EXPECT_EQ(connector.PixelColor(0, 0, 1, 1), 0xFFFFFFu);
  EXPECT_EQ(connector.ImageCount(1), 2);
  EXPECT_EQ(connector.PixelColor(1, 1, 3, 3), 0x204060u);
  int connectorChanges = 0;
  connector.OnChange = [&](plat::TObject*) { ++connectorChanges; };
  list->Lists(0)->SetDescription("x");
  EXPECT_EQ(connectorChanges, 1);

  list.reset();  // the link is cut and the connector forgets the list
  EXPECT_EQ(link.List(), nullptr);
  EXPECT_EQ(connector.ImageCount(1), -1);

  // The standard lists go by tag.
  EXPECT_TRUE(IsStandardList(ZelContainer->ImageList()));
  EXPECT_EQ(WriteListTag(ZelContainer->ImageList()), "ZelIML30");
  EXPECT_EQ(WriteListTag(&connector), "");
  EXPECT_EQ(ReadListTag("ZelIML30"), ZelContainer->ImageList());
  EXPECT_EQ(ReadListTag("ZelWVL30"), nullptr);
}

TEST(Containers, DamagedContainersLeaveTheListAlone) {
  TZelStringList list;
  dynamic_cast<TZelStringListItem*>(list.Add())->Items()->Add("kept");
  plat::TMemoryStream s;
  s.WriteU32(2);
  s.WriteU8(0x08);  // one record with data, then the stream ends
  s.SetPosition(0);
  EXPECT_THROW(list.Load(s, false), plat::EReadError);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Lists(0)->Items()->Get(0), "kept");
}
