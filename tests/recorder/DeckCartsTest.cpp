// Carts of every kind: what each may record, the punch-in marks, saving, and a recording taken
// back after an abnormal end.
#include <unistd.h>

#include "DeckHarness.h"
#include "common/unreadable.h"
#include "recorder/CartTail.h"
#include "recorder/Unit4.h"

namespace {
constexpr int64_t kHour = 3600000;
constexpr int64_t kFreeSpaceCapMs = 2146483647 / 64;  // format 26 takes 64 bytes a millisecond
}  // namespace

class DeckCarts : public DeckHarness {
protected:
  void Seek(int64_t ms) {
    deck->SetSliderPosition(ms);
    deck->Seek();
    Pump();
  }
  bool EnoughSpaceForTheCap() {
    int64_t freeBytes = 0, total = 0;
    return plat::GetDiskFree(temp, freeBytes, total) && freeBytes > 2146483647;
  }
};

TEST_F(DeckCarts, EachKindOfCartMayRecordItsOwnLength) {
  StartDeck();
  Key('S', plat::ssCtrl);
  EXPECT_EQ(kHour, deck->RecordingLimit) << "standard: LENGTH 10000";
  EXPECT_EQ(kHour, deck->WaveIn->MaxRecordTime());
  EXPECT_EQ("01:00:00.000", deck->MaxTime->Caption());
  EXPECT_TRUE(plat::FileExists(DeckTemp() + "Untitled.wav"));
  EXPECT_EQ(BlankWaveHeader(26), Read(DeckTemp() + "Untitled.wav"));
  dialogs->AnswerMessage(plat::mrYes);  // a blank cart counts as changed
  Key(plat::VK_F7);

  // A chosen quick-load prefix sets the length of quick, standard and by-name carts.
  deck->PrefixDisplay = "News";
  deck->PrefixValue = "000030";
  Key(plat::VK_INSERT, plat::ssCtrl);
  EXPECT_EQ(KindQuick, deck->CartKind);
  EXPECT_EQ(30000, deck->RecordingLimit);
  EXPECT_EQ(0u, plat::ExtractFileName(deck->RecordFileName).find("News - "));
  dialogs->AnswerMessage(plat::mrYes);
  Key(plat::VK_F7);
  Key('S', plat::ssCtrl);
  EXPECT_EQ(30000, deck->RecordingLimit);
  dialogs->AnswerMessage(plat::mrYes);
  Key(plat::VK_F7);
  deck->PrefixDisplay.clear();
  deck->PrefixValue.clear();

  // A custom cart: the settings dialog in its custom mode gives format and length.
  WhenModal([] {
    Form3->ComboBox1->SetItemIndex(31);
    Form3->TimeEdit->SetText("000200");
    Form3->Button1Click(Form3->Button1);
  });
  Key('U', plat::ssCtrl);
  ASSERT_EQ(KindCustom, deck->CartKind);
  EXPECT_EQ(120000, deck->RecordingLimit);
  EXPECT_EQ("PCM, 44.100 kHz, 16 Bit, Stereo", deck->FormatLabel->Caption());
  EXPECT_EQ(BlankWaveHeader(31), Read(deck->RecordFileName));
  dialogs->AnswerMessage(plat::mrYes);
  Key(plat::VK_F7);

  // An opened file may take what the free space holds.
  if (EnoughSpaceForTheCap()) {
    LoadTake(3000);
    Seek(1000);
    Key(plat::VK_F5);
    EXPECT_NEAR(kFreeSpaceCapMs, deck->RecordingLimit, 1);
    EXPECT_EQ(deck->RecordingLimit - 1000, deck->WaveIn->MaxRecordTime());
    Key(plat::VK_F4);
  }
}

TEST_F(DeckCarts, ACartLongerThanTheFreeSpaceCapIsRefusedAndEjected) {
  StartDeck();
  if (!EnoughSpaceForTheCap()) GTEST_SKIP() << "needs more than 2 GB free";
  // Ten hours of 32 kHz mono is more than the 2146483647 bytes the deck counts at most.
  WriteSettings({"[Standard Cart]", "FORMAT=26", "LENGTH=100000"});
  Key('S', plat::ssCtrl);
  EXPECT_TRUE(Shown("A cart can hold at most 2 GB of audio, which is 09:18:58.807 in this format."))
      << Joined(dialogs->Texts());
  EXPECT_FALSE(Shown("There is not enough free disk space"));
  EXPECT_FALSE(deck->DeckLoaded);
  EXPECT_TRUE(deck->CartKind.empty());
}

