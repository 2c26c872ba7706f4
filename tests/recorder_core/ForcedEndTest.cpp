#include "recorder/ForcedEnd.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/system/clock.h"
#include "platform/system/signals.h"

// A stop signal that nothing else acts on ends the process a few seconds later, after the words the
// deck gave for it, and never while a step that must not be cut short runs.
TEST(ForcedEnd, AStopSignalEndsTheProcessOnceNoStepHoldsItOff) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        if (plat::CatchStopSignals() < 0) std::exit(2);
        SetForcedEndWords([] { std::fputs("owed strings sent\n", stderr); });
        StartForcedEnd();
        {
          const TForcedEndHold hold;
          std::raise(SIGTERM);
          plat::SleepMs(kForcedEndAfterMs + 500);
          std::fputs("step done\n", stderr);
        }
        plat::SleepMs(kForcedEndAfterMs);
        std::exit(3);
      },
      ::testing::ExitedWithCode(0), "step done.*owed strings sent.*a stop signal ended the program");
}
