// The whole program, started as an operator would: its own folder, the virtual sound device, the
// GPI port on a pseudo-terminal, and a dialog script that answers nothing (so any dialog shows up
// in the log).
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <functional>
#include <string>
#include <vector>

#include "common/pty.h"
#include "common/scratch.h"
#include "platform/system/clock.h"
#include "platform/system/files.h"

extern char** environ;

namespace {

std::string Read(const std::string& path) {
  std::string s;
  plat::ReadWholeFile(path, s);
  return s;
}

class Program {
public:
  explicit Program(std::vector<std::string> env) : env_(std::move(env)) {}
  ~Program() { Kill(); }
  bool Start() {
    std::vector<std::string> vars;
    for (char** e = environ; *e; ++e) vars.emplace_back(*e);
    for (const std::string& v : env_) vars.push_back(v);
    std::vector<char*> envp, argv{const_cast<char*>(SOLVANE_BINARY), nullptr};
    for (std::string& v : vars) envp.push_back(v.data());
    envp.push_back(nullptr);
    return ::posix_spawn(&pid_, SOLVANE_BINARY, nullptr, nullptr, argv.data(), envp.data()) == 0;
  }
  // The exit code once it has ended within ms, else -1.
  int WaitExit(int ms) {
    for (int waited = 0; waited <= ms; waited += 20) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
      }
      plat::SleepMs(20);
    }
    return -1;
  }
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

private:
  std::vector<std::string> env_;
  pid_t pid_ = -1;
};

bool WaitFor(const std::function<bool()>& pred, int ms) {
  for (int waited = 0; waited <= ms; waited += 20) {
    if (pred()) return true;
    plat::SleepMs(20);
  }
  return pred();
}

}  // namespace

TEST(Program, StartsQuietlyCompletesItsSettingsSignalsAndStaysTheOnlyOne) {
  Scratch dir;
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  const std::string home = dir.Path("home/"), tmp = dir.Path("tmp/"), run = dir.Path("run/");
  for (const std::string& d : {home, tmp, run}) ASSERT_TRUE(plat::ForceDirectories(d));
  ::chmod(run.c_str(), 0700);
  ASSERT_TRUE(plat::WriteWholeFile(home + "Solvane.ini",
                                   "[Standard Cart]\r\nFORMAT=26\r\nLENGTH=10000\r\n"
                                   "[GPI]\r\nENABLE=1\r\nON LOAD=LOADED{{CRLF}}\r\n"));
  ASSERT_TRUE(plat::WriteWholeFile(dir.Path("script"), "# nothing is answered\n"));
  std::vector<std::string> env = {
      "SOLVANE_HOME=" + home,         "TMPDIR=" + tmp,
      "XDG_RUNTIME_DIR=" + run,       "SOLVANE_COM1=" + pty.SlavePath(),
      "SOLVANE_AUDIO=virtual",        "QT_QPA_PLATFORM=offscreen",
      "SOLVANE_DIALOG_SCRIPT=" + dir.Path("script"),
      "SOLVANE_DIALOG_LOG=" + dir.Path("dialogs.log"),
      "SOLVANE_ACTIVATE_LOG=" + dir.Path("activate.log")};

  Program first(env);
  ASSERT_TRUE(first.Start());
  // "ON LOAD" goes out at the first showing of the main window.
  EXPECT_EQ("LOADED\r\n", pty.ReadBytes(8, 30000));
  EXPECT_EQ("", Read(dir.Path("dialogs.log"))) << "a dialog was shown";
  std::string ini = Read(home + "Solvane.ini");
  for (const char* key : {"Use Length For All WAV=0", "SAVE PATH=", "BAUD=2400", "ITEM7=1",
                          "SENSITIVITY=1000", "HEADSTART=1", "Offset=0", "LAUNCH=1"})
    EXPECT_NE(std::string::npos, ini.find(key)) << key;
  EXPECT_TRUE(plat::DirectoryExists(tmp + "Solvane"));

  Program second(env);
  ASSERT_TRUE(second.Start());
  EXPECT_EQ(0, second.WaitExit(30000));
  EXPECT_TRUE(WaitFor([&] { return Read(dir.Path("activate.log")) == "activate\n"; }, 30000));
  EXPECT_EQ("", pty.Arrived()) << "the second start sent nothing";
  EXPECT_EQ(-1, first.WaitExit(0)) << "the first one keeps running";
}
