// Users folders shared between workstations and accounts, and user, library and settings files that
// cannot be read: what cannot be read is named and never taken as empty or written over, a user
// removed meanwhile is not made again, and nothing at a file's name holds the program up.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Studio.h"
#include "platform/system/files.h"

namespace {

const char* const kNoAdvanced = "message Information [OK] \"No advanced settings at this time\" -> OK";

void Await(Studio& s, const std::string& modal) {
  s.SyncUntil([&](const DeckView& d) { return d.modal == modal; }, modal + " in front");
}

// Waits until the program has shown count dialogs.
void Told(Studio& s, size_t count) {
  EXPECT_TRUE(Studio::WaitFor([&] { return s.DialogLog().size() >= count; })) << ::testing::PrintToString(s.DialogLog());
}

void OpenManager(Studio& s) {
  s.Key("Ctrl+D");
  Await(s, "TForm14");
}

// The login dialog, the user listed downs lines below "Default" chosen and password typed.
void LogIn(Studio& s, int downs, const std::string& password) {
  s.Key("Ctrl+I");
  Await(s, "TForm10");
  for (int i = 0; i < downs; ++i) s.Key("Down");
  s.Key("Tab");
  s.Type(password);
  s.Key("Return");
}

struct Stat {
  mode_t mode = 0;
  uid_t uid = 0;
  gid_t gid = 0;
  bool fifo = false;
};
Stat StatOf(const std::string& path) {
  struct stat st {};
  Stat r;
  if (::lstat(path.c_str(), &st) != 0) return r;
  return {mode_t(st.st_mode & 07777), st.st_uid, st.st_gid, S_ISFIFO(st.st_mode)};
}

std::string Unreadable(const std::string& path, const std::string& why, const std::string& kind = "Error") {
  return "message " + kind + " [OK] \"Unable to read " + path + ": " + why + ".\" -> OK";
}

// Two accounts of one group; the users folder is theirs together.
constexpr uid_t kAnn = 64101, kBen = 64102;
constexpr gid_t kStudio = 64100;

}  // namespace

TEST(SharedUsers, TwoAccountsSharingAUsersFolderKeepItsLibraryAndUsers) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can run the program as two other accounts";
  Scratch share;
  ASSERT_EQ(0, ::chmod(share.Root().c_str(), 0755));
  const std::string users = share.Path("users/");
  ASSERT_TRUE(plat::CreateDir(users));
  ASSERT_EQ(0, ::chown(users.c_str(), 0, kStudio));
  ASSERT_EQ(0, ::chmod(users.c_str(), 02775));
  const std::string library = users + "Default.svu", bob = users + "bob.svu";

  // Ann's deck makes the library from her settings and adds bob.
  {
    Studio ann;
    ann.environment["HOME"] = ann.home;
    ann.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[Template 0]", "Name=News", "Lockout=3",
                  "[Template 1]", "Name=Sports", "Lockout=1"});
    ann.Answers({"OK"});
    ann.RunAs(kAnn, kAnn, kStudio);
    ASSERT_TRUE(ann.Start({"S=" + users}));
    OpenManager(ann);
    ann.Key("Alt+A");
    Await(ann, "TForm15");
    for (const char* field : {"Bob", "bob", "pw", "pw"}) {
      ann.Type(field);
      ann.Key("Tab");
    }
    ann.Key("Return");
    Await(ann, "TForm14");
    ann.Key("Alt+P");
    ann.Key("Alt+C");
    Await(ann, "-");
    EXPECT_EQ(std::vector<std::string>{kNoAdvanced}, ann.DialogLog()) << ann.Output();
  }
  const std::string stored = Studio::Read(library);
  ASSERT_NE(std::string::npos, stored.find("Name=News")) << stored;
  ASSERT_NE(std::string::npos, stored.find("Name=Sports"));
  // Each file the group's to read and write, in the folder's group, whoever wrote it.
  for (const std::string& path : {library, bob}) {
    const Stat st = StatOf(path);
    EXPECT_EQ(0660u, st.mode) << path;
    EXPECT_EQ(kStudio, st.gid) << path;
    EXPECT_EQ(kAnn, st.uid) << path;
  }

  // Ben's deck, with no templates of its own: his manager shows Ann's library and his Close keeps
  // it; bob logs in on Ben's deck with his password.
  Studio ben;
  ben.environment["HOME"] = ben.home;
  ben.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  ben.Answers({"OK", "OK", "OK", "OK", "OK"});
  ben.RunAs(kBen, kBen, kStudio);
  ASSERT_TRUE(ben.Start({"S=" + users}));
  OpenManager(ben);
  ben.Key("Alt+P");
  ben.Key("Alt+C");
  Await(ben, "-");
  const std::string saved = Studio::Read(library);
  EXPECT_NE(std::string::npos, saved.find("Name=News")) << saved;
  EXPECT_NE(std::string::npos, saved.find("Name=Sports"));
  EXPECT_EQ(0660u, StatOf(library).mode);
  EXPECT_EQ(kStudio, StatOf(library).gid);
  LogIn(ben, 1, "pw");
  Await(ben, "-");
  EXPECT_EQ(std::vector<std::string>{kNoAdvanced}, ben.DialogLog()) << ben.Output();

  // Files an earlier run left for Ann alone: Ben is told which he cannot read, and his manager's
  // Close leaves the library as it is.
  ASSERT_EQ(0, ::chmod(library.c_str(), 0600));
  ASSERT_EQ(0, ::chown(library.c_str(), kAnn, kAnn));
  ASSERT_EQ(0, ::chmod(bob.c_str(), 0600));
  const std::string before = Studio::Read(library);
  OpenManager(ben);
  Told(ben, 3);  // the manager says what it cannot read as it shows
  ben.Key("Alt+P");
  ben.Key("Alt+C");
  Await(ben, "-");
  EXPECT_TRUE(before == Studio::Read(library)) << "the library was written over";
  EXPECT_EQ(kAnn, StatOf(library).uid);
  LogIn(ben, 1, "pw");
  Await(ben, "TForm10");
  ben.Key("Escape");
  Await(ben, "-");
  const std::vector<std::string> want = {kNoAdvanced, kNoAdvanced, Unreadable(library, "Permission denied"),
                                         Unreadable(bob, "Permission denied")};
  EXPECT_EQ(want, ben.DialogLog());
}

