#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>

#include "KitTestSupport.h"
#include "controls/MMForm.h"
#include "controls/zelform.h"
#include "controls/zelsysin.h"
#include "platform/ui/native_qt.h"

namespace {

// The deck's styler: company, application name and the user in the caption.
TMMFormStyler* DeckStyler(plat::TForm* form) {
  auto* s = new TMMFormStyler(form);
  s->AppNameText()->SetCaption("Solvane");
  s->CompanyText()->SetCaption("Tolmark Kiv 1.2.3.4");
  s->CaptionText()->SetCaption("  [ User: Default ]");
  return s;
}

class Counter : public TMMWndProcComponent {
public:
  using TMMWndProcComponent::TMMWndProcComponent;
  int seen = 0;

protected:
  // The ping the test sends is an event of no kind of its own.
  bool WndProc(plat::TWindowEvent& e) override {
    if (e.Kind == plat::weOther) ++seen;
    return TMMWndProcComponent::WndProc(e);
  }
};

uint32_t Pixel(plat::TBitmap& b, int x, int y) { return PixelOf(b, x, y); }

}  // namespace

TEST(MMFormStyler, TitleIsMadeOfTheVisibleParts) {
  TestForm form;
  form->SetCaption("Solvane");
  auto* s = DeckStyler(form.Get());
  EXPECT_EQ(form->Caption(), "Tolmark Kiv 1.2.3.4 Solvane   [ User: Default ]");
  EXPECT_EQ(s->CaptionText()->Caption(), "  [ User: Default ]");
  s->CompanyText()->SetVisible(false);
  EXPECT_EQ(form->Caption(), "Solvane   [ User: Default ]");
  EXPECT_EQ(s->CaptionText()->Caption(), "  [ User: Default ]");
  s->CompanyText()->SetVisible(true);
  // A new version in the company text keeps the user part (read from the old title).
  s->CompanyText()->SetCaption("Tolmark Kiv 1.2.3.5");
  EXPECT_EQ(form->Caption(), "Tolmark Kiv 1.2.3.5 Solvane   [ User: Default ]");
  s->CaptionText()->SetCaption("");
  EXPECT_EQ(form->Caption(), "Tolmark Kiv 1.2.3.5 Solvane");
  EXPECT_EQ(s->CaptionText()->Caption(), "");
  s->AppNameText()->SetCaption("");
  s->CaptionText()->SetCaption("Recorder");
  EXPECT_EQ(form->Caption(), "Tolmark Kiv 1.2.3.5 Recorder");
  // A title the program wrote itself is all caption.
  form->SetCaption("Something else");
  EXPECT_EQ(s->CaptionText()->Caption(), "Something else");
}

TEST(MMFormStyler, OneStylerPerFormAndOnlyOnForms) {
  TestForm form;
  new TMMFormStyler(form.Get());
  try {
    new TMMFormStyler(form.Get());
    FAIL() << "a second styler was made";
  } catch (const plat::Exception& e) {
    EXPECT_STREQ(e.what(), "Only one FormStyler is allowed per Form");
  }
  EXPECT_EQ(form->ComponentCount(), 1);
  plat::TComponent notAForm(nullptr);
  try {
    TMMWndProcComponent hook(&notAForm);
    FAIL() << "made on a component that is no form";
  } catch (const plat::Exception& e) {
    EXPECT_STREQ(e.what(), "Owner must be a Form");
  }
}

TEST(MMFormStyler, HooksComeOffInAnyOrder) {
  TestForm form;
  form.Show();
  auto* a = new Counter(form.Get());
  auto* b = new Counter(form.Get());
  a->Hook();
  b->Hook();
  EXPECT_EQ(TMMWndProcComponent::HookedComponents().size(), 2u);
  QEvent e(QEvent::User);
  QCoreApplication::sendEvent(plat::WidgetOf(form.Get())->window(), &e);
  EXPECT_EQ(a->seen, 1);
  EXPECT_EQ(b->seen, 1);
  a->Unhook();
  QCoreApplication::sendEvent(plat::WidgetOf(form.Get())->window(), &e);
  EXPECT_EQ(a->seen, 1);
  EXPECT_EQ(b->seen, 2);
  delete b;
  EXPECT_TRUE(TMMWndProcComponent::HookedComponents().empty());
}

