#include "platform/audio/stream_watch.h"

#include <algorithm>

namespace plat::wavecore {

void StreamWatch::Restart(Clock::time_point now) {
  last_ = now;
  ran_ = covered_ = {};
}

void StreamWatch::Look(Clock::time_point now) {
  if (now > last_) ran_ += std::min<Clock::duration>(now - last_, kLongestLook);
  last_ = std::max(last_, now);
}

void StreamWatch::Moved(uint64_t frames, Clock::time_point now) {
  Look(now);
  covered_ = std::max(covered_, ran_) +
             std::chrono::duration_cast<Clock::duration>(std::chrono::microseconds(frames * 1000000 / rate_));
}

void StreamWatch::Excused(Clock::time_point now) {
  Look(now);
  covered_ = std::max(covered_, ran_);
}

bool StreamWatch::Stalled(Clock::time_point now) {
  Look(now);
  return ran_ > covered_ + kStalledLimit;
}

}  // namespace plat::wavecore
