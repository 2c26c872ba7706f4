#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/system/files.h"
#include "recorder/Sending.h"
#include "tests/common/scratch.h"
#include "tests/recorder/fake_user_deck.h"

namespace {

std::string Contents(const std::string& path) {
  std::string text;
  plat::ReadWholeFile(path, text);
  return text;
}

class Send : public ::testing::Test {
protected:
  Send() : deck(dir.Root() + "/") {
    deck.settings.postrelInPath = Folder() + "postrel/in";
    deck.cartFile = Folder() + "carts/My Take.wav";
    plat::ForceDirectories(Folder() + "carts");
    plat::WriteWholeFile(deck.cartFile, "RIFF");
  }
  std::string Folder() const { return dir.Root() + "/"; }
  void InstallPrograms() {
    ASSERT_TRUE(plat::WriteWholeFile(Folder() + EmailProgramName, "#!/bin/sh\n"));
    ASSERT_TRUE(plat::WriteWholeFile(Folder() + WebProgramName, "#!/bin/sh\n"));
  }
  Scratch dir;
  FakeUserDeck deck;
};

}  // namespace

TEST(Sending, AddressBookLinesAndTheirLimits) {
  std::vector<TAddressEntry> book = ParseAddressBook("news;in,out\r\nsales@example.com;a\nx;\r\nlast;z");
  ASSERT_EQ(book.size(), 3u);  // the last line has no line end
  EXPECT_EQ(book[0].destination, "news");
  EXPECT_EQ(book[0].folders, (std::vector<std::string>{"in", "out"}));
  EXPECT_EQ(book[0].line, "news;in,out");
  EXPECT_EQ(book[1].destination, "sales@example.com");
  EXPECT_EQ(EntryFolders(book[2]), std::vector<std::string>{});

  std::string many;
  for (int i = 0; i < 60; ++i) many += "d" + std::to_string(i) + ";f\r\n";
  EXPECT_EQ(ParseAddressBook(many).size(), size_t(AddressBookEntries));
  std::string folders = "d;";
  for (int i = 0; i < 60; ++i) folders += "f" + std::to_string(i) + ",";
  EXPECT_EQ(ParseAddressBook(folders + "\r\n")[0].folders.size(), size_t(AddressBookFolders));

  // The dialog's lists stop at the first empty entry.
  book = ParseAddressBook("a;1,,3\r\n;x\r\nb;2\r\n");
  EXPECT_EQ(AddressDestinations(book), std::vector<std::string>{"a"});
  EXPECT_EQ(EntryFolders(book[0]), std::vector<std::string>{"1"});

  EXPECT_EQ(WebDestinations(SplitLines("  ; comment;x\r\nFTP One;ftp://a\r\nno semicolon\n"
                                       "Web;;\r\n;also\r\nlast;")),
            (std::vector<std::string>{"FTP One", "Web", "last"}));
}

TEST(Sending, EmailAddressRules) {
  for (const char* good : {"a@b.cd", "first.last@example.com", "x_y-z+1@mail.example.org", "A1@B2.C3"})
    EXPECT_TRUE(IsValidEmailAddress(good)) << good;
  for (const char* bad :
       {"a@b.c", "ab.cde", "a@@b.cd", "a@b@c.de", "@abc.de", "abcde.f@", "a.@bc.de", ".a@bc.de", "a b@cd.ef", "a@bcdef",
        "a@.bcde", "a@bcde.", "ab[c@de.fg", "a..b@cd.ef", "ab~c@de.fg", "a\xc3\xa9@bc.de"})
    EXPECT_FALSE(IsValidEmailAddress(bad)) << bad;
  // What addresses allow below "A" passes; from "A" upward only letters and "_" do.
  for (const char* good : {"o'brien@example.com", "a!#$%&*+/=?-b@ex.co", "_x@a-b.example"})
    EXPECT_TRUE(IsValidEmailAddress(good)) << good;
  for (const char* bad :
       {"a^b@cd.ef", "a`b@cd.ef", "a{b}@cd.ef", "a|b@cd.ef", "a\\b@cd.ef", "a]b@cd.ef", "ab@cd.e\x7f", "ab@c_d.ef"})
    EXPECT_FALSE(IsValidEmailAddress(bad)) << bad;
  // Below "A", what addresses forbid unquoted; and host names as hosts are named.
  for (const char* bad : {"a\"b@cd.ef", "a(b)@cd.ef", "a,b@cd.ef", "a:b@cd.ef", "a;b@cd.ef", "a<b>@cd.ef", "a\tb@cd.ef",
                          "ab@cd.ef\n", "ab@-cd.ef", "ab@cd-.ef", "ab@cd..ef", "ab@cd!.ef", "ab@c'd.ef"})
    EXPECT_FALSE(IsValidEmailAddress(bad)) << bad;
}

