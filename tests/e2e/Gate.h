#pragma once
// A save or a copy held at the moment it gives a file its name, for the test to act then: the program
// runs with tests/e2e/shim preloaded (e2e_tests only).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "Studio.h"
#include "platform/system/files.h"

// The first rename or link of the program's to a file called name waits until Release.
class Gate {
public:
  Gate(Studio& s, const std::string& name) : fifo_(s.dir.Path("gate")) {
    EXPECT_EQ(::mkfifo(fifo_.c_str(), 0600), 0);
    s.environment["LD_PRELOAD"] = SOLVANE_FS_SHIM;
    s.environment["SOLVANE_FS_HOLD"] = name;
    s.environment["SOLVANE_FS_HOLD_GATE"] = fifo_;
  }
  // Whether the program has reached the name and waits there.
  bool Held() const {
    return Studio::WaitFor([&] { return plat::FileExists(fifo_ + ".held"); });
  }
  void Release() const {
    int fd = -1;
    // The program opens its end of the gate right after it says it is held.
    EXPECT_TRUE(Studio::WaitFor([&] { return (fd = ::open(fifo_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0; }));
    if (fd < 0) return;
    EXPECT_EQ(::write(fd, "x", 1), 1);
    ::close(fd);
  }

private:
  std::string fifo_;
};
