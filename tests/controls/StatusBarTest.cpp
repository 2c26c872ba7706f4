#include <gtest/gtest.h>

#include <QtTest/QTest>

#include "KitTestSupport.h"
#include "common/grip_drag.h"
#include "controls/zelpanel.h"
#include "controls/zelstatus.h"
#include "platform/ui/native_qt.h"

namespace {

constexpr uint32_t kFace = 0xC8D0D4;    // clBtnFace
constexpr uint32_t kShadow = 0x808080;  // clBtnShadow
constexpr uint32_t kWhite = 0xFFFFFF;

class CountingBar : public TZelStatusBar {
public:
  using TZelStatusBar::TZelStatusBar;
  int paints = 0;

protected:
  void Paint() override {
    ++paints;
    TZelStatusBar::Paint();
  }
};

class CountingControl : public TZelGraphicControl {
public:
  using TZelGraphicControl::TZelGraphicControl;
  int transparencyNotices = 0;

protected:
  void WndProc(plat::TMessage& m) override {
    if (m.Msg == CM_ZELTRANSPARENTCHANGED) ++transparencyNotices;
    TZelGraphicControl::WndProc(m);
  }
};

}  // namespace

TEST(ZelBevel, ExtentsAndTheDrawnBorderAgree) {
  TZelBevel b;
  EXPECT_EQ(b.Extent(), 0);
  b.SetStyleOuter(bvRaised);
  b.SetWidthOuter(2);
  b.SetStyleInner(bvFrameLowered);
  b.SetWidthInner(1);
  b.SetBorderWidth(3);
  EXPECT_EQ(b.Extent(), 7);
  b.SetWidthOuter(80);
  EXPECT_EQ(b.WidthOuter(), 50);
  b.SetBorderWidth(-4);
  EXPECT_EQ(b.BorderWidth(), 0);

  TZelBevel edge;
  edge.SetMode(bmEdge);
  edge.SetBorderInnerWidth(3);
  EXPECT_EQ(edge.Extent(), 5);
  edge.SetBorderSides(0);
  EXPECT_EQ(edge.Extent(), 3);
  EXPECT_EQ(edge.Summary(), "{Etged style}");

  TZelBevel windows(bmWindows);
  EXPECT_EQ(windows.Extent(), 2);
  windows.SetOwnerUsesSystemEdge(true);
  EXPECT_EQ(windows.Extent(), 0);
  EXPECT_TRUE(windows.MustRecreate());
  windows.SetMode(bmCustom);
  EXPECT_TRUE(windows.MustRecreate());
  windows.ClearRecreate();
  EXPECT_FALSE(windows.MustRecreate());

  // Whatever the mode, drawing takes exactly what the client rectangle leaves out.
  struct Case {
    TZelBevelMode mode;
    TZelBevelStyle outer, inner;
    int wo, wi, border, innerBorder;
    TZelFrameSides sides;
  } cases[] = {{bmCustom, bvRaised, bvFrameLowered, 2, 1, 3, 1, kZelAllSides},
               {bmCustom, bvShadow, bvNone, 4, 2, 0, 1, kZelAllSides},
               {bmCustom, bvNone, bvShadow, 1, 3, 2, 0, kZelAllSides},
               {bmStandard, bvNone, bvNone, 1, 1, 0, 2, kZelAllSides},
               {bmEdge, bvNone, bvNone, 1, 1, 0, 1, 0},
               {bmEdge, bvNone, bvNone, 1, 1, 0, 1, ZelSide(fsTop)},
               {bmWindows, bvNone, bvNone, 1, 1, 0, 2, kZelAllSides}};
  for (const Case& c : cases) {
    TZelBevel v(c.mode);
    v.SetStyleOuter(c.outer);
    v.SetStyleInner(c.inner);
    v.SetWidthOuter(c.wo);
    v.SetWidthInner(c.wi);
    v.SetBorderWidth(c.border);
    v.SetBorderInnerWidth(c.innerBorder);
    v.SetBorderSides(c.sides);
    plat::TBitmap bmp;
    Blank(bmp, 60, 40, plat::clWhite);
    const plat::TRect all = plat::Rect(0, 0, 60, 40);
    plat::TRect r = all;
    v.Draw(*bmp.Canvas(), r, false);
    const plat::TRect expected = v.ClientRect(all);
    EXPECT_EQ(r.Left, expected.Left) << int(c.mode) << " " << int(c.outer);
    EXPECT_EQ(r.Top, expected.Top) << int(c.mode) << " " << int(c.outer);
    EXPECT_EQ(r.Right, expected.Right) << int(c.mode) << " " << int(c.outer);
    EXPECT_EQ(r.Bottom, expected.Bottom) << int(c.mode) << " " << int(c.outer);
  }
}