TEST(Sending, CommandLinesAndOrderFiles) {
  EXPECT_EQ(EmailArguments("/srv/rec/", " news ", " in "),
            (std::vector<std::string>{"To=news", "File=/srv/rec/mail.txt", "Folder=in", "Root=/srv/rec"}));
  // A quote or blank stays inside its own argument.
  EXPECT_EQ(EmailArguments("/my rec/", "a\"b", "c d")[0], "To=a\"b");
  EXPECT_EQ(WebArguments(), (std::vector<std::string>{"/x", "/PEXE"}));

  const std::string dat = WebOrderDat("take.wav", "FTP One");
  std::vector<std::string> lines;
  for (size_t at = 0, next; (next = dat.find("\r\n", at)) != std::string::npos; at = next + 2)
    lines.push_back(dat.substr(at, next - at));
  ASSERT_EQ(lines.size(), size_t(WebOrderLines));
  EXPECT_EQ(dat.size(), 22u * 2 + 8 + 7);
  EXPECT_EQ(lines[2], "take.wav");
  EXPECT_EQ(lines[5], "FTP One");
  // Line breaks in a name cannot move the destination to another line.
  EXPECT_EQ(WebOrderDat("a\r\nb", "d").substr(4, 7), "a  b\r\n\r");

  EXPECT_EQ(WebOrderPath("/drop", "/carts/My Take.wav", ".dat"), "/drop/My Take.dat");
  EXPECT_EQ(WebOrderPath("/drop/", "/carts/take", ".txt"), "/drop/take.txt");
}

