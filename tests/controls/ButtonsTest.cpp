#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QtTest/QTest>

#include "KitTestSupport.h"
#include "controls/zelbtns.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/menus.h"
#include "platform/ui/streams.h"

namespace {

// The deck's wind buttons: repeating every 500 ms after a 500 ms delay.
TZelButton* WindButton(TestForm& form) {
  auto* b = form.Place(new TZelButton(form.Get()), 10, 10, 80, 40);
  b->SetCaption("&Rewind\r\nF11");
  b->SetMultiLine(true);
  b->SetRepeatedClick(true);
  b->SetRepeatingInterval(500);
  return b;
}

const QPoint kInside(20, 20), kOutside(300, 20);

}  // namespace

TEST(ZelButton, HeldRepeatsAfterTheDelayAndReleaseClicksOnce) {
  ManualPool pool;
  TestForm form;
  auto* b = WindButton(form);
  form.Show();
  int clicks = 0;
  b->OnClick = [&](plat::TObject*) { ++clicks; };

  QTest::mousePress(plat::WidgetOf(b), Qt::LeftButton, {}, kInside);
  EXPECT_NE(b->RepeatTimer(), 0);
  EXPECT_EQ(b->DrawState(), bsPushed);
  pool.Advance(450);
  EXPECT_EQ(clicks, 0);
  pool.Advance(50);  // 500 ms: the delay
  EXPECT_EQ(clicks, 1);
  pool.Advance(500);  // 1000 ms
  EXPECT_EQ(clicks, 2);
  pool.Advance(200);  // held for 1200 ms
  EXPECT_EQ(clicks, 2);
  QTest::mouseRelease(plat::WidgetOf(b), Qt::LeftButton, {}, kInside);
  EXPECT_EQ(clicks, 3);
  EXPECT_EQ(b->RepeatTimer(), 0);
  EXPECT_EQ(pool.Timers(), 0);
  EXPECT_EQ(b->DrawState(), bsUp);

  // A short press is one click, on the release; without repeating no timer is taken.
  b->SetRepeatedClick(false);
  QTest::mousePress(plat::WidgetOf(b), Qt::LeftButton, {}, kInside);
  EXPECT_EQ(pool.Timers(), 0);
  QTest::mouseRelease(plat::WidgetOf(b), Qt::LeftButton, {}, kInside);
  EXPECT_EQ(clicks, 4);
}

TEST(ZelButton, DraggingOffPausesTheRepeatAndAReleaseOutsideDoesNotClick) {
  ManualPool pool;
  TestForm form(500, 200);
  auto* b = WindButton(form);
  form.Show();
  int clicks = 0;
  b->OnClick = [&](plat::TObject*) { ++clicks; };

  QTest::mousePress(plat::WidgetOf(b), Qt::LeftButton, {}, kInside);
  pool.Advance(500);
  EXPECT_EQ(clicks, 1);
  QTest::mouseMove(plat::WidgetOf(b), kOutside);
  EXPECT_FALSE(b->MouseInside());
  EXPECT_EQ(b->DrawState(), bsUp);  // shown released while the cursor is off it
  pool.Advance(1500);
  EXPECT_EQ(clicks, 1);
  QTest::mouseMove(plat::WidgetOf(b), kInside);
  EXPECT_EQ(b->DrawState(), bsPushed);
  pool.Advance(450);
  EXPECT_EQ(clicks, 1);
  pool.Advance(50);  // the next tick of the repeat interval
  EXPECT_EQ(clicks, 2);
  QTest::mouseMove(plat::WidgetOf(b), kOutside);
  QTest::mouseRelease(plat::WidgetOf(b), Qt::LeftButton, {}, kOutside);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(pool.Timers(), 0);
}

