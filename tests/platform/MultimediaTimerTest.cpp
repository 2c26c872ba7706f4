#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "common/eventually.h"
#include "platform/audio/mmtimer.h"
#include "platform/system/threads.h"

using namespace plat;

namespace {

struct ManualMode {
  ManualMode() { UseManualMMTimer(true); }
  ~ManualMode() { UseManualMMTimer(false); }
};

}  // namespace

TEST(MultimediaTimer, RefusesWhatCannotRun) {
  EXPECT_EQ(TimeSetEvent(10, 1, nullptr, MMTimerKind::Periodic), 0u);
  EXPECT_EQ(TimeSetEvent(
                0, 1, [](uint32_t) {}, MMTimerKind::Periodic),
            0u);
  uint32_t minMs = 0, maxMs = 0;
  TimeGetDevCaps(minMs, maxMs);
  EXPECT_EQ(TimeSetEvent(
                maxMs + 1, 1, [](uint32_t) {}, MMTimerKind::Periodic),
            0u);
  EXPECT_EQ(TimeSetEvent(
                minMs - 1, 1, [](uint32_t) {}, MMTimerKind::Periodic),
            0u);
  EXPECT_FALSE(TimeKillEvent(0));
  EXPECT_FALSE(TimeKillEvent(0xFFFFFFF0u));
  EXPECT_FALSE(TimeBeginPeriod(0));
  int before = TimePeriodRequests();
  EXPECT_TRUE(TimeBeginPeriod(25));
  EXPECT_TRUE(TimeEndPeriod(25));
  EXPECT_FALSE(TimeEndPeriod(25));  // no begin left to match
  EXPECT_EQ(TimePeriodRequests(), before);
}

TEST(MultimediaTimer, ManualStepFiresEveryTickInOrderOnTheCallersThread) {
  ManualMode manual;
  uint32_t t0 = TimeGetTime();
  std::vector<std::pair<char, uint32_t>> log;
  auto me = std::this_thread::get_id();
  bool foreignThread = false;
  uint32_t a = TimeSetEvent(
      25, 1,
      [&](uint32_t) {
        foreignThread |= std::this_thread::get_id() != me;
        log.push_back({'a', TimeGetTime() - t0});
      },
      MMTimerKind::Periodic);
  uint32_t b = TimeSetEvent(
      40, 1,
      [&](uint32_t) {
        log.push_back({'b', TimeGetTime() - t0});
      },
      MMTimerKind::OneShot);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_NE(a, b);
  StepManualMMTimer(24);
  EXPECT_TRUE(log.empty());
  StepManualMMTimer(76);  // to 100: a at 25, 50, 75, 100 and b once at 40
  std::vector<std::pair<char, uint32_t>> want = {{'a', 25}, {'b', 40}, {'a', 50}, {'a', 75}, {'a', 100}};
  EXPECT_EQ(log, want);
  EXPECT_FALSE(foreignThread);
  EXPECT_EQ(TimeGetTime() - t0, 100u);
  EXPECT_FALSE(TimeKillEvent(b));  // a fired one-shot is gone
  EXPECT_TRUE(TimeKillEvent(a));
  StepManualMMTimer(100);
  EXPECT_EQ(log.size(), 5u);
}

TEST(MultimediaTimer, ManualCallbackMayKillItselfAndOthers) {
  ManualMode manual;
  int live = LiveMMTimerEvents();
  int aCalls = 0, bCalls = 0;
  uint32_t b = 0;
  uint32_t a = TimeSetEvent(
      10, 1,
      [&](uint32_t id) {
        ++aCalls;
        EXPECT_TRUE(TimeKillEvent(id));
        EXPECT_TRUE(TimeKillEvent(b));
      },
      MMTimerKind::Periodic);
  b = TimeSetEvent(
      10, 1, [&](uint32_t) { ++bCalls; }, MMTimerKind::Periodic);
  ASSERT_NE(a, 0u);
  StepManualMMTimer(50);
  EXPECT_EQ(aCalls, 1);
  EXPECT_EQ(bCalls, 0);  // a comes first at the same time and removed b
  EXPECT_EQ(LiveMMTimerEvents(), live);
}

