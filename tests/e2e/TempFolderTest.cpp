// The temporary folder is the deck's own: a second deck never touches a live take, no link in it
// is followed, a folder others may write to is refused, nothing is saved into it, and a file-size
// limit ends a take instead of the program.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "Gate.h"
#include "Studio.h"
#include "common/bytes.h"
#include "platform/system/files.h"

namespace {

bool Logged(const std::vector<std::string>& log, const std::string& start) {
  return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

constexpr uint32_t kMonoBytesPerSecond = 64000;  // format 26: 32 kHz, 16 bit, mono

}  // namespace

namespace {

// A process that took the folder's lock and has ended but for a thread that nothing wakes, as a deck
// does whose last write a disk that answers nothing holds: its main thread is gone, the lock stays.
class EndedHolder {
public:
  explicit EndedHolder(const std::string& folder) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
      pthread_t held;
      if (fd < 0 || ::flock(fd, LOCK_EX) != 0 ||
          ::pthread_create(&held, nullptr, [](void*) -> void* { for (;;) ::pause(); }, nullptr) != 0)
        ::_exit(1);
      [[maybe_unused]] const ssize_t n = ::write(ready[1], "x", 1);
      // This thread alone ends, without unwinding through the test's frames.
      ::syscall(SYS_exit, 0);
    }
    ::close(ready[1]);
    char c;
    const bool locked = pid_ > 0 && ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
    ended_ = locked && Studio::WaitFor([&] {
      const std::string stat = Studio::Read("/proc/" + std::to_string(pid_) + "/stat");
      const size_t paren = stat.rfind(')');
      return paren != std::string::npos && stat.compare(paren, 3, ") Z") == 0;
    });
  }
  ~EndedHolder() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  bool Ended() const { return ended_; }

private:
  pid_t pid_ = -1;
  bool ended_ = false;
};

}  // namespace

// A deck ended while a disk that answers nothing held its last write keeps its temporary folder until
// that disk answers: a start meanwhile says so, and does not send the operator to close a window that
// no longer is there.
TEST(TempFolder, AStartWhileAnEndedDeckStillHoldsTheFolderSaysWhatHoldsIt) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  ASSERT_TRUE(plat::ForceDirectories(s.deckTemp));
  ASSERT_EQ(0, ::chmod(s.deckTemp.c_str(), 0700));
  const EndedHolder holder(s.deckTemp);
  ASSERT_TRUE(holder.Ended());
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(1, s.WaitExit()) << s.Output();
  const std::vector<std::string> log = s.DialogLog();
  ASSERT_EQ(1u, log.size()) << ::testing::PrintToString(log);
  EXPECT_EQ(0u, log[0].rfind("message Error [OK] \"A Solvane that was ended still holds the temporary folder " +
                                 s.deckTemp + ": the system keeps it until a disk that does not answer",
                             0))
      << log[0];
}

TEST(TempFolder, ADeckOfAnotherSessionWithTheSameFolderEndsAndTheRunningTakeIsSavedWhole) {
  Studio s;
  const std::string save = s.dir.Path("save/");
  ASSERT_TRUE(plat::ForceDirectories(save));
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.Answers({"file " + save + "Live.wav"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  s.Key("F5");
  s.Run(1000);

  // The same account from another session: its own runtime folder, the same temporary folder.
  // It must not read the studio's channels, which belong to the running deck.
  ASSERT_EQ(0, ::mkdir(s.dir.Path("run2").c_str(), 0700));
  s.environment = {{"XDG_RUNTIME_DIR", s.dir.Path("run2")},
                   {"SOLVANE_TEST_CONTROL", ""},
                   {"SOLVANE_TEST_CONTROL_LOG", ""},
                   {"SOLVANE_AUDIO_PACE", ""},
                   {"SOLVANE_AUDIO_PACE_ACK", ""}};
  const std::string order = "[" + s.dir.Path("Sent.wav") + "]";  // a send's order not yet read
  ASSERT_TRUE(Studio::Write(s.home + "mail.txt", order));
  const pid_t second = s.Spawn();
  ASSERT_GT(second, 0);
  EXPECT_EQ(1, Studio::WaitExit(second)) << s.Output();
  EXPECT_EQ(order, Studio::Read(s.home + "mail.txt")) << "the refused start removed the running deck's order";
  EXPECT_TRUE(Logged(s.DialogLog(), "message Error [OK] \"Solvane is already running with the temporary folder " +
                                        s.deckTemp + " in another session."))
      << ::testing::PrintToString(s.DialogLog());
  EXPECT_EQ("", Studio::Read(s.dir.Path("activate.log"))) << "out of its session, nothing is brought forward";

  s.Run(1000);
  ASSERT_EQ("recording", s.Sync().deck) << "the take goes on";
  s.Key("F4");
  ASSERT_EQ("stopped", s.Sync().deck);
  s.Key("F9");
  const DeckView v = s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "the save has ended");
  ASSERT_EQ(save + "Live.wav", v.file);
  const WavFile w = ReadWav(v.file);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(2 * kMonoBytesPerSecond, w.Data().size()) << "two seconds, whole";
  EXPECT_TRUE(IsPattern(w.Data(), PcmFormat(32000, 1, 16)));
  EXPECT_FALSE(Logged(s.DialogLog(), "message Warning [OK] \"Untitled.wav")) << "never offered as recovered";
}

TEST(TempFolder, LinksPlantedInTheFolderLeaveWhatTheyPointAtByteForByte) {
  Studio s;
  const WAVEFORMATEX mono = PcmFormat(32000, 1, 16);
  std::string samples(32000, '\0');
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = char(i * 13 + 5);
  const std::string jingle = s.dir.Path("library/Jingle.wav"), promo = s.dir.Path("library/Promo.wav");
  ASSERT_TRUE(plat::ForceDirectories(s.dir.Path("library")));
  ASSERT_TRUE(Studio::Write(jingle, MakeWav(mono, samples)) && Studio::Write(promo, MakeWav(mono, samples + "x!")));
  const std::string jingleBytes = Studio::Read(jingle), promoBytes = Studio::Read(promo);
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  ASSERT_TRUE(Studio::Write(s.home + "Default.svu",
                            "[Template 0]\r\nName=News\r\nLength=00:01:00\r\nDescription=Top of the hour\r\n"
                            "Format=32.000 kHz, 16 bit, Mono, 62 kb/sec\r\nLockout=0\r\n"));
  // A take left behind at a blank cart's name, and a program cart's name, each a link to a library file.
  ASSERT_EQ(0, ::mkdir(s.deckTemp.c_str(), 0700));
  ASSERT_EQ(0, ::symlink(jingle.c_str(), (s.deckTemp + "Untitled.wav").c_str()));
  ASSERT_EQ(0, ::symlink(promo.c_str(), (s.deckTemp + "News.wav").c_str()));
  s.Answers({"Yes", "Yes"});  // each blank cart counts as changed when it is ejected
  ASSERT_TRUE(s.Start());
  EXPECT_EQ("empty", s.Sync().deck) << "a link is no take to take back";

  s.Key("Ctrl+S");
  EXPECT_EQ(s.deckTemp + "Untitled.wav", s.Sync().file);
  EXPECT_TRUE(IsRegularFile(s.deckTemp + "Untitled.wav")) << "the cart is a file of its own";
  s.Key("F7");
  s.Key("Ins");
  s.SyncUntil([](const DeckView& d) { return d.modal == "TForm8"; }, "the program list");
  s.Key("Down");
  s.Key("Enter");
  EXPECT_EQ(s.deckTemp + "News.wav", s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "loaded").file);
  EXPECT_TRUE(IsRegularFile(s.deckTemp + "News.wav"));
  s.Key("F7");
  EXPECT_EQ("empty", s.Sync().deck);

  EXPECT_TRUE(Studio::Read(jingle) == jingleBytes) << "the jingle was written through its link";
  EXPECT_TRUE(Studio::Read(promo) == promoBytes) << "the promo was written through its link";
  EXPECT_EQ(2u, s.DialogLog().size()) << ::testing::PrintToString(s.DialogLog());
}

