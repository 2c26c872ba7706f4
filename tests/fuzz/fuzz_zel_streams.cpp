// Feeds arbitrary bytes to the kit's readers of stored forms: the block decompressor, the
// compressed stream form, list files and container records, and region data. Each may refuse the data with an
// exception of the framework, but never read or write outside its buffers; and whatever the
// compressor makes of the bytes must come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "controls/ZelRegionMask.h"
#include "controls/ZelStreamUtils.h"
#include "controls/zelcont_store.h"
#include "controls/zelprocs.h"

namespace {

template <class F>
void Refusable(F&& f) {
  try {
    f();
  } catch (const plat::Exception&) {
  }
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
  if (ParseRegionData(bytes, rects))
    for (const auto& r : rects)
      if (plat::IsRectEmpty(r)) std::abort();

  if (size <= kLzrwMaxInput) {
    std::vector<uint8_t> block(LzrwBlockBound(size));
    size_t n = LzrwCompressBlock(data, size, block.data(), block.size());
    std::vector<uint8_t> back(size + 1);
    size_t m = LzrwDecompressBlock(block.data(), n, back.data(), back.size());
    if (m != size || (size && std::memcmp(back.data(), data, size) != 0)) std::abort();
  }
  return 0;
}
