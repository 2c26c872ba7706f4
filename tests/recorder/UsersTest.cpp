#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "platform/system/clock.h"
#include "platform/system/files.h"
#include "platform/system/list_lock.h"
#include "platform/ui/inifiles.h"
#include "recorder/Login.h"
#include "recorder/Users.h"
#include "tests/common/scratch.h"
#include "tests/recorder/fake_user_deck.h"

namespace {

std::string Contents(const std::string& path) {
  std::string text;
  plat::ReadWholeFile(path, text);
  return text;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string Program(int n, const std::string& name, const std::string& lockout = "3") {
  return "[Template " + std::to_string(n) + "]\r\nName=" + name + "\r\nLength=00:30:00\r\nDescription=News " +
         std::to_string(n) +
         "\r\nFormat=44.100 kHz, 16 bit, Stereo, 172 kb/sec\r\nSave Path=/carts/\r\nLockout=" + lockout + "\r\n";
}

class UserFiles : public ::testing::Test {
protected:
  UserFiles() : deck(dir.Root() + "/") {}
  std::string Folder() const { return dir.Root() + "/"; }
  void Write(const std::string& name, const std::string& text) {
    ASSERT_TRUE(plat::WriteWholeFile(Folder() + name, text));
  }
  int Programs() const {
    int n = 0;
    while (n < ProgramRows && !deck.users.programList[size_t(n)][pfName].empty()) ++n;
    return n;
  }

  Scratch dir;
  FakeUserDeck deck;
};

}  // namespace

TEST(Users, RecordsSplitBackIntoTheirFields) {
  TProgramRow row{"Morning", "00:30:00", "Drive time", "32.000 kHz, 16 bit, Mono, 62 kb/sec", "/carts/", "3"};
  EXPECT_EQ(ProgramRecord(row), "Morning|00:30:00|Drive time|32.000 kHz, 16 bit, Mono, 62 kb/sec|/carts/|3");
  EXPECT_EQ(SplitProgramRecord(ProgramRecord(row)), row);

  // An empty description comes back as one blank; other empty fields stay empty.
  TProgramRow split = SplitProgramRecord("A|00:01:00||8.000 kHz, 8 bit, Mono, 7 kb/sec||0");
  EXPECT_EQ(split[pfDescription], " ");
  EXPECT_EQ(split[pfSavePath], "");
  EXPECT_EQ(split[pfLockout], "0");

  // The fields never hold a "|", so a format that is none of the texts, or none at all, leaves
  // every field in its place; a stray sixth "|" stays in the lockout and moves nothing else.
  for (const TProgramRow& odd : {TProgramRow{"B", "01:00:00", "news 8.000 kHz", "", "/mnt/b/", "12"},
                                 TProgramRow{"C", "", " sport ", "Stereo", "", "x"}})
    EXPECT_EQ(SplitProgramRecord(ProgramRecord(odd)), odd);
  EXPECT_EQ(SplitProgramRecord("D|00:01:00|d||/p/|3|x"), (TProgramRow{"D", "00:01:00", "d", "", "/p/", "3|x"}));

  EXPECT_EQ(LengthText(3000), "00:30:00");
  EXPECT_EQ(LengthText(10000), "01:00:00");
  EXPECT_EQ(LengthText(1234567), "123:45:67");  // more than two hour digits are kept
  int v = -1;
  EXPECT_TRUE(LengthDigits("00:30:00", v));
  EXPECT_EQ(v, 3000);
  EXPECT_FALSE(LengthDigits("", v));
  EXPECT_FALSE(LengthDigits("0a:30:00", v));
  EXPECT_FALSE(LengthDigits("-1:00:00", v));
}

TEST(Users, SortingRewritesTheKeyFirstAndComparesWithoutCase) {
  std::vector<std::string> lib = {
      "zeta|00:10:00|b|F|/x/|3",
      "Alpha|00:20:00|a|F|/y/|10",
      "beta|00:05:00|a|F|/x/|3",
  };
  SortProgramRecords(lib, pfName);
  EXPECT_EQ(RecordField(lib[0], pfName), "Alpha");
  EXPECT_EQ(RecordField(lib[1], pfName), "beta");
  EXPECT_EQ(RecordField(lib[2], pfName), "zeta");

  // Lockouts compare as text: 10 before 3; equal keys follow the rest of the rewritten line,
  // which starts with the name that changed places with the key.
  SortProgramRecords(lib, pfLockout);
  EXPECT_EQ(RecordField(lib[0], pfName), "Alpha");
  EXPECT_EQ(RecordField(lib[1], pfName), "beta");
  EXPECT_EQ(RecordField(lib[2], pfName), "zeta");

  SortProgramRecords(lib, pfLength);
  EXPECT_EQ(RecordField(lib[0], pfLength), "00:05:00");
  EXPECT_EQ(RecordField(lib[2], pfLength), "00:20:00");
}

TEST_F(UserFiles, ListsFindEveryUserOnceAndLeadBackToTheirFiles) {
  Write("default.svu", "");
  Write("zed.SVU", "");
  Write("amy.svu", "");
  Write("Bob.svu", "");
  Write("old.svu.svu", "");
  Write("notes.txt", "");
  ASSERT_TRUE(plat::ForceDirectories(Folder() + "folder.svu"));

  EXPECT_EQ(LoginUserList(Folder()), (std::vector<std::string>{"Default", "Bob", "amy", "old.svu", "zed"}));
  EXPECT_EQ(ManagerUserList(Folder()), (std::vector<std::string>{"Default", "amy", "Bob", "old.svu", "zed"}));
  // A listed name finds its file whatever the letter case of the name or the file.
  EXPECT_EQ(UserFilePath(Folder(), "ZED"), Folder() + "zed.SVU");
  EXPECT_EQ(UserFilePath(Folder(), "old.svu"), Folder() + "old.svu.svu");
  EXPECT_EQ(UserFilePath(Folder(), "Default"), Folder() + "default.svu");
  EXPECT_EQ(UserFilePath(Folder(), "new"), Folder() + "new.svu");
}

TEST_F(UserFiles, FirstLoadOfDefaultMakesTheLibraryFromTheSettings) {
  Write("Solvane.ini",
        "[GUI]\r\nShort Timers=0\r\n" + Program(0, "Morning") + "[Template 1]\r\nName=Evening\r\nSave path=/eve/\r\n");
  CountingGauge gauge;
  LoadINITemplates(deck, "Default", &gauge);

  const std::string lib = Contents(Folder() + "Default.svu");
  EXPECT_EQ(Count(lib, "[Template "), ProgramRows);
  EXPECT_EQ(Count(lib, "\r\n"), ProgramRows * 7);
  EXPECT_EQ(Count(lib, "Save path="), ProgramRows);
  EXPECT_NE(lib.find("[Template 0]\r\nName=Morning\r\nLength=00:30:00\r\nDescription=News 0\r\n"
                     "Format=44.100 kHz, 16 bit, Stereo, 172 kb/sec\r\nSave path=/carts/\r\n"
                     "Lockout=3\r\n"),
            std::string::npos);
  // Keys missing from the settings become empty keys; the lockout is completed on loading.
  EXPECT_NE(lib.find("[Template 1]\r\nName=Evening\r\nLength=\r\nDescription=\r\nFormat=\r\n"
                     "Save path=/eve/\r\nLockout=0\r\n[Template 2]\r\nName=\r\n"),
            std::string::npos);
  EXPECT_TRUE(plat::ListFiles(Folder(), ".*").empty()) << "the library's part was left behind";

  EXPECT_EQ(Programs(), 2);
  EXPECT_EQ(deck.users.programList[1][pfSavePath], "/eve/");
  EXPECT_EQ(deck.users.programList[1][pfLockout], "0");
  EXPECT_EQ(deck.statuses,
            (std::vector<std::string>{"Creating Default User...", "Loading Program List... Please wait."}));
  EXPECT_EQ(deck.messagePumps, ProgramRows);
  EXPECT_EQ(gauge.steps, ProgramRows + 3);  // every created row, then the rows read up to the end
  EXPECT_EQ(gauge.position, 0);             // reset at the end
  EXPECT_EQ(deck.users.currentUser, "Default");
  EXPECT_EQ(deck.captionUpdates, 1);

  // The library stands now: a second load reads it and writes nothing.
  const int64_t before = plat::FileAge(Folder() + "Default.svu");
  ASSERT_TRUE(plat::SetFileAge(Folder() + "Default.svu", before - 100));
  LoadINITemplates(deck, "Default", nullptr);
  EXPECT_EQ(Contents(Folder() + "Default.svu"), lib);
  EXPECT_EQ(plat::FileAge(Folder() + "Default.svu"), before - 100);
}

TEST_F(UserFiles, ALibraryMadeMeanwhileByAnotherWorkstationStays) {
  Write("Solvane.ini", Program(0, "Ours"));
  const std::string theirs = Program(0, "Theirs");
  deck.onPump = [&] {
    if (deck.messagePumps == 100) Write("Default.svu", theirs);
  };
  LoadINITemplates(deck, "Default", nullptr);
  EXPECT_EQ(Contents(Folder() + "Default.svu"), theirs);
  EXPECT_EQ(deck.users.programList[0][pfName], "Theirs");
  EXPECT_TRUE(plat::ListFiles(Folder(), ".*").empty());
}

TEST_F(UserFiles, LoadingStopsAtTheFirstUnusedSectionAndClearsOlderRows) {
  Write("ann.svu", "[USER]\r\nPASSWORD=x\r\n" + Program(0, "One") + Program(1, "Two") + Program(3, "Four"));
  Write("bob.svu", "[Template 0]\r\nLength=00:01:00\r\n" + Program(1, "Hidden"));
  deck.users.currentUser = "ann";

  LoadINITemplates(deck, "ann", nullptr);
  EXPECT_EQ(Programs(), 2);
  EXPECT_EQ(deck.users.programList[3][pfName], "");                // behind the gap: not in the table
  EXPECT_EQ(ReadProgramRecords(Folder() + "ann.svu").size(), 3u);  // the manager sees all three

  LoadINITemplates(deck, "bob", nullptr);
  EXPECT_EQ(deck.users.currentUser, "bob");
  for (const TProgramRow& row : deck.users.programList) EXPECT_EQ(row, TProgramRow{});

  // A user without a file has no programs and gets no file.
  LoadINITemplates(deck, "carl", nullptr);
  EXPECT_EQ(Programs(), 0);
  EXPECT_FALSE(plat::FileExists(Folder() + "carl.svu"));
}

TEST_F(UserFiles, EmptyKeysAreCompletedInTheFileWhileLoading) {
  Write("ann.svu",
        "; kept\r\n[USER]\r\nFULL NAME=Ann\r\n[Template 0]\r\nName=One\r\n"
        "Description=\r\nLockout=\r\n");
  LoadINITemplates(deck, "ann", nullptr);
  EXPECT_EQ(deck.users.programList[0][pfLockout], "0");
  EXPECT_EQ(Contents(Folder() + "ann.svu"),
            "; kept\r\n[USER]\r\nFULL NAME=Ann\r\n[Template 0]\r\nName=One\r\nDescription=\r\n"
            "Lockout=0\r\nLength=\r\nFormat=\r\nSave Path=\r\n");

  // A user file nobody may write still gives its programs.
  Write("ro.svu", "[Template 0]\r\nName=Solo\r\n");
  ASSERT_TRUE(plat::SetReadOnly(Folder() + "ro.svu", true));
  EXPECT_NO_THROW(LoadINITemplates(deck, "ro", nullptr));
  EXPECT_EQ(deck.users.programList[0][pfName], "Solo");
  EXPECT_EQ(deck.users.programList[0][pfLockout], "0");
  EXPECT_EQ(Contents(Folder() + "ro.svu"), "[Template 0]\r\nName=Solo\r\n");
}

TEST_F(UserFiles, WritingAListFillsAll250SectionsAndKeepsTheUser) {
  Write("ann.svu", "[USER]\r\nFULL NAME=Ann\r\nPASSWORD=pw\r\n" + Program(7, "Stale"));
  std::vector<std::string> list = {
      "One|00:10:00|first|8.000 kHz, 8 bit, Mono, 7 kb/sec|/a/|1",
      "Two|00:20:00||8.000 kHz, 8 bit, Mono, 7 kb/sec||100",
  };
  ASSERT_TRUE(WriteProgramRecords(Folder() + "ann.svu", list));
  const std::string text = Contents(Folder() + "ann.svu");
  EXPECT_EQ(text.rfind("[USER]\r\nFULL NAME=Ann\r\nPASSWORD=pw\r\n", 0), 0u);
  EXPECT_EQ(Count(text, "[Template "), ProgramRows);
  EXPECT_EQ(Count(text, "Name=Stale"), 0);  // a program past the list is overwritten
  // The blank that stands for an empty description in lists is not written.
  EXPECT_NE(text.find("[Template 1]\r\nName=Two\r\nLength=00:20:00\r\nDescription=\r\n"), std::string::npos);
  EXPECT_NE(text.find("[Template 249]\r\nName=\r\nLength=\r\nDescription=\r\nFormat=\r\n"
                      "Save Path=\r\nLockout=\r\n"),
            std::string::npos);

  std::vector<std::string> back = ReadProgramRecords(Folder() + "ann.svu");
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0], list[0]);
  EXPECT_EQ(back[1], list[1]);

  // A list the file cannot hold is refused whole rather than cut.
  std::vector<std::string> tooMany(ProgramRows + 1, list[0]);
  EXPECT_FALSE(WriteProgramRecords(Folder() + "ann.svu", tooMany));
  EXPECT_EQ(Contents(Folder() + "ann.svu"), text);
}