TEST(TempFolder, AFolderOthersMayWriteToOrOfAnotherAccountIsRefusedWithWhatToDo) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  ASSERT_EQ(0, ::mkdir(s.deckTemp.c_str(), 0700));
  ASSERT_EQ(0, ::chmod(s.deckTemp.c_str(), 0775));  // an older version's folder of the operator's own
  ASSERT_TRUE(Studio::Write(s.deckTemp + "Untitled.wav", "a take"));
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(1, s.WaitExit()) << s.Output();
  // It may hold a recording: the repair is told, not the removal.
  EXPECT_TRUE(Logged(s.DialogLog(), "message Error [OK] \"The temporary folder " + s.deckTemp +
                                        " is yours, but other accounts may write to it, so Solvane cannot keep its "
                                        "recordings there.\\r\\n\\r\\nIt may hold a recording: do not remove it. "
                                        "Make it yours alone with\\r\\n\\r\\nchmod 700 " +
                                        s.deckTemp))
      << ::testing::PrintToString(s.DialogLog());
  EXPECT_EQ("a take", Studio::Read(s.deckTemp + "Untitled.wav"));

  if (::geteuid() != 0) return;  // only root can give a folder away
  // Another account's, which the operator can neither change nor remove: refused, and the operator
  // records in a folder of their own, told where.
  ASSERT_EQ(0, ::chmod(s.deckTemp.c_str(), 0700));
  ASSERT_EQ(0, ::chown(s.deckTemp.c_str(), 65534, 65534));  // nobody's
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  EXPECT_EQ(s.state + "Solvane/Temp/Untitled.wav", s.Sync().file);
  ASSERT_EQ(2u, s.DialogLog().size()) << ::testing::PrintToString(s.DialogLog());
  EXPECT_TRUE(Logged({s.DialogLog().back()}, "message Warning [OK] \"The temporary folder " + s.deckTemp +
                                                 " belongs to another account (nobody), so Solvane cannot keep its "
                                                 "recordings there.\\r\\n\\r\\nSolvane keeps them in your own "
                                                 "folder " +
                                                 s.state + "Solvane/Temp/ instead"))
      << ::testing::PrintToString(s.DialogLog());
  EXPECT_EQ("a take", Studio::Read(s.deckTemp + "Untitled.wav"));

  // A state folder that is not the account's either (HOME left as another's): both are told.
  const std::string theirs = s.dir.Path("theirs/");
  ASSERT_EQ(0, ::mkdir(theirs.c_str(), 0755));
  ASSERT_EQ(0, ::chown(theirs.c_str(), 65534, 65534));
  s.environment["XDG_STATE_HOME"] = theirs;
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(1, s.WaitExit()) << s.Output();
  ASSERT_EQ(3u, s.DialogLog().size()) << ::testing::PrintToString(s.DialogLog());
  EXPECT_TRUE(Logged({s.DialogLog().back()},
                     "message Error [OK] \"The temporary folder " + s.deckTemp +
                         " belongs to another account (nobody), so Solvane cannot keep its recordings "
                         "there.\\r\\n\\r\\nSet TMPDIR to a folder of your own, or ask an administrator to remove " +
                         s.deckTemp + ", and start Solvane again.\\r\\n\\r\\nSolvane's own folder " + theirs +
                         "Solvane/Temp/ lies in " + theirs +
                         ", which belongs to another account (nobody), so Solvane cannot keep its recordings "
                         "there.\\r\\n\\r\\nSet XDG_STATE_HOME to a folder of your own, and start Solvane again.\""))
      << ::testing::PrintToString(s.DialogLog());
  EXPECT_FALSE(plat::PathTaken(theirs + "Solvane"));
}

TEST(TempFolder, ASaveIntoTheFolderIsRefusedAndTheTakeStaysInTheDeck) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.Answers({"file " + s.deckTemp + "Kept.wav", "OK"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  s.Key("F5");
  s.Run(300);
  s.Key("F4");
  s.Key("F9");
  const DeckView v = s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "the save has ended");
  EXPECT_EQ(s.deckTemp + "Untitled.wav", v.file);
  EXPECT_FALSE(plat::FileExists(s.deckTemp + "Kept.wav"));
  ASSERT_EQ(2u, s.DialogLog().size()) << ::testing::PrintToString(s.DialogLog());
  EXPECT_TRUE(Logged({s.DialogLog()[1]},
                     "message Warning [OK] \"Solvane's temporary folder " + s.deckTemp + " is emptied at every Eject"))
      << s.DialogLog()[1];
}

TEST(TempFolder, ATakeUnderAFileSizeLimitEndsWithAMessageAndTheProgramGoesOn) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  ASSERT_TRUE(s.Start());
  s.Sync();
  // As `ulimit -f`: no file of the program may grow past a second of the take.
  rlimit limit{};
  ASSERT_EQ(0, ::prlimit(s.Pid(), RLIMIT_FSIZE, nullptr, &limit));
  limit.rlim_cur = kMonoBytesPerSecond;
  ASSERT_EQ(0, ::prlimit(s.Pid(), RLIMIT_FSIZE, &limit, nullptr));
  s.Key("Ctrl+S");
  s.Key("F5");
  s.Run(5000);
  const DeckView v = s.SyncUntil([](const DeckView& d) { return d.deck == "stopped"; }, "the take has ended");
  ASSERT_TRUE(s.Running());
  EXPECT_TRUE(Logged(s.DialogLog(), "message Error [OK] \"The recording file could not be written"))
      << ::testing::PrintToString(s.DialogLog());
  // The take is kept: what reached the file reads as the input's audio.
  const EngineView e = ReadWithEngine(v.file);
  ASSERT_TRUE(e.ok);
  EXPECT_GT(e.samples, 0);
  EXPECT_LE(plat::FileSize(v.file), int64_t(kMonoBytesPerSecond));
  EXPECT_TRUE(
      IsPattern(Studio::Read(v.file).substr(size_t(e.dataOffset), size_t(e.dataSize)), PcmFormat(32000, 1, 16)));
}

