#include "recorder/Unit23.h"

#include "platform/ui/dialogs.h"
#include "recorder/FormParts.h"
#include "recorder/DialogDeck.h"

using namespace plat;

TForm23* Form23 = nullptr;

TGoToCheck CheckGoToTime(const std::string& text) {
  if (text == "00:00:00") return TGoToCheck::Start;
  if (text.size() != 8) return TGoToCheck::Incomplete;
  for (size_t i : {1, 3, 4, 6, 7})
    if (text[i] < '0' || text[i] > '9') return TGoToCheck::Incomplete;
  if (text[0] < '0' || text[0] > '9') return TGoToCheck::Incomplete;
  if (text[6] > '5') return TGoToCheck::TensOfSeconds;
  if (text[3] > '5') return TGoToCheck::TensOfMinutes;
  return TGoToCheck::Ok;
}

TForm23::TForm23(TComponent* owner) : TForm(owner), deck_(DeckOf<TDialogDeck>(owner)) {
  SetName("Form23");
  SetCaption("Go To Time");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(230);
  SetClientHeight(100);

  Label1 = PlaceControl<TLabel>(this, this, 12, 12, 80, 16, "HH:MM:SS");
  MaskEdit1 = PlaceControl<TMaskEdit>(this, this, 100, 8, 100, 22);
  MaskEdit1->SetEditMask("!90:00:00;1;_");
  MaskEdit1->SetHint("Enter the time you want to go to. You must enter all leading and trailing zeros.");
  MaskEdit1->SetShowHint(true);
  MaskEdit1->OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { MaskEdit1KeyDown(s, k, sh); };

  Button1 = PlaceControl<TDeckButton>(this, this, 20, 60, 85, 28, "&OK");
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2 = PlaceControl<TDeckButton>(this, this, 125, 60, 85, 28, "&Cancel");
  Button2->SetCancel(true);
  Button2->OnClick = [this](TObject* s) { Button2Click(s); };

  OnShow = [this](TObject* s) { FormShow(s); };
}

void TForm23::FormShow(TObject*) {
  MaskEdit1->SetText("00:00:00");
  SetActiveControl(MaskEdit1);
  FocusControl(MaskEdit1);
  MaskEdit1->SelectAll();
}

void TForm23::Button1Click(TObject*) {
  std::string text = MaskEdit1->Text();
  // The hours' first digit may be left out; it counts as 0.
  if (!text.empty() && (text[0] == ' ' || text[0] == '_')) text[0] = '0';
  switch (CheckGoToTime(text)) {
    case TGoToCheck::Start: SetModalResult(mrCancel); return;
    case TGoToCheck::TensOfSeconds:
      MessageDlg(
          "Invalid Time. You specified a value greater than 5 in the 10s of \r\n"
          "seconds position. Valid values are 0 to 5. Try again.",
          mtError, mbOKOnly);
      return;
    case TGoToCheck::TensOfMinutes:
      MessageDlg(
          "Invalid Time. You specified a value greater than 5 in the 10s of \r\n"
          "minutes position. Valid values are 0 to 5. Try again.",
          mtError, mbOKOnly);
      return;
    case TGoToCheck::Incomplete:
      // What the mask reports when a required digit is missing; the edit keeps the focus.
      MessageDlg("Invalid input value.  Use escape key to abandon changes", mtError, mbOKOnly);
      FocusControl(MaskEdit1);
      return;
    case TGoToCheck::Ok: break;
  }
  deck_->SetGoToText(text);
  SetModalResult(mrOk);
}

void TForm23::Button2Click(TObject*) { SetModalResult(mrCancel); }

void TForm23::MaskEdit1KeyDown(TObject*, uint16_t& Key, TShiftState) {
  if (Key != VK_RETURN) return;
  Key = 0;
  Button1Click(Button1);
}
