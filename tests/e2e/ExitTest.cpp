// Leaving the program: with an exit password set, with and without a cart in the deck, and on a stop
// signal whatever is open.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>

#include "Studio.h"
#include "platform/system/files.h"

namespace {

// Every name in the folder but the lock file that the deck keeps there.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != ".." && std::string(e->d_name) != ".Solvane.lock")
        names.push_back(e->d_name);
    ::closedir(d);
  }
  return names;
}

// The audio of a WAV file as the engine reads it: what reached the disk, also of a take cut short.
std::string Audio(const std::string& path) {
  const EngineView e = ReadWithEngine(path);
  return e.ok ? Studio::Read(path).substr(size_t(e.dataOffset), size_t(e.dataSize)) : std::string();
}

const char* const kWrongPassword = "message Error [OK] \"Password Incorrect\" -> OK";

}  // namespace

TEST(Exit, WithoutACartTheRightPasswordEndsTheProgramAndLeavesTheMailFile) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[GUI]", "Password To Exit=Night Shift"});
  s.Answers({"OK"});
  ASSERT_TRUE(Studio::Write(s.home + "mail.txt", "left from the last run"));
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(Studio::kLoad, s.Gpi(6));
  s.Sync();
  EXPECT_FALSE(plat::FileExists(s.home + "mail.txt")) << "a start removes the mail file";
  ASSERT_TRUE(Studio::Write(s.home + "mail.txt", "an order being sent"));
  ASSERT_TRUE(Studio::Write(s.deckTemp + "notes.txt", "left in the temporary folder"));

  // A wrong password is refused, and cancelling keeps the program.
  s.CloseWindow();
  EXPECT_EQ("TForm25", s.Sync().modal);
  s.Type("night shift");
  s.Key("Return");
  EXPECT_EQ("TForm25", s.Sync().modal);
  s.Key("Escape");
  EXPECT_EQ("-", s.Sync().modal);
  EXPECT_TRUE(s.Running());

  s.CloseWindow();
  EXPECT_EQ("TForm25", s.Sync().modal);
  s.Type("Night Shift");
  s.Key("Return");
  EXPECT_EQ(0, s.WaitExit());
  EXPECT_EQ(Studio::kExit, s.Gpi(6));
  EXPECT_EQ(std::vector<std::string>{kWrongPassword}, s.DialogLog());
  EXPECT_EQ(std::vector<std::string>{}, FilesIn(s.deckTemp)) << "the temporary folder was not emptied";
  EXPECT_EQ("an order being sent", Studio::Read(s.home + "mail.txt"));
}

TEST(Exit, WithACartThePasswordAndTwoQuestionsEjectItAndRemoveTheMailFile) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[GUI]", "Password To Exit=Night Shift"});
  s.Answers({"Yes", "Yes"});
  ASSERT_TRUE(s.Start());
  const std::string take = s.RecordTake(500);
  ASSERT_TRUE(Studio::Write(s.home + "mail.txt", "an order being sent"));

  // Cancelling the password keeps the cart as it was.
  s.CloseWindow();
  EXPECT_EQ("TForm25", s.Sync().modal);
  s.Key("Escape");
  DeckView v = s.Sync();
  EXPECT_EQ("-", v.modal) << s.Output();
  EXPECT_EQ("stopped", v.deck);
  EXPECT_TRUE(Studio::Read(v.file) == take);

  s.CloseWindow();
  EXPECT_EQ("TForm25", s.Sync().modal);
  s.Type("Night Shift");
  s.Key("Return");
  EXPECT_EQ(0, s.WaitExit());
  const std::string gpi = std::string(Studio::kLoad) + Studio::kRecord + Studio::kStop + Studio::kStop + Studio::kExit;
  EXPECT_EQ(gpi, s.Gpi(gpi.size()));
  const std::vector<std::string> want = {
      "message Confirm [Yes,No] \"There is still a file loaded in the deck. Are you sure you want to exit?\" -> Yes",
      "message Confirm [Yes,No] \"The current file has been changed and not saved. If you eject this file "
      "\\r\\nnow, all changes will be lost. Are you sure you want to eject this file? \" -> Yes"};
  EXPECT_EQ(want, s.DialogLog());
  EXPECT_EQ(std::vector<std::string>{}, FilesIn(s.deckTemp)) << "the take was not removed";
  EXPECT_FALSE(plat::FileExists(s.home + "mail.txt"));
}

TEST(Exit, TheSessionEndingSendsOnExitAsTheWindowDoes) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(Studio::kLoad, s.Gpi(6));
  s.Sync();
  ASSERT_EQ(0, ::kill(s.Pid(), SIGTERM));
  EXPECT_EQ(0, s.WaitExit());
  EXPECT_EQ(Studio::kExit, s.Gpi(6));

  // In the middle of a recording: the stop, then the exit; the take stays for the next start.
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(Studio::kLoad, s.Gpi(6));
  s.Key("Ctrl+S");
  s.Key("F5");
  s.Run(500);
  ASSERT_EQ("recording", s.Sync().deck);
  ASSERT_EQ(0, ::kill(s.Pid(), SIGTERM));
  EXPECT_EQ(0, s.WaitExit());
  const std::string gpi = std::string(Studio::kRecord) + Studio::kStop + Studio::kExit;
  EXPECT_EQ(gpi, s.Gpi(gpi.size()));
  EXPECT_TRUE(plat::FileExists(s.deckTemp + "Untitled.wav"));
}