TEST(ZelButton, DisablingHidingOrLosingTheMouseWhileHeldEndsThePress) {
  ManualPool pool;
  TestForm form(500, 200);
  auto* b = WindButton(form);
  form.Show();
  int clicks = 0;
  b->OnClick = [&](plat::TObject*) { ++clicks; };

  // The deck disables Rewind at 0 while it is held: no release reaches it any more.
  QTest::mousePress(plat::WidgetOf(b), Qt::LeftButton, {}, kInside);
  pool.Advance(500);
  ASSERT_EQ(clicks, 1);
  b->SetEnabled(false);
  EXPECT_EQ(b->RepeatTimer(), 0);
  EXPECT_EQ(pool.Timers(), 0);
  pool.Advance(2000);
  b->SetEnabled(true);
  QTest::mouseMove(plat::WidgetOf(b), kInside);
  pool.Advance(2000);
  QTest::mouseRelease(plat::WidgetOf(b), Qt::LeftButton, {}, kInside);
  EXPECT_EQ(clicks, 1);  // neither a repeat while crossing it later nor a late release click

  for (int how = 0; how < 3; ++how) {
    SCOPED_TRACE(how);
    clicks = 0;
    QTest::mousePress(plat::WidgetOf(b), Qt::LeftButton, {}, kInside);
    ASSERT_NE(b->RepeatTimer(), 0);
    if (how == 0) {
      b->Hide();
    } else {
      // A modal window took the input, or the mouse grab went elsewhere.
      QEvent e(how == 1 ? QEvent::WindowBlocked : QEvent::UngrabMouse);
      QCoreApplication::sendEvent(plat::WidgetOf(b), &e);
    }
    EXPECT_EQ(b->RepeatTimer(), 0);
    pool.Advance(1000);
    b->Show();
    QTest::mouseRelease(plat::WidgetOf(b), Qt::LeftButton, {}, kInside);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(b->DrawState(), bsUp);
  }

  // A click handler that disables the button on a repeated click stops the repeat at once.
  b->OnClick = [&](plat::TObject*) {
    ++clicks;
    b->SetEnabled(false);
  };
  clicks = 0;
  QTest::mousePress(plat::WidgetOf(b), Qt::LeftButton, {}, kInside);
  pool.Advance(2000);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(pool.Timers(), 0);
}

TEST(ZelButton, RepeatNeedsAPoolTimerOfAWholeMultipleOfTheTick) {
  ManualPool pool;
  TestForm form;
  auto* b = WindButton(form);
  form.Show();
  std::vector<std::string> errors;
  plat::Application->OnException = [&](plat::TObject*, const std::exception& e) { errors.push_back(e.what()); };
  b->SetRepeatingDelay(120);
  QTest::mousePress(plat::WidgetOf(b), Qt::LeftButton, {}, kInside);
  QTest::mouseRelease(plat::WidgetOf(b), Qt::LeftButton, {}, kInside);
  // A full pool is refused the same way.
  b->SetRepeatingDelay(500);
  std::vector<uint16_t> taken;
  for (uint16_t id; (id = pool.App()->AddTimer(50, nullptr)) != 0;) taken.push_back(id);
  QTest::mousePress(plat::WidgetOf(b), Qt::LeftButton, {}, kInside);
  QTest::mouseRelease(plat::WidgetOf(b), Qt::LeftButton, {}, kInside);
  plat::Application->OnException = nullptr;
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], "Interval not compatible with MinInterval property!");
  EXPECT_EQ(errors[1], "Not enough timers available");
  EXPECT_EQ(b->RepeatTimer(), 0);
  EXPECT_EQ(size_t(pool.Timers()), taken.size());
}

TEST(ZelButton, EnterFiresOncePerCrossingAndOnlyWhenNotPushed) {
  TestForm form;
  auto* b = form.Place(new TZelButton(form.Get()), 10, 10, 80, 30);
  form.Show();
  int enters = 0, exits = 0;
  b->OnMouseEnter = [&](plat::TObject*) { ++enters; };
  b->OnMouseExit = [&](plat::TObject*) { ++exits; };
  b->Perform(plat::CM_MOUSEENTER);
  b->Perform(plat::CM_MOUSEENTER);
  EXPECT_EQ(enters, 1);
  b->Perform(plat::CM_MOUSELEAVE);
  b->Perform(plat::CM_MOUSELEAVE);
  EXPECT_EQ(exits, 1);
  b->SetEnabled(false);
  b->Perform(plat::CM_MOUSEENTER);
  EXPECT_EQ(enters, 1);  // the disabled draw state fires nothing
  EXPECT_TRUE(b->MouseInside());
}

