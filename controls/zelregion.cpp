#include "controls/zelregion.h"

#include "controls/ZelFillObject.h"
#include "controls/zelbmp.h"
#include "controls/zelclass.h"
#include "platform/messages/app_hooks.h"
#include "platform/ui/forms.h"
#include "platform/ui/graphics.h"
#include "platform/ui/streams.h"

// ---- conversions and the canvas adapter -----------------------------------------------------------

plat::TRegion ZelRgnToRegion(const TZelRgn& r) { return plat::TRegion::FromBands(r.Rects()); }

TZelRgn ZelRgnFromRegion(const plat::TRegion& r) { return TZelRgn::FromRects(r.Rects()); }

void TZelCanvasOutline::SetPenColor(plat::TColor c) { c_.Pen()->SetColor(c); }
void TZelCanvasOutline::SetPenWidth(int w) { c_.Pen()->SetWidth(w); }
void TZelCanvasOutline::SetPenSolid() { c_.Pen()->SetStyle(plat::psSolid); }
int TZelCanvasOutline::Shift() const {
  const int w = c_.Pen()->Width();
  return w > 1 && w % 2 == 0 ? 1 : 0;
}
void TZelCanvasOutline::MoveTo(int x, int y) { c_.MoveTo(x - Shift(), y - Shift()); }
void TZelCanvasOutline::LineTo(int x, int y) { c_.LineTo(x - Shift(), y - Shift()); }
void TZelCanvasOutline::Polygon(const std::vector<plat::TPoint>& pts) {
  std::vector<plat::TPoint> moved = pts;
  for (auto& p : moved) p = {p.X - Shift(), p.Y - Shift()};
  c_.Polygon(moved);
}
void TZelCanvasOutline::Ellipse(int l, int t, int r, int b) { c_.Ellipse(l, t, r, b); }
void TZelCanvasOutline::RoundRect(int l, int t, int r, int b, int rx, int ry) { c_.RoundRect(l, t, r, b, rx, ry); }
void TZelCanvasOutline::Arc(int l, int t, int r, int b, int x3, int y3, int x4, int y4) {
  c_.Arc(l, t, r, b, x3, y3, x4, y4);
}
void TZelCanvasOutline::ExcludeClipRect(const plat::TRect& r) {
  if (!plat::IsRectEmpty(r)) c_.ExcludeClipRect(r);
}

// ---- region -----------------------------------------------------------------------------------------

TZelRegion::TZelRegion()
    : points_(std::make_unique<TZelPointList>()),
      mask_(std::make_unique<TZelRegionMask>()),
      shadow_(std::make_unique<TZelRgnShadow>()) {
  points_->OnChange = [this](plat::TObject*) { PointsChanged(); };
  mask_->OnChange = [this](plat::TObject*) {
    maskRgn_ = TZelRgn::FromRegionData(mask_->RegionData());
    Change();
  };
  shadow_->OnChange = ChangeForwarder();
}

TZelRegion::~TZelRegion() {
  points_->OnChange = nullptr;
  mask_->OnChange = nullptr;
  shadow_->OnChange = nullptr;
}

void TZelRegion::SetPoints(const TZelPointList& v) {
  if (&v == points_.get()) return;
  points_->BeginUpdate();
  points_->Clear();
  for (uint32_t item : v.Items()) points_->Add(TZelPointList::Unpack(item));
  points_->EndUpdate();
  PointsChanged();
}

void TZelRegion::SetShape(TZelRegionShape v) {
  if (v == shape_) return;
  shape_ = v;
  if (v == rsPointList) BuildPointList();
  Change();
}

void TZelRegion::SetRound(int& field, int v) {
  if (field == v) return;
  field = v;
  if (shape_ == rsRoundRect || shape_ == rsRoundNoseRect || shape_ == rsRoundThinkBubble) Change();
}

void TZelRegion::SetUserRegionData(const std::string& bytes) {
  userData_ = bytes;
  userRgn_ = TZelRgn::FromRegionData(bytes);
  if (shape_ == rsUserRegion) Change();
}