// Two accounts' decks with their managers open on one library: each Close writes only what that
// deck changed, into the library as the other left it.
TEST(SharedUsers, TwoDecksWithTheirManagersOpenKeepEachOthersPrograms) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can run the program as two other accounts";
  Scratch share;
  ASSERT_EQ(0, ::chmod(share.Root().c_str(), 0755));
  const std::string users = share.Path("users/"), library = users + "Default.svu";
  ASSERT_TRUE(plat::CreateDir(users));
  ASSERT_EQ(0, ::chown(users.c_str(), 0, kStudio));
  ASSERT_EQ(0, ::chmod(users.c_str(), 02770));
  Studio ann, ben;
  for (Studio* s : {&ann, &ben}) {
    s->environment["HOME"] = s->home;
    s->Answers({"OK", "OK", "OK", "Yes"});
  }
  ann.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[Template 0]", "Name=News", "Length=00:30:00",
                "Description=News", "Lockout=3"});
  ben.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  ann.RunAs(kAnn, kAnn, kStudio);
  ben.RunAs(kBen, kBen, kStudio);
  ASSERT_TRUE(ann.Start({"S=" + users}));
  ASSERT_TRUE(ben.Start({"S=" + users}));
  const auto add = [](Studio& s, const std::string& name) {
    s.Key("Alt+A");
    Await(s, "TForm18");
    s.Type(name);
    s.Key("Tab");
    s.Key("Tab");
    s.Type(name + " on the hour");
    s.Key("Return");
    Await(s, "TForm14");
  };
  const auto close = [](Studio& s) {
    s.Key("Alt+C");
    Await(s, "-");
  };
  // The programs' names in the library's order.
  const auto names = [&] {
    std::vector<std::string> out;
    const std::string text = Studio::Read(library);
    for (size_t at = text.find("\nName="); at != std::string::npos; at = text.find("\nName=", at + 1))
      if (const std::string name = text.substr(at + 6, text.find('\r', at) - at - 6); !name.empty())
        out.push_back(name);
    return out;
  };

  // Ann adds a program and closes; Ben, who only looked, closes after her.
  OpenManager(ann);
  OpenManager(ben);
  ann.Key("Alt+P");
  add(ann, "Weather");
  close(ann);
  ben.Key("Alt+P");
  close(ben);
  EXPECT_EQ(names(), (std::vector<std::string>{"News", "Weather"}));

  // Both add one: both stay, whoever closes last.
  OpenManager(ann);
  OpenManager(ben);
  ann.Key("Alt+P");
  ben.Key("Alt+P");
  add(ann, "Traffic");
  add(ben, "Sports");
  close(ann);
  close(ben);
  EXPECT_EQ(names(), (std::vector<std::string>{"News", "Sports", "Traffic", "Weather"}));

  // Ann removes News (the first line) while Ben edits it: his later save keeps it, as he left it.
  OpenManager(ann);
  OpenManager(ben);
  ann.Key("Alt+P");
  ben.Key("Alt+P");
  ann.Key("Alt+R");
  ben.Key("Alt+E");
  Await(ben, "TForm20");
  ben.Key("Tab");
  ben.Key("Tab");
  ben.Type("Edited by Ben");
  ben.Key("Return");
  Await(ben, "TForm14");
  close(ann);
  close(ben);
  EXPECT_EQ(names(), (std::vector<std::string>{"News", "Sports", "Traffic", "Weather"}));
  EXPECT_NE(std::string::npos, Studio::Read(library).find("Name=News\r\nLength=00:30:00\r\nDescription=Edited by Ben\r\n"));
  EXPECT_EQ(0660u, StatOf(library).mode);
  EXPECT_EQ(kStudio, StatOf(library).gid);
  EXPECT_EQ(std::vector<std::string>(3, kNoAdvanced), ben.DialogLog());
  EXPECT_EQ((std::vector<std::string>{kNoAdvanced, kNoAdvanced, kNoAdvanced,
                                      "message Warning [Yes,No,Cancel] \"Are you sure you want to delete: News\" -> Yes"}),
            ann.DialogLog());
}

