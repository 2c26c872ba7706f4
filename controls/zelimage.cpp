#include "controls/zelimage.h"

#include <algorithm>

#include "controls/zelbmp.h"
#include "controls/zelgraph.h"
#include "platform/ui/graphics.h"

uint16_t ZelBitmapStyleFlags(TZelBitmapStyle style, int bevelExtent) {
  uint16_t flags = 0;
  switch (style) {
    case sbNone:
    case sbAutosize: flags = 1; break;
    case sbCenter: flags = 9; break;
    case sbStretch: flags = 16; break;
    case sbTile: flags = 33; break;
    case sbKeepAspRatio: flags = 0x610; break;
    case sbKeepWidth: flags = 0x211; break;
    case sbKeepHeight: flags = 0x411; break;
  }
  return bevelExtent == 0 ? uint16_t(flags ^ 1) : flags;
}

void TZelTransparent::Assign(plat::TPersistent* src) {
  auto* t = dynamic_cast<TZelTransparent*>(src);
  if (!t) return TZelObject::Assign(src);
  AssignNotifyingOnce([&] {
    color_ = t->color_;
    mode_ = t->mode_;
  });
}

// ---- base image -----------------------------------------------------------------------------------

TZelBaseImage::TZelBaseImage(plat::TComponent* owner) : TZelGraphicControl(owner) {
  SetControlStyle(ControlStyle() | plat::csReplicatable);
}

void TZelBaseImage::SetQuickDraw(bool v) {
  if (v == quickDraw_) return;
  quickDraw_ = v;
  InvalidateUnlessLoading();
}

void TZelBaseImage::SetStyle(TZelBitmapStyle v) {
  if (v == style_) return;
  style_ = v;
  StyleChanged();
}

// ---- image with transparency and effects ----------------------------------------------------------

TZelCustomNImage::TZelCustomNImage(plat::TComponent* owner)
    : TZelBaseImage(owner), transparent_(std::make_unique<TZelTransparent>()) {
  transparent_->OnChange = [this](plat::TObject*) { InvalidateUnlessLoading(); };
  // A bevel takes room from the picture: the size follows it.
  Bevel()->OnChange = [this](plat::TObject*) { BitmapChanged(); };
}

TZelCustomNImage::~TZelCustomNImage() {
  transparent_->OnChange = nullptr;
  Bevel()->OnChange = nullptr;
}

void TZelCustomNImage::Loaded() {
  TZelBaseImage::Loaded();
  BitmapChanged();
}

bool TZelCustomNImage::AdjustSize() {
  if (Style() != sbAutosize || IsLoading()) return false;
  const int ext = Bevel()->Extent();
  plat::TBitmap* b = ShownBitmap();
  const bool has = b && !b->Empty();
  const int w = (has ? b->Width() : 20) + 2 * ext, h = (has ? b->Height() : 20) + 2 * ext;
  if (w == Width() && h == Height()) return false;
  SetBounds(Left(), Top(), w, h);
  return true;
}

void TZelCustomNImage::BitmapChanged() {
  AdjustSize();
  InvalidateUnlessLoading();
}

bool TZelCustomNImage::Background(plat::TBitmap& picture) {
  const plat::TRect all = ClientRect();
  picture.SetSize(all.Width(), all.Height());
  picture.SetPixelFormat(plat::pf24bit);
  plat::TCanvas& c = *picture.Canvas();
  plat::TWinControl* parent = Parent();
  c.Brush()->SetStyle(plat::bsSolid);
  c.Brush()->SetColor(Transparent() && parent ? parent->Color() : Color());
  c.FillRect(all);
  if (!Transparent() || !parent) return true;
  // What the parent paints under the control, without its children (this one included).
  if (!PaintParentArea(picture, plat::Bounds(Left(), Top(), all.Width(), all.Height()))) return true;
  picture.SetPixelFormat(plat::pf24bit);
  return true;
}

