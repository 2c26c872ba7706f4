#pragma once
// Tells a sound stream that has stopped moving audio (a session manager gone, a source or sink
// unlinked) from one that is only held up (a sound server stopped or starved for a while, the
// program itself stopped, swapped out or starved). A stalled stream ends a take or a playback with
// a message; a held-up one must not, since it moves audio again when it wakes.
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

  // How long a stream may move no audio, beyond what its earlier audio covers, before it has
  // stopped. A sound server that was stopped or starved for a few seconds (a paused virtual
  // machine, swapping, a stalled disk) delivers again within this when it wakes, and its stream's
  // first audio may take a whole block of two seconds; a stream that stays dead is still told within
  // about ten seconds.
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
  // The stream moved nothing: true once it has stopped.
  bool Stalled(Clock::time_point now);

  // The program's own running time since the last restart, as counted (for tests).
  Clock::duration Ran() const { return ran_; }

private:
  void Look(Clock::time_point now);

  const uint32_t rate_;
  Clock::time_point last_{};
  Clock::duration ran_{};      // since the last restart
  Clock::duration covered_{};  // on the same count: until when the audio moved covers
};

}  // namespace plat::wavecore
