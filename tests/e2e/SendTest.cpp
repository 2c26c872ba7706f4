// Sending a cart's file through the e-mail and Web/FTP programs, played here by scripts: what
// each is handed, and that nothing they do can hold up the deck.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Studio.h"
#include "platform/system/files.h"
#include "recorder/Sending.h"

namespace {

// Keys reach the window in front, so each step waits for the window it needs.
void Await(Studio& s, const std::string& modal) {
  s.SyncUntil([&](const DeckView& d) { return d.modal == modal; }, modal + " in front");
}

// Installs a program of the program folder as a shell script.
void Program(Studio& s, const std::string& name, const std::string& body) {
  const std::string path = s.home + name;
  ASSERT_TRUE(Studio::Write(path, "#!/bin/sh\n" + body + "\n"));
  ASSERT_EQ(0, ::chmod(path.c_str(), 0755));
}

// A studio with one address-book entry and a short cart to send.
std::string SendingStudio(Studio& s, const std::string& cartName) {
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[POSTREL IN]", "PATH=" + s.dir.Path("drop")});
  EXPECT_TRUE(plat::ForceDirectories(s.home + "email"));
  EXPECT_TRUE(Studio::Write(s.home + AddressBookFile, "News;in\r\n"));
  const std::string cart = s.dir.Path("carts/" + cartName);
  EXPECT_TRUE(plat::ForceDirectories(s.dir.Path("carts")));
  EXPECT_TRUE(Studio::Write(cart, MakeWav(PcmFormat(32000, 1, 16), std::string(6400, '\x11'))));
  return cart;
}

// Sends the loaded cart to the address book's first entry.
void SendByEmail(Studio& s) {
  s.Key("Alt+M");
  Await(s, "TForm2");
  s.Key("Return");
  Await(s, "-");
}

// A message as the dialog log writes it.
std::string Logged(const std::string& kind, const std::string& text) {
  std::string t;
  for (char c : text) t += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
  return "message " + kind + " [OK] \"" + t + "\" -> OK";
}

// The scripts mark a step by a file named <step>.<their process id>, made whole at once. Waits for
// the mark and returns its path (empty when it never came).
std::string AwaitMark(const std::string& folder, const std::string& step) {
  std::string mark;
  Studio::WaitFor([&] {
    const std::vector<std::string> found = plat::ListFiles(folder, step + ".*", true);
    if (found.size() == 1) mark = folder + found[0];
    return !mark.empty();
  });
  return mark;
}

// Waits until the script that made the mark has ended and is gone.
bool AwaitEnd(const std::string& mark) {
  const pid_t pid = pid_t(std::stol(mark.substr(mark.rfind('.') + 1)));
  return Studio::WaitFor([&] { return ::kill(pid, 0) != 0; });
}

}  // namespace

// The first program reads its order after a while, as a real one busy with its start might: a
// second Send meanwhile must neither change that order nor go unannounced, also when it comes
// from the next run of the deck after a power cut, whose start leaves the order in place.
TEST(Send, ASecondSendWhileTheEmailProgramRunsIsRefusedAndTheFirstSendsItsOwnFile) {
  for (const bool restarted : {false, true}) {
    SCOPED_TRACE(restarted ? "the deck started again" : "the same run");
    Studio s;
    const std::string first = SendingStudio(s, "First.wav"), second = s.dir.Path("carts/Second.wav");
    ASSERT_TRUE(Studio::Write(second, Studio::Read(first)));
    const std::string out = s.dir.Path("helper/");
    ASSERT_TRUE(plat::ForceDirectories(out));
    Program(s, EmailProgramName,
            "order=\"${2#File=}\"\ntouch '" + out + "started.'$$\nwhile [ ! -e '" + out + "go' ] && [ -d '" +
                out + "' ]; do sleep 0.01; done\ncp \"$order\" '" + out + "part' && mv '" + out + "part' '" + out +
                "sent.'$$");
    s.Answers({"file " + first, "file " + second, "OK"});
    ASSERT_TRUE(s.Start());
    s.Key("Ctrl+A");
    ASSERT_EQ(first, s.Sync().file);
    SendByEmail(s);
    const std::string mail = s.home + MailFileName;
    ASSERT_NE("", AwaitMark(out, "started")) << "the program never started";

    if (restarted) {
      s.Kill();
      s.Answers({"file " + second, "OK"});
      ASSERT_TRUE(s.Start());
      s.Sync();
      EXPECT_EQ("[" + first + "]", Studio::Read(mail)) << "the start removed the order";
    } else {
      s.Key("F7");
    }
    s.Key("Ctrl+A");
    ASSERT_EQ(second, s.Sync().file);
    s.Key("Alt+M");
    if (s.Sync().modal == "TForm2") {
      ADD_FAILURE() << "the second Send was taken while the first program ran";
      s.Key("Escape");
    }
    EXPECT_EQ("[" + first + "]", Studio::Read(mail));

    ASSERT_TRUE(Studio::Write(out + "go", ""));
    const std::string sent = AwaitMark(out, "sent");
    ASSERT_NE("", sent);
    EXPECT_EQ("[" + first + "]", Studio::Read(sent)) << "the first program sent another file";
    ASSERT_TRUE(AwaitEnd(sent));

    // Once it has ended, the next Send is taken.
    s.Key("Alt+M");
    Await(s, "TForm2");
    EXPECT_EQ("[" + second + "]", Studio::Read(mail));
    s.Key("Escape");
    Await(s, "-");
    const std::vector<std::string> want = {
        "file open \"Solvane - Open Wave File\" -> " + first, "file open \"Solvane - Open Wave File\" -> " + second,
        Logged("Error", EmailProgramBusyText)};
    EXPECT_EQ(want, s.DialogLog());
  }
}