void TZelRegion::PointsChanged() {
  if (shape_ != rsPointList) return;
  BuildPointList();
  Change();
}

void TZelRegion::BuildPointList() { pointListRgn_ = TZelRgn::FromPolygon(PointVector()); }

std::vector<plat::TPoint> TZelRegion::PointVector() const {
  std::vector<plat::TPoint> pts;
  pts.reserve(size_t(points_->Count()));
  for (uint32_t item : points_->Items()) pts.push_back(TZelPointList::Unpack(item));
  return pts;
}

bool TZelRegion::Designing() const { return owner_ && owner_->IsDesigning(); }

bool TZelRegion::CastsShadow() const { return shadow_->Style() != hssNone && !noShadow_ && shadow_->Depth() > 0; }

TZelShapeSpec TZelRegion::Spec() const {
  TZelShapeSpec s;
  s.Shape = shape_;
  s.ExtPos = extPos_;
  s.RoundX = roundX_;
  s.RoundY = roundY_;
  s.Bubbles = bubbles_;
  switch (shape_) {
    case rsBitmap: s.Data = &maskRgn_; break;
    case rsUserRegion: s.Data = &userRgn_; break;
    case rsPointList: s.Data = &pointListRgn_; break;
    default: break;
  }
  // A designer shows a user region as its rectangle.
  if (shape_ == rsUserRegion && Designing()) s.Shape = rsRect;
  return s;
}

TZelShapeRegions TZelRegion::Build(const plat::TRect& r) const { return BuildShapeRegions(Spec(), r, ShadowDepth()); }

const TZelRgn& TZelRegion::BuildRegion(const plat::TRect& r) {
  last_ = Build(r);
  return last_.Whole;
}

void TZelRegion::PaintShadow(plat::TCanvas& canvas, const plat::TRect& r) const {
  if (!CastsShadow()) return;
  const TZelRgn shadow = Build(r).Shadow;
  if (shadow.Empty()) return;
  plat::TBrush* brush = canvas.Brush();
  const plat::TBrushStyle style = brush->Style();
  const plat::TColor color = brush->Color();
  plat::TBitmap* pattern = brush->Bitmap();
  if (shadow_->Style() == hssSolid) {
    brush->SetStyle(plat::bsSolid);
    brush->SetColor(shadow_->Color());
    canvas.FillRgn(ZelRgnToRegion(shadow));
  } else {
    // The checker pattern of the colour, and-ed with what lies below: a half-tone shadow.
    brush->SetBitmap(ZelPatternBitmap(uint32_t(shadow_->Color())));
    for (const plat::TRect& q : shadow.Rects()) canvas.PatBlt(q.Left, q.Top, q.Width(), q.Height(), 0x00A000C9);
  }
  brush->SetBitmap(pattern);
  brush->SetColor(color);
  brush->SetStyle(style);
}

void TZelRegion::WritePointList(plat::TStream& s) const { WritePointListData(s, *points_); }

void TZelRegion::ReadPointList(plat::TStream& s) {
  const std::vector<plat::TPoint> pts = ReadPointListData(s);
  if (pts.empty()) return;
  points_->BeginUpdate();
  for (const plat::TPoint& p : pts) points_->Add(p);
  points_->EndUpdate();
  PointsChanged();
}

void TZelRegion::CopyRegion(const TZelRegion& src) {
  shape_ = src.shape_;
  extPos_ = src.extPos_;
  roundX_ = src.roundX_;
  roundY_ = src.roundY_;
  points_->BeginUpdate();
  points_->Clear();
  for (uint32_t item : src.points_->Items()) points_->Add(TZelPointList::Unpack(item));
  points_->EndUpdate();
  mask_->Assign(src.mask_.get());
  shadow_->Assign(src.shadow_.get());
  if (shape_ == rsPointList) BuildPointList();
}

void TZelRegion::Assign(plat::TPersistent* src) {
  auto* r = dynamic_cast<TZelRegion*>(src);
  if (!r) return TZelObject::Assign(src);
  if (r == this) return;
  AssignNotifyingOnce([&] { CopyRegion(*r); });
}

