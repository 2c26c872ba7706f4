#pragma once
// "Standard Cart Settings": the format and length of the standard cart, or of a blank custom cart
// when the deck's cart kind is "CUSTOM" (then nothing is written to the settings file).
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "recorder/DeckKit.h"

class TDialogDeck;

class TForm3 : public plat::TForm {
public:
  explicit TForm3(plat::TComponent* owner);
  std::string ClassName() const override { return "TForm3"; }

  plat::TComboBox* ComboBox1 = nullptr;  // the 36 format texts
  plat::TMaskEdit* TimeEdit = nullptr;   // HH:MM:SS, read without the colons
  TDeckButton* Button1 = nullptr;        // "&Save"
  TDeckButton* Button2 = nullptr;        // "&Cancel - Esc"
  TDeckStatusBar* StatusBar1 = nullptr;

  void FormShow(plat::TObject* Sender);
  void Button1Click(plat::TObject* Sender);

  // The six digits of the length field as a number; false when they are not six digits.
  bool LengthEntered(int& length) const;

  TDialogDeck* Deck() const { return deck_; }
  void SetDeck(TDialogDeck* deck) { deck_ = deck; }

private:
  TDialogDeck* deck_;
};

extern TForm3* Form3;
