// One application object for the whole recorder test program; dialogs nobody queued an answer for
// get their default instead of a window.
#include "common/app_environment.h"

namespace {
[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(
    new AppEnvironment("recorder_tests", AppEnvironment::Dialogs::Queued));
}  // namespace
