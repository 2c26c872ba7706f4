#include "recorder/UserFormParts.h"

plat::TButton* PlaceButton(plat::TWinControl* parent, int left, int top, const std::string& caption, int modalResult,
                           int width) {
  auto* b = Place<plat::TButton>(parent, left, top, width, 25, caption);
  b->SetModalResult(modalResult);
  b->SetTabStop(true);
  if (modalResult == plat::mrCancel) b->SetCancel(true);
  return b;
}

plat::TEdit* PlacePassword(plat::TWinControl* parent, int left, int top, int width) {
  auto* e = Place<plat::TEdit>(parent, left, top, width, 21);
  e->SetPasswordChar('*');
  e->SetTabStop(true);
  return e;
}

void SetupDialog(plat::TForm* form, const std::string& caption, int clientWidth, int clientHeight) {
  form->SetCaption(caption);
  form->SetBorderStyle(plat::bsDialog);
  form->SetBorderIcons(plat::biSystemMenu);
  form->SetPosition(plat::poScreenCenter);
  form->SetClientWidth(clientWidth);
  form->SetClientHeight(clientHeight);
}
