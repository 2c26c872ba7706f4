#include "controls/zelctrls.h"

#include "controls/zelgraph.h"
#include "platform/ui/forms.h"
#include "platform/ui/graphics.h"

using plat::TCanvas;
using plat::TColor;
using plat::TRect;

// ---- bevel ----------------------------------------------------------------------------------------

void TZelBevel::SetColor(int index, TColor v) {
  if (index < 0 || index > 2) return;
  SetField(colors_[index], v);
}

void TZelBevel::SetMode(TZelBevelMode v) {
  if (v == mode_) return;
  if (systemEdge_ && (v == bmWindows || mode_ == bmWindows)) recreate_ = true;
  mode_ = v;
  Change();
}

int TZelBevel::Extent() const {
  switch (mode_) {
    case bmCustom: {
      if (styleOuter_ == bvShadow) return widthInner_ + borderInnerWidth_;
      int e = borderWidth_ + borderInnerWidth_;
      auto frame = [](TZelBevelStyle s) { return s == bvFrameLowered || s == bvFrameRaised ? 1 : 0; };
      if (styleOuter_ != bvNone) e += widthOuter_ + frame(styleOuter_);
      if (styleInner_ != bvNone) e += widthInner_ + frame(styleInner_);
      return e;
    }
    case bmStandard: return BorderStyleWidth(standardStyle_) + borderInnerWidth_;
    case bmEdge: return (borderSides_ ? 2 : 0) + borderInnerWidth_;
    case bmWindows: return systemEdge_ ? 0 : borderInnerWidth_ + 2;
  }
  return 0;
}

int TZelBevel::FarExtent() const {
  if (mode_ == bmCustom && styleOuter_ == bvShadow) return widthInner_ + widthOuter_ + borderInnerWidth_;
  return Extent();
}

TRect TZelBevel::ClientRect(const TRect& r) const {
  const int near = Extent(), far = FarExtent();
  return plat::Rect(r.Left + near, r.Top + near, r.Right - far, r.Bottom - far);
}

void TZelBevel::Draw(TCanvas& c, TRect& r, bool transparent) const {
  auto rings = [&](int n) {
    for (int k = 0; k < n && !plat::IsRectEmpty(r); ++k) {
      if (!transparent) {
        c.Brush()->SetStyle(plat::bsSolid);
        c.Brush()->SetColor(colors_[0]);
        c.FrameRect(r);
      }
      plat::InflateRect(r, -1, -1);
    }
  };
  switch (mode_) {
    case bmCustom:
      if (Extent() == 0 && FarExtent() == 0) return;
      if (styleOuter_ == bvShadow) {
        DrawShadowFrame(c, r, widthInner_, widthOuter_, colors_[0], colors_[2], transparent);
      } else {
        DrawBevelFrame(c, r, styleOuter_, widthOuter_, colors_[1], colors_[2]);
        rings(borderWidth_);
        DrawBevelFrame(c, r, styleInner_, widthInner_, colors_[1], colors_[2]);
      }
      break;
    case bmStandard: DrawBorderStyle(c, r, standardStyle_); break;
    case bmEdge: {
      if (!borderSides_) break;
      static const uint32_t kinds[] = {plat::BDR_RAISEDINNER, plat::BDR_RAISEDOUTER, plat::BDR_SUNKENINNER,
                                       plat::BDR_SUNKENOUTER, plat::EDGE_BUMP,       plat::EDGE_ETCHED,
                                       plat::EDGE_RAISED,     plat::EDGE_SUNKEN};
      uint32_t sides = 0;
      if (borderSides_ & ZelSide(fsBottom)) sides |= plat::BF_BOTTOM;
      if (borderSides_ & ZelSide(fsLeft)) sides |= plat::BF_LEFT;
      if (borderSides_ & ZelSide(fsRight)) sides |= plat::BF_RIGHT;
      if (borderSides_ & ZelSide(fsTop)) sides |= plat::BF_TOP;
      TRect e = r;
      c.DrawEdge(e, kinds[edgeStyle_], sides);
      plat::InflateRect(r, -2, -2);
      break;
    }
    case bmWindows:
      if (systemEdge_) break;
      {
        TRect e = r;
        c.DrawEdge(e, plat::EDGE_SUNKEN, plat::BF_RECT);
        plat::InflateRect(r, -2, -2);
      }
      break;
  }
  rings(borderInnerWidth_);
}

