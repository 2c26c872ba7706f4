#include "recorder/Unit25.h"

#include "recorder/UserFormParts.h"
#include "recorder/Login.h"
#include "recorder/UserDeck.h"

using namespace plat;

TForm25::TForm25(TComponent* owner, TUserDeck& deck) : TForm(owner), deck_(deck) {
  SetupDialog(this, "Enter Password To Exit", 250, 70);
  SetFormStyle(fsStayOnTop);
  Edit1 = PlacePassword(this, 12, 12, 226);
  Button1 = PlaceButton(this, 82, 40, "&OK");
  Button1->SetDefault(true);
  Button2 = PlaceButton(this, 163, 40, "&Cancel", mrCancel);
  OnShow = [this](TObject* s) { FormShow(s); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
}

void TForm25::FormShow(TObject*) {
  Edit1->Clear();
  SetActiveControl(Edit1);
}

void TForm25::Button1Click(TObject*) {
  if (ExitPasswordMatches(deck_.Settings(), Edit1->Text())) {
    SetModalResult(mrOk);
    return;
  }
  deck_.Notify(TNoticeKind::Error, "Password Incorrect");
  Edit1->Clear();
  Edit1->SetFocus();
}

bool ExitPasswordGiven(TUserDeck& deck, TForm25& prompt) {
  return deck.Settings().exitPassword.empty() || prompt.ShowModal() == mrOk;
}