TEST(ZelButton, DropDownMenuOpensAtTheButtonAfterOnClick) {
  TestForm form;
  auto* b = form.Place(new TZelButton(form.Get()), 10, 10, 80, 30);
  auto* menu = new plat::TPopupMenu(form.Get());
  auto* item = new plat::TMenuItem(menu);
  item->SetCaption("One");
  menu->Items()->Add(item);
  int chosen = 0, clicks = 0, drops = 0;
  item->OnClick = [&](plat::TObject*) { ++chosen; };
  b->SetDropDownMenu(menu);
  b->SetDropDownIndent(5);
  form.Show();
  std::vector<std::string> order;
  b->OnClick = [&](plat::TObject*) {
    order.push_back("click");
    ++clicks;
  };
  b->OnDropDown = [&](plat::TObject*) {
    order.push_back("drop");
    ++drops;
    EXPECT_EQ(b->DrawState(), bsPushed);
  };
  auto saved = plat::TPopupMenu::ChooseHook;
  plat::TPopupMenu::ChooseHook = [&](plat::TPopupMenu& m) { return m.Items()->Items(0); };
  QTest::mouseClick(plat::WidgetOf(b), Qt::LeftButton, {}, QPoint(10, 10));
  plat::TPopupMenu::ChooseHook = saved;
  EXPECT_EQ(order, (std::vector<std::string>{"click", "drop"}));
  EXPECT_EQ(chosen, 1);
  EXPECT_EQ(b->DrawState(), bsUp);
}

namespace {
// Pixels of the row three inside the top edge that differ from the face: a focus rectangle.
int DottedPixels(const QImage& img, uint32_t face) {
  int n = 0;
  for (int x = 4; x < img.width() - 4; ++x) n += Bgr(img, x, 3) != face;
  return n;
}
}  // namespace

TEST(ZelButton, AFocusedDefaultButtonShowsItsFocusRectangle) {
  TestForm form;
  auto* ok = form.Place(new TZelButton(form.Get()), 10, 10, 80, 30);
  ok->SetDefault(true);
  ok->SetUseCaption(false);
  auto* other = form.Place(new TZelButton(form.Get()), 100, 10, 80, 30);
  other->SetUseCaption(false);
  form.Show();
  const uint32_t face = plat::ColorToBGR(ok->Color());
  other->SetFocus();
  const QImage unfocused = Grab(ok);
  EXPECT_EQ(DottedPixels(unfocused, face), 0);
  ok->SetFocus();
  const QImage focused = Grab(ok);
  EXPECT_GT(DottedPixels(focused, face), 20);
  // The same rectangle as on a focused button that is not the default.
  other->SetFocus();
  EXPECT_EQ(DottedPixels(Grab(other), face), DottedPixels(focused, face));
}

TEST(ZelButton, MnemonicAndTheFormsPreviewedKeyBothFire) {
  TestForm form;
  auto* b = form.Place(new TZelButton(form.Get()), 10, 10, 80, 40);
  b->SetCaption("&Record\r\nF5");
  auto* other = form.Place(new TZelButton(form.Get()), 100, 10, 80, 40);
  other->SetCaption("&Stop");
  form->SetKeyPreview(true);
  int previewed = 0, clicks = 0;
  form->OnKeyDown = [&](plat::TObject*, uint16_t& key, plat::TShiftState) {
    if (key == 'R') ++previewed;
  };
  b->OnClick = [&](plat::TObject*) { ++clicks; };
  form.Show();
  other->SetFocus();
  QTest::keyClick(plat::WidgetOf(other), Qt::Key_R, Qt::AltModifier);
  EXPECT_EQ(previewed, 1);
  EXPECT_EQ(clicks, 1);
}

// ---- glyphs ---------------------------------------------------------------------------------------

namespace {
void Strip(plat::TBitmap& b, int w, int h) {
  Blank(b, w, h, plat::clFuchsia);
  b.Canvas()->Brush()->SetColor(plat::clRed);
  for (int x = 0; x + h <= w; x += h) b.Canvas()->FillRect(plat::Rect(x + 2, 2, x + h - 2, h - 2));
}
}  // namespace

TEST(ZelGlyph, CellCountFollowsTheStripWidth) {
  TZelGlyph g;
  plat::TBitmap b;
  Strip(b, 96, 24);
  g.SetBitmap(&b);
  EXPECT_EQ(g.NumGlyphs(), 4);
  Strip(b, 144, 24);
  g.SetBitmap(&b);
  EXPECT_EQ(g.NumGlyphs(), 1);  // 6 cells is not below 6
  g.SetNumGlyphs(3);
  Strip(b, 100, 24);
  g.SetBitmap(&b);
  EXPECT_EQ(g.NumGlyphs(), 3);  // not a whole multiple: kept
  g.SetNumGlyphs(0);
  g.SetNumGlyphs(6);
  EXPECT_EQ(g.NumGlyphs(), 3);
  g.SetBitmap(nullptr);
  EXPECT_EQ(g.StateImage(bsUp), -1);
}

