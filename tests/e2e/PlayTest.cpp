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

// A cart made elsewhere with no audio yet (an empty data chunk), opened where it lies or as a copy
// to edit: Play finds nothing to play and tells of no device fault, Record takes at once, and the
// take then plays.
TEST(Play, ACartWithoutAudioHasNothingToPlayAndIsRecordedIntoAtOnce) {
  const WAVEFORMATEX mono = PcmFormat(32000, 1, 16);
  for (const char* load : {"Ctrl+A", "Ctrl+E"}) {
    SCOPED_TRACE(load);
    Studio s;
    s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
    const std::string cart = s.dir.Path("News.wav");
    ASSERT_TRUE(Studio::Write(cart, MakeWav(mono, "")));
    s.Answers({"file " + cart});
    ASSERT_TRUE(s.Start());
    s.Key(load);
    ASSERT_EQ("PLAY", s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "loaded").kind);
    s.Key("F3");
    EXPECT_EQ("stopped", s.Sync().deck);
    s.Key("F5");
    s.Run(1000);
    ASSERT_EQ("recording", s.Sync().deck);
    s.Key("F4");
    ASSERT_EQ("stopped", s.Sync().deck);
    s.Key("Home");
    s.Key("F3");
    EXPECT_EQ("playing", s.Sync().deck);
    EXPECT_EQ(std::vector<std::string>{"file open \"Solvane - Open Wave File\" -> " + cart}, s.DialogLog());
  }
}