// Two decks that read one library: each save brings in only that deck's own changes, into the
// library as the other left it.
TEST_F(UserFiles, DecksSavingOneLibraryKeepEachOthersPrograms) {
  const std::string lib = Folder() + "Default.svu";
  const auto program = [](const std::string& name, const std::string& description) {
    return name + "|00:10:00|" + description + "|x|/carts/|3";
  };
  // A program behind a gap, and one no reader takes, which stays in the file as it is.
  Write("Default.svu", "[USER]\r\nPASSWORD=lib\r\n" + Program(0, "Sports") + Program(2, "News") +
                           "[Template 3]\r\nName=../take\r\n");
  const std::vector<std::string> read = ReadProgramRecords(lib);
  ASSERT_EQ(read.size(), 2u);
  std::vector<std::string> a = read, b = read, saved;
  a.push_back(program("Weather", "A"));
  b.push_back(program("Traffic", "B"));
  ASSERT_EQ(SaveProgramList(lib, read, a, true, saved), TListSave::Saved);
  ASSERT_EQ(SaveProgramList(lib, read, b, true, saved), TListSave::Saved);
  std::vector<std::string> now = ReadProgramRecords(lib);
  EXPECT_EQ(saved, now);
  ASSERT_EQ(now.size(), 4u);
  // Sorted by name, as every save of the library is.
  EXPECT_EQ(now, (std::vector<std::string>{read[1], read[0], program("Traffic", "B"), program("Weather", "A")}));
  const std::string text = Contents(lib);
  EXPECT_EQ(text.rfind("[USER]\r\nPASSWORD=lib\r\n", 0), 0u);
  EXPECT_EQ(Count(text, "Name=../take\r\n"), 1);

  // One program edited on both decks: the later save wins, and the name stays once. A program one
  // deck removed and the other changed meanwhile keeps the change; one removed as it was read goes.
  const std::vector<std::string> second = now;  // News, Sports, Traffic, Weather
  a = b = second;
  a[0] = program("News", "A's");
  a[1] = program("sports", "A's");
  b[1] = program("Sports", "B's");
  b.erase(b.begin() + 3);
  b.erase(b.begin());
  ASSERT_EQ(SaveProgramList(lib, second, a, true, saved), TListSave::Saved);
  ASSERT_EQ(SaveProgramList(lib, second, b, true, saved), TListSave::Saved);
  EXPECT_EQ(ReadProgramRecords(lib), (std::vector<std::string>{program("News", "A's"), program("Sports", "B's"),
                                                               program("Traffic", "B")}));
  EXPECT_EQ(Count(Contents(lib), "Name=../take\r\n"), 1);

  // A library removed meanwhile is made again from what the deck shows.
  ASSERT_TRUE(plat::DeleteFile(lib));
  ASSERT_EQ(SaveProgramList(lib, read, a, true, saved), TListSave::Saved);
  EXPECT_EQ(ReadProgramRecords(lib).size(), a.size());
}