void TZelBevel::Assign(plat::TPersistent* src) {
  auto* s = dynamic_cast<TZelBevel*>(src);
  if (!s) {
    TZelObject::Assign(src);
    return;
  }
  AssignNotifyingOnce([&] {
    styleInner_ = s->styleInner_;
    styleOuter_ = s->styleOuter_;
    widthInner_ = s->widthInner_;
    widthOuter_ = s->widthOuter_;
    for (int i = 0; i < 3; ++i) colors_[i] = s->colors_[i];
    borderSides_ = s->borderSides_;
    borderWidth_ = s->borderWidth_;
    borderInnerWidth_ = s->borderInnerWidth_;
    edgeStyle_ = s->edgeStyle_;
    if (systemEdge_ && (s->mode_ == bmWindows) != (mode_ == bmWindows)) recreate_ = true;
    mode_ = s->mode_;
    standardStyle_ = s->standardStyle_;
  });
}

std::string TZelBevel::Summary() const {
  static const char* const names[] = {"Custom style", "Standard style", "Etged style", "Windows style"};
  return std::string("{") + names[mode_] + "}";
}

// ---- image link -----------------------------------------------------------------------------------

TZelImageLink::TZelImageLink(plat::TComponent* owner, std::function<void()> changed)
    : owner_(owner), changed_(std::move(changed)) {
  link_.OnChange = [this](plat::TObject*) {
    if (changed_) changed_();
  };
}

void TZelImageLink::SetImageList(TZelCustomImageList* v) {
  if (v == ImageList()) return;
  if (list_ && link_.List()) {
    list_->UnRegisterChanges(&link_);
    if (owner_) list_->RemoveFreeNotification(owner_);
  }
  list_ = v;
  if (v) {
    v->RegisterChanges(&link_);
    if (owner_) v->FreeNotification(owner_);
  }
  if (changed_) changed_();
}

void TZelImageLink::SetImageIndex(int v) {
  if (v < 0 || v == imageIndex_) return;
  imageIndex_ = v;
  if (changed_) changed_();
}

void TZelImageLink::SetListIndex(int v) {
  if (v < 0 || v == listIndex_) return;
  listIndex_ = v;
  if (changed_) changed_();
}

bool TZelImageLink::Valid() const {
  TZelCustomImageList* l = ImageList();
  return l && l->IsValid(listIndex_, imageIndex_);
}

bool TZelImageLink::GetImage(plat::TBitmap& bitmap) const {
  if (!Valid()) return false;
  return ImageList()->GetImage(listIndex_, imageIndex_, bitmap);
}

bool TZelImageLink::Picture(plat::TBitmap& b) const {
  if (!Valid()) return false;
  TZelCustomImageList* l = ImageList();
  const int w = l->ImageWidth(listIndex_), h = l->ImageHeight(listIndex_);
  if (w <= 0 || h <= 0) return false;
  b.SetSize(w, h);
  b.SetPixelFormat(plat::pf24bit);
  b.Canvas()->Brush()->SetStyle(plat::bsSolid);
  b.Canvas()->Brush()->SetColor(plat::clFuchsia);
  b.Canvas()->FillRect(plat::Rect(0, 0, w, h));
  l->Draw(*b.Canvas(), 0, 0, listIndex_, imageIndex_);
  b.SetTransparentColor(plat::clFuchsia);
  return true;
}

std::string TZelImageLink::StoredName() const {
  TZelCustomImageList* l = ImageList();
  return l ? l->Name() : std::string();
}

void TZelImageLink::ListRemoved(plat::TComponent* c) {
  if (!c || c != list_) return;
  list_ = nullptr;
  if (changed_) changed_();
}

// ---- windowless line ------------------------------------------------------------------------------

TZelControl::TZelControl(plat::TComponent* owner) : plat::TGraphicControl(owner) {}

void TZelControl::SetBounds(int l, int t, int w, int h) {
  uint8_t flags = 0;
  if (std::max(w, 0) != Width() || std::max(h, 0) != Height()) flags |= 1;
  if (l != Left() || t != Top()) flags |= 2;
  plat::TGraphicControl::SetBounds(l, t, w, h);
  if (flags && !IsLoading()) BoundsChanged(flags);
}

void TZelControl::BoundsChanged(uint8_t flags) {
  if (OnBoundsChange) OnBoundsChange(this, flags);
}

void TZelControl::DoMouseEnter() {
  if (Enabled() && OnMouseEnter) OnMouseEnter(this);
}

void TZelControl::DoMouseExit() {
  if (Enabled() && OnMouseExit) OnMouseExit(this);
}

void TZelControl::InvalidateUnlessLoading() {
  if (!IsLoading()) Invalidate();
}

void TZelControl::MouseEnter() { DoMouseEnter(); }
void TZelControl::MouseLeave() { DoMouseExit(); }

TZelBaseControl::TZelBaseControl(plat::TComponent* owner)
    : TZelImageUser(owner), effect_(std::make_unique<TZelBitmapEffectObject>()) {
  effect_->OnChange = [this](plat::TObject*) { InvalidateUnlessLoading(); };
}

