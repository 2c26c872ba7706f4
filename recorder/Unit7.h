#pragma once
// "Load By Name": the operator types a cart's file name; an existing file in the load folder is
// loaded, otherwise a blank cart of that name can be made.
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "recorder/DeckKit.h"

class TDialogDeck;

class TForm7 : public plat::TForm {
public:
  explicit TForm7(plat::TComponent* owner);
  std::string ClassName() const override { return "TForm7"; }

  plat::TLabel* Label1 = nullptr;  // "Enter Name"
  plat::TEdit* Edit1 = nullptr;
  TDeckButton* Button1 = nullptr;  // "&OK"
  TDeckButton* Button2 = nullptr;  // "&Cancel"

  void FormShow(plat::TObject* Sender);
  void Edit1KeyDown(plat::TObject* Sender, uint16_t& Key, plat::TShiftState Shift);
  void Button1Click(plat::TObject* Sender);

  void SetDeck(TDialogDeck* deck) { deck_ = deck; }

private:
  TDialogDeck* deck_;
};
