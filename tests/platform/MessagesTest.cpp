#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/messages/app_hooks.h"
#include "platform/messages/messages.h"
#include "platform/system/clock.h"

using namespace plat;

namespace {
struct Recorder : HiddenWindow {
  std::vector<std::pair<uint32_t, uintptr_t>> got;
  void WndProc(Message& m) override {
    got.push_back({m.Msg, m.WParam});
    m.Result = 42;
  }
};
}  // namespace

TEST(Messages, DeliveredInOrderOnProcess) {
  Recorder w;
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t)
    posters.emplace_back([&w, t] {
      for (uintptr_t i = 0; i < 250; ++i) w.Post(WM_USER + uint32_t(t), i);
    });
  for (auto& p : posters) p.join();
  while (ProcessMessages()) {}
  ASSERT_EQ(w.got.size(), 1000u);
  // Each poster's messages arrive in the order it posted them.
  uintptr_t next[4] = {0, 0, 0, 0};
  for (auto& [msg, wp] : w.got) {
    int t = int(msg - WM_USER);
    EXPECT_EQ(wp, next[t]++);
  }
  EXPECT_EQ(w.Send(7), 42);
}

TEST(Messages, RemovePendingOfOneKind) {
  Recorder w, other;
  w.Post(1, 10);
  w.Post(2, 20);
  w.Post(1, 11);
  other.Post(1, 99);
  EXPECT_EQ(w.PendingCount(1), 2u);
  EXPECT_EQ(w.RemovePending(1), 2u);
  while (ProcessMessages()) {}
  ASSERT_EQ(w.got.size(), 1u);
  EXPECT_EQ(w.got[0].first, 2u);
  ASSERT_EQ(other.got.size(), 1u);
}

TEST(Messages, DestroyedWindowGetsNothing) {
  auto* w = new Recorder;
  WindowHandle h = w->Handle();
  w->Post(1);
  delete w;
  EXPECT_EQ(PendingMessages(), 0u);
  EXPECT_FALSE(PostMessageTo(h, 1));
  Recorder again;
  EXPECT_NE(again.Handle(), h);  // handles are never reused
}

TEST(Messages, OneBatchPerCallSoPostersCannotStarve) {
  struct Reposter : HiddenWindow {
    int count = 0;
    void WndProc(Message& m) override {
      ++count;
      Post(m.Msg);  // posts again from its own handler
    }
  } w;
  w.Post(5);
  ProcessMessages();
  EXPECT_EQ(w.count, 1);
  EXPECT_EQ(w.PendingCount(), 1u);
  w.RemovePending();
}

TEST(Messages, PostingWakesOnlyOnEmptyToNonEmpty) {
  int wakes = 0;
  SetWakeHook([&] { ++wakes; });
  Recorder w;
  w.Post(1);
  w.Post(2);
  EXPECT_EQ(wakes, 1);
  ProcessMessages();
  const int afterDrain = wakes;
  w.Post(3);
  EXPECT_EQ(wakes, afterDrain + 1);
  w.Post(4);
  EXPECT_EQ(wakes, afterDrain + 1);
  SetWakeHook({});
  ProcessMessages();
}

TEST(Messages, DelayWithMessagesHandlesPostsAndReturnsOnTime) {
  Recorder w;
  std::thread t([&] {
    SleepMs(5);
    w.Post(9);
  });
  int64_t start = MicroSeconds();
  DelayWithMessages(40, true);
  int64_t took = MicroSeconds() - start;
  t.join();
  EXPECT_GE(took, 40000);
  ASSERT_EQ(w.got.size(), 1u);
  EXPECT_EQ(w.got[0].first, 9u);
  // Torn down: returns at once.
  SetTerminating(true);
  start = MicroSeconds();
  DelayWithMessages(10000, true);
  EXPECT_LT(MicroSeconds() - start, 1000000);
  SetTerminating(false);
}

TEST(Messages, RunOnUiThreadFromWorker) {
  int ran = 0;
  std::thread t([&] { RunOnUiThread([&] { ++ran; }); });
  t.join();
  EXPECT_EQ(ran, 0);
  ProcessMessages();
  EXPECT_EQ(ran, 1);
  RunOnUiThread([&] { ++ran; });  // on the UI thread: at once
  EXPECT_EQ(ran, 2);
}

TEST(Messages, NestedLoopInAHandlerStillDeliversWhatFollows) {
  // The GUI's wake hook schedules a drain; a modal window's nested loop runs it at once.
  int wakes = 0;
  SetWakeHook([&] { ++wakes; });
  Recorder later;
  struct Modal : HiddenWindow {
    Recorder* later = nullptr;
    int* wakes = nullptr;
    bool sawWake = false;
    void WndProc(Message&) override {
      sawWake = *wakes > 0;
      later->Post(3);     // posted while the "modal loop" runs
      ProcessMessages();  // what the nested loop's scheduled drain does
    }
  } modal;
  modal.later = &later;
  modal.wakes = &wakes;
  modal.Post(1);
  later.Post(2);
  wakes = 0;
  ProcessMessages();
  SetWakeHook({});
  EXPECT_TRUE(modal.sawWake);
  ASSERT_EQ(later.got.size(), 2u);  // each delivered once, in order
  EXPECT_EQ(later.got[0].first, 2u);
  EXPECT_EQ(later.got[1].first, 3u);
}

TEST(BusyCursor, ShowsFromTheFirstHolderToTheLastOnTheUiThreadOnly) {
  std::vector<bool> told;
  SetBusyCursorHook([&](bool busy) { told.push_back(busy); });
  {
    BusyCursor outer;
    { BusyCursor inner; }
    EXPECT_EQ(told, std::vector<bool>{true});
    std::thread([] { BusyCursor elsewhere; }).join();
  }
  EXPECT_EQ(told, (std::vector<bool>{true, false}));
  std::thread([] { BusyCursor elsewhere; }).join();
  EXPECT_EQ(told.size(), 2u);
  SetBusyCursorHook(nullptr);
}
