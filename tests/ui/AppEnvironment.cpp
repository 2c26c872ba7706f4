// One application object for the whole test program; a test that forgets to queue an answer gets
// the dialog's default, never a window.
#include "common/app_environment.h"

namespace {
AppEnvironment* const g_env = static_cast<AppEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new AppEnvironment("ui_tests", AppEnvironment::Dialogs::Queued)));
}  // namespace

void RenewTestApplication() { g_env->Renew(); }