// ---- the folder held for the whole run, run as an operator account of its own ------------------

namespace {

// Where the test may start programs of other accounts (as root, as CI runs), the deck runs as an
// operator account of its own, in a studio group; elsewhere as the test's own account.
constexpr uid_t kOperator = 4321;
constexpr gid_t kStudioGroup = 4400;
constexpr uid_t kNobody = 65534;

bool AsOperator(Studio& s) {
  if (::geteuid() != 0) return false;
  s.RunAs(kOperator, kOperator, kStudioGroup);
  return true;
}

std::string Listing(const std::string& folder) {
  std::string names;
  for (const plat::FolderEntry& e : plat::ListEntries(folder)) names += e.name + " ";
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}

void RemoveAll(const std::string& path) { ASSERT_EQ(0, std::system(("rm -rf '" + path + "'").c_str())); }

}  // namespace

TEST(TempFolder, AFolderInAShareItsGroupMayWriteToOrBehindAnotherMembersLinkIsRefusedAndNothingThereIsTouched) {
  Studio s;
  const bool other = AsOperator(s);
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  // A team share: the studio group may write to it, and it is not sticky. Beside the studio's
  // folder, which becomes the operator's at each start.
  Scratch shares;
  ASSERT_EQ(0, ::chmod(shares.Root().c_str(), 0755));
  const std::string share = shares.Path("share");
  ASSERT_EQ(0, ::mkdir(share.c_str(), 0700));
  if (other) {
    ASSERT_EQ(0, ::chown(share.c_str(), 0, kStudioGroup));
  }
  ASSERT_EQ(0, ::chmod(share.c_str(), 02775));
  s.environment["TMPDIR"] = share + "/me/";
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(1, s.WaitExit()) << s.Output();
  EXPECT_TRUE(Logged(s.DialogLog(), "message Error [OK] \"The temporary folder " + share + "/me/Solvane/ lies in " +
                                        share + "/, which other accounts may write to"))
      << ::testing::PrintToString(s.DialogLog());
  EXPECT_FALSE(plat::PathTaken(share + "/me")) << "made in the share before it was judged";

  // Sticky, it lets no one else move the operator's folder; but another member may put a link at
  // the name the operator's folder is to have, leading to a folder of the operator's own that holds
  // one named as the deck's (a library). Refused by the link's owner: the library is not taken for
  // the deck's folder, made private or emptied.
  if (!other) return;
  ASSERT_EQ(0, ::chmod(share.c_str(), 03775));
  const std::string music = s.dir.Path("music/");
  ASSERT_TRUE(plat::ForceDirectories(music + "Solvane"));
  ASSERT_TRUE(Studio::Write(music + "Solvane/Jingle.wav", "precious"));
  ASSERT_EQ(0, ::symlink(music.c_str(), (share + "/me").c_str()));
  ASSERT_EQ(0, ::lchown((share + "/me").c_str(), kNobody, kStudioGroup));
  s.Answers({"Yes"});  // a blank cart counts as changed when it is ejected
  ASSERT_TRUE(s.Start());
  s.Sync();
  EXPECT_TRUE(Logged(s.DialogLog(), "message Warning [OK] \"The temporary folder " + share + "/me/Solvane/ lies in " +
                                        share + "/me/, which belongs to another account (nobody)"))
      << ::testing::PrintToString(s.DialogLog());
  // The deck records in the operator's own folder instead, and its Eject empties that one.
  s.Key("Ctrl+S");
  EXPECT_EQ(s.state + "Solvane/Temp/Untitled.wav", s.Sync().file);
  s.Key("F7");
  EXPECT_EQ("empty", s.Sync().deck);
  EXPECT_EQ(0755u, ModeOf(music + "Solvane"));
  EXPECT_EQ("Jingle.wav ", Listing(music + "Solvane"));
  EXPECT_EQ("precious", Studio::Read(music + "Solvane/Jingle.wav"));
}

TEST(TempFolder, AStartAsRootPointedAtARunningOperatorsFolderSaysItIsInUseAndLeavesTheTakeAlone) {
  Studio s;
  if (!AsOperator(s)) GTEST_SKIP() << "only root can start a deck of another account's";
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  s.Key("F5");
  s.Run(500);
  ASSERT_EQ("recording", s.Sync().deck);

  Studio root;
  root.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  root.environment["TMPDIR"] = s.temp;
  ASSERT_TRUE(root.Start());
  root.Sync();
  ASSERT_EQ(1u, root.DialogLog().size()) << ::testing::PrintToString(root.DialogLog());
  EXPECT_EQ("message Warning [OK] \"The temporary folder " + s.deckTemp +
                " belongs to another account (user ID 4321) and is in use by that account's running Solvane, so "
                "Solvane cannot keep its recordings there.\\r\\n\\r\\nSolvane keeps them in your own folder " +
                root.state + "Solvane/Temp/ instead, where a recording cut short is found at the next start.\" -> OK "
                "(unscripted)",
            root.DialogLog()[0]);
  root.CloseWindow();
  EXPECT_EQ(0, root.WaitExit());

  s.Run(500);
  s.Key("F4");
  const WavFile w = ReadWav(s.Sync().file);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(kMonoBytesPerSecond, w.Data().size()) << "the operator's take, whole";
  EXPECT_TRUE(IsPattern(w.Data(), PcmFormat(32000, 1, 16)));
}

