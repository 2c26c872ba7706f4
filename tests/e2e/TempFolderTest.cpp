// The temporary folder is the deck's own: a second deck never touches a live take, no link in it
// is followed, a folder others may write to is refused, nothing is saved into it, and a file-size
// limit ends a take instead of the program.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "Studio.h"
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
  const pid_t second = s.Spawn();
  ASSERT_GT(second, 0);
  EXPECT_EQ(1, Studio::WaitExit(second)) << s.Output();
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
  ASSERT_EQ(0, ::chmod(s.deckTemp.c_str(), 0700));
  ASSERT_EQ(0, ::chown(s.deckTemp.c_str(), 65534, 65534));  // nobody's
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(1, s.WaitExit()) << s.Output();
  EXPECT_EQ(2u, s.DialogLog().size());
  EXPECT_TRUE(Logged({s.DialogLog().back()}, "message Error [OK] \"The temporary folder " + s.deckTemp +
                                                 " belongs to another account (nobody), so Solvane cannot keep its "
                                                 "recordings there.\\r\\n\\r\\nSet TMPDIR to a folder of your "
                                                 "own, or ask an administrator"))
      << ::testing::PrintToString(s.DialogLog());
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
