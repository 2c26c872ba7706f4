// Feeds arbitrary bytes to the kit's readers of stored forms: the block decompressor, the
// compressed stream form, list files and container records, region data and point lists, and the
// regions made of them. Each may refuse the data with an
// exception of the framework, but never read or write outside its buffers; and whatever the
// compressor makes of the bytes must come back unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "controls/ZelPointList.h"
#include "controls/ZelRegionMask.h"
#include "controls/ZelStreamUtils.h"
#include "controls/zelcont_store.h"
#include "controls/zelprocs.h"
#include "controls/zelrgn.h"

namespace {

template <class F>
void Refusable(F&& f) {
  try {
    f();
  } catch (const plat::Exception&) {}
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);

  std::vector<uint8_t> out(kZelChunkSize);
  Refusable([&] { LzrwDecompressBlock(data, size, out.data(), out.size()); });
  // An exact fit may not be overrun either.
  std::vector<uint8_t> small(size % 64);
  Refusable([&] { LzrwDecompressBlock(data, size, small.data(), small.size()); });

  Refusable([&] { ExpandBytes(bytes); });

  Refusable([&] {
    plat::TMemoryStream s;
    SetMemoryBytes(s, bytes);
    std::vector<uint32_t> index;
    int kind = ReadListHeader(s, &index);
    if (kind == lkUnknown) return;
    for (size_t i = 0; i < index.size() && i < 64; ++i)
      Refusable([&] {
        plat::TMemoryStream f;
        SetMemoryBytes(f, bytes);
        LoadItemRecord(f, "fuzz", kind, nullptr, int(i));
      });
  });

  for (int kind : {lkImageList, lkBitmapList, lkWaveList, lkStringList})
    Refusable([&] {
      plat::TMemoryStream s;
      SetMemoryBytes(s, bytes);
      ReadContainer(s, kind, size % 2 == 0);
    });

  std::vector<plat::TRect> rects;
  if (ParseRegionData(bytes, rects)) {
    for (const auto& r : rects)
      if (plat::IsRectEmpty(r)) std::abort();
    // The region keeps every rectangle within its limits, and its own data reads back as itself.
    TZelRgn rgn = TZelRgn::FromRects(rects);
    auto inside = [](int v) { return v > -kZelRgnLimit && v < kZelRgnLimit; };
    for (const auto& r : rects)
      if (inside(r.Left) && inside(r.Top) && inside(r.Right) && inside(r.Bottom) &&
          !(rgn.Contains(r.Left, r.Top) && rgn.Contains(r.Right - 1, r.Bottom - 1)))
        std::abort();
    if (!(TZelRgn::FromRegionData(rgn.RegionData()) == rgn)) std::abort();
  }

  Refusable([&] {
    plat::TMemoryStream s;
    SetMemoryBytes(s, bytes);
    std::vector<plat::TPoint> pts = ReadPointListData(s);
    if (pts.size() > 64) return;
    TZelRgn poly = TZelRgn::FromPolygon(pts);
    if (poly.Empty()) return;
    plat::TRect box{pts[0].X, pts[0].Y, pts[0].X, pts[0].Y};
    for (auto p : pts)
      box = {std::min(box.Left, p.X), std::min(box.Top, p.Y), std::max(box.Right, p.X), std::max(box.Bottom, p.Y)};
    plat::TRect b = poly.Bounds();
    if (b.Left < box.Left || b.Top < box.Top || b.Right > box.Right || b.Bottom > box.Bottom) std::abort();
  });

  if (size <= kLzrwMaxInput) {
    std::vector<uint8_t> block(LzrwBlockBound(size));
    size_t n = LzrwCompressBlock(data, size, block.data(), block.size());
    std::vector<uint8_t> back(size + 1);
    size_t m = LzrwDecompressBlock(block.data(), n, back.data(), back.size());
    if (m != size || (size && std::memcmp(back.data(), data, size) != 0)) std::abort();
  }
  return 0;
}
