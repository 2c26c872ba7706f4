#pragma once
// A scratch folder of a test's own, removed with everything in it when the test ends.
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
    if (!root_.empty()) {
      std::string cmd = "chmod -R u+w '" + root_ + "' 2>/dev/null; rm -rf '" + root_ + "'";
      [[maybe_unused]] int rc = std::system(cmd.c_str());
    }
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::string& Root() const { return root_; }
  // The path of name inside the folder; Path("") is the folder with a trailing "/".
  std::string Path(const std::string& name) const { return root_ + "/" + name; }

private:
  std::string root_;
};
