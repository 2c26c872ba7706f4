#pragma once
// Plain routines of the kit: the LZRW1/KH block compressor, and folder and path texts.
// Paths use "/"; "\" is taken as a separator too, so texts written the old way keep working.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/types.h"

// ---- block compression --------------------------------------------------------------------------
constexpr uint8_t kLzrwFlagCompressed = 0x40;
constexpr uint8_t kLzrwFlagStored = 0x80;
// The largest block input: positions must fit the 16-bit hash table next to its "none" mark, and
// a stored block (input + 1) must fit a 16-bit length.
constexpr size_t kLzrwMaxInput = 0xFFFE;
// Room a destination needs beyond the input: one step may write a command word and a run item
// (6 bytes) before the growth test, and a stored block is input + 1.
constexpr size_t kLzrwSlack = 8;
inline size_t LzrwBlockBound(size_t inputLength) { return inputLength + kLzrwSlack; }

// Compresses srcLength bytes (at most kLzrwMaxInput) into dst, which must hold
// LzrwBlockBound(srcLength) bytes; returns the block length. Data that does not shrink comes out
// as a stored block (flag 0x80, the input unchanged).
size_t LzrwCompressBlock(const uint8_t* src, size_t srcLength, uint8_t* dst, size_t dstCapacity);

// Expands one block into dst; returns the number of bytes produced. A block that is damaged in any
// way (unknown flag, an item cut short, a match reaching before the start, more output than dst
// holds) raises plat::EReadError and never reads or writes outside the two buffers.
size_t LzrwDecompressBlock(const uint8_t* block, size_t blockLength, uint8_t* dst, size_t dstCapacity);

// ---- texts and paths ----------------------------------------------------------------------------
bool IsBlank(const std::string& s);  // empty or spaces only
std::string ReplaceChar(std::string s, char from, char to);
bool IsPathSeparator(char c);  // "/" or "\"
// The separator a path uses: "\" when it has only that kind, else "/".
char PathSeparatorOf(const std::string& path);
// Adds a trailing separator unless there is one.
std::string AddBackslash(const std::string& s);
// Takes one trailing separator away; a blank text stays as it is.
std::string RemoveBackslash(const std::string& s);
std::string FileNameWithoutExt(const std::string& path);
// "X:" at the start, a letter and a colon, or empty.
std::string DriveOf(const std::string& path);

// A folder text one level shorter: the first name becomes "...", a leading separator is kept.
std::string ShortenPathLevel(const std::string& folder);
// The path cut to at most maxLength characters by shortening its folders from the left; the file
// name is always kept whole, so a name longer than the limit comes back alone.
std::string ShortenPath(const std::string& path, size_t maxLength);

// The folder of the running program, with a trailing "/".
std::string ProgramFolder();
// The places the old platform called its Windows and system folders: the machine-wide settings
// folder and the shared-library folder.
std::string WindowsFolder();
std::string SystemFolder();

enum TZelPathPrefix { ppWindows, ppSystem, ppProgram, ppFixed };
// The folder of a prefix kind, with or without trailing separator; empty for ppFixed.
std::string SpecialFolder(TZelPathPrefix kind, bool withSeparator);

// The log file's path: a blank name means the program's name with ".LOG"; a name without
// extension gets ".LOG"; the folder comes from kind unless it is ppFixed. programPath is the
// running program's path (tests pass their own).
std::string ZelLogFileName(const std::string& name, TZelPathPrefix kind, const std::string& programPath);

// ---- rectangles ---------------------------------------------------------------------------------
plat::TRect GrowRect(const plat::TRect& r, int dLeft, int dTop, int dRight, int dBottom);
plat::TSize RectSize(const plat::TRect& r);
// A rectangle of first's proportions scaled by the smaller of the two ratios (second / first per
// axis) and placed at second's top-left. A first rectangle without area gives an empty one there.
plat::TRect FitRect(const plat::TRect& first, const plat::TRect& second);
// The bounding box of r turned about its centre by degrees, moved to the origin; 0 leaves r alone.
plat::TRect RotatedBounds(const plat::TRect& r, double degrees);
// The largest or smallest value; 0 for none.
int MaxOf(const std::vector<int>& values);
int MinOf(const std::vector<int>& values);
long double MinOfFloat(const std::vector<long double>& values);
