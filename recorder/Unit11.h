#pragma once
// The supervisor prompt: hands the typed text to the deck, which compares it.
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

class TUserDeck;
class TForm14;

class TForm11 : public plat::TForm {
public:
  TForm11(plat::TComponent* owner, TUserDeck& deck);
  plat::TEdit* Edit1;
  plat::TButton* Button1;  // "&OK"
  plat::TButton* Button2;  // "&Cancel"
  void FormShow(plat::TObject* Sender);
  void Button1Click(plat::TObject* Sender);
  std::string ClassName() const override { return "TForm11"; }

private:
  TUserDeck& deck_;
};

// "User and Program Manager": the supervisor password in front of the manager.
void OpenManagerWithPassword(TUserDeck& deck, TForm11& prompt, TForm14& manager);