TEST_F(Send, EmailRoad) {
  // Without the program nothing is written.
  EXPECT_FALSE(PrepareEmail(deck));
  EXPECT_EQ(deck.LastText(), "Email program is not present. Please contact technical support.");
  EXPECT_FALSE(plat::FileExists(Folder() + "mail.txt"));
  EXPECT_FALSE(EmailProgramPresent(Folder()));
  InstallPrograms();
  EXPECT_TRUE(EmailProgramPresent(Folder()));
  EXPECT_TRUE(WebProgramPresent(Folder()));

  ASSERT_TRUE(PrepareEmail(deck));
  EXPECT_EQ(Contents(Folder() + "mail.txt"), "[" + deck.cartFile + "]");

  deck.users.sendLists.addressBook = ParseAddressBook("News Desk;in,out\r\n");
  EXPECT_FALSE(SendEmail(deck, "News Desk", "  "));
  EXPECT_EQ(deck.LastText(), "No folder specified!");
  EXPECT_FALSE(SendEmail(deck, "nobody", "in"));
  EXPECT_EQ(deck.LastText(), "E-Mail address is not valid! ");
  EXPECT_TRUE(deck.started.empty());

  EXPECT_TRUE(SendEmail(deck, " news desk ", "out"));  // a listed alias, in any case
  ASSERT_EQ(deck.started.size(), 1u);
  EXPECT_EQ(deck.started[0].path, Folder() + EmailProgramName);
  EXPECT_EQ(deck.started[0].order, Folder() + "mail.txt");
  EXPECT_TRUE(SendEmail(deck, "o'brien@example.com", "in"));
  EXPECT_EQ(deck.started.back().args[0], "To=o'brien@example.com");

  // The program tells how it ended; an end without an error is not told.
  ASSERT_TRUE(deck.started.back().ended);
  const size_t shown = deck.shown.size();
  deck.started.back().ended(plat::ProcessEnd{});
  EXPECT_EQ(deck.shown.size(), shown);
  deck.started.back().ended(plat::ProcessEnd{3, 0, ""});
  EXPECT_EQ(deck.LastText(), "The e-mail program " + Folder() +
                                 "email-send ended with an error (exit code 3): the file may not have been sent.");
  deck.started.back().ended(plat::ProcessEnd{0, 9, "Killed"});
  EXPECT_EQ(deck.LastText(), "The e-mail program " + Folder() +
                                 "email-send was ended by signal 9 (Killed): the file may not have been sent.");

  // A program that cannot start is named with the reason, and its order is not left behind.
  deck.startSucceeds = false;
  deck.startError = ENOEXEC;
  ASSERT_TRUE(plat::FileExists(Folder() + "mail.txt"));
  EXPECT_FALSE(SendEmail(deck, "ed@example.com", "in"));
  EXPECT_EQ(deck.LastText(), "Error calling e-mail program " + Folder() +
                                 "email-send: it is not a program (Exec format error): neither a program for this "
                                 "computer nor a script that starts with #!.");
  EXPECT_FALSE(plat::FileExists(Folder() + "mail.txt"));

  // A cart whose file went away is ejected, and no mail file is written for it.
  plat::DeleteFile(Folder() + "mail.txt");
  plat::DeleteFile(deck.cartFile);
  const std::string gone = deck.cartFile;
  EXPECT_FALSE(PrepareEmail(deck));
  EXPECT_EQ(deck.shown.back().kind, TNoticeKind::Information);
  EXPECT_EQ(deck.LastText(), "Sorry, it appears this file " + gone + " is no longer available.");
  EXPECT_EQ(deck.ejects, 1);
  EXPECT_FALSE(plat::FileExists(Folder() + "mail.txt"));
  EXPECT_FALSE(PrepareEmail(deck));  // an empty path included
  EXPECT_EQ(deck.LastText(), "Sorry, it appears this file  is no longer available.");
}

TEST_F(Send, WebRoadWritesBothOrdersBeforeTheProgramStarts) {
  EXPECT_FALSE(PrepareWeb(deck));
  EXPECT_EQ(deck.LastText(), "Web\\FTP program is not present. Please contact technical support.");
  InstallPrograms();
  ASSERT_TRUE(PrepareWeb(deck));
  EXPECT_FALSE(ChooseWebDestination(deck, "  "));
  EXPECT_EQ(deck.LastText(), "No folder specified!");
  ASSERT_TRUE(ChooseWebDestination(deck, "FTP One"));

  const std::string dat = Folder() + "postrel/in/My Take.dat";
  const std::string txt = Folder() + "postrel/in/My Take.txt";
  bool bothThere = false;
  deck.onStart = [&] { bothThere = plat::FileExists(dat) && plat::FileExists(txt); };
  deck.settings.postrelLaunch = true;
  ASSERT_TRUE(SendWeb(deck));
  ASSERT_EQ(deck.started.size(), 1u);
  EXPECT_TRUE(bothThere);
  EXPECT_EQ(deck.started[0].path, Folder() + WebProgramName);
  EXPECT_EQ(deck.started[0].args, WebArguments());
  EXPECT_EQ(Contents(dat), WebOrderDat("My Take.wav", "FTP One"));
  EXPECT_EQ(Contents(txt), "[" + deck.cartFile + "]");

  deck.started.back().ended(plat::ProcessEnd{1, 0, ""});
  EXPECT_EQ(deck.LastText(), "The Web\\FTP program " + Folder() +
                                 "postrel-send ended with an error (exit code 1): the file may not have been sent.");

  deck.startSucceeds = false;
  EXPECT_FALSE(SendWeb(deck));
  EXPECT_EQ(deck.LastText(), "Error calling Web\\FTP program " + Folder() +
                                 "postrel-send: it may not be run (Permission denied): it is not marked executable, "
                                 "or its file system lets no program run.");
  EXPECT_FALSE(plat::FileExists(dat)) << "an order nothing will read";
  EXPECT_FALSE(plat::FileExists(txt));

  // With launching off the orders are written and nothing is started.
  deck.settings.postrelLaunch = false;
  EXPECT_TRUE(SendWeb(deck));
  EXPECT_EQ(deck.started.size(), 2u);
  EXPECT_TRUE(plat::FileExists(dat));
  EXPECT_TRUE(plat::FileExists(txt));

  // A drop folder that cannot be made is reported, and nothing is started.
  deck.settings.postrelLaunch = true;
  deck.settings.postrelInPath = deck.cartFile + "/in";
  EXPECT_FALSE(SendWeb(deck));
  EXPECT_EQ(deck.LastText(), "Cannot create file " + deck.cartFile + "/in/My Take.txt");
  EXPECT_EQ(deck.started.size(), 2u);
}

