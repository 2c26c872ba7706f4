// Clicks on controls without a window of their own and on empty areas leave the keyboard where it
// was: Space and Enter still reach the focused button afterwards.
#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "KitTestSupport.h"
#include "controls/zelbtns.h"
#include "controls/zellabel.h"
#include "controls/zelpanel.h"
#include "controls/zelstatus.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/stdctrls.h"

namespace {

struct ClickTarget {
  std::string what;
  QWidget* widget;
  QPoint at;
};

}  // namespace

TEST(Focus, ClicksOnWindowlessControlsAndEmptyAreasKeepIt) {
  TestForm form(420, 260);
  auto* stop = form.Place(new TZelButton(form.Get()), 10, 10, 80, 40);
  stop->SetCaption("Stop");
  auto* other = form.Place(new TZelButton(form.Get()), 100, 10, 80, 40);
  other->SetCaption("Other");
  auto* label = form.Place(new TZelSimpleLabel(form.Get()), 10, 60, 120, 20);
  label->SetCaption("00:00:00.000");
  auto* speed = form.Place(new TZelSpeedButton(form.Get()), 140, 60, 60, 22);
  speed->SetCaption("Clear");
  auto* kitPanel = form.Place(new TZelPanel(form.Get()), 10, 90, 190, 70);
  auto* onPanel = new TZelSimpleLabel(form.Get());
  onPanel->SetParent(kitPanel);
  onPanel->SetBounds(8, 8, 100, 16);
  onPanel->SetCaption("CART");
  auto* panel = form.Place(new plat::TPanel(form.Get()), 210, 90, 190, 70);
  auto* plainLabel = new plat::TLabel(form.Get());
  plainLabel->SetParent(panel);
  plainLabel->SetBounds(8, 8, 100, 16);
  plainLabel->SetCaption("FORMAT");
  auto* bevel = form.Place(new plat::TBevel(form.Get()), 10, 170, 100, 30);
  auto* bar = new TZelStatusBar(form.Get());
  bar->SetParent(form.Get());
  int clicks = 0;
  stop->OnClick = [&](plat::TObject*) { ++clicks; };
  form.Show();
  stop->SetFocus();
  ASSERT_TRUE(stop->Focused());

  const std::vector<ClickTarget> targets = {
      {"a label", plat::WidgetOf(label), QPoint(5, 5)},
      {"a speed button", plat::WidgetOf(speed), QPoint(10, 10)},
      {"a label on a panel", plat::WidgetOf(onPanel), QPoint(5, 5)},
      {"a kit panel", plat::WidgetOf(kitPanel), QPoint(150, 50)},
      {"a panel", plat::WidgetOf(panel), QPoint(150, 50)},
      {"a label of the framework", plat::WidgetOf(plainLabel), QPoint(5, 5)},
      {"a bevel", plat::WidgetOf(bevel), QPoint(5, 5)},
      {"a status bar", plat::WidgetOf(bar), QPoint(50, 5)},
      {"the form", plat::ClientWidgetOf(form.Get()), QPoint(300, 30)},
  };
  for (const ClickTarget& t : targets) {
    stop->SetFocus();
    QTest::mouseClick(t.widget, Qt::LeftButton, {}, t.at);
    QApplication::processEvents();
    EXPECT_TRUE(stop->Focused()) << "after a click on " << t.what;
    const int before = clicks;
    QWidget* keys = QApplication::focusWidget();
    QTest::keyClick(keys ? keys : plat::WidgetOf(form.Get()), Qt::Key_Space);
    EXPECT_EQ(clicks, before + 1) << "Space after a click on " << t.what;
  }
  // A button is still taken by a click.
  QTest::mouseClick(plat::WidgetOf(other), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_TRUE(other->Focused());
}