// Ben, a member of the users folder's group, makes a user; while Ann's Copy User dialog shows it, he
// puts a link to Ann's own settings file (the supervisor and exit passwords) in its place. Her OK
// copies nothing through his link: it names what it refused, and no new user holds her settings.
TEST(SharedUsers, CopyUserNeverCopiesThroughALinkAnotherMemberPutInPlaceOfTheUserShown) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can run the program as two other accounts";
  Scratch share;
  ASSERT_EQ(0, ::chmod(share.Root().c_str(), 0755));
  const std::string users = share.Path("users/"), evil = users + "evil.svu";
  ASSERT_TRUE(plat::CreateDir(users));
  ASSERT_EQ(0, ::chown(users.c_str(), 0, kStudio));
  ASSERT_EQ(0, ::chmod(users.c_str(), 02770));
  ASSERT_TRUE(Studio::Write(evil, "[USER]\r\nFULL NAME=Evil\r\nPASSWORD=x\r\n"));
  ASSERT_EQ(0, ::chown(evil.c_str(), kBen, kStudio));
  ASSERT_EQ(0, ::chmod(evil.c_str(), 0660));

  Studio ann;
  ann.environment["HOME"] = ann.home;
  ann.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[FILES]", "PASSWORD=boss", "[GUI]",
                "Password To Exit=leave"});
  const std::string settings = ann.home + "Solvane.ini";
  ASSERT_EQ(0, ::chmod(settings.c_str(), 0600));
  ann.Answers({"OK", "OK", "OK"});
  ann.RunAs(kAnn, kAnn, kStudio);
  ASSERT_TRUE(ann.Start({"S=" + users}));
  ann.Key("Ctrl+D");
  Await(ann, "TForm11");
  ann.Type("boss");
  ann.Key("Return");
  Await(ann, "TForm14");
  ann.Key("Tab");
  ann.Key("Down");
  ann.Key("Alt+O");
  Await(ann, "TForm17");

  ASSERT_EQ(0, ::unlink(evil.c_str()));
  ASSERT_EQ(0, ::symlink(settings.c_str(), evil.c_str()));
  ASSERT_EQ(0, ::lchown(evil.c_str(), kBen, kStudio));
  for (const char* field : {"newbie", "pw", "pw"}) {
    ann.Type(field);
    ann.Key("Tab");
  }
  ann.Key("Return");
  Await(ann, "TForm17");
  ann.Key("Escape");
  Await(ann, "TForm14");
  ann.Key("Alt+C");
  Await(ann, "-");

  // The library the manager made, and Ben's link: no new user, nothing beside them.
  EXPECT_EQ((std::vector<std::string>{"Default.svu", "evil.svu"}), plat::ListFiles(users, "*")) << "a user was made";
  EXPECT_EQ(std::string::npos, Studio::Read(users + "Default.svu").find("boss"));
  EXPECT_EQ((std::vector<std::string>{kNoAdvanced, Unreadable(evil, "it is a link another account made")}),
            ann.DialogLog());
}

