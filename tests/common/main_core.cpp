// Test entry for programs without Qt.
#include <gtest/gtest.h>

#include "platform/system/threads.h"

int main(int argc, char** argv) {
  plat::MarkUiThread();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
