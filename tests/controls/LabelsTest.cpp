#include <gtest/gtest.h>

#include <QtTest/QTest>

#include "KitTestSupport.h"
#include "controls/zelgraph.h"
#include "controls/zellabel.h"
#include "controls/zelstatus.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/stdctrls.h"

namespace {

void Arial(plat::TFont* f, int height) {
  f->SetName("Arial");
  f->SetHeight(height);
  f->SetColor(plat::clBlack);
}

// The rows of img that hold a pixel other than the background.
std::pair<int, int> InkRows(const QImage& img, uint32_t background) {
  int first = -1, last = -1;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (Bgr(img, x, y) != background) {
        if (first < 0) first = y;
        last = y;
        break;
      }
  return {first, last};
}

// What the canvas draws for text in a white w x h box with the given flags.
QImage Drawn(const std::string& text, int w, int h, uint32_t flags) {
  plat::TBitmap b;
  Blank(b, w, h, plat::clWhite);
  plat::TCanvas& c = *b.Canvas();
  Arial(c.Font(), -11);
  c.Brush()->SetStyle(plat::bsClear);
  plat::TRect r = plat::Rect(0, 0, w, h);
  c.DrawText(text, r, flags);
  return plat::ImageOf(b).convertToFormat(QImage::Format_RGB32);
}

const char* const kLongName =
    "a cart name that is far too long for the three lines the deck gives it, so the third of them "
    "runs over and ends in an ellipsis where the box stops";

}  // namespace

TEST(ZelLabel, FlagsFollowAlignmentOptionsAndLines) {
  TestForm form;
  auto* l = new TZelSimpleLabel(form.Get());
  EXPECT_EQ(l->TextFlags(), uint32_t(plat::DT_WORDBREAK | plat::DT_EXPANDTABS | plat::DT_SINGLELINE));
  l->SetMultiLine(true);
  l->SetAlignment(agBottomRight);
  l->SetOptions(loEndEllipsis | loPathEllipsis);
  l->SetShowAccelChar(false);
  EXPECT_EQ(l->TextFlags(), uint32_t(plat::DT_WORDBREAK | plat::DT_EXPANDTABS | plat::DT_BOTTOM | plat::DT_RIGHT |
                                     plat::DT_END_ELLIPSIS | plat::DT_PATH_ELLIPSIS | plat::DT_NOPREFIX));
  l->SetAlignment(agCenter);
  l->SetOptions(loEditControl);
  EXPECT_EQ(l->TextFlags() & (plat::DT_VCENTER | plat::DT_CENTER | plat::DT_EDITCONTROL | plat::DT_END_ELLIPSIS),
            uint32_t(plat::DT_VCENTER | plat::DT_CENTER | plat::DT_EDITCONTROL));
}

TEST(ZelLabel, SeveralLinesEndInAnEllipsisWhereTheyStop) {
  TestForm form;
  // The deck's third name line: opaque, fixed size, several lines, end ellipsis.
  auto* l = new TZelSimpleLabel(form.Get());
  l->SetAutoSize(false);
  form.Place(l, 10, 10, 220, 26);
  l->SetTransparent(false);
  l->SetColor(plat::clWhite);
  l->SetMultiLine(true);
  l->SetOptions(loEndEllipsis);
  Arial(l->Font(), -11);
  l->SetCaption(kLongName);
  form.Show();
  const QImage shown = Grab(l);
  const uint32_t flags = plat::DT_WORDBREAK | plat::DT_EXPANDTABS | plat::DT_END_ELLIPSIS;
  EXPECT_EQ(shown, Drawn(kLongName, 220, 26, flags));
  EXPECT_NE(shown, Drawn(kLongName, 220, 26, flags & ~uint32_t(plat::DT_END_ELLIPSIS)));
  // Lines below the box are dropped, not cut through.
  const auto ink = InkRows(shown, 0xFFFFFF);
  EXPECT_GE(ink.first, 0);
  EXPECT_LT(ink.second, 26);
  EXPECT_EQ(l->Width(), 220);  // not auto-sized
}

