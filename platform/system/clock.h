#pragma once
#include <cstdint>

namespace plat {

// Microseconds on the monotonic clock: never goes back, does not overflow in practice.
int64_t MicroSeconds();
// Milliseconds on the monotonic clock, wrapping at 2^32 like a system tick count.
uint32_t TickCount();
void SleepMs(int64_t ms);
void SleepUs(int64_t us);

}  // namespace plat
