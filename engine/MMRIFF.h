#pragma once
// The descriptive chunks of a WAV file: the LIST "INFO" items and the "DISP" entries, as read,
// as edited, and as written back.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio/riff_io.h"

uint32_t MakeFourCC(uint8_t a, uint8_t b, uint8_t c, uint8_t d);

// ---- INFO -----------------------------------------------------------------------------------
struct TInfoIdentifier {
  uint32_t Id;
  const char* Code;         // "IARL"
  const char* DisplayName;  // "Archival Location"
  const char* Description;
};
constexpr int kInfoItemCount = 23;
// The known identifiers in the order they are written and offered for editing.
const TInfoIdentifier& InfoIdentifier(int index);
int FindInfoIdentifier(uint32_t id);  // its index, or -1

// Item and entry states.
constexpr int isRead = 0;     // as read
constexpr int isSet = 1;      // set (for a DISP entry without an edit: set to none)
constexpr int isDeleted = 2;  // edit dropped

struct TInfoItem {
  int Index = 0;
  int State = isRead;
  uint32_t Offset = 0;  // of the text in the payload as read; 0 = none
  uint32_t Length = 0;  // of that text, up to its zero or the end of its subchunk
  std::optional<std::string> Edited;
};

struct TInfoList {
  TInfoList();
  std::string Payload;  // the LIST payload after "INFO", as read
  std::array<TInfoItem, kInfoItemCount> Items;
};

// The edited text when there is one, else the text as read, else empty.
std::string InfoItemText(const TInfoList& list, int index);
// The text becomes the item's edited text with state. The same text changes nothing. An empty text
// drops an existing edit (state 2), hides a text as read behind an empty edit, and does nothing
// to an item without text. No text (null) with state 2 drops an edit; otherwise it does nothing.
void SetInfoItemText(TInfoList& list, int index, const std::string* text, int state);
// Finds the known items' texts in Payload.
void ParseInfoPayload(TInfoList& list);

// ---- DISP -----------------------------------------------------------------------------------
constexpr uint32_t kDispText = 1;    // a zero-terminated text
constexpr uint32_t kDispBitmap = 8;  // a packed DIB

struct TDispItem {
  uint32_t Type = 0;
  int State = isRead;
  std::string Data;  // the bytes after the type, as read
  std::optional<std::string> Edited;
};
using TDispList = std::vector<TDispItem>;

// The data that would be written: the edit, else the data as read unless it was set to none.
// Null when there is none.
const std::string* DispItemData(const TDispItem& item);
// The rules of SetInfoItemText, comparing bytes; in addition, no data with state 1 sets the
// entry to none.
void SetDispItemData(TDispItem& item, const std::string* data, int state);
// A text as a text entry holds it (with its zero), and back.
std::string DispTextData(const std::string& text);
std::string DispDataText(const std::string& data);

// ---- chunk I/O --------------------------------------------------------------------------------
// Results of the readers.
constexpr int kRiffShortRead = 3;
constexpr int kRiffNoMemory = 4;
// Larger INFO or DISP payloads are skipped rather than held in memory.
constexpr uint32_t kMaxListPayload = 64u << 20;

// The file stands at the payload of a LIST "INFO" chunk of ck.size bytes (the type already read).
int ReadInfoChunk(plat::RiffFile& file, const plat::RiffChunk& ck, TInfoList& list);
// The file stands at the payload of a "DISP" chunk.
int ReadDispChunk(plat::RiffFile& file, const plat::RiffChunk& ck, TDispList& list);
// Bytes the chunks below would take in the file.
int64_t InfoChunkBytes(const TInfoList& list);
int64_t DispChunkBytes(const TDispList& list);
// One "DISP" chunk per text or picture entry with data, its bytes as they are held.
bool WriteDispChunks(plat::RiffFile& file, const TDispList& list);
// A LIST "INFO" chunk of the items with a non-empty text, in table order; nothing when none has.
bool WriteInfoChunk(plat::RiffFile& file, const TInfoList& list);