// The same swap while Ann's Edit User dialog shows Ben's user and she gives it a new name: her OK
// renames nothing that is not a user's file (his link keeps its name, no user holds it under the new
// one) and names what it refused.
TEST(SharedUsers, EditUserNeverRenamesALinkAnotherMemberPutInPlaceOfTheUserShown) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can run the program as two other accounts";
  Scratch share;
  ASSERT_EQ(0, ::chmod(share.Root().c_str(), 0755));
  const std::string users = share.Path("users/"), evil = users + "evil.svu";
  ASSERT_TRUE(plat::CreateDir(users));
  ASSERT_EQ(0, ::chown(users.c_str(), 0, kStudio));
  ASSERT_EQ(0, ::chmod(users.c_str(), 02770));
  ASSERT_TRUE(Studio::Write(evil, "[USER]\r\nFULL NAME=Evil\r\nPASSWORD=x\r\n"));
  ASSERT_EQ(0, ::chown(evil.c_str(), kBen, kStudio));
  ASSERT_EQ(0, ::chmod(evil.c_str(), 0660));

  Studio ann;
  ann.environment["HOME"] = ann.home;
  ann.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[FILES]", "PASSWORD=boss"});
  const std::string settings = ann.home + "Solvane.ini";
  ann.Answers({"OK", "Yes", "OK"});
  ann.RunAs(kAnn, kAnn, kStudio);
  ASSERT_TRUE(ann.Start({"S=" + users}));
  ann.Key("Ctrl+D");
  Await(ann, "TForm11");
  ann.Type("boss");
  ann.Key("Return");
  Await(ann, "TForm14");
  ann.Key("Tab");
  ann.Key("Down");
  ann.Key("Alt+E");
  Await(ann, "TForm16");

  ASSERT_EQ(0, ::unlink(evil.c_str()));
  ASSERT_EQ(0, ::symlink(settings.c_str(), evil.c_str()));
  ASSERT_EQ(0, ::lchown(evil.c_str(), kBen, kStudio));
  ann.Key("Tab");
  ann.Key("End");
  ann.Type("2");
  ann.Key("Return");
  Await(ann, "TForm16");
  ann.Key("Escape");
  Await(ann, "TForm14");
  ann.Key("Alt+C");
  Await(ann, "-");

  EXPECT_EQ((std::vector<std::string>{"Default.svu", "evil.svu"}), plat::ListFiles(users, "*")) << "renamed";
  EXPECT_EQ(plat::LinkAt::Untrusted, plat::LinkStandingAt(evil));
  EXPECT_EQ((std::vector<std::string>{
                kNoAdvanced,
                "message Confirm [Yes,No] \"You have changed the user name. Are you sure you want to do \\r\\nthis?\" "
                "-> Yes",
                Unreadable(evil, "it is a link another account made")}),
            ann.DialogLog());
}

TEST(SharedUsers, AUserRemovedMeanwhileIsNotMadeAgainByEditUserOrTheAssignmentsSave) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[Template 0]", "Name=News", "Lockout=3"});
  const std::string bob = s.home + "bob.svu", carl = s.home + "carl.svu";
  const auto gone = [](const std::string& user) {
    return "message Error [OK] \"The user " + user +
           " no longer exists: it was removed, perhaps on another workstation. Nothing was saved.\" -> OK";
  };
  ASSERT_TRUE(Studio::Write(bob, "[USER]\r\nFULL NAME=Bob\r\nPASSWORD=pw\r\n"));
  ASSERT_TRUE(Studio::Write(carl, "[USER]\r\nFULL NAME=Carl\r\nPASSWORD=pw\r\n"));
  s.Answers({"OK", "OK", "OK", "OK"});
  ASSERT_TRUE(s.Start());
  OpenManager(s);

  // bob removed while the edit dialog shows him, his full name changed: OK makes nothing, and
  // the manager lists the users the folder holds.
  s.Key("Tab");
  s.Key("Down");
  s.Key("Alt+E");
  Await(s, "TForm16");
  ASSERT_TRUE(plat::DeleteFile(bob));
  s.Key("End");
  s.Type("by");
  s.Key("Return");
  Await(s, "TForm14");
  EXPECT_FALSE(plat::FileExists(bob));

  // carl removed before the dialog opens: it says so instead of showing him without a password.
  s.Key("Down");
  ASSERT_TRUE(plat::DeleteFile(carl));
  s.Key("Alt+E");
  Await(s, "TForm14");
  EXPECT_FALSE(plat::FileExists(carl));

  // The assignment dialog's Save of a user removed after it loaded his list.
  ASSERT_TRUE(Studio::Write(bob, "[USER]\r\nFULL NAME=Bob\r\nPASSWORD=pw\r\n"));
  s.Key("Alt+S");
  Await(s, "TForm21");
  // Its lists load a moment after it shows; a Save before that writes nothing.
  ASSERT_TRUE(Studio::WaitFor([&] {
    s.Key("Alt+S");
    s.Sync();
    return Studio::Read(bob).find("[Template 249]") != std::string::npos;
  }));
  ASSERT_TRUE(plat::DeleteFile(bob));
  s.Key("Alt+S");
  Await(s, "TForm21");
  EXPECT_FALSE(plat::FileExists(bob));
  s.Key("Alt+C");
  Await(s, "TForm14");
  s.Key("Alt+C");
  Await(s, "-");
  EXPECT_EQ((std::vector<std::string>{kNoAdvanced, gone("bob"), gone("carl"), gone("bob")}), s.DialogLog());
}

