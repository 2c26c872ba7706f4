#pragma once
// The lockout authorisation: saving over a file still within its lockout time needs the
// supervisor password.
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

class TUserDeck;

class TForm9 : public plat::TForm {
public:
  TForm9(plat::TComponent* owner, TUserDeck& deck);
  plat::TLabel* Label1;  // the text before the expiry
  plat::TLabel* Label2;  // the expiry
  plat::TLabel* Label3;  // the text after it
  plat::TEdit* Edit1;
  plat::TButton* Button1;  // "&Save"
  plat::TButton* Button2;  // "&Cancel - Esc"
  void FormShow(plat::TObject* Sender);
  void Button1Click(plat::TObject* Sender);
  std::string ClassName() const override { return "TForm9"; }

private:
  TUserDeck& deck_;
};

// The save dialog's confirmation of a target path: true when it may be taken.
bool SaveTargetAllowed(TUserDeck& deck, const std::string& target, TForm9& lockout);
