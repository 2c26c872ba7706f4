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
    deck->BeginMark = begin;
    deck->EndMark = end;
    deck->BeginMarkSet = deck->EndMarkSet = true;
    deck->PunchInUsed = true;
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
  deck->FullLimit = 9000;
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
  for (TDeckLabel* l : {Form22->Label1, Form22->Label2, Form22->Label3})
    EXPECT_EQ(l->Caption(), "00.00.00.000");
  EXPECT_EQ(deck->FullLimit, 0);
  EXPECT_EQ(deck->BeginMark, 0);
  EXPECT_EQ(deck->EndMark, 0);
  EXPECT_FALSE(deck->BeginMarkSet || deck->EndMarkSet || deck->PunchInUsed);

  // A play-only cart gets no Record back; without a saved limit the input keeps its own.
  Marks(2000, 6000);
  deck->PlayOnly = true;
  deck->RecordButton->SetEnabled(false);
  deck->WaveIn->SetMaxRecordTime(4000);
  Form22->ZelSpeedButton3Click(Form22->ZelSpeedButton3);
  EXPECT_EQ(deck->WaveIn->MaxRecordTime(), 4000);
  EXPECT_FALSE(deck->RecordButton->Enabled());
  EXPECT_FALSE(deck->PunchInUsed);
}
