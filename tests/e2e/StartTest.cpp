// Starting the program: a first start completes its settings, makes its temporary folder and
// signals the studio; a second start leaves the first one alone.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "Studio.h"
#include "platform/system/files.h"

namespace {

using Ini = std::map<std::string, std::map<std::string, std::string>>;

// Section -> key -> value, and false when a key appears twice in its section.
bool ParseIni(const std::string& text, Ini& ini) {
  std::istringstream in(text);
  std::string line, section;
  bool unique = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    unique = ini[section].emplace(line.substr(0, eq), line.substr(eq + 1)).second && unique;
  }
  return unique;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

// The abstract socket names a process holds, without their leading "@", as any account may read
// them in /proc/net/unix.
std::vector<std::string> AbstractNamesOf(pid_t pid) {
  std::set<std::string> inodes;
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd/";
  for (const plat::FolderEntry& e : plat::ListEntries(fds)) {
    char link[64] = {};
    const ssize_t n = ::readlink((fds + e.name).c_str(), link, sizeof link - 1);
    if (n > 9 && std::strncmp(link, "socket:[", 8) == 0) inodes.insert(std::string(link + 8, size_t(n) - 9));
  }
  std::vector<std::string> names;
  std::ifstream table("/proc/net/unix");
  std::string line;
  std::getline(table, line);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string num, refs, protocol, flags, type, state, inode, path;
    fields >> num >> refs >> protocol >> flags >> type >> state >> inode >> path;
    if (inodes.count(inode) && path.size() > 1 && path[0] == '@') names.push_back(path.substr(1));
  }
  return names;
}

}  // namespace

TEST(Start, FirstStartCompletesTheSettingsMakesTheTemporaryFolderAndSignalsLoad) {
  Studio s;
  s.Settings({});
  ASSERT_FALSE(plat::DirectoryExists(s.deckTemp));
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(Studio::kLoad, s.Gpi(6)) << s.Output();
  DeckView v = s.Sync();
  EXPECT_EQ("empty", v.deck);
  EXPECT_EQ("-", v.modal);
  EXPECT_TRUE(plat::DirectoryExists(s.deckTemp));

  // Every setting is there once, with its default, and what the file held is kept.
  const std::string written = Studio::Read(s.home + "Solvane.ini");
  Ini got, want;
  EXPECT_TRUE(ParseIni(written, got)) << "a key written twice:\n" << written;
  ASSERT_TRUE(ParseIni(Replace(Studio::Read(FIRST_START_INI), "@FOLDER@", s.home), want));
  want["GPI"]["ENABLE"] = "1";
  want["GPI"]["ON LOAD"] = "LOAD{{CRLF}}";
  want["GPI"]["ON RECORD"] = "REC{{CRLF}}";
  want["GPI"]["ON STOP"] = "STOP{{crlf}}";
  want["GPI"]["ON EXIT"] = "EXIT{{CrLf}}";
  EXPECT_EQ(want, got) << written;
  EXPECT_EQ(std::string::npos, Replace(written, "\r\n", "").find('\n')) << "a line without CR LF";
  // The standard cart that was chosen is told, and nothing else is shown.
  std::vector<std::string> dialogs = s.DialogLog();
  ASSERT_EQ(1u, dialogs.size()) << ::testing::PrintToString(dialogs);
  EXPECT_EQ(0u, dialogs[0].rfind("message Information [OK] \"A one-hour 32 kHz, 16 bit, mono file "
                                 "has been chosen as the Standard Cart.",
                                 0))
      << dialogs[0];

  // Closing needs nothing with an empty deck; the next start finds the file complete.
  s.CloseWindow();
  EXPECT_EQ(0, s.WaitExit());
  EXPECT_EQ(Studio::kExit, s.Gpi(6));
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(Studio::kLoad, s.Gpi(6));
  s.Sync();
  EXPECT_EQ(written, Studio::Read(s.home + "Solvane.ini"));
  EXPECT_EQ(dialogs, s.DialogLog()) << "the second start showed a dialog";
}

