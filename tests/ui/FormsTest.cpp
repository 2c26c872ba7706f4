// Forms: bounds with frames, alignment, modal runs, closing, the keyboard's order, menus.
#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include "UiTest.h"
#include "common/app_environment.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/menus.h"

using namespace plat;

namespace {

// A form freed when the test ends, shown so that it takes the keyboard.
template <class T = TForm>
struct Shown {
  T* f;
  Shown() : f(NewForm<T>(Application)) {}
  ~Shown() { f->Free(); }
  void Show() {
    f->Show();
    plat::WidgetOf(f)->activateWindow();
    ProcessEvents();
  }
  T* operator->() { return f; }
};

void Key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
  QTest::keyClick(w, k, m);
  ProcessEvents();
}

// Runs fn once the event loop runs (inside a modal loop, for instance).
void Later(std::function<void()> fn) { QTimer::singleShot(0, QCoreApplication::instance(), std::move(fn)); }

}  // namespace

TEST(Form, BoundsCountTheFrameAndTheMenu) {
  Shown<> s;
  s->SetBorderStyle(bsSizeable);
  s->SetBounds(10, 20, 400, 300);
  EXPECT_EQ(s->ClientWidth(), 400 - 2 * 4);
  EXPECT_EQ(s->ClientHeight(), 300 - 19 - 2 * 4);
  s->SetBorderStyle(bsDialog);
  EXPECT_EQ(s->ClientHeight(), 300 - 19 - 2 * 3);
  auto* menu = new TMainMenu(s.f);
  auto* file = new TMenuItem(s.f);
  file->SetCaption("&File");
  menu->Items()->Add(file);
  s->SetMenu(menu);
  EXPECT_EQ(s->ClientHeight(), 300 - 19 - 2 * 3 - TCustomForm::kMenuHeight);
  s->SetClientHeight(200);
  EXPECT_EQ(s->Height(), 200 + 19 + 6 + TCustomForm::kMenuHeight);
  s.Show();
  EXPECT_EQ(plat::ClientWidgetOf(s.f)->height(), 200);
  // A freed menu leaves the form without one.
  menu->Free();
  EXPECT_EQ(s->Menu(), nullptr);
  EXPECT_EQ(s->ClientHeight(), 200 + TCustomForm::kMenuHeight);
}

TEST(Form, AlignedControlsShareTheClientArea) {
  Shown<> s;
  s->SetBorderStyle(bsNone);
  s->SetBounds(0, 0, 300, 200);
  auto* top = new TPanel(s.f);
  top->SetParent(s.f);
  top->SetHeight(30);
  top->SetAlign(alTop);
  auto* bottom = new TPanel(s.f);
  bottom->SetParent(s.f);
  bottom->SetHeight(19);
  bottom->SetAlign(alBottom);
  auto* left = new TPanel(s.f);
  left->SetParent(s.f);
  left->SetWidth(50);
  left->SetAlign(alLeft);
  auto* client = new TPanel(s.f);
  client->SetParent(s.f);
  client->SetAlign(alClient);
  EXPECT_EQ(top->BoundsRect(), Rect(0, 0, 300, 30));
  EXPECT_EQ(bottom->BoundsRect(), Rect(0, 181, 300, 200));
  EXPECT_EQ(left->BoundsRect(), Rect(0, 30, 50, 181));
  EXPECT_EQ(client->BoundsRect(), Rect(50, 30, 300, 181));
  s->SetBounds(0, 0, 400, 250);
  EXPECT_EQ(client->BoundsRect(), Rect(50, 30, 400, 231));
  bottom->SetVisible(false);
  EXPECT_EQ(client->BoundsRect(), Rect(50, 30, 400, 250));
  // Inside a panel the bevels and border take their share.
  auto* inner = new TPanel(s.f);
  inner->SetParent(client);
  inner->SetAlign(alClient);
  client->SetBorderWidth(2);
  client->SetBevelInner(bvLowered);
  EXPECT_EQ(inner->BoundsRect(), Rect(4, 4, 350 - 4, 220 - 4));
}

TEST(Form, FontsAndColoursComeFromTheParentUntilSet) {
  Shown<> s;
  auto* panel = new TPanel(s.f);
  panel->SetParent(s.f);
  auto* label = new TLabel(s.f);
  label->SetParent(panel);
  s->Font()->SetHeight(-16);
  EXPECT_EQ(panel->Font()->Height(), -16);
  EXPECT_EQ(label->Font()->Height(), -16);
  EXPECT_TRUE(label->ParentFont());
  label->Font()->SetStyle(fsBold);
  EXPECT_FALSE(label->ParentFont());
  s->Font()->SetHeight(-20);
  EXPECT_EQ(label->Font()->Height(), -16);
  EXPECT_EQ(panel->Font()->Height(), -20);
  panel->SetColor(clNavy);
  EXPECT_EQ(label->Color(), clNavy);
  label->SetColor(clRed);
  panel->SetColor(clTeal);
  EXPECT_EQ(label->Color(), clRed);
}

