// One application object for the program, and the shared timer in its hand-stepped mode before
// any display registers with it.
#include "DisplaysTest.h"
#include "common/app_environment.h"

namespace {
class DisplaysEnvironment : public AppEnvironment {
public:
  DisplaysEnvironment() : AppEnvironment("displays_tests", Dialogs::Shown) {}
  void SetUp() override {
    plat::UseManualMMTimer(true);
    AppEnvironment::SetUp();
  }
};

[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new DisplaysEnvironment);
}  // namespace