TEST(ZelGlyph, StateImagesAreSharedAndTheirCellsReused) {
  {
    plat::TBitmap b;
    Strip(b, 16, 16);
    auto a = std::make_unique<TZelGlyph>();
    a->SetBitmap(&b);
    TZelGlyph c;
    c.SetBitmap(&b);
    const int up = a->StateImage(bsUp), disabled = a->StateImage(bsDisabled);
    EXPECT_EQ(a->StateImage(bsUp), up);  // cached
    EXPECT_NE(up, disabled);
    const int before = a->List()->Count();
    c.StateImage(bsUp);
    ASSERT_EQ(a->List(), c.List());  // one list per cell size
    EXPECT_EQ(a->List()->Count(), before + 1);
    EXPECT_EQ(ZelGlyphCache()->Count(), 1);

    // One cell, so the disabled image is derived: embossed, no red left in it.
    plat::TBitmap img;
    ASSERT_TRUE(a->List()->GetImage(disabled, img));
    EXPECT_EQ(CountColor(img, 0x0000FF), 0);
    ASSERT_TRUE(a->List()->GetImage(up, img));
    EXPECT_GT(CountColor(img, 0x0000FF), 0);

    // Gray mode draws the Up state grey; the transparent pixels stay out of the picture.
    c.SetGrayMode(true);
    const int grey = c.StateImage(bsUp);
    ASSERT_TRUE(c.List()->GetImage(grey, img));
    EXPECT_EQ(CountColor(img, 0x0000FF), 0);
    plat::TBitmap mask;
    ASSERT_TRUE(c.List()->GetMask(grey, mask));
    EXPECT_EQ(plat::ImageOf(mask).pixelIndex(0, 0), 1);
    EXPECT_EQ(plat::ImageOf(mask).pixelIndex(8, 8), 0);

    // A freed glyph's cells are taken by the next images, so the list does not grow.
    const int cells = a->List()->Count();
    a.reset();
    TZelGlyph d;
    d.SetBitmap(&b);
    d.StateImage(bsUp);
    d.StateImage(bsDisabled);
    EXPECT_EQ(d.List()->Count(), cells);
  }
  EXPECT_EQ(ZelGlyphCache(), nullptr);  // the last glyph took the cache with it
}

TEST(ZelGlyph, MissingCellsComeFromTheFirstOrTheHoverCell) {
  plat::TBitmap b;
  Strip(b, 48, 16);  // up, disabled, hover
  b.Canvas()->Brush()->SetColor(plat::clLime);
  b.Canvas()->FillRect(plat::Rect(34, 2, 46, 14));
  TZelGlyph g;
  g.SetBitmap(&b);
  ASSERT_EQ(g.NumGlyphs(), 3);
  plat::TBitmap img;
  auto has = [&](int state, uint32_t bgr) {
    const int index = g.StateImage(state);
    g.List()->GetImage(index, img);
    return CountColor(img, bgr) > 0;
  };
  EXPECT_TRUE(has(bsMouseOver, 0x00FF00));
  EXPECT_TRUE(has(bsDown, 0x0000FF));  // no Down cell: the first one
  g.SetGrayMode(true);
  EXPECT_TRUE(has(bsDown, 0x00FF00));  // in gray mode the coloured hover cell
  EXPECT_FALSE(has(bsUp, 0x0000FF));
}

// ---- speed buttons --------------------------------------------------------------------------------

