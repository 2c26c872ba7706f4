#include "displays/MMBCache.h"

#include <algorithm>

using plat::TBitmap;

namespace {
std::unique_ptr<TBitmapCache>& Cache() {
  static std::unique_ptr<TBitmapCache> cache;
  return cache;
}
}  // namespace

TBitmapCache* TBitmapCache::Instance() { return Cache().get(); }

TBitmap* TBitmapCache::Acquire(int width, int height) {
  auto& cache = Cache();
  if (!cache) cache = std::make_unique<TBitmapCache>();
  for (Entry& e : cache->entries_)
    if (e.bitmap->Width() == width && e.bitmap->Height() == height) {
      ++e.users;
      return e.bitmap.get();
    }
  Entry e;
  e.bitmap = std::make_unique<TBitmap>(width, height);
  e.users = 1;
  cache->entries_.push_back(std::move(e));
  return cache->entries_.back().bitmap.get();
}

void TBitmapCache::Release(TBitmap*& bitmap) {
  auto& cache = Cache();
  if (!bitmap) return;
  TBitmap* b = bitmap;
  // A reference kept after its release could release someone else's share a second time.
  bitmap = nullptr;
  if (!cache) return;
  auto& v = cache->entries_;
  auto it = std::find_if(v.begin(), v.end(), [b](const Entry& e) { return e.bitmap.get() == b; });
  if (it == v.end()) return;
  if (--it->users > 0) return;
  v.erase(it);
  if (v.empty()) cache.reset();
}

int TBitmapCache::Users(const TBitmap* bitmap) const {
  for (const Entry& e : entries_)
    if (e.bitmap.get() == bitmap) return e.users;
  return 0;
}
