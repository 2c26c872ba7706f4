#pragma once
// Small helpers the deck's dialogs are laid out with.
#include <string>

#include "platform/ui/controls.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"

// A control made, owned and placed on parent in one step.
template <class T>
T* PlaceControl(plat::TComponent* owner, plat::TWinControl* parent, int left, int top, int width, int height,
                const std::string& caption = std::string()) {
  T* c = new T(owner);
  c->SetParent(parent);
  c->SetBounds(left, top, width, height);
  if (!caption.empty()) c->SetCaption(caption);
  return c;
}

// Gives c the focus when it can take it (a dialog's control cannot while the dialog is hidden).
void FocusControl(plat::TWinControl* c);

// The deck a dialog works on: its owner when that is the deck, else the program's deck; nullptr
// before the deck is made.
plat::TComponent* DeckComponent(plat::TComponent* owner);
// ... as the narrow interface the dialog sees it through (TDialogDeck, TPunchInDeck).
template <class I>
I* DeckOf(plat::TComponent* owner) {
  return dynamic_cast<I*>(DeckComponent(owner));
}

#include "recorder/CartFiles.h"
#include "recorder/DeckKit.h"

// A copy's progress on a gauge (scaled so that any file size fits its range). Before each block
// the windows handle their messages, so a Cancel button can set *cancel, which stops the copy.
TCopyProgress GaugeCopyProgress(TDeckGauge* gauge, const bool* cancel);

// The bar at the bottom of a dialog (its height already counted in the client height), with one
// simple text; the grip only on a window that can be sized.
TDeckStatusBar* PlaceStatusBar(plat::TForm* form);

// The window of a file job (the copy and the saving windows): a dialog with a navy gauge above a
// Cancel button, and an idle timer of intervalMs that starts the job once the window shows. While
// the job runs, Cancel or closing the window only asks it to stop (CancelOrError); before, Cancel
// ends the window.
class TFileJobForm : public plat::TForm {
public:
  TFileJobForm(plat::TComponent* owner, const std::string& name, const std::string& caption, int intervalMs);

  TDeckGauge* Gauge1 = nullptr;
  TDeckButton* Button1 = nullptr;  // "Cancel"
  plat::TTimer* Timer1 = nullptr;  // one shot after showing: the job
  bool CancelOrError = false;

  void FormShow(plat::TObject* Sender);
  virtual void Timer1Timer(plat::TObject* Sender) = 0;
  void Button1Click(plat::TObject* Sender);
  void FormCloseQuery(plat::TObject* Sender, bool& CanClose);

protected:
  bool working_ = false;  // the job runs
};
