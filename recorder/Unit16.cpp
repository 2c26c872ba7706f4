#include "recorder/Unit16.h"

#include "platform/system/files.h"
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
  // A user removed meanwhile (on another workstation) is not shown as one without a password:
  // saving that would make the user again.
  if (!FileExists(UserFile())) {
    deck_.Notify(TNoticeKind::Error, UserGoneText(selected_));
    SetModalResult(mrAbort);
    return;
  }
  TIniFile ini(UserFile());
  try {
    Edit1->SetText(ini.ReadString("USER", "FULL NAME", ""));
    Edit3->SetText(ini.ReadString("USER", "PASSWORD", ""));
  } catch (const EIniReadError& e) {
    ClearFields();
    deck_.Notify(TNoticeKind::Error, e.Message());
    SetModalResult(mrCancel);
    return;
  }
  Edit2->SetText(selected_);
  Edit4->SetText(Edit3->Text());
  shownKeys_.emplace(Edit1->Text(), Edit3->Text());
  SetActiveControl(Edit1);
}
