#include "recorder/Unit9.h"

#include "recorder/UserFormParts.h"
#include "recorder/Login.h"
#include "recorder/UserDeck.h"

using namespace plat;

TForm9::TForm9(TComponent* owner, TUserDeck& deck) : TForm(owner), deck_(deck) {
  SetupDialog(this, "Authorization Request", 360, 190);
  if (Application) SetIcon(Application->Icon());
  // Fixed-size labels: the two texts wrap inside the dialog's width.
  auto text = [this](int top, int height, const std::string& caption) {
    auto* l = Place<TLabel>(this, 12, top, 336, height);
    l->SetAutoSize(false);
    l->SetWordWrap(true);
    l->SetBounds(12, top, 336, height);
    l->SetCaption(caption);
    return l;
  };
  Label1 = text(10, 42, LockoutTextBefore);
  Label2 = text(56, 16, "");
  Label2->SetAlignment(taCenter);
  Label2->Font()->SetStyle(fsBold);
  Label3 = text(78, 30, LockoutTextAfter);
  Edit1 = PlacePassword(this, 12, 116, 336);
  Button1 = PlaceButton(this, 172, 152, "&Save");
  Button1->SetDefault(true);
  Button2 = PlaceButton(this, 253, 152, "&Cancel - Esc", mrCancel, 95);
  OnShow = [this](TObject* s) { FormShow(s); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
}

void TForm9::FormShow(TObject*) {
  // Empty every time: a password left from an earlier authorisation would let the next operator
  // through with Enter.
  Edit1->Clear();
  const TUserFields& users = deck_.Users();
  Label2->SetCaption(DateTimeText(LockoutExpiry(users.lockoutFileName, users.cart.lockoutHours)));
  SetActiveControl(Edit1);
}

void TForm9::Button1Click(TObject*) {
  if (SupervisorPasswordMatches(deck_.Settings(), Edit1->Text())) SetModalResult(mrOk);
  else deck_.Notify(TNoticeKind::Error, WrongPasswordMessage);
}

bool SaveTargetAllowed(TUserDeck& deck, const std::string& target, TForm9& lockout) {
  return LockoutAllowsSave(deck, target, [&] { return lockout.ShowModal(); });
}
