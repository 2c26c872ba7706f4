#pragma once
// Small helpers that place the standard controls of the users, programs and sending dialogs.
#include <string>

#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

template <class T>
T* Place(plat::TWinControl* parent, int left, int top, int width, int height, const std::string& caption = {}) {
  T* c = new T(parent);
  c->SetParent(parent);
  c->SetBounds(left, top, width, height);
  if (!caption.empty()) c->SetCaption(caption);
  return c;
}

// A push button; a modal result other than mrNone closes the form with it.
plat::TButton* PlaceButton(plat::TWinControl* parent, int left, int top, const std::string& caption,
                           int modalResult = plat::mrNone, int width = 75);
plat::TEdit* PlacePassword(plat::TWinControl* parent, int left, int top, int width);
// A dialog's frame: fixed border, centred on the screen, the given client size.
void SetupDialog(plat::TForm* form, const std::string& caption, int clientWidth, int clientHeight);
