// Save folders and users folders shared between decks: a save never replaces a take nobody chose
// to replace, hidden copies of saves that were killed go while another deck's stays, and a folder
// whose file system refuses no-replace renames and hard links still takes the library, users and
// copies. The program runs with tests/e2e/shim preloaded, which can hold a save at the moment it
// gives the take its name and can refuse those calls, and names FAT cannot hold, as a FUSE FAT
// driver does.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "Gate.h"
#include "Studio.h"
#include "common/scoped_env.h"
#include "platform/system/files.h"

namespace {

const char* const kSaveCopy = ".solvane-save-";

void Await(Studio& s, const std::string& modal) {
  s.SyncUntil([&](const DeckView& d) { return d.modal == modal; }, modal + " in front");
}

std::string NameTaken(const std::string& chosen, const std::string& saved) {
  return "message Information [OK] \"A file that nobody chose to replace holds the name\\r\\n" + chosen +
         "\\r\\nso it was left as it is, and this take was saved under a different name.\\r\\n\\r\\nThe saved name "
         "is: " +
         saved + "\\r\\n\\r\\nPlease make a note of this.\" -> OK";
}

// The hidden copies of saves in folder.
std::vector<std::string> SaveCopies(const std::string& folder) {
  return plat::ListFiles(folder, std::string(kSaveCopy) + "*");
}

}  // namespace

// Decks A and B save a new take each under one new name. B's dialog found the name free, and its
// move waits at the name while A saves there: B's take goes to a free "Copy (n) of" name.
TEST(SharedFolder, TwoDecksSavingOneNewNameKeepBothTakes) {
  Studio a, b;
  const std::string dest = a.dir.Path("shared/");
  ASSERT_TRUE(plat::ForceDirectories(dest));
  for (Studio* s : {&a, &b}) s->Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  a.Answers({"file " + dest + "News.wav"});
  b.Answers({"file " + dest + "News.wav", "OK"});
  Gate gate(b, "News.wav");
  ASSERT_TRUE(a.Start());
  ASSERT_TRUE(b.Start());
  const std::string takeA = a.RecordTake(1000), takeB = b.RecordTake(1500);
  ASSERT_NE(takeA, takeB);

  b.Key("F9");
  ASSERT_TRUE(gate.Held());
  a.Key("F9");
  EXPECT_EQ(dest + "News.wav", a.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "A saved").file);
  gate.Release();
  const DeckView v = b.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "B saved");

  const std::string copy = dest + "Copy (1) of News.wav";
  EXPECT_EQ(copy, v.file);
  EXPECT_TRUE(Studio::Read(dest + "News.wav") == takeA) << "A's take was replaced";
  EXPECT_TRUE(Studio::Read(copy) == takeB);
  EXPECT_EQ((std::vector<std::string>{"file save \"Solvane Save Wave File\" -> " + dest + "News.wav",
                                      NameTaken(dest + "News.wav", copy)}),
            b.DialogLog());
  EXPECT_EQ(std::vector<std::string>{"file save \"Solvane Save Wave File\" -> " + dest + "News.wav"}, a.DialogLog());
  EXPECT_TRUE(plat::ListFiles(b.deckTemp, "*.wav").empty()) << "B's take stayed behind";
}

// The operator agreed to replace yesterday's file; another workstation writes a new one at the
// name while the take moves: the new file is not what was agreed to, so it stays.
TEST(SharedFolder, AFileWrittenAtTheNameDuringTheSaveIsKept) {
  Studio s;
  const std::string dest = s.dir.Path("shared/"), name = dest + "News.wav";
  ASSERT_TRUE(plat::ForceDirectories(dest));
  ASSERT_TRUE(Studio::Write(name, "yesterday's news"));
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.Answers({"file " + name, "Yes", "OK"});
  Gate gate(s, "News.wav");
  ASSERT_TRUE(s.Start());
  const std::string take = s.RecordTake(1000);

  s.Key("F9");
  ASSERT_TRUE(gate.Held());
  ASSERT_TRUE(plat::DeleteFile(name));
  ASSERT_TRUE(Studio::Write(name, "written during the save"));
  gate.Release();
  const DeckView v = s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "saved");

  const std::string copy = dest + "Copy (1) of News.wav";
  EXPECT_EQ(copy, v.file);
  EXPECT_EQ("written during the save", Studio::Read(name));
  EXPECT_TRUE(Studio::Read(copy) == take);
  EXPECT_EQ((std::vector<std::string>{
                "message Warning [Yes,No] \"" + name + " already exists.\\r\\nDo you want to replace it?\" -> Yes",
                "file save \"Solvane Save Wave File\" -> " + name, NameTaken(name, copy)}),
            s.DialogLog());
  EXPECT_TRUE(SaveCopies(dest).empty() && plat::ListFiles(dest, ".*").empty()) << "something was left aside";
}

