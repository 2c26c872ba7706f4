#include "controls/zelprocs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/system/exceptions.h"
#include "platform/system/files.h"

namespace {

constexpr size_t kWindow = 4095;  // farthest a match may reach back
constexpr size_t kMaxMatch = 18;
constexpr size_t kMinMatch = 3;
constexpr size_t kMinRun = 16;
constexpr size_t kMaxRun = 4095;
constexpr uint16_t kNone = 0xFFFF;

inline uint32_t Hash3(const uint8_t* p) {
  uint32_t v = ((uint32_t(p[0]) << 4) ^ p[1]) << 4 ^ p[2];
  return ((v * 40543u) >> 4) & 0x0FFF;
}

[[noreturn]] void Damaged() { throw plat::EReadError("Compressed data is damaged"); }

size_t StoreBlock(const uint8_t* src, size_t n, uint8_t* dst) {
  dst[0] = kLzrwFlagStored;
  if (n) std::memcpy(dst + 1, src, n);
  return n + 1;
}

}  // namespace

size_t LzrwCompressBlock(const uint8_t* src, size_t n, uint8_t* dst, size_t dstCapacity) {
  if (n > kLzrwMaxInput) throw plat::ERangeError();
  if (dstCapacity < LzrwBlockBound(n)) throw plat::ERangeError();
  std::vector<uint16_t> table;
  try {
    table.assign(4096, kNone);
  } catch (const std::bad_alloc&) {
    throw plat::EInvalidPointer("LZRW Error!");
  }

  dst[0] = kLzrwFlagCompressed;
  size_t cmdPos = 1;
  size_t out = 3;
  uint16_t command = 0;
  int bits = 0;
  size_t pos = 0;

  auto endItem = [&](bool isCopy) {
    command = uint16_t((command << 1) | (isCopy ? 1 : 0));
    if (++bits == 16) {
      dst[cmdPos] = uint8_t(command >> 8);
      dst[cmdPos + 1] = uint8_t(command);
      cmdPos = out;
      out += 2;
      command = 0;
      bits = 0;
    }
  };

  while (pos < n && out <= n) {
    size_t run = 1;
    while (pos + run < n && run < kMaxRun && src[pos + run] == src[pos]) ++run;
    if (run >= kMinRun) {
      size_t code = run - kMinRun;
      dst[out++] = 0;
      dst[out++] = uint8_t((code >> 8) & 0x0F);
      dst[out++] = uint8_t(code);
      dst[out++] = src[pos];
      pos += run;
      endItem(true);
      continue;
    }
    if (pos + kMinMatch <= n) {
      uint32_t h = Hash3(src + pos);
      uint16_t candidate = table[h];
      table[h] = uint16_t(pos);
      if (candidate != kNone && pos - candidate <= kWindow) {
        size_t limit = std::min(kMaxMatch, n - pos);
        size_t len = 0;
        while (len < limit && src[candidate + len] == src[pos + len]) ++len;
        if (len >= kMinMatch) {
          size_t offset = pos - candidate;
          dst[out++] = uint8_t(offset >> 4);
          dst[out++] = uint8_t(((offset & 0x0F) << 4) | (len - kMinMatch));
          pos += len;
          endItem(true);
          continue;
        }
      }
    }
    dst[out++] = src[pos++];
    endItem(false);
  }

  if (out > n) return StoreBlock(src, n, dst);
  if (bits > 0) {
    command = uint16_t(command << (16 - bits));
    dst[cmdPos] = uint8_t(command >> 8);
    dst[cmdPos + 1] = uint8_t(command);
  } else {
    out -= 2;  // the command word reserved after a full group has no items
  }
  return out;
}

size_t LzrwDecompressBlock(const uint8_t* block, size_t len, uint8_t* dst, size_t dstCapacity) {
  if (len == 0) Damaged();
  if (block[0] == kLzrwFlagStored) {
    size_t n = len - 1;
    if (n > dstCapacity) Damaged();
    if (n) std::memcpy(dst, block + 1, n);
    return n;
  }
  if (block[0] != kLzrwFlagCompressed) Damaged();

  size_t in = 1;
  size_t out = 0;
  while (in < len) {
    if (len - in < 2) Damaged();
    uint16_t command = uint16_t(block[in] << 8 | block[in + 1]);
    in += 2;
    for (int bit = 0; bit < 16 && in < len; ++bit, command = uint16_t(command << 1)) {
      if (!(command & 0x8000)) {
        if (out >= dstCapacity) Damaged();
        dst[out++] = block[in++];
        continue;
      }
      if (len - in < 2) Damaged();
      size_t offset = size_t(block[in]) << 4 | block[in + 1] >> 4;
      if (offset == 0) {
        if (len - in < 4) Damaged();
        size_t run = ((size_t(block[in + 1]) & 0x0F) << 8 | block[in + 2]) + kMinRun;
        if (run > dstCapacity - out) Damaged();
        std::memset(dst + out, block[in + 3], run);
        out += run;
        in += 4;
        continue;
      }
      size_t count = (block[in + 1] & 0x0F) + kMinMatch;
      if (offset > out || count > dstCapacity - out) Damaged();
      // Byte by byte: a match may overlap the bytes it produces.
      for (size_t i = 0; i < count; ++i, ++out) dst[out] = dst[out - offset];
      in += 2;
    }
  }
  return out;
}

// ---- texts and paths ----------------------------------------------------------------------------

bool IsBlank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

std::string ReplaceChar(std::string s, char from, char to) {
  for (char& c : s)
    if (c == from) c = to;
  return s;
}

bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

