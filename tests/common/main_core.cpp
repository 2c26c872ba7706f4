// Test entry for programs without Qt.
#include <gtest/gtest.h>

#include "common/scratch.h"
#include "platform/system/threads.h"

int main(int argc, char** argv) {
  // What the code under test keeps in the session's runtime folder goes with the run.
  static Scratch runtime;  // static: gone also when a test ends the process with exit()
  setenv("XDG_RUNTIME_DIR", runtime.Root().c_str(), 1);
  plat::MarkUiThread();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
