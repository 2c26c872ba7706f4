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

StreamWatch::Clock::duration StreamWatch::Stall(Clock::time_point now) {
  Look(now);
  return ran_ > covered_ + kStalledLimit ? ran_ - covered_ : Clock::duration{};
}

void OverrunLoss::Look(uint64_t arrived, Clock::time_point now) {
  arrived_ = arrived;
  at_ = now;
}

uint64_t OverrunLoss::Restarted(uint64_t read, Clock::time_point now) {
  const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(std::max(now, at_) - at_).count();
  // Read since the look: what arrived after it, which the time since covers already.
  const int64_t unread = int64_t(arrived_) - int64_t(read);
  const int64_t lost = unread + int64_t(uint64_t(us) * rate_ / 1000000);
  Look(read, now);
  return uint64_t(std::max<int64_t>(lost, 0));
}

}  // namespace plat::wavecore