TEST_F(DeckCarts, NoTimeLeftRefusesToRecord) {
  // An opened by-name take already longer than the standard length, recorded into from past it:
  // the time allowed is negative, which the input would take for "no limit".
  WriteSettings({"[Standard Cart]", "FORMAT=26", "LENGTH=10", "[FILES]", "LOAD PATH=" + dir.Path("load/")});
  ASSERT_TRUE(plat::CreateDir(dir.Path("load")));
  WriteTake(dir.Path("load/long.wav"), 20000);
  StartDeck();
  ASSERT_TRUE(deck->LoadByNameEntry("long.wav"));
  EXPECT_EQ(KindByName, deck->CartKind);
  Seek(15000);
  Key(plat::VK_F5);
  EXPECT_TRUE(Shown("There is no time left. Cannot record!"));
  EXPECT_FALSE(deck->Recording);
  EXPECT_FALSE(deck->WaveIn->IsOpen());

  // With "Use Length For All WAV" an opened file longer than the standard length may grow to
  // its own length only, and its Max Time reads the standard length in HHMMSS digits.
  Key(plat::VK_F7);
  deck->Config.useLengthForAllWav = true;
  LoadTake(20000, "long2.wav");
  EXPECT_EQ("00:00:10.000", deck->MaxTime->Caption());
  Seek(5000);
  Key(plat::VK_F5);
  EXPECT_EQ(20000, deck->RecordingLimit);
  EXPECT_EQ(15000, deck->WaveIn->MaxRecordTime());
  Key(plat::VK_F4);
}

TEST_F(DeckCarts, RecordingIntoAnOpenedTakeReplacesOnlyFromThePunchInPoint) {
  StartDeck();
  std::string path = LoadTake(2000);
  std::string before = Read(path);
  Seek(1000);
  Key(plat::VK_F5);
  ASSERT_TRUE(deck->Recording);
  EXPECT_TRUE(plat::FileExists(DeckTemp() + kCartTailName)) << "the cart's path and lists are kept beside the take";
  Step(500);
  Key(plat::VK_F4);
  EXPECT_FALSE(plat::FileExists(DeckTemp() + kCartTailName)) << "dropped once the take is finished";
  std::string after = Read(path);
  ASSERT_GE(after.size(), before.size());
  // The first second is untouched, the next half second is the input's.
  EXPECT_EQ(before.substr(44, 64000), after.substr(44, 64000));
  EXPECT_NE(before.substr(44 + 64000, 32000), after.substr(44 + 64000, 32000));
  EXPECT_EQ(2000, deck->WaveLength());
  EXPECT_TRUE(deck->ChangedSinceSave);
}

// A file nothing could play, or one the operator may not read, is refused as it is chosen and
// says why; the deck stays empty instead of failing at Play with the device blamed.
TEST_F(DeckCarts, ABrokenOrUnreadableFileIsRefusedAtLoadWithTheReason) {
  StartDeck();
  std::string floats = WaveOf(26, TakeSamples(500));
  floats[20] = 3;  // IEEE float, yet 16 bits
  const std::string broken = dir.Path("float16.wav"), locked = dir.Path("locked.wav");
  ASSERT_TRUE(plat::WriteWholeFile(broken, floats));
  ASSERT_TRUE(plat::WriteWholeFile(locked, WaveOf(26, TakeSamples(500))));
  dialogs->AnswerFile(broken);
  deck->LoadCart1Click(deck);
  Pump();
  EXPECT_TRUE(Shown("Invalid WaveFile...\r\nIts float samples have 16 bits; float samples have 32 or 64."));
  EXPECT_FALSE(deck->DeckLoaded);
  WithFileUnreadable(locked, [&] {
    dialogs->AnswerFile(locked);
    deck->LoadCart1Click(deck);
    Pump();
  });
  EXPECT_TRUE(Shown("You are not allowed to read this file."));
  EXPECT_FALSE(deck->DeckLoaded);
}

