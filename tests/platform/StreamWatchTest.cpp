// When a sound stream that moves no audio has stopped, on a clock the test steps: a stall counts
// only over time in which the program looked at its stream, audio covers its own playing time,
// and a wait that is not the stream's never counts.
#include <gtest/gtest.h>

#include "platform/audio/stream_watch.h"

namespace {

using plat::wavecore::StreamWatch;
using namespace std::chrono_literals;
using Clock = StreamWatch::Clock;

constexpr uint32_t kRate = 44100;

// A driver's loop: looks every `step`, the stream moving nothing, until the watch says stalled or
// `most` has passed; the time it said so, from t.
Clock::duration StallAfter(StreamWatch& w, Clock::time_point& t, Clock::duration step = 20ms,
                           Clock::duration most = 60s) {
  const Clock::time_point from = t;
  while (t - from < most) {
    t += step;
    if (w.Stalled(t)) return t - from;
  }
  return most;
}

TEST(StreamWatch, AStreamThatMovesNothingStopsAtTheLimitAndNotBefore) {
  Clock::time_point t{};
  StreamWatch w(kRate);
  w.Restart(t);
  // A start waits the whole limit for the first audio (a server's idle source may start with a
  // block of two seconds).
  const Clock::duration first = StallAfter(w, t);
  EXPECT_GT(first, StreamWatch::kStalledLimit);
  EXPECT_LE(first, StreamWatch::kStalledLimit + 20ms);

  // Audio covers its playing time: a second delivered at once, then nothing, stalls a second
  // later than nothing at all would.
  w.Restart(t);
  w.Moved(kRate, t);
  const Clock::duration afterBurst = StallAfter(w, t);
  EXPECT_GT(afterBurst, StreamWatch::kStalledLimit + 1s);
  EXPECT_LE(afterBurst, StreamWatch::kStalledLimit + 1s + 20ms);

  // Steady audio keeps it alive however long it goes on.
  w.Restart(t);
  for (int i = 0; i < 3000; ++i) {
    t += 20ms;
    w.Moved(kRate / 50, t);
    ASSERT_FALSE(w.Stalled(t)) << "at look " << i;
  }
}

// A server stopped or starved for a few seconds delivers again when it wakes: it must ride out a
// freeze of at least five seconds, while a stream that stays dead is told within about ten.
TEST(StreamWatch, AServerThatStallsForFiveSecondsIsNoLostStreamButADeadOneIsToldWithinTen) {
  EXPECT_GE(StreamWatch::kStalledLimit, 6s) << "a five-second stall with a second's margin";
  EXPECT_LE(StreamWatch::kStalledLimit, 9s) << "a dead stream told within about ten seconds";

  Clock::time_point t{};
  StreamWatch w(kRate);
  w.Restart(t);
  for (int i = 0; i < 100; ++i) w.Moved(kRate / 50, t += 20ms);
  // Five seconds of nothing, then audio again, in a burst of what the server held.
  for (int i = 0; i < 250; ++i) ASSERT_FALSE(w.Stalled(t += 20ms)) << "at " << (i + 1) * 20 << " ms of the stall";
  w.Moved(kRate / 2, t += 20ms);
  for (int i = 0; i < 100; ++i) w.Moved(kRate / 50, t += 20ms);
  EXPECT_FALSE(w.Stalled(t));
}

// The program itself stopped (SIGSTOP, swapped out): its loop did not look for seconds. That time
// is no stall of the stream; the stream gets the whole limit of the program's own running time after
// it, and the count goes on from where it stood before.
TEST(StreamWatch, TimeInWhichTheProgramDidNotRunIsNoStall) {
  Clock::time_point t{};
  StreamWatch w(kRate);
  w.Restart(t);
  for (int i = 0; i < 100; ++i) w.Moved(kRate / 50, t += 20ms);
  const Clock::duration before = w.Ran();
  // A gap of a minute between two looks.
  t += 60s;
  EXPECT_FALSE(w.Stalled(t)) << "a gap in the program's own loop was taken for a stall";
  EXPECT_EQ(before + StreamWatch::kLongestLook, w.Ran());
  // After it, the stream stalls only once it has moved nothing for the limit of running time.
  const Clock::duration after = StallAfter(w, t);
  EXPECT_GT(after + StreamWatch::kLongestLook, StreamWatch::kStalledLimit);
  EXPECT_LE(after, StreamWatch::kStalledLimit + 20ms);

  // A loop that is starved, looking only every two seconds, is still told of a dead stream: each
  // look counts as much as the longest look.
  w.Restart(t);
  const Clock::duration starved = StallAfter(w, t, 2s, 300s);
  EXPECT_LT(starved, 300s) << "a stream that stays dead was never told while the program was starved";
}

// A wait that is not the stream's (no buffer to fill, the stream's own buffer full, the audio in it
// still playing) counts no stall; the count starts at its end.
TEST(StreamWatch, AnExcusedWaitCountsNoStall) {
  Clock::time_point t{};
  StreamWatch w(kRate);
  w.Restart(t);
  for (int i = 0; i < 1000; ++i) {
    t += 20ms;
    w.Excused(t);
    ASSERT_FALSE(w.Stalled(t));
  }
  const Clock::duration after = StallAfter(w, t);
  EXPECT_GT(after, StreamWatch::kStalledLimit);
  EXPECT_LE(after, StreamWatch::kStalledLimit + 20ms);
  // A clock that steps back (another thread's reading) changes nothing.
  w.Restart(t);
  EXPECT_FALSE(w.Stalled(t - 10s));
  EXPECT_EQ(Clock::duration{}, w.Ran());
}

}  // namespace