TEST(Form, ShowModalRunsUntilAButtonSetsTheResult) {
  Shown<> s;
  auto* ok = new TButton(s.f);
  ok->SetParent(s.f);
  ok->SetModalResult(mrOk);
  int clicks = 0;
  ok->OnClick = [&](TObject*) { ++clicks; };
  int shows = 0;
  s->OnShow = [&](TObject*) {
    ++shows;
    Later([ok] { QTest::mouseClick(plat::WidgetOf(ok), Qt::LeftButton); });
  };
  EXPECT_EQ(s->ShowModal(), mrOk);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(shows, 1);
  EXPECT_FALSE(s->Visible());
  EXPECT_FALSE(s->Modal());
  // A visible form cannot be made modal.
  s->OnShow = nullptr;
  s->Show();
  EXPECT_THROW(s->ShowModal(), EInvalidOperation);
  s->Hide();
}

TEST(Form, AModalFormOpenedByAKeyHearsItsOwnKeys) {
  Shown<> main;
  Shown<> dialog;
  auto* edit = new TEdit(dialog.f);
  edit->SetParent(dialog.f);
  std::vector<uint16_t> heard;
  edit->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState) {
    heard.push_back(key);
    if (key == VK_RETURN) dialog->SetModalResult(mrOk);
  };
  int result = mrNone;
  auto running = std::make_shared<bool>(true);
  main->SetKeyPreview(true);
  main->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState shift) {
    if (key != 'G' || shift != ssCtrl) return;
    dialog->OnShow = [&](TObject*) {
      Later([&, running] {
        edit->SetFocus();
        QTest::keyClick(plat::WidgetOf(edit), Qt::Key_Return);
        Later([d = dialog.f, running] {
          if (*running && d->Modal() && d->ModalResult() == mrNone) d->SetModalResult(mrCancel);
        });
      });
    };
    result = dialog->ShowModal();
    *running = false;
  };
  main.Show();
  Key(plat::WidgetOf(main.f), Qt::Key_G, Qt::ControlModifier);
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(heard, std::vector<uint16_t>{VK_RETURN});
}

TEST(Form, TheWindowActiveBeforeAModalRunIsActiveAgainAfterIt) {
  Shown<> main;
  Shown<> dialog;
  auto* button = new TButton(main.f);
  button->SetParent(main.f);
  main.Show();
  button->SetFocus();
  ASSERT_EQ(QApplication::activeWindow(), plat::WidgetOf(main.f));
  dialog->OnShow = [&](TObject*) { Later([&] { dialog->SetModalResult(mrCancel); }); };
  dialog->ShowModal();
  ProcessEvents();
  EXPECT_EQ(QApplication::activeWindow(), plat::WidgetOf(main.f)) << "keys reach the main window again";
  EXPECT_TRUE(button->Focused());
}

TEST(Form, CloseQueryAndOnCloseDecideHowAModalRunEnds) {
  Shown<> s;
  int queries = 0;
  s->OnCloseQuery = [&](TObject*, bool& can) { can = ++queries > 1; };
  TCloseAction seen = caNone;
  s->OnClose = [&](TObject*, TCloseAction& a) { seen = a; };
  s->OnShow = [&](TObject*) {
    Later([&] {
      s->SetModalResult(mrYes);  // refused by the first query: the run goes on
      Later([&] { s->Close(); });
    });
  };
  EXPECT_EQ(s->ShowModal(), mrCancel);
  EXPECT_EQ(queries, 2);
  EXPECT_EQ(seen, caHide);
}

TEST(Form, ModelessCloseHidesOrFrees) {
  auto* f = NewForm<TForm>(Application);
  bool destroyed = false;
  f->OnDestroy = [&](TObject*) { destroyed = true; };
  f->Show();
  f->Close();
  EXPECT_FALSE(f->Visible());
  EXPECT_FALSE(destroyed);
  f->OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
  f->Show();
  f->Close();
  EXPECT_FALSE(destroyed);  // released, freed once the event has been handled
  ProcessEvents();
  EXPECT_TRUE(destroyed);
}