TEST(Start, ASecondStartAsksTheFirstToComeForwardAndEndsAtOnce) {
  Studio first;
  first.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  ASSERT_TRUE(first.Start());
  EXPECT_EQ(Studio::kLoad, first.Gpi(6));
  first.Key("Ctrl+S");
  const DeckView before = first.Sync();
  ASSERT_EQ("STANDARD", before.kind);

  // The same user starting it again, from the same folders.
  const pid_t second = first.Spawn();
  ASSERT_GT(second, 0);
  EXPECT_EQ(0, Studio::WaitExit(second));
  EXPECT_TRUE(Studio::WaitFor([&] { return Studio::Read(first.dir.Path("activate.log")) == "activate\n"; }));
  EXPECT_TRUE(first.Running()) << "the first one has ended";
  // The first keeps its cart and its port: the next bytes on the line are its own.
  first.Key("F5");
  first.Run(300);
  first.Key("F4");
  DeckView after = first.Sync();
  EXPECT_EQ("stopped", after.deck);
  EXPECT_EQ(before.file, after.file);
  const std::string gpi = std::string(Studio::kRecord) + Studio::kStop + Studio::kStop;
  EXPECT_EQ(gpi, first.Gpi(gpi.size()));
}

TEST(Start, StartsAtTheSameInstantInOneSessionGiveOneDeckAndEveryOtherBringsItForward) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  constexpr int kStarts = 40;
  std::vector<pid_t> starts;
  for (int i = 0; i < kStarts; ++i) starts.push_back(s.Spawn());
  std::map<pid_t, int> ended;
  ASSERT_TRUE(Studio::WaitFor([&] {
    for (pid_t p : starts) {
      int status = 0;
      if (!ended.count(p) && ::waitpid(p, &status, WNOHANG) == p)
        ended[p] = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return ended.size() == kStarts - 1;
  })) << s.Output();
  for (const auto& [pid, code] : ended) EXPECT_EQ(0, code) << s.Output();
  // The one left is the deck, and it heard every other start.
  std::string requests;
  for (int i = 0; i < kStarts - 1; ++i) requests += "activate\n";
  EXPECT_TRUE(Studio::WaitFor([&] { return Studio::Read(s.dir.Path("activate.log")) == requests; }))
      << Studio::Read(s.dir.Path("activate.log"));
  EXPECT_TRUE(s.DialogLog().empty()) << ::testing::PrintToString(s.DialogLog());
  for (pid_t p : starts)
    if (!ended.count(p)) ::kill(p, SIGKILL), ::waitpid(p, nullptr, 0);
}

TEST(Start, ASecondStartComesForwardAlsoWithALongTemporaryPathAndNoRuntimeFolder) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.environment["XDG_RUNTIME_DIR"] = "";
  s.environment["TMPDIR"] = s.dir.Path("a-temporary-folder-with-a-name-long-enough-to-pass-a-socket-path-limit/");
  ASSERT_GE(s.environment["TMPDIR"].size(), 90u);
  ASSERT_TRUE(s.Start());
  EXPECT_EQ("empty", s.Sync().deck);
  const pid_t second = s.Spawn();
  ASSERT_GT(second, 0);
  EXPECT_EQ(0, Studio::WaitExit(second)) << s.Output();
  EXPECT_TRUE(Studio::WaitFor([&] { return Studio::Read(s.dir.Path("activate.log")) == "activate\n"; }));
  EXPECT_TRUE(s.Running());
  EXPECT_TRUE(s.DialogLog().empty()) << ::testing::PrintToString(s.DialogLog());
}

TEST(Start, AMissingTemporaryFolderIsMadeAndAnUnusableOneIsToldBeforeTheProgramEnds) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  // Without a runtime folder the single-instance socket lies in the temporary path too.
  s.environment["XDG_RUNTIME_DIR"] = "";
  s.environment["TMPDIR"] = s.dir.Path("gone/deeper/");
  s.deckTemp = s.dir.Path("gone/deeper/Solvane/");
  s.Answers({"Yes"});
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(Studio::kLoad, s.Gpi(6)) << s.Output();
  EXPECT_EQ("empty", s.Sync().deck);
  EXPECT_TRUE(plat::DirectoryExists(s.deckTemp));
  s.Key("Ctrl+S");
  EXPECT_EQ(s.deckTemp + "Untitled.wav", s.Sync().file);
  s.Key("F7");  // a blank cart counts as changed: Yes
  s.CloseWindow();
  EXPECT_EQ(0, s.WaitExit());
  const std::string gpi = std::string(Studio::kStop) + Studio::kExit;
  EXPECT_EQ(gpi, s.Gpi(gpi.size()));

  // A temporary path that cannot be a folder: the program says so and ends, as a failure.
  ASSERT_TRUE(Studio::Write(s.dir.Path("plain"), "a file"));
  s.environment["TMPDIR"] = s.dir.Path("plain/");
  s.Answers({"OK"});
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(1, s.WaitExit()) << s.Output();
  const std::vector<std::string> dialogs = s.DialogLog();
  ASSERT_EQ(2u, dialogs.size()) << ::testing::PrintToString(dialogs);
  // The message names what is in the way, and what is wrong with it, in an error box as every
  // other refusal of the folder is.
  EXPECT_EQ("message Error [OK] \"Error Creating Temp Directory\\r\\n\\r\\n" + s.dir.Path("plain/") +
                "\\r\\nNot a directory\" -> OK",
            dialogs[1]);
}

