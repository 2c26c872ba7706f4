#pragma once
// "Recording Time Remaining Warning Settings": whether the warning is on, the time left at which
// it starts and the WAV it plays.
#include "engine/MMCstDlg.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "recorder/DeckKit.h"

class TDialogDeck;

class TForm26 : public plat::TForm {
public:
  explicit TForm26(plat::TComponent* owner);
  std::string ClassName() const override { return "TForm26"; }

  plat::TCheckBox* CheckBox1 = nullptr;  // "Enable Recording Time Remaining Warning"
  plat::TMaskEdit* MaskEdit1 = nullptr;  // HH:MM:SS
  plat::TEdit* Edit1 = nullptr;          // the WAV's path, read-only
  TDeckButton* BrowseButton = nullptr;   // "&Browse"
  TDeckButton* Button1 = nullptr;        // "&OK"
  TDeckButton* Button2 = nullptr;        // "&Cancel"
  TMMWaveOpenDialog* OpenDialog1 = nullptr;

  void FormShow(plat::TObject* Sender);
  void CheckBox1Click(plat::TObject* Sender);
  void BrowseButtonClick(plat::TObject* Sender);
  void Button1Click(plat::TObject* Sender);

  void SetDeck(TDialogDeck* deck) { deck_ = deck; }

private:
  TDialogDeck* deck_;
};

extern TForm26* Form26;
