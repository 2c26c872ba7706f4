// One application object for the whole recorder test program; dialogs nobody queued an answer for
// get their default instead of a window.
#include "common/app_environment.h"

namespace {
AppEnvironment* const g_env = static_cast<AppEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new AppEnvironment("recorder_tests", AppEnvironment::Dialogs::Queued)));
}  // namespace

void RenewTestApplication() { g_env->Renew(); }
