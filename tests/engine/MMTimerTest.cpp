#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/MMTimer.h"
#include "platform/audio/mmtimer.h"

namespace {

// Every test drives the shared timer by hand; none may leave a client behind.
class MMTimer : public ::testing::Test {
protected:
  void SetUp() override {
    plat::UseManualMMTimer(true);
    ASSERT_EQ(TimerClientCount(), 0);
    ASSERT_FALSE(SharedTimerRunning());
    periods_ = plat::TimePeriodRequests();
  }
  void TearDown() override {
    EXPECT_EQ(TimerClientCount(), 0);
    EXPECT_FALSE(SharedTimerRunning());
    EXPECT_EQ(plat::TimePeriodRequests(), periods_) << "the timer resolution was not restored";
    plat::UseManualMMTimer(false);
  }
  static void Ticks(int n) {
    for (int i = 0; i < n; ++i) plat::StepManualMMTimer(kSharedTimerPeriod);
  }
  int periods_ = 0;
};

TMMTimerProc Counter() {
  return [](PMMTimerClient, void* data) { ++*static_cast<int*>(data); };
}

}  // namespace

TEST_F(MMTimer, IntervalsAreWholeTicksOfAtLeast25ms) {
  int fast = 0, slow = 0, odd = 0;
  PMMTimerClient a = TimerAddClient(10, 0, Counter(), &fast);
  PMMTimerClient b = TimerAddClient(100, 0, Counter(), &slow);
  PMMTimerClient c = TimerAddClient(60, 0, Counter(), &odd);  // called on the third tick (75 ms)
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a->Interval, 25);
  Ticks(12);
  EXPECT_EQ(fast, 12);
  EXPECT_EQ(slow, 3);
  EXPECT_EQ(odd, 4);
  TimerRemoveClient(a);
  TimerRemoveClient(b);
  TimerRemoveClient(c);
}

TEST_F(MMTimer, DisableRestartsTheCountAndEnableNeverGoesBelowZero) {
  int calls = 0;
  PMMTimerClient c = TimerAddClient(100, 0, Counter(), &calls);
  ASSERT_TRUE(c);
  Ticks(3);  // 75 of 100 ms
  TimerDisableClient(c);
  Ticks(8);
  EXPECT_EQ(calls, 0) << "a suspended client is not called";
  TimerEnableClient(c);
  Ticks(3);
  EXPECT_EQ(calls, 0) << "the count starts again from 0 after a disable";
  Ticks(1);
  EXPECT_EQ(calls, 1);

  TimerEnableClient(c);  // already running: stays running, count stays at 0
  TimerEnableClient(c);
  EXPECT_EQ(c->SuspendCount, 0);
  TimerDisableClient(c);
  Ticks(8);
  EXPECT_EQ(calls, 1) << "one disable suspends after surplus enables";
  TimerDisableClient(c);
  TimerEnableClient(c);
  Ticks(4);
  EXPECT_EQ(calls, 1) << "two disables need two enables";
  TimerEnableClient(c);
  Ticks(4);
  EXPECT_EQ(calls, 2);

  // A client added suspended waits for its enable.
  int later = 0;
  PMMTimerClient d = TimerAddClient(25, 1, Counter(), &later);
  Ticks(2);
  EXPECT_EQ(later, 0);
  TimerEnableClient(d);
  Ticks(2);
  EXPECT_EQ(later, 2);
  TimerRemoveClient(c);
  TimerRemoveClient(d);
}

TEST_F(MMTimer, LastRemovalStopsTheTimerAndAnAddRestartsIt) {
  int events = plat::LiveMMTimerEvents();
  int calls = 0;
  PMMTimerClient a = TimerAddClient(25, 0, Counter(), &calls);
  PMMTimerClient b = TimerAddClient(25, 0, Counter(), &calls);
  EXPECT_TRUE(SharedTimerRunning());
  EXPECT_EQ(plat::LiveMMTimerEvents(), events + 1) << "one timer for every client";
  EXPECT_EQ(plat::TimePeriodRequests(), periods_ + 1);
  TimerRemoveClient(a);
  EXPECT_TRUE(SharedTimerRunning());
  TimerRemoveClient(a);  // not in the list any more: nothing changes
  TimerRemoveClient(nullptr);
  TimerDisableClient(nullptr);
  TimerEnableClient(nullptr);
  EXPECT_EQ(TimerClientCount(), 1);
  TimerRemoveClient(b);
  EXPECT_FALSE(SharedTimerRunning());
  EXPECT_EQ(plat::LiveMMTimerEvents(), events);
  Ticks(4);
  EXPECT_EQ(calls, 0);

  PMMTimerClient c = TimerAddClient(25, 0, Counter(), &calls);
  EXPECT_TRUE(SharedTimerRunning());
  Ticks(2);
  EXPECT_EQ(calls, 2);
  TimerRemoveClient(c);
}

