#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/raised.h"
#include "common/scratch.h"
#include "controls/zelclass.h"

namespace {

// A pool of 50 ms ticks on a hand-driven timer, recording on which tick each timer fired.
struct PoolFixture : ::testing::Test {
  PoolFixture() : pool(nullptr, 50) {
    auto b = std::make_unique<TZelManualTimerBackend>();
    backend = b.get();
    pool.SetBackend(std::move(b));
  }
  plat::TNotifyEvent Recorder(const std::string& name) {
    return [this, name](plat::TObject*) { fired[name].push_back(tick); };
  }
  void Run(int ticks) {
    for (int i = 0; i < ticks; ++i) {
      ++tick;
      backend->Fire();
    }
  }
  TZelTimerPool pool;
  TZelManualTimerBackend* backend = nullptr;
  int tick = 0;
  std::map<std::string, std::vector<int>> fired;
};

}  // namespace

TEST_F(PoolFixture, IntervalRules) {
  for (uint16_t ok : {50, 500, 1000}) EXPECT_GE(pool.AddTimerItem(ok, ok, nullptr), 0);
  for (uint16_t bad : {0, 30, 75})
    EXPECT_EQ(MessageOf([&] { pool.AddTimerItem(uint16_t(100 + bad), bad, nullptr); }),
              "Interval not compatible with MinInterval property!");
  EXPECT_EQ(MessageOf([&] { pool.AddTimerItem(500, 100, nullptr); }), "List index out of bounds (%d)");
  EXPECT_EQ(pool.Count(), 3);

  TZelTimerItem* item = pool.ItemByIdent(500);
  item->SetInterval(75);
  EXPECT_EQ(item->Interval(), 500);
  item->SetInterval(0);
  EXPECT_EQ(item->Interval(), 50);
  EXPECT_EQ(item->TicksPerFiring(), 1);
  EXPECT_EQ(pool.ItemByIdent(7), nullptr);
  EXPECT_EQ(pool.IndexOfIdent(7), -1);

  // MinInterval is fixed outside loading.
  pool.SetMinInterval(10);
  EXPECT_EQ(pool.MinInterval(), 50);
  TZelTimerPool loaded;
  loaded.BeginLoading();
  loaded.SetMinInterval(10);
  loaded.EndLoading();
  EXPECT_EQ(loaded.MinInterval(), 10);
  EXPECT_THROW(TZelTimerItem(nullptr, nullptr, 1), plat::EInvalidOperation);
}

TEST_F(PoolFixture, SharedPhaseFromTheLastRestart) {
  pool.AddTimerItem(1, 1000, Recorder("slow"));
  pool.AddTimerItem(2, 500, Recorder("fast"));
  EXPECT_TRUE(backend->Running());
  EXPECT_EQ(backend->Interval(), 50u);
  Run(40);
  EXPECT_EQ(fired["slow"], (std::vector<int>{20, 40}));
  EXPECT_EQ(fired["fast"], (std::vector<int>{10, 20, 30, 40}));
  EXPECT_EQ(pool.ItemByIdent(2)->Counter(), 4);

  // Enabling later does not give an item its own phase; adding another restarts everyone's.
  pool.ItemByIdent(1)->SetEnabled(false);
  Run(5);
  pool.ItemByIdent(1)->SetEnabled(true);
  EXPECT_EQ(pool.ItemByIdent(1)->Counter(), 0);
  Run(15);  // tick 60 = 60th since the restart: slow fires although enabled 15 ticks ago
  EXPECT_EQ(fired["slow"].back(), 60);
  pool.AddTimerItem(3, 100, Recorder("new"));
  EXPECT_EQ(backend->Starts(), 3);
  Run(10);
  EXPECT_EQ(fired["fast"].back(), 70);  // ten ticks after the restart, not at the old phase (80)
  EXPECT_EQ(fired["new"], (std::vector<int>{62, 64, 66, 68, 70}));
}

TEST_F(PoolFixture, RunsWhileItHoldsItems) {
  pool.AddTimerItem(1, 50, Recorder("a"));
  pool.AddTimerItem(2, 50, Recorder("b"));
  pool.ItemByIdent(1)->SetEnabled(false);
  pool.ItemByIdent(2)->SetEnabled(false);
  EXPECT_TRUE(backend->Running());  // disabling every item leaves the timer alone
  EXPECT_EQ(pool.EnabledCount(), 0);
  pool.RemoveTimerItem(1);
  EXPECT_TRUE(backend->Running());
  pool.RemoveTimerItem(2);
  EXPECT_FALSE(backend->Running());
  EXPECT_FALSE(pool.Running());
  pool.AddTimerItem(3, 50, nullptr);
  pool.Clear();
  EXPECT_FALSE(backend->Running());
  EXPECT_EQ(pool.Count(), 0);
}

