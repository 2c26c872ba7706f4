// A settings file that cannot be written: the defaults hold for the run and the operator is told
// once; blank carts are made and recorded as with a file that holds the defaults.
#include <gtest/gtest.h>

#include "Studio.h"
#include "platform/system/files.h"

namespace {

// Records a short take into the blank cart loaded by keys and checks it is one in the standard
// cart's default format, 32 kHz 16-bit mono.
void RecordsInTheDefaultFormat(Studio& s, const std::string& keys, const std::string& kind) {
  s.Key(keys);
  ASSERT_EQ(kind, s.Sync().kind);
  s.Key("F5");
  s.Run(300);
  s.Key("F4");
  const DeckView v = s.Sync();
  ASSERT_EQ("stopped", v.deck);
  const WavFile w = ReadWav(v.file);
  ASSERT_TRUE(w.ok) << v.file;
  EXPECT_EQ(size_t(300 * 64), w.Data().size());
  EXPECT_TRUE(IsPattern(w.Data(), PcmFormat(32000, 1, 16)));
  s.Key("F7");  // a blank cart counts as changed
  ASSERT_EQ("empty", s.Sync().deck);
}

}  // namespace

TEST(SettingsFile, WhereItCannotBeWrittenTheDefaultsHoldAndTheOperatorIsToldOnce) {
  for (int which = 0; which < 2; ++which) {
    SCOPED_TRACE(which == 0 ? "Solvane.ini is a folder" : "SOLVANE_HOME is a file");
    Studio s;
    std::string ini;
    if (which == 0) {
      ini = s.home + "Solvane.ini";
      ASSERT_TRUE(plat::ForceDirectories(ini));
    } else {
      ASSERT_TRUE(Studio::Write(s.dir.Path("plain"), "a file"));
      s.environment["SOLVANE_HOME"] = s.dir.Path("plain");
      ini = s.dir.Path("plain/Solvane.ini");
    }
    if (which == 0) s.Answers({"OK", "Yes", "Yes"});
    else s.Answers({"OK", "OK", "Yes", "Yes"});
    ASSERT_TRUE(s.Start());
    EXPECT_EQ("empty", s.Sync().deck) << s.Output();
    RecordsInTheDefaultFormat(s, "Ctrl+S", "STANDARD");
    RecordsInTheDefaultFormat(s, "Ctrl+Home", "QUICK");
    const std::vector<std::string> dialogs = s.DialogLog();
    const size_t ejects = which == 0 ? 1 : 2;
    if (which == 0) {
      // A folder is no settings file that could be read: named as one, and nothing is made of it.
      ASSERT_EQ(3u, dialogs.size()) << ::testing::PrintToString(dialogs);
      EXPECT_EQ("message Warning [OK] \"Unable to read " + ini +
                    ": it is a folder. \\r\\nSolvane uses the default settings until it can be read.\" -> OK",
                dialogs[0]);
    } else {
      ASSERT_EQ(4u, dialogs.size()) << ::testing::PrintToString(dialogs);
      EXPECT_EQ(0u, dialogs[0].rfind("message Information [OK] \"A one-hour 32 kHz, 16 bit, mono file", 0))
          << dialogs[0];
      EXPECT_EQ("message Warning [OK] \"The settings cannot be saved: " + ini +
                    " cannot be written. \\r\\nUntil it can, Solvane uses the default of every setting the file "
                    "does not hold.\" -> OK",
                dialogs[1]);
    }
    // The rest are the two ejects' questions.
    EXPECT_EQ(0u, dialogs[ejects].rfind("message Confirm [Yes,No] \"The current file has been changed", 0))
        << dialogs[ejects];
    EXPECT_EQ(dialogs[ejects], dialogs[ejects + 1]);
  }
}

// The 2 GB text is for a cart longer than a cart's file can hold; a blank cart whose file could not
// be made is told as that, also when Record is pressed on it.
TEST(SettingsFile, ABlankCartWhoseFileCouldNotBeMadeIsNotBlamedOnTheTwoGigabyteLimit) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  ASSERT_TRUE(plat::ForceDirectories(s.deckTemp + "Untitled.wav/in the way"));
  s.Answers({"OK", "OK"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  s.Key("F5");
  EXPECT_EQ("empty", s.Sync().deck);
  const std::vector<std::string> want = {"message Error [OK] \"Error creating wave file.\" -> OK",
                                         "message Error [OK] \"Error creating wave file.\" -> OK"};
  EXPECT_EQ(want, s.DialogLog());
}
