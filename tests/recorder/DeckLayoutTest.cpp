// The deck's displays are the ones the render tool and the display tests draw, and the punch-in
// panel opens where it hides nothing the operator reads or presses.
#include <QApplication>
#include <QImage>
#include <iterator>

#include "DeckHarness.h"
#include "recorder/DeckDisplays.h"
#include "platform/ui/native_qt.h"

namespace {

QImage Picture(plat::TControl* c) {
  QApplication::processEvents();
  return plat::WidgetOf(c)->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The control's rectangle on the screen.
plat::TRect OnScreen(plat::TControl* c) {
  const plat::TPoint p = c->ClientToScreen({0, 0});
  return plat::Bounds(p.X, p.Y, c->Width(), c->Height());
}

bool Overlap(const plat::TRect& a, const plat::TRect& b) {
  return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

}  // namespace

class DeckLayout : public DeckHarness {};

TEST_F(DeckLayout, TheDecksDisplaysAreTheOnesTheRenderToolDraws) {
  StartDeck();
  TDeckDisplays tool = MakeDeckDisplays(deck);
  tool.form->Show();
  deck->AnalogMeters1Click(deck);  // the needle meters shown, to be drawn
  deck->AnalogMeters1Click(deck);
  for (TMMLevel* l : {deck->MMLevel1, deck->MMLevel2, tool.level1, tool.level2}) {
    l->SetEnabled(true);
    l->SetValue(80);
    l->SetValue(50);
  }
  EXPECT_EQ(deck->MMLevel1->Width(), 377);
  EXPECT_EQ(deck->MMLevel1->Height(), 41);
  EXPECT_EQ(deck->MMLevel1->Bevel()->BevelExtent(), 2);
  EXPECT_EQ(deck->MMLevelScale1->Width(), 377);
  EXPECT_EQ(deck->MMLevelScale1->Height(), 23);
  EXPECT_EQ(deck->MMLevelScale1->Font()->Height(), -12);
  EXPECT_EQ(deck->MMMeter1->Width(), 177);
  EXPECT_EQ(deck->MMMeter1->Height(), 97);
  EXPECT_EQ(deck->TrackBar->Width(), 377);
  EXPECT_EQ(deck->TrackBar->Height(), 41);
  EXPECT_EQ(Form22->MMGauge1->Width(), 193);
  EXPECT_EQ(Form22->MMGauge1->Height(), 18);
  EXPECT_EQ(Picture(deck->MMLevel1), Picture(tool.level1)) << "left bar";
  EXPECT_EQ(Picture(deck->MMLevel2), Picture(tool.level2)) << "right bar";
  EXPECT_EQ(Picture(deck->MMLevelScale1), Picture(tool.scale));
  tool.slider->SetEnabled(false);  // as on an empty deck
  EXPECT_EQ(Picture(deck->TrackBar), Picture(tool.slider));
  // The bars and their strip lie in the deck's panel where the tool's lie in its own.
  for (auto [mine, theirs] : {std::pair<plat::TControl*, plat::TControl*>{deck->MMLevel1, tool.level1},
                              {deck->MMLevelScale1, tool.scale},
                              {deck->MMLevel2, tool.level2},
                              {deck->MMMeter1, tool.meter1},
                              {deck->MMMeter2, tool.meter2}}) {
    EXPECT_EQ(mine->Left(), theirs->Left());
    EXPECT_EQ(mine->Top(), theirs->Top());
  }

  deck->AnalogMeters1Click(deck);
  ASSERT_TRUE(deck->MeterPanel->Visible());
  for (TMMMeter* m : {deck->MMMeter1, deck->MMMeter2, tool.meter1, tool.meter2}) {
    m->SetEnabled(true);
    m->SetValue(60);
  }
  EXPECT_EQ(Picture(deck->MMMeter1), Picture(tool.meter1)) << "left meter";
  EXPECT_EQ(Picture(deck->MMMeter2), Picture(tool.meter2)) << "right meter";
  Form22->MMGauge1->Show();
  Form22->MMGauge1->SetMaxValue(100);
  Form22->MMGauge1->SetProgress(40);
  tool.gauge->SetProgress(40);
  Form22->Show();
  EXPECT_EQ(Picture(Form22->MMGauge1), Picture(tool.gauge));
  deck->AnalogMeters1Click(deck);
  tool.form->Free();
}

TEST_F(DeckLayout, ThePunchInPanelHidesNothingTheOperatorNeeds) {
  StartDeck();
  LoadTake(6000);
  deck->MarkBeginning1Click(deck);
  ASSERT_TRUE(Form22->Visible());
  const plat::TRect panel = plat::Bounds(Form22->Left(), Form22->Top(), Form22->Width(), Form22->Height());
  plat::TControl* needed[] = {deck->CurrentPosition, deck->TimeLeft,   deck->MaxTime,    deck->RecTimeLeft,
                              deck->NameLabel1,      deck->NameLabel2, deck->NameLabel3, deck->FormatLabel,
                              deck->BytesLabel,      deck->LevelPanel, deck->TrackBar,   deck->TransportPanel,
                              deck->SensitivityLabel};
  for (size_t i = 0; i < std::size(needed); ++i)
    EXPECT_FALSE(Overlap(panel, OnScreen(needed[i]))) << "control " << i << " is covered";
  // Inside the deck's window, in the room kept for it.
  const plat::TRect bay = deck->PunchInBay();
  const plat::TPoint origin = deck->ClientOrigin();
  EXPECT_GE(panel.Left, origin.X + bay.Left);
  EXPECT_GE(panel.Top, origin.Y + bay.Top);
  EXPECT_LE(panel.Right, origin.X + bay.Right);
  EXPECT_LE(panel.Bottom, origin.Y + bay.Bottom);
  Key('P', plat::ssAlt);
}