// A save killed as its copy was about to take its name leaves the hidden copy; a later save into
// the folder removes it, but not the copy another deck is still writing (it holds its lock).
TEST(SharedFolder, AKilledSavesHiddenCopyGoesAndAnotherDecksStays) {
  Studio s;
  const std::string dest = s.dir.Path("shared/"), library = s.dir.Path("library/");
  ASSERT_TRUE(plat::ForceDirectories(dest));
  ASSERT_TRUE(plat::ForceDirectories(library));
  const std::string source = library + "Promo.wav";
  ASSERT_TRUE(Studio::Write(source, MakeWav(PcmFormat(32000, 1, 16), std::string(64000, '\x11'))));
  const std::string original = Studio::Read(source);
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  const std::vector<std::string> answers = {"file " + source, "file " + dest + "News.wav"};
  s.Answers(answers);
  {
    Gate gate(s, "News.wav");
    ASSERT_TRUE(s.Start());
    s.Key("Ctrl+A");
    ASSERT_EQ(source, s.Sync().file);
    s.Key("F9");  // an opened take is copied, through a hidden copy in the folder
    ASSERT_TRUE(gate.Held());
    s.Kill();
  }
  const std::vector<std::string> killed = SaveCopies(dest);
  ASSERT_EQ(1u, killed.size());
  EXPECT_TRUE(Studio::Read(dest + killed[0]) == original) << "the copy was whole, only its name was missing";
  // Killed an hour ago; another deck's copy in progress, written as long ago, holds its lock.
  const timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dest + killed[0]).c_str(), hourAgo, 0), 0);
  plat::FolderHandle folder(dest);
  std::string live;
  const int liveFd = plat::CreateLockedFileAt(folder.Fd(), kSaveCopy, live);
  ASSERT_GE(liveFd, 0);
  ASSERT_EQ(::futimens(liveFd, hourAgo), 0);

  s.environment["LD_PRELOAD"] = "";
  s.Answers(answers);
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+A");
  ASSERT_EQ(source, s.Sync().file);
  s.Key("F9");
  EXPECT_EQ(dest + "News.wav", s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "saved").file);
  EXPECT_TRUE(Studio::Read(dest + "News.wav") == original);
  EXPECT_EQ(std::vector<std::string>{live}, SaveCopies(dest)) << "the killed copy stayed, or the live one went";
  ::close(liveFd);
}