TEST(TempFolder, AFolderSwappedForALinkDuringARunHasSaveEjectANewCartAndACopyToEditTouchNothingOutsideIt) {
  Studio s;
  AsOperator(s);
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  // The operator's library, which the link will point at.
  const std::string library = s.dir.Path("library/"), save = s.dir.Path("save/");
  ASSERT_TRUE(plat::ForceDirectories(library) && plat::ForceDirectories(save));
  ASSERT_TRUE(Studio::Write(library + "Jingle.wav", "precious") && Studio::Write(library + "Untitled.wav", "mine") &&
              Studio::Write(library + "Promo.WAV", "theirs"));
  const std::string promo = s.dir.Path("Promo.wav");
  ASSERT_TRUE(Studio::Write(promo, MakeWav(PcmFormat(32000, 1, 16), std::string(6400, '\x22'))));
  // The save, then the second take ejected unsaved, then a cart loaded to be edited on a copy.
  s.Answers({"file " + save + "Live.wav", "Yes", "file " + promo});
  ASSERT_TRUE(s.Start());
  const std::string take = s.RecordTake(300);

  ASSERT_EQ(0, ::rename(s.deckTemp.c_str(), s.dir.Path("tmp/moved").c_str()));
  ASSERT_EQ(0, ::symlink(library.c_str(), s.dir.Path("tmp/Solvane").c_str()));
  // The take saved is the deck's own, not the file of that name behind the link.
  s.Key("F9");
  ASSERT_EQ(save + "Live.wav", s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "saved").file);
  EXPECT_TRUE(Studio::Read(save + "Live.wav") == take);
  s.Key("F7");
  EXPECT_EQ("empty", s.Sync().deck);
  // A new cart, and the emptying at its Eject, stay in the deck's own folder, wherever it now is.
  s.RecordTake(300);
  EXPECT_EQ("Untitled.wav ", Listing(s.dir.Path("tmp/moved")));
  s.Key("F7");
  EXPECT_EQ("empty", s.Sync().deck);
  EXPECT_EQ("", Listing(s.dir.Path("tmp/moved")));
  // So does the copy a non-destructive load makes.
  s.Key("Ctrl+E");
  EXPECT_EQ(s.deckTemp + "Promo.WAV", s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "copied").file);
  EXPECT_TRUE(Studio::Read(s.dir.Path("tmp/moved/Promo.WAV")) == Studio::Read(promo));
  s.Key("F7");
  EXPECT_EQ("empty", s.Sync().deck);

  EXPECT_EQ("Jingle.wav Promo.WAV Untitled.wav ", Listing(library)) << "Eject emptied the folder the link points at";
  EXPECT_TRUE(Studio::Read(library + "Promo.WAV") == "theirs") << "the copy replaced a file behind the link";
  EXPECT_EQ("precious", Studio::Read(library + "Jingle.wav"));
  EXPECT_EQ("mine", Studio::Read(library + "Untitled.wav")) << "written or taken through the link";
  EXPECT_EQ(3u, s.DialogLog().size()) << ::testing::PrintToString(s.DialogLog());
}

TEST(TempFolder, AFolderRemovedWhileIdleOrMidTakeIsMadeAgainAndTheTakeIsWrittenOutSavedAndKeptFromASecondStart) {
  Studio s;
  const bool other = AsOperator(s);
  const std::string save = s.dir.Path("save/");
  ASSERT_TRUE(plat::ForceDirectories(save));
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.Answers({"file " + save + "Live.wav"});
  ASSERT_TRUE(s.Start());
  ASSERT_EQ("empty", s.Sync().deck);

  // Removed while the deck is empty: the next cart makes it again, the account's alone.
  RemoveAll(s.deckTemp);
  s.Key("Ctrl+S");
  ASSERT_EQ(s.deckTemp + "Untitled.wav", s.Sync().file);
  EXPECT_TRUE(IsRegularFile(s.deckTemp + "Untitled.wav"));
  EXPECT_EQ(0700u, ModeOf(s.deckTemp));
  struct stat st {};
  ASSERT_EQ(0, ::stat(s.deckTemp.c_str(), &st));
  EXPECT_EQ(other ? kOperator : ::geteuid(), st.st_uid) << "made by the operator's account";

  // Removed with the cart loaded: made again for the take. Removed during the take: the take goes
  // on into its file, which Stop writes out again.
  RemoveAll(s.deckTemp);
  s.Key("F5");
  s.Run(1000);
  RemoveAll(s.deckTemp);
  s.Run(1000);
  s.Key("F4");
  ASSERT_EQ("stopped", s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "the message is answered").deck);
  EXPECT_TRUE(Logged(s.DialogLog(), "message Error [OK] \"The file of this recording, " + s.deckTemp +
                                        "Untitled.wav, was removed from the temporary folder while it was being "
                                        "recorded (a clean-up of temporary files, perhaps).\\r\\n\\r\\nSolvane has "
                                        "written the whole take out again"))
      << ::testing::PrintToString(s.DialogLog());
  EXPECT_EQ(0700u, ModeOf(s.deckTemp));

  // A second start of the session brings this deck forward: its folder and take stay its own.
  const pid_t second = s.Spawn();
  ASSERT_GT(second, 0);
  EXPECT_EQ(0, Studio::WaitExit(second)) << s.Output();
  EXPECT_TRUE(Studio::WaitFor([&] { return Studio::Read(s.dir.Path("activate.log")) == "activate\n"; }));

  s.Key("F9");
  const DeckView v = s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "the save has ended");
  ASSERT_EQ(save + "Live.wav", v.file) << ::testing::PrintToString(s.DialogLog());
  const WavFile w = ReadWav(v.file);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(2 * kMonoBytesPerSecond, w.Data().size()) << "two seconds, whole";
  EXPECT_TRUE(IsPattern(w.Data(), PcmFormat(32000, 1, 16)));
}

TEST(TempFolder, AnAgeCleanUpOfItsParentLeavesARunningDecksFolderAndTakeAlone) {
  const std::string tmpfiles = plat::FindProgram("systemd-tmpfiles");
  ASSERT_FALSE(tmpfiles.empty()) << "scripts/setup.sh installs systemd's systemd-tmpfiles";
  Studio s;
  AsOperator(s);
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  ASSERT_TRUE(s.Start());
  const std::string take = s.RecordTake(500);
  // Beside it, what the clean-up should take: a folder left by something else, as old.
  ASSERT_TRUE(plat::ForceDirectories(s.temp + "other") && Studio::Write(s.temp + "other/old.wav", "old"));
  ASSERT_TRUE(Studio::Write(s.dir.Path("clean.conf"), "e " + s.temp + " - - - 1s\n"));
  // The clean-up has only the wall clock: everything must be over a second old.
  std::this_thread::sleep_for(std::chrono::milliseconds(2000));
  ASSERT_EQ(0, std::system((tmpfiles + " --clean '" + s.dir.Path("clean.conf") + "' 2>/dev/null").c_str()));

  EXPECT_FALSE(plat::PathTaken(s.temp + "other/old.wav")) << "the clean-up did not run";
  EXPECT_EQ("Untitled.wav ", Listing(s.deckTemp));
  EXPECT_TRUE(Studio::Read(s.deckTemp + "Untitled.wav") == take);
  s.Key("F5");
  s.Run(500);
  s.Key("F4");
  EXPECT_EQ("stopped", s.Sync().deck);
  EXPECT_EQ(2 * 500 * 64u, ReadWav(s.deckTemp + "Untitled.wav").Data().size());
  EXPECT_TRUE(s.DialogLog().empty()) << ::testing::PrintToString(s.DialogLog());
}

