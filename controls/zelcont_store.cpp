#include "controls/zelcont_store.h"

#include <cstring>

namespace {

constexpr uint8_t kFlagCompressed = 0x01;
constexpr uint8_t kFlagDescription = 0x02;
constexpr uint8_t kFlagIdent = 0x04;
constexpr uint8_t kFlagData = 0x08;
constexpr uint8_t kFlagMono = 0x10;
constexpr uint8_t kFlag4Bit = 0x20;
constexpr uint8_t kFlag8Bit = 0x40;

[[noreturn]] void Damaged() { throw plat::EReadError("List data is damaged"); }

bool HasPixelFormat(int kind) { return kind == lkImageList || kind == lkBitmapList; }

void CheckKind(int kind) {
  if (kind != lkImageList && kind != lkBitmapList && kind != lkWaveList && kind != lkStringList)
    throw plat::EInvalidOperation("No item class for list kind " + std::to_string(kind));
}

std::vector<uint32_t> ReadIndexTable(plat::TStream& s, uint32_t count) {
  if (int64_t(count) * 4 > StreamRemaining(s)) Damaged();
  std::vector<uint32_t> index(count);
  for (auto& p : index) p = s.ReadU32();
  return index;
}

}  // namespace

const char* const kZelListTags[6] = {"ZelIML30", "ZelBML30", "ZelWVL30", "ZelSLL30", "ZelGLL50", "ZelRTL50"};

int PixelFormatCode(TZelSavePixelFormat f) {
  switch (f) {
    case spfMono: return 2;
    case spf4bit: return 16;
    case spf8bit: return 256;
    default: return -1;
  }
}

std::string ListFileExtension(int kind, bool withDot) {
  static const char* const exts[6] = {"iml", "bmp", "wav", "txt", "*", "rtf"};
  if (kind < 0 || kind > 5) return {};
  return (withDot ? "." : "") + std::string(exts[kind]);
}

void WriteItemHeader(plat::TStream& s, const TZelItemHeader& h, bool withPixelFormat) {
  uint8_t flags = 0;
  if (h.Compressed) flags |= kFlagCompressed;
  if (!h.Description.empty()) flags |= kFlagDescription;
  if (h.Ident != 0) flags |= kFlagIdent;
  if (h.HasData) flags |= kFlagData;
  if (withPixelFormat) {
    if (h.PixelFormat == spfMono) flags |= kFlagMono;
    if (h.PixelFormat == spf4bit) flags |= kFlag4Bit;
    if (h.PixelFormat == spf8bit) flags |= kFlag8Bit;
  }
  s.WriteBuffer(&flags, 1);
  if (flags & kFlagDescription) WriteShortString(s, h.Description);
  if (flags & kFlagIdent) s.WriteU32(h.Ident);
}

TZelItemHeader ReadItemHeader(plat::TStream& s) {
  uint8_t flags;
  s.ReadBuffer(&flags, 1);
  TZelItemHeader h;
  h.Compressed = flags & kFlagCompressed;
  h.HasData = flags & kFlagData;
  h.PixelFormat = flags & kFlagMono ? spfMono : flags & kFlag4Bit ? spf4bit : flags & kFlag8Bit ? spf8bit : spfDefault;
  if (flags & kFlagDescription) h.Description = ReadShortString(s);
  if (flags & kFlagIdent) {
    uint32_t ident = s.ReadU32();
    if (ident > 0xFFFF) Damaged();
    h.Ident = uint16_t(ident);
  }
  return h;
}

void WriteItemRecord(plat::TStream& s, int kind, const TZelItemRecord& r) {
  CheckKind(kind);
  TZelItemHeader h = r.Header;
  if (kind == lkImageList) h.HasData = false;
  WriteItemHeader(s, h, HasPixelFormat(kind));
  if (kind != lkImageList) {
    if (h.HasData) WriteDataBlock(s, r.Data, h.Compressed);
    return;
  }
  const TZelImageItemFields& f = r.Image;
  s.WriteU32(f.Height);
  s.WriteU32(f.Width);
  s.WriteU32(f.AllocBy);
  WriteBool(s, f.Masked);
  s.WriteU32(f.Count);
  if (f.Count == 0) return;
  WriteDataBlock(s, r.Data, h.Compressed);
  if (f.Masked) WriteDataBlock(s, r.Mask, h.Compressed);
}

