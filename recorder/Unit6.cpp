#include "recorder/Unit6.h"

#include "platform/system/files.h"
#include "recorder/FormParts.h"
#include "recorder/UserFormParts.h"
#include "recorder/Sending.h"
#include "recorder/UserDeck.h"

using namespace plat;

TForm6::TForm6(TComponent* owner, TUserDeck& deck) : TForm(owner), deck_(deck) {
  SetupDialog(this, "Web/FTP", 300, 110 + 19);
  Place<TLabel>(this, 12, 10, 270, 13, "Destination:");
  Place<TLabel>(this, 12, 26, 270, 13, "Choose from list");
  ComboBox1 = Place<TComboBox>(this, 12, 44, 276, 21);
  ComboBox1->SetStyle(csDropDownList);
  ComboBox1->SetTabStop(true);
  Button1 = PlaceButton(this, 132, 78, "&Send");
  Button1->SetDefault(true);
  Button2 = PlaceButton(this, 213, 78, "&Cancel", mrCancel);
  StatusBar1 = PlaceStatusBar(this);
  OnCreate = [this](TObject* s) { FormCreate(s); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
}

void TForm6::FormCreate(TObject*) {
  if (!FileExists(deck_.Users().programFolder + WebListFile)) return;
  for (const std::string& d : WebDestinations(deck_.Users().sendLists.webList)) ComboBox1->Items()->Add(d);
  if (ComboBox1->Items()->Count() > 0) ComboBox1->SetItemIndex(0);
}

void TForm6::Button1Click(TObject*) {
  if (ChooseWebDestination(deck_, ComboBox1->Text())) SetModalResult(mrOk);
}

void SendToWeb(TUserDeck& deck, TForm6& dialog) {
  if (PrepareWeb(deck) && dialog.ShowModal() == mrOk) SendWeb(deck);
}
