#include "recorder/Unit11.h"

#include "recorder/UserFormParts.h"
#include "recorder/Login.h"
#include "recorder/Unit14.h"
#include "recorder/UserDeck.h"

using namespace plat;

TForm11::TForm11(TComponent* owner, TUserDeck& deck) : TForm(owner), deck_(deck) {
  SetupDialog(this, "Password Required", 250, 90);
  if (Application) SetIcon(Application->Icon());
  Place<TLabel>(this, 12, 12, 220, 13, "Enter Supervisor Password:");
  Edit1 = PlacePassword(this, 12, 30, 226);
  Button1 = PlaceButton(this, 82, 60, "&OK", mrOk);
  Button1->SetDefault(true);
  Button2 = PlaceButton(this, 163, 60, "&Cancel", mrCancel);
  OnShow = [this](TObject* s) { FormShow(s); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
}

void TForm11::FormShow(TObject*) {
  Edit1->Clear();
  SetActiveControl(Edit1);
}

void TForm11::Button1Click(TObject*) { deck_.Users().typedSupervisorPassword = Edit1->Text(); }

void OpenManagerWithPassword(TUserDeck& deck, TForm11& prompt, TForm14& manager) {
  deck.Users().typedSupervisorPassword.clear();
  prompt.ShowModal();
  if (CheckSupervisor(deck, deck.Users().typedSupervisorPassword) == TSupervisorResult::Granted) manager.ShowModal();
}
