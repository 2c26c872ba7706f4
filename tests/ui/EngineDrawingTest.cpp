// The engine's drawing routines and its bevel and control roots, checked on pictures; the deck's
// window routines.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <QListWidget>

#include "UiTest.h"
#include "engine/MMObjUI.h"
#include "engine/MMUtilsUI.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/extctrls.h"
#include "recorder/WinUtils.h"

using namespace plat;

namespace {
void Fill(TBitmap& b, TColor c) {
  b.Canvas()->Brush()->SetColor(c);
  b.Canvas()->FillRect(Rect(0, 0, b.Width(), b.Height()));
}
TColor At(TBitmap& b, int x, int y) { return b.Canvas()->Pixels(x, y); }
}  // namespace

TEST(MMUtilsUI, GradientBandsFollowTheRoundingMultiplyDivide) {
  TBitmap b(10, 4);
  Fill(b, clWhite);
  FillGradientBands(*b.Canvas(), TColor(RGB(0, 0, 0)), TColor(RGB(255, 90, 10)), Rect(0, 0, 10, 4), 4);
  // Band i spans MulDiv(i, 10, 4): 0, 3 (2.5 rounds away from zero), 5, 8, 10.
  const int starts[] = {0, 3, 5, 8};
  for (int i = 0; i < 4; ++i) {
    // Channels: MulDiv(i, 255, 3) = 0, 85, 170, 255; MulDiv(i, 90, 3) = 0, 30, 60, 90; 10: 0, 3, 7, 10.
    const TColor want = TColor(RGB(85 * i, 30 * i, i == 2 ? 7 : i == 1 ? 3 : i == 3 ? 10 : 0));
    EXPECT_EQ(At(b, starts[i], 2), want) << i;
    const int end = i < 3 ? starts[i + 1] : 10;
    EXPECT_EQ(At(b, end - 1, 0), want) << i;
  }
  // One band, or none asked for, is the first colour everywhere.
  TBitmap one(7, 3);
  Fill(one, clWhite);
  FillGradientBands(*one.Canvas(), clRed, clBlue, Rect(0, 0, 7, 3), 1);
  TBitmap none(7, 3);
  Fill(none, clWhite);
  FillGradientBands(*none.Canvas(), clRed, clBlue, Rect(0, 0, 7, 3), 0);
  for (int x = 0; x < 7; ++x) {
    EXPECT_EQ(At(one, x, 1), clRed);
    EXPECT_EQ(At(none, x, 1), clRed);
  }
  // System colours are resolved first.
  TBitmap sys(4, 1);
  Fill(sys, clWhite);
  FillGradientBands(*sys.Canvas(), clBtnFace, clBtnFace, Rect(0, 0, 4, 1), 2);
  EXPECT_EQ(uint32_t(At(sys, 3, 0)), GetSysColor(COLOR_BTNFACE));
}

TEST(MMUtilsUI, SolidFillAndRotatedTextLeaveTheCanvasAsTheyFoundIt) {
  TBitmap b(80, 80);
  Fill(b, clWhite);
  TCanvas& c = *b.Canvas();
  c.Brush()->SetColor(clLime);
  c.Brush()->SetStyle(bsDiagCross);
  c.Font()->SetName("Courier New");
  c.Font()->SetHeight(-9);
  FillSolidRect(c, clNavy, Rect(2, 2, 10, 10));
  EXPECT_EQ(At(b, 2, 2), clNavy);
  EXPECT_EQ(At(b, 9, 9), clNavy);
  EXPECT_EQ(At(b, 10, 10), clWhite);
  EXPECT_EQ(c.Brush()->Color(), clLime);
  EXPECT_EQ(c.Brush()->Style(), bsDiagCross);
  // Alignment 2: a quarter turn, centred across x, running up from y + the text's width.
  c.Brush()->SetStyle(bsClear);
  DrawRotatedText(c, 40, 10, 2, -12, "Arial", "-20");
  EXPECT_EQ(c.Font()->Name(), "Courier New");
  EXPECT_EQ(c.Font()->Orientation(), 0);
  int minX = 80, maxX = -1, minY = 80, maxY = -1;
  for (int y = 0; y < 80; ++y)
    for (int x = 20; x < 80; ++x)
      if (At(b, x, y) != clWhite) {
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
      }
  ASSERT_GE(maxX, 0);
  EXPECT_GE(minY, 8);  // the text ends about at y
  EXPECT_LE(maxY, 10 + c.TextWidth("-20") + 2);
  EXPECT_LE(std::abs((minX + maxX) / 2 - 40), 3);
  EXPECT_GT(maxY - minY, maxX - minX);
}