TEST_F(DeckCarts, MarksKeepTheirOrderAndAnOutroBeforeOneSecondPlaysFromTheStart) {
  StartDeck();
  LoadTake(10000);
  Seek(6000);
  Key('E', plat::ssAlt);
  ASSERT_TRUE(Form22->Visible());
  EXPECT_EQ(0, deck->PunchIn().BeginMark());
  EXPECT_EQ(6000, deck->PunchIn().EndMark());
  EXPECT_FALSE(deck->RecordButton->Enabled());
  EXPECT_EQ("00:00:06.000", Form22->Label3->Caption());

  Seek(8000);  // the slider stops at the end mark while the panel shows
  EXPECT_EQ(6000, deck->TrackBar->Position());
  deck->PunchIn().SetEndMark(9000);
  Seek(8000);
  Key('B', plat::ssAlt);
  EXPECT_EQ(8000, deck->PunchIn().BeginMark());
  deck->PunchIn().SetEndMark(6000);
  Key('B', plat::ssAlt);
  EXPECT_TRUE(Shown("Begin Mark can not come AFTER End Mark."));
  EXPECT_EQ(6000, deck->PunchIn().BeginMark());
  Seek(6000);
  deck->PunchIn().SetBeginMark(7000);
  Key('E', plat::ssAlt);
  EXPECT_TRUE(Shown("End Mark can not come BEFORE Begin Mark."));
  EXPECT_EQ(7000, deck->PunchIn().EndMark());

  // Closing the panel clears the marks.
  Key('P', plat::ssAlt);
  EXPECT_FALSE(Form22->Visible());
  EXPECT_FALSE(deck->PunchIn().BeginMarkSet() || deck->PunchIn().EndMarkSet());

  // An end mark below one second has no second before it: the Outro plays from the start, up
  // to the end mark.
  Seek(600);
  Key('E', plat::ssAlt);
  ASSERT_EQ(600, deck->PunchIn().EndMark());
  Seek(300);
  dialogs->Clear();
  Key(plat::VK_MULTIPLY);
  EXPECT_FALSE(Shown("Integer overflow"));
  ASSERT_TRUE(deck->Playing);
  EXPECT_EQ(0, deck->StartOffset);
  Step(800);
  EXPECT_FALSE(deck->Playing) << "the end mark stops it";
  EXPECT_EQ(600, deck->TrackBar->Position());
  EXPECT_FALSE(deck->PunchIn().OutroRequested());
}

TEST_F(DeckCarts, EjectingAChangedCartClosesThePunchInPanel) {
  StartDeck();
  LoadTake(5000);
  Seek(1000);
  Key('B', plat::ssAlt);
  Seek(3000);
  Key(plat::VK_F5);
  ASSERT_TRUE(deck->Recording);
  // The recording goes on from the begin mark, up to the end mark.
  EXPECT_EQ(1000, deck->TrackBar->Position());
  EXPECT_EQ(4000, deck->WaveIn->MaxRecordTime());
  Step(4100);
  EXPECT_FALSE(deck->Recording) << "the input stops at the end mark";
  dialogs->AnswerMessage(plat::mrNo);
  Key(plat::VK_F7);
  EXPECT_TRUE(deck->DeckLoaded) << "No keeps the cart";
  EXPECT_TRUE(Form22->Visible());
  dialogs->AnswerMessage(plat::mrYes);
  Key(plat::VK_F7);
  EXPECT_FALSE(deck->DeckLoaded);
  EXPECT_FALSE(Form22->Visible());
  EXPECT_FALSE(deck->PunchIn().BeginMarkSet() || deck->PunchIn().EndMarkSet());
  EXPECT_EQ(0, deck->PunchIn().FullLimit());
}

TEST_F(DeckCarts, SavingOntoItselfCopiesNothing) {
  StartDeck();
  std::string path = LoadTake(1000);
  std::string before = Read(path);
  dialogs->AnswerFile(path);
  dialogs->AnswerMessage(plat::mrYes);  // overwrite?
  deck->SaveButtonClick(deck);
  Pump();
  EXPECT_EQ(before, Read(path));
  EXPECT_EQ(OriginExisting, deck->CartOrigin);
  EXPECT_TRUE(deck->FileMustExist);
  EXPECT_FALSE(deck->BusySaving);
}