TEST(MMFormStyler, NarrowWindowsDropTheCompanyThenTheApplicationName) {
  plat::TFont bold;
  MMCaptionFont(bold);
  TMMCaptionScene scene;
  scene.Styles = cwSizeable | cwSystemMenu | cwMinimizeBox | cwMaximizeBox;
  scene.Parts[0].Text = "Tolmark Kiv 1.2.3.4";
  scene.Parts[1].Text = "Solvane";
  scene.Parts[2].Text = "  [ User: Default ]";
  for (auto& p : scene.Parts) p.Font = &bold;
  auto shown = [&](int width) {
    scene.Window = {width, 60};
    TMMCaptionTextLayout l = MMCaptionTextLayout(scene);
    return std::string(l.Shown[0] ? "C" : "") + (l.Shown[1] ? "A" : "") + (l.Shown[2] ? "T" : "");
  };
  EXPECT_EQ(shown(600), "CAT");
  std::string last = "CAT";
  int dropsCompany = 0, dropsApp = 0;
  for (int w = 600; w > 40; w -= 2) {
    const std::string now = shown(w);
    if (now != last) {
      if (now == "AT") dropsCompany = w;
      if (now == "T") dropsApp = w;
      last = now;
    }
  }
  EXPECT_GT(dropsCompany, dropsApp);
  EXPECT_GT(dropsApp, 0);
  EXPECT_EQ(shown(60), "T");  // the caption is always tried

  // Hidden or empty parts take no room; alignment moves the block by the free width.
  scene.Parts[0].Visible = false;
  scene.Window = {600, 60};
  TMMCaptionTextLayout left = MMCaptionTextLayout(scene);
  EXPECT_FALSE(left.Shown[0]);
  EXPECT_EQ(left.Gaps[1], 0);
  EXPECT_GT(left.Gaps[2], 0);
  scene.Alignment = plat::taRightJustify;
  TMMCaptionTextLayout right = MMCaptionTextLayout(scene);
  EXPECT_EQ(right.Left + right.Widths[1] + right.Gaps[2] + right.Widths[2], right.Caption.Right);
  scene.Alignment = plat::taCenter;
  TMMCaptionTextLayout centre = MMCaptionTextLayout(scene);
  EXPECT_EQ(centre.Left - left.Left, (right.Left - left.Left) / 2);
}

TEST(MMFormStyler, BarIsAGradientOrOneColour) {
  EXPECT_TRUE(MMUseGradient(goSmart, true, 8));
  EXPECT_FALSE(MMUseGradient(goSmart, false, 8));
  EXPECT_TRUE(MMUseGradient(goSmart, false, 16));
  EXPECT_FALSE(MMUseGradient(goActive, false, 32));
  EXPECT_FALSE(MMUseGradient(goNever, true, 32));

  TestForm form(400, 100);
  form->SetCaption("");
  auto* s = new TMMFormStyler(form.Get());
  s->SetActive(true);
  s->SetClrLeftActive(plat::clRed);
  s->SetClrRightActive(plat::clBlue);
  plat::TBitmap bar;
  s->PaintCaption(bar);
  ASSERT_EQ(bar.Width(), form->Width());
  const TZelSystemMetrics m = ZelSystemMetrics();
  const int y = m.SizingFrameHeight + 2;  // inside the bar, above any text
  const int x0 = m.SizingFrameWidth + m.SmallIconWidth + 4;
  EXPECT_NE(Pixel(bar, x0, y), Pixel(bar, 300, y));
  EXPECT_EQ(Pixel(bar, m.SizingFrameWidth, y), 0x0000FFu);  // starts at the left colour
  s->SetOptions(goNever);
  s->PaintCaption(bar);
  EXPECT_EQ(Pixel(bar, x0, y), 0x0000FFu);
  EXPECT_EQ(Pixel(bar, 300, y), 0x0000FFu);
  s->SetActive(false);
  s->SetClrLeftInActive(plat::clGreen);
  s->PaintCaption(bar);
  EXPECT_EQ(Pixel(bar, 300, y), 0x008000u);
  // Every visible change asks for the bar anew.
  const int before = s->Redraws();
  s->SetNumColors(500);
  EXPECT_EQ(s->NumColors(), 236);
  EXPECT_EQ(s->Redraws(), before + 1);
  s->SetNumColors(236);
  EXPECT_EQ(s->Redraws(), before + 1);
}

