#pragma once
// Byte streams of the kit's stored forms and the helpers that frame data in them: counted plain
// data, chunked compressed data, counted strings. Every reader checks what it reads against what
// the stream holds, so damaged or hostile data raises plat::EReadError and nothing else.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/system/exceptions.h"
#include "platform/ui/streams.h"

namespace plat {
class TBitmap;
class TStrings;
}  // namespace plat

// What is left of a stream after its position.
int64_t StreamRemaining(plat::TStream& s);
// The bytes of a memory stream, and a memory stream made of bytes (position 0).
std::string MemoryBytes(plat::TMemoryStream& s);
void SetMemoryBytes(plat::TMemoryStream& s, const std::string& bytes);

// ---- plain helpers --------------------------------------------------------------------------------
void WriteBool(plat::TStream& s, bool v);
bool ReadBool(plat::TStream& s);
// One length byte and the bytes; a longer text is cut at 255 bytes.
void WriteShortString(plat::TStream& s, const std::string& v);
std::string ReadShortString(plat::TStream& s);

// A u32 count and the bytes.
void WritePlainData(plat::TStream& s, const std::string& bytes);
std::string ReadPlainData(plat::TStream& s);

// ---- compressed stream form -----------------------------------------------------------------------
constexpr size_t kZelChunkSize = 32781;

// Compresses count bytes of src (from its position; fewer when it ends first) into dst at its
// position: a u32 total, then per chunk a u32 block length and the block. dst is left at its end.
void WriteCompressedStream(plat::TStream& src, plat::TStream& dst, int64_t count);
// Reads one compressed stream form from src and appends what it holds to dst.
void ReadCompressedStream(plat::TStream& src, plat::TStream& dst);
std::string CompressBytes(const std::string& bytes);  // the compressed stream form of bytes
std::string ExpandBytes(const std::string& form);     // its inverse

// Counted data in either form: compressed stream form or u32 count and bytes.
void WriteDataBlock(plat::TStream& s, const std::string& bytes, bool compressed);
std::string ReadDataBlock(plat::TStream& s, bool compressed);

// A string list's own stream form (its lines, each ended by CR LF), compressed or counted.
void WriteStreamData(plat::TStream& s, const plat::TStrings& list, bool compressed);
void ReadStreamData(plat::TStream& s, plat::TStrings& list, bool compressed);

// ---- pictures (the GUI part of the kit) -----------------------------------------------------------
// The bit count a pixel-format code asks for: 2 one bit, 16 four, 256 eight, 0 the bitmap's own
// (16 and 32 become 24); a monochrome bitmap always gets one.
int BitCountForCode(plat::TBitmap& bitmap, int code);
// A bitmap file (file header, information header, colour table below 24 bits, bottom-up rows)
// of bitCount bits. An empty bitmap raises "Bitmap image is not valid".
void WriteBitmapAsDIB(plat::TStream& s, plat::TBitmap& bitmap, int bitCount);
// The bytes of a picture: code -1 the bitmap's own stream form, any other a bitmap file.
std::string BitmapToBytes(plat::TBitmap& bitmap, int pixelFormatCode);
// Loads either form; no bytes empty the bitmap.
void BitmapFromBytes(plat::TBitmap& bitmap, const std::string& bytes);
// Counted or compressed, as the item records keep them.
void WriteGraphicData(plat::TStream& s, plat::TBitmap& bitmap, bool compressed, int pixelFormatCode);
void ReadGraphicData(plat::TStream& s, plat::TBitmap& bitmap, bool compressed);
