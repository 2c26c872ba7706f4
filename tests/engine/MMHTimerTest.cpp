#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/handled_texts.h"
#include "engine/MMHTimer.h"
#include "platform/audio/mmtimer.h"
#include "platform/messages/app_hooks.h"
#include "platform/messages/messages.h"

namespace {

void Pump() {
  while (plat::ProcessMessages()) {}
}

// Time moves only when the test steps it.
struct ManualClock {
  ManualClock() { plat::UseManualMMTimer(true); }
  ~ManualClock() { plat::UseManualMMTimer(false); }
};

struct Baseline {
  int events = plat::LiveMMTimerEvents();
  int periods = plat::TimePeriodRequests();
  void ExpectBack() const {
    EXPECT_EQ(plat::LiveMMTimerEvents(), events);
    EXPECT_EQ(plat::TimePeriodRequests(), periods);
  }
};

}  // namespace

TEST(MMHTimer, NoEventWithoutHandlerIntervalOrEnabled) {
  ManualClock clock;
  Baseline base;
  TMMHiTimer t;
  EXPECT_FALSE(t.Running());
  EXPECT_EQ(plat::LiveMMTimerEvents(), base.events);

  int ticks = 0;
  t.SetOnTimer([&](TObject* s) { ticks += s == &t; });
  EXPECT_TRUE(t.Running());
  EXPECT_EQ(plat::LiveMMTimerEvents(), base.events + 1);
  t.SetInterval(0);
  EXPECT_FALSE(t.Running());
  t.SetInterval(100);
  EXPECT_TRUE(t.Running());
  t.SetEnabled(false);
  EXPECT_FALSE(t.Running());
  base.ExpectBack();
  t.SetEnabled(true);
  t.SetOnTimer(nullptr);
  EXPECT_FALSE(t.Running());
  plat::StepManualMMTimer(1000);
  Pump();
  EXPECT_EQ(ticks, 0);
}

TEST(MMHTimer, BlockedUiThreadGetsTheQueuedTicksOnly) {
  ManualClock clock;
  TMMHiTimer t;
  t.SetInterval(50);
  int ticks = 0;
  std::thread::id firedOn;
  t.SetOnTimer([&](TObject*) {
    ++ticks;
    firedOn = std::this_thread::get_id();
  });
  plat::StepManualMMTimer(1000);  // a second in which the UI thread handles nothing
  EXPECT_EQ(t.QueuedTicks(), 10);
  EXPECT_EQ(ticks, 0);
  Pump();
  EXPECT_EQ(ticks, 10);
  EXPECT_EQ(t.QueuedTicks(), 0);
  EXPECT_EQ(firedOn, std::this_thread::get_id());
  plat::StepManualMMTimer(100);
  Pump();
  EXPECT_EQ(ticks, 12);
}

TEST(MMHTimer, HundredSwitchesStillTick) {
  ManualClock clock;
  Baseline base;
  TMMHiTimer t;
  t.SetEnabled(false);
  t.SetInterval(250);
  int ticks = 0;
  t.SetOnTimer([&](TObject*) { ++ticks; });
  for (int i = 0; i < 100; ++i) {  // the deck switches it at every start and stop
    t.SetEnabled(true);
    plat::StepManualMMTimer(750);  // three ticks wait, unhandled
    t.SetEnabled(false);
  }
  Pump();
  EXPECT_EQ(ticks, 0);  // ticks of a switched-off timer never fire
  base.ExpectBack();
  t.SetEnabled(true);
  plat::StepManualMMTimer(500);
  Pump();
  EXPECT_EQ(ticks, 2);
}

TEST(MMHTimer, NewIntervalRestartsThePeriod) {
  ManualClock clock;
  TMMHiTimer t;
  t.SetInterval(100);
  int ticks = 0;
  t.SetOnTimer([&](TObject*) { ++ticks; });
  plat::StepManualMMTimer(100);  // one tick of the old period waits
  t.SetInterval(30);
  plat::StepManualMMTimer(29);
  Pump();
  EXPECT_EQ(ticks, 0);
  plat::StepManualMMTimer(1);
  Pump();
  EXPECT_EQ(ticks, 1);
  plat::StepManualMMTimer(60);
  Pump();
  EXPECT_EQ(ticks, 3);
}

TEST(MMHTimer, RealTimerFiresOnTheUiThread) {
  TMMHiTimer t;
  t.SetInterval(5);
  std::atomic<int> ticks{0};
  bool otherThread = false;
  const auto ui = std::this_thread::get_id();
  t.SetOnTimer([&](TObject*) {
    ++ticks;
    otherThread |= std::this_thread::get_id() != ui;
  });
  while (ticks < 3) {
    plat::ProcessMessages();
    std::this_thread::yield();
  }
  t.SetEnabled(false);
  const int seen = ticks;
  Pump();
  EXPECT_EQ(ticks, seen);
  EXPECT_FALSE(otherThread);
}

TEST(MMHTimer, WorkerThreadMode) {
  ManualClock clock;
  Baseline base;
  const auto ui = std::this_thread::get_id();
  {
    // Synchronised: OnTimer on the UI thread; switching the timer off from inside it must not
    // wait for the worker that waits for the UI thread.
    TMMHiTimer t;
    t.SetCallBackMode(cmThread);
    t.SetInterval(20);
    std::atomic<int> ticks{0};
    bool offUi = false;
    t.SetOnTimer([&](TObject*) {
      offUi |= std::this_thread::get_id() != ui;
      if (++ticks == 2) t.SetEnabled(false);
    });
    ASSERT_TRUE(t.Running());
    for (int n = 1; n <= 2; ++n) {
      plat::StepManualMMTimer(20);
      while (ticks < n) plat::ProcessMessages();
    }
    EXPECT_FALSE(t.Running());
    EXPECT_FALSE(offUi);
  }
  {
    // Unsynchronised: OnTimer on the worker, which may switch the timer off itself.
    TMMHiTimer t;
    t.SetCallBackMode(cmThread);
    t.SetSynchronize(false);
    t.SetPriority(tpHigher);
    t.SetInterval(20);
    std::atomic<bool> onWorker{false};
    std::atomic<int> ticks{0};
    t.SetOnTimer([&](TObject*) {
      onWorker = std::this_thread::get_id() != ui;
      t.SetEnabled(false);
      ++ticks;
    });
    plat::StepManualMMTimer(20);
    while (ticks < 1) std::this_thread::yield();
    Pump();  // the UI thread collects the worker
    EXPECT_TRUE(onWorker);
    EXPECT_FALSE(t.Running());
  }
  base.ExpectBack();
}

TEST(MMHTimer, FailingHandlerDoesNotStopTheTimer) {
  ManualClock clock;
  HandledTexts handled;
  TMMHiTimer t;
  t.SetInterval(10);
  int ticks = 0;
  t.SetOnTimer([&](TObject*) {
    if (++ticks == 1) throw plat::Exception("boom");
  });
  plat::StepManualMMTimer(30);
  Pump();
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(handled.texts, (std::vector<std::string>{"boom"}));
}

TEST(MMHTimer, DestroyedTimerLeavesNothingBehind) {
  ManualClock clock;
  Baseline base;
  int ticks = 0;
  auto* t = new TMMHiTimer;
  t->SetInterval(10);
  t->SetOnTimer([&](TObject*) { ++ticks; });
  plat::StepManualMMTimer(30);
  delete t;  // with three ticks waiting
  Pump();
  EXPECT_EQ(ticks, 0);
  base.ExpectBack();
}