// A user's list: a program two decks assigned stays once, one assigned twice on purpose twice; a
// list the file could not hold with the other deck's programs is refused whole.
TEST_F(UserFiles, DecksSavingOneUsersListKeepEachOthersAssignments) {
  const std::string bob = Folder() + "bob.svu";
  Write("bob.svu", "[USER]\r\nPASSWORD=b\r\n" + Program(0, "Own"));
  const std::vector<std::string> read = ReadProgramRecords(bob);
  const std::string one = "One|00:10:00|x|x|/carts/|1", two = "Two|00:10:00|x|x|/carts/|1";
  std::vector<std::string> saved;
  ASSERT_EQ(SaveProgramList(bob, read, {read[0], one}, false, saved), TListSave::Saved);
  ASSERT_EQ(SaveProgramList(bob, read, {read[0], two, one, one}, false, saved), TListSave::Saved);
  EXPECT_EQ(ReadProgramRecords(bob), (std::vector<std::string>{one, one, read[0], two}));
  EXPECT_NE(Contents(bob).find("[USER]\r\nPASSWORD=b\r\n"), std::string::npos);

  const std::vector<std::string> full = ReadProgramRecords(bob);
  std::vector<std::string> more = full;
  for (int i = 0; more.size() < size_t(ProgramRows); ++i) more.push_back("P" + std::to_string(i) + "|00:10:00|x|x|/|1");
  ASSERT_EQ(SaveProgramList(bob, full, more, false, saved), TListSave::Saved);
  const std::string before = Contents(bob);
  EXPECT_EQ(SaveProgramList(bob, full, {full[0], full[1], full[2], full[3], "Extra|00:10:00|x|x|/|1"}, false, saved),
            TListSave::Full);
  EXPECT_EQ(saved.size(), size_t(ProgramRows) + 1);
  EXPECT_EQ(Contents(bob), before);

  // A user removed meanwhile is not made again.
  ASSERT_TRUE(plat::DeleteFile(bob));
  EXPECT_THROW(SaveProgramList(bob, read, {read[0], one}, false, saved), plat::EIniFileGone);
  EXPECT_FALSE(plat::PathTaken(bob));
}

