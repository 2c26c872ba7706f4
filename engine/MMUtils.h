#pragma once
// Arithmetic, timing and time text shared by the engine, the displays and the deck.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/system/threads.h"

// ---- arithmetic -------------------------------------------------------------------------------
// a * b / c with a 64-bit product, truncated toward zero. A zero divisor gives 0 and a quotient
// outside 32 bits saturates, so no caller can crash the audio path with a bad format.
int32_t MulDiv32(int32_t a, int32_t b, int32_t c);
// The same with halves rounded away from zero.
int32_t MulDivRound32(int32_t a, int32_t b, int32_t c);
uint32_t MulDivRoundUnsigned32(uint32_t a, uint32_t b, uint32_t c);
// a * b / c with a 128-bit product, rounded to the nearest integer, ties to even; saturates.
int64_t MulDiv64(int64_t a, int64_t b, int64_t c);
// Arithmetic shift right by n mod 32.
int32_t ShiftRightSigned(int32_t v, int n);

double MaxFloat(double x, double y);
long double ClampFloat(long double x, long double lo, long double hi);
int32_t FloorInt(double x);
double LogE(double x);
double Log2(double x);
double Log10(double x);
double Power(double x, double y);

// The routine table.
void Swap16(int16_t& a, int16_t& b);
void Swap32(int32_t& a, int32_t& b);
inline int32_t Min(int32_t a, int32_t b) { return a < b ? a : b; }
inline int32_t Max(int32_t a, int32_t b) { return a > b ? a : b; }
// lo when v < lo, else the smaller of v and hi.
inline int32_t Clip(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v < hi ? v : hi); }
int32_t ClipAnyOrder(int32_t v, int32_t a, int32_t b);
inline bool InRange(int32_t v, int32_t lo, int32_t hi) { return lo <= v && v <= hi; }
bool InRangeAnyOrder(int32_t v, int32_t a, int32_t b);
inline void* IncPtr(void* p, intptr_t n) { return static_cast<char*>(p) + n; }
void FillByte(void* dst, size_t n, uint8_t value);
// Fills with a 32-bit pattern; a trailing 1-3 bytes get the pattern's low byte.
void FillLong(void* dst, size_t n, uint32_t pattern);
inline void MoveMem(void* dst, const void* src, size_t n) { std::memmove(dst, src, n); }
inline bool CompareMem(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n) == 0; }

// ---- timing -----------------------------------------------------------------------------------
// Microseconds on the monotonic clock.
int64_t GetMicroSeconds();
// Waits ms; with pump the application keeps handling input meanwhile.
void DelayWithMessages(int ms, bool pump);
bool SetThreadPriorityLevel(plat::ThreadPriority priority);

// ---- system -----------------------------------------------------------------------------------
// Operating-system version flags that the device code branches on: all false here, so every
// device takes its function-callback path, the one path the device layer has.
extern const bool IsWin95, IsWin98, IsWinME, IsWinNT3, IsWinNT4, IsWin2000, IsWinXP;
extern const bool IsWin9x, IsWinNT, IsWinNT4Up;
int ProcessorFamily();  // family number - 4, at least 0
bool HasMMX();          // the multimedia extension (always there on x86-64)

// Free and total bytes of the file system holding path; on failure free 0, total 1, false.
bool GetDiskFree(const std::string& path, int64_t& freeBytes, int64_t& totalBytes);
bool HasDiskSpace(const std::string& path, int64_t bytes);
int64_t GetFileSizeByName(const std::string& path);  // -1 when missing
// mode 1 adds a trailing "/" unless present; any other mode removes one.
std::string CheckPathDelimiter(const std::string& path, int mode);

// ---- time text --------------------------------------------------------------------------------
// Milliseconds as "m:ss.mmm", "h:mm:ss.mmm" or "d:hh:mm:ss.mmm" by the largest unit present;
// without milliseconds the seconds are truncated.
std::string TimeToText(bool withMs, int64_t ms);
std::string TimeToTextMs(int64_t ms);

// ---- memory blocks ----------------------------------------------------------------------------
// Zero-filled blocks that know their size; allocation failure raises EOutOfMemory.
void* GlobalAllocMem(size_t n);
void GlobalReAllocMem(void*& p, size_t n);
void GlobalFreeMem(void*& p);
size_t GlobalMemSize(const void* p);