TEST(MultimediaTimer, ThreadedPeriodicRunsOnItsOwnThreadUntilKilled) {
  std::atomic<int> calls{0};
  std::atomic<bool> onCaller{false};
  auto me = std::this_thread::get_id();
  uint32_t id = TimeSetEvent(
      2, 1,
      [&](uint32_t) {
        if (std::this_thread::get_id() == me) onCaller = true;
        ++calls;
      },
      MMTimerKind::Periodic);
  ASSERT_NE(id, 0u);
  EXPECT_TRUE(Eventually([&] { return calls.load() >= 3; }));
  EXPECT_TRUE(TimeKillEvent(id));
  int after = calls.load();
  EXPECT_FALSE(TimeKillEvent(id));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(calls.load(), after);  // the thread was joined: nothing more can come
  EXPECT_FALSE(onCaller.load());
}

TEST(MultimediaTimer, ThreadedOneShotFiresOnceAndRetires) {
  std::atomic<int> calls{0};
  int live = LiveMMTimerEvents();
  uint32_t id = TimeSetEvent(
      1, 1, [&](uint32_t) { ++calls; }, MMTimerKind::OneShot);
  ASSERT_NE(id, 0u);
  EXPECT_TRUE(Eventually([&] { return LiveMMTimerEvents() == live; }));
  EXPECT_EQ(calls.load(), 1);
  EXPECT_FALSE(TimeKillEvent(id));
}

TEST(MultimediaTimer, KillWaitsForARunningCallbackUnlessCalledFromIt) {
  // release stays set: on a busy machine the killer may come after the timer's next tick, whose
  // callback must not wait for a second release that never comes.
  Event entered, release(true);
  std::atomic<bool> finished{false};
  uint32_t id = TimeSetEvent(
      1, 1,
      [&](uint32_t) {
        entered.Set();
        release.Wait();
        finished = true;
      },
      MMTimerKind::Periodic);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(entered.Wait(10000));
  std::atomic<bool> finishedWhenKillReturned{false};
  std::thread killer([&] {
    TimeKillEvent(id);
    finishedWhenKillReturned = finished.load();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  release.Set();
  killer.join();
  EXPECT_TRUE(finishedWhenKillReturned.load());

  // From inside its own callback the kill cannot wait for itself.
  std::atomic<int> calls{0};
  std::atomic<bool> killed{false};
  uint32_t self = TimeSetEvent(
      1, 1,
      [&](uint32_t myId) {
        ++calls;
        killed = TimeKillEvent(myId);
      },
      MMTimerKind::Periodic);
  ASSERT_NE(self, 0u);
  EXPECT_TRUE(Eventually([&] { return killed.load(); }));
  EXPECT_FALSE(TimeKillEvent(self));
}

TEST(MultimediaTimer, ManualKillFromAnotherThreadWaitsForTheStep) {
  ManualMode manual;
  Event entered, release;
  std::atomic<bool> finished{false};
  uint32_t id = TimeSetEvent(
      25, 1,
      [&](uint32_t) {
        entered.Set();
        release.Wait();
        finished = true;
      },
      MMTimerKind::Periodic);
  ASSERT_NE(id, 0u);
  std::thread stepper([] { StepManualMMTimer(25); });
  ASSERT_TRUE(entered.Wait(10000));
  std::atomic<bool> finishedWhenKillReturned{false};
  std::thread killer([&] {
    EXPECT_TRUE(TimeKillEvent(id));
    finishedWhenKillReturned = finished.load();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  release.Set();
  killer.join();
  stepper.join();
  EXPECT_TRUE(finishedWhenKillReturned.load());
}