TZelBaseControl::~TZelBaseControl() { effect_->OnChange = nullptr; }

void TZelBaseControl::Loaded() {
  TZelControl::Loaded();
  ImageListChanged();
}

void TZelBaseControl::Notification(plat::TComponent* c, plat::TOperation op) {
  TZelControl::Notification(c, op);
  if (op != plat::opRemove) return;
  image_.ListRemoved(c);
  if (TZelAlphaObject* a = effect_->AlphaBlend(); a && a->ImageList() == c) a->SetImageList(nullptr);
}

TZelBaseGraphicControl::TZelBaseGraphicControl(plat::TComponent* owner) : TZelBaseControl(owner) {
  SetControlStyle((ControlStyle() | plat::csReplicatable) & ~uint32_t(plat::csOpaque));
  SetBounds(0, 0, 30, 30);
}

void TZelBaseControl::TransparencyChanged(bool transparent) {
  if (transparent) SetControlStyle(ControlStyle() & ~uint32_t(plat::csOpaque));
  else SetControlStyle(ControlStyle() | plat::csOpaque);
  Perform(CM_ZELTRANSPARENTCHANGED);
}

void TZelBaseGraphicControl::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  TransparencyChanged(v);
}

bool TZelBaseGraphicControl::TransparentOverParent() const {
  if (!transparent_) return false;
  auto* p = dynamic_cast<TZelCustomControl*>(Parent());
  return p && p->HandleAllocated() && p->SuppliesBackground();
}

void TZelBaseGraphicControl::WndProc(plat::TMessage& m) {
  switch (m.Msg) {
    case CM_ZELTRANSPARENTCHANGED: Invalidate(); return;
    case CM_ZELPARENTBKGNDCHANGED:
      BitmapEffect()->SetBufferValid(false);
      if (TransparentOverParent()) Invalidate();
      return;
    default: TZelBaseControl::WndProc(m);
  }
}

TZelGraphicControl::TZelGraphicControl(plat::TComponent* owner)
    : TZelBaseGraphicControl(owner), bevel_(std::make_unique<TZelBevel>()) {
  bevel_->OnChange = [this](plat::TObject*) { InvalidateUnlessLoading(); };
}

TZelGraphicControl::~TZelGraphicControl() { bevel_->OnChange = nullptr; }

void TZelGraphicControl::SetBevel(TZelBevel* v) {
  bevel_->Assign(v);
  Perform(CM_ZELBEVELCHANGED);
}

void TZelGraphicControl::Paint() {
  if (IsLoading() || bevel_->Extent() == 0) return;
  TRect r = ClientRect();
  bevel_->Draw(*Canvas(), r, Transparent());
}

// ---- windowed line --------------------------------------------------------------------------------

TZelCustomControl::TZelCustomControl(plat::TComponent* owner)
    : TZelImageUser(owner), effect_(std::make_unique<TZelBitmapEffectObject>()) {
  effect_->OnChange = ObjectChangeForwarder();
  SetTabStop(false);
  SetBounds(0, 0, 100, 40);
}

TZelCustomControl::~TZelCustomControl() { effect_->OnChange = nullptr; }

void TZelCustomControl::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  Perform(CM_ZELTRANSPARENTCHANGED);
}

void TZelCustomControl::SetFlatBorder(bool v) {
  if (v == flatBorder_) return;
  flatBorder_ = v;
  Invalidate();
}

bool TZelCustomControl::TransparentOverParent() const {
  if (!transparent_) return false;
  auto* p = dynamic_cast<TZelCustomControl*>(Parent());
  return p && p->HandleAllocated() && p->SuppliesBackground();
}

plat::TPoint TZelCustomControl::ChildOffset(const plat::TControl* child) const {
  return child ? plat::TPoint{child->Left(), child->Top()} : plat::TPoint{};
}

plat::TPoint TZelCustomControl::OffsetInParent() const {
  if (auto* p = dynamic_cast<const TZelCustomControl*>(Parent())) return p->ChildOffset(this);
  return {Left(), Top()};
}

void TZelCustomControl::PaintBackground(TCanvas& c) {
  if (transparent_) {
    if (auto* p = dynamic_cast<TZelCustomControl*>(Parent()); p && TransparentOverParent())
      p->PaintChildBackground(this, c);
    return;
  }
  plat::TCustomControl::PaintBackground(c);
}

void TZelCustomControl::ObjectChanged(plat::TObject*) {
  if (repaintOnChange_ && !IsLoading()) Invalidate();
}

void TZelCustomControl::DoMouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}

void TZelCustomControl::DoMouseExit() {
  if (OnMouseExit) OnMouseExit(this);
}

void TZelCustomControl::ImageListChanged() {
  if (!IsLoading()) Invalidate();
}

