#pragma once
// A scratch folder of a test's own, removed with everything in it when the test ends (by the process
// that made it: a forked child that ends with exit() leaves it to its parent).
#include <unistd.h>

#include <cstdlib>
#include <string>

class Scratch {
public:
  Scratch() {
    std::string tmpl = (std::getenv("TMPDIR") ? std::string(std::getenv("TMPDIR")) : "/tmp") + "/solvane-test-XXXXXX";
    char* p = mkdtemp(tmpl.data());
    root_ = p ? std::string(p) : std::string();
  }
  ~Scratch() {
    if (::getpid() == owner_) Remove();
  }
  // Removes it now: for a test that ends its process with exit(), which destroys no test's objects.
  void Remove() {
    if (!root_.empty()) {
      std::string cmd = "chmod -R u+w '" + root_ + "' 2>/dev/null; rm -rf '" + root_ + "'";
      [[maybe_unused]] int rc = std::system(cmd.c_str());
    }
    root_.clear();
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::string& Root() const { return root_; }
  // The path of name inside the folder; Path("") is the folder with a trailing "/".
  std::string Path(const std::string& name) const { return root_ + "/" + name; }

private:
  std::string root_;
  pid_t owner_ = ::getpid();
};
