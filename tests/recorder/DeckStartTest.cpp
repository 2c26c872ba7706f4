// Start-up and shut-down of the deck: "mail.txt", the temporary folder, the exit sequence and the
// exit password. (The exit ends the application; the harness renews it for the next test.)
#include "DeckHarness.h"
#include "common/pty.h"
#include "recorder/Unit2.h"
#include "recorder/Unit25.h"
#include "recorder/Unit6.h"

class DeckStart : public DeckHarness {};

TEST_F(DeckStart, EveryStartDeletesMailTxtAndTheFirstEmptyingKeepsTheTemporaryFiles) {
  ASSERT_TRUE(plat::WriteWholeFile(home + "mail.txt", "to: x"));
  ASSERT_TRUE(plat::ForceDirectories(DeckTemp()));
  ASSERT_TRUE(plat::WriteWholeFile(DeckTemp() + "notes.txt", "left"));
  StartDeck(false);
  EXPECT_FALSE(plat::FileExists(home + "mail.txt"));
  EXPECT_TRUE(plat::FileExists(DeckTemp() + "notes.txt"));
  // A settings file completed on the way.
  EXPECT_NE(std::string::npos, Read(home + "Solvane.ini").find("SENSITIVITY=1000"));
  EXPECT_TRUE(deck->DeckEmpty);
  // The caption styler's parts: company and version, the program, the user.
  EXPECT_EQ(0u, deck->Caption().find("Tolmark Kiv "));
  EXPECT_NE(std::string::npos, deck->Caption().find(" Solvane   [ User: Default ]"));
}

TEST_F(DeckStart, TheSendingWindowsOfferTheListsReadAtStart) {
  ASSERT_TRUE(plat::ForceDirectories(home + "email/"));
  ASSERT_TRUE(plat::ForceDirectories(home + "postrel/"));
  ASSERT_TRUE(plat::WriteWholeFile(home + "email/address.dat",
                                   "news@example.org;Inbox,Archive\r\nsports@example.org;Desk\r\n"));
  ASSERT_TRUE(plat::WriteWholeFile(home + "postrel/dbfolder.dat", "Studio A;/in/a\r\nStudio B;/in/b\r\n"));
  StartDeck(false);
  ASSERT_EQ(2, deck->Form2->ComboBox1->Items()->Count());
  EXPECT_EQ("news@example.org", deck->Form2->ComboBox1->Items()->Strings(0));
  EXPECT_EQ(2, deck->Form2->ComboBox2->Items()->Count()) << "the first entry's folders";
  ASSERT_EQ(2, deck->Form6->ComboBox1->Items()->Count());
  EXPECT_EQ("Studio B", deck->Form6->ComboBox1->Items()->Strings(1));
}

TEST_F(DeckStart, ExitWithNoCartLeavesMailTxt) {
  StartDeck();
  ASSERT_TRUE(plat::WriteWholeFile(home + "mail.txt", "to: x"));
  ASSERT_TRUE(plat::WriteWholeFile(DeckTemp() + "stray.wav.tmp", "x"));
  deck->Close();
  Pump();
  EXPECT_TRUE(deck->Closing);
  EXPECT_TRUE(plat::FileExists(home + "mail.txt"));
  EXPECT_TRUE(plat::ListFiles(DeckTemp(), "*").empty());
}

TEST_F(DeckStart, ExitWithACartClosesTheDevicesSignalsDeletesAndClosesThePort) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  setenv("SOLVANE_COM1", pty.SlavePath().c_str(), 1);
  WriteSettings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[GPI]", "ENABLE=1", "ON LOAD=L", "ON EXIT=X"});
  StartDeck();
  unsetenv("SOLVANE_COM1");
  EXPECT_EQ("L", pty.ReadBytes(1));
  Key('S', plat::ssCtrl);
  Key(plat::VK_F5);
  Step(200);
  ASSERT_TRUE(deck->WaveIn->IsOpen());
  ASSERT_TRUE(plat::WriteWholeFile(home + "mail.txt", "to: x"));
  dialogs->AnswerMessage(plat::mrYes);  // still a file loaded: exit?
  dialogs->AnswerMessage(plat::mrYes);  // all changes will be lost
  deck->Close();
  Pump();
  EXPECT_TRUE(deck->Closing);
  EXPECT_FALSE(deck->WaveIn->IsOpen());
  EXPECT_FALSE(deck->MMWaveOut1->IsOpen());
  EXPECT_EQ("X", pty.ReadBytes(1));
  EXPECT_TRUE(plat::ListFiles(DeckTemp(), "*").empty());
  EXPECT_FALSE(plat::FileExists(home + "mail.txt")) << "a cart was loaded";
  deck->Gpi.Send("more");
  EXPECT_EQ("", pty.Arrived());
}

TEST_F(DeckStart, NoToTheUnsavedChangesKeepsTheProgramAndTheTake) {
  StartDeck();
  Key('S', plat::ssCtrl);
  Key(plat::VK_F5);
  Step(300);
  Key(plat::VK_F4);
  std::string take = deck->RecordFileName;
  dialogs->AnswerMessage(plat::mrYes);  // exit?
  dialogs->AnswerMessage(plat::mrNo);   // all changes will be lost?
  deck->Close();
  Pump();
  EXPECT_FALSE(deck->Closing);
  EXPECT_TRUE(deck->DeckLoaded);
  EXPECT_TRUE(plat::FileExists(take));
  EXPECT_GT(plat::FileSize(take), 44);
}

TEST_F(DeckStart, CancellingTheExitPasswordKeepsTheProgramRunning) {
  WriteSettings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[GUI]", "Password To Exit=secret"});
  StartDeck();
  Key('S', plat::ssCtrl);
  int asked = 0;
  WhenModal([&] {
    ++asked;
    deck->Form25->Button2->Click();  // Cancel
  });
  deck->Close();
  Pump();
  EXPECT_EQ(1, asked);
  EXPECT_FALSE(deck->Closing);
  EXPECT_TRUE(deck->DeckLoaded);
  EXPECT_TRUE(plat::FileExists(deck->RecordFileName));
}
