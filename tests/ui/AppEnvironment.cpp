// One application object for the whole test program, made after the QApplication of main().
#include "UiTest.h"

namespace {
class AppEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    app_ = new plat::TApplication;
    app_->SetTitle("ui_tests");
    // A test that forgets to queue an answer gets the dialog's default, never a window.
    plat::SetDialogService(std::make_shared<plat::QueuedDialogs>());
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
