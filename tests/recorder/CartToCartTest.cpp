// The deck from one cart to the next: what a cart leaves behind must not reach the next one, the
// marks are the times the display shows, and the edges of loading and saving say what happened.
#include <unistd.h>

#include "DeckHarness.h"
#include "recorder/DeckTemp.h"
#include "recorder/Settings.h"
#include "recorder/Unit7.h"
#include "recorder/Unit8.h"
#include "recorder/Unit9.h"

using namespace plat;

namespace {
// The free space every query reports while it lives.
class FreeSpace {
public:
  explicit FreeSpace(int64_t bytes) {
    SetDiskFreeQuery([bytes](const std::string&, int64_t& freeBytes) {
      freeBytes = bytes;
      return true;
    });
  }
  ~FreeSpace() { SetDiskFreeQuery(nullptr); }
};
}  // namespace

class CartToCart : public DeckHarness {
protected:
  void Seek(int64_t ms) {
    deck->SetSliderPosition(ms);
    deck->Seek();
    Pump();
  }
  // A program in the default user's library, saved into folder with a lockout of hours.
  void WriteProgram(const std::string& folder, int hours) {
    ASSERT_TRUE(WriteWholeFile(home + "Default.svu",
                               "[Template 0]\r\nName=News\r\nLength=00:01:00\r\nDescription=Top "
                               "of the hour\r\nFormat=" +
                                   FormatText(26) + "\r\nSave Path=" + folder + "\r\nLockout=" + std::to_string(hours) +
                                   "\r\n"));
  }
  // Runs fn on the modal window of class T once it stands and fn finds it ready (messages may
  // be handled before it opens, and while it fills its list); fn returns false for not yet.
  template <class T>
  static void WhenModalForm(std::function<bool(T*)> fn, int tries = 100000) {
    QTimer::singleShot(0, [fn, tries] {
      for (int i = 0; i < Screen->FormCount(); ++i)
        if (auto* f = dynamic_cast<T*>(Screen->Forms(i)); f && f->Modal() && fn(f)) return;
      if (tries > 0) WhenModalForm<T>(fn, tries - 1);
    });
  }
  // The blank cart of the library's first program, through the Insert key and its list.
  void LoadProgram() {
    WhenModalForm<TForm8>([](TForm8* f) {
      if (f->ListBox1->Items()->Count() < 2) return false;
      f->ListBox1->SetItemIndex(1);
      f->Button1->Click();
      return true;
    });
    Key(VK_INSERT);
  }
  void RecordAndStop(uint32_t ms) {
    Key(VK_F5);
    ASSERT_TRUE(deck->Recording);
    Step(ms);
    Key(VK_F4);
  }
  // The slider and both time labels agree, and a mark placed now is that time.
  void ExpectHeldAt(int64_t length) {
    const int64_t pos = deck->TrackBar->Position();
    EXPECT_EQ(deck->FormatTime(pos), deck->CurrentPosition->Caption());
    EXPECT_EQ(deck->FormatTime(length - pos), deck->TimeLeft->Caption());
  }
};

TEST_F(CartToCart, GoToBeginAndIntroLeaveTheWholeRangeToTheNextCart) {
  WriteSettings({"[Standard Cart]", "FORMAT=26", "LENGTH=000005"});
  StartDeck();
  LoadTake(10000);
  Seek(3000);
  Key('B', ssAlt);
  Key('B', ssShift);  // GoTo Begin
  EXPECT_EQ(3000, deck->TrackBar->Position());
  Key('P', ssAlt);
  ASSERT_FALSE(Form22->Visible());
  EXPECT_EQ(0, deck->TrackBar->MinValue());
  Key(VK_HOME);
  EXPECT_EQ(0, deck->TrackBar->Position()) << "Home stops at the old begin mark";
  Key(VK_F12);
  EXPECT_EQ(1000, deck->TrackBar->Position());

  // Intro plays from the begin mark; the cart is then ejected with the panel still up.
  Seek(3000);
  Key('B', ssAlt);
  Key(VK_DIVIDE);
  ASSERT_TRUE(deck->Playing);
  Step(500);
  Key(VK_F4);
  EXPECT_FALSE(deck->Playing);
  Key(VK_F7);
  ASSERT_TRUE(deck->DeckEmpty);
  EXPECT_EQ(0, deck->TrackBar->MinValue());

  // The next cart, a blank five seconds, records from its start to its full length.
  Key('S', ssCtrl);
  EXPECT_EQ(0, deck->TrackBar->Position());
  Key(VK_F5);
  ASSERT_TRUE(deck->Recording);
  EXPECT_EQ(5000, deck->WaveIn->MaxRecordTime());
  Step(5300);
  EXPECT_FALSE(deck->Recording) << "the input stops at the cart's length";
  EXPECT_EQ(5000, deck->WaveLength());
  EXPECT_EQ("00:00:05.000", deck->CurrentPosition->Caption());
  dialogs->AnswerMessage(mrYes);  // all changes will be lost
  Key(VK_F7);
}