char PathSeparatorOf(const std::string& path) {
  bool slash = path.find('/') != std::string::npos;
  bool back = path.find('\\') != std::string::npos;
  return back && !slash ? '\\' : '/';
}

std::string AddBackslash(const std::string& s) {
  if (!s.empty() && IsPathSeparator(s.back())) return s;
  return s + PathSeparatorOf(s);
}

std::string RemoveBackslash(const std::string& s) {
  if (IsBlank(s)) return s;
  if (IsPathSeparator(s.back())) return s.substr(0, s.size() - 1);
  return s;
}

namespace {
size_t LastSeparator(const std::string& s) { return s.find_last_of("/\\"); }
}  // namespace

std::string FileNameWithoutExt(const std::string& path) {
  size_t sep = LastSeparator(path);
  std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string DriveOf(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':' && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
    return path.substr(0, 2);
  return {};
}

std::string ShortenPathLevel(const std::string& folder) {
  if (folder.size() == 1 && IsPathSeparator(folder[0])) return {};
  std::string rest = folder;
  std::string kept;
  if (!rest.empty() && IsPathSeparator(rest[0])) {
    kept = rest.substr(0, 1);
    rest.erase(0, 1);
  }
  if (rest.size() >= 4 && rest.compare(0, 3, "...") == 0 && IsPathSeparator(rest[3])) rest.erase(0, 4);
  size_t sep = rest.find_first_of("/\\");
  if (sep == std::string::npos) rest.clear();
  else rest = "..." + std::string(1, rest[sep]) + rest.substr(sep + 1);
  return kept + rest;
}

std::string ShortenPath(const std::string& path, size_t maxLength) {
  std::string drive = DriveOf(path);
  std::string rest = path.substr(drive.size());
  size_t sep = LastSeparator(rest);
  std::string folder = sep == std::string::npos ? std::string() : rest.substr(0, sep + 1);
  std::string name = sep == std::string::npos ? rest : rest.substr(sep + 1);
  while (drive.size() + folder.size() + name.size() > maxLength && !(folder.empty() && drive.empty())) {
    if (folder.empty()) {
      drive.clear();
      break;
    }
    folder = ShortenPathLevel(folder);
    if (folder.size() == 5 && IsPathSeparator(folder[0]) && folder.compare(1, 3, "...") == 0 &&
        IsPathSeparator(folder[4])) {
      folder.erase(0, 1);
      drive.clear();
    }
    if (folder.empty()) drive.clear();
  }
  return drive + folder + name;
}

std::string ProgramFolder() { return plat::ExecutableFolder(); }
std::string WindowsFolder() { return "/etc"; }
std::string SystemFolder() { return "/usr/lib"; }

std::string SpecialFolder(TZelPathPrefix kind, bool withSeparator) {
  std::string folder;
  switch (kind) {
    case ppWindows: folder = WindowsFolder(); break;
    case ppSystem: folder = SystemFolder(); break;
    case ppProgram: folder = ProgramFolder(); break;
    default: return {};
  }
  return withSeparator ? AddBackslash(folder) : RemoveBackslash(folder);
}

std::string ZelLogFileName(const std::string& name, TZelPathPrefix kind, const std::string& programPath) {
  std::string result;
  auto extOf = [](const std::string& p) {
    size_t sep = LastSeparator(p);
    size_t dot = p.rfind('.');
    return dot == std::string::npos || (sep != std::string::npos && dot < sep) ? std::string() : p.substr(dot);
  };
  if (IsBlank(name)) {
    std::string ext = extOf(programPath);
    result = programPath.substr(0, programPath.size() - ext.size()) + ".LOG";
  } else {
    result = name;
    if (IsBlank(extOf(result)) || extOf(result) == ".") {
      if (!result.empty() && result.back() == '.') result.pop_back();
      result += ".LOG";
    }
  }
  if (kind == ppFixed) return result;
  size_t sep = LastSeparator(result);
  std::string filePart = sep == std::string::npos ? result : result.substr(sep + 1);
  std::string folder;
  if (kind == ppProgram) {
    size_t psep = LastSeparator(programPath);
    folder = psep == std::string::npos ? ProgramFolder() : programPath.substr(0, psep + 1);
  } else {
    folder = SpecialFolder(kind, true);
  }
  return AddBackslash(folder) + filePart;
}

// ---- rectangles ---------------------------------------------------------------------------------

plat::TRect GrowRect(const plat::TRect& r, int dLeft, int dTop, int dRight, int dBottom) {
  return {r.Left + dLeft, r.Top + dTop, r.Right + dRight, r.Bottom + dBottom};
}

plat::TSize RectSize(const plat::TRect& r) { return {r.Width(), r.Height()}; }

plat::TRect FitRect(const plat::TRect& first, const plat::TRect& second) {
  const int fw = first.Width(), fh = first.Height();
  if (fw <= 0 || fh <= 0) return plat::Bounds(second.Left, second.Top, 0, 0);
  const double ratio = std::min(double(second.Width()) / fw, double(second.Height()) / fh);
  return plat::Bounds(second.Left, second.Top, int(fw * ratio), int(fh * ratio));
}

plat::TRect RotatedBounds(const plat::TRect& r, double degrees) {
  if (degrees == 0) return r;
  const double a = degrees * M_PI / 180.0;
  const double c = std::fabs(std::cos(a)), s = std::fabs(std::sin(a));
  const double w = r.Width() * c + r.Height() * s, h = r.Width() * s + r.Height() * c;
  return plat::Rect(0, 0, int(std::lround(w)), int(std::lround(h)));
}

int MaxOf(const std::vector<int>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

int MinOf(const std::vector<int>& values) {
  return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

long double MinOfFloat(const std::vector<long double>& values) {
  return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}
