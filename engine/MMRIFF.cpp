#include "engine/MMRIFF.h"

#include <cstring>
#include <new>

using plat::FourCC;
using plat::RiffChunk;
using plat::RiffFile;
using plat::RiffResult;

uint32_t MakeFourCC(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  return uint32_t(a) | (uint32_t(b) << 8) | (uint32_t(c) << 16) | (uint32_t(d) << 24);
}

namespace {

const TInfoIdentifier kInfo[kInfoItemCount] = {
    {FourCC("IARL"), "IARL", "Archival Location", "Where the subject of the file is archived."},
    {FourCC("IART"), "IART", "Artist", "The artist of the original subject of the file."},
    {FourCC("ICMS"), "ICMS", "Commissioned", "The person or organisation that commissioned the subject of the file."},
    {FourCC("ICMT"), "ICMT", "Comments",
     "General comments about the file or its subject. End each sentence with a period; do not use "
     "line breaks."},
    {FourCC("ICOP"), "ICOP", "Copyright",
     "The copyright information for the file. Separate several notices by a semicolon and a blank."},
    {FourCC("ICRD"), "ICRD", "Creation date",
     "The date the subject of the file was created, as year-month-day with two-digit months and "
     "days, for example 1553-05-03."},
    {FourCC("ICRP"), "ICRP", "Cropped", "Whether and how an image was cropped, for example lower right corner."},
    {FourCC("IDIM"), "IDIM", "Dimensions",
     "The size of the original subject of the file, for example 8.5 in h, 11 in w."},
    {FourCC("IDPI"), "IDPI", "Dots Per Inch",
     "The dots per inch of the digitizer that produced the file, such as 300."},
    {FourCC("IENG"), "IENG", "Engineer",
     "The engineer who worked on the file. Separate several names by a semicolon and a blank."},
    {FourCC("IGNR"), "IGNR", "Genre", "The kind of the original work, such as landscape, portrait or still life."},
    {FourCC("IKEY"), "IKEY", "Keywords", "Keywords for the file or its subject, separated by a semicolon and a blank."},
    {FourCC("ILGT"), "ILGT", "Lightness",
     "The change in lightness on the digitizer needed to produce the file; its form depends on the "
     "hardware."},
    {FourCC("IMED"), "IMED", "Medium",
     "The medium of the original subject, such as computer image, drawing or lithograph."},
    {FourCC("INAM"), "INAM", "Name", "The title of the subject of the file."},
    {FourCC("IPLT"), "IPLT", "Palette Setting",
     "The number of colours asked for when the image was digitized, such as 256."},
    {FourCC("IPRD"), "IPRD", "Product", "The title of the product the file was first made for."},
    {FourCC("ISBJ"), "ISBJ", "Subject", "What the file contains."},
    {FourCC("ISFT"), "ISFT", "Software", "The software package that made the file."},
    {FourCC("ISHP"), "ISHP", "Sharpness",
     "The change in sharpness on the digitizer needed to produce the file; its form depends on the "
     "hardware."},
    {FourCC("ISRC"), "ISRC", "Source", "The person or organisation that supplied the original subject of the file."},
    {FourCC("ISRF"), "ISRF", "Source Form",
     "The original form of the digitized material, such as slide, paper or map; not necessarily the medium."},
    {FourCC("ITCH"), "ITCH", "Technician", "The technician who digitized the subject of the file."},
};

const uint32_t kDispId = FourCC("DISP");
const uint32_t kInfoType = FourCC("INFO");

std::string CutAtZero(const std::string& s) {
  size_t z = s.find('\0');
  return z == std::string::npos ? s : s.substr(0, z);
}

// A DISP text always ends in its zero: the one its data lacks is written behind it. Asked before
// every write of a recording, so it copies nothing (a picture may be tens of megabytes).
bool DispNeedsZero(const TDispItem& item, const std::string& data) {
  return item.Type == kDispText && (data.empty() || data.back() != '\0');
}

bool Writes(const TDispItem& item) {
  const std::string* d = DispItemData(item);
  return (item.Type == kDispText || item.Type == kDispBitmap) && d && !d->empty();
}

int64_t Padded(int64_t n) { return n + (n & 1); }

bool WriteChunk(RiffFile& file, uint32_t id, const std::string& a, const std::string& b = {}, bool zero = false) {
  RiffChunk ck;
  ck.id = id;
  if (file.CreateChunk(ck) != RiffResult::Ok) return false;
  if (file.Write(a.data(), int64_t(a.size())) != int64_t(a.size())) return false;
  if (file.Write(b.data(), int64_t(b.size())) != int64_t(b.size())) return false;
  if (zero && file.Write("", 1) != 1) return false;
  return file.Ascend(ck) == RiffResult::Ok;
}

}  // namespace

const TInfoIdentifier& InfoIdentifier(int index) { return kInfo[index < 0 || index >= kInfoItemCount ? 0 : index]; }

int FindInfoIdentifier(uint32_t id) {
  for (int i = 0; i < kInfoItemCount; ++i)
    if (kInfo[i].Id == id) return i;
  return -1;
}

TInfoList::TInfoList() {
  for (int i = 0; i < kInfoItemCount; ++i) Items[size_t(i)].Index = i;
}

std::string InfoItemText(const TInfoList& list, int index) {
  if (index < 0 || index >= kInfoItemCount) return {};
  const TInfoItem& item = list.Items[size_t(index)];
  if (item.Edited) return *item.Edited;
  if (item.Offset == 0 || size_t(item.Offset) + item.Length > list.Payload.size()) return {};
  return list.Payload.substr(item.Offset, item.Length);
}

