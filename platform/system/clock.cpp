#include "platform/system/clock.h"

#include <cerrno>
#include <ctime>

namespace plat {

int64_t MicroSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

uint32_t TickCount() { return uint32_t(MicroSeconds() / 1000); }

void SleepUs(int64_t us) {
  if (us <= 0) return;
  timespec ts{time_t(us / 1000000), long((us % 1000000) * 1000)};
  while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {}
}

void SleepMs(int64_t ms) { SleepUs(ms * 1000); }

}  // namespace plat