TEST(ZelControl, TransparencyNoticesOnlyChanges) {
  TestForm form;
  auto* c = form.Place(new CountingControl(form.Get()), 10, 10, 40, 40);
  EXPECT_TRUE(c->Transparent());
  c->SetTransparent(true);
  EXPECT_EQ(c->transparencyNotices, 0);
  c->SetTransparent(false);
  EXPECT_EQ(c->transparencyNotices, 1);
  EXPECT_TRUE(c->ControlStyle() & plat::csOpaque);
  uint8_t flags = 0;
  c->OnBoundsChange = [&](plat::TObject*, uint8_t f) { flags = f; };
  c->SetBounds(12, 10, 40, 40);
  EXPECT_EQ(flags, 2);
  c->SetBounds(12, 10, 50, 40);
  EXPECT_EQ(flags, 1);
  c->SetBounds(0, 0, 10, 10);
  EXPECT_EQ(flags, 3);
}

TEST(ZelStatusBar, SizeGripPixels) {
  TestForm form;
  auto* bar = new TZelStatusBar(form.Get());
  bar->SetParent(form.Get());
  plat::TBitmap bmp;
  Blank(bmp, 40, 30, plat::clBlack);
  const plat::TRect r = plat::Rect(0, 0, 40, 30);  // R = 40, B = 30
  bar->DrawSizeGrip(*bmp.Canvas(), r);
  EXPECT_EQ(PixelOf(bmp, 26, 16), 0u);  // outside the 13 x 13 square
  EXPECT_EQ(PixelOf(bmp, 27, 17), kFace);
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(PixelOf(bmp, 38, 18 + 4 * k), kShadow);  // the two-pixel stroke
    EXPECT_EQ(PixelOf(bmp, 39, 18 + 4 * k), kShadow);
    EXPECT_EQ(PixelOf(bmp, 38, 17 + 4 * k), kWhite);
    EXPECT_EQ(PixelOf(bmp, 39, 19 + 4 * k), kFace);
  }
  EXPECT_EQ(PixelOf(bmp, 29, 27), kShadow);  // k = 0 runs down to the left
  EXPECT_EQ(PixelOf(bmp, 27, 28), kWhite);
  EXPECT_EQ(PixelOf(bmp, 39, 29), kFace);

  // A bar with a border: its grip ends in a face-coloured column and row.
  bar->Bevel()->SetStyleOuter(bvLowered);
  Blank(bmp, 40, 30, plat::clBlack);
  bar->DrawSizeGrip(*bmp.Canvas(), r);
  EXPECT_EQ(PixelOf(bmp, 39, 18), kFace);
  EXPECT_EQ(PixelOf(bmp, 39, 17), kFace);
  EXPECT_EQ(PixelOf(bmp, 27, 29), kFace);
  EXPECT_EQ(PixelOf(bmp, 38, 18), kShadow);

  // On the bar itself the grip sits in the bottom-right corner inside the bevel.
  bar->Bevel()->SetStyleOuter(bvNone);
  bar->SetSimplePanel(true);
  form.Show();
  const QImage shown = Grab(bar);
  const int R = shown.width(), B = shown.height();
  ASSERT_EQ(B, 19);
  EXPECT_EQ(Bgr(shown, R - 2, B - 12), kShadow);
  EXPECT_EQ(Bgr(shown, R - 2, B - 13), kWhite);
}