// Writers of a list another deck may be saving wait for its lock: briefly held, the save follows it;
// held for more than a second, nothing is written and the operator is told.
TEST_F(UserFiles, ASaveOfASharedListWaitsForAnotherDecksSave) {
  const std::string bob = Folder() + "bob.svu", stored = "[USER]\r\nFULL NAME=Bob\r\nPASSWORD=b\r\n";
  Write("bob.svu", stored);
  const std::string one = "One|00:10:00|x|x|/carts/|1";
  std::vector<std::string> saved;
  {
    const plat::ListLock other(bob);
    ASSERT_EQ(other.Result(), plat::ListLock::Held);
    EXPECT_EQ(SaveProgramList(bob, {}, {one}, false, saved), TListSave::Busy);
    EXPECT_EQ(UserDialogOk(TUserDialogMode::Edit, {"Bob", "bob", "new", "new", "bob", std::make_pair(std::string("Bob"), std::string("b"))},
                           Folder(), {"Default", "bob"}, deck.Notifier(), deck.Asker()),
              TUserDialogField::UserName);
    EXPECT_EQ(deck.LastText(), "Nothing was saved: another deck has been saving " + bob +
                                   " for more than a second. Save again in a moment.");
    EXPECT_EQ(Contents(bob), stored);
  }
  auto other = std::make_unique<plat::ListLock>(bob);
  std::thread release([&] {
    plat::SleepMs(100);
    other.reset();
  });
  EXPECT_EQ(SaveProgramList(bob, {}, {one}, false, saved), TListSave::Saved);
  release.join();
  EXPECT_EQ(ReadProgramRecords(bob), std::vector<std::string>{one});
  EXPECT_EQ(UserDialogOk(TUserDialogMode::Edit, {"Bob", "bob", "new", "new", "bob", std::make_pair(std::string("Bob"), std::string("b"))},
                         Folder(), {"Default", "bob"}, deck.Notifier(), deck.Asker()),
            TUserDialogField::None);
  EXPECT_EQ(ReadProgramRecords(bob), std::vector<std::string>{one});
  EXPECT_NE(Contents(bob).find("PASSWORD=new\r\n"), std::string::npos);
}

TEST_F(UserFiles, UserDialogsCheckInOrderAndWriteTheUserSection) {
  Write("bob.svu", "[USER]\r\nFULL NAME=Bob\r\nPASSWORD=old\r\n" + Program(0, "Kept"));
  const std::vector<std::string> listed = {"Default", "bob"};
  auto notify = deck.Notifier();
  auto ask = deck.Asker();
  auto add = [&](TUserDialogInput in) { return UserDialogOk(TUserDialogMode::Add, in, Folder(), listed, notify, ask); };

  // A blank full name is a question; No goes back to it before anything else is looked at.
  deck.answers = {TAnswer::No};
  EXPECT_EQ(add({"", "", "", "", ""}), TUserDialogField::FullName);
  EXPECT_TRUE(deck.shown.empty());
  deck.answers = {TAnswer::Yes};
  EXPECT_EQ(add({"", "", "", "", ""}), TUserDialogField::UserName);
  EXPECT_EQ(deck.LastText(), "User name can not be blank");

  EXPECT_EQ(add({"B", "BOB", "p", "p", ""}), TUserDialogField::UserName);
  EXPECT_EQ(deck.LastText(), "User name already exists. Choose another name.");
  EXPECT_EQ(add({"C", "carl", "", "", ""}), TUserDialogField::Password);
  EXPECT_EQ(deck.LastText(), "Passwords can not be blank");
  EXPECT_EQ(add({"C", "carl", "Pw", "pw", ""}), TUserDialogField::Password);
  EXPECT_EQ(deck.LastText(), "Passwords do not match");
  // A user name is a file name in the users folder and may not lead out of it.
  EXPECT_EQ(add({"C", "../carl", "pw", "pw", ""}), TUserDialogField::UserName);
  EXPECT_NE(deck.LastText().find("contains illegal character(s)"), std::string::npos);
  EXPECT_FALSE(plat::FileExists(dir.Path("carl.svu")));
  EXPECT_EQ(plat::ListFiles(Folder(), "*").size(), 1u);

  EXPECT_EQ(add({"Carl C", "carl", "pw", "pw", ""}), TUserDialogField::None);
  EXPECT_EQ(Contents(Folder() + "carl.svu"), "[USER]\r\nFULL NAME=Carl C\r\nPASSWORD=pw\r\n");

  // Copying takes the programs along and gives the copy its own user section.
  EXPECT_EQ(UserDialogOk(TUserDialogMode::Copy, {"Dee", "dee", "d", "d", "bob"}, Folder(), listed, notify, ask),
            TUserDialogField::None);
  EXPECT_EQ(ReadProgramRecords(Folder() + "dee.svu"), ReadProgramRecords(Folder() + "bob.svu"));
  EXPECT_NE(Contents(Folder() + "dee.svu").find("FULL NAME=Dee\r\nPASSWORD=d\r\n"), std::string::npos);
  EXPECT_NE(Contents(Folder() + "bob.svu").find("PASSWORD=old"), std::string::npos);
  EXPECT_TRUE(deck.answers.empty());
}

