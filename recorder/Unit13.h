#pragma once
// "Enter Password": a password typed twice. Nothing shows it yet; it is made at start-up with
// the other dialogs.
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "recorder/DeckKit.h"

class TForm13 : public plat::TForm {
public:
  explicit TForm13(plat::TComponent* owner);
  std::string ClassName() const override { return "TForm13"; }

  plat::TEdit* Edit1 = nullptr;    // "Password"
  plat::TEdit* Edit2 = nullptr;    // "Enter Again"
  TDeckButton* Button1 = nullptr;  // "&OK"
  TDeckButton* Button2 = nullptr;  // "&Cancel"

  void Button1Click(plat::TObject* Sender);
  // The password once both entries agree.
  std::string Password() const { return Edit1->Text(); }
};

extern TForm13* Form13;
