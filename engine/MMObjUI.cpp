#include "engine/MMObjUI.h"

#include "platform/ui/forms.h"

using namespace plat;

// ---- TMMBevel ---------------------------------------------------------------------------------

void TMMBevel::SetBevelInner(TBevelCut v) { Set(bevelInner_, v); }
void TMMBevel::SetBevelOuter(TBevelCut v) { Set(bevelOuter_, v); }
void TMMBevel::SetBevelInnerWidth(int v) { Set(bevelInnerWidth_, std::max(v, 1)); }
void TMMBevel::SetBevelOuterWidth(int v) { Set(bevelOuterWidth_, std::max(v, 1)); }
void TMMBevel::SetBorderStyle(TBorderStyle v) { Set(borderStyle_, v == bsNone ? bsNone : bsSingle); }
void TMMBevel::SetBorderWidth(int v) { Set(borderWidth_, std::max(v, 0)); }
void TMMBevel::SetBorderSpace(int v) { Set(borderSpace_, std::max(v, 0)); }
void TMMBevel::SetBorderColor(TColor v) { Set(borderColor_, v); }
void TMMBevel::SetBorderSpaceColor(TColor v) { Set(borderSpaceColor_, v); }
void TMMBevel::SetInnerLightColor(TColor v) { Set(innerLightColor_, v); }
void TMMBevel::SetInnerShadowColor(TColor v) { Set(innerShadowColor_, v); }
void TMMBevel::SetOuterLightColor(TColor v) { Set(outerLightColor_, v); }
void TMMBevel::SetOuterShadowColor(TColor v) { Set(outerShadowColor_, v); }

int TMMBevel::BevelExtent() const {
  int e = borderWidth_ + borderSpace_;
  if (bevelOuter_ != bvNone) e += bevelOuterWidth_;
  if (bevelInner_ != bvNone) e += bevelInnerWidth_;
  if (borderStyle_ != bsNone) e += 1;
  return e;
}

namespace {
// One bevel ring set: lowered has the shadow at the top left, raised the light. A spacing bevel
// takes its width without drawing, so the inside matches the extent.
void PaintCut(TCanvas& c, TRect& r, TBevelCut cut, int width, TColor light, TColor shadow) {
  switch (cut) {
    case bvLowered: Frame3D(c, r, shadow, light, width); break;
    case bvRaised: Frame3D(c, r, light, shadow, width); break;
    case bvSpace: InflateRect(r, -width, -width); break;
    case bvNone: break;
  }
}
}  // namespace

void TMMBevel::Paint(TCanvas& canvas, const TRect& r, TRect& inner, bool drawBorder) const {
  inner = r;
  if (borderStyle_ == bsSingle) Frame3D(canvas, inner, clWindowFrame, clWindowFrame, 1);
  PaintCut(canvas, inner, bevelOuter_, bevelOuterWidth_, outerLightColor_, outerShadowColor_);
  if (drawBorder) Frame3D(canvas, inner, borderColor_, borderColor_, borderWidth_);
  else InflateRect(inner, -borderWidth_, -borderWidth_);
  PaintCut(canvas, inner, bevelInner_, bevelInnerWidth_, innerLightColor_, innerShadowColor_);
  if (borderSpace_ > 0) Frame3D(canvas, inner, borderSpaceColor_, borderSpaceColor_, borderSpace_);
}

void TMMBevel::Assign(TPersistent* src) {
  auto* b = dynamic_cast<TMMBevel*>(src);
  if (!b) {
    TMMObject::Assign(src);
    return;
  }
  if (b == this) return;
  BeginUpdate();
  bevelInner_ = b->bevelInner_;
  bevelOuter_ = b->bevelOuter_;
  bevelInnerWidth_ = b->bevelInnerWidth_;
  bevelOuterWidth_ = b->bevelOuterWidth_;
  borderStyle_ = b->borderStyle_;
  borderWidth_ = b->borderWidth_;
  borderSpace_ = b->borderSpace_;
  borderColor_ = b->borderColor_;
  borderSpaceColor_ = b->borderSpaceColor_;
  innerLightColor_ = b->innerLightColor_;
  innerShadowColor_ = b->innerShadowColor_;
  outerLightColor_ = b->outerLightColor_;
  outerShadowColor_ = b->outerShadowColor_;
  EndUpdate();
}

// ---- the control roots ------------------------------------------------------------------------