TEST(ZelSpeedButton, GroupLatchesOneButtonAtATime) {
  TestForm form;
  TZelSpeedButton* b[3];
  for (int i = 0; i < 3; ++i) {
    b[i] = form.Place(new TZelSpeedButton(form.Get()), 10 + i * 30, 10, 25, 25);
    b[i]->SetGroupIndex(1);
  }
  auto* loose = form.Place(new TZelSpeedButton(form.Get()), 200, 10, 25, 25);
  form.Show();
  int clicks = 0;
  b[0]->OnClick = [&](plat::TObject*) { ++clicks; };

  QTest::mouseClick(plat::WidgetOf(b[0]), Qt::LeftButton);
  EXPECT_TRUE(b[0]->Pressed());
  EXPECT_EQ(b[0]->State(), bsDown);
  EXPECT_EQ(clicks, 1);
  QTest::mouseClick(plat::WidgetOf(b[0]), Qt::LeftButton);
  EXPECT_TRUE(b[0]->Pressed());  // without AllowAllUp it cannot be released by clicking it
  b[0]->SetPressed(false);
  EXPECT_TRUE(b[0]->Pressed());
  QTest::mouseClick(plat::WidgetOf(b[1]), Qt::LeftButton);
  EXPECT_TRUE(b[1]->Pressed());
  EXPECT_FALSE(b[0]->Pressed());
  EXPECT_EQ(b[0]->State(), bsUp);

  loose->SetPressed(true);
  EXPECT_FALSE(loose->Pressed());  // group 0 never latches

  // AllowAllUp spreads over the group and lets a click release the latched button.
  b[2]->SetAllowAllUp(true);
  EXPECT_TRUE(b[1]->AllowAllUp());
  QTest::mouseClick(plat::WidgetOf(b[1]), Qt::LeftButton);
  EXPECT_FALSE(b[1]->Pressed());
  EXPECT_EQ(b[1]->State(), bsUp);

  // Disabled while latched, enabled again: the latched look comes back.
  b[2]->SetPressed(true);
  b[2]->SetEnabled(false);
  EXPECT_EQ(b[2]->State(), bsDisabledDown);
  b[2]->SetEnabled(true);
  EXPECT_EQ(b[2]->State(), bsDown);
}

TEST(ZelSpeedButton, RepeatClicksOnThePressAndStopsWhenDisabled) {
  ManualPool pool;
  TestForm form;
  auto* b = form.Place(new TZelSpeedButton(form.Get()), 10, 10, 40, 25);
  b->SetRepeatedClick(true);
  b->SetRepeatingInterval(500);
  form.Show();
  int clicks = 0;
  b->OnClick = [&](plat::TObject*) { ++clicks; };
  QTest::mousePress(plat::WidgetOf(b), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicks, 1);
  pool.Advance(1000);
  EXPECT_EQ(clicks, 3);
  QTest::mouseMove(plat::WidgetOf(b), QPoint(200, 5));
  pool.Advance(1000);
  EXPECT_EQ(clicks, 3);
  QTest::mouseMove(plat::WidgetOf(b), QPoint(5, 5));
  pool.Advance(500);
  EXPECT_EQ(clicks, 4);
  QTest::mouseRelease(plat::WidgetOf(b), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicks, 4);  // the press clicked already
  EXPECT_EQ(b->TimerId(1), 0);

  QTest::mousePress(plat::WidgetOf(b), Qt::LeftButton, {}, QPoint(5, 5));
  b->SetEnabled(false);
  EXPECT_EQ(b->TimerId(1), 0);
  EXPECT_EQ(b->State(), bsDisabled);
  pool.Advance(2000);
  EXPECT_EQ(clicks, 5);
}