// ---- border ---------------------------------------------------------------------------------------

void TZelRegionBorder::Assign(plat::TPersistent* src) {
  auto* b = dynamic_cast<TZelRegionBorder*>(src);
  if (!b) return TZelObject::Assign(src);
  AssignNotifyingOnce([&] {
    style_ = b->style_;
    colors_ = b->colors_;
  });
}

TZelBorderRegion::TZelBorderRegion() : border_(std::make_unique<TZelRegionBorder>()) {
  border_->OnChange = ChangeForwarder();
}

TZelBorderRegion::~TZelBorderRegion() { border_->OnChange = nullptr; }

void TZelBorderRegion::PaintBorder(plat::TCanvas& canvas, const plat::TRect& rect) const {
  plat::TRect r = rect;
  r.Left += OriginOffset().X;
  r.Top += OriginOffset().Y;
  const plat::TRect clip = canvas.ClipRect();
  canvas.Pen()->SetWidth(2);
  canvas.Brush()->SetStyle(plat::bsClear);
  PaintShadow(canvas, r);
  const int depth = ShadowDepth();
  r.Right -= depth;
  r.Bottom -= depth;
  TZelCanvasOutline out(canvas);
  DrawShapeOutline(out, Spec(), r, PointVector(), border_->Colors(), border_->Style());
  canvas.SelectClipRect(clip);
}

void TZelBorderRegion::Assign(plat::TPersistent* src) {
  auto* r = dynamic_cast<TZelRegion*>(src);
  if (!r) return TZelObject::Assign(src);
  if (r == this) return;
  AssignNotifyingOnce([&] {
    CopyRegion(*r);
    if (auto* b = dynamic_cast<TZelBorderRegion*>(r)) border_->Assign(b->border_.get());
  });
}

// ---- form shape -----------------------------------------------------------------------------------

TZelFormShape::TZelFormShape(plat::TComponent* owner)
    : TZelWndProcComponent(owner),
      region_(std::make_unique<TZelBorderRegion>()),
      fill_(std::make_unique<TZelFillObject>()) {
  // Without a designer the placement is checked when the shape is made.
  if (CheckOneInstance(
          owner, [](plat::TComponent* c) { return dynamic_cast<TZelFormShape*>(c) != nullptr; }, false))
    throw ZelEOneInstError(0, "TZelFormShape");
  region_->SetOwnerShape(this);
  region_->OnChange = [this](plat::TObject*) {
    UpdateRegion();
    Invalidate();
  };
  fill_->OnChange = [this](plat::TObject*) {
    if (!painting_) Invalidate();
  };
  listLink_.OnChange = [this](plat::TObject*) { Invalidate(); };
  if (!IsLoading()) Hook();
}

TZelFormShape::~TZelFormShape() {
  destroying_ = true;
  Unhook();
  region_->OnChange = nullptr;
  fill_->OnChange = nullptr;
  listLink_.OnChange = nullptr;
  if (imageList_) imageList_->RemoveFreeNotification(this);
}

plat::TCustomForm* TZelFormShape::Form() const { return dynamic_cast<plat::TCustomForm*>(Owner()); }

plat::TRect TZelFormShape::ClientArea() const {
  plat::TCustomForm* f = Form();
  if (!f) return {};
  if (!f->HandleAllocated()) return f->ClientRect();
  const plat::TSize shown = f->ShownClientSize();
  return plat::Rect(0, 0, shown.cx, shown.cy);
}

void TZelFormShape::SetShowFormCaption(bool v) {
  if (v == showCaption_) return;
  showCaption_ = v;
  UpdateRegion();
}

void TZelFormShape::SetUseRgnBitmap(bool v) {
  if (v == useRgnBitmap_) return;
  useRgnBitmap_ = v;
  Invalidate();
}

void TZelFormShape::SetFillObject(TZelFillObject* v) { fill_->Assign(v); }

