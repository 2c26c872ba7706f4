#include "recorder/Unit3.h"

#include <cctype>

#include "platform/ui/dialogs.h"
#include "platform/ui/inifiles.h"
#include "recorder/FormParts.h"
#include "recorder/Settings.h"
#include "recorder/DialogDeck.h"

using namespace plat;

TForm3* Form3 = nullptr;

TForm3::TForm3(TComponent* owner) : TForm(owner), deck_(DeckOf<TDialogDeck>(owner)) {
  SetName("Form3");
  SetCaption("Standard Cart Settings");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(330);
  SetClientHeight(130 + 19);

  PlaceControl<TLabel>(this, this, 12, 14, 60, 16, "Format");
  ComboBox1 = PlaceControl<TComboBox>(this, this, 80, 10, 238, 22);
  ComboBox1->SetStyle(csDropDownList);
  for (const char* text : FormatTexts) ComboBox1->Items()->Add(text);
  ComboBox1->SetDropDownCount(12);

  PlaceControl<TLabel>(this, this, 12, 50, 64, 16, "Length");
  TimeEdit = PlaceControl<TMaskEdit>(this, this, 80, 46, 80, 22);
  TimeEdit->SetEditMask("!99:99:99;0;_");
  TimeEdit->SetHint("The cart's length as hours, minutes and seconds (HH:MM:SS)");
  TimeEdit->SetShowHint(true);

  Button1 = PlaceControl<TDeckButton>(this, this, 80, 90, 110, 28, "&Save");
  Button1->SetDefault(true);
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2 = PlaceControl<TDeckButton>(this, this, 200, 90, 118, 28, "&Cancel - Esc");
  Button2->SetCancel(true);
  Button2->SetModalResult(mrCancel);
  StatusBar1 = PlaceStatusBar(this);

  OnShow = [this](TObject* s) { FormShow(s); };
}

void TForm3::FormShow(TObject*) {
  SetCaption(deck_->SettingUpCustomCart() ? "Custom Cart Settings" : "Standard Cart Settings");
  int format = 0, length = 0;
  deck_->StandardCart(format, length);
  ComboBox1->SetItemIndex(format >= 0 && format < FormatCount ? format : DefaultStandardFormat);
  std::string digits = std::to_string(length < 0 ? 0 : length);
  if (digits.size() < 6) digits.insert(0, 6 - digits.size(), '0');
  TimeEdit->SetText(digits.substr(0, 6));
}

bool TForm3::LengthEntered(int& length) const {
  const std::string text = TimeEdit->Text();
  if (text.size() != 6) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  length = std::stoi(text);
  return true;
}

void TForm3::Button1Click(TObject*) {
  int length = 0;
  if (!LengthEntered(length)) {
    // A half-filled field has no length in it; the dialog stays open to complete it.
    MessageDlg("Please enter the length with all six digits (HH:MM:SS).", mtWarning, mbOKOnly);
    FocusControl(TimeEdit);
    return;
  }
  const int format = ComboBox1->ItemIndex() < 0 ? DefaultStandardFormat : ComboBox1->ItemIndex();
  if (deck_->SettingUpCustomCart()) {
    deck_->SetCustomCart(format, length);
  } else {
    TIniFile ini(deck_->ProgramFolder() + SettingsFileName);
    WriteStandardCart(ini, format, length);
  }
  SetModalResult(mrOk);
}