TEST_F(UserFiles, RenamingAUserHappensOnlyOnceEveryCheckPassed) {
  const std::string bob = "[USER]\r\nFULL NAME=Bob\r\nPASSWORD=old\r\n" + Program(0, "Kept");
  Write("bob.svu", bob);
  Write("amy.svu", "");
  const std::vector<std::string> listed = {"Default", "amy", "bob"};
  auto edit = [&](TUserDialogInput in) {
    in.shownName = "bob";
    return UserDialogOk(TUserDialogMode::Edit, in, Folder(), listed, deck.Notifier(), deck.Asker());
  };

  deck.answers = {TAnswer::No};
  EXPECT_EQ(edit({"Bob", "robert", "new", "new", ""}), TUserDialogField::UserName);
  deck.answers = {TAnswer::Yes};
  EXPECT_EQ(edit({"Bob", "Amy", "new", "new", ""}), TUserDialogField::UserName);
  EXPECT_EQ(deck.LastText(), "User name already exists. Choose another name.");
  // A refused password leaves the file under its old name, so the next try still finds it.
  deck.answers = {TAnswer::Yes};
  EXPECT_EQ(edit({"Bob", "robert", "new", "New", ""}), TUserDialogField::Password);
  EXPECT_EQ(Contents(Folder() + "bob.svu"), bob);
  EXPECT_FALSE(plat::FileExists(Folder() + "robert.svu"));

  deck.answers = {TAnswer::Yes};
  EXPECT_EQ(edit({"Robert B", "robert", "new", "new", ""}), TUserDialogField::None);
  EXPECT_FALSE(plat::FileExists(Folder() + "bob.svu"));
  EXPECT_EQ(ReadProgramRecords(Folder() + "robert.svu").size(), 1u);
  EXPECT_NE(Contents(Folder() + "robert.svu").find("FULL NAME=Robert B\r\nPASSWORD=new\r\n"), std::string::npos);

  // Without a new name nothing is asked and the file is written where it is.
  Write("EVE.SVU", "");
  EXPECT_EQ(UserDialogOk(TUserDialogMode::Edit, {"Eve", "eve", "e", "e", "eve"}, Folder(), {"Default", "eve"},
                         deck.Notifier(), deck.Asker()),
            TUserDialogField::None);
  EXPECT_EQ(Contents(Folder() + "EVE.SVU"), "[USER]\r\nFULL NAME=Eve\r\nPASSWORD=e\r\n");
  EXPECT_FALSE(plat::FileExists(Folder() + "eve.svu"));
  EXPECT_TRUE(deck.answers.empty());
}

TEST_F(UserFiles, RemovingAUser) {
  Write("Bob.SVU", "x");
  EXPECT_FALSE(RemoveUser("Default", Folder(), deck.Notifier(), deck.Asker()));
  EXPECT_EQ(deck.LastText(), "Sorry, You Can Not Delete the Default User!");
  deck.answers = {TAnswer::Cancel, TAnswer::Yes};
  EXPECT_FALSE(RemoveUser("bob", Folder(), deck.Notifier(), deck.Asker()));
  EXPECT_TRUE(plat::FileExists(Folder() + "Bob.SVU"));
  EXPECT_TRUE(RemoveUser("bob", Folder(), deck.Notifier(), deck.Asker()));
  EXPECT_EQ(deck.asked.back(), "Are you sure you want to delete: bob");
  EXPECT_FALSE(plat::FileExists(Folder() + "Bob.SVU"));
}

TEST(Users, ProgramDialogsRefuseDuplicatesAndBuildTheRecord) {
  FakeUserDeck deck("/");
  std::vector<std::string> lib = {"News|00:05:00|n|F|/a/|3", "Sport|00:10:00|s|F|/b/|3"};
  auto ok = [&](TProgramDialogMode mode, TProgramDialogInput in, int selected = -1) {
    return ProgramDialogOk(mode, in, lib, selected, deck.Notifier(), deck.Asker());
  };
  const std::string fmt = "22.050 kHz, 8 bit, Mono, 21 kb/sec";

  EXPECT_EQ(ok(TProgramDialogMode::Add, {" ", "d", "003000", fmt, "/c/", "3"}), TProgramDialogField::Name);
  EXPECT_EQ(deck.LastText(), "You must supply a name for this program");
  deck.answers = {TAnswer::No};
  EXPECT_EQ(ok(TProgramDialogMode::Add, {"Weather", "", "003000", fmt, "/c/", "3"}), TProgramDialogField::Description);
  EXPECT_EQ(ok(TProgramDialogMode::Add, {"NEWS", "d", "003000", fmt, "/c/", "3"}), TProgramDialogField::Name);
  EXPECT_EQ(deck.LastText(), "A program with this name already exists! Check the list and try again.");
  EXPECT_EQ(ok(TProgramDialogMode::Add, {"a/b", "d", "003000", fmt, "/c/", "3"}), TProgramDialogField::Name);
  EXPECT_EQ(lib.size(), 2u);

  deck.answers = {TAnswer::Yes};
  EXPECT_EQ(ok(TProgramDialogMode::Add, {"Weather", "", "003000", fmt, "/c/", "12"}), TProgramDialogField::None);
  ASSERT_EQ(lib.size(), 3u);
  EXPECT_EQ(lib[2], "Weather|00:30:00||" + fmt + "|/c/|12");

  // Editing keeps its own name; it only may not take another program's.
  EXPECT_EQ(ok(TProgramDialogMode::Edit, {"news", "n2", "000100", fmt, "/a/", "5"}, 0), TProgramDialogField::None);
  EXPECT_EQ(lib[0], "news|00:01:00|n2|" + fmt + "|/a/|5");
  EXPECT_EQ(ok(TProgramDialogMode::Edit, {"sport", "n", "000100", fmt, "/a/", "5"}, 0), TProgramDialogField::Name);

  // A full list takes no more programs.
  lib.resize(ProgramRows, "x|00:00:01|d|F||1");
  EXPECT_EQ(ok(TProgramDialogMode::Copy, {"More", "d", "000100", fmt, "/a/", "5"}), TProgramDialogField::Name);
  EXPECT_EQ(lib.size(), size_t(ProgramRows));
  EXPECT_TRUE(deck.answers.empty());

  EXPECT_TRUE(HasDuplicateRecords({"a|1", "b|2", "a|1"}));
  EXPECT_FALSE(HasDuplicateRecords({"a|1", "A|1"}));
}