TEST_F(PoolFixture, ItemsWithoutEventFireThePoolsEvent) {
  std::vector<std::pair<int, int>> seen;
  pool.OnTimer = [&](plat::TObject* sender, uint16_t ident, int counter) {
    EXPECT_EQ(sender, &pool);
    seen.push_back({ident, counter});
  };
  pool.AddTimerItem(0xFD07, 100, nullptr);
  Run(4);
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0xFD07, 1}, {0xFD07, 2}}));
}

TEST_F(PoolFixture, HandlersThatRemoveTimers) {
  // "self" removes itself and "victim"; "after" stands behind both and must not miss its tick.
  pool.AddTimerItem(1, 50, Recorder("before"));
  pool.AddTimerItem(2, 50, [&](plat::TObject*) {
    fired["self"].push_back(tick);
    pool.RemoveTimerItem(2);
    pool.RemoveTimerItem(3);
  });
  pool.AddTimerItem(3, 50, Recorder("victim"));
  pool.AddTimerItem(4, 50, Recorder("after"));
  pool.AddTimerItem(5, 50, [&](plat::TObject*) {
    fired["last"].push_back(tick);
    pool.RemoveTimerItem(1);  // one already passed in this walk
  });
  Run(3);
  EXPECT_EQ(fired["self"], (std::vector<int>{1}));
  EXPECT_TRUE(fired["victim"].empty());
  EXPECT_EQ(fired["before"], (std::vector<int>{1}));
  EXPECT_EQ(fired["after"], (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(fired["last"], (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(pool.Count(), 2);
}

TEST_F(PoolFixture, TimersAddedInsideATickKeepTheirPhase) {
  pool.AddTimerItem(1, 100, [&](plat::TObject*) {
    fired["adder"].push_back(tick);
    if (pool.ItemByIdent(2) == nullptr) pool.AddTimerItem(2, 150, Recorder("added"));
  });
  Run(10);
  // Added on tick 2: the restart puts the next tick at phase 1, so 150 ms later is tick 5.
  EXPECT_EQ(fired["added"], (std::vector<int>{5, 8}));
  EXPECT_EQ(fired["adder"], (std::vector<int>{2, 4, 6, 8, 10}));
}

TEST_F(PoolFixture, ExceptionsReachTheHandlerAndTicksGoOn) {
  std::vector<std::string> reported;
  pool.OnException = [&](plat::TObject* sender, const std::exception& e) {
    EXPECT_EQ(sender, &pool);
    reported.push_back(e.what());
  };
  pool.AddTimerItem(1, 100, [&](plat::TObject*) {
    fired["thrower"].push_back(tick);
    throw plat::Exception("tick failed");
  });
  pool.AddTimerItem(2, 50, Recorder("other"));
  Run(6);
  EXPECT_EQ(reported, (std::vector<std::string>(3, "tick failed")));
  EXPECT_EQ(fired["thrower"], (std::vector<int>{2, 4, 6}));  // on its own rate, not every tick
  EXPECT_EQ(fired["other"].size(), 6u);
}

TEST_F(PoolFixture, ANestedTimerMessageDoesNotDispatch) {
  int depth = 0, maxDepth = 0;
  pool.AddTimerItem(1, 50, [&](plat::TObject*) {
    maxDepth = std::max(maxDepth, ++depth);
    pool.TimerMessage();  // a handler that pumps messages
    --depth;
  });
  Run(3);
  EXPECT_EQ(maxDepth, 1);
  EXPECT_EQ(pool.ItemByIdent(1)->Counter(), 3);
}

TEST(KitApplication, SlotsAndIdentifiers) {
  auto b = std::make_unique<TZelManualTimerBackend>();
  TZelManualTimerBackend* backend = b.get();
  TZelApplication app(std::move(b), "kit-test-slots");
  EXPECT_EQ(ZelApplication, &app);
  EXPECT_EQ(app.OptionFlags(), 0x36);
  EXPECT_EQ(app.AnimationDelay(), 3);
  EXPECT_EQ(app.TimerPool()->MinInterval(), 50);
  EXPECT_EQ(app.LogFileName(), ProgramFolder() + "controls_core_tests.LOG");

  int clicks = 0;
  uint16_t first = app.AddTimer(500, [&](plat::TObject*) { ++clicks; });
  uint16_t second = app.AddTimer(50, nullptr);
  EXPECT_EQ(first, 0xFD01);
  EXPECT_EQ(second, 0xFD02);
  ASSERT_NE(app.TimerById(first), nullptr);
  app.TimerById(first)->SetEnabled(true);
  backend->Fire(10);
  EXPECT_EQ(clicks, 1);
  app.RemoveTimer(first);
  EXPECT_EQ(app.TimerById(first), nullptr);
  EXPECT_EQ(app.AddTimer(50, nullptr), 0xFD01);  // the lowest free slot again

  for (int i = 3; i <= 250; ++i) ASSERT_EQ(app.AddTimer(50, nullptr), 0xFD00 + i);
  EXPECT_EQ(app.AddTimer(50, nullptr), 0);
  EXPECT_EQ(app.TimerPool()->Count(), 250);
  // Identifiers outside the pool's range are ignored, whatever they are.
  for (uint16_t stray : {0, 0xFD00, 0xFD00 + 251, 0xFFFF}) app.RemoveTimer(stray);
  EXPECT_EQ(app.TimerPool()->Count(), 250);
  EXPECT_EQ(app.AddTimer(50, nullptr), 0);
  app.RemoveTimer(0xFD00 + 250);
  EXPECT_EQ(app.AddTimer(50, nullptr), 0xFD00 + 250);
}

TEST(KitApplication, ATimerThatCannotStartLeavesNoTrace) {
  auto b = std::make_unique<TZelManualTimerBackend>();
  TZelManualTimerBackend* backend = b.get();
  TZelApplication app(std::move(b), "kit-test-nostart");
  uint16_t running = app.AddTimer(50, nullptr);
  backend->FailStarts = true;
  EXPECT_EQ(MessageOf([&] { app.AddTimer(100, nullptr); }), "Not enough timers available");
  EXPECT_THROW(app.AddTimer(100, nullptr), plat::EOutOfResources);
  EXPECT_EQ(app.TimerPool()->Count(), 1);
  EXPECT_EQ(app.TimerPool()->ItemByIdent(0xFD02), nullptr);
  backend->FailStarts = false;
  EXPECT_EQ(app.AddTimer(100, nullptr), 0xFD02);  // the slot was not used up
  EXPECT_TRUE(backend->Running());
  app.RemoveTimer(running);
  // A refused interval passes through too, without using a slot.
  EXPECT_THROW(app.AddTimer(70, nullptr), plat::Exception);
  EXPECT_EQ(app.AddTimer(50, nullptr), 0xFD01);
}

TEST(KitApplication, ALinkAtTheInstanceLockIsNotFollowed) {
  // Another account may plant the link where the runtime folder is the shared temporary path.
  Scratch dir;
  const std::string target = dir.Path("elsewhere");
  ASSERT_EQ(0, ::symlink(target.c_str(), dir.Path("kit-test-link.kit.lock").c_str()));
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = runtime ? runtime : "";
  ::setenv("XDG_RUNTIME_DIR", dir.Root().c_str(), 1);
  { TZelApplication app(nullptr, "kit-test-link"); }
  if (runtime) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  else ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_NE(0, ::access(target.c_str(), F_OK)) << "the lock was made through the link";
}

TEST(KitApplication, PreviousInstanceAndSettingsControl) {
  TZelApplication first(nullptr, "kit-test-instance");
  TZelApplication second(nullptr, "kit-test-instance");
  EXPECT_FALSE(first.PreviousInstance());
  EXPECT_TRUE(second.PreviousInstance());
  EXPECT_EQ(ZelApplication, &first);
  // Without a timer, none can be had.
  EXPECT_THROW(second.AddTimer(50, nullptr), plat::EOutOfResources);

  TZelIniCtrl* ini = first.IniCtrl();
  EXPECT_EQ(ini->EffectiveTarget(), itRegistry);
  ini->SetMaxEntries(40);
  ini->SetAlphaCounter(true);
  EXPECT_EQ(ini->MaxEntries(), 26);
  ini->SetMaxEntries(30);
  EXPECT_EQ(ini->MaxEntries(), 26);
  ini->SetIniFile("station");
  EXPECT_EQ(ini->IniFile(), "station.INI");
  ini->SetIniFile("/etc/x.d/station.cfg");
  EXPECT_EQ(ini->IniFile(), "/etc/x.d/station.cfg");
  ini->SetNetUser(true);
  EXPECT_EQ(ini->User(), ZelUserName());
  ini->SetTarget(itIniFile);
  EXPECT_EQ(ini->EffectiveTarget(), itIniFile);

  EXPECT_EQ(std::string(ZelEOneInstError(0, "TZelFormShape").what()),
            "TZelFormShape:\rInvalid owner (<>TForm) or second instance on a form");
  EXPECT_EQ(std::string(ZelEOneInstError(1, "TZelBack").what()),
            "TZelBack:\rAlready one TZelBack control in this project!");
}
