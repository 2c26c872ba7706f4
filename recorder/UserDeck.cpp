#include "recorder/UserDeck.h"

#include <ctime>

#include "platform/system/files.h"

int64_t TUserDeck::Now() const { return int64_t(std::time(nullptr)); }

bool TUserDeck::StartProgram(const std::string& path, const std::vector<std::string>& args, plat::TRunning& running,
                             const std::string& order) {
  const int lock = order.empty() ? -1 : plat::OpenSharedLock(order);
  const bool started = plat::StartProcess(path, args, {}, &running, lock);
  plat::CloseDescriptor(lock);
  return started;
}
