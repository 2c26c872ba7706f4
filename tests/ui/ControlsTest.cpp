// The standard controls' events and states, the mask edit, the timer, the message pump.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "UiTest.h"
#include "platform/ui/native_qt.h"
#include "platform/messages/app_hooks.h"
#include "platform/messages/messages.h"
#include "platform/system/clock.h"
#include "platform/system/threads.h"
#include "platform/ui/extctrls.h"

using namespace plat;

namespace {
struct FormFixture : ::testing::Test {
  TForm* f = NewForm<TForm>(nullptr);
  ~FormFixture() override { f->Free(); }
  void ShowForm() {
    f->Show();
    plat::WidgetOf(f)->activateWindow();
    ProcessEvents();
  }
};
}  // namespace

using Controls = FormFixture;

TEST_F(Controls, ProgramChangesFireTheEventsTheFrameworkFires) {
  auto* edit = new TEdit(f);
  edit->SetParent(f);
  int changes = 0;
  edit->OnChange = [&](TObject*) { ++changes; };
  edit->SetText("abc");
  EXPECT_EQ(changes, 1);
  edit->SetText("abc");  // unchanged
  EXPECT_EQ(changes, 1);
  auto* check = new TCheckBox(f);
  check->SetParent(f);
  int clicks = 0;
  check->OnClick = [&](TObject*) { ++clicks; };
  check->SetChecked(true);
  check->SetChecked(true);
  EXPECT_EQ(clicks, 1);
  check->SetState(cbGrayed);
  EXPECT_EQ(clicks, 2);
  EXPECT_FALSE(check->Checked());
  // Checking one radio button clears its siblings; only checking fires OnClick.
  auto* a = new TRadioButton(f);
  auto* b = new TRadioButton(f);
  a->SetParent(f);
  b->SetParent(f);
  int radio = 0;
  a->OnClick = b->OnClick = [&](TObject*) { ++radio; };
  a->SetChecked(true);
  b->SetChecked(true);
  EXPECT_FALSE(a->Checked());
  EXPECT_EQ(radio, 2);
  b->SetChecked(false);
  EXPECT_EQ(radio, 2);
}

TEST_F(Controls, ListBoxKeepsItsItemsSortedAndReportsOnlyTheUsersChoice) {
  auto* list = new TListBox(f);
  list->SetParent(f);
  list->SetBounds(0, 0, 150, 100);
  list->SetSorted(true);
  for (const char* s : {"news", "Default", "evening", "Morning"}) list->Items()->Add(s);
  EXPECT_EQ(list->Items()->CommaText(), "Default,evening,Morning,news");
  EXPECT_EQ(plat::ListOf(list)->item(2)->text(), QStringLiteral("Morning"));
  int clicks = 0;
  list->OnClick = [&](TObject*) { ++clicks; };
  list->SetItemIndex(2);
  EXPECT_EQ(list->ItemIndex(), 2);
  EXPECT_EQ(clicks, 0);
  ShowForm();
  QRect r = plat::ListOf(list)->visualItemRect(plat::ListOf(list)->item(3));
  QTest::mouseClick(plat::ListOf(list)->viewport(), Qt::LeftButton, {}, r.center());
  EXPECT_EQ(list->ItemIndex(), 3);
  EXPECT_EQ(clicks, 1);
  list->Items()->Delete(0);
  EXPECT_EQ(plat::ListOf(list)->count(), 3);
  list->SetItemIndex(7);  // out of range: no item
  EXPECT_EQ(list->ItemIndex(), -1);
  EXPECT_THROW(list->Selected(3), EListError);
  list->Clear();
  EXPECT_EQ(plat::ListOf(list)->count(), 0);
}

