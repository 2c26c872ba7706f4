#pragma once
// "Set Default FF\Rew Sensitivy": the step Rewind and Fast Forward start with at the next start.
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "recorder/DeckKit.h"

class TDialogDeck;

class TForm24 : public plat::TForm {
public:
  explicit TForm24(plat::TComponent* owner);
  std::string ClassName() const override { return "TForm24"; }

  plat::TRadioGroup* RadioGroup1 = nullptr;  // ".001 Seconds" .. "100 Seconds"
  TDeckButton* Button1 = nullptr;            // "&OK"
  TDeckButton* Button2 = nullptr;            // "&Cancel"

  void FormShow(plat::TObject* Sender);
  void Button1Click(plat::TObject* Sender);

  void SetDeck(TDialogDeck* deck) { deck_ = deck; }

private:
  TDialogDeck* deck_;
};

extern TForm24* Form24;
