#pragma once
// "Go To Time": a time to move the play position to, typed as HH:MM:SS.
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "recorder/DeckKit.h"

class TDialogDeck;

// What a typed go-to time is: a time, the start, a time with a required digit missing, or one whose
// tens of seconds or of minutes are above 5.
enum class TGoToCheck { Ok, Start, Incomplete, TensOfSeconds, TensOfMinutes };
// "00:00:00" is the start (the dialog then returns Cancel; Home goes there).
TGoToCheck CheckGoToTime(const std::string& text);

class TForm23 : public plat::TForm {
public:
  explicit TForm23(plat::TComponent* owner);
  std::string ClassName() const override { return "TForm23"; }

  plat::TLabel* Label1 = nullptr;  // "HH:MM:SS"
  plat::TMaskEdit* MaskEdit1 = nullptr;
  TDeckButton* Button1 = nullptr;  // "&OK"
  TDeckButton* Button2 = nullptr;  // "&Cancel"

  void FormShow(plat::TObject* Sender);
  void Button1Click(plat::TObject* Sender);
  void Button2Click(plat::TObject* Sender);
  void MaskEdit1KeyDown(plat::TObject* Sender, uint16_t& Key, plat::TShiftState Shift);

  void SetDeck(TDialogDeck* deck) { deck_ = deck; }

private:
  TDialogDeck* deck_;
};

extern TForm23* Form23;
