// Drawing belongs to the UI thread: in the builds that check it (Debug and sanitizer builds), a
// display drawn from another thread aborts.
#include <gtest/gtest.h>

#include <thread>

#include "displays/MMDIBCv_ui.h"
#include "platform/system/threads.h"

#ifdef SOLVANE_UI_THREAD_CHECKS

TEST(DisplaysUiThreadCheckDeathTest, DrawingOnAnotherThreadAborts) {
  // A fresh copy of the program, whose main marks its UI thread as the program's does.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TMMDirectGraphicControl c(nullptr);
  int drawn = 0;
  EXPECT_DEATH(std::thread([&] { c.DrawDirect([&] { ++drawn; }); }).join(), "DrawDirect.* off the UI thread");
  // On the UI thread the call goes through; without a parent it has nothing to draw on.
  c.DrawDirect([&] { ++drawn; });
  EXPECT_EQ(drawn, 0);
}

#endif  // SOLVANE_UI_THREAD_CHECKS