void TZelFormShape::SetImageList(TZelCustomImageList* v) {
  if (v == imageList_) return;
  if (imageList_) {
    imageList_->UnRegisterChanges(&listLink_);
    imageList_->RemoveFreeNotification(this);
  }
  imageList_ = v;
  if (v) {
    v->RegisterChanges(&listLink_);
    v->FreeNotification(this);
  }
  Invalidate();
}

void TZelFormShape::SetListIndex(int v) {
  if (v < 0 || v == listIndex_) return;
  listIndex_ = v;
  Invalidate();
}

void TZelFormShape::SetImageIndex(int v) {
  if (v < 0 || v == imageIndex_) return;
  imageIndex_ = v;
  Invalidate();
}

void TZelFormShape::Notification(plat::TComponent* c, plat::TOperation op) {
  TZelWndProcComponent::Notification(c, op);
  if (op == plat::opRemove && c == imageList_) {
    imageList_ = nullptr;
    Invalidate();
  }
}

void TZelFormShape::Loaded() {
  TZelWndProcComponent::Loaded();
  UpdateRegion();
}

void TZelFormShape::Hook() {
  TZelWndProcComponent::Hook();
  if (!Hooked()) return;
  plat::TCustomForm* f = Form();
  if (f && f->HandleAllocated() && !clientHook_)
    clientHook_ = std::make_unique<plat::TWindowHook>(f, plat::TWindowHook::hsClientArea,
                                                      [this](plat::TWindowEvent& e) { return ClientEvent(e); });
  UpdateRegion();
  Invalidate();
}

void TZelFormShape::Unhook() {
  clientHook_.reset();
  dragging_ = false;
  plat::TCustomForm* f = Form();
  const bool formGoing = !f || f->IsDestroying();
  if (Watching() && !formGoing) {
    f->SetWindowRegion(plat::TRegion());
    ApplyDecoration(false);
  }
  TZelWndProcComponent::Unhook();
  if (!formGoing && !destroying_) f->Invalidate();
}

void TZelFormShape::Invalidate() {
  if (plat::TCustomForm* f = Form(); f && Hooked() && !f->IsDestroying()) f->Invalidate();
}

void TZelFormShape::UpdateRegion() {
  plat::TCustomForm* f = Form();
  if (!f || updating_ || destroying_ || !Enabled() || IsLoading() || f->IsLoading() || f->IsDestroying()) return;
  updating_ = true;
  try {
    const bool running = !IsDesigning();
    const plat::TBorderStyle bs = f->BorderStyle();
    frameWidth_ = bs == plat::bsNone && running ? 0 : plat::TCustomForm::FrameWidth(bs);
    captionHeight_ = plat::TCustomForm::CaptionHeight(bs);
    if (region_->Shape() == rsBitmap && f->WindowState() != plat::wsMinimized) {
      plat::TBitmap* pic = region_->Mask()->BorderBmp();
      if (!pic->Empty()) {
        const int depth = region_->Shadow()->Depth();
        f->SetClientWidth(pic->Width() + depth);
        f->SetClientHeight(pic->Height() + depth);
      }
    }
    clientRgn_ = region_->BuildRegion(ClientArea());
    windowRgn_ = clientRgn_.Moved(frameWidth_, captionHeight_);
    if (running && Hooked()) ApplyMask();
  } catch (...) {
    updating_ = false;
    throw;
  }
  updating_ = false;
}

void TZelFormShape::ApplyMask() {
  plat::TCustomForm* f = Form();
  if (!f || !Watching()) return;
  ApplyDecoration(!showCaption_);
  // A shape without a region shows the whole window.
  f->SetWindowRegion(ZelRgnToRegion(clientRgn_));
}

void TZelFormShape::ApplyDecoration(bool frameless) {
  if (plat::TCustomForm* f = Form(); f && Watching()) f->SetFrameHidden(frameless);
}

bool TZelFormShape::WindowProc(plat::TWindowEvent& e) {
  if (e.Kind == plat::weEraseBackground) {
    PaintBackground(*e.Canvas);
    e.Painted = true;
    return true;
  }
  return false;
}