// FAT, many FUSE file systems and some network shares refuse no-replace renames and hard links:
// there the library is created, a user added and a retried save's copy made all the same, each
// by an exclusive create of its name, and nothing is left beside the names.
TEST(SharedFolder, AFolderThatRefusesNoReplaceRenamesAndLinksHoldsTheLibraryUsersAndCopies) {
  Studio s;
  s.environment["LD_PRELOAD"] = SOLVANE_FS_SHIM;
  s.environment["SOLVANE_FS_REFUSE_LINKS"] = "1";
  const std::string dest = s.dir.Path("shared/"), library = s.dir.Path("library/");
  ASSERT_TRUE(plat::ForceDirectories(library));
  // The chosen name cannot be written (a folder holds a folder of the take's name): the retry
  // takes "Copy (1) of Out.wav".
  ASSERT_TRUE(plat::ForceDirectories(dest + "Out.wav/Promo.wav"));
  const std::string source = library + "Promo.wav";
  ASSERT_TRUE(Studio::Write(source, MakeWav(PcmFormat(32000, 1, 16), std::string(64000, '\x22'))));
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[Template 0]", "Name=News", "Lockout=2"});
  s.Answers({"OK", "file " + source, "file " + dest + "Out.wav", "Yes", "OK"});
  ASSERT_TRUE(s.Start());

  s.Key("Ctrl+D");
  Await(s, "TForm14");
  EXPECT_NE(std::string::npos, Studio::Read(s.home + "Default.svu").find("Name=News"));
  s.Key("Alt+A");
  Await(s, "TForm15");
  for (const char* field : {"Robert", "bob", "pw", "pw"}) {
    s.Type(field);
    s.Key("Tab");
  }
  s.Key("Return");
  Await(s, "TForm14");
  s.Key("Alt+C");
  Await(s, "-");
  EXPECT_NE(std::string::npos, Studio::Read(s.home + "bob.svu").find("PASSWORD=pw"));

  s.Key("Ctrl+A");
  ASSERT_EQ(source, s.Sync().file);
  s.Key("F9");
  const std::string copy = dest + "Copy (1) of Out.wav";
  EXPECT_EQ(copy, s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "saved").file);
  EXPECT_TRUE(Studio::Read(copy) == Studio::Read(source));

  const std::vector<std::string> log = s.DialogLog();
  ASSERT_EQ(5u, log.size()) << ::testing::PrintToString(log);
  EXPECT_NE(std::string::npos, log[3].find("Attempt 1")) << log[3];
  EXPECT_NE(std::string::npos, log[4].find("The saved name is: " + copy)) << log[4];
  EXPECT_TRUE(plat::ListFiles(s.home, ".*").empty() && plat::ListFiles(dest, ".*").empty())
      << "a part was left beside a name";
}

// Such a folder, under a FUSE FAT driver, refuses a name with a character FAT cannot hold, or one
// longer than its names may be, with no more than "not permitted", and the take stays in the deck.
// A take moves into another file system through a hidden copy in the folder, which the folder
// takes: the operator hears that a name too long is too long, and that another name refused may
// hold a character the folder does not accept (the deck cannot know which character, nor be sure).
TEST(SharedFolder, AFolderThatRefusesANameSaysWhyAndTheTakeStays) {
  const Scratch shm = [] {
    const ScopedEnv there("TMPDIR", "/dev/shm");
    return Scratch();
  }();
  Studio s;
  struct stat a, b;
  if (::stat(s.dir.Root().c_str(), &a) != 0 || ::stat(shm.Root().c_str(), &b) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system beside the scratch folder";
  s.environment["TMPDIR"] = shm.Root();
  s.environment["LD_PRELOAD"] = SOLVANE_FS_SHIM;
  s.environment["SOLVANE_FS_REFUSE_LINKS"] = "1";
  const std::string dest = s.dir.Path("shared/");
  ASSERT_TRUE(plat::ForceDirectories(dest));
  const std::string colon = dest + "News at 9:00.wav", tooLong = dest + std::string(300, 'N') + ".wav";
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.Answers({"file " + colon, "OK", "file " + tooLong, "OK"});
  ASSERT_TRUE(s.Start());
  const std::string take = s.RecordTake(300);
  for (int save = 0; save < 2; ++save) {
    s.Key("F9");
    Await(s, "-");
  }
  const auto refused = [](const std::string& path, const std::string& why) {
    return "message Error [OK] \"File Copy Error!\\r\\n\\r\\n" + path + "\\r\\n" + why + "\" -> OK";
  };
  EXPECT_EQ((std::vector<std::string>{"file save \"Solvane Save Wave File\" -> " + colon,
                                      refused(colon, "That folder refused the name: it may hold a character the folder does not accept."),
                                      "file save \"Solvane Save Wave File\" -> " + tooLong,
                                      refused(tooLong, "The name is too long for that folder.")}),
            s.DialogLog());
  const DeckView v = s.Sync();
  EXPECT_EQ(shm.Path("Solvane/Untitled.wav"), v.file);
  EXPECT_TRUE(Studio::Read(v.file) == take);
  EXPECT_TRUE(plat::ListFiles(dest, "*").empty() && plat::ListFiles(dest, ".*").empty()) << "a copy was left";
}
