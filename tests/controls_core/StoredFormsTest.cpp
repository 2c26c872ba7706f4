#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/ZelStreamUtils.h"
#include "controls/zelcont_store.h"
#include "common/scratch.h"

namespace {

TZelItemRecord Record(const std::string& description, uint16_t ident, bool compressed, const std::string& data) {
  TZelItemRecord r;
  r.Header.Description = description;
  r.Header.Ident = ident;
  r.Header.Compressed = compressed;
  r.Header.HasData = !data.empty();
  r.Data = data;
  return r;
}

void ExpectSame(const TZelItemRecord& a, const TZelItemRecord& b) {
  EXPECT_EQ(a.Header.Description, b.Header.Description);
  EXPECT_EQ(a.Header.Ident, b.Header.Ident);
  EXPECT_EQ(a.Header.Compressed, b.Header.Compressed);
  EXPECT_EQ(a.Header.PixelFormat, b.Header.PixelFormat);
  EXPECT_EQ(a.Data, b.Data);
  EXPECT_EQ(a.Mask, b.Mask);
}

}  // namespace

TEST(ListItems, HeaderBytes) {
  // No description and no identifier: the flags byte alone, then the counted data.
  plat::TMemoryStream s;
  WriteItemRecord(s, lkBitmapList, Record("", 0, false, "BM.."));
  EXPECT_EQ(MemoryBytes(s), std::string("\x08\x04\x00\x00\x00"
                                        "BM..",
                                        9));

  plat::TMemoryStream t;
  TZelItemRecord r = Record("Ab", 0x1234, true, "");
  r.Header.PixelFormat = spf8bit;
  WriteItemRecord(t, lkBitmapList, r);
  EXPECT_EQ(MemoryBytes(t), std::string("\x47\x02"
                                        "Ab"
                                        "\x34\x12\x00\x00",
                                        8));
  // A string list has no pixel format to store.
  plat::TMemoryStream u;
  WriteItemRecord(u, lkStringList, r);
  EXPECT_EQ(uint8_t(MemoryBytes(u)[0]), 0x07);

  // An image item without images: its size fields and a count of 0, nothing else.
  plat::TMemoryStream img;
  TZelItemRecord empty;
  empty.Image.Masked = true;
  WriteItemRecord(img, lkImageList, empty);
  EXPECT_EQ(MemoryBytes(img), std::string("\x00"
                                          "\x10\0\0\0"
                                          "\x10\0\0\0"
                                          "\x04\0\0\0"
                                          "\x01"
                                          "\0\0\0\0",
                                          18));
}

TEST(ListItems, ContainersRoundTripWithAndWithoutIndex) {
  for (int kind : {lkImageList, lkBitmapList, lkWaveList, lkStringList})
    for (bool withIndex : {false, true}) {
      std::vector<TZelItemRecord> items;
      items.push_back(Record("first", 1, true, std::string(5000, 'p') + "picture"));
      items.push_back(Record("", 0, false, "plain"));
      items.push_back(Record(std::string(255, 'd'), 0xFFFF, false, ""));
      if (kind == lkImageList) {
        items[0].Image = {24, 32, 2, true, 3};
        items[0].Mask = "mask bits";
        items[1].Image = {16, 16, 4, false, 1};
        items[2].Data.clear();
      }
      if (kind == lkBitmapList) items[1].Header.PixelFormat = spfMono;
      plat::TMemoryStream s;
      WriteContainer(s, kind, items, withIndex);
      s.SetPosition(0);
      auto back = ReadContainer(s, kind, withIndex);
      ASSERT_EQ(back.size(), items.size());
      for (size_t i = 0; i < items.size(); ++i) ExpectSame(back[i], items[i]);
      if (kind == lkImageList) {
        EXPECT_EQ(back[0].Image.Width, 32u);
        EXPECT_EQ(back[0].Image.Count, 3u);
        EXPECT_TRUE(back[0].Image.Masked);
      }
      EXPECT_EQ(s.Position(), s.Size());
    }
}