TEST(ZelLabel, SeveralLinesArePlacedAsABlock) {
  TestForm form;
  auto* l = new TZelSimpleLabel(form.Get());
  l->SetAutoSize(false);
  form.Place(l, 10, 10, 200, 100);
  l->SetTransparent(false);
  l->SetColor(plat::clWhite);
  l->SetMultiLine(true);
  Arial(l->Font(), -11);
  l->SetCaption("first line\r\nsecond line");
  form.Show();
  const auto top = InkRows(Grab(l), 0xFFFFFF);
  l->SetAlignment(agCenter);
  const auto centred = InkRows(Grab(l), 0xFFFFFF);
  l->SetAlignment(agBottomLeft);
  const auto bottom = InkRows(Grab(l), 0xFFFFFF);
  ASSERT_GE(top.first, 0);
  const int height = top.second - top.first;
  EXPECT_EQ(centred.second - centred.first, height);  // both lines, moved as one
  EXPECT_NEAR(centred.first - 0, 99 - centred.second, 14);
  EXPECT_GT(centred.first, top.first + 20);
  EXPECT_GT(bottom.first, centred.first + 20);
  EXPECT_GE(bottom.second, 90);
}

TEST(ZelLabel, AutoSizeKeepsTheCornerAndAddsAStatusBarsGap) {
  TestForm form;
  auto* l = new TZelSimpleLabel(form.Get());
  form.Place(l, 30, 40, 5, 5);
  Arial(l->Font(), -16);
  l->SetCaption("Audio File Status Area    ");
  const int w = l->Width(), h = l->Height();
  EXPECT_EQ(l->Left(), 30);
  EXPECT_EQ(l->Top(), 40);
  EXPECT_GT(w, 150);
  EXPECT_GE(h, 16);
  l->Font3D()->SetStyle(tdRaisedShadow);
  l->Font3D()->SetLightDepth(2);
  l->Font3D()->SetShadowDepth(3);
  EXPECT_EQ(l->Width(), w + 5);  // the 3D depths
  l->SetCaption("");
  EXPECT_EQ(l->Height(), h + 5);  // an empty caption keeps one line's height

  auto* bar = new TZelStatusBar(form.Get());
  bar->SetParent(form.Get());
  auto* bevelled = new TZelLabel(bar);
  bevelled->SetParent(bar);
  Arial(bevelled->Font(), -11);
  bevelled->SetCaption("Ready");
  const int plain = bevelled->Width();
  bar->SetControlGap(10);
  EXPECT_EQ(bevelled->Width(), plain + 7);
  bevelled->Bevel()->SetStyleOuter(bvRaised);
  bevelled->Bevel()->SetWidthOuter(2);
  EXPECT_EQ(bevelled->Width(), plain + 7 + 4);
}

TEST(ZelLabel, TracingSpreadsTheCharactersItsSizeAndItsPicture) {
  TestForm form;
  form->SetColor(plat::clWhite);
  auto* l = new TZelSimpleLabel(form.Get());
  form.Place(l, 10, 10, 5, 5);
  Arial(l->Font(), -16);
  l->SetCaption("IIII");
  form.Show();
  // From the first to the last column of the label that holds dark ink.
  auto inkSpan = [&] {
    const QImage img = Grab(form.Get());
    int first = -1, last = -1;
    for (int x = l->Left(); x < l->Left() + 120; ++x)
      for (int y = l->Top(); y < l->Top() + l->Height(); ++y)
        if (qGray(img.pixel(x, y)) < 160) {
          if (first < 0) first = x;
          last = x;
          break;
        }
    return last - first;
  };
  const int w = l->Width(), span = inkSpan();
  l->Font3D()->SetTracing(5);
  EXPECT_EQ(l->Width(), w + 4 * 5);    // after every character
  EXPECT_EQ(inkSpan(), span + 3 * 5);  // between the four strokes
  // The spacing belongs to the drawing: the canvas measures plain text again afterwards.
  plat::TBitmap b;
  Blank(b, 100, 30, plat::clWhite);
  plat::TCanvas& c = *b.Canvas();
  Arial(c.Font(), -16);
  const int plain = c.TextWidth("IIII");
  plat::TRect r = plat::Rect(0, 0, 100, 30);
  Draw3DText(c, "IIII", l->Font3D(), nullptr, d3Enabled, plat::DT_SINGLELINE, r);
  EXPECT_EQ(c.TextWidth("IIII"), plain);
}