TEST(Users, ProgramDialogsRefuseTheFieldSeparator) {
  FakeUserDeck deck("/");
  std::vector<std::string> lib = {"News|00:05:00|n||/a/|3"};
  auto ok = [&](TProgramDialogMode mode, TProgramDialogInput in, int selected = -1) {
    return ProgramDialogOk(mode, in, lib, selected, deck.Notifier(), deck.Asker());
  };
  const std::string fmt = "22.050 kHz, 8 bit, Mono, 21 kb/sec";
  EXPECT_EQ(ok(TProgramDialogMode::Add, {"A|B", "d", "003000", fmt, "/c/", "3"}), TProgramDialogField::Name);
  // Editing a program whose format is none of the texts stores an empty format: a "|" in the
  // description would then have nothing to tell the fields apart.
  EXPECT_EQ(ok(TProgramDialogMode::Edit, {"News", "news | sport", "000500", "", "/a/", "3"}, 0),
            TProgramDialogField::Description);
  EXPECT_EQ(deck.LastText(), "A description can not contain \"|\". Please correct it and try again.");
  EXPECT_EQ(ok(TProgramDialogMode::Copy, {"Sport", "s", "000500", fmt, "/mnt/a|b/", "3"}),
            TProgramDialogField::SavePath);
  EXPECT_EQ(lib, std::vector<std::string>{"News|00:05:00|n||/a/|3"});
  EXPECT_EQ(ok(TProgramDialogMode::Edit, {"News", " n ", "000500", "", "/a/", "3"}, 0), TProgramDialogField::None);
  EXPECT_EQ(SplitProgramRecord(lib[0]), (TProgramRow{"News", "00:05:00", " n ", "", "/a/", "3"}));
}

TEST_F(UserFiles, ProgramsWhoseNamesWouldLeaveTheTemporaryFolderAreRefusedWhereverTheyAreRead) {
  auto program = [](int n, const std::string& name, const std::string& description = "d") {
    return "[Template " + std::to_string(n) + "]\r\nName=" + name + "\r\nLength=00:01:00\r\n" +
           "Description=" + description + "\r\nFormat=8.000 kHz, 8 bit, Mono, 7 kb/sec\r\n" +
           "Save Path=/carts/\r\nLockout=1\r\n";
  };
  // The library's seed, written by hand into the settings file.
  Write("Solvane.ini", program(0, "Morning") + program(1, "../../carts/take") + program(2, "a/b") + program(3, "Noon") +
                           program(4, "x:y") + program(5, "Pipe", "a|b") + program(6, "Evening") +
                           program(7, "w?x<y>z\"*"));
  LoadINITemplates(deck, "Default", nullptr);
  EXPECT_EQ(Programs(), 3);  // the refused leave no gap behind
  EXPECT_EQ(deck.users.programList[1][pfName], "Noon");
  EXPECT_EQ(deck.users.programList[2][pfName], "Evening");
  const std::string lib = Contents(Folder() + "Default.svu");
  EXPECT_EQ(Count(lib, "[Template "), ProgramRows);
  for (const char* gone : {"carts/take", "a/b", "x:y", "a|b"}) EXPECT_EQ(Count(lib, gone), 0) << gone;
  ASSERT_EQ(deck.shown.size(), 1u);  // one message for the file, naming every refused program
  EXPECT_EQ(deck.shown[0].kind, TNoticeKind::Warning);
  const std::string& seedText = deck.shown[0].text;
  EXPECT_EQ(seedText.rfind("These programs of " + Folder() + "Solvane.ini were not loaded:", 0), 0u);
  for (const char* named :
       {"[Template 1] \"../../carts/take\": its name contains illegal", "[Template 2] \"a/b\"", "[Template 4] \"x:y\"",
        "[Template 5] \"Pipe\": its description contains \"|\"", "[Template 7] \"w?x<y>z\"*\""})
    EXPECT_NE(seedText.find(named), std::string::npos) << named;

  // A user's file: the deck's table skips the refused and stops at the first gap, the manager's
  // reader skips both; each names what it refused.
  Write("ann.svu", program(0, "One") + program(1, "../x") + program(2, "Two") + program(3, "c\\d") + program(5, "Six") +
                       program(6, "e*f"));
  deck.shown.clear();
  LoadINITemplates(deck, "ann", nullptr);
  EXPECT_EQ(Programs(), 2);
  EXPECT_EQ(deck.users.programList[1][pfName], "Two");
  ASSERT_EQ(deck.shown.size(), 1u);
  EXPECT_NE(deck.LastText().find("[Template 3] \"c\\d\""), std::string::npos);
  EXPECT_EQ(deck.LastText().find("e*f"), std::string::npos);  // behind the gap: never read
  TRefusedPrograms refused;
  std::vector<std::string> records = ReadProgramRecords(Folder() + "ann.svu", &refused);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(RecordField(records[2], pfName), "Six");
  ASSERT_EQ(refused.size(), 3u);
  EXPECT_EQ(refused[2].section, "Template 6");
  EXPECT_EQ(refused[2].name, "e*f");
  // Nothing of the refused reached the file, and a second load changes nothing.
  const std::string ann = Contents(Folder() + "ann.svu");
  LoadINITemplates(deck, "ann", nullptr);
  EXPECT_EQ(Contents(Folder() + "ann.svu"), ann);
}

