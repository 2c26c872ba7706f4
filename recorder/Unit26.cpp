#include "recorder/Unit26.h"

#include "platform/ui/inifiles.h"
#include "recorder/FormParts.h"
#include "recorder/Settings.h"
#include "recorder/DialogDeck.h"

using namespace plat;

TForm26* Form26 = nullptr;

TForm26::TForm26(TComponent* owner) : TForm(owner), deck_(DeckOf<TDialogDeck>(owner)) {
  SetName("Form26");
  SetCaption("Recording Time Remaining Warning Settings");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(420);
  SetClientHeight(170);

  CheckBox1 = PlaceControl<TCheckBox>(this, this, 12, 10, 396, 20, "Enable Recording Time Remaining Warning");
  CheckBox1->OnClick = [this](TObject* s) { CheckBox1Click(s); };

  PlaceControl<TLabel>(this, this, 12, 44, 150, 16, "Warn when time left is");
  MaskEdit1 = PlaceControl<TMaskEdit>(this, this, 170, 40, 80, 22);
  MaskEdit1->SetEditMask("!90:00:00;1;_");
  MaskEdit1->SetText("HH:MM:SS");

  PlaceControl<TLabel>(this, this, 12, 78, 150, 16, "Warning sound");
  Edit1 = PlaceControl<TEdit>(this, this, 12, 96, 300, 22);
  Edit1->SetReadOnly(true);
  BrowseButton = PlaceControl<TDeckButton>(this, this, 320, 94, 88, 26, "&Browse");
  BrowseButton->OnClick = [this](TObject* s) { BrowseButtonClick(s); };

  Button1 = PlaceControl<TDeckButton>(this, this, 120, 134, 85, 26, "&OK");
  Button1->SetDefault(true);
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2 = PlaceControl<TDeckButton>(this, this, 215, 134, 85, 26, "&Cancel");
  Button2->SetCancel(true);
  Button2->SetModalResult(mrCancel);

  OpenDialog1 = new TMMWaveOpenDialog(this);
  OpenDialog1->Filter = "Wave-Files(*.wav)|*.wav";
  OpenDialog1->Options |= ofFileMustExist;

  OnShow = [this](TObject* s) { FormShow(s); };
}

void TForm26::FormShow(TObject*) {
  const TDeckSettings& c = deck_->Settings();
  CheckBox1->SetChecked(c.timeRemainingWarning);
  CheckBox1Click(CheckBox1);
  std::string time = deck_->FormatTime(c.warningTimeMs);
  if (size_t dot = time.find('.'); dot != std::string::npos) time.resize(dot);
  MaskEdit1->SetText(time);
  Edit1->SetText(c.warningWav);
}

void TForm26::CheckBox1Click(TObject*) {
  const bool on = CheckBox1->Checked();
  MaskEdit1->SetEnabled(on);
  Edit1->SetEnabled(on);
  BrowseButton->SetEnabled(on);
}

void TForm26::BrowseButtonClick(TObject*) {
  if (OpenDialog1->Execute()) Edit1->SetText(OpenDialog1->FileName);
}

void TForm26::Button1Click(TObject*) {
  TIniFile ini(deck_->ProgramFolder() + SettingsFileName);
  const TNotify notify = [this](TNoticeKind k, const std::string& t) { deck_->Notify(k, t); };
  if (ApplyTimeLeftWarning(ini, deck_->ChangeSettings(), CheckBox1->Checked(), MaskEdit1->Text(), Edit1->Text(),
                           notify))
    SetModalResult(mrOk);
}
