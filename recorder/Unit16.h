#pragma once
#include "recorder/Unit15.h"

// "Edit User": the selected user's full name, name and password, filled from the user's file.
class TForm16 : public TUserForm {
public:
  TForm16(plat::TComponent* owner, TUserDeck& deck);
  void FormShow(plat::TObject* Sender);
  std::string ClassName() const override { return "TForm16"; }
};
