// Menus, edits and memos, painted controls' pixels, colours by name, messages to controls.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>
#include <optional>

#include "UiTest.h"
#include "common/frame_clock.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/menus.h"

using namespace plat;

namespace {
struct Fixture : ::testing::Test {
  TForm* f = NewForm<TForm>(nullptr);
  ~Fixture() override { f->Free(); }
  void ShowForm() {
    f->Show();
    plat::WidgetOf(f)->activateWindow();
    ProcessEvents();
  }
  TMenuItem* Item(const std::string& caption, TMenuItem* parent) {
    auto* i = new TMenuItem(f);
    i->SetCaption(caption);
    parent->Add(i);
    return i;
  }
};

// A windowless control that paints itself white and counts its paints.
struct WhiteBox : TGraphicControl {
  int paints = 0;
  explicit WhiteBox(TComponent* o) : TGraphicControl(o) {}
  void Paint() override {
    ++paints;
    Canvas()->Brush()->SetColor(clWhite);
    Canvas()->FillRect(ClientRect());
  }
};
}  // namespace

using Widgets = Fixture;

TEST_F(Widgets, MenuItemsCheckGroupAndFind) {
  auto* menu = new TPopupMenu(f);
  auto* wave = Item("&Wave", menu->Items());
  auto* mono = Item("&Mono", wave);
  auto* stereo = Item("&Stereo", wave);
  Item("-", wave);
  auto* loop = Item("&Loop Play", wave);
  mono->SetRadioItem(true);
  stereo->SetRadioItem(true);
  mono->SetChecked(true);
  stereo->SetChecked(true);  // the other radio item of the group goes off
  EXPECT_FALSE(mono->Checked());
  EXPECT_TRUE(wave->Items(2)->IsLine());
  // A line is drawn as a line only: no "-" beside it.
  EXPECT_TRUE(plat::ActionOf(wave->Items(2))->isSeparator());
  EXPECT_TRUE(plat::ActionOf(wave->Items(2))->text().isEmpty());
  loop->SetAutoCheck(true);
  int clicks = 0;
  loop->OnClick = [&](TObject*) { ++clicks; };
  loop->Click();
  EXPECT_TRUE(loop->Checked());
  loop->SetEnabled(false);
  loop->Click();
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(loop->Checked());
  EXPECT_EQ(wave->Find("loop play"), loop);
  EXPECT_EQ(wave->Find("Nothing"), nullptr);
  EXPECT_EQ(loop->GetParentMenu(), menu);
  wave->Remove(stereo);
  EXPECT_EQ(wave->Count(), 3);
  EXPECT_EQ(stereo->Parent(), nullptr);
  wave->Insert(0, stereo);
  EXPECT_EQ(wave->IndexOf(stereo), 0);
  EXPECT_THROW(wave->Add(stereo), EInvalidOperation);  // already in a menu
  EXPECT_EQ(StripHotkey("&Save && Exit"), "Save & Exit");
  EXPECT_EQ(GetHotkey("Save && E&xit"), 'X');
  EXPECT_EQ(GetHotkey("No key"), 0);
}