// A name with a line break would end the line of an order early, and what stood before the break
// would be a complete order for another file: such a file is not sent. (The Web/FTP road, which
// no key reaches, refuses it the same way: tests/recorder/SendingTest.)
TEST(Send, AFileWhoseNameHoldsALineBreakIsNotSent) {
  Studio s;
  SendingStudio(s, "unused.wav");
  Program(s, EmailProgramName, "touch '" + s.dir.Path("email ran") + "'");
  // A take of that name left in the temporary folder is loaded for review at the start.
  ASSERT_TRUE(plat::ForceDirectories(s.deckTemp));
  ASSERT_EQ(0, ::chmod(s.deckTemp.c_str(), 0700));
  ASSERT_TRUE(Studio::Write(s.deckTemp + "News]\n[Promo.wav", MakeWav(PcmFormat(32000, 1, 16), std::string(640, 'x'))));
  s.Answers({"OK", "OK"});
  ASSERT_TRUE(s.Start());
  ASSERT_EQ("BYNAME", s.Sync().kind);
  s.Key("Alt+M");
  const std::string modal = s.Sync().modal;
  EXPECT_EQ("-", modal) << "the e-mail dialog opened";
  if (modal != "-") {
    s.Key("Return");
    Await(s, "-");
  }
  EXPECT_FALSE(plat::FileExists(s.home + MailFileName));
  EXPECT_FALSE(plat::FileExists(s.dir.Path("email ran")));
  const std::vector<std::string> log = s.DialogLog();
  ASSERT_EQ(2u, log.size()) << ::testing::PrintToString(log);
  EXPECT_EQ(Logged("Error", UnsendableNameText), log[1]);
}

// The program's output is a pipe that nobody reads and that is already full, as a service
// manager's or a terminal's may be. A program that prints 50 MB finishes, and the deck answers
// throughout: neither writes into that pipe and waits.
TEST(Send, AProgramThatPrintsMoreThanAnyoneReadsNeverHoldsUpTheDeck) {
  Studio s;
  const std::string cart = SendingStudio(s, "Take.wav");
  const std::string out = s.dir.Path("helper/");
  ASSERT_TRUE(plat::ForceDirectories(out));
  Program(s, EmailProgramName, "yes 0123456789 | head -c 52428800 && touch '" + out + "printed.'$$");
  int fds[2];
  ASSERT_EQ(0, ::pipe2(fds, O_CLOEXEC | O_NONBLOCK));
  const std::string block(65536, 'x');
  while (::write(fds[1], block.data(), block.size()) > 0) {}
  ASSERT_EQ(0, ::fcntl(fds[1], F_SETFL, 0)) << "the program gets the pipe as a blocking one";
  s.outputFd = fds[1];
  s.Answers({"file " + cart});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+A");
  ASSERT_EQ(cart, s.Sync().file);
  SendByEmail(s);
  const std::string printed = AwaitMark(out, "printed");
  ASSERT_NE("", printed) << "the program was held up";
  ASSERT_TRUE(AwaitEnd(printed));
  s.Key("Alt+M");
  Await(s, "TForm2");
  s.Key("Escape");
  Await(s, "-");
  s.Kill();
  ::close(fds[0]);
  ::close(fds[1]);
}

// The e-mail program as it may be found in the program folder: not executable, not a program, or
// one that fails. Each is named with the reason; a send that did not start leaves no order behind,
// and one that failed is told when the program ends.
TEST(Send, AnEmailProgramThatCannotRunOrFailsIsNamedWithTheReason) {
  Studio s;
  const std::string cart = SendingStudio(s, "Take.wav");
  const std::string program = s.home + EmailProgramName, mail = s.home + MailFileName;
  // There when the cart is loaded, so Send is offered.
  ASSERT_TRUE(Studio::Write(program, "#!/bin/sh\n"));
  ASSERT_EQ(0, ::chmod(program.c_str(), 0644));
  s.Answers({"file " + cart, "OK", "OK", "OK"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+A");
  ASSERT_EQ(cart, s.Sync().file);
  const auto sendRefused = [&] {
    s.Key("Alt+M");
    Await(s, "TForm2");
    s.Key("Return");
    s.Sync();
    s.Key("Escape");
    Await(s, "-");
  };
  sendRefused();
  EXPECT_FALSE(plat::FileExists(mail)) << "an order that nothing will read";
  ASSERT_TRUE(Studio::Write(program, "just words\n"));
  ASSERT_EQ(0, ::chmod(program.c_str(), 0755));
  sendRefused();
  EXPECT_FALSE(plat::FileExists(mail));
  Program(s, EmailProgramName, "exit 3");
  SendByEmail(s);
  ASSERT_TRUE(Studio::WaitFor([&] { return s.DialogLog().size() == 4; })) << ::testing::PrintToString(s.DialogLog());
  const std::vector<std::string> want = {
      "file open \"Solvane - Open Wave File\" -> " + cart,
      Logged("Error", "Error calling e-mail program " + program +
                          ": it may not be run (Permission denied): it is not marked executable, or its file system "
                          "lets no program run."),
      Logged("Error", "Error calling e-mail program " + program +
                          ": it is not a program (Exec format error): neither a program for this computer nor a "
                          "script that starts with #!."),
      Logged("Error",
             "The e-mail program " + program + " ended with an error (exit code 3): the file may not have been sent.")};
  EXPECT_EQ(want, s.DialogLog());
}