TEST(MMUtilsUI, TransparentBitmapLeavesTheKeyColourOut) {
  TBitmap pic(6, 6);
  Fill(pic, clFuchsia);
  pic.Canvas()->Brush()->SetColor(clRed);
  pic.Canvas()->FillRect(Rect(2, 2, 4, 4));
  TBitmap target(10, 10);
  Fill(target, clYellow);
  DrawTransparentBitmap(*target.Canvas(), 2, 2, pic);  // key from the bottom-left pixel
  EXPECT_EQ(At(target, 2, 2), clYellow);
  EXPECT_EQ(At(target, 4, 4), clRed);
  EXPECT_EQ(At(target, 5, 5), clRed);
  EXPECT_EQ(At(target, 6, 6), clYellow);
  // A key given: red is left out this time and fuchsia is drawn.
  TBitmap again(10, 10);
  Fill(again, clYellow);
  DrawTransparentBitmap(*again.Canvas(), 0, 0, pic, clRed);
  EXPECT_EQ(At(again, 0, 0), clFuchsia);
  EXPECT_EQ(At(again, 2, 2), clYellow);
  EXPECT_EQ(BitmapWidth(pic), 6);
  EXPECT_EQ(BitmapHeight(pic), 6);
  EXPECT_EQ(BitmapPixelColor(pic, 100, -5), clFuchsia);
  EXPECT_EQ(BitmapPixelColor(pic, 3, 3), clRed);
  EXPECT_GE(GetScreenColorBits(), 8);
}

TEST(MMBevel, ExtentFollowsEveryPart) {
  TMMBevel b;
  EXPECT_EQ(b.BevelExtent(), 1);  // outer lowered, width 1
  b.SetBorderStyle(bsSingle);
  b.SetBorderWidth(2);
  EXPECT_EQ(b.BevelExtent(), 4);
  b.SetBevelInner(bvRaised);
  b.SetBevelInnerWidth(3);
  b.SetBorderSpace(2);
  EXPECT_EQ(b.BevelExtent(), 1 + 1 + 2 + 3 + 2);
  b.SetBevelOuter(bvNone);
  EXPECT_EQ(b.BevelExtent(), 1 + 2 + 3 + 2);
  b.SetBevelInnerWidth(0);  // widths below 1 are raised to 1
  EXPECT_EQ(b.BevelInnerWidth(), 1);
  b.SetBorderWidth(-4);
  EXPECT_EQ(b.BorderWidth(), 0);
}

TEST(MMBevel, PaintsEachRingInItsColourAndReturnsTheInside) {
  TMMBevel b;
  b.SetBorderStyle(bsSingle);
  b.SetBevelOuter(bvLowered);
  b.SetOuterShadowColor(clMaroon);
  b.SetOuterLightColor(clAqua);
  b.SetBorderWidth(1);
  b.SetBorderColor(clGreen);
  b.SetBevelInner(bvRaised);
  b.SetInnerLightColor(clYellow);
  b.SetInnerShadowColor(clNavy);
  b.SetBorderSpace(1);
  b.SetBorderSpaceColor(clBlack);
  TBitmap pic(20, 20);
  Fill(pic, clWhite);
  TRect inner;
  b.Paint(*pic.Canvas(), Rect(0, 0, 20, 20), inner, true);
  EXPECT_EQ(inner, Rect(5, 5, 15, 15));
  EXPECT_EQ(uint32_t(At(pic, 0, 0)), GetSysColor(COLOR_WINDOWFRAME));
  EXPECT_EQ(At(pic, 1, 5), clMaroon);  // lowered: the shadow at the top left
  EXPECT_EQ(At(pic, 18, 5), clAqua);
  EXPECT_EQ(At(pic, 2, 5), clGreen);
  EXPECT_EQ(At(pic, 3, 5), clYellow);  // raised: the light at the top left
  EXPECT_EQ(At(pic, 16, 5), clNavy);
  EXPECT_EQ(At(pic, 4, 5), clBlack);
  EXPECT_EQ(At(pic, 5, 5), clWhite);
  // Without the border band it is skipped, not painted; a spacing bevel takes its width too.
  TBitmap skip(20, 20);
  Fill(skip, clWhite);
  b.SetBevelInner(bvSpace);
  b.Paint(*skip.Canvas(), Rect(0, 0, 20, 20), inner, false);
  EXPECT_EQ(inner, Rect(5, 5, 15, 15));
  EXPECT_EQ(At(skip, 2, 5), clWhite);
  EXPECT_EQ(At(skip, 3, 5), clWhite);
}

TEST(MMBevel, AssignCopiesEverythingAndNotifiesOnce) {
  TMMBevel a, b;
  int notices = 0;
  a.OnChange = [&](TObject*) { ++notices; };
  a.Assign(&a);
  EXPECT_EQ(notices, 0);
  b.SetBevelInner(bvRaised);
  b.SetBevelOuter(bvNone);
  b.SetBevelInnerWidth(2);
  b.SetBevelOuterWidth(3);
  b.SetBorderStyle(bsSingle);
  b.SetBorderWidth(4);
  b.SetBorderSpace(5);
  b.SetBorderColor(clRed);
  b.SetBorderSpaceColor(clLime);
  b.SetInnerLightColor(clBlue);
  b.SetInnerShadowColor(clYellow);
  b.SetOuterLightColor(clTeal);
  b.SetOuterShadowColor(clPurple);
  a.Assign(&b);
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(a.BevelExtent(), b.BevelExtent());
  EXPECT_EQ(a.OuterShadowColor(), clPurple);
  EXPECT_EQ(a.BorderSpaceColor(), clLime);
  TStringList other;
  EXPECT_THROW(a.Assign(&other), EConvertError);
}

