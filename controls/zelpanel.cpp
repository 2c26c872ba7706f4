#include "controls/zelpanel.h"

#include <algorithm>

#include "controls/zelgraph.h"
#include "platform/ui/forms.h"
#include "platform/ui/graphics.h"

using plat::TCanvas;
using plat::TRect;

namespace {
// Half of what a border takes from the bounds, the offset of a client area inside them.
plat::TPoint BorderOffset(const plat::TControl* c) {
  return {(c->Width() - c->ClientWidth()) / 2, (c->Height() - c->ClientHeight()) / 2};
}
}  // namespace

// ---- panel ------------------------------------------------------------------------------------------

TZelCustomPanel::TZelCustomPanel(plat::TComponent* owner) : TZelCustomControl(owner) {
  SetControlStyle(plat::csAcceptsControls | plat::csCaptureMouse | plat::csClickEvents | plat::csOpaque |
                  plat::csDoubleClicks | plat::csReplicatable);
  SetColor(plat::clBtnFace);
}

bool TZelCustomPanel::SuppliesBackground() const {
  if (!Transparent()) return false;
  auto* p = dynamic_cast<TZelCustomControl*>(Parent());
  // A form supplies one only through a form shape, which this program has none of.
  return p && p->HandleAllocated() && p->SuppliesBackground();
}

plat::TBitmap* TZelCustomPanel::BackgroundBitmap() {
  auto* p = dynamic_cast<TZelCustomControl*>(Parent());
  plat::TBitmap* b = p ? p->BackgroundBitmap() : nullptr;
  if (!b || !BitmapEffect()->Active()) return b;
  if (!converted_) converted_ = std::make_unique<plat::TBitmap>();
  converted_->Assign(b);
  converted_->SetPixelFormat(plat::pf24bit);
  return converted_.get();
}

plat::TPoint TZelCustomPanel::ChildOffset(const plat::TControl* child) const {
  plat::TPoint o = child ? plat::TPoint{child->Left(), child->Top()} : plat::TPoint{};
  if (!Transparent()) return o;
  const plat::TPoint b = BorderOffset(this);
  o.X += b.X;
  o.Y += b.Y;
  const plat::TPoint up = OffsetInParent();
  o.X += up.X;
  o.Y += up.Y;
  return o;
}

bool TZelCustomPanel::PaintChildBackground(plat::TControl* child, TCanvas& canvas) {
  if (IsLoading() || IsDestroying() || !child) return false;
  plat::TBitmap* b = BackgroundBitmap();
  if (!b) return false;
  const plat::TPoint o = ChildOffset(child);
  canvas.CopyRect(plat::Rect(0, 0, child->Width(), child->Height()), *b->Canvas(),
                  plat::Bounds(o.X, o.Y, child->Width(), child->Height()));
  return true;
}

// ---- bevel panel ------------------------------------------------------------------------------------

TZelCustomBevelPanel::TZelCustomBevelPanel(plat::TComponent* owner)
    : TZelCustomPanel(owner), bevel_(std::make_unique<TZelBevel>()) {
  // No window here has a system-drawn client edge: the bevel draws its own in bmWindows.
  bevel_->OnChange = [this](plat::TObject*) { BevelChanged(); };
}

TZelCustomBevelPanel::~TZelCustomBevelPanel() { bevel_->OnChange = nullptr; }

void TZelCustomBevelPanel::SetBevel(TZelBevel* v) {
  bevel_->Assign(v);
  Perform(CM_ZELBEVELCHANGED);
}

void TZelCustomBevelPanel::BevelChanged() {
  if (IsLoading()) return;
  bevel_->ClearRecreate();
  Realign();
  Invalidate();
}

bool TZelCustomBevelPanel::HasNoBorder() const { return bevel_->Extent() == 0 && bevel_->Mode() != bmWindows; }

void TZelCustomBevelPanel::AdjustClientRect(TRect& r) const { r = bevel_->ClientRect(r); }

void TZelCustomBevelPanel::Paint() {
  if (IsLoading()) return;
  if (FlatBorder()) {
    TZelCustomPanel::Paint();
    return;
  }
  TRect r = ClientRect();
  bevel_->Draw(*Canvas(), r, Transparent());
}

// ---- scroll box ---------------------------------------------------------------------------------------

TZelCustomScrollBox::TZelCustomScrollBox(plat::TComponent* owner)
    : TZelCustomControl(owner), bevel_(std::make_unique<TZelScrollBoxBevel>()) {
  // The box draws its own edge (nothing is drawn for it by the window system here).
  bevel_->SetOwnerUsesSystemEdge(false);
  bevel_->OnChange = [this](plat::TObject*) {
    if (IsLoading()) return;
    bevel_->ClearRecreate();
    UpdateScrollBars();
    Invalidate();
  };
  SetControlStyle(plat::csAcceptsControls | plat::csCaptureMouse | plat::csClickEvents | plat::csDoubleClicks |
                  plat::csReplicatable);
  // Children move and resize without telling their parent: the box hears of it from the surface,
  // so the scroll range follows what it holds.
  scroll_ = std::make_unique<plat::TScrollSurface>(this);
  scroll_->OnScroll = [this](bool ended, bool vertical) { Scrolled(ended, vertical); };
  scroll_->OnChildrenChanged = [this](plat::TObject*) { UpdateScrollBars(); };
  SetBounds(Left(), Top(), 185, 41);
  UpdateScrollBars();
}

