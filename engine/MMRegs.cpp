#include "engine/MMRegs.h"

#include <strings.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "engine/MMEnvelp.h"

namespace {

struct Registry {
  std::recursive_mutex lock;
  std::vector<TMMClassStreamer> entries;  // sorted by name, without case
  bool builtIns = false;
};

bool NameLess(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; }

// Locked, and with the engine's own record classes in it from the first use on.
struct LockedRegistry {
  LockedRegistry() : r(Instance()), l(r.lock) {
    if (!r.builtIns) {
      r.builtIns = true;
      RegisterEnvelopeStreamers();  // comes back in here; the lock is recursive
    }
  }
  static Registry& Instance() {
    static Registry* reg = new Registry;
    return *reg;
  }
  Registry& r;
  std::lock_guard<std::recursive_mutex> l;
};

std::vector<TMMClassStreamer>::iterator Find(Registry& r, const std::string& name) {
  return std::lower_bound(r.entries.begin(), r.entries.end(), name,
                          [](const TMMClassStreamer& e, const std::string& n) { return NameLess(e.ClassName, n); });
}

bool Same(const TMMClassStreamer& e, const std::string& name) {
  return strcasecmp(e.ClassName.c_str(), name.c_str()) == 0;
}

}  // namespace

void RegisterClassStreamer(const std::string& className, TMMStreamWriter write, TMMStreamReader read) {
  LockedRegistry g;
  auto at = Find(g.r, className);
  if (at != g.r.entries.end() && Same(*at, className)) return;
  g.r.entries.insert(at, TMMClassStreamer{className, std::move(write), std::move(read)});
}

bool FindClassStreamer(const std::string& className, TMMClassStreamer& streamer) {
  LockedRegistry g;
  auto at = Find(g.r, className);
  if (at == g.r.entries.end() || !Same(*at, className)) return false;
  streamer = *at;
  return true;
}

int ClassStreamerCount() {
  LockedRegistry g;
  return int(g.r.entries.size());
}
