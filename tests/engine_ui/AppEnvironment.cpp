// One application object for the whole program; dialogs that a test did not answer get their
// default, never a window.
#include "common/app_environment.h"

namespace {
[[maybe_unused]] auto* const g_env =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment("engine_ui_tests", AppEnvironment::Dialogs::Queued));
}  // namespace
