// One application object for the program, and the shared timer in its hand-stepped mode before
// any display registers with it.
#include "DisplaysTest.h"

namespace {
class AppEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    plat::UseManualMMTimer(true);
    app_ = new plat::TApplication;
    app_->SetTitle("displays_tests");
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

private:
  plat::TApplication* app_ = nullptr;
};

[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);
}  // namespace
