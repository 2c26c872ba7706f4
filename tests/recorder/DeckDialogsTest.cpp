// The deck's small dialogs: what they refuse, and what they leave in the deck and the settings file.
#include <sys/stat.h>
#include "DeckHarness.h"
#include "common/grip_drag.h"
#include "platform/ui/inifiles.h"
#include "recorder/Unit11.h"
#include "recorder/Unit14.h"
#include "recorder/Unit7.h"
#include "recorder/Unit8.h"

using namespace plat;

namespace {
class DeckDialogs : public DeckHarness {
protected:
  void SetUp() override {
    DeckHarness::SetUp();
    StartDeck(false);
    ASSERT_TRUE(CreateDir(dir.Path("load")));
    deck->Config.loadPath = dir.Path("load/");
    dialogs->Clear();
  }
  std::vector<std::string> Texts() const { return dialogs->Texts(); }
};
}  // namespace

TEST_F(DeckDialogs, LoadByNameRefusesEveryIllegalCharacter) {
  auto* form = NewForm<TForm7>(deck);
  for (char c : std::string("\\/:*?\"<>|")) {
    dialogs->Clear();
    const std::string name = std::string("News") + c + "1";
    form->Edit1->SetText(name);
    form->SetModalResult(mrNone);
    form->Button1Click(form->Button1);
    ASSERT_EQ(Texts().size(), 1u) << c;
    EXPECT_EQ(Texts()[0], "The file name you entered: " + name +
                              "\r\ncontains illegal character(s): \\/:*?\"<>|\r\n\r\nPlease "
                              "correct it and try again.");
    EXPECT_EQ(form->ModalResult(), mrNone) << c;  // the dialog stays open
    EXPECT_TRUE(deck->ByNameEntry.empty());
    EXPECT_FALSE(deck->DeckLoaded);
  }
  // Nothing typed: Cancel. A good name gets ".wav" and goes to the deck.
  form->Edit1->SetText("");
  form->Button1Click(form->Button1);
  EXPECT_EQ(form->ModalResult(), mrCancel);
  form->SetModalResult(mrNone);
  dialogs->AnswerMessage(mrNo);  // not in the load folder; do not make it
  form->Edit1->SetText("Evening");
  form->Button1Click(form->Button1);
  EXPECT_EQ(deck->ByNameEntry, "Evening.wav");
  EXPECT_EQ(form->ModalResult(), mrNone);
  form->Free();
}

TEST(GoToTime, Checks) {
  EXPECT_EQ(CheckGoToTime("00:00:00"), TGoToCheck::Start);
  EXPECT_EQ(CheckGoToTime("01:59:59"), TGoToCheck::Ok);
  EXPECT_EQ(CheckGoToTime("00:00:60"), TGoToCheck::TensOfSeconds);
  EXPECT_EQ(CheckGoToTime("00:60:00"), TGoToCheck::TensOfMinutes);
  // Seconds are checked first, as the operator reads the messages.
  EXPECT_EQ(CheckGoToTime("00:70:70"), TGoToCheck::TensOfSeconds);
  EXPECT_EQ(CheckGoToTime("00:0 :00"), TGoToCheck::Incomplete);
  EXPECT_EQ(CheckGoToTime("00:00:0_"), TGoToCheck::Incomplete);
}

TEST_F(DeckDialogs, QuickLoadKeepsEachNameWithItsOwnLength) {
  // Sorted by the whole line "A B;2" would come before "A;1" (";" sorts after a blank), while the
  // list sorts "A" first: the lengths must follow the names, not the lines.
  ASSERT_TRUE(WriteWholeFile(dir.Path("prefixes.txt"), "Zulu;000500\r\nA B;000200\r\nA;000100\r\nNews\r\n"));
  deck->Config.prefixFile = dir.Path("prefixes.txt");
  deck->Config.prefixSort = true;
  deck->Config.standardLength = 13000;
  auto* form = NewForm<TForm27>(deck);
  ASSERT_EQ(form->ListBox1->Items()->Count(), 4);
  const std::vector<std::pair<std::string, std::string>> want = {
      {"A", "000100"}, {"A B", "000200"}, {"News", "13000"}, {"Zulu", "000500"}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(form->ListBox1->Items()->Strings(i), want[size_t(i)].first);
    form->ListBox1->SetItemIndex(i);
    form->SetModalResult(mrNone);
    form->Button1Click(form->Button1);
    EXPECT_EQ(form->ModalResult(), mrOk);
    EXPECT_EQ(deck->PrefixDisplay, want[size_t(i)].first);
    EXPECT_EQ(deck->PrefixValue, want[size_t(i)].second);
  }
  // Cancel forgets the chosen prefix.
  form->Button2Click(form->Button2);
  EXPECT_EQ(form->ModalResult(), mrCancel);
  EXPECT_TRUE(deck->PrefixDisplay.empty());
  EXPECT_TRUE(deck->PrefixValue.empty());
  // Unsorted, the file's order stands; an empty file empties the list.
  deck->Config.prefixSort = false;
  form->LoadPrefixes();
  EXPECT_EQ(form->ListBox1->Items()->Strings(0), "Zulu");
  ASSERT_TRUE(WriteWholeFile(dir.Path("prefixes.txt"), ""));
  form->LoadPrefixes();
  EXPECT_EQ(form->ListBox1->Items()->Count(), 0);
  form->SetModalResult(mrNone);
  form->Button1Click(form->Button1);  // nothing to load
  EXPECT_EQ(form->ModalResult(), mrNone);
  form->Free();
}

