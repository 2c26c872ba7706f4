// The punch-in panel's Clear and keys, and what closing it gives back to the deck.
#include "DeckHarness.h"

using namespace plat;

namespace {
class PunchIn : public DeckHarness {
protected:
  void SetUp() override {
    DeckHarness::SetUp();
    StartDeck(false);
    // Ten seconds in the deck, as an opened cart.
    WriteTake(dir.Path("take.wav"), 10000);
    deck->RecordFileName = dir.Path("take.wav");
    deck->PlayFile->Wave()->SetFileName(deck->RecordFileName);
    deck->TrackBar->SetRange(0, 10000);
    deck->TrackBar->SetPosition(4000);
    dialogs->Clear();
  }
  void Marks(int64_t begin, int64_t end) {
    deck->PunchIn().MarkBegin(begin, end);
    deck->PunchIn().MarkEnd(end, 0);
  }
};
}  // namespace

TEST_F(PunchIn, ShiftKeysGoToTheMarks) {
  Marks(2000, 6000);
  uint16_t key = 'E';
  Form22->FormKeyDown(Form22, key, ssShift);
  EXPECT_EQ(deck->TrackBar->Position(), 6000);
  key = 'B';
  Form22->FormKeyDown(Form22, key, ssShift);
  EXPECT_EQ(deck->TrackBar->Position(), 2000);
  key = 'B';  // other keys pass on to the deck untouched
  Form22->FormKeyDown(Form22, key, ssCtrl);
  EXPECT_EQ(key, 'B');
}

TEST_F(PunchIn, ClearGivesBackTheFullLimitAndEmptiesThePanel) {
  Marks(2000, 6000);
  deck->PunchIn().SaveLimit(9000);
  deck->WaveIn->SetMaxRecordTime(4000);  // shortened by the end mark
  deck->RecordButton->SetEnabled(false);
  Form22->Show();
  Form22->MMGauge1->Show();
  uint16_t key = 'P';
  Form22->FormKeyDown(Form22, key, ssAlt);
  EXPECT_EQ(deck->WaveIn->MaxRecordTime(), 9000);
  EXPECT_TRUE(deck->RecordButton->Enabled());
  EXPECT_FALSE(Form22->Visible());
  EXPECT_FALSE(Form22->MMGauge1->Visible());
  for (TDeckLabel* l : {Form22->Label1, Form22->Label2, Form22->Label3}) EXPECT_EQ(l->Caption(), "00.00.00.000");
  EXPECT_EQ(deck->PunchIn().FullLimit(), 0);
  EXPECT_EQ(deck->PunchIn().BeginMark(), 0);
  EXPECT_EQ(deck->PunchIn().EndMark(), 0);
  EXPECT_FALSE(deck->PunchIn().BeginMarkSet() || deck->PunchIn().EndMarkSet() || deck->PunchIn().Used());

  // A play-only cart gets no Record back; without a saved limit the input keeps its own.
  Marks(2000, 6000);
  deck->PlayOnly = true;
  deck->RecordButton->SetEnabled(false);
  deck->WaveIn->SetMaxRecordTime(4000);
  Form22->ZelSpeedButton3Click(Form22->ZelSpeedButton3);
  EXPECT_EQ(deck->WaveIn->MaxRecordTime(), 4000);
  EXPECT_FALSE(deck->RecordButton->Enabled());
  EXPECT_FALSE(deck->PunchIn().Used());
}

namespace {
class PunchInKeys : public DeckHarness {
protected:
  void Seek(int64_t ms) {
    deck->SetSliderPosition(ms);
    deck->Seek();
    Pump();
  }
};
}  // namespace

// The panel hands the focus back to the deck after every key, so Alt+P nearly always reaches the
// deck: there it must be the panel's Clear, as the button's caption says.
TEST_F(PunchInKeys, AltPOnTheDeckClearsAsThePanelsButtonDoes) {
  StartDeck();
  LoadTake(5000);
  Seek(1000);
  Key('B', ssAlt);
  Seek(3000);  // Record comes back off the mark; the take starts from the begin mark
  Key(VK_F5);
  ASSERT_TRUE(deck->Recording);
  Step(4100);
  ASSERT_FALSE(deck->Recording) << "the input stops at the end mark";
  ASSERT_FALSE(deck->RecordButton->Enabled());
  const int64_t full = deck->PunchIn().FullLimit();
  ASSERT_GT(full, 4000);
  Key('P', ssAlt);
  EXPECT_FALSE(Form22->Visible());
  EXPECT_EQ(full, deck->WaveIn->MaxRecordTime());
  EXPECT_TRUE(deck->RecordButton->Enabled());
  EXPECT_EQ(0, deck->PunchIn().FullLimit());
}
