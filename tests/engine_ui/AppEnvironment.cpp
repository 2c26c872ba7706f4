// One application object for the whole program, made after the QApplication of main(); dialogs
// that a test did not answer get their default, never a window.
#include <gtest/gtest.h>

#include <memory>

#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"

namespace {
class AppEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    app_ = new plat::TApplication;
    app_->SetTitle("engine_ui_tests");
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
