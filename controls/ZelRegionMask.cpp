// The region data layout; Qt-free so the fuzzers reach it.
#include "controls/ZelRegionMask.h"

namespace {

uint32_t Le32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
         uint32_t(uint8_t(b[at + 3])) << 24;
}

void Put32(std::string& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(char(v >> (8 * i)));
}

constexpr uint32_t kHeaderSize = 32;
constexpr uint32_t kRectangles = 1;

}  // namespace

bool ParseRegionData(const std::string& bytes, std::vector<plat::TRect>& rects) {
  rects.clear();
  if (bytes.size() < kHeaderSize) return false;
  const uint32_t header = Le32(bytes, 0), type = Le32(bytes, 4), count = Le32(bytes, 8);
  if (header < kHeaderSize || header > bytes.size() || type != kRectangles) return false;
  if (uint64_t(count) * 16 > bytes.size() - header) return false;
  rects.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t at = header + size_t(i) * 16;
    plat::TRect r{int32_t(Le32(bytes, at)), int32_t(Le32(bytes, at + 4)), int32_t(Le32(bytes, at + 8)),
                  int32_t(Le32(bytes, at + 12))};
    if (!plat::IsRectEmpty(r)) rects.push_back(r);
  }
  return true;
}

std::string BuildRegionData(const std::vector<plat::TRect>& rects) {
  plat::TRect bound{};
  for (const auto& r : rects) plat::UnionRect(bound, bound, r);
  std::string b;
  Put32(b, kHeaderSize);
  Put32(b, kRectangles);
  Put32(b, uint32_t(rects.size()));
  Put32(b, uint32_t(rects.size() * 16));
  for (int v : {bound.Left, bound.Top, bound.Right, bound.Bottom}) Put32(b, uint32_t(v));
  for (const auto& r : rects)
    for (int v : {r.Left, r.Top, r.Right, r.Bottom}) Put32(b, uint32_t(v));
  return b;
}
