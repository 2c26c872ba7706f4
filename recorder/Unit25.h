#pragma once
// The exit prompt: leaving the program needs the exit password when one is set.
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

class TUserDeck;

class TForm25 : public plat::TForm {
public:
  TForm25(plat::TComponent* owner, TUserDeck& deck);
  plat::TEdit* Edit1;
  plat::TButton* Button1;  // "&OK"
  plat::TButton* Button2;  // "&Cancel"
  void FormShow(plat::TObject* Sender);
  void Button1Click(plat::TObject* Sender);
  std::string ClassName() const override { return "TForm25"; }

private:
  TUserDeck& deck_;
};

// The close handling's first step: true when the program may go on closing.
bool ExitPasswordGiven(TUserDeck& deck, TForm25& prompt);