TEST_F(Controls, OwnerDrawnListBoxDrawsEachLineInItsRectangle) {
  auto* list = new TListBox(f);
  list->SetParent(f);
  list->SetBounds(0, 0, 200, 100);
  list->SetStyle(lbOwnerDrawFixed);
  list->SetItemHeight(20);
  list->Items()->Add("first");
  list->Items()->Add("second");
  list->SetItemIndex(1);
  std::vector<std::pair<int, TRect>> drawn;
  std::vector<TOwnerDrawState> states;
  list->OnDrawItem = [&](TWinControl* c, int index, TRect r, TOwnerDrawState state) {
    drawn.push_back({index, r});
    states.push_back(state);
    auto* lb = static_cast<TListBox*>(c);
    lb->Canvas()->Brush()->SetColor(index == 0 ? clRed : clBlue);
    lb->Canvas()->FillRect(r);
  };
  ShowForm();
  QImage img = Grab(plat::ListOf(list)->viewport());
  ASSERT_GE(drawn.size(), 2u);
  TRect r0{}, r1{};
  for (auto& [i, r] : drawn) (i == 0 ? r0 : r1) = r;
  EXPECT_EQ(r0.Height(), 20);
  EXPECT_EQ(r1.Top, r0.Bottom);
  EXPECT_EQ(BGR(img, r0.Left + 5, r0.Top + 5), uint32_t(clRed));
  EXPECT_EQ(BGR(img, r1.Left + 5, r1.Top + 5), uint32_t(clBlue));
  bool selected = false;
  for (size_t i = 0; i < drawn.size(); ++i) selected |= drawn[i].first == 1 && (states[i] & odSelected);
  EXPECT_TRUE(selected);
  // A scroll extent wider than the list gives it a horizontal scroll bar over the extra width.
  list->SetScrollWidth(600);
  ProcessEvents();
  EXPECT_GT(plat::ListOf(list)->horizontalScrollBar()->maximum(), 300);
}

TEST_F(Controls, ComboBoxTextSelectionAndEvents) {
  auto* combo = new TComboBox(f);
  combo->SetParent(f);
  combo->SetStyle(csDropDownList);
  for (const char* s : {"8.000 kHz, 8 bit, Mono, 7 kb/sec", "32.000 kHz, 16 bit, Mono, 62 kb/sec"})
    combo->Items()->Add(s);
  int changes = 0;
  combo->OnChange = [&](TObject*) { ++changes; };
  EXPECT_EQ(combo->ItemIndex(), -1);
  EXPECT_EQ(combo->Text(), "");
  combo->SetItemIndex(1);
  EXPECT_EQ(combo->Text(), "32.000 kHz, 16 bit, Mono, 62 kb/sec");
  combo->SetText("8.000 kHz, 8 bit, Mono, 7 kb/sec");
  EXPECT_EQ(combo->ItemIndex(), 0);
  EXPECT_EQ(changes, 0);  // the program's own changes are not the user's
  // The user picking an item fires OnChange (there is no OnSelect).
  ShowForm();
  combo->SetFocus();
  ProcessEvents();
  QTest::keyClick(plat::WidgetOf(combo), Qt::Key_Down);
  ProcessEvents();
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(changes, 1);
  // An editable combo box keeps typed text that matches no item.
  auto* edit = new TComboBox(f);
  edit->SetParent(f);
  edit->Items()->Add("Default");
  edit->SetText("someone@example.com");
  EXPECT_EQ(edit->Text(), "someone@example.com");
  EXPECT_EQ(edit->ItemIndex(), -1);
}

TEST_F(Controls, RadioGroupArrangesItsButtonsAndReportsTheChoice) {
  auto* g = new TRadioGroup(f);
  g->SetParent(f);
  g->SetBounds(0, 0, 200, 100);
  g->SetColumns(2);
  for (const char* s : {".001 Seconds", ".01 Seconds", ".1 Seconds", "1 Second", "10 Seconds"}) g->Items()->Add(s);
  ASSERT_EQ(g->ButtonCount(), 5);
  // Three rows in the first column, two in the second.
  EXPECT_EQ(g->Buttons(0)->Left(), g->Buttons(2)->Left());
  EXPECT_EQ(g->Buttons(3)->Top(), g->Buttons(0)->Top());
  EXPECT_GT(g->Buttons(3)->Left(), g->Buttons(0)->Left());
  int clicks = 0;
  g->OnClick = [&](TObject*) { ++clicks; };
  g->SetItemIndex(3);
  EXPECT_TRUE(g->Buttons(3)->Checked());
  EXPECT_EQ(clicks, 1);
  ShowForm();
  QTest::mouseClick(plat::WidgetOf(g->Buttons(1)), Qt::LeftButton, {}, QPoint(6, g->Buttons(1)->Height() / 2));
  EXPECT_EQ(g->ItemIndex(), 1);
  EXPECT_FALSE(g->Buttons(3)->Checked());
  EXPECT_EQ(clicks, 2);
  g->Items()->Delete(4);
  g->Items()->Delete(3);
  EXPECT_EQ(g->ButtonCount(), 3);
  EXPECT_EQ(g->ItemIndex(), 1);
}