void TZelCustomControl::DrawFlatBorder(TCanvas& c, bool focused) {
  TRect r = ClientRect();
  c.Brush()->SetStyle(plat::bsSolid);
  if (focused) {
    c.Brush()->SetColor(plat::clWindowFrame);
    c.FrameRect(r);
    plat::InflateRect(r, -1, -1);
    c.Brush()->SetColor(plat::clBtnFace);
    c.FrameRect(r);
    plat::InflateRect(r, -1, -1);
    c.DrawEdge(r, plat::BDR_SUNKENOUTER, plat::BF_RECT);
  } else if (!mouseInside_) {
    c.Brush()->SetColor(plat::clBtnFace);
    c.FrameRect(r);
    plat::InflateRect(r, -1, -1);
    c.FrameRect(r);
  }
}

void TZelCustomControl::Paint() {
  if (IsLoading()) return;
  if (flatBorder_) DrawFlatBorder(*Canvas(), focused_);
}

void TZelCustomControl::MouseEnter() {
  if (mouseInside_) return;  // one crossing, one enter
  mouseInside_ = true;
  DoMouseEnter();
  if (flatBorder_) Invalidate();
}

void TZelCustomControl::MouseLeave() {
  if (!mouseInside_) return;
  mouseInside_ = false;
  if (flatBorder_ && !focused_) Invalidate();
  DoMouseExit();
}

void TZelCustomControl::SetBounds(int l, int t, int w, int h) {
  uint8_t flags = 0;
  if (std::max(w, 0) != Width() || std::max(h, 0) != Height()) flags |= 1;
  if (l != Left() || t != Top()) flags |= 2;
  inSetBounds_ = true;
  try {
    plat::TCustomControl::SetBounds(l, t, w, h);
  } catch (...) {
    inSetBounds_ = false;
    throw;
  }
  inSetBounds_ = false;
  if (flags && !IsLoading()) BoundsChanged(flags);
}

void TZelCustomControl::Resize() {
  plat::TCustomControl::Resize();
  effect_->SetBufferValid(false);
  if (transparent_) BroadcastToChildren(CM_ZELPARENTBKGNDCHANGED);
  Invalidate();
  // A size the window system gave (not through SetBounds).
  if (!inSetBounds_ && !IsLoading()) BoundsChanged(1);
}

void TZelCustomControl::BroadcastToChildren(uint32_t msg) {
  for (int i = 0; i < ControlCount(); ++i) Controls(i)->Perform(msg);
}

void TZelCustomControl::WndProc(plat::TMessage& m) {
  switch (m.Msg) {
    case CM_ZELTRANSPARENTCHANGED: Invalidate(); return;
    case CM_ZELPARENTBKGNDCHANGED:
      effect_->SetBufferValid(false);
      if (transparent_) BroadcastToChildren(CM_ZELPARENTBKGNDCHANGED);
      Invalidate();
      return;
    case CM_ZELPASSBKGND:
      if (transparent_) BroadcastToChildren(CM_ZELPARENTBKGNDCHANGED);
      return;
    case CM_ZELFOCUSGAINED:
      if (OnFocusGained) OnFocusGained(this);
      return;
    case CM_ZELFOCUSLOST:
      if (OnFocusLost) OnFocusLost(this);
      return;
    case plat::CM_SYSCOLORCHANGE:
      if (!transparent_) Invalidate();
      return;
    case plat::CM_ENTER:
      plat::TCustomControl::WndProc(m);
      focused_ = true;
      if (flatBorder_) Invalidate();
      PostMessage(CM_ZELFOCUSGAINED);
      return;
    case plat::CM_EXIT:
      plat::TCustomControl::WndProc(m);
      focused_ = false;
      if (flatBorder_) Invalidate();
      PostMessage(CM_ZELFOCUSLOST);
      return;
    default: plat::TCustomControl::WndProc(m);
  }
}

void TZelCustomControl::Loaded() {
  plat::TCustomControl::Loaded();
  ImageListChanged();
}

void TZelCustomControl::Notification(plat::TComponent* c, plat::TOperation op) {
  plat::TCustomControl::Notification(c, op);
  if (op != plat::opRemove) return;
  image_.ListRemoved(c);
  if (TZelAlphaObject* a = effect_->AlphaBlend(); a && a->ImageList() == c) a->SetImageList(nullptr);
}

int IndexOfComponentClass(plat::TComponent* owner, const std::function<bool(plat::TComponent*)>& isOfClass) {
  if (!dynamic_cast<plat::TCustomForm*>(owner) || !isOfClass) return -1;
  for (int i = 0; i < owner->ComponentCount(); ++i)
    if (isOfClass(owner->Components(i))) return i;
  return -1;
}
