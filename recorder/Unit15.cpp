#include "recorder/Unit15.h"

#include "recorder/UserFormParts.h"
#include "recorder/UserDeck.h"

using namespace plat;

TUserForm::TUserForm(TComponent* owner, TUserDeck& deck, TUserDialogMode mode, const std::string& caption)
    : TForm(owner), deck_(deck), mode_(mode) {
  SetupDialog(this, caption, 300, 200);
  const char* labels[] = {"Full Name", "User Name", "Password", "Confirm Password"};
  TEdit** edits[] = {&Edit1, &Edit2, &Edit3, &Edit4};
  for (int i = 0; i < 4; ++i) {
    Place<TLabel>(this, 12, 14 + i * 38, 120, 13, labels[i]);
    *edits[i] = i < 2 ? Place<TEdit>(this, 12, 29 + i * 38, 276, 21) : PlacePassword(this, 12, 29 + i * 38, 276);
    (*edits[i])->SetTabStop(true);
  }
  Button1 = PlaceButton(this, 132, 168, "&OK");
  Button1->SetDefault(true);
  Button2 = PlaceButton(this, 213, 168, "&Cancel", mrCancel);
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
}

void TUserForm::Prepare(const std::vector<std::string>& listedUsers, const std::string& selectedUser) {
  listed_ = listedUsers;
  selected_ = selectedUser;
  shownKeys_.reset();
}

std::string TUserForm::UserFile() const { return UserFilePath(deck_.Users().UsersFolder(), selected_); }

void TUserForm::ClearFields() {
  for (TEdit* e : {Edit1, Edit2, Edit3, Edit4}) e->Clear();
}

void TUserForm::Button1Click(TObject*) {
  TUserDialogInput in{Edit1->Text(), Edit2->Text(), Edit3->Text(), Edit4->Text(), selected_, shownKeys_};
  switch (UserDialogOk(mode_, in, deck_.Users().UsersFolder(), listed_, deck_.Notifier(), deck_.Asker())) {
    case TUserDialogField::None: SetModalResult(mrOk); break;
    case TUserDialogField::FullName: Edit1->SetFocus(); break;
    case TUserDialogField::UserName: Edit2->SetFocus(); break;
    case TUserDialogField::Password: Edit3->SetFocus(); break;
    case TUserDialogField::Confirm: Edit4->SetFocus(); break;
    case TUserDialogField::Gone: SetModalResult(mrAbort); break;  // the manager lists the users again
  }
}

TForm15::TForm15(TComponent* owner, TUserDeck& deck) : TUserForm(owner, deck, TUserDialogMode::Add, "Add User") {
  OnShow = [this](TObject* s) { FormShow(s); };
}

void TForm15::FormShow(TObject*) {
  ClearFields();
  SetActiveControl(Edit1);
}
