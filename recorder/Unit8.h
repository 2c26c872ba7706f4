#pragma once
// The Load Blank Program dialog: an automatically named quick cart or one of the current user's
// programs, one line per choice in six columns; "&Load " hands the chosen line to the deck's cart
// program (name, length, format, save folder, lockout).
#include <string>
#include <vector>

#include "controls/zelstatus.h"
#include "displays/MMGauge_ui.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "recorder/Users.h"

class TFormResizer;

class TUserDeck;

class TForm8 : public plat::TForm {
public:
  TForm8(plat::TComponent* owner, TUserDeck& deck);
  plat::TListBox* ListBox1;
  plat::TLabel* Label1;        // "n of 250"
  plat::TButton* Button1;      // "&Load "
  plat::TButton* Button2;      // "&Cancel"
  TZelStatusBar* StatusBar1;   // one simple panel
  TFormResizer* FormResizer1;  // fonts 8 to 14, the designed size as the least
  void FormShow(plat::TObject* Sender);
  void ListBox1Click(plat::TObject* Sender);
  void ListBox1KeyDown(plat::TObject* Sender, uint16_t& Key, plat::TShiftState Shift);
  void LoadSelected();
  std::string ClassName() const override { return "TForm8"; }

private:
  TUserDeck& deck_;
  std::vector<std::string> lines_;
};

// The deck's gauge as the program list loader's progress.
class TGaugeProgress : public TLoadProgress {
public:
  explicit TGaugeProgress(TMMCustomGauge* gauge) : gauge_(gauge) {}
  void Reset() override { gauge_->SetProgress(gauge_->MinValue()); }
  void Step() override { gauge_->SetProgress(gauge_->Progress() + 1); }

private:
  TMMCustomGauge* gauge_;
};