TEST_F(UserFiles, UserFilesWhoseNamesCouldNotHaveBeenTypedAreLeftOut) {
  Write("ok.svu", "");
  Write("a:b.svu", "");
  Write("c\\d.svu", "");
  Write("e|f.svu", "");
  std::vector<std::string> refused;
  EXPECT_EQ(LoginUserList(Folder(), &refused), (std::vector<std::string>{"Default", "ok"}));
  EXPECT_EQ(refused.size(), 3u);
  refused.clear();
  EXPECT_EQ(ManagerUserList(Folder(), &refused), (std::vector<std::string>{"Default", "ok"}));
  std::sort(refused.begin(), refused.end());
  EXPECT_EQ(refused, (std::vector<std::string>{"a:b.svu", "c\\d.svu", "e|f.svu"}));
  const std::string text = RefusedUsersMessage(refused);
  for (const std::string& f : refused) EXPECT_NE(text.find("\r\n" + f), std::string::npos) << f;
}

TEST_F(UserFiles, TypedPasswordsNamesAndDescriptionsComeBackAsTyped) {
  auto add = [&](const std::string& full, const std::string& user, const std::string& pw) {
    return UserDialogOk(TUserDialogMode::Add, {full, user, pw, pw, ""}, Folder(), {"Default"}, deck.Notifier(),
                        deck.Asker());
  };
  const std::vector<std::pair<std::string, std::string>> users = {
      {" Ann ", " pw "}, {"\"Bob\"", "\"q\""}, {"'Cy'", "' x'"}};
  for (size_t i = 0; i < users.size(); ++i) {
    const std::string name = "u" + std::to_string(i);
    ASSERT_EQ(add(users[i].first, name, users[i].second), TUserDialogField::None);
    plat::TIniFile ini(Folder() + name + ".svu");
    EXPECT_EQ(ini.ReadString("USER", "FULL NAME", ""), users[i].first);
    EXPECT_EQ(LoginUser(deck, name, users[i].second), TLoginResult::Accepted) << name;
    const std::string trimmed = users[i].second.substr(1, users[i].second.size() - 2);
    EXPECT_EQ(LoginUser(deck, name, trimmed), TLoginResult::WrongPassword) << name;
  }

  // Descriptions too, through the manager's writer and both readers; an empty one stays empty.
  std::vector<std::string> lib;
  deck.answers = {TAnswer::Yes};
  const std::string fmt = "8.000 kHz, 8 bit, Mono, 7 kb/sec";
  const std::vector<std::string> descriptions = {" drive time ", "\"quoted\"", "'q'", ""};
  for (const std::string& d : descriptions)
    ASSERT_EQ(
        ProgramDialogOk(TProgramDialogMode::Add, {"P" + std::to_string(lib.size()), d, "000100", fmt, " /carts/ ", "3"},
                        lib, -1, deck.Notifier(), deck.Asker()),
        TProgramDialogField::None);
  ASSERT_TRUE(WriteProgramRecords(Folder() + "u0.svu", lib));
  EXPECT_EQ(ReadProgramRecords(Folder() + "u0.svu"), lib);
  LoadINITemplates(deck, "u0", nullptr);
  for (size_t i = 0; i < descriptions.size(); ++i) {
    EXPECT_EQ(deck.users.programList[i][pfDescription], descriptions[i]) << i;
    EXPECT_EQ(deck.users.programList[i][pfSavePath], " /carts/ ") << i;
  }
  EXPECT_EQ(LoginUser(deck, "u0", " pw "), TLoginResult::Accepted);  // the user section stays
}

TEST_F(UserFiles, UserFilesAndTheLibraryAreForTheirOwnerOnly) {
  auto mode = [&](const std::string& name) {
    struct stat st;
    return ::stat((Folder() + name).c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
  };
  const mode_t mask = ::umask(0);  // the widest a creation could give
  Write("Solvane.ini", Program(0, "Morning"));
  LoadINITemplates(deck, "Default", nullptr);
  EXPECT_EQ(mode("Default.svu"), 0600u);

  Write("old.svu", "[USER]\r\nPASSWORD=o\r\n[Template 0]\r\nName=One\r\n");
  ASSERT_EQ(::chmod((Folder() + "old.svu").c_str(), 0644), 0);
  ASSERT_EQ(UserDialogOk(TUserDialogMode::Add, {"N", "new", "p", "p", ""}, Folder(), {"Default"}, deck.Notifier(),
                         deck.Asker()),
            TUserDialogField::None);
  EXPECT_EQ(mode("new.svu"), 0600u);
  ASSERT_EQ(UserDialogOk(TUserDialogMode::Copy, {"C", "copy", "p", "p", "old"}, Folder(), {"Default", "old", "new"},
                         deck.Notifier(), deck.Asker()),
            TUserDialogField::None);
  EXPECT_EQ(mode("copy.svu"), 0600u);
  LoadINITemplates(deck, "old", nullptr);  // completes the empty keys: a rewrite
  EXPECT_EQ(mode("old.svu"), 0600u);
  ASSERT_EQ(::chmod((Folder() + "old.svu").c_str(), 0644), 0);
  ASSERT_TRUE(WriteProgramRecords(Folder() + "old.svu", {}));
  EXPECT_EQ(mode("old.svu"), 0600u);
  deck.answers = {TAnswer::Yes};
  ASSERT_EQ(UserDialogOk(TUserDialogMode::Edit, {"R", "renamed", "p", "p", "old"}, Folder(),
                         {"Default", "old", "new", "copy"}, deck.Notifier(), deck.Asker()),
            TUserDialogField::None);
  EXPECT_EQ(mode("renamed.svu"), 0600u);
  ::umask(mask);
}

TEST_F(UserFiles, AUserRemovedMeanwhileIsToldGoneAndNeverMadeAgain) {
  const std::vector<std::string> listed = {"Default", "bob"};
  const std::string gone = "The user bob no longer exists: it was removed, perhaps on another workstation. "
                           "Nothing was saved.";
  // The edit dialog showed bob; another workstation removed him before OK, with or without a new name.
  for (const char* name : {"bob", "robert"}) {
    SCOPED_TRACE(name);
    deck.answers = {TAnswer::Yes};
    TUserDialogInput in{"Bob", name, "pw", "pw", "bob", std::make_pair(std::string("Bob"), std::string("old"))};
    EXPECT_EQ(UserDialogOk(TUserDialogMode::Edit, in, Folder(), listed, deck.Notifier(), deck.Asker()),
              TUserDialogField::Gone);
    EXPECT_EQ(deck.LastText(), gone);
    EXPECT_TRUE(plat::ListFiles(Folder(), "*").empty());
  }
  deck.answers.clear();
  // The assignment dialog's list of a user removed meanwhile.
  EXPECT_THROW(WriteProgramRecords(Folder() + "bob.svu", {"News|00:30:00| |x|/carts/|0"}, true), plat::EIniFileGone);
  EXPECT_TRUE(plat::ListFiles(Folder(), "*").empty());
  Write("bob.svu", "[USER]\r\nPASSWORD=old\r\n");
  ASSERT_TRUE(WriteProgramRecords(Folder() + "bob.svu", {"News|00:30:00|Daily|x|/carts/|0"}, true));
  EXPECT_EQ(ReadProgramRecords(Folder() + "bob.svu"), std::vector<std::string>{"News|00:30:00|Daily|x|/carts/|0"});
  EXPECT_NE(Contents(Folder() + "bob.svu").find("PASSWORD=old"), std::string::npos);
}

TEST_F(UserFiles, AFailedAddNamesTheUsersFileNotTheHiddenOneBesideIt) {
  // No file of the process may grow past a few bytes, as on a full disk: the new user's keys do
  // not fit.
  rlimit limit{}, saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  limit = saved;
  limit.rlim_cur = 8;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  const TUserDialogField field =
      UserDialogOk(TUserDialogMode::Add, {"Carl", "carl", "pw", "pw", ""}, Folder(), {"Default"}, deck.Notifier(),
                   deck.Asker());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, handler);
  EXPECT_EQ(field, TUserDialogField::UserName);
  EXPECT_EQ(deck.Texts(), std::vector<std::string>{"Unable to write to " + Folder() + "carl.svu"});
  EXPECT_TRUE(plat::ListFiles(Folder(), "*").empty());
  EXPECT_TRUE(plat::ListFiles(Folder(), ".*").empty());
}

