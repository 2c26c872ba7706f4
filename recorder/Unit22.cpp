#include "recorder/Unit22.h"

#include "recorder/DeckDisplays.h"
#include "recorder/FormParts.h"

using namespace plat;

TForm22* Form22 = nullptr;

TForm22::TForm22(TComponent* owner) : TForm(owner), deck_(DeckOf<TPunchInDeck>(owner)) {
  SetName("Form22");
  SetCaption("Punch In Control");
  SetBorderStyle(bsToolWindow);
  SetFormStyle(fsStayOnTop);
  SetKeyPreview(true);
  SetClientWidth(264);
  SetClientHeight(126);

  BeginCaption = PlaceControl<TDeckLabel>(this, this, 8, 8, 70, 16, "Begin");
  Label1 = PlaceControl<TDeckLabel>(this, this, 84, 8, 100, 16, kBlankTime);
  RemainingCaption = PlaceControl<TDeckLabel>(this, this, 8, 28, 70, 16, "Remaining");
  Label2 = PlaceControl<TDeckLabel>(this, this, 84, 28, 100, 16, kBlankTime);
  EndCaption = PlaceControl<TDeckLabel>(this, this, 8, 48, 70, 16, "End");
  Label3 = PlaceControl<TDeckLabel>(this, this, 84, 48, 100, 16, kBlankTime);

  ZelSpeedButton1 = PlaceControl<TDeckSpeedButton>(this, this, 188, 6, 70, 22, "GoTo Begin");
  ZelSpeedButton1->SetHint("To go the the Begin marker, click this button or press Shift-B");
  ZelSpeedButton2 = PlaceControl<TDeckSpeedButton>(this, this, 188, 32, 70, 22, "GoTo End");
  ZelSpeedButton2->SetHint("To go the the End marker, click this button or press Shift-E");
  ZelSpeedButton3 = PlaceControl<TDeckSpeedButton>(this, this, 8, 96, 80, 22, "Clear   Alt-P");
  ZelSpeedButton3->SetHint("To clear the punch in marks, click this button or press Alt-P");
  ZelSpeedButton4 = PlaceControl<TDeckSpeedButton>(this, this, 92, 96, 80, 22, "Intro   /");
  ZelSpeedButton4->SetHint("To play the file from the Begin marker, click this button or press the / key");
  ZelSpeedButton5 = PlaceControl<TDeckSpeedButton>(this, this, 176, 96, 80, 22, "Outro  *");
  ZelSpeedButton5->SetHint("To play the last second before the End marker, click this button or press the * key");
  for (TDeckSpeedButton* b : {ZelSpeedButton1, ZelSpeedButton2, ZelSpeedButton3, ZelSpeedButton4, ZelSpeedButton5}) {
    b->SetStyle(ubsKorvexFlat);
    b->SetShowHint(true);
  }
  ZelSpeedButton1->OnClick = [this](TObject* s) { ZelSpeedButton1Click(s); };
  ZelSpeedButton2->OnClick = [this](TObject* s) { ZelSpeedButton2Click(s); };
  ZelSpeedButton3->OnClick = [this](TObject* s) { ZelSpeedButton3Click(s); };
  ZelSpeedButton4->OnClick = [this](TObject* s) { ZelSpeedButton4Click(s); };
  ZelSpeedButton5->OnClick = [this](TObject* s) { ZelSpeedButton5Click(s); };

  MMGauge1 = PlaceDeckGauge(this, this, 8, 72);
  MMGauge1->SetHint("Punch In Time Used");
  MMGauge1->SetVisible(false);

  Timer1 = new TTimer(this);
  Timer1->SetEnabled(false);
  Timer1->SetInterval(10);
  Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };

  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { FormKeyDown(s, k, sh); };
  OnKeyUp = [this](TObject*, uint16_t&, TShiftState) { FocusDeck(); };
  OnMouseUp = [this](TObject*, TMouseButton, TShiftState, int, int) { FocusDeck(); };
  OnShow = [this](TObject* s) { FormShow(s); };
}

void TForm22::FocusDeck() {
  if (deck_) deck_->TakeFocus();
}

// GoTo Begin: the slider starts at the begin mark, and the position goes there.
void TForm22::ZelSpeedButton1Click(TObject*) {
  deck_->GoToBeginMark();
  FocusDeck();
}

// GoTo End.
void TForm22::ZelSpeedButton2Click(TObject*) {
  deck_->GoToEndMark();
  FocusDeck();
}

// Clear: the full recording limit comes back, then the panel closes.
void TForm22::ZelSpeedButton3Click(TObject*) {
  deck_->ClearPunchIn();
  FocusDeck();
}

// Intro: play from the begin mark.
void TForm22::ZelSpeedButton4Click(TObject* Sender) {
  if (!deck_->PlayEnabled()) return;
  ZelSpeedButton1Click(Sender);
  deck_->PlayIntro();
  FocusDeck();
}

// Outro: play the last second before the end mark.
void TForm22::ZelSpeedButton5Click(TObject*) {
  if (!deck_->PlayEnabled()) return;
  deck_->PlayOutro();
  FocusDeck();
}

void TForm22::FormClose(TObject*, TCloseAction&) {
  Label1->SetCaption(kClearedTime);
  Label2->SetCaption(kClearedTime);
  Label3->SetCaption(kClearedTime);
  deck_->PunchInClosed();
  MMGauge1->Hide();
}

void TForm22::FormKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift) {
  const uint16_t key = Key;
  if (Shift == ssAlt && key == 'B') {
    deck_->MarkBeginning1Click(Sender);
  } else if (Shift == ssAlt && key == 'E') {
    deck_->MarkEndingPoint1Click(Sender);
  } else if (Shift == ssAlt && key == 'P') {
    ZelSpeedButton3Click(Sender);
  } else if (Shift == ssShift && key == 'B') {
    ZelSpeedButton1Click(Sender);
  } else if (Shift == ssShift && key == 'E') {
    ZelSpeedButton2Click(Sender);
  } else {
    FocusDeck();
    return;
  }
  Key = 0;
  FocusDeck();
}

void TForm22::FormShow(TObject*) { Timer1->SetEnabled(true); }

void TForm22::Timer1Timer(TObject*) {
  Timer1->SetEnabled(false);
  FocusDeck();
}