TEST(TempFolder, AFileWithASecondLinkIsNoTakeAndIsNeverRecordedInto) {
  Studio s;
  AsOperator(s);
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  const WAVEFORMATEX mono = PcmFormat(32000, 1, 16);
  const std::string jingle = s.dir.Path("Jingle.wav");
  ASSERT_TRUE(Studio::Write(jingle, MakeWav(mono, std::string(6400, '\x11'))));
  const std::string bytes = Studio::Read(jingle);
  ASSERT_EQ(0, ::mkdir(s.deckTemp.c_str(), 0700));
  ASSERT_EQ(0, ::link(jingle.c_str(), (s.deckTemp + "Untitled.wav").c_str()));
  ASSERT_TRUE(s.Start());
  EXPECT_EQ("empty", s.Sync().deck) << "taken back as a take";
  // Told what was left, and where, before the next cart takes its name.
  ASSERT_EQ(1u, s.DialogLog().size()) << ::testing::PrintToString(s.DialogLog());
  EXPECT_EQ("message Warning [OK] \"A recording was left in the temporary folder: " + s.deckTemp +
                "Untitled.wav (00:00:00.100).\\r\\n\\r\\nIt has another name as well (a second hard link, such as a "
                "backup made with cp -al leaves), so Solvane does not take it back: recording into it would change "
                "the file under that name too. Its audio stays under that other name; Solvane lets this name go at "
                "the next new cart of that name, Eject or exit.\" -> OK (unscripted)",
            s.DialogLog()[0]);
  s.RecordTake(300);
  EXPECT_TRUE(Studio::Read(jingle) == bytes) << "recorded into the linked file";
  EXPECT_EQ(1u, s.DialogLog().size()) << ::testing::PrintToString(s.DialogLog());

  // A backup by links (cp -al) gives the stopped take a second name: Record is refused, saying why.
  const std::string backup = s.dir.Path("Backup.wav");
  ASSERT_EQ(0, ::link((s.deckTemp + "Untitled.wav").c_str(), backup.c_str()));
  const std::string backed = Studio::Read(backup);
  s.Key("F5");
  EXPECT_EQ("stopped", s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "the refusal is answered").deck);
  ASSERT_EQ(2u, s.DialogLog().size());
  EXPECT_TRUE(Logged({s.DialogLog()[1]}, "message Error [OK] \"The file of this take, " + s.deckTemp +
                                             "Untitled.wav, has another name as well (a second hard link"))
      << s.DialogLog()[1];
  EXPECT_TRUE(Studio::Read(backup) == backed) << "recorded into the backup";
}

TEST(TempFolder, AnotherAccountsFolderOnVarTmpIsRefusedAndTheOperatorRecordsInAFolderOfTheirOwnFoundAfterACrash) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can make a folder of another account's";
  // An account of the test's own, whose folder on /var/tmp another account made first.
  const uid_t op = 60000 + uid_t(::getpid() % 5000);
  const std::string own = "/var/tmp/solvane-" + std::to_string(op) + "/";
  ASSERT_FALSE(plat::PathTaken(own)) << "left by another run";
  ASSERT_EQ(0, ::mkdir(own.c_str(), 0700));
  struct Cleanup {
    std::string path;
    ~Cleanup() { [[maybe_unused]] int rc = std::system(("rm -rf '" + path + "'").c_str()); }
  } cleanup{own};
  ASSERT_EQ(0, ::chown(own.c_str(), kNobody, kNobody));
  Studio s;
  s.RunAs(op, op, op);
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.environment["TMPDIR"] = "";
  const std::string fallback = s.state + "Solvane/Temp/";
  s.Answers({"file " + fallback + "Kept.wav"});
  ASSERT_TRUE(s.Start());
  ASSERT_EQ("empty", s.Sync().deck) << s.Output();
  ASSERT_EQ(1u, s.DialogLog().size()) << ::testing::PrintToString(s.DialogLog());
  EXPECT_EQ("message Warning [OK] \"The temporary folder " + own + "Solvane/ lies in " + own +
                ", which belongs to another account (nobody), so Solvane cannot keep its recordings "
                "there.\\r\\n\\r\\nSolvane keeps them in your own folder " +
                fallback +
                " instead, where a recording cut short is found at the next start. To have them in " + own +
                "Solvane/ again, ask an administrator to remove " + own + ".\" -> OK (unscripted)",
            s.DialogLog()[0]);

  // The take goes into the operator's own folder, which no other account could make first; a crash
  // leaves it there, and the next start takes it back, also once the other account's folder is gone.
  const std::string take = s.RecordTake(1000);
  EXPECT_EQ(fallback + "Untitled.wav", s.Sync().file);
  for (const std::string& level : {s.state, s.state + "Solvane/", fallback}) {
    struct stat st {};
    ASSERT_EQ(0, ::stat(level.c_str(), &st)) << level;
    EXPECT_EQ(op, st.st_uid) << level;
    EXPECT_EQ(0700u, st.st_mode & 07777) << level;
  }
  EXPECT_EQ("", Listing(own)) << "something was made in the other account's folder";
  // Emptied at every Eject as the usual one is, it takes no save.
  s.Key("F9");
  EXPECT_EQ(fallback + "Untitled.wav", s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "refused").file);
  EXPECT_TRUE(Logged(s.DialogLog(), "message Warning [OK] \"Solvane's temporary folder " + fallback +
                                        " is emptied at every Eject"))
      << ::testing::PrintToString(s.DialogLog());
  s.Kill();
  RemoveAll(own);
  s.Answers({"Yes"});  // the recovered take is ejected unsaved
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(fallback + "Untitled.wav", s.Sync().file);
  EXPECT_TRUE(Logged(s.DialogLog(), "message Warning [OK] \"Untitled.wav\\r\\n\\r\\nA Solvane temporary"))
      << ::testing::PrintToString(s.DialogLog());
  EXPECT_TRUE(Studio::Read(fallback + "Untitled.wav") == take);

  // Once that take is dealt with, the folder on /var/tmp is the operator's again.
  s.Key("F7");
  ASSERT_EQ("empty", s.Sync().deck);
  s.CloseWindow();
  EXPECT_EQ(0, s.WaitExit());
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  EXPECT_EQ(own + "Solvane/Untitled.wav", s.Sync().file);
  const std::vector<std::string> log = s.DialogLog();
  EXPECT_EQ(1, std::count_if(log.begin(), log.end(), [](const std::string& l) {
              return l.find("The temporary folder") != std::string::npos;
            })) << ::testing::PrintToString(log);
}

// ---- a take the deck holds is never lost to a clean-up ----------------------------------------

namespace {

// The take-back messages of a take removed once it was stopped, as the dialog log has them.
size_t TakenBack(const Studio& s) {
  const std::string start = "message Error [OK] \"The file of this recording, " + s.deckTemp +
                            "Untitled.wav, was removed from the temporary folder after it was recorded (a clean-up "
                            "of temporary files, perhaps).\\r\\n\\r\\nSolvane has written the whole take out again";
  const std::vector<std::string> log = s.DialogLog();
  return size_t(std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; }));
}

