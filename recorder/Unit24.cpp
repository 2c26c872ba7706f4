#include "recorder/Unit24.h"

#include "platform/ui/inifiles.h"
#include "recorder/FormParts.h"
#include "recorder/Settings.h"
#include "recorder/DialogDeck.h"

using namespace plat;

TForm24* Form24 = nullptr;

TForm24::TForm24(TComponent* owner) : TForm(owner), deck_(DeckOf<TDialogDeck>(owner)) {
  SetName("Form24");
  SetCaption("Set Default FF\\Rew Sensitivy");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(250);
  SetClientHeight(214);

  RadioGroup1 = PlaceControl<TRadioGroup>(this, this, 10, 8, 230, 160, "L\\R Arrows Sensitivity");
  for (const char* item : {".001 Seconds", ".01 Seconds", ".1 Seconds", "1 Second", "10 Seconds", "100 Seconds"})
    RadioGroup1->Items()->Add(item);

  Button1 = PlaceControl<TDeckButton>(this, this, 40, 178, 85, 26, "&OK");
  Button1->SetDefault(true);
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2 = PlaceControl<TDeckButton>(this, this, 135, 178, 85, 26, "&Cancel");
  Button2->SetCancel(true);
  Button2->SetModalResult(mrCancel);

  OnShow = [this](TObject* s) { FormShow(s); };
}

void TForm24::FormShow(TObject*) {
  TIniFile ini(deck_->ProgramFolder() + SettingsFileName);
  RadioGroup1->SetItemIndex(SensitivityItem(int(ini.ReadInteger("ARROWS", "SENSITIVITY", 3))));
}

void TForm24::Button1Click(TObject*) {
  const int item = RadioGroup1->ItemIndex() < 0 ? 3 : RadioGroup1->ItemIndex();
  TIniFile ini(deck_->ProgramFolder() + SettingsFileName);
  ini.WriteInteger("ARROWS", "SENSITIVITY", SensitivitySteps[size_t(item)]);
  SetModalResult(mrOk);
}