TEST_F(Widgets, PopupMenusOpenWithTheirEventsAndAChoice) {
  auto* menu = new TPopupMenu(f);
  auto* open = Item("&Open", menu->Items());
  Item("&Close", menu->Items());
  std::string log;
  menu->OnPopup = [&](TObject*) { log += "popup;"; };
  open->OnClick = [&](TObject*) { log += "open;"; };
  TPopupMenu::ChooseHook = [&](TPopupMenu& m) { return m.Items()->Find("Open"); };
  menu->Popup(10, 10);
  TPopupMenu::ChooseHook = nullptr;
  EXPECT_EQ(log, "popup;open;");
  // A control's pop-up menu answers its shortcuts while the control has the focus, and a freed
  // menu is forgotten by the control.
  auto* edit = new TEdit(f);
  edit->SetParent(f);
  edit->SetPopupMenu(menu);
  open->SetShortCut(TextToShortCut("Ctrl+O"));
  ShowForm();
  edit->SetFocus();
  ProcessEvents();
  QTest::keyClick(plat::WidgetOf(edit), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(log, "popup;open;open;");
  menu->Free();
  EXPECT_EQ(edit->PopupMenu(), nullptr);
}

TEST_F(Widgets, AltAndALetterOpensTheMenuWithThatAccelerator) {
  auto* menu = new TMainMenu(f);
  auto* load = Item("&Load", menu->Items());
  Item("Load Cart\\&Audio File", load);
  auto* other = Item("&Other", menu->Items());
  Item("E&xit", other);
  f->SetMenu(menu);
  auto* edit = new TEdit(f);
  edit->SetParent(f);
  ShowForm();
  edit->SetFocus();
  ProcessEvents();
  auto* bar = plat::WidgetOf(f)->findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  QTest::keyClick(plat::WidgetOf(edit), Qt::Key_O, Qt::AltModifier);
  EXPECT_EQ(bar->activeAction(), plat::ActionOf(other));
  EXPECT_EQ(bar->actions().size(), 2);
  // The bar follows items added later.
  Item("&Help", menu->Items());
  EXPECT_EQ(bar->actions().size(), 3);
}

TEST_F(Widgets, EditsHonourCaseLengthAndPasswords) {
  auto* edit = new TEdit(f);
  edit->SetParent(f);
  edit->SetCharCase(ecUpperCase);
  edit->SetMaxLength(5);
  ShowForm();
  edit->SetFocus();
  ProcessEvents();
  QTest::keyClicks(plat::WidgetOf(edit), "news-desk");
  EXPECT_EQ(edit->Text(), "NEWS-");
  EXPECT_TRUE(edit->Modified());
  edit->SetText("abc");
  EXPECT_EQ(edit->Text(), "ABC");
  EXPECT_FALSE(edit->Modified());
  auto* pass = new TEdit(f);
  pass->SetParent(f);
  pass->SetPasswordChar('*');
  pass->SetText("Secret");
  EXPECT_EQ(pass->Text(), "Secret");  // the text stays; only the display is hidden
  EXPECT_EQ(plat::LineEditOf(pass)->echoMode(), QLineEdit::Password);
  pass->SetSelStart(1);
  pass->SetSelLength(3);
  EXPECT_EQ(pass->SelText(), "ecr");
  pass->SetSelText("X");
  EXPECT_EQ(pass->Text(), "SXet");
}

TEST_F(Widgets, MemoLinesAndText) {
  auto* memo = new TMemo(f);
  memo->SetParent(f);
  memo->Lines()->Add("first");
  memo->Lines()->Add("second");
  memo->Lines()->Insert(1, "middle");
  EXPECT_EQ(memo->Text(), "first\r\nmiddle\r\nsecond");
  memo->Lines()->Delete(0);
  EXPECT_EQ(memo->Lines()->Count(), 2);
  EXPECT_EQ(memo->Lines()->Get(0), "middle");
  EXPECT_THROW(memo->Lines()->Get(2), EStringListError);
  memo->SetText("a\r\nb\rc\n");
  EXPECT_EQ(memo->Lines()->Count(), 3);
  EXPECT_EQ(memo->Lines()->Get(2), "c");
  int changes = 0;
  memo->OnChange = [&](TObject*) { ++changes; };
  memo->Lines()->Clear();
  EXPECT_EQ(memo->Lines()->Count(), 0);
  EXPECT_EQ(changes, 1);
}

TEST_F(Widgets, PanelBevelAndGroupBoxPaintTheirFrames) {
  auto* panel = new TPanel(f);
  panel->SetParent(f);
  panel->SetBounds(0, 0, 40, 30);
  panel->SetColor(clTeal);
  panel->SetBevelInner(bvLowered);
  panel->SetBorderWidth(1);
  auto* bevel = new TBevel(f);
  bevel->SetParent(f);
  bevel->SetBounds(50, 0, 20, 10);
  auto* group = new TGroupBox(f);
  group->SetParent(f);
  group->SetBounds(0, 40, 100, 60);
  group->SetCaption("Format");
  ShowForm();
  QImage p = Grab(plat::WidgetOf(panel));
  EXPECT_EQ(BGR(p, 0, 0), GetSysColor(COLOR_BTNHIGHLIGHT));  // raised outer
  EXPECT_EQ(BGR(p, 39, 29), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(BGR(p, 1, 1), uint32_t(clTeal));              // the border in the panel's colour
  EXPECT_EQ(BGR(p, 2, 2), GetSysColor(COLOR_BTNSHADOW));  // lowered inner
  EXPECT_EQ(BGR(p, 37, 27), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(BGR(p, 3, 3), uint32_t(clTeal));
  QImage b = Grab(plat::WidgetOf(bevel), Qt::magenta);
  EXPECT_EQ(BGR(b, 0, 0), GetSysColor(COLOR_BTNSHADOW));  // a lowered box
  EXPECT_EQ(BGR(b, 19, 9), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(BGR(b, 5, 5), uint32_t(RGB(255, 0, 255)));  // inside it, nothing
  QImage g = Grab(plat::WidgetOf(group));
  TCanvas probe;
  probe.SetFont(*group->Font());
  const int frameY = probe.TextHeight("0") / 2 - 1;
  EXPECT_EQ(BGR(g, 2, frameY), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(BGR(g, 2, frameY + 1), GetSysColor(COLOR_BTNHIGHLIGHT));
  // The caption interrupts the frame's top line.
  for (int x = 8; x < 8 + probe.TextWidth("Format"); ++x)
    ASSERT_NE(BGR(g, x, frameY), GetSysColor(COLOR_BTNSHADOW)) << x;
  EXPECT_EQ(BGR(g, 10 + probe.TextWidth("Format"), frameY), GetSysColor(COLOR_BTNSHADOW));
}

TEST_F(Widgets, PaintingOutsidePaintShowsWithoutARepaint) {
  auto* box = new WhiteBox(f);
  box->SetParent(f);
  box->SetBounds(0, 0, 20, 20);
  ShowForm();
  const int before = box->paints;
  box->Canvas()->Brush()->SetColor(clRed);
  box->Canvas()->FillRect(Rect(0, 0, 5, 5));
  box->UpdateFromCanvas();
  ProcessEvents();
  QImage shown = Grab(plat::ClientWidgetOf(f));
  EXPECT_EQ(box->paints, before);
  EXPECT_EQ(BGR(shown, 2, 2), uint32_t(clRed));
  box->Repaint();
  EXPECT_EQ(box->paints, before + 1);
  EXPECT_EQ(BGR(Grab(plat::ClientWidgetOf(f)), 2, 2), uint32_t(clWhite));
}

TEST_F(Widgets, AWholePaintAskedForIsNotLostToACanvasUpdate) {
  auto* box = new WhiteBox(f);
  box->SetParent(f);
  box->SetBounds(0, 0, 20, 20);
  ShowForm();
  const int before = box->paints;
  box->Invalidate();
  box->Canvas()->Brush()->SetColor(clRed);
  box->Canvas()->FillRect(Rect(0, 0, 5, 5));
  box->UpdateFromCanvas();
  ProcessEvents();
  EXPECT_EQ(box->paints, before + 1);
  EXPECT_EQ(BGR(Grab(plat::ClientWidgetOf(f)), 2, 2), uint32_t(clWhite));
  // Once painted whole, drawing at once shows by itself again.
  const int whole = box->paints;
  box->Canvas()->Brush()->SetColor(clRed);
  box->Canvas()->FillRect(Rect(0, 0, 5, 5));
  box->UpdateFromCanvas();
  ProcessEvents();
  EXPECT_EQ(box->paints, whole);
  EXPECT_EQ(BGR(Grab(plat::ClientWidgetOf(f)), 2, 2), uint32_t(clRed));
}

// What is drawn or invalidated between two frames reaches the screen once, with the next frame,
// as it stands by then.
TEST_F(Widgets, DrawingFasterThanTheScreenIsShownOncePerFrameAsItLastStood) {
  auto* box = new WhiteBox(f);
  box->SetParent(f);
  box->SetBounds(0, 0, 20, 20);
  ShowForm();
  int64_t now = 1'000'000;
  ManualFrameClock clock(16'000, [&] { return now; });
  SetFrameClock(&clock);
  PaintCounter shown(plat::WidgetOf(box));
  auto draw = [&](TColor c) {
    box->Canvas()->Brush()->SetColor(c);
    box->Canvas()->FillRect(Rect(0, 0, 5, 5));
    box->UpdateFromCanvas();
  };

  for (TColor c : {clRed, clLime, clBlue}) draw(c);
  ProcessEvents();
  EXPECT_EQ(shown.paints, 0) << "shown before its frame";
  EXPECT_TRUE(clock.FireDue()) << "the first frame after a quiet spell comes at once";
  ProcessEvents();
  EXPECT_EQ(shown.paints, 1);
  EXPECT_EQ(BGR(Grab(plat::ClientWidgetOf(f)), 2, 2), uint32_t(clBlue));

  now += 5'000;
  draw(clRed);
  draw(clYellow);
  EXPECT_FALSE(clock.FireDue());
  ProcessEvents();
  now += 11'000;
  EXPECT_TRUE(clock.FireDue());
  ProcessEvents();
  EXPECT_EQ(shown.paints, 3);  // the frame, and the grab above
  EXPECT_EQ(BGR(Grab(plat::ClientWidgetOf(f)), 2, 2), uint32_t(clYellow));

  // An invalidation waits for the next frame too, and is not lost behind drawing.
  const int whole = box->paints;
  now += 1'000;
  box->Invalidate();
  draw(clRed);
  ProcessEvents();
  EXPECT_EQ(box->paints, whole);
  now += 16'000;
  EXPECT_TRUE(clock.FireDue());
  ProcessEvents();
  EXPECT_EQ(box->paints, whole + 1);

  // Without a frame clock what waits is shown, and requests are shown at once.
  now += 1'000;
  draw(clLime);
  SetFrameClock(nullptr);
  ProcessEvents();
  EXPECT_EQ(BGR(Grab(plat::ClientWidgetOf(f)), 2, 2), uint32_t(clLime));
}

// A control that keeps its picture apart from its canvas and asks for parts of it to be shown
// brings them onto the canvas once a frame, and only the parts asked for are painted again.
TEST_F(Widgets, PartsDrawnBetweenFramesReachTheCanvasOnceAndOnlyTheyArePaintedAgain) {
  struct Apart : WhiteBox {
    explicit Apart(TComponent* o) : WhiteBox(o) {}
    std::vector<std::pair<TRect, TColor>> owed;  // drawn into its own picture, not yet on the canvas
    int due = 0;
    std::optional<TRect> changed;  // what the canvas changed by, when less than was asked for
    void Draw(const TRect& r, TColor c) {
      owed.emplace_back(r, c);
      UpdateFromCanvas(r);
    }
    void CanvasDue(TRect* part) override {
      ++due;
      for (const auto& [r, c] : owed) {
        Canvas()->Brush()->SetColor(c);
        Canvas()->FillRect(r);
      }
      owed.clear();
      if (part && changed) *part = *changed;
    }
  };
  struct Regions : QObject {
    std::vector<QRect> painted;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) painted.push_back(static_cast<QPaintEvent*>(e)->region().boundingRect());
      return false;
    }
  } regions;
  auto* box = new Apart(f);
  box->SetParent(f);
  box->SetBounds(0, 0, 40, 20);
  ShowForm();
  plat::WidgetOf(box)->installEventFilter(&regions);
  int64_t now = 1'000'000;
  ManualFrameClock clock(16'000, [&] { return now; });
  SetFrameClock(&clock);

  box->Draw(Rect(2, 2, 6, 6), clRed);
  box->Draw(Rect(10, 4, 14, 8), clLime);
  box->Draw(Rect(4, 3, 8, 7), clBlue);
  ProcessEvents();
  EXPECT_EQ(box->due, 0) << "brought onto the canvas before its frame";
  EXPECT_TRUE(regions.painted.empty());
  EXPECT_TRUE(clock.FireDue());
  EXPECT_EQ(box->due, 1);
  ProcessEvents();
  ASSERT_EQ(regions.painted.size(), 1u);
  EXPECT_EQ(regions.painted[0], QRect(2, 2, 12, 6)) << "not what the parts cover together";
  const int whole = box->paints;
  QImage shown = Grab(plat::ClientWidgetOf(f));
  EXPECT_EQ(BGR(shown, 3, 3), uint32_t(clRed));
  EXPECT_EQ(BGR(shown, 5, 5), uint32_t(clBlue));
  EXPECT_EQ(BGR(shown, 12, 6), uint32_t(clLime));
  EXPECT_EQ(BGR(shown, 30, 10), uint32_t(clWhite));

  // A control that knows its canvas changed by less narrows what the frame paints; never beyond
  // what was asked for.
  regions.painted.clear();
  now += 20'000;
  box->changed = Rect(3, 3, 30, 5);
  box->Draw(Rect(2, 2, 6, 6), clLime);
  box->Draw(Rect(10, 4, 14, 8), clLime);
  EXPECT_TRUE(clock.FireDue());
  ProcessEvents();
  ASSERT_EQ(regions.painted.size(), 1u);
  EXPECT_EQ(regions.painted[0], QRect(3, 3, 11, 2));
  // Nothing changed: nothing is painted.
  regions.painted.clear();
  now += 20'000;
  box->changed = TRect{};
  box->Draw(Rect(2, 2, 6, 6), clLime);
  EXPECT_TRUE(clock.FireDue());
  ProcessEvents();
  EXPECT_TRUE(regions.painted.empty());
  box->changed.reset();

  // A whole paint asked for is not narrowed to a part drawn after it.
  regions.painted.clear();
  now += 20'000;
  box->Invalidate();
  box->Draw(Rect(0, 0, 2, 2), clRed);
  EXPECT_TRUE(clock.FireDue());
  ProcessEvents();
  EXPECT_EQ(box->paints, whole + 1);
  ASSERT_FALSE(regions.painted.empty());
  EXPECT_EQ(regions.painted.back(), QRect(0, 0, 40, 20));

  // Without a frame clock a part reaches the canvas and the screen at once.
  SetFrameClock(nullptr);
  ProcessEvents();
  regions.painted.clear();
  const int due = box->due;
  box->Draw(Rect(20, 10, 25, 15), clYellow);
  EXPECT_EQ(box->due, due + 1);
  ProcessEvents();
  ASSERT_EQ(regions.painted.size(), 1u);
  EXPECT_EQ(regions.painted[0], QRect(20, 10, 5, 5));
  EXPECT_EQ(BGR(Grab(plat::ClientWidgetOf(f)), 22, 12), uint32_t(clYellow));
}

TEST_F(Widgets, AnOpaqueControlKeepsItsParentOutOfItsPaints) {
  struct Counting : TCustomControl {
    int paints = 0;
    explicit Counting(TComponent* o) : TCustomControl(o) {}
    void Paint() override { ++paints; }
  };
  struct Gap : TGraphicControl {  // paints nothing at all
    explicit Gap(TComponent* o) : TGraphicControl(o) {}
  };
  auto* panel = new Counting(f);
  panel->SetParent(f);
  panel->SetBounds(0, 0, 60, 40);
  panel->SetColor(clBlue);
  auto* child = new Gap(f);
  child->SetParent(panel);
  child->SetBounds(10, 10, 20, 20);
  child->SetColor(clRed);
  child->SetControlStyle(child->ControlStyle() | csOpaque);
  EXPECT_TRUE(plat::WidgetOf(child)->testAttribute(Qt::WA_OpaquePaintEvent));
  ShowForm();
  int before = panel->paints;
  child->Invalidate();
  ProcessEvents();
  EXPECT_EQ(panel->paints, before);
  // Where its Paint leaves a gap, an opaque control shows its own colour.
  EXPECT_EQ(BGR(Grab(plat::ClientWidgetOf(f)), 15, 15), uint32_t(clRed));

  child->SetControlStyle(child->ControlStyle() & ~uint32_t(csOpaque));
  EXPECT_FALSE(plat::WidgetOf(child)->testAttribute(Qt::WA_OpaquePaintEvent));
  before = panel->paints;
  child->Invalidate();
  ProcessEvents();
  EXPECT_GT(panel->paints, before);
  EXPECT_EQ(BGR(Grab(plat::ClientWidgetOf(f)), 15, 15), uint32_t(clBlue));
}

TEST_F(Widgets, MessagesToControlsArriveInOrderOrNotAtAll) {
  struct Listener : TCustomControl {
    std::vector<uint32_t>* got;
    explicit Listener(TComponent* o, std::vector<uint32_t>* g) : TCustomControl(o), got(g) {}
    void WndProc(TMessage& m) override {
      if (m.Msg >= CM_BASE + 0xCD) got->push_back(m.Msg);
      TCustomControl::WndProc(m);
    }
  };
  std::vector<uint32_t> got;
  auto* a = new Listener(f, &got);
  a->PostMessage(CM_BASE + 0xCF);
  EXPECT_EQ(a->Perform(CM_BASE + 0xCD), 0);
  a->PostMessage(CM_BASE + 0xD0);
  EXPECT_EQ(got, std::vector<uint32_t>{CM_BASE + 0xCD});
  EXPECT_TRUE(PumpUntil([&] { return got.size() == 3; }));
  EXPECT_EQ(got, (std::vector<uint32_t>{CM_BASE + 0xCD, CM_BASE + 0xCF, CM_BASE + 0xD0}));
  // A control destroyed with a message on its way never sees it.
  std::vector<uint32_t> lost;
  auto* b = new Listener(f, &lost);
  b->PostMessage(CM_BASE + 0xCE);
  b->Free();
  for (int i = 0; i < 5; ++i) DelayWithMessages(2, true);
  EXPECT_TRUE(lost.empty());
}

TEST(Colors, NamesTableAndResolution) {
  EXPECT_EQ(ColorToString(clBtnFace), "clBtnFace");
  EXPECT_EQ(ColorToString(TColor(0x00123456)), "$00123456");
  TColor c;
  ASSERT_TRUE(IdentToColor("clbtnshadow", c));
  EXPECT_EQ(c, clBtnShadow);
  ASSERT_TRUE(IdentToColor("$00FF8000", c));
  EXPECT_EQ(c, TColor(0xFF8000));
  ASSERT_TRUE(IdentToColor("255", c));
  EXPECT_EQ(c, clRed);
  EXPECT_FALSE(IdentToColor("clNoSuchColour", c));
  EXPECT_THROW(StringToColor("x1"), EConvertError);
  // The classic table: button face 212, 208, 200; an index past the table is black.
  EXPECT_EQ(ColorToRGB(clBtnFace), RGB(212, 208, 200));
  EXPECT_EQ(ColorToRGB(clHighlight), RGB(10, 36, 106));
  EXPECT_EQ(GetSysColor(99), 0u);
  EXPECT_EQ(ColorToBGR(TColor(0x02FF0000)), 0xFF0000u);  // a palette-relative colour
}