// The saved take: whole, and each part the input from its start (a take into a stopped one
// begins the input afresh).
void ExpectSavedWhole(const std::string& path, std::vector<size_t> parts) {
  const WavFile w = ReadWav(path);
  ASSERT_TRUE(w.ok) << path;
  const std::string data = w.Data();
  size_t at = 0;
  for (size_t bytes : parts) {
    EXPECT_TRUE(IsPattern(data.substr(at, bytes), PcmFormat(32000, 1, 16))) << path << " from byte " << at;
    at += bytes;
  }
  EXPECT_EQ(at, data.size()) << path;
}

// Save answered with path, then Eject: the take saved whole, and the deck empty.
void SaveWholeAndEject(Studio& s, const std::string& path, const std::vector<size_t>& parts) {
  auto rested = [&] { return s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "at rest"); };
  s.Key("F9");
  ASSERT_EQ(path, rested().file) << ::testing::PrintToString(s.DialogLog());
  ExpectSavedWhole(path, parts);
  s.Key("F7");
  ASSERT_EQ("empty", rested().deck);
}

}  // namespace

TEST(TempFolder, ATakeWhoseFolderIsRemovedOnceStoppedPausedOrPlayingIsWrittenOutAgainForSavePlayRecordAndEject) {
  Studio s;
  AsOperator(s);
  const std::string save = s.dir.Path("save/");
  ASSERT_TRUE(plat::ForceDirectories(save));
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.Answers({"OK", "file " + save + "Stopped.wav", "OK", "OK", "No", "OK", "file " + save + "Played.wav", "OK", "OK",
             "file " + save + "Paused.wav", "Yes"});
  ASSERT_TRUE(s.Start());
  auto rested = [&] { return s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "at rest"); };

  // Stopped, then Save: told once, and the take saved whole.
  s.RecordTake(1000);
  RemoveAll(s.deckTemp);
  SaveWholeAndEject(s, save + "Stopped.wav", {kMonoBytesPerSecond});
  EXPECT_EQ(1u, TakenBack(s));

  // Stopped, then Play; removed again, Record more; removed again, Eject answered No, then Save.
  s.RecordTake(1000);
  RemoveAll(s.deckTemp);
  s.Key("Home");
  s.Key("F3");
  EXPECT_EQ("playing", rested().deck);
  EXPECT_EQ(2u, TakenBack(s));
  EXPECT_EQ(0600u, ModeOf(s.deckTemp + "Untitled.wav")) << "written out for others to read";
  s.Run(1200);
  ASSERT_EQ("stopped", rested().deck);
  RemoveAll(s.deckTemp);
  s.Key("F5");
  s.Run(500);
  s.Key("F4");
  ASSERT_EQ("stopped", rested().deck);
  EXPECT_EQ(3u, TakenBack(s));
  RemoveAll(s.deckTemp);
  s.Key("F7");
  ASSERT_EQ("stopped", rested().deck);
  EXPECT_EQ(4u, TakenBack(s));
  SaveWholeAndEject(s, save + "Played.wav", {kMonoBytesPerSecond, kMonoBytesPerSecond / 2});

  // Removed while its playback is paused, then Stop; removed during playback, which runs to its end.
  s.RecordTake(1000);
  s.Key("Home");
  s.Key("F3");
  s.Run(300);
  s.Key("F2");
  ASSERT_EQ("paused", rested().deck);
  RemoveAll(s.deckTemp);
  s.Key("F4");
  ASSERT_EQ("stopped", rested().deck);
  EXPECT_EQ(5u, TakenBack(s));
  s.Key("F3");
  s.Run(200);
  RemoveAll(s.deckTemp);
  s.Run(1000);
  ASSERT_EQ("stopped", rested().deck);
  EXPECT_EQ(6u, TakenBack(s));
  SaveWholeAndEject(s, save + "Paused.wav", {kMonoBytesPerSecond});

  // Ejected unsaved: the deck lets it go, with nothing written out or told.
  s.RecordTake(300);
  RemoveAll(s.deckTemp);
  s.Key("F7");
  ASSERT_EQ("empty", rested().deck);
  EXPECT_EQ(6u, TakenBack(s));
  EXPECT_FALSE(plat::PathTaken(s.deckTemp + "Untitled.wav"));
  EXPECT_EQ(11u, s.DialogLog().size()) << ::testing::PrintToString(s.DialogLog());
}