TEST_F(DeckCarts, ANonDestructiveCopyTakesTheNameOfALinkNotWhereItPoints) {
  StartDeck();
  const std::string source = dir.Path("library/Promo.wav");
  ASSERT_TRUE(plat::ForceDirectories(dir.Path("library")) && plat::ForceDirectories(dir.Path("elsewhere")));
  const std::string data = WriteTake(source, 500);
  ASSERT_EQ(::symlink(dir.Path("elsewhere").c_str(), (DeckTemp() + "Promo.WAV").c_str()), 0);
  dialogs->AnswerFile(source);
  WhenModal([] { Form4->Timer1Timer(Form4->Timer1); });  // the copy, without waiting for its timer
  Key('E', plat::ssCtrl);
  EXPECT_EQ(DeckTemp() + "Promo.WAV", deck->RecordFileName);
  EXPECT_EQ(data, Read(DeckTemp() + "Promo.WAV"));
  EXPECT_EQ(std::vector<std::string>{}, plat::ListFiles(dir.Path("elsewhere"), "*.*"));
}

TEST_F(DeckCarts, ThreeFailedCopiesLeadBackToTheSaveDialog) {
  StartDeck();
  LoadTake(1000);
  // Root may write anywhere, but not below a regular file.
  ASSERT_TRUE(plat::WriteWholeFile(dir.Path("plain"), "x"));
  dialogs->AnswerFile(dir.Path("plain/out.wav"));
  dialogs->AnswerMessage(plat::mrYes);  // Attempt 1
  dialogs->AnswerMessage(plat::mrYes);  // Attempt 2
  dialogs->AnswerMessage(plat::mrYes);  // Attempt 3
  dialogs->AnswerMessage(plat::mrOk);   // Can't save the file using that name or path.
  dialogs->CancelFile();                // the dialog again
  deck->SaveButtonClick(deck);
  Pump();
  EXPECT_TRUE(Shown("Attempt 3"));
  EXPECT_TRUE(Shown("Can't save the file using that name or path."));
  EXPECT_EQ(KindQuick, deck->CartKind);
  EXPECT_FALSE(deck->FileMustExist);
  EXPECT_FALSE(deck->BusySaving);
  int fileDialogs = 0;
  for (const plat::ShownDialog& d : dialogs->Shown()) fileDialogs += d.file;
  EXPECT_EQ(3, fileDialogs);  // the open, the save, and the save again
}

TEST_F(DeckCarts, AByNameCartIsSavedIntoTheSavePathWithoutADialog) {
  ASSERT_TRUE(plat::CreateDir(dir.Path("load")));
  ASSERT_TRUE(plat::CreateDir(dir.Path("save")));
  WriteSettings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[FILES]", "LOAD PATH=" + dir.Path("load/"),
                 "SAVE PATH=" + dir.Path("save/")});
  std::string data = WriteTake(dir.Path("load/spot.wav"), 500);
  StartDeck();
  ASSERT_TRUE(deck->LoadByNameEntry("spot.wav"));
  deck->SaveButtonClick(deck);
  Pump();
  EXPECT_EQ(data, Read(dir.Path("save/spot.wav")));
  EXPECT_EQ(dir.Path("save/spot.wav"), deck->RecordFileName);
  for (const plat::ShownDialog& d : dialogs->Shown()) EXPECT_FALSE(d.file);
}