TEST_F(MMTimer, TheTimerStopsWhileNoClientIsAwakeAndAWakeOrEnableStartsItAgain) {
  const int events = plat::LiveMMTimerEvents();
  struct Sleepy {
    int calls = 0;
    int sleepAfter = 2;
  } a;
  PMMTimerClient c = TimerAddClient(
      25, 0,
      [](PMMTimerClient self, void* d) {
        auto* s = static_cast<Sleepy*>(d);
        if (++s->calls >= s->sleepAfter) TimerSleepClient(self);
      },
      &a);
  ASSERT_TRUE(c);
  Ticks(2);
  EXPECT_EQ(a.calls, 2);
  EXPECT_FALSE(SharedTimerRunning()) << "the tick that put the last client to sleep stops the timer";
  EXPECT_EQ(plat::LiveMMTimerEvents(), events);
  EXPECT_EQ(TimerClientCount(), 1) << "a sleeping client stays registered";
  Ticks(10);
  EXPECT_EQ(a.calls, 2);

  a.sleepAfter = 100;
  TimerWakeClient(c);
  EXPECT_TRUE(SharedTimerRunning());
  Ticks(3);
  EXPECT_EQ(a.calls, 5);

  // Suspended clients need no ticks either; a sleep never touches the suspend count, and a woken
  // client that is still suspended does not start the timer.
  TimerDisableClient(c);
  Ticks(1);
  EXPECT_FALSE(SharedTimerRunning());
  TimerSleepClient(c);
  TimerWakeClient(c);
  EXPECT_FALSE(SharedTimerRunning());
  EXPECT_EQ(c->SuspendCount, 1);
  TimerEnableClient(c);
  EXPECT_TRUE(SharedTimerRunning());
  Ticks(2);
  EXPECT_EQ(a.calls, 7);

  // A client added while the others sleep starts the timer; the resolution requests stay paired
  // through every stop and start (checked as the test ends).
  TimerSleepClient(c);
  Ticks(1);
  EXPECT_FALSE(SharedTimerRunning());
  int other = 0;
  PMMTimerClient d = TimerAddClient(25, 0, Counter(), &other);
  EXPECT_TRUE(SharedTimerRunning());
  Ticks(2);
  EXPECT_EQ(other, 2);
  EXPECT_EQ(a.calls, 7);
  TimerRemoveClient(d);
  TimerRemoveClient(c);
}