TEST(Form, CreateAndDestroyEventsSeeTheWholeForm) {
  struct TMyForm : TForm {
    TEdit* edit;
    std::string* log;
    explicit TMyForm(TComponent* o) : TForm(o) {
      edit = new TEdit(this);
      edit->SetParent(this);
      OnCreate = [this](TObject*) { edit->SetText("made"); };
      OnDestroy = [this](TObject*) { *log += "destroyed with " + edit->Text(); };
    }
  };
  std::string log;
  auto* f = NewForm<TMyForm>(nullptr);
  f->log = &log;
  EXPECT_EQ(f->edit->Text(), "made");
  f->Free();
  EXPECT_EQ(log, "destroyed with made");
}

TEST(Keyboard, PreviewDefaultAndCancelFollowTheFrameworkOrder) {
  Shown<> s;
  s->SetKeyPreview(true);
  auto* edit = new TEdit(s.f);
  edit->SetParent(s.f);
  auto* ok = new TButton(s.f);
  ok->SetParent(s.f);
  ok->SetTop(40);
  ok->SetDefault(true);
  auto* cancel = new TButton(s.f);
  cancel->SetParent(s.f);
  cancel->SetTop(70);
  cancel->SetCancel(true);
  std::string log;
  ok->OnClick = [&](TObject*) { log += "ok;"; };
  cancel->OnClick = [&](TObject*) { log += "cancel;"; };
  s->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState shift) {
    log += "form:" + std::to_string(key) + ";";
    if (key == VK_F4) key = 0;  // the form keeps F4 from the edit
  };
  edit->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState) { log += "edit:" + std::to_string(key) + ";"; };
  s.Show();
  edit->SetFocus();
  ProcessEvents();
  ASSERT_TRUE(edit->Focused());
  Key(plat::WidgetOf(edit), Qt::Key_F3);
  EXPECT_EQ(log, "form:114;edit:114;");
  log.clear();
  Key(plat::WidgetOf(edit), Qt::Key_F4);
  EXPECT_EQ(log, "form:115;");
  log.clear();
  // Enter and Escape go to the default and cancel buttons before any OnKeyDown.
  Key(plat::WidgetOf(edit), Qt::Key_Return);
  Key(plat::WidgetOf(edit), Qt::Key_Escape);
  EXPECT_EQ(log, "ok;cancel;");
  log.clear();
  // Enter on a focused button clicks that button, not the default one.
  cancel->SetFocus();
  ProcessEvents();
  Key(plat::WidgetOf(cancel), Qt::Key_Return);
  EXPECT_EQ(log, "cancel;");
  log.clear();
  // A multi-line memo keeps Enter for itself.
  auto* memo = new TMemo(s.f);
  memo->SetParent(s.f);
  memo->SetTop(100);
  memo->SetFocus();
  ProcessEvents();
  Key(plat::WidgetOf(memo), Qt::Key_A);
  Key(plat::WidgetOf(memo), Qt::Key_Return);
  Key(plat::WidgetOf(memo), Qt::Key_B);
  EXPECT_EQ(memo->Lines()->Count(), 2);
  EXPECT_EQ(log.find("ok;"), std::string::npos);
}

TEST(Keyboard, KeyPressCanChangeOrSwallowACharacter) {
  Shown<> s;
  auto* edit = new TEdit(s.f);
  edit->SetParent(s.f);
  edit->OnKeyPress = [](TObject*, char& ch) {
    if (ch == 'x') ch = 0;
    if (ch == 'a') ch = 'A';
  };
  s.Show();
  edit->SetFocus();
  ProcessEvents();
  QTest::keyClicks(plat::WidgetOf(edit), "bxa");
  ProcessEvents();
  EXPECT_EQ(edit->Text(), "bA");
}

TEST(Keyboard, AcceleratorsReachButtonsLabelsAndChecks) {
  Shown<> s;
  auto* label = new TLabel(s.f);
  label->SetParent(s.f);
  label->SetCaption("&Name:");
  auto* edit = new TEdit(s.f);
  edit->SetParent(s.f);
  edit->SetLeft(60);
  label->SetFocusControl(edit);
  auto* save = new TButton(s.f);
  save->SetParent(s.f);
  save->SetTop(40);
  save->SetCaption("&Save");
  auto* check = new TCheckBox(s.f);
  check->SetParent(s.f);
  check->SetTop(70);
  check->SetCaption("&Warn");
  int saves = 0, checks = 0;
  save->OnClick = [&](TObject*) { ++saves; };
  check->OnClick = [&](TObject*) { ++checks; };
  s.Show();
  save->SetFocus();
  ProcessEvents();
  Key(plat::WidgetOf(save), Qt::Key_N, Qt::AltModifier);
  EXPECT_TRUE(edit->Focused());
  // In an edit a plain letter is typed; with Alt it is an accelerator.
  Key(plat::WidgetOf(edit), Qt::Key_S);
  EXPECT_EQ(saves, 0);
  EXPECT_EQ(edit->Text(), "s");
  Key(plat::WidgetOf(edit), Qt::Key_S, Qt::AltModifier);
  EXPECT_EQ(saves, 1);
  Key(plat::WidgetOf(edit), Qt::Key_W, Qt::AltModifier);
  EXPECT_TRUE(check->Checked());
  EXPECT_EQ(checks, 1);
  // On a button a plain letter works too.
  check->SetFocus();
  ProcessEvents();
  Key(plat::WidgetOf(check), Qt::Key_S);
  EXPECT_EQ(saves, 2);
  // A disabled button does not answer its accelerator.
  save->SetEnabled(false);
  Key(plat::WidgetOf(edit), Qt::Key_S, Qt::AltModifier);
  EXPECT_EQ(saves, 2);
}