bool TZelFormShape::OnBackground(plat::TPoint p) const {
  plat::TCustomForm* f = Form();
  if (!f) return false;
  for (int i = 0; i < f->ControlCount(); ++i) {
    plat::TControl* c = f->Controls(i);
    if (c->Visible() && plat::PtInRect(c->BoundsRect(), p)) return false;
  }
  return true;
}

bool TZelFormShape::ClientEvent(plat::TWindowEvent& e) {
  plat::TCustomForm* f = Form();
  if (!f || destroying_) return false;
  switch (e.Kind) {
    case plat::weResize: UpdateRegion(); return false;
    case plat::weMouseDown: {
      if (e.Button != plat::mbLeft || !dragable_ || !f->Enabled() || !OnBackground(e.Pos)) return false;
      // The background acts as the caption: the window system moves the window where it can.
      if (Watching() && f->StartSystemMove()) return true;
      dragging_ = true;
      dragStart_ = e.ScreenPos;
      dragOrigin_ = {f->Left(), f->Top()};
      return true;
    }
    case plat::weMouseMove:
      if (!dragging_) return false;
      f->SetBounds(dragOrigin_.X + e.ScreenPos.X - dragStart_.X, dragOrigin_.Y + e.ScreenPos.Y - dragStart_.Y,
                   f->Width(), f->Height());
      return true;
    case plat::weMouseUp:
      if (!dragging_ || e.Button != plat::mbLeft) return false;
      dragging_ = false;
      return true;
    case plat::weDblClick:
      // The second press of a double click on the background belongs to the drag too.
      return dragable_ && e.Button == plat::mbLeft && OnBackground(e.Pos);
    default: return false;
  }
}

void TZelFormShape::TakeListImage() {
  if (fill_->Style() != sfBitmapList || !imageList_) return;
  if (imageIndex_ >= imageList_->ImageCount(listIndex_)) return;
  imageList_->GetImage(listIndex_, imageIndex_, *fill_->ListBitmap());
}

void TZelFormShape::FillBackground(int w, int h) {
  if (!background_) background_ = std::make_unique<plat::TBitmap>();
  background_->SetSize(w, h);
  plat::TCanvas* c = background_->Canvas();
  const plat::TColor color = Form() ? Form()->Color() : plat::clBtnFace;
  c->Brush()->SetStyle(plat::bsSolid);
  c->Brush()->SetColor(color);
  c->FillRect(plat::Rect(0, 0, w, h));
  painting_ = true;
  try {
    TakeListImage();
    FillObjectFill(*fill_, *c, plat::Rect(0, 0, w, h), color);
  } catch (...) {
    painting_ = false;
    throw;
  }
  painting_ = false;
}

void TZelFormShape::PaintBackground(plat::TCanvas& canvas) {
  plat::TCustomForm* f = Form();
  const plat::TRect area = ClientArea();
  // Whatever the shape leaves uncovered gets the form's colour, never what was there before.
  canvas.Brush()->SetStyle(plat::bsSolid);
  canvas.Brush()->SetColor(f ? f->Color() : plat::clBtnFace);
  canvas.FillRect(area);
  plat::TBitmap* pic = region_->Mask()->BorderBmp();
  if (useRgnBitmap_ && region_->Shape() == rsBitmap) {
    if (!pic->Empty()) canvas.Draw(0, 0, pic);
  } else if (fill_->Style() != sfNone) {
    FillBackground(area.Width(), area.Height());
    canvas.Draw(0, 0, background_.get());
  }
  region_->PaintBorder(canvas, area);
}

bool TZelFormShape::BackgroundAvailable() const {
  if (useRgnBitmap_ && region_->Shape() == rsBitmap && !region_->Mask()->BorderBmp()->Empty()) return true;
  return fill_->Style() != sfNone;
}

plat::TBitmap* TZelFormShape::BackgroundBitmap() {
  if (useRgnBitmap_ && region_->Shape() == rsBitmap && !region_->Mask()->BorderBmp()->Empty())
    return region_->Mask()->BorderBmp();
  if (fill_->Style() == sfNone) return nullptr;
  const plat::TRect area = ClientArea();
  FillBackground(area.Width(), area.Height());
  return background_.get();
}
