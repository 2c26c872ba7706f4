// Saving a take: where its bytes end up, what runs afterwards, and what a failing copy does.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Studio.h"
#include "platform/system/files.h"

namespace {

// A folder the copy cannot write name into: name is a folder holding a folder of the take's name.
void Block(const std::string& folder, const std::string& name, const std::string& takeName) {
  ASSERT_TRUE(plat::ForceDirectories(folder + name + "/" + takeName));
}

}  // namespace

TEST(Save, TheTakeBecomesTheDestinationAndTheAfterSaveProgramGetsItsPath) {
  Studio s;
  const std::string dest = s.dir.Path("carts/"), after = s.dir.Path("after.txt");
  ASSERT_TRUE(plat::ForceDirectories(dest));
  const std::string program = s.dir.Path("after save");
  ASSERT_TRUE(Studio::Write(program, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > '" + after + ".part' && mv '" + after +
                                         ".part' '" + after + "'\n"));
  ::chmod(program.c_str(), 0755);
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[GUI]", "Launch After Save=" + program});
  s.Answers({"file " + dest + "News at noon.wav"});
  ASSERT_TRUE(s.Start());
  const std::string take = s.RecordTake(1500);
  const std::string temporary = s.deckTemp + "Untitled.wav";
  ASSERT_EQ(size_t(46 + 96000 + 12), take.size()) << "not a finished 1.5 s take";

  s.Key("F9");
  DeckView v = s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "the save has ended");
  EXPECT_EQ(dest + "News at noon.wav", v.file);
  EXPECT_EQ("STANDARD", v.kind);
  EXPECT_TRUE(Studio::Read(dest + "News at noon.wav") == take) << "the saved file differs";
  EXPECT_FALSE(plat::FileExists(temporary)) << "a take made here is moved, not copied";
  ASSERT_TRUE(Studio::WaitFor([&] { return plat::FileExists(after); })) << "the program never ran";
  EXPECT_EQ("1\n" + dest + "News at noon.wav\n", Studio::Read(after));

  // Saved: ejecting asks nothing, and the saved file stays.
  s.Key("F7");
  EXPECT_EQ("empty", s.Sync().deck);
  const std::vector<std::string> dialogs = s.DialogLog();
  ASSERT_EQ(1u, dialogs.size()) << ::testing::PrintToString(dialogs);
  EXPECT_EQ("file save \"Solvane Save Wave File\" -> " + dest + "News at noon.wav", dialogs[0]);
  EXPECT_TRUE(Studio::Read(dest + "News at noon.wav") == take);
}

TEST(Save, FailedCopiesAreTriedAgainUnderFreeCopyNamesThenAnotherNameIsAsked) {
  Studio s;
  const std::string first = s.dir.Path("first/"), second = s.dir.Path("second/");
  // An existing take, opened where it lies: saving copies it.
  const WAVEFORMATEX mono = PcmFormat(32000, 1, 16);
  std::string samples(64000, '\0');
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = char(i * 31 + 7);
  const std::string source = s.dir.Path("library/Promo.wav");
  ASSERT_TRUE(plat::ForceDirectories(s.dir.Path("library")));
  ASSERT_TRUE(Studio::Write(source, MakeWav(mono, samples)));
  const std::string original = Studio::Read(source);
  // In the first folder the chosen name cannot be written, and every "Copy (n) of" name is too
  // long for the file system. In the second an earlier retried save holds "Copy (1) of Out.wav".
  const std::string longName = std::string(240, 'L') + ".wav";
  Block(first, longName, "Promo.wav");
  Block(second, "Out.wav", "Promo.wav");
  const std::string earlier = second + "Copy (1) of Out.wav", earlierBytes = "an earlier take";
  ASSERT_TRUE(Studio::Write(earlier, earlierBytes));
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.Answers({"file " + source, "file " + first + longName, "Yes", "Yes", "Yes", "OK", "file " + second + "Out.wav",
             "Yes", "OK"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+A");
  ASSERT_EQ(source, s.Sync().file);
  s.Key("F9");
  DeckView v = s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "the save has ended");

  const std::string saved = second + "Copy (2) of Out.wav";
  EXPECT_EQ(saved, v.file);
  EXPECT_TRUE(Studio::Read(saved) == original);
  EXPECT_EQ(earlierBytes, Studio::Read(earlier)) << "a retry replaced an earlier copy";
  EXPECT_TRUE(Studio::Read(source) == original) << "an opened take is copied, never moved";
  const std::vector<std::string> want = {
      "file open \"Solvane - Open Wave File\" -> " + source,
      "file save \"Solvane Save Wave File\" -> " + first + longName,
      "message Warning [Yes,No] \"Attempt 1\\r\\n\\r\\nFile could NOT be saved. Do you want to try again?\" -> Yes",
      "message Warning [Yes,No] \"Attempt 2\\r\\n\\r\\nFile could NOT be saved. Do you want to try again?\" -> Yes",
      "message Warning [Yes,No] \"Attempt 3\\r\\n\\r\\nFile could NOT be saved. Do you want to try again?\" -> Yes",
      "message Warning [OK] \"Can't save the file using that name or path. Try changing the \\r\\nname or save "
      "location.\" -> OK",
      "file save \"Solvane Save Wave File\" -> " + second + "Out.wav",
      "message Warning [Yes,No] \"Attempt 1\\r\\n\\r\\nFile could NOT be saved. Do you want to try again?\" -> Yes",
      "message Information [OK] \"Please Note!!! Solvane had trouble saving your file. It was \\r\\nsuccessfully saved "
      "under a different name.\\r\\n\\r\\nThe saved name is: " +
          saved + "\\r\\n\\r\\nPlease make a note of this.\" -> OK"};
  EXPECT_EQ(want, s.DialogLog());
  // Nothing was left half-written under the names that failed.
  EXPECT_EQ(std::vector<std::string>{longName}, plat::ListFiles(first, "*", true));
  EXPECT_EQ((std::vector<std::string>{"Copy (1) of Out.wav", "Copy (2) of Out.wav", "Out.wav"}),
            plat::ListFiles(second, "*", true));
  EXPECT_TRUE(plat::ListFiles(first, ".*", true).empty() && plat::ListFiles(second, ".*", true).empty());
  EXPECT_TRUE(plat::DirectoryExists(second + "Out.wav/Promo.wav"));
}
