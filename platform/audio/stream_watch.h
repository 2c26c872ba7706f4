#pragma once
// Tells how long a sound stream has moved no audio: a stream that is only held up (a sound server
// stopped or starved for a while, a session manager gone, the program itself stopped, swapped out
// or starved) moves audio again when it wakes, and is never ended for it; once a stall has gone on
// for several seconds the operator is told, and the take or playback goes on behind the message.
//
// The stall is counted on the program's own running time: the driver's loop looks at its stream
// every period or two, and a longer gap between two looks is time in which the program did not run,
// which says nothing about the stream. Audio the stream moves covers its playing time from when it
// was seen (or from the end of what came before), so a source that delivers ahead in bursts is not
// taken for a silent one. The owner passes the time of each look, so the rules can be tried on any
// clock.
#include <chrono>
#include <cstdint>

namespace plat::wavecore {

class StreamWatch {
public:
  using Clock = std::chrono::steady_clock;

  // How long a stream may move no audio, beyond what its earlier audio covers, before the stall is
  // told. A sound server that was stopped or starved for a few seconds (a paused virtual machine,
  // swapping, a stalled disk) delivers again within this when it wakes, and its stream's first
  // audio may take a whole block of two seconds: such a hiccup says nothing to the operator.
  static constexpr Clock::duration kStalledLimit = std::chrono::seconds(7);
  // The longest a look may follow the one before and count whole: the loop looks every period or
  // two (20 to 40 ms) while the stream runs. What lies beyond is time in which the program did not
  // run, and counts as this much.
  static constexpr Clock::duration kLongestLook = std::chrono::milliseconds(250);

  explicit StreamWatch(uint32_t rate) : rate_(rate ? rate : 1) {}

  // The stream starts, or starts again (a start, a resume, a recovery): the count begins anew.
  void Restart(Clock::time_point now);
  // The stream moved this many frames since the last look.
  void Moved(uint64_t frames, Clock::time_point now);
  // The stream moved nothing, and the wait is not its own (no buffer to fill, no room for more, the
  // audio it holds still playing): no stall is counted up to now.
  void Excused(Clock::time_point now);
  // The stream moved nothing: how long it has moved no audio beyond what its audio covers, once
  // that is past the limit; zero before.
  Clock::duration Stall(Clock::time_point now);

  // The program's own running time since the last restart, as counted (for tests).
  Clock::duration Ran() const { return ran_; }

private:
  void Look(Clock::time_point now);

  const uint32_t rate_;
  Clock::time_point last_{};
  Clock::duration ran_{};      // since the last restart
  Clock::duration covered_{};  // on the same count: until when the audio moved covers
};

// What an input loses when its stream overruns (the program was held up longer than the stream's
// buffer, or the device was suspended): what had arrived at the last look and was not read since,
// and all that came from that look until the stream runs again. It is counted on the program's own
// clock over the hold-up alone, so a device clock that drifts from it over a long take adds no
// error.
class OverrunLoss {
public:
  using Clock = StreamWatch::Clock;

  explicit OverrunLoss(uint32_t rate) : rate_(rate ? rate : 1) {}
  // At a start or a look: `arrived` frames had come since the start, read or waiting in the stream.
  void Look(uint64_t arrived, Clock::time_point now);
  // The stream runs again after an overrun, `read` frames having been read since the start: the
  // frames lost. The next look counts from here.
  uint64_t Restarted(uint64_t read, Clock::time_point now);

private:
  const uint32_t rate_;
  uint64_t arrived_ = 0;
  Clock::time_point at_{};
};

}  // namespace plat::wavecore