TEST_F(MMTimer, WorkGivenWhileTheTickGoesToSleepIsNeverLeftWaiting) {
  // The tick counts work down and sleeps when none is left; another thread gives work and wakes
  // it. However the two interleave, the work runs out: a client asleep with work left would
  // hold, for instance, a level bar's peak mark on the screen for good.
  std::atomic<int> work{0};
  TMMOwnedTimerClient client([&] {
    int w = work.load();
    while (w > 0 && !work.compare_exchange_weak(w, w - 1)) {}
    client.SleepUnless([&] { return work.load() > 0; });
  });
  client.Add();
  std::atomic<bool> stop{false};
  std::thread stepper([&] {
    while (!stop) plat::StepManualMMTimer(kSharedTimerPeriod);
  });
  int stuck = 0;
  for (int i = 0; i < 50000 && stuck == 0; ++i) {
    work.store(2);
    client.Wake();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (work.load() > 0 && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    if (work.load() > 0) stuck = i + 1;
  }
  stop = true;
  stepper.join();
  EXPECT_EQ(stuck, 0) << "work left waiting behind a sleeping client in round " << stuck;
  client.Remove();
}

TEST_F(MMTimer, AClientMayRemoveItselfFromItsTick) {
  struct Self {
    PMMTimerClient client = nullptr;
    int calls = 0;
  } self, other;
  self.client = TimerAddClient(
      25, 0,
      [](PMMTimerClient c, void* d) {
        auto* s = static_cast<Self*>(d);
        ++s->calls;
        TimerRemoveClient(c);
      },
      &self);
  other.client = TimerAddClient(
      25, 0, [](PMMTimerClient, void* d) { ++static_cast<Self*>(d)->calls; }, &other);
  Ticks(3);
  EXPECT_EQ(self.calls, 1);
  EXPECT_EQ(other.calls, 3) << "the client behind it still runs";
  EXPECT_EQ(TimerClientCount(), 1);
  // The last client removing itself stops the timer from the timer's own tick.
  other.client->Proc = [](PMMTimerClient c, void*) { TimerRemoveClient(c); };
  Ticks(1);
  EXPECT_FALSE(SharedTimerRunning());
}

TEST_F(MMTimer, ATickRacingTheLastRemovalNeitherDeadlocksNorRaces) {
  // A stepping thread ticks as fast as it can while the last client comes and goes: ticks meet
  // the removal waiting for the list lock, or running while the kill waits for them.
  std::atomic<bool> stop{false};
  std::thread stepper([&] {
    while (!stop) plat::StepManualMMTimer(kSharedTimerPeriod);
  });
  std::atomic<int> calls{0};
  std::atomic<bool> done{false};
  std::thread churn([&] {
    for (int i = 0; i < 2000; ++i) {
      PMMTimerClient c = TimerAddClient(
          25, 0, [](PMMTimerClient, void* d) { static_cast<std::atomic<int>*>(d)->fetch_add(1); }, &calls);
      if (i % 3 == 0) TimerDisableClient(c);
      TimerRemoveClient(c);
    }
    done = true;
  });
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  stop = true;
  if (!done) {
    churn.detach();
    stepper.detach();
    FAIL() << "the removal deadlocked against a tick";
  }
  churn.join();
  stepper.join();
  EXPECT_FALSE(SharedTimerRunning());
}

// ---- processing-load meter ----------------------------------------------------------------------

TEST_F(MMTimer, LoadMeterEntriesAreNoOpsWithoutAMeter) {
  ASSERT_EQ(InstalledLoadMeter(), nullptr);
  LoadMeterStart();
  LoadMeterBeginBusy();
  LoadMeterEndBusy();
  EXPECT_EQ(TimerClientCount(), 0);
  LoadMeterStop();
  LoadMeterStop();  // an unmatched stop is harmless too
}

TEST_F(MMTimer, LoadMeterMeasuresTheBusyShareOfEach100msWindow) {
  TMMLoadMeter meter;
  InstallLoadMeter(&meter);
  LoadMeterStart();
  LoadMeterStart();  // nested start: one tick client
  EXPECT_EQ(TimerClientCount(), 1);

  // Window 1: 30 ms busy, with a nested and an overlapping bracket counted once.
  LoadMeterBeginBusy();
  plat::StepManualMMTimer(10);
  LoadMeterBeginBusy();
  plat::StepManualMMTimer(20);
  LoadMeterEndBusy();
  LoadMeterEndBusy();
  LoadMeterEndBusy();  // one too many: ignored
  plat::StepManualMMTimer(70);
  EXPECT_NEAR(meter.Load(), 0.1f * 30 + 0.05f, 1e-4);
  EXPECT_EQ(meter.Percent(), 3);

  // Window 2: busy from 50 ms on and still busy at the tick: the open stretch is counted and
  // carries on into window 3.
  plat::StepManualMMTimer(50);
  LoadMeterBeginBusy();
  plat::StepManualMMTimer(50);
  float l2 = 0.1f * 50 + 0.9f * (0.1f * 30 + 0.05f) + 0.05f;
  EXPECT_NEAR(meter.Load(), l2, 1e-4);
  plat::StepManualMMTimer(40);
  LoadMeterEndBusy();
  plat::StepManualMMTimer(60);
  EXPECT_NEAR(meter.Load(), 0.1f * 40 + 0.9f * l2 + 0.05f, 1e-4);

  LoadMeterStop();
  EXPECT_EQ(TimerClientCount(), 1);
  LoadMeterStop();
  EXPECT_EQ(TimerClientCount(), 0);
  float frozen = meter.Load();
  plat::StepManualMMTimer(500);
  EXPECT_EQ(meter.Load(), frozen);
  InstallLoadMeter(nullptr);
}