TEST_F(CartToCart, AProgramsSaveFolderAndLockoutGoWithItsCart) {
  ASSERT_TRUE(ForceDirectories(dir.Path("news/")));
  ASSERT_TRUE(ForceDirectories(dir.Path("save/")));
  WriteSettings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[FILES]", "SAVE PATH=" + dir.Path("save/"),
                 "SAFETY SAVE=1", "PASSWORD=boss"});
  WriteProgram(dir.Path("news/"), 5);
  StartDeck();
  LoadProgram();
  ASSERT_EQ(KindCustom, deck->CartKind);
  ASSERT_EQ(dir.Path("news/"), deck->UserData.cart.saveFolder);
  RecordAndStop(200);
  dialogs->AnswerMessage(mrYes);  // all changes will be lost
  Key(VK_F7);
  EXPECT_TRUE(deck->UserData.cart.saveFolder.empty());
  EXPECT_EQ(0, deck->UserData.cart.lockoutHours);

  // A standard cart saved over a file written a moment ago: no program, so no lockout, and the
  // dialog starts in the settings' save folder.
  const std::string target = dir.Path("save/Spot.wav");
  ASSERT_TRUE(WriteWholeFile(target, "written a moment ago"));
  Key('S', ssCtrl);
  RecordAndStop(200);
  const std::string take = Read(deck->RecordFileName);
  std::string startedIn;
  dialogs->OnFileShown = [&](FileRequest& r) { startedIn = r.initialDir; };
  auto lockedOut = std::make_shared<bool>(false);
  WhenModalForm<TForm9>(
      [lockedOut](TForm9* f) {
        *lockedOut = true;
        f->Button2->Click();
        return true;
      },
      50);
  dialogs->AnswerFile(target);
  dialogs->AnswerMessage(mrYes);  // replace it?
  Key(VK_F9);
  dialogs->OnFileShown = nullptr;
  EXPECT_EQ(dir.Path("save/"), startedIn);
  EXPECT_FALSE(*lockedOut) << "the last program's lockout guarded a standard cart";
  EXPECT_EQ(take, Read(target));
}

TEST_F(CartToCart, AProgramsMissingSaveFolderIsToldBeforeTheDialogOpensElsewhere) {
  ASSERT_TRUE(ForceDirectories(dir.Path("save/")));
  WriteSettings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[FILES]", "SAVE PATH=" + dir.Path("save/")});
  WriteProgram(dir.Path("share/news/"), 0);  // a share that is not mounted
  StartDeck();
  LoadProgram();
  RecordAndStop(200);
  std::string startedIn;
  size_t toldBefore = 0;
  dialogs->OnFileShown = [&](FileRequest& r) {
    startedIn = r.initialDir;
    toldBefore = dialogs->Shown().size();
  };
  dialogs->CancelFile();
  Key(VK_F9);
  dialogs->OnFileShown = nullptr;
  ASSERT_EQ(1u, toldBefore) << Joined(dialogs->Texts());
  const ShownDialog& told = dialogs->Shown().front();
  EXPECT_FALSE(told.file);
  EXPECT_EQ(mtWarning, told.type);
  EXPECT_NE(std::string::npos, told.text.find(dir.Path("share/news/"))) << told.text;
  EXPECT_NE(std::string::npos, told.text.find("does not exist")) << told.text;
  EXPECT_EQ(dir.Path("save/"), startedIn);
  dialogs->AnswerMessage(mrYes);  // all changes will be lost
  Key(VK_F7);
}