void SetInfoItemText(TInfoList& list, int index, const std::string* text, int state) {
  if (index < 0 || index >= kInfoItemCount) return;
  TInfoItem& item = list.Items[size_t(index)];
  if (!text) {
    if (state == isDeleted) {
      item.Edited.reset();
      item.State = isDeleted;
    }
    return;
  }
  if (*text == InfoItemText(list, index)) return;
  if (text->empty()) {
    if (item.Edited) {
      item.Edited.reset();
      item.State = isDeleted;
    } else if (item.Offset != 0 && item.Length > 0) {
      item.Edited = std::string();
      item.State = state;
    }
    return;
  }
  item.Edited = *text;
  item.State = state;
}

void ParseInfoPayload(TInfoList& list) {
  for (TInfoItem& item : list.Items) {
    item.Offset = 0;
    item.Length = 0;
  }
  const std::string& p = list.Payload;
  const auto* b = reinterpret_cast<const uint8_t*>(p.data());
  size_t pos = 0;
  while (p.size() - pos >= 8) {
    uint32_t id = plat::GetLE32(b + pos), size = plat::GetLE32(b + pos + 4);
    if (size > p.size() - pos - 8) break;  // a subchunk that claims more than the list holds
    int index = FindInfoIdentifier(id);
    if (index >= 0) {
      TInfoItem& item = list.Items[size_t(index)];
      item.Offset = uint32_t(pos + 8);
      item.Length = uint32_t(strnlen(p.data() + pos + 8, size));
    }
    pos += 8 + size_t(size);
    if (size & 1) pos = std::min(p.size(), pos + 1);
  }
}

const std::string* DispItemData(const TDispItem& item) {
  if (item.Edited) return &*item.Edited;
  if (item.State == isSet) return nullptr;
  return &item.Data;
}

void SetDispItemData(TDispItem& item, const std::string* data, int state) {
  if (!data) {
    if (state == isDeleted || state == isSet) {
      item.Edited.reset();
      item.State = state;
    }
    return;
  }
  const std::string* current = DispItemData(item);
  if (current && *current == *data) return;
  if (data->empty()) {
    if (item.Edited) {
      item.Edited.reset();
      item.State = isDeleted;
    } else if (current && !current->empty()) {
      item.Edited = std::string();
      item.State = state;
    }
    return;
  }
  item.Edited = *data;
  item.State = state;
}

std::string DispTextData(const std::string& text) { return CutAtZero(text) + '\0'; }
std::string DispDataText(const std::string& data) { return CutAtZero(data); }

int ReadInfoChunk(RiffFile& file, const RiffChunk& ck, TInfoList& list) {
  if (ck.size < 5 || ck.size - 4 > kMaxListPayload) return 0;
  try {
    std::string payload(ck.size - 4, '\0');
    if (file.Read(payload.data(), int64_t(payload.size())) != int64_t(payload.size())) return kRiffShortRead;
    // A second INFO list replaces the first, offsets and all.
    list.Payload = std::move(payload);
    ParseInfoPayload(list);
  } catch (const std::bad_alloc&) {
    return kRiffNoMemory;
  }
  return 0;
}

int ReadDispChunk(RiffFile& file, const RiffChunk& ck, TDispList& list) {
  if (ck.size <= 4 || ck.size > kMaxListPayload) return 0;
  uint8_t t[4];
  if (file.Read(t, 4) != 4) return kRiffShortRead;
  try {
    TDispItem item;
    item.Type = plat::GetLE32(t);
    item.Data.resize(ck.size - 4);
    if (file.Read(item.Data.data(), int64_t(item.Data.size())) != int64_t(item.Data.size())) return kRiffShortRead;
    list.push_back(std::move(item));
  } catch (const std::bad_alloc&) {
    return kRiffNoMemory;
  }
  return 0;
}

int64_t InfoChunkBytes(const TInfoList& list) {
  // Asked before every write of a recording, so it copies no text.
  int64_t n = 0;
  for (const TInfoItem& item : list.Items) {
    size_t len = 0;
    if (item.Edited) len = strnlen(item.Edited->c_str(), item.Edited->size());
    else if (item.Offset != 0 && size_t(item.Offset) + item.Length <= list.Payload.size()) len = item.Length;
    if (len) n += 8 + Padded(int64_t(len) + 1);
  }
  return n ? 12 + n : 0;
}

int64_t DispChunkBytes(const TDispList& list) {
  int64_t n = 0;
  for (const TDispItem& item : list)
    if (Writes(item)) {
      const std::string& data = *DispItemData(item);
      n += 12 + Padded(int64_t(data.size()) + (DispNeedsZero(item, data) ? 1 : 0));
    }
  return n;
}

bool WriteDispChunks(RiffFile& file, const TDispList& list) {
  for (const TDispItem& item : list) {
    if (!Writes(item)) continue;
    uint8_t t[4];
    plat::PutLE32(t, item.Type);
    const std::string& data = *DispItemData(item);
    if (!WriteChunk(file, kDispId, std::string(reinterpret_cast<char*>(t), 4), data, DispNeedsZero(item, data)))
      return false;
  }
  return true;
}

bool WriteInfoChunk(RiffFile& file, const TInfoList& list) {
  RiffChunk lst;
  bool created = false;
  for (int i = 0; i < kInfoItemCount; ++i) {
    std::string text = CutAtZero(InfoItemText(list, i));
    if (text.empty()) continue;
    if (!created) {
      lst.type = kInfoType;
      if (file.CreateChunk(lst, plat::kRiffCreateList) != RiffResult::Ok) return false;
      created = true;
    }
    text.push_back('\0');
    if (!WriteChunk(file, kInfo[i].Id, text)) return false;
  }
  return !created || file.Ascend(lst) == RiffResult::Ok;
}