void TZelCustomNImage::Paint() {
  if (IsLoading()) return;
  // A size taken now brings its own paint.
  if (AdjustSize()) return;
  plat::TCanvas& c = *Canvas();
  plat::TRect r = ClientRect();
  const bool painted = !Transparent() || BackFX()->Active();
  if (painted) {
    plat::TBitmap back;
    Background(back);
    ApplyEffects(*BackFX(), back);
    c.Draw(0, 0, &back);
  }
  plat::TBitmap* bmp = ShownBitmap();
  const bool picture = bmp && !bmp->Empty();
  if (Bevel()->Extent() == 0 && !picture) {
    TZelBaseImage::Paint();
    return;
  }
  Bevel()->Draw(c, r, Transparent());
  if (!picture) return;
  uint16_t flags = DrawFlags();
  plat::TColor key = plat::clNone;
  plat::TBitmap keyed;
  plat::TBitmap* shown = bmp;
  switch (TransparentStyle()->Mode()) {
    case tpNone: break;
    case tpRestoreBack:
      flags |= bdMaskTransparent;
      key = bmp->TransparentColor();
      break;
    case tpTransparentColor:
      // The framework's own drawing, with the style's colour as the picture's transparent one;
      // on a copy, so the picture itself stays as it was given.
      flags |= bdGraphic;
      keyed.Assign(bmp);
      keyed.SetTransparentMode(plat::tmFixed);
      keyed.SetTransparentColor(TransparentStyle()->Color());
      keyed.SetTransparent(true);
      shown = &keyed;
      break;
    case tpRBTranspColor:
      flags |= bdMaskTransparent;
      key = TransparentStyle()->Color();
      break;
  }
  // Without a painted background the control's picture is see-through where nothing is drawn:
  // and-ing a mask there would blacken it, so the key colour is left out instead.
  if (!painted && (flags & bdMaskTransparent)) flags = uint16_t((flags & ~bdMaskTransparent) | bdColorTransparent);
  DrawBitmapFlags(c, r, *shown, flags, Style() == sbCenter ? agCenter : agTopLeft, 0, 0, key);
}

// ---- image with its own bitmap --------------------------------------------------------------------

TZelNImage::TZelNImage(plat::TComponent* owner) : TZelCustomNImage(owner), bitmap_(std::make_unique<plat::TBitmap>()) {
  bitmap_->OnChange = [this](plat::TObject*) { OwnBitmapChanged(); };
}

TZelNImage::~TZelNImage() {
  bitmap_->OnChange = nullptr;
  if (auto* shown = dynamic_cast<TZelNImage*>(control_)) std::erase(shown->viewers_, this);
}

void TZelNImage::SetBitmap(plat::TBitmap* v) {
  if (v == bitmap_.get()) return;
  if (v) bitmap_->Assign(v);
  else bitmap_->SetSize(0, 0);
  OwnBitmapChanged();
}

void TZelNImage::OwnBitmapChanged() {
  BitmapChanged();
  for (TZelNImage* v : viewers_) v->LinkedBitmapChanged();
}

plat::TBitmap* TZelNImage::ShownBitmap() const { return control_ ? control_->OwnBitmap() : bitmap_.get(); }

void TZelNImage::SetControl(TZelCustomNImage* v) {
  if (v == this || v == control_) return;
  if (control_) {
    if (auto* old = dynamic_cast<TZelNImage*>(control_)) std::erase(old->viewers_, this);
    RemoveFreeNotification(control_);
  }
  control_ = v;
  if (v) {
    FreeNotification(v);
    if (auto* shown = dynamic_cast<TZelNImage*>(v)) shown->viewers_.push_back(this);
  }
  BitmapChanged();
}

void TZelNImage::Notification(plat::TComponent* c, plat::TOperation op) {
  TZelCustomNImage::Notification(c, op);
  if (op != plat::opRemove) return;
  std::erase(viewers_, c);
  if (c == control_) {
    control_ = nullptr;
    BitmapChanged();
  }
}
