// How long a sound stream has moved no audio and when that is told, on a clock the test steps: a
// stall counts only over time in which the program looked at its stream, audio covers its own
// playing time, and a wait that is not the stream's never counts. And what an overrun cost.
#include <gtest/gtest.h>

#include "platform/audio/stream_watch.h"

namespace {

using plat::wavecore::StreamWatch;
using namespace std::chrono_literals;
using Clock = StreamWatch::Clock;

constexpr uint32_t kRate = 44100;

bool Told(StreamWatch& w, Clock::time_point t) { return w.Stall(t) > Clock::duration{}; }

// A driver's loop: looks every `step`, the stream moving nothing, until the watch tells a stall or
// `most` has passed; the time it told it, from t.
Clock::duration StallAfter(StreamWatch& w, Clock::time_point& t, Clock::duration step = 20ms,
                           Clock::duration most = 60s) {
  const Clock::time_point from = t;
  while (t - from < most) {
    t += step;
    if (Told(w, t)) return t - from;
  }
  return most;
}

TEST(StreamWatch, AStreamThatMovesNothingIsToldAtTheLimitAndNotBefore) {
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
    ASSERT_FALSE(Told(w, t)) << "at look " << i;
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
  for (int i = 0; i < 250; ++i) ASSERT_FALSE(Told(w, t += 20ms)) << "at " << (i + 1) * 20 << " ms of the stall";
  w.Moved(kRate / 2, t += 20ms);
  for (int i = 0; i < 100; ++i) w.Moved(kRate / 50, t += 20ms);
  EXPECT_FALSE(Told(w, t));
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
  EXPECT_FALSE(Told(w, t)) << "a gap in the program's own loop was taken for a stall";
  EXPECT_EQ(before + StreamWatch::kLongestLook, w.Ran());
  // After it, a stall is told only once the stream has moved nothing for the limit of running time.
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
    ASSERT_FALSE(Told(w, t));
  }
  const Clock::duration after = StallAfter(w, t);
  EXPECT_GT(after, StreamWatch::kStalledLimit);
  EXPECT_LE(after, StreamWatch::kStalledLimit + 20ms);
  // A clock that steps back (another thread's reading) changes nothing.
  w.Restart(t);
  EXPECT_FALSE(Told(w, t - 10s));
  EXPECT_EQ(Clock::duration{}, w.Ran());
}

// A stall is told as long as it has lasted, however long that is, and the count is gone as soon as
// audio moves again: a server frozen for a minute is no end of the stream.
TEST(StreamWatch, AStallIsToldAsLongAsItLastsAndEndsWhenAudioMovesAgain) {
  Clock::time_point t{};
  StreamWatch w(kRate);
  w.Restart(t);
  for (int i = 0; i < 50; ++i) w.Moved(kRate / 50, t += 20ms);
  Clock::duration told{};
  for (int i = 0; i < 3000; ++i) told = w.Stall(t += 20ms);
  EXPECT_EQ(60s - 20ms, told) << "a minute with nothing (less the 20 ms the last audio covers) is told whole";
  // What the server held comes at once, and the stream goes on.
  w.Moved(kRate * 2, t += 20ms);
  EXPECT_EQ(Clock::duration{}, w.Stall(t));
  for (int i = 0; i < 100; ++i) ASSERT_FALSE(Told(w, t += 20ms)) << "the burst covers its own two seconds";
  // A second stall is told from its own start, not added to the first.
  const Clock::duration second = StallAfter(w, t);
  EXPECT_LE(second, StreamWatch::kStalledLimit + 20ms);
  EXPECT_LT(w.Stall(t), StreamWatch::kStalledLimit + 1s);
}

// An overrun costs what had come and was not read at the last look, and everything from that look
// until the stream runs again; what was read after the look is no loss.
TEST(OverrunLoss, IsWhatWasNotReadAndWhatCameUntilTheStreamRanAgain) {
  using plat::wavecore::OverrunLoss;
  Clock::time_point t{};
  OverrunLoss loss(kRate);
  loss.Look(0, t);
  // Steady reading: a look sees 882 frames waiting every 20 ms.
  uint64_t read = 0;
  for (int i = 0; i < 100; ++i) {
    loss.Look(read + kRate / 50, t += 20ms);
    read += kRate / 50;
  }
  // At the last look 882 frames waited and were read; then the program was held up for 1.5 s, and
  // the stream, a second long, overran. It runs again at once on the program's return.
  EXPECT_EQ(uint64_t(kRate) * 3 / 2, loss.Restarted(read, t += 1500ms));
  // Half a second waited at the look and only part of it was read before the overrun.
  loss.Look(read + kRate / 2, t += 20ms);
  read += kRate / 5;
  EXPECT_EQ(uint64_t(kRate) * 3 / 10 + uint64_t(kRate), loss.Restarted(read, t += 1s));
  // More read after the look than it saw: what came after the look is counted once, by the time.
  loss.Look(read, t += 20ms);
  read += kRate / 10;
  EXPECT_EQ(uint64_t(kRate) * 4 / 10, loss.Restarted(read, t += 500ms));
  // A clock read on another thread may step back; nothing is lost to that.
  loss.Look(read, t);
  EXPECT_EQ(0u, loss.Restarted(read, t - 1s));
}

}  // namespace
