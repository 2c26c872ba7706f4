#pragma once
// The login dialog: a user from the users folder and that user's password.
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

class TUserDeck;

class TForm10 : public plat::TForm {
public:
  TForm10(plat::TComponent* owner, TUserDeck& deck);
  plat::TComboBox* ComboBox1;
  plat::TEdit* Edit2;
  plat::TButton* Button1;  // "&OK"
  plat::TButton* Button2;  // "&Cancel"
  void FormShow(plat::TObject* Sender);
  void Button1Click(plat::TObject* Sender);
  std::string ClassName() const override { return "TForm10"; }

private:
  TUserDeck& deck_;
};

// "Log In User": the login dialog, then the caption shows whoever is logged in.
void LogInUser(TUserDeck& deck, TForm10& login);
