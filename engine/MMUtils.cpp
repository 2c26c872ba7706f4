#include "engine/MMUtils.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/messages/messages.h"
#include "platform/system/clock.h"
#include "platform/system/exceptions.h"
#include "platform/system/files.h"

namespace {

int32_t Saturate32(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return int32_t(v);
}

int64_t Saturate64(__int128 v) {
  if (v > std::numeric_limits<int64_t>::max()) return std::numeric_limits<int64_t>::max();
  if (v < std::numeric_limits<int64_t>::min()) return std::numeric_limits<int64_t>::min();
  return int64_t(v);
}

}  // namespace

int32_t MulDiv32(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return 0;
  return Saturate32(int64_t(a) * b / c);
}

int32_t MulDivRound32(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return 0;
  int64_t p = int64_t(a) * b;
  int64_t q = p / c, r = p % c;
  return Saturate32(q + (2 * r) / c);
}

uint32_t MulDivRoundUnsigned32(uint32_t a, uint32_t b, uint32_t c) {
  if (c == 0) return 0;
  uint64_t v = (uint64_t(a) * b + c / 2) / c;
  return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(v);
}

int64_t MulDiv64(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  __int128 p = __int128(a) * b;
  __int128 q = p / c, r = p % c;
  if (r != 0) {
    __int128 ar = r < 0 ? -r : r, ac = c < 0 ? -__int128(c) : __int128(c);
    bool negative = (p < 0) != (c < 0);
    __int128 twice = 2 * ar;
    if (twice > ac || (twice == ac && (q & 1) != 0)) q += negative ? -1 : 1;
  }
  return Saturate64(q);
}

int32_t ShiftRightSigned(int32_t v, int n) { return v >> (n & 31); }

double MaxFloat(double x, double y) { return x > y ? x : y; }

long double ClampFloat(long double x, long double lo, long double hi) {
  if (x < lo) return lo;
  return x < hi ? x : hi;
}

int32_t FloorInt(double x) { return Saturate32(int64_t(std::floor(x))); }
double LogE(double x) { return std::log(x); }
double Log2(double x) { return std::log2(x); }
double Log10(double x) { return std::log10(x); }
double Power(double x, double y) {
  if (x == 0) return y == 0 ? 1.0 : 0.0;
  return std::exp2(y * std::log2(x));
}

void Swap16(int16_t& a, int16_t& b) { std::swap(a, b); }
void Swap32(int32_t& a, int32_t& b) { std::swap(a, b); }

int32_t ClipAnyOrder(int32_t v, int32_t a, int32_t b) { return a <= b ? Clip(v, a, b) : Clip(v, b, a); }

bool InRangeAnyOrder(int32_t v, int32_t a, int32_t b) { return a <= b ? InRange(v, a, b) : InRange(v, b, a); }

void FillByte(void* dst, size_t n, uint8_t value) { std::memset(dst, value, n); }

void FillLong(void* dst, size_t n, uint32_t pattern) {
  uint8_t* p = static_cast<uint8_t*>(dst);
  uint8_t bytes[4] = {uint8_t(pattern), uint8_t(pattern >> 8), uint8_t(pattern >> 16), uint8_t(pattern >> 24)};
  size_t whole = n / 4 * 4;
  for (size_t i = 0; i < whole; i += 4) std::memcpy(p + i, bytes, 4);
  for (size_t i = whole; i < n; ++i) p[i] = bytes[0];
}

int64_t GetMicroSeconds() { return plat::MicroSeconds(); }

void DelayWithMessages(int ms, bool pump) { plat::DelayWithMessages(ms, pump); }

bool SetThreadPriorityLevel(plat::ThreadPriority priority) { return plat::SetCurrentThreadPriority(priority); }

const bool IsWin95 = false, IsWin98 = false, IsWinME = false, IsWinNT3 = false, IsWinNT4 = false, IsWin2000 = false,
           IsWinXP = false;
const bool IsWin9x = false, IsWinNT = false, IsWinNT4Up = false;

int ProcessorFamily() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax, ebx, ecx, edx;
  if (__builtin_cpu_supports("sse")) {
    __asm__("cpuid" : "=a"(eax), "=b"(ebx), "=c"(ecx), "=d"(edx) : "a"(1));
    int family = int((eax >> 8) & 0xF);
    return family > 4 ? family - 4 : 0;
  }
#endif
  return 0;
}

bool HasMMX() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("mmx");
#else
  return false;
#endif
}

bool GetDiskFree(const std::string& path, int64_t& freeBytes, int64_t& totalBytes) {
  return plat::GetDiskFree(path, freeBytes, totalBytes);
}

bool HasDiskSpace(const std::string& path, int64_t bytes) {
  int64_t f, t;
  return GetDiskFree(path, f, t) && f >= bytes;
}

int64_t GetFileSizeByName(const std::string& path) { return plat::FileSize(path); }

std::string CheckPathDelimiter(const std::string& path, int mode) {
  return mode == 1 ? plat::IncludeTrailingPathDelimiter(path) : plat::ExcludeTrailingPathDelimiter(path);
}

std::string TimeToText(bool withMs, int64_t ms) {
  std::string sign;
  if (ms < 0) {
    sign = "-";
    ms = ms == std::numeric_limits<int64_t>::min() ? std::numeric_limits<int64_t>::max() : -ms;
  }
  const long long days = ms / 86400000, hours = ms / 3600000 % 24, minutes = ms / 60000 % 60, seconds = ms / 1000 % 60,
                  milli = ms % 1000;
  char buf[64];
  if (ms >= 86400000) {
    if (withMs)
      std::snprintf(buf, sizeof buf, "%lld:%2.2lld:%2.2lld:%2.2lld.%3.3lld", days, hours, minutes, seconds, milli);
    else std::snprintf(buf, sizeof buf, "%lld:%2.2lld:%2.2lld:%2.2lld", days, hours, minutes, seconds);
  } else if (ms >= 3600000) {
    if (withMs) std::snprintf(buf, sizeof buf, "%lld:%2.2lld:%2.2lld.%3.3lld", hours, minutes, seconds, milli);
    else std::snprintf(buf, sizeof buf, "%lld:%2.2lld:%2.2lld", hours, minutes, seconds);
  } else {
    if (withMs) std::snprintf(buf, sizeof buf, "%lld:%2.2lld.%3.3lld", minutes, seconds, milli);
    else std::snprintf(buf, sizeof buf, "%lld:%2.2lld", minutes, seconds);
  }
  return sign + buf;
}

std::string TimeToTextMs(int64_t ms) { return TimeToText(true, ms); }

// A block carries its size in front of the data.
namespace {
constexpr size_t kHeader = 16;  // keeps the data 16-byte aligned
}

void* GlobalAllocMem(size_t n) {
  void* raw = std::calloc(1, n + kHeader);
  if (!raw) throw plat::EOutOfMemory();
  *static_cast<size_t*>(raw) = n;
  return static_cast<char*>(raw) + kHeader;
}

void GlobalFreeMem(void*& p) {
  if (!p) return;
  std::free(static_cast<char*>(p) - kHeader);
  p = nullptr;
}

void GlobalReAllocMem(void*& p, size_t n) {
  GlobalFreeMem(p);
  p = GlobalAllocMem(n);
}

size_t GlobalMemSize(const void* p) {
  if (!p) return 0;
  return *reinterpret_cast<const size_t*>(static_cast<const char*>(p) - kHeader);
}