TEST(ZelLabel, AcceleratorFocusesItsControl) {
  TestForm form;
  auto* edit = form.Place(new plat::TEdit(form.Get()), 80, 10, 100, 21);
  auto* button = form.Place(new plat::TButton(form.Get()), 80, 50, 75, 25);
  auto* l = form.Place(new TZelSimpleLabel(form.Get()), 10, 10, 50, 15);
  l->SetCaption("&Name:");
  l->SetFocusControl(edit);
  form.Show();
  button->SetFocus();
  QTest::keyClick(plat::WidgetOf(button), Qt::Key_N, Qt::AltModifier);
  EXPECT_TRUE(edit->Focused());
  l->SetShowAccelChar(false);
  button->SetFocus();
  QTest::keyClick(plat::WidgetOf(button), Qt::Key_N, Qt::AltModifier);
  EXPECT_FALSE(edit->Focused());
  delete edit;
  EXPECT_EQ(l->FocusControl(), nullptr);
}

TEST(ZelLabel, BlinkPhasesLastTheirOwnTimesAndEndShown) {
  ManualPool pool;
  TestForm form;
  auto* l = form.Place(new TZelSimpleLabel(form.Get()), 10, 10, 50, 15);
  l->SetTwinkleVisible(500);
  l->SetTwinkleInVisible(200);
  l->SetTwinkle(true);
  ASSERT_NE(l->TwinkleTimer(), 0);
  TZelTimerItem* t = pool.App()->TimerById(l->TwinkleTimer());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Interval(), 500);
  pool.Advance(450);
  EXPECT_TRUE(l->TwinkleShown());
  pool.Advance(50);
  EXPECT_FALSE(l->TwinkleShown());
  EXPECT_EQ(t->Interval(), 200);  // hidden for TwinkleInVisible
  pool.Advance(200);
  EXPECT_TRUE(l->TwinkleShown());
  EXPECT_EQ(t->Interval(), 500);  // shown for TwinkleVisible
  pool.Advance(300);              // the pool's timers share one phase: 500 ms timers fire at 1000 ms
  EXPECT_FALSE(l->TwinkleShown());
  // Switched off while hidden: shown again, and the timer is given back.
  l->SetTwinkle(false);
  EXPECT_TRUE(l->TwinkleShown());
  EXPECT_EQ(pool.Timers(), 0);
}

TEST(ZelInformationLabel, TextOfCaptionTabsColonAndValue) {
  ManualPool pool;
  TestForm form;
  auto* l = new TZelInformationLabel(form.Get());
  l->ValueSource = [](TZelInfoType, int64_t, const std::string&) { return std::string("1234567"); };
  l->SetInfo(itMemSize);
  EXPECT_EQ(l->DisplayText(), "Memory size\t1234567");  // InsertColon -1, one tab
  l->SetInsertColon(1);
  EXPECT_EQ(l->DisplayText(), "Memory size\t:1234567");
  l->SetInsertColon(0);
  l->SetInsertTabs(2);
  EXPECT_EQ(l->DisplayText(), "Memory size:\t\t1234567");
  l->SetInsertTabs(0);
  l->SetInsertColon(-1);
  l->SetUseStandardCaption(false);
  l->SetCaption("RAM");
  EXPECT_EQ(l->DisplayText(), "RAM 1234567");
  l->SetNumberFormat("0,000,000");
  EXPECT_EQ(l->DisplayText(), "RAM 1,234,567");
  // Not a number: the mask leaves it alone.
  l->SetInfo(itUser);
  EXPECT_EQ(l->DisplayText(), "RAM 1234567");

  EXPECT_EQ(ApplyNumberFormat("12", "0000"), "0012");
  EXPECT_EQ(ApplyNumberFormat("1234567", "0,000"), "1234,567");
  EXPECT_EQ(ApplyNumberFormat("-42", "0000"), "-0042");
  EXPECT_EQ(ApplyNumberFormat("", "00"), "00");
}

