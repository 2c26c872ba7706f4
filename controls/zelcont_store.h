#pragma once
// The stored forms of the kit's lists, as data: list-file headers, index tables and item
// records, with each picture, text or wave kept as the bytes of its own stored form. The list
// classes turn records into items and back; reading never trusts a count, length or position.
#include <cstdint>
#include <string>
#include <vector>

#include "controls/ZelStreamUtils.h"

enum TZelSavePixelFormat { spfDefault, spfMono, spf4bit, spf8bit };
// The helpers' pixel-format code: -1 the bitmap's own form, 2 one bit, 16 four, 256 eight.
int PixelFormatCode(TZelSavePixelFormat f);

// Kinds of stored lists, in the order of their tags.
enum TZelListKind { lkImageList, lkBitmapList, lkWaveList, lkStringList, lkGlyphList, lkRtfList, lkUnknown };
extern const char* const kZelListTags[6];
// "iml", "bmp", "wav", "txt", "*", "rtf"; with a leading "." on request; empty for lkUnknown.
std::string ListFileExtension(int kind, bool withDot);

struct TZelItemHeader {
  bool Compressed = false;
  std::string Description;  // at most 255 bytes are stored
  uint16_t Ident = 0;
  TZelSavePixelFormat PixelFormat = spfDefault;
  bool HasData = false;  // bitmap, string and wave items
};

struct TZelImageItemFields {
  uint32_t Height = 16, Width = 16, AllocBy = 4;
  bool Masked = false;
  uint32_t Count = 0;
};
// The widest strip an image item may hold, in pixels.
constexpr uint32_t kZelMaxStripWidth = 32768;

// One item's record. Data is the picture, the list's text or the wave (for an image item, its
// strip); Mask is an image item's mask strip when it is masked and holds images.
struct TZelItemRecord {
  TZelItemHeader Header;
  TZelImageItemFields Image;
  std::string Data;
  std::string Mask;
};

void WriteItemHeader(plat::TStream& s, const TZelItemHeader& h, bool withPixelFormat);
TZelItemHeader ReadItemHeader(plat::TStream& s);
// kind selects the record layout (lkImageList, lkBitmapList, lkWaveList, lkStringList).
void WriteItemRecord(plat::TStream& s, int kind, const TZelItemRecord& r);
TZelItemRecord ReadItemRecord(plat::TStream& s, int kind);

// Container form: u32 count, with withIndex a table of count absolute positions, the records.
void WriteContainer(plat::TStream& s, int kind, const std::vector<TZelItemRecord>& items, bool withIndex);
std::vector<TZelItemRecord> ReadContainer(plat::TStream& s, int kind, bool withIndex);

// List files: the tag as a short string, u32 count, count absolute positions, the records.
void WriteListFile(plat::TStream& s, int kind, const std::vector<TZelItemRecord>& items);
// Reads the tag and count at the stream's position; with index, also the table (only for a known
// tag). Returns the kind, lkUnknown for a tag that is none of the six.
int ReadListHeader(plat::TStream& s, std::vector<uint32_t>* index);
int ReadListFileHeader(const std::string& fileName, std::vector<uint32_t>* index);
// Reads record i of a list file of the expected kind. A file of another kind raises
// plat::Exception "Cannot open file %s: <file name>"; an index outside the table EListError.
TZelItemRecord LoadItemRecordFromFile(const std::string& fileName, int expectedKind, const std::vector<uint32_t>* index,
                                      int i);
TZelItemRecord LoadItemRecord(plat::TStream& s, const std::string& fileName, int expectedKind,
                              const std::vector<uint32_t>* index, int i);