TEST(ListFiles, HeaderIndexAndItemsFromDisk) {
  Scratch dir;
  std::vector<TZelItemRecord> items{Record("one", 11, true, std::string(400, 'x')),
                                    Record("two", 22, false, "second item")};
  std::string path = dir.Path("list.wav");
  {
    plat::TFileStream f(path, plat::fmCreate);
    WriteListFile(f, lkWaveList, items);
  }
  std::vector<uint32_t> index;
  EXPECT_EQ(ReadListFileHeader(path, &index), lkWaveList);
  ASSERT_EQ(index.size(), 2u);
  EXPECT_EQ(index[0], 9u + 4 + 8);
  ExpectSame(LoadItemRecordFromFile(path, lkWaveList, nullptr, 1), items[1]);
  ExpectSame(LoadItemRecordFromFile(path, lkWaveList, &index, 0), items[0]);
  EXPECT_THROW(LoadItemRecordFromFile(path, lkWaveList, nullptr, 2), plat::EListError);
  try {
    LoadItemRecordFromFile(path, lkStringList, nullptr, 0);
    ADD_FAILURE();
  } catch (const plat::Exception& e) {
    EXPECT_EQ(e.Message(), "Cannot open file %s: " + path);
  }
  EXPECT_EQ(ListFileExtension(lkImageList, true), ".iml");
  EXPECT_EQ(ListFileExtension(lkGlyphList, false), "*");

  std::string other = dir.Path("other.bin");
  {
    plat::TFileStream f(other, plat::fmCreate);
    f.WriteBuffer("\x08ZelXXX30\x01\0\0\0", 13);
  }
  EXPECT_EQ(ReadListFileHeader(other, &index), lkUnknown);
  EXPECT_THROW(ReadListFileHeader(dir.Path("missing.iml"), nullptr), plat::EFOpenError);
}

TEST(ListFiles, DamagedCountsAndPositionsAreRefused) {
  std::vector<TZelItemRecord> items{Record("a", 1, false, "data")};
  plat::TMemoryStream good;
  WriteListFile(good, lkStringList, items);
  auto patched = [&](size_t at, uint32_t v) {
    std::string b = MemoryBytes(good);
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = char(v >> (8 * i));
    return b;
  };
  // A count of a billion items with a few bytes behind it.
  plat::TMemoryStream hugeCount;
  SetMemoryBytes(hugeCount, patched(9, 1000000000));
  std::vector<uint32_t> index;
  EXPECT_THROW(ReadListHeader(hugeCount, &index), plat::EReadError);
  // An index entry past the end of the file.
  plat::TMemoryStream farEntry;
  SetMemoryBytes(farEntry, patched(13, 0x10000));
  EXPECT_THROW(LoadItemRecord(farEntry, "f", lkStringList, nullptr, 0), plat::EReadError);
  // An identifier that does not fit its 16 bits.
  std::string bad = MemoryBytes(good);
  plat::TMemoryStream rec;
  TZelItemRecord r = Record("", 5, false, "");
  WriteItemRecord(rec, lkStringList, r);
  std::string bytes = MemoryBytes(rec);
  bytes[3] = 1;
  plat::TMemoryStream wide;
  SetMemoryBytes(wide, bytes);
  EXPECT_THROW(ReadItemRecord(wide, lkStringList), plat::EReadError);
  // Image items: a zero width, and more images than a strip can hold.
  for (auto fields : {TZelImageItemFields{16, 0, 4, false, 1}, TZelImageItemFields{16, 16, 4, false, 2049},
                      TZelImageItemFields{16, 16, 0, false, 1}}) {
    TZelItemRecord img;
    img.Image = fields;
    img.Data = "strip";
    plat::TMemoryStream s;
    WriteItemRecord(s, lkImageList, img);
    s.SetPosition(0);
    EXPECT_THROW(ReadItemRecord(s, lkImageList), plat::EReadError);
  }
  // Lists of kinds without an item class are not read as items.
  plat::TMemoryStream glyphs;
  EXPECT_THROW(WriteListFile(glyphs, lkGlyphList, items), plat::EInvalidOperation);
}
