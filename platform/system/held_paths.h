#pragma once
// Private to platform/: how its file routines reach a path. A path directly inside a held folder
// (held_folder.h) is reached through that folder's descriptor; any other path as it stands.
#include <fcntl.h>

#include <memory>
#include <string>

#include "platform/system/held_folder.h"

namespace plat {

struct HeldFolder::Descriptor {
  int fd = -1;
  explicit Descriptor(int f) : fd(f) {}
  ~Descriptor();
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
};

class AtPath {
public:
  explicit AtPath(const std::string& path);
  // The folder to resolve Name() in: a held folder's descriptor, else AT_FDCWD.
  int Dir() const { return held_ ? held_->fd : AT_FDCWD; }
  // The name inside the held folder ("." for the folder itself), else the path.
  const char* Name() const { return name_.c_str(); }
  bool Held() const { return held_ != nullptr; }
  // Inside a held folder no link is followed.
  int OpenNoFollow() const { return held_ ? O_NOFOLLOW : 0; }
  int StatNoFollow() const { return held_ ? AT_SYMLINK_NOFOLLOW : 0; }

private:
  std::shared_ptr<HeldFolder::Descriptor> held_;
  std::string name_;
};

// openat(2) on a path as AtPath reaches it, close-on-exec. Inside a held folder a link is never
// followed and a file with more than one link is never opened for writing (errno EMLINK); O_TRUNC
// takes effect only once that is known.
int OpenAt(const AtPath& at, int flags, unsigned mode = 0);
inline int OpenPath(const std::string& path, int flags, unsigned mode = 0) {
  return OpenAt(AtPath(path), flags, mode);
}

}  // namespace plat
