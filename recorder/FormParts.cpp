#include "recorder/FormParts.h"

#include "recorder/Unit1.h"

void FocusControl(plat::TWinControl* c) {
  if (c && c->CanFocus()) c->SetFocus();
}

plat::TComponent* DeckComponent(plat::TComponent* owner) {
  if (auto* deck = dynamic_cast<TSVMain*>(owner)) return deck;
  return SVMain;
}

#include <algorithm>
#include <climits>
#include <memory>

TCopyProgress GaugeCopyProgress(TDeckGauge* gauge, const bool* cancel) {
  auto shift = std::make_shared<int>(0);
  TCopyProgress p;
  p.OnSize = [gauge, shift](int64_t total) {
    *shift = 0;
    while ((total >> *shift) > INT_MAX) ++*shift;
    gauge->SetMinValue(0);
    gauge->SetProgress(0);
    gauge->SetMaxValue(int(std::max<int64_t>(1, total >> *shift)));
  };
  p.OnBlock = [gauge, shift](int64_t done) {
    gauge->SetProgress(int(std::min<int64_t>(INT_MAX, done >> *shift)));
    if (plat::Application) plat::Application->ProcessMessages();
  };
  p.Cancelled = [cancel] { return cancel && *cancel; };
  return p;
}

TDeckStatusBar* PlaceStatusBar(plat::TForm* form) {
  auto* bar = new TDeckStatusBar(form);
  bar->SetParent(form);
  bar->SetSimplePanel(true);
  bar->Bevel()->SetStyleInner(TZelBevelStyle::bvLowered);
  bar->SetSizeGrip(form->BorderStyle() == plat::bsSizeable || form->BorderStyle() == plat::bsSizeToolWin);
  return bar;
}

TFileJobForm::TFileJobForm(plat::TComponent* owner, const std::string& name, const std::string& caption, int intervalMs)
    : plat::TForm(owner) {
  SetName(name);
  SetCaption(caption);
  SetBorderStyle(plat::bsDialog);
  SetPosition(plat::poScreenCenter);
  SetClientWidth(320);
  SetClientHeight(96);
  Gauge1 = PlaceControl<TDeckGauge>(this, this, 12, 14, 296, 24);
  Gauge1->SetForeColor(plat::clNavy);
  Button1 = PlaceControl<TDeckButton>(this, this, 117, 54, 85, 28, "Cancel");
  Button1->SetCancel(true);
  Timer1 = new plat::TTimer(this);
  Timer1->SetEnabled(false);
  Timer1->SetInterval(intervalMs);
  Button1->OnClick = [this](plat::TObject* s) { Button1Click(s); };
  Timer1->OnTimer = [this](plat::TObject* s) { Timer1Timer(s); };
  OnShow = [this](plat::TObject* s) { FormShow(s); };
  OnCloseQuery = [this](plat::TObject* s, bool& can) { FormCloseQuery(s, can); };
}

void TFileJobForm::FormShow(plat::TObject*) {
  CancelOrError = false;
  Gauge1->SetProgress(0);
  Timer1->SetEnabled(true);
}

void TFileJobForm::Button1Click(plat::TObject*) {
  CancelOrError = true;
  if (!working_) {
    Timer1->SetEnabled(false);
    SetModalResult(plat::mrCancel);
  }
}

void TFileJobForm::FormCloseQuery(plat::TObject*, bool& CanClose) {
  if (working_) {
    CancelOrError = true;
    CanClose = false;
  }
}
