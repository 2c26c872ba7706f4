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