TEST(TempFolder, ATakeWhoseFolderCannotBeMadeAgainIsRescuedIntoTheAccountsOwnFolderSavedWholeAndTakenBackAfterAKill) {
  Studio s;
  const bool other = AsOperator(s);
  const std::string save = s.dir.Path("save/"), rescued = s.state + "Solvane/Rescued/";
  const std::string blocked = plat::ExcludeTrailingPathDelimiter(s.deckTemp);
  ASSERT_TRUE(plat::ForceDirectories(save));
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  const std::string cart = s.dir.Path("News.wav");
  ASSERT_TRUE(Studio::Write(cart, MakeWav(PcmFormat(32000, 1, 16), std::string(kMonoBytesPerSecond, '\x21'))));
  ASSERT_EQ(0, ::chmod(cart.c_str(), 0640));
  s.Answers({"OK", "file " + save + "File.wav", "file " + cart, "OK", "file " + save + "Edit.wav", "OK"});
  ASSERT_TRUE(s.Start());
  auto rested = [&] { return s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "at rest"); };
  // The rescue is told once, with why the take could not go back and where it went.
  auto told = [&](const std::string& why, const std::string& name = "Untitled.wav",
                  const std::string& was = "Untitled.wav") {
    const std::string start = "message Error [OK] \"The file of this recording, " + s.deckTemp + was +
                              ", was removed from the temporary folder while it was being recorded (a "
                              "clean-up of temporary files, perhaps).\\r\\n\\r\\nIt could not go back into the "
                              "temporary folder: ";
    const std::string where = ". Solvane has written the whole take out to\\r\\n\\r\\n" + rescued + name + "\\r\\n";
    const std::vector<std::string> log = s.DialogLog();
    return std::count_if(log.begin(), log.end(), [&](const std::string& l) {
             return l.rfind(start, 0) == 0 && l.find(why, start.size()) != std::string::npos &&
                    l.find(where, start.size()) != std::string::npos;
           }) == 1;
  };
  auto takeCutOff = [&](const std::function<void()>& block) {
    s.Key("Ctrl+S");
    s.Key("F5");
    s.Run(1000);
    RemoveAll(s.deckTemp);
    block();
    s.Run(1000);
    s.Key("F4");
    ASSERT_EQ("stopped", rested().deck);
  };

  // A file put at the folder's name: Stop rescues the take, and Save takes it from there.
  takeCutOff([&] { ASSERT_TRUE(Studio::Write(blocked, "not a folder")); });
  EXPECT_TRUE(told("")) << ::testing::PrintToString(s.DialogLog());
  EXPECT_EQ(0700u, ModeOf(rescued));
  EXPECT_EQ(0600u, ModeOf(rescued + "Untitled.wav"));
  SaveWholeAndEject(s, save + "File.wav", {2 * kMonoBytesPerSecond});
  const mode_t mask = ::umask(022);
  ::umask(mask);
  EXPECT_EQ((0666u & ~mask) | 0600u, ModeOf(save + "File.wav")) << "saved as a new file there";
  EXPECT_EQ("not a folder", Studio::Read(blocked));
  EXPECT_EQ("", Listing(rescued));

  // A copy to edit, rescued, is still one: saved with the mode of the cart it edits.
  ASSERT_EQ(0, ::unlink(blocked.c_str()));
  s.Key("Ctrl+E");
  ASSERT_EQ(s.deckTemp + "News.WAV", rested().file);
  s.Key("F3");
  s.Key("F5");
  s.Run(500);
  RemoveAll(s.deckTemp);
  ASSERT_TRUE(Studio::Write(blocked, "not a folder"));
  s.Run(500);
  s.Key("F4");
  ASSERT_EQ(rescued + "News.WAV", rested().file);
  EXPECT_TRUE(told("", "News.WAV", "News.WAV")) << ::testing::PrintToString(s.DialogLog());
  s.Key("F9");
  ASSERT_EQ(save + "Edit.wav", rested().file) << ::testing::PrintToString(s.DialogLog());
  EXPECT_EQ(0640u, ModeOf(save + "Edit.wav")) << "saved as a new file, not as the cart it edits";
  s.Key("F7");
  ASSERT_EQ("empty", rested().deck);

  // No right to make it: rescued, recorded into where it is, then the deck killed.
  ASSERT_EQ(0, ::unlink(blocked.c_str()));
  takeCutOff([&] { ASSERT_EQ(0, ::chmod(s.temp.c_str(), 0555)); });
  EXPECT_TRUE(told("the folder could not be made again (Permission denied)"))
      << ::testing::PrintToString(s.DialogLog());
  s.Key("F5");
  s.Run(500);
  s.Key("F4");
  ASSERT_EQ("stopped", rested().deck);
  s.Kill();
  ASSERT_EQ(0, ::chmod(s.temp.c_str(), 0755));
  EXPECT_EQ("Untitled.wav ", Listing(rescued));

  // The next start takes it back as a take left behind, and Eject removes it once it is saved.
  s.Answers({"OK", "file " + save + "Rights.wav", "OK", "file " + save + "Link.wav"});
  ASSERT_TRUE(s.Start());
  ASSERT_EQ(rescued + "Untitled.wav", rested().file) << ::testing::PrintToString(s.DialogLog());
  EXPECT_TRUE(Logged(s.DialogLog(), "message Warning [OK] \"" + rescued + "Untitled.wav\\r\\n"));
  SaveWholeAndEject(s, save + "Rights.wav", {2 * kMonoBytesPerSecond, kMonoBytesPerSecond / 2});
  EXPECT_EQ("", Listing(rescued));

  // Another account's link put at the folder's name leads the take nowhere but to the rescue,
  // beside what stands there under the take's name.
  if (!other) return;
  const std::string victim = s.dir.Path("victim/");
  ASSERT_TRUE(plat::ForceDirectories(victim) && Studio::Write(victim + "Jingle.wav", "precious"));
  ASSERT_TRUE(Studio::Write(rescued + "Untitled.wav", "earlier"));
  takeCutOff([&] {
    ASSERT_EQ(0, ::symlink(victim.c_str(), blocked.c_str()));
    ASSERT_EQ(0, ::lchown(blocked.c_str(), kNobody, kNobody));
  });
  EXPECT_TRUE(told("belongs to another account (nobody)", "Untitled (2).wav"))
      << ::testing::PrintToString(s.DialogLog());
  SaveWholeAndEject(s, save + "Link.wav", {2 * kMonoBytesPerSecond});
  EXPECT_EQ("Jingle.wav ", Listing(victim));
  EXPECT_EQ("precious", Studio::Read(victim + "Jingle.wav"));
  EXPECT_EQ("earlier", Studio::Read(rescued + "Untitled.wav"));
}

TEST(TempFolder, EveryFileTheDeckMakesThereIsTheOperatorsAloneAndASavedTakeIsAsAnyNewFileWhateverTheUmask) {
  for (const mode_t mask : {mode_t(022), mode_t(0), mode_t(0277)}) {
    SCOPED_TRACE("umask " + std::to_string(mask));
    // Saves and copies wait (half a second to settle, a second before a copy): under the usual umask.
    const bool all = mask == 022;
    Studio s;
    AsOperator(s);
    s.Umask(mask);
    s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
    const std::string save = s.dir.Path("save/"), cart = s.dir.Path("News.wav");
    ASSERT_TRUE(plat::ForceDirectories(save));
    // A titled cart of a shared folder, its group's to write.
    std::string wav = MakeWav(PcmFormat(32000, 1, 16), std::string(32000, '\x21'));
    wav += "LIST" + LE32(4 + 8 + 6) + "INFO" + "INAM" + LE32(6) + std::string("News\0\0", 6);
    ASSERT_TRUE(Studio::Write(cart, wav.replace(4, 4, LE32(uint32_t(wav.size() - 8)))));
    ASSERT_EQ(0, ::chmod(cart.c_str(), 0664));
    s.Answers({"file " + save + "Take.wav", "file " + cart, "file " + save + "Edit.wav"});
    ASSERT_TRUE(s.Start());

    s.Key("Ctrl+S");
    const std::string take = s.deckTemp + "Untitled.wav";
    ASSERT_EQ(take, s.Sync().file);
    EXPECT_EQ(0600u, ModeOf(take)) << "a blank cart";
    s.Key("F5");
    s.Run(300);
    EXPECT_EQ(0600u, ModeOf(take)) << "a take";
    ASSERT_EQ(0, ::unlink(take.c_str()));
    s.Run(300);
    s.Key("F4");
    ASSERT_EQ("stopped", s.Sync().deck);
    EXPECT_EQ(0600u, ModeOf(take)) << "a take written out again";
    if (!all) continue;
    s.Key("F9");
    ASSERT_EQ(save + "Take.wav", s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "saved").file);
    EXPECT_EQ(0644u, ModeOf(save + "Take.wav")) << "a saved take, as a new file there";
    s.Key("F7");
    ASSERT_EQ("empty", s.Sync().deck);

    s.Key("Ctrl+E");
    const std::string copy = s.deckTemp + "News.WAV";
    ASSERT_EQ(copy, s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "copied").file);
    EXPECT_EQ(0600u, ModeOf(copy)) << "a copy to edit";
    s.Key("F3");
    s.Key("F5");
    s.Run(300);
    ASSERT_EQ("recording", s.Sync().deck);
    EXPECT_EQ(0600u, ModeOf(s.deckTemp + "Recording.tail")) << "the title kept aside";
    s.Key("F4");
    s.Key("F9");
    ASSERT_EQ(save + "Edit.wav", s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "saved").file);
    EXPECT_EQ(0664u, ModeOf(save + "Edit.wav")) << "an edited cart, as the cart was";
    EXPECT_EQ(0664u, ModeOf(cart));
  }
}