TEST(Keyboard, MenuShortcutsComeFirstAndOnlyWhileEnabled) {
  Shown<> s;
  s->SetKeyPreview(true);
  auto* menu = new TMainMenu(s.f);
  auto* other = new TMenuItem(s.f);
  other->SetCaption("&Other");
  menu->Items()->Add(other);
  auto* login = new TMenuItem(s.f);
  login->SetCaption("Log &In User");
  login->SetShortCut(TextToShortCut("Ctrl+I"));
  other->Add(login);
  s->SetMenu(menu);
  std::string log;
  other->OnClick = [&](TObject*) { log += "popup;"; };
  login->OnClick = [&](TObject*) { log += "login;"; };
  s->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState shift) {
    if (key == 'I' && shift == ssCtrl) log += "form;";
  };
  auto* edit = new TEdit(s.f);
  edit->SetParent(s.f);
  s.Show();
  edit->SetFocus();
  ProcessEvents();
  Key(plat::WidgetOf(edit), Qt::Key_I, Qt::ControlModifier);
  EXPECT_EQ(log, "popup;login;");
  log.clear();
  login->SetEnabled(false);
  Key(plat::WidgetOf(edit), Qt::Key_I, Qt::ControlModifier);
  EXPECT_EQ(log, "popup;form;");
  EXPECT_EQ(ShortCutToText(TextToShortCut("Shift+F6")), "Shift+F6");
  EXPECT_EQ(TextToShortCut("Alt+F4"), TShortCut(scAlt | VK_F4));
  EXPECT_EQ(TextToShortCut("Ctrl+Nothing"), 0);
}

TEST(Keyboard, ExceptionsInHandlersReachTheApplicationAndTheLoopGoesOn) {
  ScopedDialogs dialogs;
  Shown<> s;
  auto* b = new TButton(s.f);
  b->SetParent(s.f);
  b->OnClick = [](TObject*) { throw EConvertError("'abc' is not a valid integer value"); };
  s.Show();
  QTest::mouseClick(plat::WidgetOf(b), Qt::LeftButton);
  QTest::mouseClick(plat::WidgetOf(b), Qt::LeftButton);
  ASSERT_EQ(dialogs->Shown().size(), 2u);
  EXPECT_EQ(dialogs->Shown()[0].text, "'abc' is not a valid integer value.");
  EXPECT_EQ(dialogs->Shown()[0].type, mtError);
  EXPECT_EQ(dialogs->Shown()[0].caption, Application->Title());
  // An aborted operation says nothing; a handler of the application's takes the rest.
  b->OnClick = [](TObject*) { throw EAbort(); };
  QTest::mouseClick(plat::WidgetOf(b), Qt::LeftButton);
  EXPECT_EQ(dialogs->Shown().size(), 2u);
  std::string caught;
  Application->OnException = [&](TObject*, const std::exception& e) { caught = e.what(); };
  b->OnClick = [](TObject*) { throw EInvalidOperation(); };
  QTest::mouseClick(plat::WidgetOf(b), Qt::LeftButton);
  Application->OnException = nullptr;
  EXPECT_EQ(caught, "Invalid operation");
}

TEST(Application, AFailureWhileTheMainFormFirstShowsIsReportedAndTheLoopRuns) {
  ScopedDialogs dialogs;
  auto* f = NewForm<TForm>(nullptr);
  f->OnShow = [](TObject*) { throw EInvalidOperation(); };
  bool looped = false;
  Later([&] {
    looped = true;
    Application->Terminate();
  });
  TCustomForm* before = Application->MainForm();
  Application->SetMainForm(f);
  EXPECT_NO_THROW(Application->Run());
  Application->SetMainForm(before);
  f->Free();
  RenewTestApplication();
  EXPECT_TRUE(looped);
  ASSERT_EQ(dialogs->Shown().size(), 1u);
  EXPECT_EQ(dialogs->Shown()[0].text, "Invalid operation.");
}
