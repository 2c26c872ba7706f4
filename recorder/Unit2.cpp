#include "recorder/Unit2.h"

#include "recorder/FormParts.h"
#include "recorder/UserFormParts.h"
#include "recorder/Sending.h"
#include "recorder/StrUtils.h"
#include "recorder/UserDeck.h"

using namespace plat;

TForm2::TForm2(TComponent* owner, TUserDeck& deck) : TForm(owner), deck_(deck) {
  SetupDialog(this, "Send Information", 330, 170 + 19);
  GroupBox1 = Place<TGroupBox>(this, 8, 6, 314, 122, "Send To:");
  auto* l1 = Place<TLabel>(GroupBox1, 10, 16, 290, 28, "Destination:\r\nChoose from list or enter E-Mail address");
  l1->SetAutoSize(false);
  l1->SetWordWrap(true);
  ComboBox1 = Place<TComboBox>(GroupBox1, 10, 46, 292, 21);
  ComboBox1->SetTabStop(true);
  Place<TLabel>(GroupBox1, 10, 74, 290, 13, "Destination Folder:");
  ComboBox2 = Place<TComboBox>(GroupBox1, 10, 90, 292, 21);
  ComboBox2->SetTabStop(true);
  Button1 = PlaceButton(this, 166, 138, "&Send");
  Button1->SetDefault(true);
  Button2 = PlaceButton(this, 247, 138, "&Cancel", mrCancel);
  StatusBar1 = PlaceStatusBar(this);

  OnCreate = [this](TObject* s) { FormCreate(s); };
  ComboBox1->OnSelect = [this](TObject* s) { ComboBox1Select(s); };
  ComboBox1->OnExit = [this](TObject* s) { ComboBox1Exit(s); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
}

void TForm2::FormCreate(TObject*) {
  for (const std::string& d : AddressDestinations(deck_.Users().sendLists.addressBook)) ComboBox1->Items()->Add(d);
  if (ComboBox1->Items()->Count() > 0) ComboBox1->SetItemIndex(0);
  ShowFolders(0);
}

void TForm2::ShowFolders(int entry) {
  ComboBox2->Items()->Clear();
  const auto& book = deck_.Users().sendLists.addressBook;
  if (entry >= 0 && size_t(entry) < book.size())
    for (const std::string& f : EntryFolders(book[size_t(entry)])) ComboBox2->Items()->Add(f);
  if (ComboBox2->Items()->Count() > 0) ComboBox2->SetItemIndex(0);
}

void TForm2::ComboBox1Select(TObject*) { ShowFolders(ComboBox1->ItemIndex()); }

void TForm2::ComboBox1Exit(TObject*) {
  // Leaving for Cancel, or because the dialog is closing, is no reason to insist.
  if (!Visible() || ModalResult() != mrNone || Button2->Focused()) return;
  if (!Trim(ComboBox1->Text()).empty()) return;
  deck_.Notify(TNoticeKind::Error, "Destination address empty!");
  ComboBox1->SetFocus();
}

void TForm2::Button1Click(TObject*) {
  if (SendEmail(deck_, ComboBox1->Text(), ComboBox2->Text())) SetModalResult(mrOk);
}

void SendByEmail(TUserDeck& deck, TForm2& dialog) {
  if (PrepareEmail(deck)) dialog.ShowModal();
}