// The close box does nothing while a modal window is in front: the INFO editor keeps the cart it
// edits, and its edit reaches the file.
TEST(Exit, TheCloseBoxWaitsWhileTheInfoEditorIsOpen) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.Answers({"Yes", "Yes"});
  ASSERT_TRUE(s.Start());
  s.RecordTake(500);

  s.Key("Alt+I");
  ASSERT_EQ("TMMRiffInfoEditorDlg", s.Sync().modal);
  s.CloseWindow();
  DeckView v = s.Sync();
  EXPECT_EQ("TMMRiffInfoEditorDlg", v.modal) << s.Output();
  EXPECT_EQ("stopped", v.deck);
  EXPECT_TRUE(s.DialogLog().empty()) << "no exit question";
  s.Type("Morning show");
  s.Key("Return");  // ends the description
  s.Key("Return");  // OK
  v = s.Sync();
  EXPECT_EQ("-", v.modal);
  EXPECT_NE(std::string::npos, Studio::Read(v.file).find("Morning show")) << "the edit is in the cart's file";

  s.CloseWindow();
  EXPECT_EQ(0, s.WaitExit()) << s.Output();
  EXPECT_EQ(2u, s.DialogLog().size());
}

// A stop signal while a box, a file dialog or a menu waits for the operator: the program ends at
// once, the take finished and kept for the next start, and the box's answer never comes, so no
// eject deletes the take and no save moves it.
TEST(Exit, AStopSignalEndsTheProgramWhateverBoxDialogOrMenuIsOpen) {
  struct Open {
    const char* what;
    const char* key;
    const char* shows;
  };
  for (const Open& open : {Open{"the eject question", "F7", "MessageBox"}, Open{"the save dialog", "F9", "FileDialog"},
                           Open{"the Other menu", "F10", "PopupMenu"}}) {
    SCOPED_TRACE(open.what);
    Studio s;
    s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
    s.environment["SOLVANE_DIALOG_SCRIPT"] = "";  // the real boxes and dialogs, which wait for an answer
    ASSERT_TRUE(s.Start());
    const std::string take = s.RecordTake(500);
    const std::string file = s.Sync().file;
    ASSERT_EQ(s.deckTemp + "Untitled.wav", file);
    s.Key(open.key);
    ASSERT_EQ(open.shows, s.Sync().modal) << s.Output();

    ASSERT_EQ(0, ::kill(s.Pid(), SIGTERM));
    EXPECT_EQ(0, s.WaitExitWithin(2000)) << "the program did not end within 2 s";
    const std::string gpi = std::string(Studio::kLoad) + Studio::kRecord + Studio::kStop + Studio::kStop + Studio::kExit;
    EXPECT_EQ(gpi, s.Gpi(gpi.size()));
    EXPECT_TRUE(Studio::Read(file) == take) << "the take was not kept as it was";
    EXPECT_EQ(std::vector<std::string>{"Untitled.wav"}, FilesIn(s.deckTemp));
  }
}

// The recovery warning of a start that found a take: a stop signal ends the program with the take
// still there, offered again at the next start.
TEST(Exit, AStopSignalDuringTheRecoveryWarningKeepsTheTakeForTheNextStart) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  s.Key("F5");
  s.Run(1000);
  ASSERT_EQ("recording", s.Sync().deck);
  s.Kill();
  const std::string take = s.deckTemp + "Untitled.wav";
  const std::string left = Audio(take);
  ASSERT_FALSE(left.empty());

  s.environment["SOLVANE_DIALOG_SCRIPT"] = "";
  ASSERT_TRUE(s.Start());
  DeckView v = s.Sync();
  ASSERT_EQ("MessageBox", v.modal) << s.Output();
  ASSERT_EQ(take, v.file);
  ASSERT_EQ(0, ::kill(s.Pid(), SIGTERM));
  EXPECT_EQ(0, s.WaitExitWithin(2000)) << "the program did not end within 2 s";
  EXPECT_EQ(std::vector<std::string>{"Untitled.wav"}, FilesIn(s.deckTemp));
  EXPECT_TRUE(Audio(take) == left) << "the take changed";

  s.environment.erase("SOLVANE_DIALOG_SCRIPT");
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(take, s.Sync().file) << "offered again";
}