// A program may end after the deck it was started from is gone: what it tells then goes nowhere.
TEST(Sending, AProgramsEndAfterItsDeckIsGoneIsToldToNobody) {
  Scratch dir;
  TNotify later;
  {
    FakeUserDeck deck(dir.Root() + "/");
    later = deck.LaterNotifier();
    later(TNoticeKind::Error, "while the deck is there");
    EXPECT_EQ(deck.LastText(), "while the deck is there");
  }
  later(TNoticeKind::Error, "after it has gone");
}

TEST(Sending, ListsThatCannotBeReadAreNamedAndGiveNothing) {
  Scratch dir;
  const std::string folder = dir.Root() + "/";
  ASSERT_TRUE(plat::ForceDirectories(folder + "email") && plat::ForceDirectories(folder + "postrel"));
  ASSERT_TRUE(plat::WriteWholeFile(folder + AddressBookFile, "news;in,out\r\n"));
  ASSERT_TRUE(plat::WriteWholeFile(folder + WebListFile, "FTP1;x\r\n"));
  std::vector<std::string> told;
  const TNotify notify = [&](TNoticeKind, const std::string& t) { told.push_back(t); };
  TSendLists lists = LoadSendLists(folder, notify);
  EXPECT_TRUE(told.empty());
  ASSERT_EQ(lists.addressBook.size(), 1u);
  EXPECT_EQ(WebDestinations(lists.webList), std::vector<std::string>{"FTP1"});

  // A FIFO with no writer would hold the start for good; a list grown past any real one would
  // fill the memory.
  ASSERT_TRUE(plat::DeleteFile(folder + AddressBookFile));
  ASSERT_EQ(::mkfifo((folder + AddressBookFile).c_str(), 0600), 0);
  ASSERT_EQ(::truncate((folder + WebListFile).c_str(), plat::SmallFileLimit + 1), 0);
  lists = LoadSendLists(folder, notify);
  EXPECT_TRUE(lists.addressBook.empty());
  EXPECT_TRUE(lists.webList.empty());
  EXPECT_EQ(told, (std::vector<std::string>{
                      "Unable to read " + folder + AddressBookFile + ": it is not a regular file.",
                      "Unable to read " + folder + WebListFile + ": it is larger than 4 MB."}));

  // A folder at either name holds no list either.
  told.clear();
  for (const char* list : {AddressBookFile, WebListFile}) {
    ASSERT_TRUE(plat::DeleteFile(folder + list));
    ASSERT_TRUE(plat::CreateDir(folder + list));
  }
  lists = LoadSendLists(folder, notify);
  EXPECT_TRUE(lists.addressBook.empty());
  EXPECT_TRUE(lists.webList.empty());
  EXPECT_EQ(told, (std::vector<std::string>{"Unable to read " + folder + AddressBookFile + ": it is a folder.",
                                            "Unable to read " + folder + WebListFile + ": it is a folder."}));
}

