#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>
#include <QTabBar>
#include <QTabWidget>
#include <QWidget>
#include <string>

#include <QApplication>

#include "controls/zelclass.h"
#include "controls/zeldlgs.h"
#include "platform/ui/native_qt.h"
#include "platform/system/files.h"
#include "platform/system/list_lock.h"
#include "recorder/FolderDialogs.h"
#include "platform/ui/menus.h"
#include "recorder/Login.h"
#include "recorder/ProgramColumns.h"
#include "recorder/Unit10.h"
#include "recorder/Unit2.h"
#include "recorder/Unit6.h"
#include "recorder/Sending.h"
#include "recorder/Unit11.h"
#include "recorder/Unit13.h"
#include "recorder/Unit14.h"
#include "recorder/Unit15.h"
#include "recorder/Unit16.h"
#include "recorder/Unit18.h"
#include "recorder/Unit21.h"
#include "recorder/Unit25.h"
#include "recorder/Unit8.h"
#include "recorder/Unit9.h"
#include "tests/common/grip_drag.h"
#include "tests/common/scratch.h"
#include "tests/recorder/fake_user_deck.h"
#include "tests/recorder/form_test.h"

using namespace plat;

namespace {

// The way an operator changes page: a click on its tab.
void ClickTab(TPageControl* pages, int index) {
  QTabBar* bar = plat::TabsOf(pages)->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
  QCoreApplication::processEvents();
}

std::string Contents(const std::string& path) {
  std::string text;
  ReadWholeFile(path, text);
  return text;
}

// "&Add Program" on the manager's programs page, with the dialog filled in and its OK clicked.
void AddNews(TForm14* manager) {
  Later([manager] {
    manager->Form18->Edit1->SetText("News");
    manager->Form18->Edit2->SetText("At noon");
    manager->Form18->Button1->Click();
  });
  manager->AddProgram->Click();
}

class UserForms : public ::testing::Test {
protected:
  // The kit's timer pool, for the buttons that watch the mouse; it never ticks here.
  UserForms() : kit_(std::make_unique<TZelManualTimerBackend>()), deck(dir.Root() + "/") {
    WriteWholeFile(Folder() + "Solvane.ini", "[Standard Cart]\r\nFORMAT=31\r\nLENGTH=3000\r\n");
    deck.settings.savePath = "/carts";
  }
  ~UserForms() override {
    for (TForm* f : forms_) f->Free();
  }
  std::string Folder() const { return dir.Root() + "/"; }
  template <class T>
  T* Form() {
    T* f = MakeForm<T>(Application, deck);
    forms_.push_back(f);
    return f;
  }

  TZelApplication kit_;
  Scratch dir;
  FakeUserDeck deck;
  std::vector<TForm*> forms_;
};

}  // namespace

