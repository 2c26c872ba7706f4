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

// openat(2) on a path as AtPath reaches it, close-on-exec. Inside a held folder a link is never
// followed, nothing but a regular file or a folder is opened (a FIFO or a device: errno ENXIO,
// without waiting on it), and a file with more than one link is never opened for writing (errno
// EMLINK); O_TRUNC takes effect only once that is known. A file made or emptied there (O_CREAT,
// O_TRUNC) is readable and writable by its owner alone (0600), whatever the umask.
int OpenAt(const AtPath& at, int flags, unsigned mode = 0);
inline int OpenPath(const std::string& path, int flags, unsigned mode = 0) {
  return OpenAt(AtPath(path), flags, mode);
}

// Whether dir is a descriptor of a held folder, where every file made is its owner's alone (0600).
bool IsHeldFolder(int dir);

}  // namespace plat
