#include "recorder/FormParts.h"

#include "recorder/Unit1.h"

void FocusControl(plat::TWinControl* c) {
  if (c && c->CanFocus()) c->SetFocus();
}

TSVMain* DeckOf(plat::TComponent* owner) {
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

TFileJobParts LayOutFileJob(plat::TForm* form, const std::string& name, const std::string& caption,
                            int intervalMs) {
  form->SetName(name);
  form->SetCaption(caption);
  form->SetBorderStyle(plat::bsDialog);
  form->SetPosition(plat::poScreenCenter);
  form->SetClientWidth(320);
  form->SetClientHeight(96);
  TFileJobParts parts;
  parts.gauge = PlaceControl<TDeckGauge>(form, form, 12, 14, 296, 24);
  parts.gauge->SetForeColor(plat::clNavy);
  parts.cancel = PlaceControl<TDeckButton>(form, form, 117, 54, 85, 28, "Cancel");
  parts.cancel->SetCancel(true);
  parts.timer = new plat::TTimer(form);
  parts.timer->SetEnabled(false);
  parts.timer->SetInterval(intervalMs);
  return parts;
}