TEST(ZelStatusBar, DraggingTheGripResizesASizeableWindow) {
  TestForm form(300, 200);
  form->SetBorderStyle(plat::bsSizeable);
  auto* bar = new TZelStatusBar(form.Get());
  bar->SetParent(form.Get());
  bar->SetSimplePanel(true);
  form.Show();
  const int w = form->Width(), h = form->Height();
  const QPoint grip(bar->Width() - 4, bar->Height() - 4);
  EXPECT_TRUE(bar->OnSizeGrip(grip.x(), grip.y()));
  EXPECT_FALSE(bar->OnSizeGrip(bar->Width() - 30, grip.y())) << "only the corner is the grip";
  DragGrip(bar, 60, 25);
  EXPECT_EQ(form->Width(), w + 60);
  EXPECT_EQ(form->Height(), h + 25);
  EXPECT_EQ(bar->Top() + bar->Height(), form->ClientHeight()) << "the bar stays at the bottom";
  EXPECT_EQ(bar->Width(), form->ClientWidth());

  // A drag that starts beside the grip moves nothing.
  const QPoint beside(bar->Width() / 2, bar->Height() / 2);
  QTest::mousePress(plat::WidgetOf(bar), Qt::LeftButton, {}, beside);
  QTest::mouseMove(plat::WidgetOf(bar), beside + QPoint(40, 30));
  QTest::mouseRelease(plat::WidgetOf(bar), Qt::LeftButton, {}, beside + QPoint(40, 30));
  EXPECT_EQ(form->Width(), w + 60);

  // A window of fixed size keeps it, whatever its bar's grip says.
  form->SetBorderStyle(plat::bsSingle);
  EXPECT_FALSE(bar->OnSizeGrip(grip.x(), grip.y()));
  const QPoint corner(bar->Width() - 4, bar->Height() - 4);
  QTest::mousePress(plat::WidgetOf(bar), Qt::LeftButton, {}, corner);
  QTest::mouseMove(plat::WidgetOf(bar), corner + QPoint(40, 30));
  QTest::mouseRelease(plat::WidgetOf(bar), Qt::LeftButton, {}, corner + QPoint(40, 30));
  EXPECT_EQ(form->Width(), w + 60);
  EXPECT_EQ(form->Height(), h + 25);
}

TEST(ZelStatusBar, TheSameSimpleTextIsNotPaintedAgain) {
  TestForm form;
  auto* bar = new CountingBar(form.Get());
  bar->SetParent(form.Get());
  bar->SetSimplePanel(true);
  form.Show();
  QApplication::processEvents();
  bar->paints = 0;
  bar->SetSimpleText("Saving");
  QApplication::processEvents();
  EXPECT_GE(bar->paints, 1);
  bar->paints = 0;
  bar->SetSimpleText("Saving");
  QApplication::processEvents();
  EXPECT_EQ(bar->paints, 0);
  EXPECT_EQ(bar->Height(), 19);
  EXPECT_EQ(bar->Align(), plat::alBottom);
  EXPECT_EQ(bar->Top(), form->ClientHeight() - 19);
}

