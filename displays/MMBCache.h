#pragma once
// One off-screen bitmap per size, shared by every slider of that size. The cache exists while it
// holds an entry. UI thread only.
#include <memory>
#include <vector>

#include "platform/ui/graphics.h"

class TBitmapCache : public plat::TObject {
public:
  // The bitmap of exactly this size, shared, or a new one.
  static plat::TBitmap* Acquire(int width, int height);
  // Gives up a reference (nothing for null) and clears it; the bitmap goes with its last user.
  static void Release(plat::TBitmap*& bitmap);
  // For tests: the cache, or null when it holds nothing.
  static TBitmapCache* Instance();
  int Count() const { return int(entries_.size()); }
  int Users(const plat::TBitmap* bitmap) const;
  std::string ClassName() const override { return "TBitmapCache"; }

private:
  struct Entry {
    std::unique_ptr<plat::TBitmap> bitmap;
    int users = 0;
  };
  std::vector<Entry> entries_;
};