namespace {
TRect InnerRect(const TMMBevel* b, int w, int h) {
  TRect r = Rect(0, 0, w, h);
  const int e = b ? b->BevelExtent() : 0;
  InflateRect(r, -e, -e);
  return r;
}

void PaintBevelled(TControl& c, TCanvas& canvas, const TMMBevel& bevel) {
  TRect inner;
  bevel.Paint(canvas, c.ClientRect(), inner, true);
  canvas.Brush()->SetColor(c.Color());
  canvas.Brush()->SetStyle(bsSolid);
  canvas.FillRect(inner);
}

void DesignTree(TComponent* c, bool designing) {
  c->SetDesigningState(designing);
  for (int i = 0; i < c->ComponentCount(); ++i) {
    TComponent* child = c->Components(i);
    if (auto* mm = dynamic_cast<TMMComponent*>(child)) mm->SetDesignState(designing);
    else if (auto* g = dynamic_cast<TMMGraphicControl*>(child)) g->SetDesignState(designing);
    else if (auto* w = dynamic_cast<TMMCustomControl*>(child)) w->SetDesignState(designing);
    else DesignTree(child, designing);
  }
}
}  // namespace

TMMGraphicControl::TMMGraphicControl(TComponent* owner) : TGraphicControl(owner) {
  RegisterLibraryCursors();
  SetControlStyle(ControlStyle() | csOpaque);
  bevel_ = new TMMBevel;
  bevel_->OnChange = [this](TObject*) { BevelChanged(); };
}

TMMGraphicControl::~TMMGraphicControl() {
  bevel_->OnChange = nullptr;
  delete bevel_;
}

TRect TMMGraphicControl::GetInnerRect() const { return InnerRect(bevel_, Width(), Height()); }

void TMMGraphicControl::BevelChanged() {
  if (Parent() && Align() != alNone) Parent()->Realign();
  Invalidate();
}

void TMMGraphicControl::Paint() {
  if (!paintsWholeClient_) PaintBevelled(*this, *Canvas(), *bevel_);
}

void TMMGraphicControl::SetDesignState(bool designing) {
  if (designing != IsDesigning()) SetDesigning(designing);
}

void TMMGraphicControl::SetDesigning(bool designing) { DesignTree(this, designing); }

TMMCustomControl::TMMCustomControl(TComponent* owner) : TCustomControl(owner) {
  RegisterLibraryCursors();
  SetControlStyle(ControlStyle() | csOpaque);
  bevel_ = new TMMBevel;
  bevel_->OnChange = [this](TObject*) { BevelChanged(); };
}

TMMCustomControl::~TMMCustomControl() {
  bevel_->OnChange = nullptr;
  delete bevel_;
}

TRect TMMCustomControl::GetInnerRect() const { return InnerRect(bevel_, Width(), Height()); }

void TMMCustomControl::BevelChanged() {
  Realign();
  if (Parent() && Align() != alNone) Parent()->Realign();
  Invalidate();
}

void TMMCustomControl::Paint() { PaintBevelled(*this, *Canvas(), *bevel_); }

void TMMCustomControl::SetDesignState(bool designing) {
  if (designing != IsDesigning()) SetDesigning(designing);
}

void TMMCustomControl::SetDesigning(bool designing) { DesignTree(this, designing); }

// ---- cursors ----------------------------------------------------------------------------------

void RegisterLibraryCursors() {
  if (!Screen || Screen->HasCursorImage(crMMFirstCursor)) return;
  // Cross-hairs, each with its number marked by short ticks along the bottom, so that the 31
  // cursors can be told apart: a white line in a black frame on a see-through ground.
  for (int id = crMMFirstCursor; id <= crMMLastCursor; ++id) {
    TBitmap img(32, 32);
    TCanvas& c = *img.Canvas();
    c.Brush()->SetColor(clFuchsia);  // the transparent colour
    c.FillRect(Rect(0, 0, 32, 32));
    c.Brush()->SetColor(clBlack);
    c.FillRect(Rect(15, 1, 18, 32));
    c.FillRect(Rect(1, 15, 32, 18));
    c.Brush()->SetColor(clWhite);
    c.FillRect(Rect(16, 2, 17, 31));
    c.FillRect(Rect(2, 16, 31, 17));
    c.Brush()->SetColor(clBlack);
    const int n = id - crMMFirstCursor + 1;
    for (int bit = 0; bit < 5; ++bit)
      if (n & (1 << bit)) c.FillRect(Rect(20 + bit * 2, 26, 21 + bit * 2, 30));
    Screen->SetCursorImage(id, img, 16, 16);
  }
}
