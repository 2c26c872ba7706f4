#include "recorder/Unit7.h"

#include "platform/ui/dialogs.h"
#include "recorder/CartNames.h"
#include "recorder/FormParts.h"
#include "recorder/DialogDeck.h"
#include "recorder/Users.h"

using namespace plat;

TForm7::TForm7(TComponent* owner) : TForm(owner), deck_(DeckOf<TDialogDeck>(owner)) {
  SetName("Form7");
  SetCaption("Load By Name");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(360);
  SetClientHeight(104);

  Label1 = PlaceControl<TLabel>(this, this, 12, 10, 200, 16, "Enter Name");
  Edit1 = PlaceControl<TEdit>(this, this, 12, 30, 336, 22);
  Edit1->OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { Edit1KeyDown(s, k, sh); };

  Button1 = PlaceControl<TDeckButton>(this, this, 170, 66, 85, 28, "&OK");
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2 = PlaceControl<TDeckButton>(this, this, 263, 66, 85, 28, "&Cancel");
  Button2->SetCancel(true);
  Button2->SetModalResult(mrCancel);

  OnShow = [this](TObject* s) { FormShow(s); };
}

void TForm7::FormShow(TObject*) {
  Edit1->Clear();
  SetActiveControl(Edit1);
  FocusControl(Edit1);
}

void TForm7::Edit1KeyDown(TObject*, uint16_t& Key, TShiftState) {
  if (Key != VK_RETURN) return;
  Key = 0;
  Button1Click(Button1);
}

void TForm7::Button1Click(TObject*) {
  const std::string typed = Edit1->Text();
  if (typed.empty()) {
    SetModalResult(mrCancel);
    return;
  }
  if (HasIllegalFileChars(typed)) {
    MessageDlg(IllegalNameMessage(typed), mtWarning, mbOKOnly);
    FocusControl(Edit1);
    return;
  }
  const std::string name = ByNameCartName(typed);
  if (deck_->LoadByNameEntry(name)) SetModalResult(mrOk);
}