// A folder at the library's or a user file's name is named, never read as an empty list (which a
// Close or a Save would then fail to write, telling only that) nor taken for a missing library.
TEST_F(UserFiles, AFolderAtTheLibrarysOrAUsersNameIsNamedAsAFileThatCannotBeRead) {
  Write("Solvane.ini", Program(0, "From settings"));
  const std::string library = Folder() + "Default.svu", bob = Folder() + "bob.svu";
  ASSERT_TRUE(plat::CreateDir(library));
  ASSERT_TRUE(plat::CreateDir(bob));
  try {
    LoadLibrary(deck);
    ADD_FAILURE() << "the library was read as empty";
  } catch (const plat::EIniReadError& e) {
    EXPECT_EQ(e.Message(), "Unable to read " + library + ": it is a folder.");
  }
  EXPECT_EQ(std::count(deck.statuses.begin(), deck.statuses.end(), "Creating Default User..."), 0)
      << "a library was made beside the folder";
  std::vector<std::string> saved;
  EXPECT_THROW(ReadProgramRecords(bob), plat::EIniReadError);
  EXPECT_THROW(SaveProgramList(bob, {}, {"Mine|00:30:00| |x|/carts/|0"}, false, saved), plat::EIniReadError);
  EXPECT_EQ(LoginUser(deck, "bob", "pw"), TLoginResult::Unreadable);
  EXPECT_EQ(deck.LastText(), "Unable to read " + bob + ": it is a folder.");
  EXPECT_TRUE(plat::DirectoryExists(library) && plat::DirectoryExists(bob));
  EXPECT_EQ(plat::ListFiles(Folder(), "*", true).size(), 3u);
}

TEST_F(UserFiles, AUserFileOrLibraryThatCannotBeReadIsNamedAndNeverWrittenOver) {
  Write("Solvane.ini", Program(0, "From settings"));
  const std::string library = Folder() + "Default.svu", bob = Folder() + "bob.svu";
  ASSERT_EQ(::mkfifo(library.c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(bob.c_str(), 0600), 0);
  const std::string refusal = "Unable to read " + library + ": it is not a regular file.";
  try {
    LoadLibrary(deck);
    ADD_FAILURE() << "the library was read as empty";
  } catch (const plat::EIniReadError& e) {
    EXPECT_EQ(e.Message(), refusal);
  }
  EXPECT_THROW(ReadProgramRecords(bob), plat::EIniReadError);
  EXPECT_THROW(WriteProgramRecords(library, {"Mine|00:30:00| |x|/carts/|0"}), plat::EIniReadError);
  EXPECT_THROW(WriteProgramRecords(bob, {"Mine|00:30:00| |x|/carts/|0"}, true), plat::EIniReadError);
  EXPECT_EQ(LoginUser(deck, "bob", MissingPasswordMark), TLoginResult::Unreadable);
  EXPECT_EQ(deck.LastText(), "Unable to read " + bob + ": it is not a regular file.");
  EXPECT_EQ(UserDialogOk(TUserDialogMode::Edit, {"Bob", "bob", "pw", "pw", "bob", std::nullopt}, Folder(),
                         {"Default", "bob"}, deck.Notifier(), deck.Asker()),
            TUserDialogField::UserName);
  EXPECT_EQ(deck.LastText(), "Unable to read " + bob + ": it is not a regular file.");
  EXPECT_EQ(deck.users.currentUser, "Default");
  for (const std::string& path : {library, bob}) {
    struct stat st;
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << path;
  }
  EXPECT_EQ(plat::ListFiles(Folder(), "*").size(), 3u);
}
