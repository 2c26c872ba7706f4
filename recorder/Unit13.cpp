#include "recorder/Unit13.h"

#include "platform/ui/dialogs.h"
#include "recorder/FormParts.h"

using namespace plat;

TForm13* Form13 = nullptr;

TForm13::TForm13(TComponent* owner) : TForm(owner) {
  SetName("Form13");
  SetCaption("Enter Password");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(280);
  SetClientHeight(130);

  PlaceControl<TLabel>(this, this, 12, 14, 80, 16, "Password");
  Edit1 = PlaceControl<TEdit>(this, this, 100, 10, 168, 22);
  Edit1->SetPasswordChar('*');
  PlaceControl<TLabel>(this, this, 12, 48, 80, 16, "Enter Again");
  Edit2 = PlaceControl<TEdit>(this, this, 100, 44, 168, 22);
  Edit2->SetPasswordChar('*');

  Button1 = PlaceControl<TDeckButton>(this, this, 90, 90, 85, 28, "&OK");
  Button1->SetDefault(true);
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2 = PlaceControl<TDeckButton>(this, this, 183, 90, 85, 28, "&Cancel");
  Button2->SetCancel(true);
  Button2->SetModalResult(mrCancel);
  if (Application) SetIcon(Application->Icon());
}

void TForm13::Button1Click(TObject*) {
  if (Edit1->Text() != Edit2->Text()) {
    MessageDlg("Passwords do not match. Please try again.", mtError, mbOKOnly);
    Edit1->Clear();
    Edit2->Clear();
    FocusControl(Edit1);
    return;
  }
  SetModalResult(mrOk);
}