TEST(ZelStatusBar, PanelsPlacesClicksAndHostedPanels) {
  TestForm form;
  auto* bar = new TZelStatusBar(form.Get());
  bar->SetParent(form.Get());
  bar->SetOldStyle(false);
  bar->Panels()->Add();
  bar->Panels()->Add();
  form.Show();
  const plat::TRect area = bar->PanelArea();
  EXPECT_EQ(area.Left, 0);
  plat::TRect p0 = bar->PanelRect(0, true), p1 = bar->PanelRect(1, false);
  EXPECT_EQ(p0.Left - area.Left, 3);
  EXPECT_EQ(p0.Right - area.Left, 53);
  EXPECT_EQ(p1.Left - area.Left, 56);
  EXPECT_EQ(p1.Right - area.Left, 106);
  EXPECT_EQ(bar->PanelRect(1, true).Right, area.Right);
  bar->SetAutoSizeLastPanel(false);
  EXPECT_EQ(bar->PanelRect(1, true).Right - area.Left, 106);

  std::vector<int> clicked;
  bar->OnPanelClick = [&](plat::TObject*, int i) { clicked.push_back(i); };
  QTest::mouseClick(plat::WidgetOf(bar), Qt::LeftButton, {}, QPoint(10, 5));
  QTest::mouseClick(plat::WidgetOf(bar), Qt::LeftButton, {}, QPoint(51, 5));  // gaps are not counted
  QTest::mouseClick(plat::WidgetOf(bar), Qt::LeftButton, {}, QPoint(120, 5));
  EXPECT_EQ(clicked, (std::vector<int>{0, 1}));
  bar->SetOldStyle(true);
  QTest::mouseClick(plat::WidgetOf(bar), Qt::LeftButton, {}, QPoint(10, 5));
  EXPECT_EQ(clicked.size(), 2u);
  EXPECT_EQ(bar->PanelArea().Right, bar->Width() - 13 - 1);

  // Panels show only without OldStyle and without the simple text.
  bar->SetOldStyle(false);
  QImage img = Grab(bar);
  EXPECT_NE(Bgr(img, 10, bar->PanelArea().Top), kFace);  // the panel's lowered border
  bar->SetSimplePanel(true);
  img = Grab(bar);
  EXPECT_EQ(Bgr(img, 10, bar->PanelArea().Top), kFace);
  bar->SetSimplePanel(false);

  // A hosted panel lives while its item's style says so.
  TZelStatusPanel* item = bar->Panels()->Items(1);
  item->SetStyle(spPanel);
  TZelStatusCustomPanel* hosted = item->HostedPanel();
  ASSERT_NE(hosted, nullptr);
  EXPECT_EQ(hosted->Parent(), bar);
  EXPECT_EQ(hosted->PanelId(), item->PanelId());
  QApplication::processEvents();
  EXPECT_TRUE(hosted->Visible());
  EXPECT_EQ(hosted->BoundsRect().Left, item->Bevel()->ClientRect(bar->PanelRect(1, true)).Left);
  hosted->Free();
  EXPECT_EQ(item->HostedPanel(), nullptr);
  EXPECT_EQ(item->Style(), spText);
  item->SetStyle(spPanel);
  ASSERT_NE(item->HostedPanel(), nullptr);
  const int children = bar->ControlCount();
  item->SetStyle(spOwnerDraw);
  EXPECT_EQ(item->HostedPanel(), nullptr);
  EXPECT_EQ(bar->ControlCount(), children - 1);

  std::vector<std::pair<int, plat::TRect>> drawn;
  bar->OnOwnerDrawPanel = [&](plat::TObject*, int i, plat::TCanvas&, plat::TRect r) { drawn.push_back({i, r}); };
  Grab(bar);
  ASSERT_FALSE(drawn.empty());
  EXPECT_EQ(drawn.back().first, 1);
  EXPECT_EQ(drawn.back().second.Left, item->Bevel()->ClientRect(bar->PanelRect(1, true)).Left);
}

TEST(ZelPanel, BevelPanelLaysChildrenOutInsideItsBevel) {
  TestForm form;
  auto* panel = form.Place(new TZelPanel(form.Get()), 10, 10, 200, 100);
  auto* child = new TZelPanel(form.Get());
  child->SetParent(panel);
  child->SetAlign(plat::alClient);
  EXPECT_EQ(child->BoundsRect().Left, 0);
  EXPECT_TRUE(panel->HasNoBorder());
  panel->Bevel()->SetStyleOuter(bvRaised);
  panel->Bevel()->SetWidthOuter(3);
  panel->Bevel()->SetBorderWidth(2);
  EXPECT_FALSE(panel->HasNoBorder());
  EXPECT_EQ(child->Left(), 5);
  EXPECT_EQ(child->Top(), 5);
  EXPECT_EQ(child->Width(), 190);
  EXPECT_EQ(child->Height(), 90);
  // A transparent child of an opaque panel has nothing borrowed to show.
  child->SetTransparent(true);
  EXPECT_FALSE(child->SuppliesBackground());
  EXPECT_FALSE(child->TransparentOverParent());
}

TEST(ZelScrollBox, ChildrenBeyondTheBoxScrollIntoView) {
  TestForm form;
  auto* box = form.Place(new TZelScrollBox(form.Get()), 10, 10, 200, 100);
  auto* far = new TZelPanel(form.Get());
  far->SetParent(box);
  far->SetBounds(300, 20, 50, 30);
  EXPECT_EQ(box->BorderStyle(), plat::bsNone);
  form.Show();
  EXPECT_TRUE(box->HorzScrollBarVisible());
  EXPECT_FALSE(box->VertScrollBarVisible());
  EXPECT_EQ(box->ContentSize().cx, 350);
  const QPoint before = plat::WidgetOf(far)->mapTo(plat::WidgetOf(box), QPoint(0, 0));
  box->ScrollTo(120, 0);
  EXPECT_EQ(box->HorzPosition(), 120);
  const QPoint after = plat::WidgetOf(far)->mapTo(plat::WidgetOf(box), QPoint(0, 0));
  EXPECT_EQ(before.x() - after.x(), 120);
  EXPECT_EQ(far->Left(), 300);  // the child's own bounds stay where they are
}
