#include "controls/zelform.h"

#include <algorithm>

#include "controls/MMForm.h"
#include "controls/zelclass.h"
#include "controls/zelgraph.h"
#include "controls/zelsysin.h"
#include "platform/ui/forms.h"

using plat::TCanvas;
using plat::TRect;

// ---- form fill ----------------------------------------------------------------------------------------

TZelCustomFormFill::TZelCustomFormFill(plat::TComponent* owner) : TZelImageUser(owner) {}

TZelCustomFormFill::~TZelCustomFormFill() { TZelCustomFormFill::Unhook(); }

plat::TCustomForm* TZelCustomFormFill::Form() const { return dynamic_cast<plat::TCustomForm*>(Owner()); }

void TZelCustomFormFill::InvalidateForm() {
  if (IsLoading()) return;
  if (plat::TCustomForm* f = Form(); f && !f->IsDestroying()) f->Invalidate();
}

void TZelCustomFormFill::SetDefaultFill(bool v) {
  if (v == defaultFill_) return;
  defaultFill_ = v;
  InvalidateForm();
}

void TZelCustomFormFill::SetPaintMode(TZelPaintMode v) {
  if (v == paintMode_) return;
  paintMode_ = v;
  InvalidateForm();
}

void TZelCustomFormFill::Hook() {
  TZelWndProcComponent::Hook();
  plat::TCustomForm* f = Form();
  if (!Hooked() || chained_ || !f) return;
  // The form's painting runs its OnPaint after its background: the fill goes in front of the
  // handler the form had.
  savedPaint_ = f->OnPaint;
  f->OnPaint = [this](plat::TObject* sender) {
    if (plat::TCustomForm* form = Form()) PaintFill(*form->Canvas());
    if (savedPaint_) savedPaint_(sender);
  };
  chained_ = true;
  InvalidateForm();
}

void TZelCustomFormFill::Unhook() {
  if (chained_) {
    if (plat::TCustomForm* f = Form()) f->OnPaint = savedPaint_;
    savedPaint_ = nullptr;
    chained_ = false;
    InvalidateForm();
  }
  TZelWndProcComponent::Unhook();
}

bool TZelCustomFormFill::PaintFill(TCanvas& c) {
  plat::TCustomForm* f = Form();
  if (!f || paintMode_ != pcOwnerDraw || !OnPaint) return false;
  const TRect r = plat::Rect(0, 0, f->ClientWidth(), f->ClientHeight());
  if (defaultFill_) {
    c.Brush()->SetStyle(plat::bsSolid);
    c.Brush()->SetColor(f->Color());
    c.FillRect(r);
  }
  OnPaint(this, c, r);
  return true;
}

bool TZelCustomFormFill::WindowProc(plat::TWindowEvent& e) {
  if (e.Kind == plat::weResize) InvalidateForm();
  return false;
}

void TZelCustomFormFill::Notification(plat::TComponent* c, plat::TOperation op) {
  TZelWndProcComponent::Notification(c, op);
  if (op == plat::opRemove) image_.ListRemoved(c);
}

bool TZelBack::PaintFill(TCanvas& c) {
  plat::TCustomForm* f = Form();
  if (f && PaintMode() == pcControl && ImageLink().Valid()) {
    TZelCustomImageList* l = ImageList();
    const int w = l->ImageWidth(ListIndex()), h = l->ImageHeight(ListIndex());
    if (w > 0 && h > 0) {
      for (int y = 0; y < f->ClientHeight(); y += h)
        for (int x = 0; x < f->ClientWidth(); x += w) l->Draw(c, x, y, ListIndex(), ImageIndex());
      return true;
    }
  }
  return TZelCustomFormFill::PaintFill(c);
}

// ---- caption styler -----------------------------------------------------------------------------------

TZelFormStyler::TZelFormStyler(plat::TComponent* owner)
    : TZelWndProcComponent(owner), font_(std::make_unique<plat::TFont>()), font3D_(std::make_unique<TZel3DCaption>()) {
  font_->OnChange = [this](plat::TObject*) { Repaint(); };
  font3D_->OnChange = [this](plat::TObject*) { Repaint(); };
}

TZelFormStyler::~TZelFormStyler() {
  TZelFormStyler::Unhook();
  font_->OnChange = nullptr;
  font3D_->OnChange = nullptr;
}

plat::TCustomForm* TZelFormStyler::Form() const { return dynamic_cast<plat::TCustomForm*>(Owner()); }

void TZelFormStyler::SetAlignment(plat::TAlignment v) {
  if (v == alignment_) return;
  alignment_ = v;
  Repaint();
}

void TZelFormStyler::SetColors(int v) {
  v = std::clamp(v, 1, 256);
  if (v == colors_) return;
  colors_ = v;
  Repaint();
}

void TZelFormStyler::SetPaintMode(TZelPaintMode v) {
  if (v == paintMode_) return;
  paintMode_ = v;
  Repaint();
}