TEST(MMFormStyler, FontKinds) {
  TestForm form;
  auto* s = new TMMFormStyler(form.Get());
  TMMCompanyText* t = s->CompanyText();
  EXPECT_EQ(t->FontKind(), fkSystem);
  EXPECT_EQ(t->Font()->Height(), s->CaptionFont().Height());
  t->SetFontKind(fkSystemBI);
  EXPECT_EQ(t->Font()->Style() & (plat::fsBold | plat::fsItalic), plat::fsBold | plat::fsItalic);
  t->Font()->SetName("Arial");
  EXPECT_EQ(t->FontKind(), fkCustom);
  EXPECT_TRUE(t->FontStored());
  t->SetFontKind(fkAutoHeight);
  t->Font()->SetHeight(-30);
  EXPECT_EQ(t->FontKind(), fkAutoHeight);  // keeps its kind, and its height follows the caption
  EXPECT_GT(t->Font()->Height(), -20);
  EXPECT_EQ(t->Font()->Name(), "Arial");
}

TEST(ZelFormStyler, PaintsOnlyWhereTheSystemsCaptionDoesNot) {
  TestForm form(300, 80);
  form->SetCaption("Select Path...");
  auto* s = new TZelFormStyler(form.Get());
  s->SetEnabled(false);
  s->SetEnabled(true);
  EXPECT_TRUE(s->Hooked());
  EXPECT_EQ(form->Caption(), "Select Path...");  // the window keeps its title
  plat::TBitmap bar;
  EXPECT_FALSE(s->PaintCaption(bar, 24));  // the system draws gradient captions itself
  s->SetOptions((s->Options() & ~fsCheckSystemGradient) | fsInactiveGradient);
  EXPECT_TRUE(s->PaintCaption(bar, 24));
  EXPECT_EQ(bar.Width(), 300);
  int captions = 0;
  s->SetPaintMode(pcOwnerDraw);
  s->OnCaptionPaint = [&](plat::TObject*, plat::TCanvas&, plat::TRect r) {
    ++captions;
    EXPECT_GT(r.Width(), 0);
  };
  s->PaintCaption(bar, 24);
  EXPECT_EQ(captions, 0);
  s->SetOptions(s->Options() | fsDrawCaptionEvent);
  s->PaintCaption(bar, 24);
  EXPECT_EQ(captions, 1);
  s->SetPaintMode(pcNone);
  EXPECT_FALSE(s->PaintCaption(bar, 24));
}

TEST(ZelFormFill, PaintsBeforeTheFormsOwnHandlerAndGivesItBack) {
  TestForm form(200, 120);
  std::vector<std::string> order;
  form->OnPaint = [&](plat::TObject*) { order.push_back("form"); };
  auto* fill = new TZelCustomFormFill(form.Get());
  fill->SetPaintMode(pcOwnerDraw);
  plat::TRect given{};
  fill->OnPaint = [&](plat::TObject*, plat::TCanvas& c, plat::TRect r) {
    order.push_back("fill");
    given = r;
    c.Brush()->SetColor(plat::clRed);
    c.FillRect(plat::Rect(0, 0, 10, 10));
  };
  fill->Hook();
  form.Show();
  QApplication::processEvents();
  ASSERT_GE(order.size(), 2u);
  EXPECT_EQ(order[0], "fill");
  EXPECT_EQ(order[1], "form");
  EXPECT_EQ(given.Right, form->ClientWidth());
  EXPECT_EQ(given.Bottom, form->ClientHeight());
  const QImage shown = Grab(form.Get());
  EXPECT_EQ(Bgr(shown, 2, 2), 0x0000FFu);
  fill->SetEnabled(false);
  order.clear();
  form->Repaint();
  QApplication::processEvents();
  EXPECT_EQ(order, (std::vector<std::string>{"form"}));
  delete fill;
  form->Repaint();
  EXPECT_EQ(order.back(), "form");
}
