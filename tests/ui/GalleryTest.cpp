// The gallery form: every control paints inside its own rectangle, and every caption fits the
// room its control gives it.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QStyleHints>
#include <QTabBar>
#include <QTabWidget>

#include "UiTest.h"
#include "tools/ui-gallery/GalleryForm.h"
#include "platform/ui/native_qt.h"

using namespace plat;

namespace {
// The control's rectangle in the form's client area.
QRect InClient(TCustomForm* f, TControl* c) {
  QPoint at = plat::WidgetOf(c)->mapTo(plat::ClientWidgetOf(f), QPoint(0, 0));
  return QRect(at, plat::WidgetOf(c)->size());
}
}  // namespace

TEST(Gallery, EveryControlPaintsInsideItsRectangle) {
  // The focused edit's caret must not blink between the two pictures of a control.
  QStyleHints* hints = QGuiApplication::styleHints();
  const int flash = hints->cursorFlashTime();
  hints->setCursorFlashTime(0);
  auto* f = NewForm<TGalleryForm>(nullptr);
  const QImage all = RenderGallery(f);
  ASSERT_FALSE(all.isNull());
  for (TControl* c : f->All) {
    if (!c->Showing()) continue;  // the sheet that is not on top
    const QRect r = InClient(f, c);
    c->Hide();
    ProcessEvents();
    const QImage without = RenderClient(f);
    c->Show();
    ProcessEvents();
    const QImage with = RenderClient(f);
    int inside = 0, outside = 0;
    for (int y = 0; y < with.height(); ++y)
      for (int x = 0; x < with.width(); ++x)
        if (with.pixel(x, y) != without.pixel(x, y)) (r.contains(x, y) ? inside : outside)++;
    EXPECT_GT(inside, 0) << c->ClassName() << " " << c->Caption() << " shows nothing";
    EXPECT_EQ(outside, 0) << c->ClassName() << " " << c->Caption() << " paints outside its rectangle";
  }
  f->Free();
  hints->setCursorFlashTime(flash);
}

TEST(Gallery, EveryCaptionFitsItsControl) {
  auto* f = NewForm<TGalleryForm>(nullptr);
  RenderGallery(f);
  TCanvas probe;
  auto width = [&](TControl* c, const std::string& caption) {
    probe.SetFont(*c->Font());
    TRect r = Rect(0, 0, 10000, 0);
    probe.DrawText(caption, r, DT_SINGLELINE | DT_CALCRECT);
    return r.Width();
  };
  int checked = 0;
  for (TControl* c : f->All) {
    const std::string caption = c->Caption();
    if (caption.empty()) continue;
    int room = c->Width();
    if (dynamic_cast<TButton*>(c)) room -= 8;  // the button's frame and a little air
    else if (dynamic_cast<TCheckBox*>(c) || dynamic_cast<TRadioButton*>(c)) room -= 20;  // the box
    else if (dynamic_cast<TGroupBox*>(c) || dynamic_cast<TRadioGroup*>(c)) room -= 16;   // caption at 8
    else if (dynamic_cast<TPanel*>(c)) room -= 4;                                        // bevels
    else if (auto* sheet = dynamic_cast<TTabSheet*>(c)) {
      QTabBar* bar = plat::TabsOf(sheet->PageControl())->tabBar();
      room = bar->tabRect(sheet->TabIndex()).width() - 8;
    } else if (dynamic_cast<TEdit*>(c) || dynamic_cast<TMemo*>(c) || dynamic_cast<TComboBox*>(c)) {
      continue;  // their text scrolls
    } else if (auto* label = dynamic_cast<TLabel*>(c); label && label->WordWrap()) {
      TRect r = label->ClientRect();
      probe.SetFont(*label->Font());
      TRect calc = r;
      probe.DrawText(caption, calc, label->TextFlags() | DT_CALCRECT);
      EXPECT_LE(calc.Height(), r.Height()) << caption;
      ++checked;
      continue;
    }
    EXPECT_LE(width(c, caption), room) << c->ClassName() << " \"" << caption << "\"";
    ++checked;
  }
  EXPECT_GE(checked, 10);
  f->Free();
}