TZelItemRecord ReadItemRecord(plat::TStream& s, int kind) {
  CheckKind(kind);
  TZelItemRecord r;
  r.Header = ReadItemHeader(s);
  if (!HasPixelFormat(kind)) r.Header.PixelFormat = spfDefault;
  if (kind != lkImageList) {
    if (r.Header.HasData) r.Data = ReadDataBlock(s, r.Header.Compressed);
    return r;
  }
  r.Header.HasData = false;
  TZelImageItemFields& f = r.Image;
  f.Height = s.ReadU32();
  f.Width = s.ReadU32();
  f.AllocBy = s.ReadU32();
  f.Masked = ReadBool(s);
  f.Count = s.ReadU32();
  if (f.Height < 1 || f.Height > kZelMaxStripWidth || f.Width < 1 || f.Width > kZelMaxStripWidth || f.AllocBy < 1 ||
      f.AllocBy > kZelMaxStripWidth || f.Count > kZelMaxStripWidth / f.Width)
    Damaged();
  if (f.Count == 0) return r;
  r.Data = ReadDataBlock(s, r.Header.Compressed);
  if (f.Masked) r.Mask = ReadDataBlock(s, r.Header.Compressed);
  return r;
}

void WriteContainer(plat::TStream& s, int kind, const std::vector<TZelItemRecord>& items, bool withIndex) {
  s.WriteU32(uint32_t(items.size()));
  int64_t table = s.Position();
  std::vector<uint32_t> positions;
  if (withIndex)
    for (size_t i = 0; i < items.size(); ++i) s.WriteU32(0);
  for (const auto& r : items) {
    positions.push_back(uint32_t(s.Position()));
    WriteItemRecord(s, kind, r);
  }
  if (!withIndex || items.empty()) return;
  int64_t end = s.Position();
  s.SetPosition(table);
  for (uint32_t p : positions) s.WriteU32(p);
  s.SetPosition(end);
}

std::vector<TZelItemRecord> ReadContainer(plat::TStream& s, int kind, bool withIndex) {
  uint32_t count = s.ReadU32();
  // Every record takes at least its flags byte, and an index entry 4 bytes more.
  if (int64_t(count) * (withIndex ? 5 : 1) > StreamRemaining(s)) Damaged();
  if (withIndex && count) s.Seek(int64_t(count) * 4, plat::soCurrent);
  std::vector<TZelItemRecord> items;
  items.reserve(count);
  for (uint32_t i = 0; i < count; ++i) items.push_back(ReadItemRecord(s, kind));
  return items;
}

void WriteListFile(plat::TStream& s, int kind, const std::vector<TZelItemRecord>& items) {
  if (kind < 0 || kind > 5) throw plat::EInvalidOperation("Unknown list kind");
  WriteShortString(s, kZelListTags[kind]);
  WriteContainer(s, kind, items, true);
}

int ReadListHeader(plat::TStream& s, std::vector<uint32_t>* index) {
  uint8_t tag[9];
  s.ReadBuffer(tag, sizeof tag);
  int kind = lkUnknown;
  for (int k = 0; k < 6; ++k)
    if (tag[0] == 8 && std::memcmp(tag + 1, kZelListTags[k], 8) == 0) kind = k;
  uint32_t count = s.ReadU32();
  if (kind != lkUnknown && index) *index = ReadIndexTable(s, count);
  return kind;
}

int ReadListFileHeader(const std::string& fileName, std::vector<uint32_t>* index) {
  plat::TFileStream s(fileName, plat::fmOpenRead | plat::fmShareDenyNone);
  return ReadListHeader(s, index);
}

TZelItemRecord LoadItemRecord(plat::TStream& s, const std::string& fileName, int expectedKind,
                              const std::vector<uint32_t>* index, int i) {
  std::vector<uint32_t> own;
  int kind = ReadListHeader(s, index ? nullptr : &own);
  if (kind != expectedKind) throw plat::Exception("Cannot open file %s: " + fileName);
  const std::vector<uint32_t>& table = index ? *index : own;
  if (i < 0 || size_t(i) >= table.size()) throw plat::EListError();
  if (int64_t(table[size_t(i)]) >= s.Size()) Damaged();
  s.SetPosition(table[size_t(i)]);
  return ReadItemRecord(s, kind);
}

TZelItemRecord LoadItemRecordFromFile(const std::string& fileName, int expectedKind, const std::vector<uint32_t>* index,
                                      int i) {
  plat::TFileStream s(fileName, plat::fmOpenRead | plat::fmShareDenyNone);
  return LoadItemRecord(s, fileName, expectedKind, index, i);
}
