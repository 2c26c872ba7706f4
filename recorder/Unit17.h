#pragma once
#include "recorder/Unit15.h"

// "Copy To New User": a new user with the selected user's programs.
class TForm17 : public TUserForm {
public:
  TForm17(plat::TComponent* owner, TUserDeck& deck);
  plat::TButton* Button3;  // "Cl&ear"
  void FormShow(plat::TObject* Sender);
  std::string ClassName() const override { return "TForm17"; }
};