TZelCustomScrollBox::~TZelCustomScrollBox() {
  bevel_->OnChange = nullptr;
  scroll_->OnChildrenChanged = nullptr;
  updating_ = true;  // nothing more is laid out while the children go
}

void TZelCustomScrollBox::SetBevel(TZelBevel* v) { bevel_->Assign(v); }

int TZelCustomScrollBox::HorzPosition() const { return scroll_->Position(false); }
int TZelCustomScrollBox::VertPosition() const { return scroll_->Position(true); }
bool TZelCustomScrollBox::HorzScrollBarVisible() const { return scroll_->BarVisible(false); }
bool TZelCustomScrollBox::VertScrollBarVisible() const { return scroll_->BarVisible(true); }

void TZelCustomScrollBox::ScrollTo(int x, int y) {
  scroll_->ScrollTo(x, y);
  Scrolled(true, true);
}

plat::TSize TZelCustomScrollBox::ContentSize() const {
  int w = 0, h = 0;
  for (int i = 0; i < ControlCount(); ++i) {
    plat::TControl* c = Controls(i);
    if (!c->Visible()) continue;
    w = std::max(w, c->Left() + c->Width());
    h = std::max(h, c->Top() + c->Height());
  }
  return {w, h};
}

void TZelCustomScrollBox::UpdateScrollBars() {
  if (updating_ || !scroll_) return;
  updating_ = true;
  const int near = bevel_->Extent(), far = bevel_->FarExtent();
  const int bar = 16;
  TRect inner = plat::Rect(near, near, Width() - far, Height() - far);
  const plat::TSize content = ContentSize();
  bool needH = content.cx > inner.Width(), needV = content.cy > inner.Height();
  if (needH && !needV) needV = content.cy > inner.Height() - bar;
  if (needV && !needH) needH = content.cx > inner.Width() - bar;
  const int vw = std::max(0, inner.Width() - (needV ? bar : 0));
  const int vh = std::max(0, inner.Height() - (needH ? bar : 0));
  scroll_->Layout(plat::Bounds(inner.Left, inner.Top, vw, vh), needH, needV, bar, content);
  updating_ = false;
}

void TZelCustomScrollBox::Scrolled(bool ended, bool vertical) {
  if (!TransparentOverParent()) return;
  ++scrollCount_;
  const bool now = throttle_ ? (scrollCount_ >= threshold_ || (ended && vertical)) : ended;
  if (!now) return;
  scrollCount_ = 0;
  Invalidate();
  BroadcastToChildren(CM_ZELPARENTBKGNDCHANGED);
}

void TZelCustomScrollBox::AlignControls() {
  TZelCustomControl::AlignControls();
  UpdateScrollBars();
}

void TZelCustomScrollBox::Resize() {
  TZelCustomControl::Resize();
  UpdateScrollBars();
}

void TZelCustomScrollBox::WndProc(plat::TMessage& m) {
  TZelCustomControl::WndProc(m);
  if (m.Msg == plat::CM_CONTROLLISTCHANGE || m.Msg == plat::CM_CONTROLCHANGE) UpdateScrollBars();
}

void TZelCustomScrollBox::Paint() {
  if (IsLoading() && !Showing()) return;
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  bevel_->Draw(c, r, Transparent());
  if (HorzScrollBarVisible() && VertScrollBarVisible()) {
    // The corner between the two bars.
    const TRect h = scroll_->BarRect(false), v = scroll_->BarRect(true);
    const TRect corner = plat::Rect(v.Left, h.Top, v.Right, h.Bottom);
    if (!TransparentOverParent()) {
      c.Brush()->SetStyle(plat::bsSolid);
      c.Brush()->SetColor(Color());
      c.FillRect(corner);
    }
  }
}

bool TZelCustomScrollBox::SuppliesBackground() const {
  if (!Transparent()) return false;
  auto* p = dynamic_cast<TZelCustomControl*>(Parent());
  return p && p->HandleAllocated() && p->SuppliesBackground();
}

plat::TPoint TZelCustomScrollBox::ChildOffset(const plat::TControl* child) const {
  plat::TPoint o = child ? plat::TPoint{child->Left() - HorzPosition(), child->Top() - VertPosition()} : plat::TPoint{};
  o.X += bevel_->Extent();
  o.Y += bevel_->Extent();
  const plat::TPoint up = OffsetInParent();
  o.X += up.X;
  o.Y += up.Y;
  return o;
}