TEST_F(CartToCart, TheMarksAreTheTimeShownWhereTheDeckStopsOrPauses) {
  StartDeck();
  LoadTake(10000);
  Key(VK_F3);
  Step(1580);  // between two ticks of the display timer
  Key(VK_F4);
  ASSERT_FALSE(deck->Playing);
  ExpectHeldAt(10000);
  Key('B', ssAlt);
  EXPECT_EQ(deck->CurrentPosition->Caption(), Form22->Label1->Caption());
  EXPECT_EQ(deck->TrackBar->Position(), deck->PunchIn().BeginMark());

  // Paused further on, the time shown is where the playback is: resumed and stopped at once,
  // the deck shows the same time.
  Key(VK_F3);
  ASSERT_TRUE(deck->Playing);
  Step(1630);
  Key(VK_F2);
  ASSERT_TRUE(deck->Paused);
  ExpectHeldAt(10000);
  const std::string paused = deck->CurrentPosition->Caption();
  Key(VK_F2);
  ASSERT_TRUE(deck->Playing);
  Key(VK_F4);
  EXPECT_EQ(paused, deck->CurrentPosition->Caption());
  Key('E', ssAlt);
  EXPECT_EQ(paused, Form22->Label3->Caption());
  Key('P', ssAlt);

  // A paused recording holds its time the same way: the take, stopped there, is that long.
  Key(VK_F7);
  Key('S', ssCtrl);
  Key(VK_F5);
  Step(1330);
  Key(VK_F2);
  ASSERT_TRUE(deck->Paused);
  const int64_t held = deck->TrackBar->Position();
  EXPECT_EQ(deck->FormatTime(held), deck->CurrentPosition->Caption());
  EXPECT_EQ(deck->FormatTime(deck->RecordingLimit - held), deck->TimeLeft->Caption());
  Key(VK_F4);
  EXPECT_EQ(held, deck->WaveLength());
  dialogs->AnswerMessage(mrYes);  // all changes will be lost
  Key(VK_F7);
}

TEST_F(CartToCart, LoadByNameFindsTheOneFileOfThatNameInAnyCase) {
  ASSERT_TRUE(ForceDirectories(dir.Path("load/")));
  WriteSettings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[FILES]", "LOAD PATH=" + dir.Path("load/"),
                 "[LOAD BY NAME]", "HEADSTART=1"});
  WriteTake(dir.Path("load/News.wav"), 1000);
  StartDeck();
  WhenModalForm<TForm7>([](TForm7* f) {
    f->Edit1->SetText("news");
    f->Button1->Click();
    return true;
  });
  Key('N', ssCtrl);
  EXPECT_EQ(dir.Path("load/News.wav"), deck->RecordFileName);
  EXPECT_EQ(KindByName, deck->CartKind);
  EXPECT_EQ(OriginExisting, deck->CartOrigin);
  EXPECT_EQ(1000, deck->WaveLength());
  EXPECT_FALSE(Shown("This file was not found."));
  Key(VK_F7);

  // Two files that answer to the name: neither is taken for it.
  WriteTake(dir.Path("load/NEWS.WAV"), 500);
  dialogs->AnswerMessage(mrNo);  // create it?
  EXPECT_FALSE(deck->LoadByNameEntry("news.wav"));
  EXPECT_TRUE(Shown(dir.Path("load/news.wav") + "\r\n\r\nThis file was not found."));
  EXPECT_FALSE(deck->DeckLoaded);
}