TEST_F(Controls, PageControlChangesPagesAndAsksFirst) {
  auto* pc = new TPageControl(f);
  pc->SetParent(f);
  pc->SetBounds(0, 0, 300, 200);
  auto* users = new TTabSheet(f);
  users->SetPageControl(pc);
  users->SetCaption("&Users");
  auto* programs = new TTabSheet(f);
  programs->SetPageControl(pc);
  programs->SetCaption("&Programs");
  EXPECT_EQ(users->Parent(), pc);
  EXPECT_EQ(pc->PageCount(), 2);
  int changes = 0;
  pc->OnChange = [&](TObject*) { ++changes; };
  pc->SetActivePage(programs);
  EXPECT_EQ(pc->ActivePageIndex(), 1);
  EXPECT_EQ(changes, 0);
  ShowForm();
  bool allow = false;
  pc->OnChanging = [&](TObject*, bool& a) { a = allow; };
  QTabBar* bar = plat::TabsOf(pc)->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
  EXPECT_EQ(pc->ActivePage(), programs);
  allow = true;
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
  EXPECT_EQ(pc->ActivePage(), users);
  EXPECT_EQ(changes, 1);
  // Alt and the accelerator of a tab selects it.
  auto* edit = new TEdit(f);
  edit->SetParent(users);
  edit->SetFocus();
  ProcessEvents();
  QTest::keyClick(plat::WidgetOf(edit), Qt::Key_P, Qt::AltModifier);
  EXPECT_EQ(pc->ActivePage(), programs);
  programs->SetTabVisible(false);
  EXPECT_EQ(plat::TabsOf(pc)->count(), 1);
  EXPECT_EQ(programs->TabIndex(), -1);
  // The sheet's client area is its page, below the tabs.
  EXPECT_GT(users->Top() + pc->ClientRect().Top, 0);
}

TEST_F(Controls, GaugeKeepsItsValuesInRangeWithoutOverflow) {
  auto* g = new TGauge(f);
  g->SetParent(f);
  g->SetBounds(0, 0, 101, 20);
  g->SetMaxValue(18000000);  // five hours in milliseconds
  g->SetProgress(9000000);
  EXPECT_EQ(g->PercentDone(), 50);
  g->SetProgress(20000000);
  EXPECT_EQ(g->Progress(), 18000000);
  g->SetMinValue(-2000000000);
  g->SetMaxValue(2000000000);
  g->SetProgress(1000000000);
  EXPECT_EQ(g->PercentDone(), 75);
  try {
    g->SetMaxValue(-2100000000);
    FAIL();
  } catch (const EInvalidOperation& e) {
    EXPECT_EQ(e.Message(), "Value must be between -1999999999 and 2147483647");
  }
  // The bar covers its share of the inside and the rest shows the background colour.
  g->SetMinValue(0);
  g->SetMaxValue(100);
  g->SetProgress(50);
  g->SetShowText(false);
  g->SetForeColor(clNavy);
  g->SetBackColor(clYellow);
  ShowForm();
  QImage img = Grab(plat::WidgetOf(g));
  EXPECT_EQ(BGR(img, 0, 0), uint32_t(clBlack));  // the border
  EXPECT_EQ(BGR(img, 10, 10), uint32_t(clNavy));
  EXPECT_EQ(BGR(img, 49, 10), uint32_t(clNavy));
  EXPECT_EQ(BGR(img, 51, 10), uint32_t(clYellow));
}

TEST_F(Controls, LabelSizesItselfToItsCaption) {
  auto* label = new TLabel(f);
  label->SetParent(f);
  label->Font()->SetName("Arial");
  label->Font()->SetHeight(-13);
  label->SetCaption("&Recording Time Left");
  TCanvas probe;
  probe.SetFont(*label->Font());
  EXPECT_EQ(label->Width(), probe.TextWidth("Recording Time Left"));
  EXPECT_EQ(label->Height(), probe.TextHeight("R"));
  label->SetAlignment(taRightJustify);
  const int right = label->Left() + label->Width();
  label->SetCaption("Left");
  EXPECT_EQ(label->Left() + label->Width(), right);
  label->SetCaption("");
  EXPECT_GT(label->Height(), 0);  // an empty caption keeps a line's height
}

namespace {
// Types into a mask edit as an operator would.
void Type(TMaskEdit* e, const char* keys) {
  plat::LineEditOf(e)->setCursorPosition(0);
  QTest::keyClicks(plat::WidgetOf(e), keys);
  ProcessEvents();
}
}  // namespace