TEST(ZelInformationLabel, LockKeysRefreshWithinAQuarterSecondOnlyWhenChanged) {
  ManualPool pool;
  TestForm form;
  std::string caps = "Off";
  auto* l = form.Place(new TZelInformationLabel(form.Get()), 10, 10, 50, 15);
  l->ValueSource = [&](TZelInfoType, int64_t, const std::string&) { return caps; };
  l->SetInfo(itCapsLock);
  TZelTimerItem* t = pool.App()->TimerById(l->RefreshTimer());
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->Enabled());
  EXPECT_EQ(t->Interval(), 250);
  EXPECT_FALSE(l->Refresh());  // the same value: nothing to show anew
  caps = "On";
  EXPECT_EQ(l->DisplayText(), "CapsLock\tOff");
  pool.Advance(250);
  EXPECT_EQ(l->DisplayText(), "CapsLock\tOn");
  l->SetInfo(itCurrentDateTime);
  EXPECT_EQ(t->Interval(), 1000);
  l->SetInfo(itProgName);
  EXPECT_FALSE(t->Enabled());
  delete l;
  EXPECT_EQ(pool.Timers(), 0);
}

TEST(ZelSimpleLabel, LinksOpenTheirTargetOrBecomePlainLabels) {
  TestForm form;
  auto* l = form.Place(new TZelSimpleLabel(form.Get()), 10, 10, 120, 15);
  std::vector<std::string> opened;
  bool succeed = true;
  auto saved = TZelSimpleLabel::OpenHook;
  TZelSimpleLabel::OpenHook = [&](const std::string& t) {
    opened.push_back(t);
    return succeed;
  };
  int clicks = 0;
  l->OnClick = [&](plat::TObject*) { ++clicks; };
  l->SetCaption("studio@example.org");
  l->SetJumpMode(jmInternet);
  EXPECT_EQ(l->Cursor(), plat::crHandPoint);
  EXPECT_EQ(l->Font()->Color(), plat::clBlue);
  EXPECT_TRUE(l->Font()->Style() & plat::fsUnderline);
  form.Show();
  QTest::mouseClick(plat::WidgetOf(l), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(l->ClickCount(), 1);
  EXPECT_EQ(l->Font()->Color(), plat::clPurple);
  l->SetCaption("www.example.org");
  l->Click();
  l->SetJump("  ");
  l->Click();  // a blank Jump counts as none
  l->SetJump("https://example.org/carts");
  l->Click();
  l->SetJumpMode(jmApplication);
  l->SetJump("");
  l->SetCaption("notes@x.txt");
  l->Click();  // programs get the text as it is
  EXPECT_EQ(opened, (std::vector<std::string>{"mailto:studio@example.org", "www.example.org", "www.example.org",
                                              "https://example.org/carts", "notes@x.txt"}));
  EXPECT_EQ(clicks, 0);

  succeed = false;
  l->SetJumpMode(jmInternet);
  l->Click();
  EXPECT_EQ(l->JumpMode(), jmNone);
  EXPECT_FALSE(l->Enabled());
  EXPECT_EQ(l->Cursor(), plat::crHandPoint);  // only the mode changes
  l->SetEnabled(true);
  l->Click();
  EXPECT_EQ(clicks, 1);
  TZelSimpleLabel::OpenHook = saved;
}
