#include "recorder/Unit17.h"

#include "platform/ui/inifiles.h"
#include "recorder/UserFormParts.h"
#include "recorder/UserDeck.h"

using namespace plat;

TForm17::TForm17(TComponent* owner, TUserDeck& deck)
    : TUserForm(owner, deck, TUserDialogMode::Copy, "Copy To New User") {
  Button3 = PlaceButton(this, 12, 168, "Cl&ear");
  Button3->OnClick = [this](TObject*) {
    ClearFields();
    Edit1->SetFocus();
  };
  OnShow = [this](TObject* s) { FormShow(s); };
}

void TForm17::FormShow(TObject*) {
  ClearFields();
  TIniFile ini(UserFile());
  try {
    Edit1->SetText(ini.ReadString("USER", "FULL NAME", ""));
  } catch (const EIniReadError& e) {
    deck_.Notify(TNoticeKind::Error, e.Message());
    SetModalResult(mrCancel);
    return;
  }
  SetActiveControl(Edit2);
}
