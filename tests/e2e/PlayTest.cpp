// Playing a cart the sound device cannot take.
#include <gtest/gtest.h>

#include "Studio.h"

// An A-law cart loads, and Play tells the operator in the device's own words why it does not play:
// no name of a device call, no stray line break.
TEST(Play, ACartTheDeviceCannotPlayIsToldInPlainWords) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  WAVEFORMATEX alaw = PcmFormat(8000, 1, 8);
  alaw.wFormatTag = 6;
  const std::string path = s.dir.Path("A-law.wav");
  ASSERT_TRUE(Studio::Write(path, MakeWav(alaw, std::string(8000, '\xD5'))));
  s.Answers({"file " + path, "OK"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+A");
  DeckView v = s.Sync();
  ASSERT_EQ("PLAY", v.kind);
  s.Key("F3");
  v = s.Sync();
  EXPECT_EQ("stopped", v.deck);
  const std::vector<std::string> want = {
      "file open \"Solvane - Open Wave File\" -> " + path,
      "message Error [OK] \"The actual device can't play this format.\" -> OK"};
  EXPECT_EQ(want, s.DialogLog());
}