TEST(EditMask, ParsesTheFrameworksSyntax) {
  TEditMask m("!90:00:00;1;_");
  ASSERT_EQ(m.Length(), 8u);
  EXPECT_FALSE(m.IsRequired(0));  // 9: a digit may be left out
  EXPECT_TRUE(m.IsRequired(1));   // 0: a digit must be there
  EXPECT_TRUE(m.IsLiteral(2));
  EXPECT_EQ(m.QtMask(), "09:99:99;_");
  EXPECT_TRUE(m.Valid("12:34:56"));
  EXPECT_TRUE(m.Valid("_2:34:56"));
  EXPECT_FALSE(m.Valid("1_:34:56"));
  EXPECT_FALSE(m.Valid("12:3a:56"));
  EXPECT_EQ(m.TextOf("_2:34:56"), " 2:34:56");
  EXPECT_EQ(m.EditText("01:30:00"), "01:30:00");
  // Literals not saved: the text is the digits alone.
  TEditMask n("!99:99:99;0;_");
  EXPECT_EQ(n.TextOf("01:00:00"), "010000");
  EXPECT_EQ(n.EditText("010000"), "01:00:00");
  EXPECT_TRUE(n.Valid("__:__:__"));
  EXPECT_EQ(TEditMask(">LL-00;1;*").QtMask(), ">AA-99;*");
  EXPECT_EQ(TEditMask("\\A9;0").QtMask(), "\\A0;_");
}

TEST_F(Controls, MaskEditAcceptsAndRefusesTimes) {
  ScopedDialogs dialogs;
  auto* edit = new TMaskEdit(f);
  edit->SetParent(f);
  auto* other = new TEdit(f);
  other->SetParent(f);
  other->SetTop(40);
  edit->SetEditMask("!90:00:00;1;_");
  ShowForm();
  edit->SetFocus();
  ProcessEvents();
  Type(edit, "123456");
  EXPECT_EQ(edit->Text(), "12:34:56");
  EXPECT_NO_THROW(edit->ValidateEdit());
  // Letters are refused where digits go; the colons are stepped over.
  edit->SetText("");
  Type(edit, "1a2b3");
  EXPECT_EQ(edit->EditText(), "12:3_:__");
  try {
    edit->ValidateEdit();
    FAIL();
  } catch (const EDBEditError& e) {
    EXPECT_EQ(e.Message(), "Invalid input value.  Use escape key to abandon changes");
  }
  // Leaving the field with an incomplete time says so and brings the operator back.
  other->SetFocus();
  ProcessEvents();
  ASSERT_EQ(dialogs->Texts().size(), 1u);
  EXPECT_EQ(dialogs->Texts()[0], "Invalid input value.  Use escape key to abandon changes.");
  EXPECT_TRUE(edit->Focused());
  // The program's own text takes the same path.
  edit->SetText("00:00:00");
  EXPECT_EQ(edit->EditText(), "00:00:00");
  edit->SetEditMask("!99:99:99;0;_");
  EXPECT_EQ(edit->Text(), "000000");
}

TEST(Timer, FiresWhileEnabledAndStopsWhenDisabled) {
  TTimer t(nullptr);
  EXPECT_TRUE(t.Running());  // enabled, 1000 ms
  t.SetInterval(0);
  EXPECT_FALSE(t.Running());
  std::atomic<int> ticks{0};
  t.OnTimer = [&](TObject*) {
    if (++ticks == 3) t.SetEnabled(false);
  };
  t.SetInterval(1);
  EXPECT_TRUE(PumpUntil([&] { return !t.Enabled(); }));
  EXPECT_EQ(ticks, 3);
  EXPECT_FALSE(t.Running());
  // A tick that throws reaches the application's handler, and the timer keeps running.
  ScopedDialogs dialogs;
  t.OnTimer = [&](TObject*) {
    t.SetEnabled(false);
    throw EOutOfResources();
  };
  t.SetEnabled(true);
  EXPECT_TRUE(PumpUntil([&] { return !t.Enabled(); }));
  ASSERT_EQ(dialogs->Texts().size(), 1u);
  EXPECT_EQ(dialogs->Texts()[0], "Not enough timers available.");
}