// A stop signal while the disk holds the take's writes (a network or USB disk that does not
// answer) ends the program within seconds all the same, and so does the close box once the operator
// agrees: the studio hears the stop and the exit, and the next start takes back every frame that
// reached the disk, as the input gave them.
TEST(Exit, WhileTheDiskHoldsTheTakeAStopSignalOrTheCloseBoxEndsTheProgramAndTheNextStartTakesItBack) {
  const WAVEFORMATEX f = PcmFormat(32000, 1, 16);
  for (const bool signal : {true, false}) {
    SCOPED_TRACE(signal ? "a stop signal" : "the close box");
    Studio s;
    s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
    if (!signal) s.Answers({"Yes", "OK", "Yes"});
    ASSERT_TRUE(s.Start());
    s.Key("Ctrl+S");
    s.Key("F5");
    s.Run(1000);
    s.StallDisk();
    s.RunUnrested(1000);
    const std::string take = s.deckTemp + "Untitled.wav";
    const std::string onDisk = Audio(take);
    // The queue writes out every 200 ms: the first 800 ms at least were on the disk before it stalled.
    ASSERT_GE(onDisk.size(), size_t(f.nAvgBytesPerSec) * 8 / 10);
    ASSERT_LT(onDisk.size(), size_t(f.nAvgBytesPerSec) * 2) << "the disk was not held";

    std::string gpi = std::string(Studio::kLoad) + Studio::kRecord + Studio::kStop;
    if (signal) {
      ASSERT_EQ(0, ::kill(s.Pid(), SIGTERM));
    } else {
      // The exit's eject stops the take, which the disk holds: the deck stays, says so, and the
      // second try asks whether to end without the rest.
      s.CloseWindow();
      EXPECT_EQ("stopping", s.Sync().deck);
      EXPECT_EQ(2u, s.DialogLog().size());
      s.CloseWindow();
      gpi += Studio::kStop;
    }
    EXPECT_EQ(0, s.WaitExitWithin(5000)) << "the program did not end within 5 s";
    if (!signal) {
      const std::vector<std::string> log = s.DialogLog();
      ASSERT_EQ(3u, log.size());
      EXPECT_NE(std::string::npos, log[2].find("Exit anyway?\" -> Yes")) << log[2];
    }
    gpi += Studio::kExit;
    EXPECT_EQ(gpi, s.Gpi(gpi.size()));

    ASSERT_TRUE(s.Start());
    EXPECT_EQ(take, s.Sync().file) << "the take was not taken back";
    const std::string back = Audio(take);
    EXPECT_TRUE(back == onDisk) << "taken back: " << back.size() << " bytes, on the disk: " << onDisk.size();
    EXPECT_TRUE(IsPattern(back, f)) << "the take is not the input from its start";
  }
}

// A disk that answers no read (a share or a USB disk that hangs) holds the window up wherever it
// reads the cart: a playback that the exit must end, a Stop of a take that then finishes the cart.
// A stop signal ends the program within seconds all the same, with the GPI strings the studio is
// still owed, and the next start finds the take that reached the disk in the cart.
TEST(Exit, AStopSignalEndsTheProgramWhileTheWindowWaitsOnADiskThatAnswersNoRead) {
  const WAVEFORMATEX f = PcmFormat(32000, 1, 16);
  for (const bool recording : {false, true}) {
    SCOPED_TRACE(recording ? "a take stopped" : "a playback");
    Studio s;
    s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
    const std::string cart = s.dir.Path("News.wav"), stall = s.dir.Path("stall");
    ASSERT_TRUE(Studio::Write(cart, MakeWav(f, std::string(10 * 64000, '\x11'))));
    s.environment["LD_PRELOAD"] = SOLVANE_FS_SHIM;
    s.environment["SOLVANE_FS_STALL"] = "News.wav";
    s.environment["SOLVANE_FS_STALL_FLAG"] = stall;
    s.Answers({"file " + cart});
    ASSERT_TRUE(s.Start());
    s.Key("Ctrl+A");
    ASSERT_EQ(cart, s.Sync().file);
    s.Key(recording ? "F5" : "F3");
    s.Run(1000);
    ASSERT_TRUE(Studio::Write(stall, ""));
    if (recording) s.Key("F4");
    else s.RunUnrested(2000);
    ASSERT_TRUE(Studio::WaitFor([&] { return plat::FileExists(stall + ".held"); })) << "the disk was never read";

    ASSERT_EQ(0, ::kill(s.Pid(), SIGTERM));
    EXPECT_EQ(0, s.WaitExitWithin(5000)) << "the program did not end within 5 s";
    const std::string gpi = recording ? std::string(Studio::kLoad) + Studio::kRecord + Studio::kStop + Studio::kExit
                                      : std::string(Studio::kLoad) + Studio::kExit;
    EXPECT_EQ(gpi, s.Gpi(gpi.size()));
    if (!recording) continue;

    ASSERT_EQ(0, ::unlink(stall.c_str()));
    ASSERT_TRUE(s.Start());
    s.Sync();
    s.CloseWindow();
    EXPECT_EQ(0, s.WaitExit());
    const WavFile w = ReadWav(cart);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(10u * 64000, w.Data().size());
    EXPECT_TRUE(IsPattern(w.Data().substr(0, 1000 * 64), f)) << "the take is not in the cart";
  }
}
