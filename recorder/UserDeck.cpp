#include "recorder/UserDeck.h"

#include <cerrno>
#include <ctime>

#include "platform/messages/messages.h"
#include "platform/system/files.h"

int64_t TUserDeck::Now() const { return int64_t(std::time(nullptr)); }

TNotify TUserDeck::LaterNotifier() const {
  return [alive = std::weak_ptr<TUserDeck*>(alive_)](TNoticeKind kind, const std::string& text) {
    plat::RunOnUiThread([alive, kind, text] {
      if (const auto deck = alive.lock()) (*deck)->Notify(kind, text);
    });
  };
}

bool TUserDeck::StartProgram(const std::string& path, const std::vector<std::string>& args, plat::TRunning& running,
                             const std::string& order, plat::TEnded ended) {
  const int lock = order.empty() ? -1 : plat::OpenSharedLock(order);
  const bool started = plat::StartProcess(path, args, {}, &running, lock, std::move(ended));
  const int error = errno;
  plat::CloseDescriptor(lock);
  errno = error;
  return started;
}
