// Test entry for programs with Qt: the application object exists for every test, offscreen
// unless the environment says otherwise.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "common/scratch.h"
#include "platform/system/threads.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // What the code under test keeps in the session's runtime folder (the kit's instance lock) goes
  // with the run, not into the machine's.
  static Scratch runtime;  // static: gone also when a test ends the process with exit()
  setenv("XDG_RUNTIME_DIR", runtime.Root().c_str(), 1);
  plat::MarkUiThread();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
