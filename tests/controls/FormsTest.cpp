#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <algorithm>
#include <optional>
#include <vector>

#include "KitTestSupport.h"
#include "common/raised.h"
#include "controls/FormResizer.h"
#include "controls/ZelWndProcComponent.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/stdctrls.h"

namespace {

// A hook that records the events it sees and keeps the ones it is told to.
class Recorder : public TZelWndProcComponent {
public:
  using TZelWndProcComponent::TZelWndProcComponent;
  std::vector<plat::TWindowEventKind> seen;
  std::optional<plat::TWindowEventKind> swallow;

protected:
  bool WindowProc(plat::TWindowEvent& e) override {
    seen.push_back(e.Kind);
    return swallow && e.Kind == *swallow;
  }
};

// The test's ping is an event of no kind of its own.
int Pings(const std::vector<plat::TWindowEventKind>& v) { return int(std::count(v.begin(), v.end(), plat::weOther)); }

}  // namespace

TEST(WindowHooks, SeeEventsFirstAndUnhookInAnyOrder) {
  auto* form = plat::NewForm<plat::TForm>(nullptr);
  auto* first = new Recorder(form);
  auto* second = new Recorder(form);
  first->Hook();
  second->Hook();
  ASSERT_TRUE(first->Hooked());
  QWidget* window = plat::WidgetOf(form)->window();
  ASSERT_NE(window, nullptr);
  QEvent ping(QEvent::User);
  QCoreApplication::sendEvent(window, &ping);
  EXPECT_EQ(Pings(first->seen), 1);
  EXPECT_EQ(Pings(second->seen), 1);

  // The one installed last sees events first; what it keeps goes no further.
  second->swallow = plat::weOther;
  QCoreApplication::sendEvent(window, &ping);
  EXPECT_EQ(Pings(first->seen), 1);
  EXPECT_EQ(Pings(second->seen), 2);
  second->swallow.reset();

  // Unhooking the first leaves the second working, and the other way round.
  first->Unhook();
  QCoreApplication::sendEvent(window, &ping);
  EXPECT_EQ(Pings(first->seen), 1);
  EXPECT_EQ(Pings(second->seen), 3);
  first->Hook();
  delete second;
  QCoreApplication::sendEvent(window, &ping);
  EXPECT_EQ(Pings(first->seen), 2);

  first->SetEnabled(false);
  EXPECT_FALSE(first->Hooked());
  first->SetEnabled(true);
  EXPECT_TRUE(first->Hooked());
  // The window goes first: the hook is left with nothing, and its own end is harmless.
  delete form;
}

TEST(WindowHooks, LoadedHooksUnlessDesigning) {
  auto* form = plat::NewForm<plat::TForm>(nullptr);
  auto* hook = new Recorder(nullptr);
  hook->BeginLoading();
  form->InsertComponent(hook);
  hook->EndLoading();
  EXPECT_TRUE(hook->Hooked());
  auto* designed = new Recorder(nullptr);
  designed->SetDesigningState(true);
  designed->BeginLoading();
  form->InsertComponent(designed);
  designed->EndLoading();
  EXPECT_FALSE(designed->Hooked());
  Recorder orphan(nullptr);
  orphan.Hook();
  EXPECT_FALSE(orphan.Hooked());  // no window to hook
  delete form;
}

namespace {

struct ResizerFixture : ::testing::Test {
  ResizerFixture() {
    form = plat::NewForm<plat::TForm>(nullptr);
    form->SetBounds(0, 0, 200, 100);
    button = new plat::TButton(form);
    button->SetParent(form);
    button->SetBounds(10, 10, 50, 21);
    button->Font()->SetSize(10);
    fill = new plat::TPanel(form);
    fill->SetParent(form);
    fill->SetAlign(plat::alClient);
    label = new plat::TLabel(form);
    label->SetParent(form);
    label->SetAutoSize(false);
    label->SetCaption("Time left");
    label->SetBounds(15, 50, 80, 13);
    resizer = new TFormResizer(form);
  }
  ~ResizerFixture() override { delete form; }
  plat::TForm* form;
  plat::TButton* button;
  plat::TPanel* fill;
  plat::TLabel* label;
  TFormResizer* resizer;
};

}  // namespace