// The single-instance name can be worked out by anyone: another account binds it before the
// operator's start, listens and never accepts, its backlog full. The operator's deck neither asks
// it anything nor waits on it for as long as it lives: it comes up within seconds, listening in the
// account's own runtime folder instead, where the operator's next start finds it and brings it
// forward.
TEST(Start, AnotherAccountHoldingTheNameWithAFullBacklogKeepsTheDeckFromStartingOnlySeconds) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can start processes of two other accounts";
  constexpr uid_t kOperator = 4321, kOther = 4322;
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.RunAs(kOperator, kOperator, kOperator);
  // The name, as the other account learns it: from the operator's deck while it runs.
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(Studio::kLoad, s.Gpi(6)) << s.Output();
  s.Sync();
  const std::vector<std::string> names = AbstractNamesOf(s.Pid());
  ASSERT_EQ(1u, names.size());
  s.CloseWindow();
  ASSERT_EQ(0, s.WaitExit());
  EXPECT_EQ(Studio::kExit, s.Gpi(6));

  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(names[0].size(), sizeof addr.sun_path - 1);
  std::memcpy(addr.sun_path + 1, names[0].data(), names[0].size());
  const socklen_t len = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + names[0].size());
  int ready[2], done[2];
  ASSERT_EQ(0, ::pipe(ready));
  ASSERT_EQ(0, ::pipe(done));
  const pid_t squatter = ::fork();
  if (squatter == 0) {
    char queued = 0;
    const int l = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::setresgid(kOther, kOther, kOther) == 0 && ::setresuid(kOther, kOther, kOther) == 0 &&
        ::bind(l, reinterpret_cast<const sockaddr*>(&addr), len) == 0 && ::listen(l, 0) == 0)
      for (;;) {
        const int c = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (::connect(c, reinterpret_cast<const sockaddr*>(&addr), len) != 0) break;
        ++queued;
      }
    (void)!::write(ready[1], &queued, 1);
    (void)!::read(done[0], &queued, 1);
    ::_exit(0);
  }
  ASSERT_GT(squatter, 0);
  char queued = 0;
  ASSERT_EQ(1, ::read(ready[0], &queued, 1));
  ASSERT_GT(queued, 0) << "the other account could not take the name or fill its backlog";

  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(Studio::kLoad, s.Gpi(6)) << s.Output();
  EXPECT_EQ("empty", s.Sync().deck);
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_LT(waited, std::chrono::seconds(20));
  std::printf("the deck was up %lld ms after its start\n",
              (long long)std::chrono::duration_cast<std::chrono::milliseconds>(waited).count());
  EXPECT_TRUE(AbstractNamesOf(s.Pid()).empty()) << "the deck holds the name: the other account never held it";
  const auto again = std::chrono::steady_clock::now();
  const pid_t second = s.Spawn();
  ASSERT_GT(second, 0);
  EXPECT_EQ(0, Studio::WaitExit(second)) << s.Output();
  EXPECT_TRUE(Studio::WaitFor([&] { return Studio::Read(s.dir.Path("activate.log")) == "activate\n"; }));
  std::printf("a second start brought it forward after %lld ms\n",
              (long long)std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - again)
                  .count());
  EXPECT_TRUE(s.Running());
  EXPECT_TRUE(s.DialogLog().empty()) << ::testing::PrintToString(s.DialogLog());
  s.Kill();
  (void)!::write(done[1], "x", 1);
  int status = -1;
  EXPECT_EQ(squatter, ::waitpid(squatter, &status, 0));
  for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
}
