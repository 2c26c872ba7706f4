// Files the operator names: whatever stands at the name, the deck never waits on it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Studio.h"
#include "platform/system/files.h"

namespace {

// A message as the dialog log writes it.
std::string Logged(const std::string& kind, const std::string& text) {
  std::string t;
  for (char c : text) t += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
  return "message " + kind + " [OK] \"" + t + "\" -> OK";
}

}  // namespace

// A FIFO with nobody writing into it, chosen itself or through a link, would hold the open for
// ever: each is refused by name, and the cart chosen next loads.
TEST(NamedFiles, AFifoOrALinkToOneIsRefusedAsACartByNameAndTheDeckGoesOn) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  const std::string fifo = s.dir.Path("Fifo.wav"), link = s.dir.Path("Link.wav"), cart = s.dir.Path("Cart.wav");
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0644));
  ASSERT_EQ(0, ::symlink(fifo.c_str(), link.c_str()));
  ASSERT_TRUE(Studio::Write(cart, MakeWav(PcmFormat(32000, 1, 16), std::string(6400, '\x11'))));
  s.Answers({"file " + fifo, "OK", "file " + link, "OK", "file " + cart});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+A");
  const DeckView v = s.Sync();
  EXPECT_EQ(cart, v.file);
  EXPECT_EQ("stopped", v.deck);
  const std::string open = "file open \"Solvane - Open Wave File\" -> ";
  const std::vector<std::string> want = {
      Logged("Error", "Invalid WaveFile...\r\nUnable to read " + fifo + ": it is not a regular file."),
      open + fifo + " (refused)",
      Logged("Error", "Invalid WaveFile...\r\nUnable to read " + link + ": it is not a regular file."),
      open + link + " (refused)", open + cart};
  EXPECT_EQ(want, s.DialogLog());
}

// The time-left warning's sound is read when the warning starts, long after it was chosen: a FIFO
// put at its name since is told by name, and the take goes on.
TEST(NamedFiles, AWarningSoundThatBecameAFifoIsRefusedByNameWhileTheTakeGoesOn) {
  Studio s;
  const std::string fifo = s.dir.Path("Beep.wav");
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0644));
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=4", "[RECORDING OPTIONS]", "Time Remaining Warning=True",
              "Time=00:00:03", "Warning Wav=" + fifo});
  s.Answers({"OK"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  s.Key("F5");
  s.Run(1500);
  const std::string want = Logged("Warning", "Unable to read " + fifo + ": it is not a regular file.");
  EXPECT_TRUE(Studio::WaitFor([&] { return s.DialogLog() == std::vector<std::string>{want}; }))
      << ::testing::PrintToString(s.DialogLog());
  s.Run(500);
  s.Key("F4");
  const DeckView v = s.Sync();
  EXPECT_EQ("stopped", v.deck);
  EXPECT_EQ("00:00:02.000", v.pos) << "the take did not go on";
}

// A cart in a folder the operator shares with another account, who puts something else at its name
// after the load: a second name of the operator's own private file (where fs.protected_hardlinks
// is 0), then a file of theirs the operator may not write. Record writes into neither, and says what
// stands in its way instead of blaming the sound device.
TEST(NamedFiles, ACartSwappedAfterItsLoadIsNotRecordedIntoThroughAnotherNameAndSaysWhy) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can run the program as two other accounts";
  constexpr uid_t kAnn = 64101, kBen = 64102;
  constexpr gid_t kStudio = 64100;
  Scratch share;
  ASSERT_EQ(0, ::chmod(share.Root().c_str(), 0755));
  const std::string carts = share.Path("carts/"), cart = carts + "News.wav";
  ASSERT_TRUE(plat::CreateDir(carts));
  ASSERT_EQ(0, ::chown(carts.c_str(), 0, kStudio));
  ASSERT_EQ(0, ::chmod(carts.c_str(), 02770));
  const WAVEFORMATEX f = PcmFormat(32000, 1, 16);
  ASSERT_TRUE(Studio::Write(cart, MakeWav(f, std::string(6400, '\x11'))));
  ASSERT_EQ(0, ::chown(cart.c_str(), kAnn, kStudio));
  ASSERT_EQ(0, ::chmod(cart.c_str(), 0660));

  Studio s;
  s.environment["HOME"] = s.home;
  const std::string secret = s.home + "Interview.wav", secretBytes = MakeWav(f, std::string(6400, '\x22'));
  ASSERT_TRUE(Studio::Write(secret, secretBytes));
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.Answers({"file " + cart, "OK", "OK"});
  s.RunAs(kAnn, kAnn, kStudio);
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+A");
  ASSERT_EQ("stopped", s.Sync().deck);
  const auto recordTried = [&] {
    s.Key("F5");
    s.Run(300);
    s.Key("F4");
    return s.Sync();
  };

  ASSERT_EQ(0, ::rename(cart.c_str(), (carts + "News-old.wav").c_str()));
  ASSERT_EQ(0, ::link(secret.c_str(), cart.c_str()));
  EXPECT_EQ("stopped", recordTried().deck);
  EXPECT_TRUE(Studio::Read(secret) == secretBytes) << "recorded into the private file";

  ASSERT_EQ(0, ::unlink(cart.c_str()));
  const std::string theirs = MakeWav(f, std::string(6400, '\x33'));
  ASSERT_TRUE(Studio::Write(cart, theirs));
  ASSERT_EQ(0, ::chown(cart.c_str(), kBen, kBen));
  ASSERT_EQ(0, ::chmod(cart.c_str(), 0644));
  EXPECT_EQ("stopped", recordTried().deck);
  EXPECT_TRUE(Studio::Read(cart) == theirs);

  const std::vector<std::string> want = {
      "file open \"Solvane - Open Wave File\" -> " + cart,
      Logged("Error", "The file of this cart, " + cart +
                          ", has another name as well (a second hard link, such as a backup made with cp -al leaves). "
                          "Recording into it would change the file under that name too, so Solvane does not record "
                          "into it.\r\n\r\nRemove the other name and record again."),
      Logged("Error", "Solvane cannot record into " + cart + ": Permission denied.")};
  EXPECT_EQ(want, s.DialogLog());
}