TEST_F(UserForms, LoginListsEveryUserOnceAndEnterTriesThePassword) {
  WriteWholeFile(Folder() + "default.svu", "");
  WriteWholeFile(Folder() + "ann.svu", "[USER]\r\nPASSWORD=Pw\r\n");
  auto* login = Form<TForm10>();
  int result = RunModal(login, [&] {
    EXPECT_EQ(login->ComboBox1->Items()->Count(), 2);
    EXPECT_EQ(login->ComboBox1->Text(), "Default");
    login->ComboBox1->SetItemIndex(1);
    login->Edit2->SetText("pw");
    PressKey(login->Edit2, Qt::Key_Return);
    EXPECT_EQ(deck.LastText(), WrongPasswordMessage);
    EXPECT_FALSE(login->Edit2->Text().empty());  // the dialog stays as it was
    login->Edit2->SetText("Pw");
    PressKey(login->Edit2, Qt::Key_Return);
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(deck.users.currentUser, "ann");
  // Showing it again starts from an empty password.
  RunModal(login, [&] { EXPECT_EQ(login->Edit2->Text(), ""); });
}

TEST_F(UserForms, AfterARefusedLoginTheNextLoginStartsAtTheName) {
  WriteWholeFile(Folder() + "ann.svu", "[USER]\r\nPASSWORD=Pw\r\n");
  auto* login = Form<TForm10>();
  RunModal(login, [&] {
    EXPECT_EQ(login->ActiveControl(), login->ComboBox1);
    login->ComboBox1->SetItemIndex(1);
    login->Edit2->SetFocus();
    login->Edit2->SetText("wrong");
    PressKey(login->Edit2, Qt::Key_Return);
    EXPECT_EQ(deck.LastText(), WrongPasswordMessage);
    login->Close();
  });
  // Enter in the password field would log in "Default", listed first: the name has the focus.
  RunModal(login, [&] {
    EXPECT_EQ(login->ActiveControl(), login->ComboBox1);
    login->Close();
  });
}

TEST_F(UserForms, PasswordPrompts) {
  deck.settings.supervisorPassword = "Boss";
  deck.settings.exitPassword = "Out";
  auto* prompt = Form<TForm11>();
  auto* manager = Form<TForm14>();
  int managerShown = 0;
  manager->OnShow = [&](TObject*) {
    ++managerShown;
    Later([&] { manager->CloseUsers->Click(); });
  };
  auto typeAndOk = [&](const std::string& text) {
    Later([&, text] {
      prompt->Edit1->SetText(text);
      prompt->Button1->Click();
    });
    OpenManagerWithPassword(deck, *prompt, *manager);
  };
  typeAndOk("boss");
  EXPECT_EQ(managerShown, 0);
  EXPECT_EQ(deck.LastText(), WrongPasswordMessage);
  typeAndOk("Boss");
  EXPECT_EQ(managerShown, 1);

  // The exit prompt empties a wrong password; Cancel keeps the program running.
  auto* exitPrompt = Form<TForm25>();
  Later([&] {
    exitPrompt->Edit1->SetText("out");
    exitPrompt->Button1->Click();
    EXPECT_EQ(deck.LastText(), "Password Incorrect");
    EXPECT_EQ(exitPrompt->Edit1->Text(), "");
    exitPrompt->Button2->Click();
  });
  EXPECT_FALSE(ExitPasswordGiven(deck, *exitPrompt));
  Later([&] {
    exitPrompt->Edit1->SetText("Out");
    PressKey(exitPrompt->Edit1, Qt::Key_Return);
  });
  EXPECT_TRUE(ExitPasswordGiven(deck, *exitPrompt));
  deck.settings.exitPassword.clear();
  EXPECT_TRUE(ExitPasswordGiven(deck, *exitPrompt));  // nothing is asked
}

TEST_F(UserForms, LockoutDialogAsksForTheSupervisor) {
  const std::string target = Folder() + "take.wav";
  WriteWholeFile(target, "RIFF");
  SetFileAge(target, 1700000000);
  deck.now = 1700000000 + 3600;
  deck.settings.supervisorPassword = "Boss";
  deck.users.cart = {"News", 3000, 26, "/carts/", 4};
  auto* lockout = Form<TForm9>();
  Later([&] {
    EXPECT_EQ(lockout->Label2->Caption(), DateTimeText(1700000000 + 4 * 3600));
    lockout->Edit1->SetText("boss");
    lockout->Button1->Click();
    EXPECT_EQ(deck.LastText(), WrongPasswordMessage);
    lockout->Button2->Click();
  });
  EXPECT_FALSE(SaveTargetAllowed(deck, target, *lockout));
  Later([&] {
    EXPECT_EQ(lockout->Edit1->Text(), "");
    lockout->Edit1->SetText("Boss");
    lockout->Button1->Click();
  });
  EXPECT_TRUE(SaveTargetAllowed(deck, target, *lockout));
  // After an authorisation the next operator finds the field empty: Enter alone is refused.
  deck.shown.clear();
  Later([&] {
    EXPECT_EQ(lockout->Edit1->Text(), "");
    PressKey(lockout->Edit1, Qt::Key_Return);
    EXPECT_EQ(deck.LastText(), WrongPasswordMessage);
    lockout->Button2->Click();
  });
  EXPECT_FALSE(SaveTargetAllowed(deck, target, *lockout));
}

TEST_F(UserForms, BlankProgramListDrawsColumnsAndLoadsTheChosenLine) {
  deck.users.currentUser = "ann";
  deck.users.programList[0] = {"Morning", "00:30:00", "Drive", FormatText(18), "/news/", "4"};
  deck.users.programList[1] = {"Evening", "01:00:00", "", FormatText(3), "", "1"};
  auto* dialog = Form<TForm8>();
  QImage picture;
  int result = RunModal(dialog, [&] {
    EXPECT_EQ(dialog->Caption(), "Load Blank Program  [User: ann ]");
    EXPECT_EQ(dialog->StatusBar1->SimpleText(), "User: ann");
    ASSERT_EQ(dialog->ListBox1->Items()->Count(), 3);
    EXPECT_EQ(dialog->Label1->Caption(), "1 of 250");
    PressKey(dialog->ListBox1, Qt::Key_Down);
    PressKey(dialog->ListBox1, Qt::Key_Down);
    EXPECT_EQ(dialog->Label1->Caption(), "3 of 250");
    picture = plat::WidgetOf(dialog->ListBox1)->grab().toImage();
    PressKey(dialog->ListBox1, Qt::Key_Up);
    PressKey(dialog->ListBox1, Qt::Key_Return);
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(deck.users.cart.programName, "Morning");
  EXPECT_EQ(deck.users.cart.customLength, 3000);
  EXPECT_EQ(deck.users.cart.customFormat, 18);
  EXPECT_EQ(deck.users.cart.lockoutHours, 4);

  // Line 0 unselected: white and grey columns in turn; line 2 selected: the highlight colour.
  ASSERT_FALSE(picture.isNull());
  const TRect first = dialog->ListBox1->ItemRect(0), third = dialog->ListBox1->ItemRect(2);
  const int y0 = (first.Top + first.Bottom) / 2, y2 = (third.Top + third.Bottom) / 2;
  auto bgr = [&](int x, int y) {
    QRgb p = picture.pixel(x, y);
    return uint32_t(qRed(p)) | uint32_t(qGreen(p)) << 8 | uint32_t(qBlue(p)) << 16;
  };
  int x = first.Left + ProgramColumnWidths[0] + ProgramColumnWidths[1] - 2;  // end of column 2
  EXPECT_EQ(bgr(x, y0), RGB(223, 223, 223));
  EXPECT_EQ(bgr(x + 3, y0), ColorToBGR(clWhite));
  EXPECT_EQ(bgr(x, y2), ColorToBGR(clHighlight));
}

TEST_F(UserForms, BlankProgramListGrowsWithItsWindowWhenTheGripIsDragged) {
  auto* dialog = Form<TForm8>();
  dialog->Show();
  QCoreApplication::processEvents();
  const int w = dialog->Width(), h = dialog->Height(), list = dialog->ListBox1->Height();
  DragGrip(dialog->StatusBar1, 120, 90);
  EXPECT_EQ(dialog->Width(), w + 120);
  EXPECT_EQ(dialog->Height(), h + 90);
  EXPECT_GT(dialog->ListBox1->Height(), list);
  // Not below the size it was made at.
  DragGrip(dialog->StatusBar1, -400, -300);
  EXPECT_EQ(dialog->Width(), w);
  EXPECT_EQ(dialog->Height(), h);
  dialog->Hide();
}

TEST_F(UserForms, TheProgramListAndPasswordWindowsTakeTheApplicationsIcon) {
  TBitmap icon(16, 16);
  icon.Canvas()->Brush()->SetColor(clRed);
  icon.Canvas()->FillRect(Rect(0, 0, 16, 16));
  Application->SetIcon(icon);
  TForm* taking[] = {Form<TForm8>(), Form<TForm9>(), Form<TForm11>(), NewForm<TForm13>(Application)};
  TForm* login = Form<TForm10>();
  TBitmap none;
  Application->SetIcon(none);
  for (TForm* f : taking) {
    ASSERT_FALSE(f->Icon().Empty()) << f->Caption();
    EXPECT_EQ(QColor(plat::ImageOf(f->Icon()).pixel(8, 8)), QColor(Qt::red)) << f->Caption();
  }
  EXPECT_TRUE(login->Icon().Empty()) << "a window that does not ask shows whatever the application has";
  taking[3]->Free();
}

TEST_F(UserForms, ManagerKeepsTheLibraryAndItsUsers) {
  WriteWholeFile(Folder() + "Default.svu",
                 "[Template 0]\r\nName=Zed\r\nLockout=3\r\n[Template 1]\r\nName=alpha\r\n"
                 "Lockout=10\r\n");
  WriteWholeFile(Folder() + "bob.svu", "");
  auto* manager = Form<TForm14>();
  std::string before;
  int result = RunModal(manager, [&] {
    before = Contents(Folder() + "Default.svu");
    EXPECT_EQ(manager->ListBox1->Items()->Count(), 2);
    manager->ListBox1->SetItemIndex(0);
    manager->RemoveUserButton->Click();
    EXPECT_EQ(deck.LastText(), "Sorry, You Can Not Delete the Default User!");
    ASSERT_EQ(manager->Library().size(), 2u);
    EXPECT_EQ(RecordField(manager->Library()[0], pfName), "alpha");  // sorted by name
    // "By Lockout", from the arrow part of Sort, compares texts: 10 before 3.
    TZelSpeedButton* sort = manager->SortButton;
    EXPECT_EQ(sort->Width(), 66 + sort->DropDownComboWidth());
    TPopupMenu::ChooseHook = [](TPopupMenu& m) { return m.Items()->Items(pfLockout); };
    QTest::mouseClick(plat::WidgetOf(sort), Qt::LeftButton, {}, QPoint(sort->Width() - 4, 10));
    TPopupMenu::ChooseHook = nullptr;
    EXPECT_EQ(RecordField(manager->Library()[0], pfLockout), "10");
    // The button itself sorts by name.
    QTest::mouseClick(plat::WidgetOf(sort), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(RecordField(manager->Library()[0], pfName), "alpha");

    // A program added on the programs page, then thrown away: the file stays as it was.
    ClickTab(manager->PageControl1, 1);
    AddNews(manager);
    EXPECT_TRUE(manager->Modified());
    deck.answers = {TAnswer::No};
    ClickTab(manager->PageControl1, 0);
    ASSERT_FALSE(deck.asked.empty());
    EXPECT_EQ(deck.asked.back(), "Save Changes?");
    EXPECT_FALSE(manager->Modified());
    manager->CloseUsers->Click();
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(Contents(Folder() + "Default.svu"), before);
  EXPECT_EQ(deck.users.currentUser, "Default");

  // The programs page's Close saves the library sorted by name, all 250 sections.
  RunModal(manager, [&] {
    ClickTab(manager->PageControl1, 1);
    Later([&] {
      EXPECT_EQ(manager->Form18->MaskEdit1->Text(), "003000");  // the standard length
      EXPECT_EQ(manager->Form18->ComboBox1->Text(), FormatText(31));
      EXPECT_FALSE(manager->Form18->ComboBox1->Enabled());
      EXPECT_EQ(manager->Form18->ComboBox2->Text(), "3");
      EXPECT_EQ(manager->Form18->Edit3->Text(), "/carts/");
      manager->Form18->Edit1->SetText("Mid");
      manager->Form18->Edit2->SetText("d");
      manager->Form18->Button1->Click();
    });
    manager->AddProgram->Click();
    manager->ClosePrograms->Click();
  });
  std::vector<std::string> saved = ReadProgramRecords(Folder() + "Default.svu");
  ASSERT_EQ(saved.size(), 3u);
  EXPECT_EQ(saved[1], "Mid|00:30:00|d|" + FormatText(31) + "|/carts/|3");
  EXPECT_EQ(RecordField(saved[2], pfName), "Zed");
  EXPECT_TRUE(deck.answers.empty());
}

TEST_F(UserForms, LeavingTheProgramsPageByItsKeyAsksAndNoGivesBackTheLibrary) {
  WriteWholeFile(Folder() + "Default.svu",
                 "[Template 0]\r\nName=Zed\r\nLockout=3\r\n[Template 1]\r\nName=alpha\r\nLockout=1\r\n");
  auto* manager = Form<TForm14>();
  RunModal(manager, [&] {
    const std::string stored = Contents(Folder() + "Default.svu");  // as the opening completed it
    const std::vector<std::string> shown = manager->Library();
    ClickTab(manager->PageControl1, 1);
    deck.answers = {TAnswer::Yes, TAnswer::No};
    manager->RemoveProgram->Click();
    ASSERT_EQ(manager->ListBox2->Items()->Count(), 1);
    // As the keyboard gives it to the window in front, past Qt's own shortcuts.
    ASSERT_TRUE(SendKeyPress("Alt+U"));
    EXPECT_EQ(manager->PageControl1->ActivePage(), manager->TabSheet1);
    ASSERT_EQ(deck.asked.size(), 2u);
    EXPECT_EQ(deck.asked.back(), "Save Changes?");
    EXPECT_EQ(manager->Library(), shown);
    EXPECT_EQ(manager->ListBox2->Items()->Count(), 2);
    EXPECT_EQ(Contents(Folder() + "Default.svu"), stored);
    // Back on the programs page by its key, its Close has nothing of this deck's to write.
    ASSERT_TRUE(SendKeyPress("Alt+P"));
    EXPECT_EQ(manager->PageControl1->ActivePage(), manager->TabSheet2);
    manager->ClosePrograms->Click();
    EXPECT_EQ(Contents(Folder() + "Default.svu"), stored);
  });
}

// Another deck holding the library's lock past the wait: the programs page's Close says so and
// keeps the dialog open with the change, which its next Close saves. Closing the window, with Yes
// to "Save Changes?", does the same: it never closes with the change lost.
TEST_F(UserForms, AManagerWhoseLibraryAnotherDeckIsSavingKeepsItsChange) {
  const std::string library = Folder() + "Default.svu";
  WriteWholeFile(library, "[Template 0]\r\nName=Zed\r\nLockout=3\r\n");
  auto* manager = Form<TForm14>();
  const int result = RunModal(manager, [&] {
    const std::string stored = Contents(library);
    auto other = std::make_unique<ListLock>(library);
    ASSERT_EQ(other->Result(), ListLock::Held);
    ClickTab(manager->PageControl1, 1);
    AddNews(manager);
    manager->ClosePrograms->Click();
    EXPECT_EQ(deck.LastText(), ListBusyText(library));
    EXPECT_TRUE(manager->Modal());
    EXPECT_TRUE(manager->Modified());
    EXPECT_EQ(Contents(library), stored);
    // The window closed (its close box), Yes to "Save Changes?".
    deck.answers = {TAnswer::Yes};
    TCloseAction action = caHide;
    manager->FormClose(manager, action);
    EXPECT_EQ(action, caNone) << "closed with the change unsaved";
    EXPECT_EQ(deck.asked.back(), "Save Changes?");
    EXPECT_EQ(deck.LastText(), ListBusyText(library));
    EXPECT_TRUE(manager->Modified());
    EXPECT_EQ(Contents(library), stored);
    other.reset();
    manager->ClosePrograms->Click();
  });
  EXPECT_EQ(result, mrOk);
  const std::vector<std::string> saved = ReadProgramRecords(library);
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(RecordField(saved[0], pfName), "News");
}

TEST_F(UserForms, ManagerAndAssignmentKeepEveryProgramBehindAGap) {
  WriteWholeFile(Folder() + "Default.svu",
                 "[Template 0]\r\nName=Zed\r\nLockout=3\r\n[Template 2]\r\nName=alpha\r\n"
                 "Lockout=10\r\n[Template 3]\r\nName=../../carts/take\r\n");
  WriteWholeFile(Folder() + "amy.svu", "");
  auto* manager = Form<TForm14>();
  RunModal(manager, [&] {
    ASSERT_EQ(manager->Library().size(), 2u);
    EXPECT_EQ(RecordField(manager->Library()[0], pfName), "alpha");
    ASSERT_EQ(deck.shown.size(), 1u);  // the refused program is named once, with its file
    EXPECT_NE(deck.LastText().find(Folder() + "Default.svu"), std::string::npos);
    EXPECT_NE(deck.LastText().find("[Template 3] \"../../carts/take\""), std::string::npos);
    // The assignment dialog offers the same library.
    Later([&] {
      manager->Form21->Timer1->OnTimer(manager->Form21->Timer1);
      EXPECT_EQ(manager->Form21->ListBox2->Items()->Count(), 2);
      manager->Form21->Button4->Click();
    });
    manager->AssignPrograms->Click();
    // A change saved keeps the program behind the gap, and the refused one stays in the file
    // as it was, never loaded.
    ClickTab(manager->PageControl1, 1);
    deck.answers = {TAnswer::Yes};
    manager->RemoveProgram->Click();
    manager->ClosePrograms->Click();
  });
  std::vector<std::string> saved = ReadProgramRecords(Folder() + "Default.svu");
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(RecordField(saved[0], pfName), "Zed");
  EXPECT_NE(Contents(Folder() + "Default.svu").find("[Template 0]\r\nName=../../carts/take\r\n"), std::string::npos);
}

TEST_F(UserForms, EditUserShowsAndKeepsWhatWasTyped) {
  ASSERT_EQ(UserDialogOk(TUserDialogMode::Add, {" Ann ", "ann", "\"pw\" ", "\"pw\" ", ""}, Folder(), {"Default"},
                         deck.Notifier(), deck.Asker()),
            TUserDialogField::None);
  const std::string before = Contents(Folder() + "ann.svu");
  auto* edit = Form<TForm16>();
  edit->Prepare({"Default", "ann"}, "ann");
  int result = RunModal(edit, [&] {
    EXPECT_EQ(edit->Edit1->Text(), " Ann ");
    EXPECT_EQ(edit->Edit3->Text(), "\"pw\" ");
    EXPECT_EQ(edit->Edit4->Text(), "\"pw\" ");
    edit->Button1->Click();
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(Contents(Folder() + "ann.svu"), before);
  EXPECT_EQ(LoginUser(deck, "ann", "\"pw\" "), TLoginResult::Accepted);

  // A new full name typed while another workstation sets a new password: both stand.
  edit->Prepare({"Default", "ann"}, "ann");
  RunModal(edit, [&] {
    WriteWholeFile(Folder() + "ann.svu", "[USER]\r\nFULL NAME= Ann \r\nPASSWORD=theirs\r\n");
    edit->Edit1->SetText("Ann A");
    edit->Button1->Click();
  });
  EXPECT_EQ(Contents(Folder() + "ann.svu"), "[USER]\r\nFULL NAME=Ann A\r\nPASSWORD=theirs\r\n");
}

TEST_F(UserForms, AssignmentCopiesLibraryProgramsToAUser) {
  WriteWholeFile(Folder() + "Default.svu",
                 "[Template 0]\r\nName=One\r\nLockout=1\r\n[Template 1]\r\nName=Two\r\nLockout=2\r\n");
  WriteWholeFile(Folder() + "bob.svu", "[USER]\r\nPASSWORD=b\r\n[Template 0]\r\nName=Own\r\n");
  WriteWholeFile(Folder() + "amy.svu", "");
  auto* assign = Form<TForm21>();
  RunModal(assign, [&] {
    assign->Timer1->OnTimer(assign->Timer1);  // the 350 ms tick
    // The first user is chosen and shown at once, so a save never lands on an unshown list.
    EXPECT_EQ(assign->ChosenUser(), "amy");
    EXPECT_EQ(assign->ListBox1->Items()->Count(), 0);
    assign->ComboBox1->SetItemIndex(1);
    assign->ComboBox1->OnChange(assign->ComboBox1);
    ASSERT_EQ(assign->ListBox1->Items()->Count(), 1);
    assign->ListBox2->SetSelected(1, true);
    PressKey(assign->ListBox2, Qt::Key_Left);
    EXPECT_EQ(assign->ListBox1->Items()->Count(), 2);
    EXPECT_TRUE(assign->Modified());
    // Close with changes: Yes keeps the dialog open for "&Save".
    deck.answers = {TAnswer::Yes};
    assign->Button4->Click();
    Later([&] {
      EXPECT_TRUE(assign->Modal());
      EXPECT_EQ(deck.asked.back(), "You have made changes. Do you want to save them?");
      assign->Button3->Click();
      EXPECT_FALSE(assign->Modified());
      assign->Button4->Click();
    });
  });
  std::vector<std::string> bob = ReadProgramRecords(Folder() + "bob.svu");
  ASSERT_EQ(bob.size(), 2u);
  EXPECT_EQ(RecordField(bob[0], pfName), "Own");
  EXPECT_EQ(RecordField(bob[1], pfName), "Two");
  EXPECT_NE(Contents(Folder() + "bob.svu").find("[USER]\r\nPASSWORD=b\r\n"), std::string::npos);
  EXPECT_EQ(Contents(Folder() + "amy.svu"), "");
  EXPECT_TRUE(deck.answers.empty());
}

TEST_F(UserForms, AssignmentNeverSavesOverAUserListItCouldNotRead) {
  WriteWholeFile(Folder() + "Default.svu", "[Template 0]\r\nName=One\r\nLockout=1\r\n");
  const std::string bob = Folder() + "bob.svu";
  ASSERT_EQ(::mkfifo(bob.c_str(), 0600), 0);  // nothing read from it, not even the nothing a FIFO gives
  auto* assign = Form<TForm21>();
  RunModal(assign, [&] {
    assign->Timer1->OnTimer(assign->Timer1);
    EXPECT_EQ(assign->ChosenUser(), "bob");
    EXPECT_EQ(deck.LastText(), "Unable to read " + bob + ": it is not a regular file.");
    assign->ListBox2->SetSelected(0, true);
    PressKey(assign->ListBox2, Qt::Key_Left);
    assign->Button3->Click();
    EXPECT_EQ(deck.LastText(), UnreadListText(bob));
    EXPECT_TRUE(assign->Modified());
    deck.answers = {TAnswer::No};
    assign->Button4->Click();
  });
  struct stat st;
  ASSERT_EQ(::lstat(bob.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(UserForms, BrowseChoosesTheFolderInTheKitsChooserWithNewFoldersAllowed) {
  ASSERT_TRUE(ForceDirectories(Folder() + "carts/News/"));
  bool shown = false;
  Later([&] {
    auto* form = dynamic_cast<TForm*>(plat::ControlOf(QApplication::activeModalWidget()));
    if (!form) return;
    shown = true;
    EXPECT_EQ(form->Caption(), "Save Path\\Folder");
    auto* list = dynamic_cast<TZelDirectoryListBox*>(form->FindComponent("DirList"));
    auto* newFolder = dynamic_cast<TButton*>(form->FindComponent("NewFolderButton"));
    auto* ok = dynamic_cast<TButton*>(form->FindComponent("OKButton"));
    if (!list || !newFolder || !ok) {
      form->SetModalResult(mrCancel);
      return;
    }
    EXPECT_TRUE(newFolder->Visible());
    EXPECT_EQ(list->Directory(), Folder() + "carts");
    list->SetDirectory(Folder() + "carts/News");
    ok->Click();
  });
  std::string chosen;
  EXPECT_TRUE(BrowseForFolder(Folder() + "carts/", chosen));
  EXPECT_TRUE(shown);
  EXPECT_EQ(chosen, Folder() + "carts/News") << "the case is kept";
}

TEST_F(UserForms, SendDialogsOfferTheListsAndHandOverTheChoice) {
  WriteWholeFile(Folder() + EmailProgramName, "");
  WriteWholeFile(Folder() + WebProgramName, "");
  ForceDirectories(Folder() + "postrel");
  WriteWholeFile(Folder() + WebListFile, "; ours\r\nFTP One;x\r\nWeb Two;y\r\n");
  deck.users.sendLists = LoadSendLists(Folder());
  deck.users.sendLists.addressBook = ParseAddressBook("News;in,out\r\nSales;crm\r\n");
  deck.settings.postrelInPath = Folder() + "drop";
  deck.cartFile = Folder() + "take.wav";
  WriteWholeFile(deck.cartFile, "RIFF");

  auto* mail = Form<TForm2>();
  Later([&] {
    EXPECT_EQ(mail->ComboBox1->Items()->Count(), 2);
    EXPECT_EQ(mail->ComboBox2->Items()->Count(), 2);  // the first entry's folders
    PressKey(mail->ComboBox1, Qt::Key_Down);          // the operator picks "Sales"
    EXPECT_EQ(mail->ComboBox1->Text(), "Sales");
    ASSERT_EQ(mail->ComboBox2->Items()->Count(), 1);
    EXPECT_EQ(mail->ComboBox2->Text(), "crm");
    // Leaving an empty destination is refused and the field takes the focus back.
    mail->ComboBox1->SetText("  ");
    mail->ComboBox2->SetFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(deck.LastText(), "Destination address empty!");
    mail->ComboBox1->SetText("ed@example.com");
    mail->Button1->Click();
  });
  SendByEmail(deck, *mail);
  EXPECT_EQ(Contents(Folder() + MailFileName), "[" + deck.cartFile + "]");
  ASSERT_EQ(deck.started.size(), 1u);
  EXPECT_EQ(deck.started[0].args, EmailArguments(Folder(), "ed@example.com", "crm"));

  auto* web = Form<TForm6>();
  Later([&] {
    ASSERT_EQ(web->ComboBox1->Items()->Count(), 2);
    web->ComboBox1->SetItemIndex(1);
    web->Button1->Click();
  });
  SendToWeb(deck, *web);
  EXPECT_EQ(deck.users.webDestination, "Web Two");
  EXPECT_EQ(Contents(Folder() + "drop/take.dat"), WebOrderDat("take.wav", "Web Two"));
  EXPECT_EQ(deck.started.size(), 2u);
  // Cancel sends nothing.
  Later([&] { web->Button2->Click(); });
  SendToWeb(deck, *web);
  EXPECT_EQ(deck.started.size(), 2u);
}
