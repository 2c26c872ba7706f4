// One application object for the whole test program; a test that forgets to queue an answer gets
// the dialog's default, never a window.
#include "common/app_environment.h"

namespace {
[[maybe_unused]] auto* const g_env =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment("ui_tests", AppEnvironment::Dialogs::Queued));
}  // namespace