// While the program started for the last send runs, its order stays as it was: the next send on
// that road is refused with a message, and the other road is free. An exit then keeps the mail
// file the e-mail program may not have read yet.
TEST_F(Send, ASendWhileTheLastOnesProgramRunsIsRefused) {
  InstallPrograms();
  deck.users.sendLists.addressBook = ParseAddressBook("News;in\r\n");
  ASSERT_TRUE(PrepareEmail(deck));
  ASSERT_TRUE(SendEmail(deck, "News", "in"));
  *deck.programRuns = true;
  const std::string mail = Folder() + MailFileName, order = Contents(mail);
  deck.cartFile = Folder() + "carts/Other.wav";
  ASSERT_TRUE(plat::WriteWholeFile(deck.cartFile, "RIFF"));
  EXPECT_FALSE(PrepareEmail(deck));
  EXPECT_EQ(deck.LastText(), EmailProgramBusyText);
  EXPECT_EQ(Contents(mail), order);
  DeleteMailFile(deck.users);
  EXPECT_EQ(Contents(mail), order) << "removed under the running program";

  ASSERT_TRUE(PrepareWeb(deck));
  ASSERT_TRUE(ChooseWebDestination(deck, "FTP One"));
  ASSERT_TRUE(SendWeb(deck));
  EXPECT_FALSE(PrepareWeb(deck));
  EXPECT_EQ(deck.LastText(), WebProgramBusyText);

  *deck.programRuns = false;
  EXPECT_TRUE(PrepareEmail(deck));
  EXPECT_EQ(Contents(mail), "[" + deck.cartFile + "]");
  EXPECT_TRUE(PrepareWeb(deck));
  DeleteMailFile(deck.users);
  EXPECT_FALSE(plat::FileExists(mail));
}

// The e-mail program started by an earlier run of the deck is known by the lock it holds on its
// order (held here by the test): that order stays as it was, and a send waits as for this run's
// own program.
TEST_F(Send, AnOrderLockedByAnEarlierRunsProgramStaysAsItWas) {
  InstallPrograms();
  ASSERT_TRUE(PrepareEmail(deck));
  const std::string mail = Folder() + MailFileName, order = Contents(mail);
  const int held = plat::OpenSharedLock(mail);
  ASSERT_GE(held, 0);
  DeleteMailFile(deck.users);
  EXPECT_EQ(Contents(mail), order) << "removed under the running program";
  deck.cartFile = Folder() + "carts/Other.wav";
  ASSERT_TRUE(plat::WriteWholeFile(deck.cartFile, "RIFF"));
  EXPECT_FALSE(PrepareEmail(deck));
  EXPECT_EQ(deck.LastText(), EmailProgramBusyText);
  EXPECT_EQ(Contents(mail), order);

  plat::CloseDescriptor(held);
  EXPECT_TRUE(PrepareEmail(deck));
  EXPECT_EQ(Contents(mail), "[" + deck.cartFile + "]");
  DeleteMailFile(deck.users);
  EXPECT_FALSE(plat::FileExists(mail));
}

// A path with a line break would split every order that names it, its first line naming another
// file: neither road takes it, and nothing is written.
TEST_F(Send, AFileWhosePathHoldsALineBreakIsRefusedByBothRoads) {
  InstallPrograms();
  for (const char* name : {"News]\n[Promo.wav", "a\rb.wav"}) {
    deck.cartFile = Folder() + "carts/" + name;
    ASSERT_TRUE(plat::WriteWholeFile(deck.cartFile, "RIFF"));
    EXPECT_FALSE(PrepareEmail(deck));
    EXPECT_EQ(deck.LastText(), UnsendableNameText);
    EXPECT_FALSE(PrepareWeb(deck));
    EXPECT_EQ(deck.LastText(), UnsendableNameText);
  }
  EXPECT_FALSE(plat::FileExists(Folder() + MailFileName));
  EXPECT_EQ(deck.ejects, 0);
}