TEST_F(DeckDialogs, AQuickLoadPrefixFileThatCannotBeReadIsNamedAndHoldsNothingUp) {
  const std::string fifo = dir.Path("prefixes.txt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // no writer: a plain read would wait for good
  deck->Config.prefixFile = fifo;
  auto* form = NewForm<TForm27>(deck);
  EXPECT_EQ(form->ListBox1->Items()->Count(), 0);
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_EQ(Texts()[0], "Unable to read " + fifo + ": it is not a regular file.");
  form->Free();
}

TEST_F(DeckDialogs, QuickLoadGrowsWithItsWindowWhenTheGripIsDragged) {
  auto* form = NewForm<TForm27>(deck);
  form->Show();
  Pump();
  const int w = form->Width(), h = form->Height();
  const int buttonsTop = form->Button1->Top(), list = form->ListBox1->Height();
  DragGrip(form->StatusBar1, 80, 100);
  EXPECT_EQ(form->Width(), w + 80);
  EXPECT_EQ(form->Height(), h + 100);
  EXPECT_GT(form->ListBox1->Height(), list);
  EXPECT_GT(form->Button1->Top(), buttonsTop);
  form->Free();
}

TEST_F(DeckDialogs, CartSettingsWriteTheStandardCartOrSetTheCustomOne) {
  const std::string ini = home + "Solvane.ini";
  ASSERT_TRUE(WriteWholeFile(ini, "[Standard Cart]\r\nFORMAT=31\r\nLENGTH=3000\r\n"));
  auto* form = NewForm<TForm3>(deck);
  form->FormShow(form);
  EXPECT_EQ(form->Caption(), "Standard Cart Settings");
  EXPECT_EQ(form->ComboBox1->ItemIndex(), 31);
  EXPECT_EQ(form->TimeEdit->Text(), "003000");
  form->ComboBox1->SetItemIndex(5);
  form->TimeEdit->SetText("013000");
  form->Button1Click(form->Button1);
  EXPECT_EQ(form->ModalResult(), mrOk);
  {
    TIniFile f(ini);
    EXPECT_EQ(f.ReadInteger("Standard Cart", "FORMAT", -1), 5);
    EXPECT_EQ(f.ReadInteger("Standard Cart", "LENGTH", -1), 13000);
  }
  // A custom cart takes the choice and leaves the file alone.
  deck->CartKind = KindCustom;
  form->SetModalResult(mrNone);
  form->FormShow(form);
  EXPECT_EQ(form->Caption(), "Custom Cart Settings");
  form->ComboBox1->SetItemIndex(35);
  form->TimeEdit->SetText("000030");
  form->Button1Click(form->Button1);
  EXPECT_EQ(form->ModalResult(), mrOk);
  EXPECT_EQ(deck->UserData.cart.customFormat, 35);
  EXPECT_EQ(deck->UserData.cart.customLength, 30);
  EXPECT_EQ(TIniFile(ini).ReadInteger("Standard Cart", "FORMAT", -1), 5);
  // A length with digits missing is no length: refused, nothing taken.
  form->SetModalResult(mrNone);
  form->TimeEdit->SetText("01");
  form->Button1Click(form->Button1);
  EXPECT_EQ(form->ModalResult(), mrNone);
  EXPECT_EQ(deck->UserData.cart.customLength, 30);
  EXPECT_EQ(Texts().size(), 1u);
  form->Free();
}

TEST_F(DeckDialogs, TheHiddenManagerCommandAsksForASetSupervisorPassword) {
  int managerShown = 0;
  // Closes the manager should it show, so a failing run still ends.
  auto closeManager = [&] {
    WhenModal([&] {
      if (!deck->Form14->Modal()) return;
      ++managerShown;
      deck->Form14->CloseUsers->Click();
    });
  };
  deck->Config.supervisorPassword = "Boss";
  for (const char* typed : {"", "boss", "Boss"}) {
    WhenModal([&, typed] {
      if (deck->Form14->Modal()) {
        ADD_FAILURE() << "the manager opened without the password";
        ++managerShown;
        deck->Form14->CloseUsers->Click();
        return;
      }
      ASSERT_TRUE(deck->Form11->Modal()) << typed;
      deck->Form11->Edit1->SetText(typed);
      closeManager();
      deck->Form11->Button1->Click();
    });
    Key('D', ssCtrl);
    EXPECT_EQ(managerShown, std::string(typed) == "Boss" ? 1 : 0) << typed;
  }
  EXPECT_TRUE(Shown("No advanced settings at this time"));
  EXPECT_TRUE(Shown("The password is incorrect."));

  // Without a supervisor password the command opens the manager at once.
  deck->Config.supervisorPassword.clear();
  closeManager();
  Key('D', ssCtrl);
  EXPECT_EQ(managerShown, 2);
  EXPECT_FALSE(deck->Form11->Visible());
}

TEST_F(DeckDialogs, AQuickLoadPrefixThatIsNoFileNameIsRefused) {
  ASSERT_TRUE(WriteWholeFile(dir.Path("prefixes.txt"), "../../carts/take;000100\r\nNews\r\n"));
  deck->Config.prefixFile = dir.Path("prefixes.txt");
  auto* form = NewForm<TForm27>(deck);
  form->ListBox1->SetItemIndex(0);
  form->Button1Click(form->Button1);
  EXPECT_EQ(form->ModalResult(), mrNone);  // the list stays open
  EXPECT_TRUE(deck->PrefixDisplay.empty());
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_NE(Texts()[0].find("The prefix ../../carts/take cannot start a file name"), std::string::npos);
  form->ListBox1->SetItemIndex(1);
  form->Button1Click(form->Button1);
  EXPECT_EQ(form->ModalResult(), mrOk);
  form->Free();
}

TEST_F(DeckDialogs, ABlankProgramNamedOutOfTheTemporaryFolderTouchesNothing) {
  // A saved take where "../../carts/take" leads from the temporary folder.
  ASSERT_TRUE(ForceDirectories(temp + "../carts/"));
  const std::string take = WriteTake(temp + "../carts/take.wav", 5000);
  const std::string fmt = FormatText(26);
  ASSERT_TRUE(WriteWholeFile(home + "Default.svu", "[Template 0]\r\nName=../carts/take\r\nLength=00:01:00\r\nFormat=" +
                                                       fmt + "\r\nLockout=0\r\n[Template 1]\r\nName=Good\r\nLength=" +
                                                       "00:01:00\r\nFormat=" + fmt + "\r\nLockout=0\r\n"));
  // Loading the list pumps messages: wait for the dialog and its lines.
  std::function<void()> pick = [&] {
    if (!deck->Form8->Modal() || deck->Form8->ListBox1->Items()->Count() == 0) return WhenModal(pick);
    // The refused program is not offered: line 1 is the next one.
    EXPECT_EQ(deck->Form8->ListBox1->Items()->Count(), 2);
    deck->Form8->ListBox1->SetItemIndex(1);
    deck->Form8->Button1->Click();
  };
  WhenModal(pick);
  deck->LoadBlankQuickCart1Click(deck);
  Pump();
  EXPECT_TRUE(Shown("[Template 0] \"../carts/take\": its name contains illegal character(s)"));
  EXPECT_EQ(deck->RecordFileName, DeckTemp() + "Good.wav");
  EXPECT_EQ(Read(temp + "../carts/take.wav"), take);
  deck->EjectButtonClick(deck);
  Pump();

  // Whatever reaches the deck's cart program, no cart is made outside the temporary folder.
  dialogs->Clear();
  deck->CartKind = KindCustom;
  deck->UserData.cart.programName = "../carts/take";
  deck->UserData.cart.customFormat = 26;
  EXPECT_FALSE(deck->QuickRecordLoad());
  EXPECT_TRUE(Shown("The cart's name ../carts/take.wav leads out of the temporary folder."));
  EXPECT_EQ(Read(temp + "../carts/take.wav"), take);
}