void TZelFormStyler::SetOptions(TZelFormStyleOptions v) {
  if (v == options_) return;
  options_ = v;
  Repaint();
}

void TZelFormStyler::Hook() {
  TZelWndProcComponent::Hook();
  if (!Hooked()) return;
  // The window's title stays as it is: the window manager shows it, and a blank one would leave
  // the window without a name.
  if (plat::TCustomForm* f = Form()) savedCaption_ = f->Caption();
  if (plat::TCustomForm* f = Form()) active_ = f->Active();
  if (!IsLoading()) Repaint();
}

void TZelFormStyler::Unhook() {
  if (Hooked() && !IsDestroying()) Repaint();
  TZelWndProcComponent::Unhook();
}

bool TZelFormStyler::WindowProc(plat::TWindowEvent& e) {
  if (paintMode_ == pcNone) return false;
  switch (e.Kind) {
    case plat::weActivate:
    case plat::weDeactivate:
      active_ = e.Kind == plat::weActivate;
      if (active_ || (options_ & fsInactiveGradient)) Repaint();
      break;
    case plat::weTitleChange:
      if (!(options_ & fsUseFormCaption)) {
        if (plat::TCustomForm* f = Form()) savedCaption_ = f->Caption();
      }
      Repaint();
      break;
    default: break;
  }
  return false;
}

void TZelFormStyler::Loaded() {
  if (IsDesigning()) {
    auto isStyler = [](plat::TComponent* c) { return dynamic_cast<TZelFormStyler*>(c) != nullptr; };
    if (CheckOneInstance(Owner(), isStyler, false)) throw ZelEOneInstError(0, ClassName());
  }
  TZelWndProcComponent::Loaded();
}

bool TZelFormStyler::PaintCaption(plat::TBitmap& target, int bitsPerPixel) {
  plat::TCustomForm* f = Form();
  if (!f || paintMode_ == pcNone || f->BorderStyle() == plat::bsNone) return false;
  if (platformGradient_ && (options_ & fsCheckSystemGradient) && bitsPerPixel > 8) return false;
  if (!active_ && !(options_ & fsInactiveGradient)) return false;
  const plat::TSize size{std::max(f->Width(), 1), std::max(f->Height(), 1)};
  target.SetSize(size.cx, size.cy);
  target.SetPixelFormat(plat::pf24bit);
  TCanvas& c = *target.Canvas();
  c.Brush()->SetStyle(plat::bsSolid);
  c.Brush()->SetColor(plat::clBtnFace);
  c.FillRect(plat::Rect(0, 0, size.cx, size.cy));

  const TZelSystemMetrics m = ZelSystemMetrics();
  uint32_t flags = 0;
  const TRect cap = CaptionRect(size, MMWindowStyles(*f), m, &flags);
  GradientFill(c, cap, plat::clBlack, 0, gfUseBitmap, gstHorizontal, colors_,
               active_ ? plat::clActiveCaption : plat::clInactiveCaption);
  if (flags & cfIcon) {
    const int x = cap.Left - m.SmallIconWidth - 1, y = cap.Top + (cap.Height() - m.SmallIconWidth) / 2;
    c.Brush()->SetColor(plat::clWhite);
    c.FillRect(plat::Bounds(x + 1, y + 2, m.SmallIconWidth - 2, m.SmallIconWidth - 4));
    c.Brush()->SetColor(plat::clBlack);
    c.FrameRect(plat::Bounds(x, y + 1, m.SmallIconWidth, m.SmallIconWidth - 2));
  }
  if (options_ & fsUseDefaultFont) {
    plat::TFont captionFont;
    MMCaptionFont(captionFont);
    if (f->BorderStyle() == plat::bsToolWindow || f->BorderStyle() == plat::bsSizeToolWin) captionFont.SetHeight(-10);
    c.SetFont(captionFont);
  } else {
    c.SetFont(*font_);
  }
  if (!(options_ & fsUseFontColor)) c.Font()->SetColor(active_ ? plat::clCaptionText : plat::clInactiveCaptionText);
  uint32_t format = plat::DT_SINGLELINE | plat::DT_VCENTER | plat::DT_NOPREFIX;
  if (alignment_ == plat::taCenter) format |= plat::DT_CENTER;
  else if (alignment_ == plat::taRightJustify) format |= plat::DT_RIGHT;
  const std::string text = (options_ & fsUseFormCaption) ? f->Caption() : savedCaption_;
  TRect r = cap;
  c.Brush()->SetStyle(plat::bsClear);
  Draw3DText(c, text, font3D_->Style() == tdNone ? nullptr : font3D_.get(), &cap, d3Enabled | d3Clip, format, r);
  if (paintMode_ == pcOwnerDraw && (options_ & fsDrawCaptionEvent)) {
    if (OnCaptionPaint) OnCaptionPaint(this, c, cap);
    if (OnPaint) OnPaint(this, c, cap);
  }
  return true;
}