TEST_F(DeckCarts, ARecoveredTakeWinsOverTheAutoCartAndIsSavedThroughTheDialog) {
  ASSERT_TRUE(plat::CreateDir(dir.Path("save")));
  WriteSettings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[FILES]", "SAVE PATH=" + dir.Path("save/")});
  ASSERT_TRUE(plat::ForceDirectories(DeckTemp()));
  std::string take = WriteTake(DeckTemp() + "Untitled.wav", 700);
  // A file of that name already waits in the save folder.
  ASSERT_TRUE(plat::WriteWholeFile(dir.Path("save/Untitled.wav"), "precious"));
  TSVMain::SetCommandLine({"solvane", "A=" + dir.Path("auto/Spot.wav")});
  dialogs->AnswerMessage(plat::mrOk);  // the recovery warning
  StartDeck();
  ASSERT_TRUE(Shown("A Solvane temporary recording file still exists."));
  EXPECT_EQ(KindByName, deck->CartKind);
  EXPECT_EQ(OriginExisting, deck->CartOrigin);
  EXPECT_EQ(DeckTemp() + "Untitled.wav", deck->RecordFileName);
  EXPECT_FALSE(plat::FileExists(DeckTemp() + "Spot.wav")) << "no auto cart while a take is back";
  EXPECT_TRUE(deck->RecordButton->Enabled());

  dialogs->AnswerFile(dir.Path("save/Recovered.wav"));
  deck->SaveButtonClick(deck);
  Pump();
  EXPECT_EQ("precious", Read(dir.Path("save/Untitled.wav")));
  EXPECT_EQ(take, Read(dir.Path("save/Recovered.wav")));
}

TEST_F(DeckCarts, ATakeLeftBehindThatDoesNotReadIsNeitherLoadedNorCalledRecovered) {
  ASSERT_TRUE(plat::ForceDirectories(DeckTemp()));
  // Cut off inside its format chunk, as a power cut may leave it.
  const std::string cut = BlankWaveHeader(26).substr(0, 30);
  ASSERT_TRUE(plat::WriteWholeFile(DeckTemp() + "Untitled.wav", cut));
  StartDeck();
  ASSERT_TRUE(deck->CreatedOk());
  EXPECT_FALSE(Shown("A Solvane temporary recording file still exists."));
  EXPECT_FALSE(deck->DeckLoaded);
  EXPECT_FALSE(deck->Recovered);
  EXPECT_TRUE(deck->RecordFileName.empty());
  EXPECT_FALSE(dialogs->Texts().empty()) << "the failure is told";
  EXPECT_EQ(cut, Read(DeckTemp() + "Untitled.wav")) << "left for a rescue by hand";
}

// A take killed before any of its audio reached the disk (its header and part of a frame) is no
// recording: nothing is offered, the auto cart is made, and the next eject deletes the leftover.
TEST_F(DeckCarts, ATakeLeftBehindWithoutAudioIsNotOfferedAndGoesWithTheOtherLeftovers) {
  ASSERT_TRUE(plat::ForceDirectories(DeckTemp()));
  ASSERT_TRUE(plat::WriteWholeFile(DeckTemp() + "Untitled.wav", BlankWaveHeader(26) + "\x01"));
  TSVMain::SetCommandLine({"solvane", "A=" + dir.Path("auto/Spot.wav")});
  StartDeck();
  ASSERT_TRUE(deck->CreatedOk());
  EXPECT_FALSE(Shown("A Solvane temporary recording file still exists."));
  EXPECT_TRUE(dialogs->Texts().empty());
  EXPECT_FALSE(deck->Recovered);
  EXPECT_EQ(KindCustom, deck->CartKind);
  EXPECT_EQ(DeckTemp() + "Spot.wav", deck->RecordFileName);
  EXPECT_TRUE(plat::FileExists(DeckTemp() + "Untitled.wav")) << "left as found until the next eject";

  dialogs->AnswerMessage(plat::mrYes);  // a new cart is never saved
  deck->EjectButtonClick(deck);
  Pump();
  EXPECT_FALSE(deck->DeckLoaded);
  EXPECT_FALSE(plat::FileExists(DeckTemp() + "Untitled.wav"));
}

TEST_F(DeckCarts, TheAutoCartIsMadeInTheStandardFormatUnderItsOwnName) {
  TSVMain::SetCommandLine({"solvane", "A=" + dir.Path("auto/Spot")});
  StartDeck();
  EXPECT_EQ(KindCustom, deck->CartKind);
  EXPECT_EQ(DeckTemp() + "Spot.wav", deck->RecordFileName);
  EXPECT_EQ(dir.Path("auto/"), deck->UserData.cart.saveFolder);
  EXPECT_EQ(BlankWaveHeader(26), Read(DeckTemp() + "Spot.wav"));
  EXPECT_EQ(kHour, deck->RecordingLimit);
}