TEST(MessagePump, PostsFromOtherThreadsRunOnQtsLoop) {
  HiddenWindow w;
  std::vector<uint32_t> got;
  bool onUi = true;
  w.OnMessage = [&](Message& m) {
    got.push_back(m.Msg);
    onUi = onUi && IsUiThread();
  };
  std::thread poster([&] {
    for (uint32_t i = 1; i <= 100; ++i) w.Post(WM_USER + i);
  });
  poster.join();
  // Nothing but Qt's own event loop runs the queue.
  ASSERT_TRUE(PumpUntil([&] { return got.size() == 100; }));
  for (uint32_t i = 0; i < 100; ++i) ASSERT_EQ(got[i], WM_USER + i + 1);
  EXPECT_TRUE(onUi);
}

TEST(MessagePump, WaitsThatPumpKeepQtAndThePostedMessagesRunning) {
  HiddenWindow w;
  int posted = 0, queued = 0;
  w.OnMessage = [&](Message&) { ++posted; };
  w.Post(WM_USER);
  QTimer::singleShot(0, [&] { ++queued; });
  DelayWithMessages(30, true);
  EXPECT_EQ(posted, 1);
  EXPECT_EQ(queued, 1);
  // A handler that throws is reported, and the messages behind it still arrive.
  ScopedDialogs dialogs;
  w.OnMessage = [&](Message& m) {
    ++posted;
    if (m.Msg == WM_USER + 1) throw EListError();
  };
  w.Post(WM_USER + 1);
  w.Post(WM_USER + 2);
  EXPECT_TRUE(PumpUntil([&] { return posted == 3; }));
  ASSERT_EQ(dialogs->Texts().size(), 1u);
  EXPECT_EQ(dialogs->Texts()[0], "List index out of bounds.");
  // Exceptions handed up from below the GUI end in the same place.
  plat::HandleException(std::make_exception_ptr(EOutOfMemory()));
  EXPECT_EQ(dialogs->Texts().back(), "Out of memory.");
}

TEST_F(Controls, DraggingALineFromOneListToAnother) {
  auto* from = new TListBox(f);
  from->SetParent(f);
  from->SetBounds(0, 0, 120, 100);
  from->SetDragMode(dmAutomatic);
  from->Items()->Add("Morning");
  from->Items()->Add("News");
  auto* to = new TListBox(f);
  to->SetParent(f);
  to->SetBounds(200, 0, 120, 100);
  std::vector<std::string> log;
  to->OnDragOver = [&](TObject*, TObject* source, int, int, TDragState state, bool& accept) {
    accept = source == from;
    if (state == dsDragEnter) log.push_back("enter");
  };
  to->OnDragDrop = [&](TObject*, TObject* source, int, int) {
    auto* src = static_cast<TListBox*>(source);
    to->Items()->Add(src->Items()->Get(src->ItemIndex()));
    log.push_back("drop");
  };
  TObject* endedOn = nullptr;
  from->OnEndDrag = [&](TObject*, TObject* target, int, int) { endedOn = target; };
  ShowForm();
  QWidget* src = plat::ListOf(from)->viewport();
  QWidget* dst = plat::ListOf(to)->viewport();
  const QPoint item = plat::ListOf(from)->visualItemRect(plat::ListOf(from)->item(1)).center();
  QTest::mousePress(src, Qt::LeftButton, {}, item);
  QTest::mouseMove(src, item + QPoint(2, 0));  // under the threshold: no drag yet
  EXPECT_FALSE(from->Dragging());
  const QPoint over = src->mapFromGlobal(dst->mapToGlobal(QPoint(20, 20)));
  QTest::mouseMove(src, over);
  EXPECT_TRUE(from->Dragging());
  QTest::mouseRelease(src, Qt::LeftButton, {}, over);
  ProcessEvents();
  EXPECT_FALSE(from->Dragging());
  EXPECT_EQ(from->ItemIndex(), 1);
  EXPECT_EQ(to->Items()->CommaText(), "News");
  EXPECT_EQ(log, (std::vector<std::string>{"enter", "drop"}));
  EXPECT_EQ(endedOn, to);
  // Dropped where nobody accepts: the source hears that it ended on nothing.
  QTest::mousePress(src, Qt::LeftButton, {}, item);
  QTest::mouseMove(src, item + QPoint(0, 30));
  QTest::mouseRelease(src, Qt::LeftButton, {}, item + QPoint(0, 30));
  EXPECT_EQ(endedOn, nullptr);
  EXPECT_EQ(to->Items()->Count(), 1);
}