TEST(ZelSpeedButton, EnterFiresOnceAndTheHoverCheckEnds) {
  ManualPool pool;
  TestForm form;
  auto* b = form.Place(new TZelSpeedButton(form.Get()), 10, 10, 40, 25);
  form.Show();
  int enters = 0, exits = 0;
  b->OnMouseEnter = [&](plat::TObject*) { ++enters; };
  b->OnMouseExit = [&](plat::TObject*) { ++exits; };
  // The framework's enter, then moves over the button: one enter for one crossing.
  b->Perform(plat::CM_MOUSEENTER);
  QTest::mouseMove(plat::WidgetOf(b), QPoint(5, 5));
  QMouseEvent move(QEvent::MouseMove, QPointF(6, 6), QPointF(6, 6), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(plat::WidgetOf(b), &move);
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(b->State(), bsMouseOver);
  EXPECT_NE(b->TimerId(0), 0);
  b->Perform(plat::CM_MOUSELEAVE);
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(b->State(), bsUp);
  EXPECT_EQ(b->TimerId(0), 0);

  // A button without the hover look shows MouseOver after its menu closed; the hover check
  // brings it back once the cursor is away, and then stops for good.
  auto* plain = form.Place(new TZelSpeedButton(form.Get()), 100, 10, 40, 25);
  plain->SetAllowMouseOver(false);
  auto* menu = new plat::TPopupMenu(form.Get());
  plain->SetDropDownMenu(menu);
  auto saved = plat::TPopupMenu::ChooseHook;
  plat::TPopupMenu::ChooseHook = [](plat::TPopupMenu&) { return static_cast<plat::TMenuItem*>(nullptr); };
  plain->DropDown();
  plat::TPopupMenu::ChooseHook = saved;
  EXPECT_EQ(plain->State(), bsMouseOver);
  EXPECT_NE(plain->TimerId(0), 0);
  QCursor::setPos(plat::WidgetOf(form.Get())->mapToGlobal(QPoint(350, 250)));
  pool.Advance(100);
  EXPECT_EQ(plain->State(), bsUp);
  EXPECT_EQ(plain->TimerId(0), 0);
  EXPECT_EQ(pool.Timers(), 0);
}

TEST(ZelSpeedButton, ComboPartDropsTheMenuAndSharesAFrameColumn) {
  TestForm form;
  auto* b = form.Place(new TZelSpeedButton(form.Get()), 10, 10, 40, 25);
  auto* menu = new plat::TPopupMenu(form.Get());
  b->SetDropDownMenu(menu);
  b->SetDropDownCombo(true);
  EXPECT_EQ(b->Width(), 52);
  plat::TRect main, combo;
  b->Parts(main, combo);
  EXPECT_EQ(combo.Left, 40);
  EXPECT_EQ(main.Right, 41);  // frame depth 2: the frames share a column
  b->SetStyle(ubsFlat);
  b->Parts(main, combo);
  EXPECT_EQ(main.Right, 40);
  form.Show();
  int drops = 0, clicks = 0;
  b->OnDropDown = [&](plat::TObject*) { ++drops; };
  b->OnClick = [&](plat::TObject*) { ++clicks; };
  auto saved = plat::TPopupMenu::ChooseHook;
  plat::TPopupMenu::ChooseHook = [](plat::TPopupMenu&) { return static_cast<plat::TMenuItem*>(nullptr); };
  QTest::mouseClick(plat::WidgetOf(b), Qt::LeftButton, {}, QPoint(45, 10));
  EXPECT_EQ(drops, 1);
  EXPECT_EQ(clicks, 0);
  QTest::mouseClick(plat::WidgetOf(b), Qt::LeftButton, {}, QPoint(10, 10));
  plat::TPopupMenu::ChooseHook = saved;
  EXPECT_EQ(drops, 1);
  EXPECT_EQ(clicks, 1);
}

TEST(ZelMMButton, FaceFormsRoundTripAndOldFormsAreRead) {
  TestForm form;
  auto* b = new TZelMMButton(form.Get());
  for (int s = 0; s < 8; ++s) b->SetButtonFace(s, {s + 10, s + 20});
  b->SetFaceTransparentColor(plat::TColor(0x00123456));
  plat::TMemoryStream s;
  b->WriteFaceIndices(s);
  b->WriteFaceTransparentColor(s);
  ASSERT_EQ(s.Size(), 68);
  // The image indexes of states 0..7, then the list indexes of states 7 down to 0.
  s.SetPosition(0);
  EXPECT_EQ(s.ReadU32(), 20u);
  s.SetPosition(7 * 4);
  EXPECT_EQ(s.ReadU32(), 27u);
  s.SetPosition(8 * 4);
  EXPECT_EQ(s.ReadU32(), 17u);
  s.SetPosition(15 * 4);
  EXPECT_EQ(s.ReadU32(), 10u);

  auto* c = new TZelMMButton(form.Get());
  s.SetPosition(0);
  c->ReadFaceIndices(s);
  c->ReadFaceTransparentColor(s);
  for (int st = 0; st < 8; ++st) EXPECT_EQ(c->ButtonFace(st), b->ButtonFace(st));
  EXPECT_EQ(c->FaceTransparentColor(), plat::TColor(0x00123456));

  plat::TMemoryStream old;
  for (int i = 0; i < 7; ++i) {
    old.WriteU32(uint32_t(i));        // list index
    old.WriteU32(uint32_t(100 + i));  // image index
  }
  old.SetPosition(0);
  c->ReadFaceIndicesOld(old);
  EXPECT_EQ(c->ButtonFace(6), (TZelButtonFace{6, 106}));
  EXPECT_EQ(c->ButtonFace(7), b->ButtonFace(7));  // the old form had no eighth state
  plat::TMemoryStream cut;
  cut.WriteU32(1);
  cut.SetPosition(0);
  EXPECT_THROW(c->ReadFaceIndicesNew(cut), plat::EReadError);
}