namespace {
struct CountingControl : TMMGraphicControl {
  int bevelChanges = 0;
  explicit CountingControl(TComponent* o) : TMMGraphicControl(o) {}
  void BevelChanged() override {
    ++bevelChanges;
    TMMGraphicControl::BevelChanged();
  }
};
}  // namespace

TEST(MMGraphicControl, OneRelayoutPerBatchAndAFramedInside) {
  auto* form = NewForm<TForm>(nullptr);
  auto* c = new CountingControl(form);
  c->SetParent(form);
  c->SetBounds(0, 0, 40, 30);
  c->SetColor(clTeal);
  EXPECT_EQ(c->GetInnerRect(), Rect(1, 1, 39, 29));
  TMMBevel* b = c->Bevel();
  b->BeginUpdate();
  b->SetBevelInner(bvRaised);
  b->SetBevelOuter(bvRaised);
  b->SetBevelInnerWidth(2);
  b->SetBevelOuterWidth(2);
  b->SetBorderStyle(bsSingle);
  b->SetBorderWidth(1);
  b->SetBorderSpace(1);
  b->SetBorderColor(clRed);
  b->SetBorderSpaceColor(clBlue);
  b->SetInnerLightColor(clWhite);
  b->SetInnerShadowColor(clGray);
  b->SetOuterLightColor(clWhite);
  b->SetOuterShadowColor(clGray);
  b->EndUpdate();
  EXPECT_EQ(c->bevelChanges, 1);
  EXPECT_EQ(c->GetInnerRect(), Rect(7, 7, 33, 23));
  form->Show();
  ProcessEvents();
  QImage img = Grab(plat::WidgetOf(c));
  EXPECT_EQ(BGR(img, 7, 7), uint32_t(clTeal));
  EXPECT_EQ(BGR(img, 32, 22), uint32_t(clTeal));
  EXPECT_EQ(BGR(img, 6, 7), uint32_t(clBlue));
  EXPECT_EQ(BGR(img, 3, 10), uint32_t(clRed));
  // The library's cursors are in the screen's table.
  EXPECT_NE(plat::CustomCursor(*Screen, crMMFirstCursor), nullptr);
  EXPECT_NE(plat::CustomCursor(*Screen, crMMLastCursor), nullptr);
  EXPECT_EQ(plat::CustomCursor(*Screen, crMMLastCursor + 1), nullptr);
  // Design state reaches the components the control owns.
  auto* owned = new TMMNonVisualComponent(c);
  c->SetDesignState(true);
  EXPECT_TRUE(c->IsDesigning());
  EXPECT_TRUE(owned->IsDesigning());
  form->Free();
}

TEST(MMCustomControl, PaintsItsBevelAroundItsColour) {
  auto* form = NewForm<TForm>(nullptr);
  auto* c = new TMMCustomControl(form);
  c->SetParent(form);
  c->SetBounds(0, 0, 20, 10);
  c->SetColor(clOlive);
  c->Bevel()->SetOuterShadowColor(clRed);
  form->Show();
  ProcessEvents();
  QImage img = Grab(plat::WidgetOf(c));
  EXPECT_EQ(BGR(img, 0, 0), uint32_t(clRed));
  EXPECT_EQ(BGR(img, 19, 9), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(BGR(img, 1, 1), uint32_t(clOlive));
  EXPECT_EQ(c->GetInnerRect(), Rect(1, 1, 19, 9));
  form->Free();
}

TEST(WinUtils, TaskbarExtentAndBeep) {
  EXPECT_TRUE(ShowTaskbar(false));
  EXPECT_TRUE(ShowTaskbar(true));
  auto* form = NewForm<TForm>(nullptr);
  auto* list = new TListBox(form);
  list->SetParent(form);
  list->SetBounds(0, 0, 100, 80);
  list->Items()->Add("Name|Length|Description");
  SetListBoxExtent(list, 640);
  SetListBoxExtent(nullptr, 10);
  form->Show();
  ProcessEvents();
  EXPECT_EQ(list->ScrollWidth(), 640);
  EXPECT_GE(plat::ListOf(list)->horizontalScrollBar()->maximum(), 640 - 100);
  int beeps = 0;
  SetSystemBeepHook([&] { ++beeps; });
  SystemBeep();
  SystemBeep();
  SetSystemBeepHook(nullptr);
  EXPECT_EQ(beeps, 2);
  form->Free();
}
