// Test entry for programs with Qt: the application object exists for every test, offscreen
// unless the environment says otherwise.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/system/threads.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  plat::MarkUiThread();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
