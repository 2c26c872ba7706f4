#include "recorder/Unit10.h"

#include "recorder/UserFormParts.h"
#include "recorder/Login.h"
#include "recorder/UserDeck.h"

using namespace plat;

TForm10::TForm10(TComponent* owner, TUserDeck& deck) : TForm(owner), deck_(deck) {
  SetupDialog(this, "Solvane User Login", 290, 130);
  Place<TLabel>(this, 12, 12, 100, 13, "User Name:");
  ComboBox1 = Place<TComboBox>(this, 12, 28, 266, 21);
  ComboBox1->SetStyle(csDropDownList);
  ComboBox1->SetTabStop(true);
  Place<TLabel>(this, 12, 56, 100, 13, "Password:");
  Edit2 = PlacePassword(this, 12, 72, 266);
  Edit2->SetHint("Enter your password here. The \"Default\" user does not require a password");
  Edit2->SetShowHint(true);
  Button1 = PlaceButton(this, 122, 100, "&OK");
  Button1->SetDefault(true);  // Enter anywhere in the dialog
  Button2 = PlaceButton(this, 203, 100, "&Cancel", mrCancel);
  OnShow = [this](TObject* s) { FormShow(s); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
}

void TForm10::FormShow(TObject*) {
  ComboBox1->Items()->Clear();
  std::vector<std::string> refused;
  for (const std::string& name : LoginUserList(deck_.Users().UsersFolder(), &refused)) ComboBox1->Items()->Add(name);
  ComboBox1->SetItemIndex(0);
  Edit2->Clear();
  // The name first, at every showing: after a refusal the password field had the focus, and
  // Enter there would log in the user listed first, "Default".
  SetActiveControl(ComboBox1);
  if (!refused.empty()) deck_.Notify(TNoticeKind::Warning, RefusedUsersMessage(refused));
}

void TForm10::Button1Click(TObject*) {
  if (LoginUser(deck_, ComboBox1->Text(), Edit2->Text()) == TLoginResult::Accepted) SetModalResult(mrOk);
}

void LogInUser(TUserDeck& deck, TForm10& login) {
  login.ShowModal();
  deck.UserCaptionUpdate();
}