TEST(SharedUsers, NothingAtAFilesNameHoldsTheProgramUpAndEachFileRefusedIsNamed) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  const std::string ini = s.home + "Solvane.ini", book = s.home + "email/address.dat";
  const std::string bob = s.home + "bob.svu", carl = s.home + "carl.svu", library = s.home + "Default.svu";
  // A FIFO has no writer: opened for reading as a file, it waits for good.
  ASSERT_TRUE(plat::DeleteFile(ini));
  ASSERT_EQ(0, ::mkfifo(ini.c_str(), 0600));
  ASSERT_TRUE(plat::ForceDirectories(s.home + "email"));
  ASSERT_EQ(0, ::mkfifo(book.c_str(), 0600));
  ASSERT_EQ(0, ::mkfifo(bob.c_str(), 0600));
  // 60 MB, none of it on the disk; and a library that never ends.
  ASSERT_TRUE(Studio::Write(carl, "[USER]\r\nPASSWORD=c\r\n"));
  ASSERT_EQ(0, ::truncate(carl.c_str(), 60 << 20));
  ASSERT_EQ(0, ::symlink("/dev/zero", library.c_str()));
  s.Answers({"OK", "OK", "OK", "OK", "OK", "OK"});
  ASSERT_TRUE(s.Start());
  EXPECT_EQ("empty", s.Sync().deck) << s.Output();

  LogIn(s, 1, "b");
  Await(s, "TForm10");
  s.Key("Escape");
  Await(s, "-");
  LogIn(s, 2, "c");
  Await(s, "TForm10");
  s.Key("Escape");
  Await(s, "-");
  s.Key("Ctrl+D");
  Await(s, "TForm14");
  Told(s, 6);
  s.Key("Alt+P");
  s.Key("Alt+C");
  Await(s, "-");

  EXPECT_EQ((std::vector<std::string>{
                Unreadable(book, "it is not a regular file", "Warning"),
                "message Warning [OK] \"Unable to read " + ini +
                    ": it is not a regular file. \\r\\nSolvane uses the default settings until it can be read.\" -> OK",
                Unreadable(bob, "it is not a regular file"), Unreadable(carl, "it is larger than 4 MB"), kNoAdvanced,
                Unreadable(library, "it is not a regular file")}),
            s.DialogLog());
  for (const std::string& fifo : {ini, book, bob}) EXPECT_TRUE(StatOf(fifo).fifo) << fifo;
  EXPECT_EQ(int64_t(60 << 20), plat::FileSize(carl));
  char target[64] = {};
  EXPECT_EQ(9, ::readlink(library.c_str(), target, sizeof target - 1));
  EXPECT_STREQ("/dev/zero", target);
  // A stop signal still ends it.
  ASSERT_EQ(0, ::kill(s.Pid(), SIGTERM));
  EXPECT_EQ(0, s.WaitExit());
}

// A folder at a list's name is named when the list is read, as a file that cannot be read; the
// manager's Close then has nothing to say, where it used to be the only word, "Unable to write".
TEST(SharedUsers, AFolderAtAListsNameIsNamedWhereTheListIsRead) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[Template 0]", "Name=News", "Lockout=3"});
  const std::string library = s.home + "Default.svu", book = s.home + "email/address.dat",
                    web = s.home + "postrel/dbfolder.dat";
  for (const std::string& folder : {library, book, web}) ASSERT_TRUE(plat::ForceDirectories(folder));
  s.Answers({"OK", "OK", "OK", "OK"});
  ASSERT_TRUE(s.Start());
  OpenManager(s);
  Told(s, 4);
  s.Key("Alt+P");
  s.Key("Alt+C");
  Await(s, "-");
  EXPECT_EQ((std::vector<std::string>{Unreadable(book, "it is a folder", "Warning"),
                                      Unreadable(web, "it is a folder", "Warning"), kNoAdvanced,
                                      Unreadable(library, "it is a folder")}),
            s.DialogLog());
  EXPECT_TRUE(plat::DirectoryExists(library));
  EXPECT_EQ(std::vector<std::string>{}, plat::ListFiles(s.home, ".*")) << "a library was begun beside the folder";
}
