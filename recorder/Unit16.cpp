#include "recorder/Unit16.h"

#include "platform/ui/inifiles.h"
#include "recorder/UserDeck.h"

using namespace plat;

TForm16::TForm16(TComponent* owner, TUserDeck& deck) : TUserForm(owner, deck, TUserDialogMode::Edit, "Edit User") {
  OnShow = [this](TObject* s) { FormShow(s); };
}

void TForm16::FormShow(TObject*) {
  ClearFields();
  if (IsDefaultUser(selected_)) {
    deck_.Notify(TNoticeKind::Error, "You can not edit the Default user.");
    SetModalResult(mrCancel);
    return;
  }
  TIniFile ini(UserFile());
  Edit1->SetText(ini.ReadString("USER", "FULL NAME", ""));
  Edit2->SetText(selected_);
  Edit3->SetText(ini.ReadString("USER", "PASSWORD", ""));
  Edit4->SetText(Edit3->Text());
  shownKeys_.emplace(Edit1->Text(), Edit3->Text());
  SetActiveControl(Edit1);
}