TEST(TempFolder, TwoDecksOfOneAccountRescueTheirTakesSideBySideAndAStartMeanwhileOffersNeither) {
  // Two decks of the operator's, each with a temporary folder of its own, one state folder.
  Studio a, b;
  AsOperator(a);
  AsOperator(b);
  b.environment["XDG_STATE_HOME"] = a.state;
  const std::string rescued = a.state + "Solvane/Rescued/";
  for (Studio* s : {&a, &b}) s->Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  a.Answers({"OK", "OK", "file " + a.dir.Path("Saved.wav")});
  b.Answers({"OK", "file " + b.dir.Path("Saved.wav")});
  auto rested = [](Studio& s) { return s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "at rest"); };
  // The take's folder gives way to a file mid-take.
  auto takeCutOff = [&](Studio& s) {
    s.Key("Ctrl+S");
    s.Key("F5");
    s.Run(1000);
    RemoveAll(s.deckTemp);
    ASSERT_TRUE(Studio::Write(plat::ExcludeTrailingPathDelimiter(s.deckTemp), "not a folder"));
    s.Run(500);
    s.Key("F4");
  };

  // A's take is rescued, A is killed, and its next start takes the take back from there.
  ASSERT_TRUE(a.Start());
  takeCutOff(a);
  ASSERT_EQ(rescued + "Untitled.wav", rested(a).file) << ::testing::PrintToString(a.DialogLog());
  a.Kill();
  ASSERT_EQ(0, ::unlink(plat::ExcludeTrailingPathDelimiter(a.deckTemp).c_str()));
  ASSERT_TRUE(a.Start());
  ASSERT_EQ(rescued + "Untitled.wav", rested(a).file) << ::testing::PrintToString(a.DialogLog());
  // B's take is rescued beside it meanwhile.
  ASSERT_TRUE(b.Start());
  takeCutOff(b);
  EXPECT_EQ(rescued + "Untitled (2).wav", rested(b).file) << ::testing::PrintToString(b.DialogLog());

  // A third start of the account's offers neither live take.
  Studio c;
  AsOperator(c);
  c.environment["XDG_STATE_HOME"] = a.state;
  c.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  ASSERT_TRUE(c.Start());
  EXPECT_EQ("empty", c.Sync().deck);
  EXPECT_TRUE(c.DialogLog().empty()) << ::testing::PrintToString(c.DialogLog());
  c.CloseWindow();
  EXPECT_EQ(0, c.WaitExit());

  SaveWholeAndEject(a, a.dir.Path("Saved.wav"), {3 * kMonoBytesPerSecond / 2});
  SaveWholeAndEject(b, b.dir.Path("Saved.wav"), {3 * kMonoBytesPerSecond / 2});
  EXPECT_EQ("", Listing(rescued));
}

TEST(TempFolder, ATakeNeitherItsFolderNorTheAccountsOwnCanTakeIsRescuedIntoAFolderMadeForItAloneAndGoesWithIt) {
  Studio s;
  AsOperator(s);
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.Answers({"OK", "OK", "file " + s.dir.Path("Saved.wav")});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  s.Key("F5");
  s.Run(1000);
  // A file where the temporary folder was, and one where the state folder is to be.
  RemoveAll(s.deckTemp);
  ASSERT_TRUE(Studio::Write(plat::ExcludeTrailingPathDelimiter(s.deckTemp), "not a folder"));
  ASSERT_TRUE(Studio::Write(plat::ExcludeTrailingPathDelimiter(s.state), "not a folder"));
  s.Run(500);
  s.Key("F4");
  const std::string take = s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "rescued").file;
  const std::string folder = plat::ExtractFilePath(take);
  ASSERT_EQ(s.temp, plat::ExtractFilePath(plat::ExcludeTrailingPathDelimiter(folder)))
      << ::testing::PrintToString(s.DialogLog());
  EXPECT_EQ("Solvane-rescued-", plat::ExtractFileName(plat::ExcludeTrailingPathDelimiter(folder)).substr(0, 16));
  EXPECT_EQ("Untitled.wav", plat::ExtractFileName(take));
  EXPECT_EQ(0700u, ModeOf(folder));
  EXPECT_EQ(0600u, ModeOf(take));
  ASSERT_EQ(1u, s.DialogLog().size());
  const std::string told = s.DialogLog()[0];
  EXPECT_TRUE(Logged({told}, "message Error [OK] \"The file of this recording, " + s.deckTemp +
                                 "Untitled.wav, was removed from the temporary folder while it was being recorded (a "
                                 "clean-up of temporary files, perhaps).\\r\\n\\r\\nIt could not go back into the "
                                 "temporary folder: "))
      << told;
  EXPECT_NE(std::string::npos,
            told.find("; nor into your own folder " + s.state +
                      "Solvane/Rescued/: the folder could not be made (Not a directory). Solvane has written the whole "
                      "take out to\\r\\n\\r\\n" + take + "\\r\\n\\r\\nin a folder made for it alone"))
      << told;

  // Removed from there too, it is written out there again, told as what it is.
  RemoveAll(folder);
  SaveWholeAndEject(s, s.dir.Path("Saved.wav"), {3 * kMonoBytesPerSecond / 2});
  EXPECT_TRUE(Logged(s.DialogLog(), "message Error [OK] \"The file of this recording, " + take +
                                        ", was removed from the folder it had been rescued to after it was "
                                        "recorded.\\r\\n\\r\\nSolvane has written the whole take out again"))
      << ::testing::PrintToString(s.DialogLog());
  EXPECT_EQ("Solvane ", Listing(s.temp)) << "the folder made for the take stays behind it";
}

TEST(TempFolder, ATakeWhoseFolderIsRemovedWhileItsSaveMovesItIsWrittenOutAgainAndSavedWhole) {
  Studio s;
  AsOperator(s);
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.Answers({"file " + s.dir.Path("Saved.wav"), "OK"});
  const Gate gate(s, "Saved.wav");
  ASSERT_TRUE(s.Start());
  s.RecordTake(1000);
  // The save has the take's name and is about to move it: the folder goes.
  s.Key("F9");
  ASSERT_TRUE(gate.Held());
  RemoveAll(s.deckTemp);
  gate.Release();
  EXPECT_EQ(s.dir.Path("Saved.wav"), s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "saved").file);
  ExpectSavedWhole(s.dir.Path("Saved.wav"), {kMonoBytesPerSecond});
  EXPECT_EQ(1u, TakenBack(s)) << ::testing::PrintToString(s.DialogLog());
  EXPECT_EQ(2u, s.DialogLog().size()) << ::testing::PrintToString(s.DialogLog());
}