TEST_F(ResizerFixture, ScalesAndRestoresExactly) {
  resizer->RecordLayout();
  EXPECT_EQ(resizer->RecordCount(), 3);
  const plat::TRect fillBounds = fill->BoundsRect();

  form->SetBounds(0, 0, 300, 150);
  resizer->ResizeControls();
  // 1.5 times: 10 -> 15, 50 -> 75, 21 -> 31.5 -> 32 (halves to even).
  EXPECT_EQ(button->BoundsRect(), plat::Bounds(15, 15, 75, 32));
  EXPECT_EQ(button->Font()->Size(), 10);  // fonts only with ResizeFonts
  EXPECT_EQ(label->Left(), 22);           // 22.5 -> 22
  EXPECT_EQ(label->Top(), 75);
  EXPECT_NE(label->Width(), 120);  // a label keeps its own width and fits its text

  form->SetBounds(0, 0, 233, 117);
  resizer->ResizeControls();
  form->SetBounds(0, 0, 200, 100);
  resizer->ResizeControls();
  EXPECT_EQ(button->BoundsRect(), plat::Bounds(10, 10, 50, 21));
  EXPECT_EQ(label->Left(), 15);
  EXPECT_EQ(label->Top(), 50);
  EXPECT_EQ(fill->Align(), plat::alClient);
  (void)fillBounds;
}

TEST_F(ResizerFixture, FontsRecordsAndRemovals) {
  resizer->SetResizeFonts(true);
  resizer->SetMaxFontSize(18);
  int posts = 0;
  double lastHeightRatio = 0, lastWidthRatio = 0;
  resizer->OnPostResize = [&](plat::TObject* sender, plat::TControl* comp, double h, double w) {
    EXPECT_EQ(sender, resizer);
    EXPECT_NE(comp, nullptr);
    lastHeightRatio = h;
    lastWidthRatio = w;
    ++posts;
  };
  resizer->RecordLayout();
  form->SetBounds(0, 0, 200, 200);
  resizer->ResizeControls();
  EXPECT_EQ(posts, 3);
  EXPECT_DOUBLE_EQ(lastHeightRatio, 2.0);
  EXPECT_DOUBLE_EQ(lastWidthRatio, 1.0);
  EXPECT_EQ(button->Font()->Size(), 18);  // 20, lowered to the maximum
  EXPECT_EQ(button->Width(), 50);

  // A second recording after the resize records nothing new.
  resizer->RecordLayout();
  form->SetBounds(0, 0, 200, 100);
  resizer->ResizeControls();
  EXPECT_EQ(button->Font()->Size(), 10);
  EXPECT_EQ(button->Height(), 21);

  // A control deleted at run time is skipped from then on.
  delete button;
  posts = 0;
  form->SetBounds(0, 0, 200, 200);
  EXPECT_NO_THROW(resizer->ResizeControls());
  EXPECT_EQ(posts, 2);
}

TEST(Resizer, OwnersAndEmptyRecordedSizes) {
  EXPECT_EQ(MessageOf([] { TFormResizer r(nullptr); }), "TFormResizer created without an owner");
  plat::TComponent notAControl;
  EXPECT_EQ(MessageOf([&] { new TFormResizer(&notAControl); }), "TFormResizer owner must be a panel or form");
  EXPECT_EQ(MessageOf([] { TSingleResizer r(nullptr, nullptr, false, 8, 48); }),
            "TSingleResizer created without a component link");

  // A form recorded at size 0 scales by 1 instead of dividing by zero.
  auto* form = plat::NewForm<plat::TForm>(nullptr);
  form->SetBounds(0, 0, 0, 0);
  auto* button = new plat::TButton(form);
  button->SetParent(form);
  button->SetBounds(4, 5, 30, 20);
  auto* resizer = new TFormResizer(form);
  resizer->RecordLayout();
  form->SetBounds(0, 0, 300, 200);
  resizer->ResizeControls();
  EXPECT_EQ(button->BoundsRect(), plat::Bounds(4, 5, 30, 20));
  resizer->SetEnforceMinSize(true);
  delete form;
}
