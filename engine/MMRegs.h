#pragma once
// The class streaming registry: record classes enter the routines that write them to and read
// them from a stream, once per class name.
#include <functional>
#include <iosfwd>
#include <string>

using TMMStreamWriter = std::function<void(std::ostream& out, const void* object)>;
using TMMStreamReader = std::function<void(std::istream& in, void* object)>;

struct TMMClassStreamer {
  std::string ClassName;
  TMMStreamWriter Write;
  TMMStreamReader Read;
};

// A second registration under a name already held (compared without case) is ignored.
void RegisterClassStreamer(const std::string& className, TMMStreamWriter write, TMMStreamReader read);
// A copy of the registration, or false when the class is not registered.
bool FindClassStreamer(const std::string& className, TMMClassStreamer& streamer);
int ClassStreamerCount();
