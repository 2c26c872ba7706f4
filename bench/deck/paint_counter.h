#pragma once
// The counts the preloaded paint counter keeps in its shared file.
#include <atomic>
#include <cstdint>

struct DeckPaintCounters {
  std::atomic<uint64_t> puts{0};     // images and area copies sent to the X server
  std::atomic<uint64_t> flushes{0};  // connection flushes that carried at least one of them
};
static_assert(std::atomic<uint64_t>::is_always_lock_free);