TEST_F(CartToCart, EjectingClearsEveryFileOfTheTemporaryFolder) {
  StartDeck();
  Key('S', ssCtrl);
  RecordAndStop(200);
  // An older version's lock file goes with the rest: the folder itself is what is locked.
  for (const char* name : {"notes", "Untitled.wav.part", ".lock", ".Solvane.lock"})
    ASSERT_TRUE(WriteWholeFile(DeckTemp() + name, "left"));
  // Links go as names: neither what they point at nor a folder inside is touched.
  ASSERT_TRUE(WriteWholeFile(dir.Path("outside.wav"), "kept"));
  ASSERT_TRUE(ForceDirectories(dir.Path("elsewhere")) && WriteWholeFile(dir.Path("elsewhere/a.wav"), "kept"));
  ASSERT_TRUE(ForceDirectories(DeckTemp() + "inner") && WriteWholeFile(DeckTemp() + "inner/b.wav", "kept"));
  ASSERT_EQ(::symlink(dir.Path("outside.wav").c_str(), (DeckTemp() + "file link.wav").c_str()), 0);
  ASSERT_EQ(::symlink(dir.Path("elsewhere").c_str(), (DeckTemp() + "folder link").c_str()), 0);
  dialogs->AnswerMessage(mrYes);  // all changes will be lost
  Key(VK_F7);
  EXPECT_EQ(std::vector<std::string>{}, ListFiles(DeckTemp(), ".*"));
  EXPECT_EQ(std::vector<std::string>{"inner"}, ListFiles(DeckTemp(), "*", true));
  EXPECT_EQ("kept", Read(dir.Path("outside.wav")));
  EXPECT_EQ("kept", Read(dir.Path("elsewhere/a.wav")));
  EXPECT_EQ("kept", Read(DeckTemp() + "inner/b.wav"));
}

TEST_F(CartToCart, SavingATakeWhoseFileVanishedWritesItOutAgainAndOneTheDeckDoesNotHoldIsSaidToBeGone) {
  StartDeck();
  Key('S', ssCtrl);
  RecordAndStop(300);
  const std::string take = deck->RecordFileName, bytes = Read(take);
  ASSERT_TRUE(DeleteFile(take));  // a cleaner of the temporary folder
  dialogs->AnswerFile(dir.Path("Saved.wav"));
  Key(VK_F9);
  TTakeBackNote note;
  note.path = take;
  note.back = TTakeBack::WrittenOut;
  EXPECT_TRUE(Shown(TakeBackText(note))) << Joined(dialogs->Texts());
  EXPECT_FALSE(Shown(FileGoneText(take)));
  EXPECT_EQ(bytes, Read(dir.Path("Saved.wav")));
  Key(VK_F7);
  ASSERT_TRUE(deck->DeckEmpty);

  // A cart of the library recorded into: the deck holds no take of its own to write out.
  const std::string cart = LoadTake(1000);
  RecordAndStop(300);
  ASSERT_TRUE(DeleteFile(cart));
  Key(VK_F9);
  EXPECT_TRUE(Shown(FileGoneText(cart))) << Joined(dialogs->Texts());
  EXPECT_FALSE(Shown("already been saved"));
  EXPECT_FALSE(Shown("all changes will be lost"));
  EXPECT_TRUE(deck->DeckEmpty);
}

TEST_F(CartToCart, ACartTheTwoGigabyteCapRefusesSaysSoOnADiskWithRoom) {
  // Five hours at 48 kHz, 16 bit, stereo: 3.5 GB, on a disk with 77 GB free.
  WriteSettings({"[Standard Cart]", "FORMAT=35", "LENGTH=050000"});
  StartDeck();
  {
    FreeSpace disk(77'000'000'000);
    Key('S', ssCtrl);
  }
  EXPECT_FALSE(Shown("not enough free disk space"));
  // 2146483647 bytes are 536620911 frames of 4 bytes: 11179602 ms at 48 kHz.
  EXPECT_TRUE(Shown("A cart can hold at most 2 GB of audio, which is 03:06:19.602 in this format."))
      << Joined(dialogs->Texts());
  EXPECT_FALSE(deck->DeckLoaded);

  // A disk that cannot hold it still asks for room.
  dialogs->Clear();
  {
    FreeSpace disk(1'000'000'000);
    Key('S', ssCtrl);
  }
  EXPECT_TRUE(Shown("There is not enough free disk space to safely generate a Standard\\Quickcart."));
  EXPECT_FALSE(Shown("2 GB"));
  EXPECT_FALSE(deck->DeckLoaded);
}