// An order never writes into what stands at its name: a second name of the operator's saved take (as
// another account may give one in a shared drop folder), or a file of another account's, keeps what it
// held, and the order is a new file of its own. A link of the operator's is followed to the file it
// names; one another account made is not.
TEST_F(Send, AnOrderIsANewFileAndNothingAtItsNameIsWrittenInto) {
  InstallPrograms();
  const std::string take = Folder() + "carts/Saved take.wav", mail = Folder() + MailFileName;
  const std::string txt = Folder() + "postrel/in/My Take.txt", dat = Folder() + "postrel/in/My Take.dat";
  const std::string theirs = Folder() + "postrel/theirs.dat";
  ASSERT_TRUE(plat::WriteWholeFile(take, "RIFF and the take"));
  ASSERT_TRUE(plat::ForceDirectories(Folder() + "postrel/in"));
  ASSERT_TRUE(plat::WriteWholeFile(theirs, "another account's"));
  ASSERT_EQ(::link(take.c_str(), mail.c_str()), 0);
  ASSERT_EQ(::link(take.c_str(), txt.c_str()), 0);
  ASSERT_EQ(::link(theirs.c_str(), dat.c_str()), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
  }

  ASSERT_TRUE(PrepareEmail(deck));
  ASSERT_TRUE(ChooseWebDestination(deck, "FTP One"));
  ASSERT_TRUE(SendWeb(deck));
  EXPECT_EQ(Contents(take), "RIFF and the take");
  EXPECT_EQ(Contents(theirs), "another account's");
  EXPECT_EQ(Contents(mail), "[" + deck.cartFile + "]");
  EXPECT_EQ(Contents(txt), "[" + deck.cartFile + "]");
  EXPECT_EQ(Contents(dat), WebOrderDat("My Take.wav", "FTP One"));
  for (const std::string& order : {mail, txt, dat}) {
    struct stat st {};
    ASSERT_EQ(::lstat(order.c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u) << order;
    EXPECT_EQ(st.st_uid, ::geteuid()) << order;
  }
  EXPECT_EQ(plat::ListFiles(Folder() + "postrel/in", "*"), (std::vector<std::string>{"My Take.dat", "My Take.txt"}));

  // A FIFO at an order's name is never replaced, nor waited on.
  ASSERT_TRUE(plat::DeleteFile(txt));
  ASSERT_EQ(::mkfifo(txt.c_str(), 0600), 0);
  EXPECT_FALSE(SendWeb(deck));
  EXPECT_EQ(deck.LastText(), "Cannot create file " + txt);
  struct stat fifo {};
  EXPECT_TRUE(::lstat(txt.c_str(), &fifo) == 0 && S_ISFIFO(fifo.st_mode));

  // A link of ours leads the order to the file it names, which is replaced; the link stays.
  const std::string named = Folder() + "orders/mail.txt";
  ASSERT_TRUE(plat::ForceDirectories(Folder() + "orders"));
  ASSERT_TRUE(plat::WriteWholeFile(named, "an earlier order"));
  ASSERT_TRUE(plat::DeleteFile(mail));
  ASSERT_EQ(::symlink(named.c_str(), mail.c_str()), 0);
  ASSERT_TRUE(PrepareEmail(deck));
  EXPECT_EQ(Contents(named), "[" + deck.cartFile + "]");
  EXPECT_EQ(plat::LinkStandingAt(mail), plat::LinkAt::Trusted);
  if (!root) return;  // only root can give a link away
  ASSERT_EQ(::lchown(mail.c_str(), 65534, 65534), 0);
  ASSERT_TRUE(plat::WriteWholeFile(named, "kept"));
  EXPECT_FALSE(PrepareEmail(deck));
  EXPECT_EQ(deck.LastText(), "Cannot create file " + mail);
  EXPECT_EQ(Contents(named), "kept");
}
